// Cache: an abstract store of nodes addressed by a number or by a name, with a reference count
// of its own. The count changes atomically on any thread; the store itself is used by one thread
// at a time. The library has no concrete cache: callers derive their own.
#pragma once

#include <qel/core/Export.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace Qel {

class Node;

class QEL_API Cache {
 public:
  Cache() = default;
  Cache(const Cache&) = delete;
  Cache& operator=(const Cache&) = delete;
  virtual ~Cache() = default;

  // Atomic decrement; deletes the cache when the new count is 0 or less. Returns the new count.
  virtual std::int32_t Release() {
    const std::int32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count <= 0) delete this;
    return count;
  }
  // Atomic increment; returns the new count.
  virtual std::int32_t AddRefCount() {
    return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  std::int32_t GetRefCount() const { return m_refCount.load(std::memory_order_relaxed); }

  // The defaults below answer false or 0 and do nothing.
  virtual bool Open() { return false; }
  virtual bool Close() { return false; }
  virtual bool Flush() { return false; }
  virtual bool DeleteFiles() { return false; }
  virtual bool GetModified() { return false; }
  // Fills `node` from the item stored under `key` / `name`.
  virtual bool Load(std::uint32_t /*key*/, Node* /*node*/) { return false; }
  virtual bool Load(const std::u16string& /*name*/, Node* /*node*/) { return false; }
  virtual bool ItemExists(std::uint32_t /*key*/) { return false; }
  virtual bool ItemExists(const std::u16string& /*name*/) { return false; }
  // Stores `node` under `key` / `name`.
  virtual bool Save(std::uint32_t /*key*/, Node* /*node*/) { return false; }
  virtual bool Save(const std::u16string& /*name*/, Node* /*node*/) { return false; }
  // The number under which `name` is stored.
  virtual std::uint32_t GetStringHash(const std::u16string& /*name*/) { return 0; }
  virtual std::int32_t GetDocumentCount() { return 0; }
  // Removes the item stored under `key`; every concrete cache supplies it. True when an item
  // was removed.
  virtual bool DeleteItem(std::uint32_t key) = 0;

 private:
  std::atomic<std::int32_t> m_refCount{0};
};

}  // namespace Qel
