#include "qel/model/ExternalRepresentation.h"

#include <algorithm>

#include "qel/model/ExternalRepFactory.h"

namespace Qel {

bool ExternalRepresentation::CanStream() { return false; }

unsigned int ExternalRepresentation::GetBlock(char* /*buffer*/, unsigned int /*size*/) { return 0; }

ExternalRepFactoryPlatform::ExternalRepFactoryPlatform(const ExternalRepFactoryPlatform& other)
    : m_owning(false) {
  std::lock_guard<std::mutex> lock(other.m_mutex);
  m_factories = other.m_factories;
}

ExternalRepFactoryPlatform& ExternalRepFactoryPlatform::operator=(
    const ExternalRepFactoryPlatform& other) {
  if (this == &other) return *this;
  std::vector<ExternalRepFactory*> copied;
  {
    std::lock_guard<std::mutex> lock(other.m_mutex);
    copied = other.m_factories;
  }
  std::vector<ExternalRepFactory*> dropped;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_owning) dropped.swap(m_factories);
    m_factories = std::move(copied);
    m_owning = false;
  }
  for (ExternalRepFactory* factory : dropped) factory->Release();
  return *this;
}

ExternalRepFactoryPlatform::~ExternalRepFactoryPlatform() {
  if (!m_owning) return;
  for (ExternalRepFactory* factory : m_factories) factory->Release();
}

ExternalRepFactoryPlatform& ExternalRepFactoryPlatform::GetFactoryPlatform() {
  static ExternalRepFactoryPlatform platform;
  return platform;
}

unsigned int ExternalRepFactoryPlatform::AddFactory(ExternalRepFactory* factory) {
  if (factory == nullptr) return GetFactoryCount();
  const Representation::RepTag tag = factory->GetTag();
  bool duplicate = false;
  unsigned int count = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    count = static_cast<unsigned int>(m_factories.size());
    // The very factory registered twice stays registered; releasing it would leave a
    // dangling entry.
    if (std::find(m_factories.begin(), m_factories.end(), factory) != m_factories.end()) {
      return count;
    }
    duplicate = std::any_of(m_factories.begin(), m_factories.end(),
                            [&](const ExternalRepFactory* f) { return f->GetTag() == tag; });
    if (!duplicate) m_factories.push_back(factory);
    count = static_cast<unsigned int>(m_factories.size());
  }
  // Released outside the lock: a factory's clean-up may use the registry itself.
  if (duplicate) factory->Release();
  return count;
}

const ExternalRepFactory* ExternalRepFactoryPlatform::GetFactory(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const ExternalRepFactory* factory : m_factories) {
    if (factory->GetName() == name) return factory;
  }
  return nullptr;
}

const ExternalRepFactory* ExternalRepFactoryPlatform::GetFactory(Representation::RepTag tag) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const ExternalRepFactory* factory : m_factories) {
    if (factory->GetTag() == tag) return factory;
  }
  return nullptr;
}

const ExternalRepFactory* ExternalRepFactoryPlatform::GetFactory(unsigned int index) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return index < m_factories.size() ? m_factories[index] : nullptr;
}

unsigned int ExternalRepFactoryPlatform::GetFactoryCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<unsigned int>(m_factories.size());
}

template <class Match>
ExternalRepFactory* ExternalRepFactoryPlatform::Take(Match matches) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = std::find_if(m_factories.begin(), m_factories.end(), matches);
  if (it == m_factories.end()) return nullptr;
  ExternalRepFactory* factory = *it;
  m_factories.erase(it);
  return factory;
}

void ExternalRepFactoryPlatform::RemoveFactory(const std::string& name) {
  ExternalRepFactory* factory =
      Take([&](const ExternalRepFactory* f) { return f->GetName() == name; });
  if (factory != nullptr && m_owning) factory->Release();
}

void ExternalRepFactoryPlatform::RemoveFactory(Representation::RepTag tag) {
  ExternalRepFactory* factory =
      Take([&](const ExternalRepFactory* f) { return f->GetTag() == tag; });
  if (factory != nullptr && m_owning) factory->Release();
}

}  // namespace Qel
