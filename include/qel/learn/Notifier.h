// Notifier: tells registered observers that a named property changed. The notifier does not
// own its observers; registration and notification are not locked (one thread at a time).
#pragma once

#include <qel/core/Export.h>

#include <set>
#include <string>

namespace Qel {

// An observer of property changes, implemented by users of the library.
class QEL_API PropertyChangedCallback {
 public:
  virtual ~PropertyChangedCallback() = default;
  // Called with the name of the property that changed.
  virtual void OnPropertyChanged(const std::u16string& propertyName) = 0;
};

class QEL_API Notifier {
 public:
  Notifier() = default;
  // Copies share the same observers (none of them is owned).
  Notifier(const Notifier&) = default;
  Notifier& operator=(const Notifier&) = default;
  virtual ~Notifier() = default;

  // Registers `cb` once; registering it again changes nothing.
  void AddPropertyChangedCallback(PropertyChangedCallback* cb);
  // Forgets `cb` if it is registered.
  void RemovePropertyChangedCallback(PropertyChangedCallback* cb);

 protected:
  // Calls every registered observer with `propertyName`, in ascending order of their addresses;
  // null entries are skipped.
  void OnPropertyChanged(const std::u16string& propertyName);

 private:
  std::set<PropertyChangedCallback*> m_callbacks;
};

}  // namespace Qel
