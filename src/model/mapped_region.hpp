// Memory mapped from the system in whole 2 MiB regions, aligned to that size
// and marked for transparent huge pages, where one page fault does the work
// of 512. Where the system has no huge pages for us, this is plain mapped
// memory.
#pragma once

#include <cstddef>

namespace corvane::mapped_region {

inline constexpr std::size_t kBytes = std::size_t{2} << 20;

// `bytes` rounded up to whole regions, aligned to kBytes and zero-filled;
// null when the system refuses.
[[nodiscard]] void* map(std::size_t bytes) noexcept;
// Gives back what `map(bytes)` returned.
void unmap(void* memory, std::size_t bytes) noexcept;

}  // namespace corvane::mapped_region
