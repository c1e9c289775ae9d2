// CallBack: receives the progress of an algorithm run and carries cancellation requests back to
// it. The algorithm does not own its callback; both are used by the running thread.
#pragma once

#include <qel/core/Export.h>

#include <string>

namespace Qel {

class QEL_API CallBack {
 public:
  CallBack() = default;
  virtual ~CallBack() = default;

  // Moves to `position`, raising the maximum when the position passes it. A derived callback
  // sets *cancel to true to ask the algorithm to stop; the base never writes it.
  virtual void SetCurrent(unsigned int position, bool* cancel);
  // Sets the maximum, lowering the current position when it lies beyond.
  virtual void SetMaximum(unsigned int maximum);
  // Records a status text; *cancel as for SetCurrent.
  virtual void SetStatus(const std::u16string& text, bool* cancel);
  // Advances by `step`, raising the maximum when the position passes it; *cancel as for
  // SetCurrent.
  virtual void Increment(unsigned int step, bool* cancel);
  // The cancel flag (false unless a derived callback sets it).
  virtual bool GetCancel();
  virtual unsigned int GetCurrent();
  virtual unsigned int GetMaximum();
  virtual const std::u16string& GetStatus() const;

 protected:
  bool m_cancel = false;
  unsigned int m_current = 0;
  unsigned int m_maximum = 0;
  std::u16string m_status;
};

}  // namespace Qel
