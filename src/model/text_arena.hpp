// Memory for the many short texts of one document read: their blocks are
// carved out of shared chunks instead of being allocated one by one. A
// chunk is freed once the arena has moved on from it and the last block
// carved out of it is released, so texts outlive the read as usual, and
// one text kept alone holds at most one chunk.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

namespace corvane {

// The head of a chunk: how many of the blocks carved from it are still held,
// plus, while the arena carves from it, a large hold of the arena's own.
struct ArenaChunk {
  static constexpr std::size_t kBytes = std::size_t{16} << 10;

  std::atomic<std::size_t> holds;

  // Releases the hold of one block carved from `chunk`; the last frees it.
  static void release(ArenaChunk* chunk) noexcept;
};

class TextArena {
 public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;
  ~TextArena() { retire(); }

  // A block of `size` bytes, aligned for a pointer: carved out of `arena`
  // when one is given and the block is small enough to share a chunk
  // (`chunk` then names the chunk), else taken from the heap (`chunk` null).
  // Throws std::bad_alloc. Given back with free_block.
  static void* allocate_block(TextArena* arena, std::size_t size, ArenaChunk*& chunk) {
    chunk = nullptr;
    void* memory = arena != nullptr ? arena->allocate(size, chunk) : nullptr;
    return memory != nullptr ? memory : ::operator new(size);
  }
  static void free_block(void* block, ArenaChunk* chunk) noexcept {
    if (chunk != nullptr) {
      ArenaChunk::release(chunk);
    } else {
      ::operator delete(block);
    }
  }

  // `size` bytes aligned for a pointer, and the chunk holding them, which
  // the caller must release once; none for a size too large to share a
  // chunk well, which the caller allocates itself.
  void* allocate(std::size_t size, ArenaChunk*& chunk) {
    size = (size + kAlign - 1) & ~(kAlign - 1);
    if (size > kLargestShared) return nullptr;
    if (static_cast<std::size_t>(end_ - next_) < size) start_chunk();
    void* memory = next_;
    next_ += size;
    ++carved_;
    chunk = chunk_;
    return memory;
  }

 private:
  static constexpr std::size_t kAlign = alignof(void*);
  static constexpr std::size_t kLargestShared = ArenaChunk::kBytes / 8;

  void start_chunk();
  // Hands the current chunk over to the blocks carved from it.
  void retire() noexcept;

  ArenaChunk* chunk_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t carved_ = 0;
};

}  // namespace corvane
