// The allocator of the arrays that hold one entry per test case, from bulk
// memory (see bulk_memory.hpp).
#pragma once

#include <cstddef>
#include <limits>
#include <new>

#include "model/bulk_memory.hpp"

namespace corvane {

template <class T>
struct BulkAllocator {
  static_assert(alignof(T) <= 16);
  using value_type = T;

  BulkAllocator() = default;
  template <class U>
  constexpr BulkAllocator(const BulkAllocator<U>&) noexcept {}

  [[nodiscard]] T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(bulk_memory::allocate(n * sizeof(T)));
  }
  void deallocate(T* memory, std::size_t n) noexcept { bulk_memory::deallocate(memory, n * sizeof(T)); }

  template <class U>
  bool operator==(const BulkAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace corvane
