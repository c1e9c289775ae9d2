// Factories of external representation types and the process-wide registry that owns them.
// The registry locks its list, so factories may be registered, looked up and removed from any
// thread; a factory pointer it hands out stays valid until that factory is removed.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "qel/core/Export.h"
#include "qel/model/Representation.h"

namespace Qel {

class ExternalRepresentation;

// Knows one external representation type by name and by tag.
class QEL_API ExternalRepFactory {
 public:
  virtual ~ExternalRepFactory() = default;
  // Disposes of the factory; the registry calls it when it drops the factory.
  virtual void Release() = 0;
  virtual const std::string& GetName() const = 0;
  virtual Representation::RepTag GetTag() const = 0;
  // A new representation of the type with one reference; the registry never calls it.
  virtual ExternalRepresentation* CreateRepresentation() const = 0;
  // Whether `representation` is of this factory's type; the registry never calls it.
  virtual bool Handles(const ExternalRepresentation* representation) const = 0;

 protected:
  ExternalRepFactory() = default;
};

// An ordered list of factories in registration order. The process-wide instance owns its
// factories and releases them when it drops them or is destroyed at exit; a copy shares the
// pointers without owning them.
class QEL_API ExternalRepFactoryPlatform {
 public:
  ExternalRepFactoryPlatform() = default;
  ExternalRepFactoryPlatform(const ExternalRepFactoryPlatform& other);
  ExternalRepFactoryPlatform& operator=(const ExternalRepFactoryPlatform& other);
  ~ExternalRepFactoryPlatform();

  // The process-wide registry, created on first use (safe against concurrent first calls).
  static ExternalRepFactoryPlatform& GetFactoryPlatform();

  // Appends `factory` and takes ownership, unless one with the same tag is registered: then
  // `factory` is released at once. Returns the number of factories afterwards. Null is ignored.
  unsigned int AddFactory(ExternalRepFactory* factory);
  // The first factory with exactly this name / tag, or null.
  const ExternalRepFactory* GetFactory(const std::string& name) const;
  const ExternalRepFactory* GetFactory(Representation::RepTag tag) const;
  // The factory at `index` in registration order, or null past the end.
  const ExternalRepFactory* GetFactory(unsigned int index) const;
  unsigned int GetFactoryCount() const;
  // Releases and removes the first factory with this name / tag; the others keep their order.
  void RemoveFactory(const std::string& name);
  void RemoveFactory(Representation::RepTag tag);

 private:
  // Removes the first factory for which `matches` holds and returns it (null if none).
  template <class Match>
  ExternalRepFactory* Take(Match matches);

  mutable std::mutex m_mutex;
  std::vector<ExternalRepFactory*> m_factories;
  bool m_owning = true;
};

}  // namespace Qel
