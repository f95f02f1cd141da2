// Growth of the output buffer, kept out of line: it is the rare path.
#include "xml_write/output_buffer.hpp"

#include <algorithm>

namespace corvane {

void OutputBuffer::grow_for(std::size_t count) {
  // Doubling keeps the total copying linear in the final size.
  grow_to(std::max({size_ + count, storage_.size() * 2, kMinimumCapacity}));
}

void OutputBuffer::grow_to(std::size_t capacity) {
  // Only the live bytes are worth copying into the new storage; the rest of
  // the new room is left uninitialised rather than zero-filled.
  storage_.resize(size_);
  storage_.resize_and_overwrite(capacity, [](char*, std::size_t n) noexcept { return n; });
}

}  // namespace corvane
