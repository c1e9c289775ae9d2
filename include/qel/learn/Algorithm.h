// Algorithm and Control: the frame every learning or classification method runs in. A run is
// configured by a control the algorithm creates and the caller owns; an algorithm, its control
// and its callback are used by one thread during a run.
#pragma once

#include <qel/core/Export.h>

#include <iosfwd>

namespace Qel {

// The parameters of one algorithm run. Each algorithm derives its own control class, whose
// constructor sets every parameter to its default.
class QEL_API Control {
 public:
  virtual ~Control() = default;
};

// A learning or classification method run over a tree under the control of a Control.
class QEL_API Algorithm {
 public:
  virtual ~Algorithm() = default;

  // Runs the algorithm with `control`. A control of another algorithm's class is ignored.
  // The base algorithm does nothing.
  virtual void DoAlgorithm(Control* control);
  // A new control of this algorithm's class holding the defaults, owned by the caller (delete
  // it through Control's virtual destructor); null when the algorithm has none.
  virtual Control* CreateController();
  // Writes what the algorithm has learnt; false when it has no stored form (the base).
  virtual bool Save(std::ostream* os);
  // Reads what Save wrote; false when it has no stored form (the base).
  virtual bool Load(std::istream* is);
};

}  // namespace Qel
