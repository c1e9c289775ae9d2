// IntrusivePtr<T>: holds one reference on an object that counts its own references
// (AddRefCount() and Release(), as every RefCounter does) and drops it when the pointer goes, so
// a Create result held across code that may throw is released on every path. Thread safety is that
// of the counts: distinct pointers to one object may be copied and destroyed on several threads at
// once; one pointer object, like the object it points to, is used by one thread at a time.
#pragma once

#include <compare>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace Qel {

template <class T>
class IntrusivePtr {
 public:
  using element_type = T;

  constexpr IntrusivePtr() noexcept = default;
  constexpr IntrusivePtr(std::nullptr_t) noexcept {}

  // Takes over the reference the caller holds on `object`, such as the one a Create function
  // returns; adds none. Null gives an empty pointer.
  [[nodiscard]] static IntrusivePtr Adopt(T* object) noexcept {
    IntrusivePtr p;
    p.m_object = object;
    return p;
  }
  // Shares `object`, which the caller does not own a reference on (a child, a feature): adds a
  // reference of its own. Null gives an empty pointer.
  [[nodiscard]] static IntrusivePtr Share(T* object) noexcept {
    if (object != nullptr) object->AddRefCount();
    return Adopt(object);
  }

  // A copy adds a reference; a move takes the reference over and leaves `other` empty.
  IntrusivePtr(const IntrusivePtr& other) noexcept : IntrusivePtr(Share(other.m_object)) {}
  IntrusivePtr(IntrusivePtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  // From a pointer to a derived class, with the same rules.
  template <class U>
  requires std::is_convertible_v<U*, T*> IntrusivePtr(const IntrusivePtr<U>& other)
  noexcept : IntrusivePtr(Share(other.get())) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> IntrusivePtr(IntrusivePtr<U>&& other)
  noexcept : m_object(other.release()) {}

  // Copy or move assignment (the reference held before is dropped after the new one is taken,
  // so assigning a pointer to itself is safe).
  IntrusivePtr& operator=(IntrusivePtr other) noexcept {
    swap(other);
    return *this;
  }

  // Drops the reference held, which deletes the object when it was the last.
  ~IntrusivePtr() {
    if (m_object != nullptr) m_object->Release();
  }

  // The object, or null; the pointer keeps its reference.
  T* get() const noexcept { return m_object; }
  T& operator*() const noexcept { return *m_object; }
  T* operator->() const noexcept { return m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }

  // Drops the reference held and becomes empty.
  void reset() noexcept { IntrusivePtr().swap(*this); }
  // Hands the reference held to the caller, who must Release it or give it to a function that
  // adopts it (AddChild, AddFeature); the pointer becomes empty.
  T* release() noexcept { return std::exchange(m_object, nullptr); }
  void swap(IntrusivePtr& other) noexcept { std::swap(m_object, other.m_object); }

 private:
  T* m_object = nullptr;
};

// IntrusivePtr<T>::Adopt with T deduced: `auto node = AdoptRef(DocumentNode::Create());`.
template <class T>
[[nodiscard]] IntrusivePtr<T> AdoptRef(T* object) noexcept {
  return IntrusivePtr<T>::Adopt(object);
}

// Pointers compare and order by the objects they point to.
template <class T, class U>
bool operator==(const IntrusivePtr<T>& a, const IntrusivePtr<U>& b) noexcept {
  return a.get() == b.get();
}
template <class T, class U>
std::strong_ordering operator<=>(const IntrusivePtr<T>& a, const IntrusivePtr<U>& b) noexcept {
  return std::compare_three_way()(a.get(), b.get());
}
template <class T>
bool operator==(const IntrusivePtr<T>& a, std::nullptr_t) noexcept {
  return !a;
}
template <class T, class U>
bool operator==(const IntrusivePtr<T>& a, const U* b) noexcept {
  return a.get() == b;
}

}  // namespace Qel
