// The memory of what a large report holds by the megabyte: its arrays of
// test cases and the chunks its texts are carved from. Blocks above 8 KiB
// and up to 512 KiB come from pools of one power-of-two size each, carved
// out of mapped regions (see mapped_region.hpp); larger ones are mapped by
// themselves, smaller ones come from the C heap. A region emptied by a
// dropped report is kept for the next one (up to 1 GiB of them), marked so
// that the system may take its pages back when memory runs short.
//
// Any thread may allocate and free.
#pragma once

#include <cstddef>

namespace corvane::bulk_memory {

// `bytes` aligned to 16; throws std::bad_alloc.
[[nodiscard]] void* allocate(std::size_t bytes);
// Gives back what `allocate(bytes)` returned.
void deallocate(void* memory, std::size_t bytes) noexcept;

// The regions that the pools hold, for tests of what they give back.
std::size_t pooled_regions() noexcept;

}  // namespace corvane::bulk_memory
