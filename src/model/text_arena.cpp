// Chunk bookkeeping with one atomic operation per chunk on the arena's side:
// a chunk starts with a hold far larger than the blocks it can give, and
// when the arena moves on it gives back the part its blocks did not take.
// Blocks released meanwhile (perhaps on another thread) only ever lower the
// count from there, so it cannot reach zero while the arena still carves.
#include "model/text_arena.hpp"

#include <limits>
#include <new>

namespace corvane {
namespace {

constexpr std::size_t kArenaHold = std::numeric_limits<std::size_t>::max() / 2;

// Chunks freed on this thread, kept for its next arena. Handed back to the
// allocator one by one, a read's chunks were merged into the top of the heap
// and returned to the system, and the next read faulted every page back in;
// the many small blocks they replace stay in the allocator instead. Bounded,
// so a thread keeps no more than a large document's texts once took.
//
// A thread's cache may be destroyed before an arena that lives as long as
// the thread (one made on the thread's first use, before the cache was), so
// chunks that arena frees afterwards go straight back to the allocator; the
// flag has no destructor and outlives both.
thread_local bool cache_destroyed = false;

class ChunkCache {
 public:
  ChunkCache() = default;
  ChunkCache(const ChunkCache&) = delete;
  ChunkCache& operator=(const ChunkCache&) = delete;
  ~ChunkCache() {
    while (kept_ != 0) ::operator delete(chunks_[--kept_]);
    cache_destroyed = true;
  }
  void* take() noexcept { return kept_ != 0 ? chunks_[--kept_] : nullptr; }
  bool keep(void* chunk) noexcept {
    if (kept_ == kMaxChunks) return false;
    chunks_[kept_++] = chunk;
    return true;
  }

 private:
  static constexpr std::size_t kMaxChunks = 512;
  void* chunks_[kMaxChunks];
  std::size_t kept_ = 0;
};

thread_local ChunkCache chunk_cache;

void free_chunk(ArenaChunk* chunk) noexcept {
  chunk->~ArenaChunk();
  if (cache_destroyed || !chunk_cache.keep(chunk)) ::operator delete(chunk);
}

}  // namespace

void ArenaChunk::release(ArenaChunk* chunk) noexcept {
  if (chunk->holds.fetch_sub(1, std::memory_order_acq_rel) == 1) free_chunk(chunk);
}

void TextArena::start_chunk() {
  retire();
  void* memory = chunk_cache.take();
  if (memory == nullptr) memory = ::operator new(kChunkBytes);
  chunk_ = new (memory) ArenaChunk{kArenaHold};
  static_assert(sizeof(ArenaChunk) % kAlign == 0);
  next_ = static_cast<char*>(memory) + sizeof(ArenaChunk);
  end_ = static_cast<char*>(memory) + kChunkBytes;
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
