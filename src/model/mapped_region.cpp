#include "model/mapped_region.hpp"

#include <sys/mman.h>

#include <cstdint>

namespace corvane::mapped_region {
namespace {

std::size_t whole_regions(std::size_t bytes) noexcept { return (bytes + kBytes - 1) & ~(kBytes - 1); }

}  // namespace

void* map(std::size_t bytes) noexcept {
  const std::size_t size = whole_regions(bytes);
  if (size < bytes) return nullptr;
  // The system aligns a mapping to a small page only: map one region more
  // and give back the edges around an aligned start.
  const std::size_t padded = size + kBytes;
  if (padded < size) return nullptr;
  void* raw = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kBytes - 1) & ~std::uintptr_t{kBytes - 1};
  if (aligned != start) munmap(raw, aligned - start);
  if (const std::size_t tail = padded - size - (aligned - start); tail != 0) {
    munmap(reinterpret_cast<void*>(aligned + size), tail);
  }
  auto* memory = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  // Only advice: without it, or where it is refused, pages are small.
  madvise(memory, size, MADV_HUGEPAGE);
#endif
  return memory;
}

void unmap(void* memory, std::size_t bytes) noexcept {
  if (memory != nullptr) munmap(memory, whole_regions(bytes));
}

}  // namespace corvane::mapped_region
