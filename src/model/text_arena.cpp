// Chunk bookkeeping with one atomic operation per chunk on the arena's side:
// a chunk starts with a hold far larger than the blocks it can give, and
// when the arena moves on it gives back the part its blocks did not take.
// Blocks released meanwhile (perhaps on another thread) only ever lower the
// count from there, so it cannot reach zero while the arena still carves.
#include "model/text_arena.hpp"

#include <limits>
#include <new>

#include "model/bulk_memory.hpp"

namespace corvane {
namespace {

constexpr std::size_t kArenaHold = std::numeric_limits<std::size_t>::max() / 2;

void free_chunk(ArenaChunk* chunk) noexcept {
  chunk->~ArenaChunk();
  bulk_memory::deallocate(chunk, ArenaChunk::kBytes);
}

}  // namespace

void ArenaChunk::release(ArenaChunk* chunk) noexcept {
  if (chunk->holds.fetch_sub(1, std::memory_order_acq_rel) == 1) free_chunk(chunk);
}

void TextArena::start_chunk() {
  retire();
  void* memory = bulk_memory::allocate(ArenaChunk::kBytes);
  chunk_ = new (memory) ArenaChunk{kArenaHold};
  static_assert(sizeof(ArenaChunk) % kAlign == 0);
  next_ = static_cast<char*>(memory) + sizeof(ArenaChunk);
  end_ = static_cast<char*>(memory) + ArenaChunk::kBytes;
  carved_ = 0;
}

void TextArena::retire() noexcept {
  if (chunk_ == nullptr) return;
  // What remains after this is the number of carved blocks still held.
  const std::size_t returned = kArenaHold - carved_;
  if (chunk_->holds.fetch_sub(returned, std::memory_order_acq_rel) == returned) free_chunk(chunk_);
  chunk_ = nullptr;
  next_ = end_ = nullptr;
}

}  // namespace corvane
