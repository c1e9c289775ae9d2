// LargeAllocator: a standard allocator that takes arrays of a megabyte or more from
// Platform::AllocateLarge (huge pages where the system gives them: a few page faults instead of
// hundreds per array) and smaller ones from operator new. For the kit's count and score tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/Platform.h"

namespace Qel::Detail {

template <class T>
struct LargeAllocator {
  using value_type = T;
  static constexpr std::size_t kLarge = std::size_t{1} << 20;

  LargeAllocator() = default;
  template <class U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLarge) return static_cast<T*>(::operator new(bytes));
    void* p = Platform::AllocateLarge(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLarge) {
      ::operator delete(p);
    } else {
      Platform::FreeLarge(p, bytes);
    }
  }
  template <class U>
  bool operator==(const LargeAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

}  // namespace Qel::Detail
