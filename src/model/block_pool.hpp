// Memory for objects of one size that are made and dropped by the hundred
// thousand (a large report's test cases and statuses, its arrays and texts):
// blocks carved out of slabs. Allocating and releasing a block is a few
// pointer moves, where the C heap's own path for blocks of this size sorts
// and merges them (about 300 instructions an object made and freed). A slab
// goes back to its source once its last block is released, except one empty
// slab kept per pool, so a program that keeps one object keeps one slab.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

class BlockPool;

// Where a pool's slabs come from: `take` returns `slab_bytes` aligned to 16,
// or null when out of memory; `give_back` takes them back.
struct SlabSource {
  std::size_t slab_bytes;
  void* (*take)() noexcept;
  void (*give_back)(void* slab) noexcept;
};

// 64 KiB slabs from the C heap: a slab of this size stays in the heap
// instead of being mapped, and the heap keeps it for its next allocation.
inline constexpr std::size_t kHeapSlabBytes = std::size_t{64} << 10;
void* take_heap_slab() noexcept;
void give_back_heap_slab(void* slab) noexcept;
inline constexpr SlabSource kHeapSlabs{kHeapSlabBytes, take_heap_slab, give_back_heap_slab};

namespace block_pool_detail {

struct FreeBlock {
  FreeBlock* next;
};

struct Slab {
  Slab* prev;
  Slab* next;
  BlockPool* pool;
  FreeBlock* released;  // handed out again first
  std::byte* unused;    // the part never handed out starts here
  std::uint32_t live;   // handed out and not released
  bool listed;          // in the pool's list of slabs with room
};

}  // namespace block_pool_detail

// Not thread-safe: the calls on one pool, releases included, must not
// overlap (the module makes and drops its objects with the GIL held). A
// pool must outlive the blocks it gave out.
class BlockPool {
 public:
  static constexpr std::size_t kAlign = 16;

  constexpr explicit BlockPool(std::size_t object_size,
                               const SlabSource& source = kHeapSlabs) noexcept
      : source_(&source),
        slab_bytes_(source.slab_bytes),
        block_bytes_(kHeader + (object_size + kAlign - 1) / kAlign * kAlign) {}
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;
  // Gives the kept empty slab back when it is all the pool holds.
  ~BlockPool();

  // Room for one object, aligned to kAlign; null when out of memory.
  void* allocate() noexcept {
    Slab* slab = with_room_;
    if (slab == nullptr && (slab = add_slab()) == nullptr) return nullptr;
    std::byte* block;
    if (slab->released != nullptr) {
      block = reinterpret_cast<std::byte*>(slab->released);
      slab->released = slab->released->next;
    } else {
      block = slab->unused;
      slab->unused += block_bytes_;
    }
    if (slab->live++ == 0 && slab == kept_empty_) kept_empty_ = nullptr;
    if (slab->released == nullptr && room_left(slab) < block_bytes_) unlist(slab);
    *reinterpret_cast<Slab**>(block) = slab;
    return block + kHeader;
  }

  // Gives back what `allocate` of any pool returned.
  static void release(void* object) noexcept {
    std::byte* block = static_cast<std::byte*>(object) - kHeader;
    Slab* slab = *reinterpret_cast<Slab**>(block);
    auto* freed = reinterpret_cast<block_pool_detail::FreeBlock*>(block);
    freed->next = slab->released;
    slab->released = freed;
    if (!slab->listed) slab->pool->list(slab);
    if (--slab->live == 0) slab->pool->retire(slab);
  }

  // The slabs this pool holds, for tests of what it gives back.
  std::size_t slabs() const noexcept { return slabs_; }
  // The largest object a slab of `slab_bytes` holds one of.
  static constexpr std::size_t largest_object(std::size_t slab_bytes) noexcept {
    return (slab_bytes - kFirstBlock - kHeader) / kAlign * kAlign;
  }

 private:
  using Slab = block_pool_detail::Slab;
  // Each block starts with its slab's address, padded to keep the object
  // aligned; this costs what the C heap's own header of a block would.
  static constexpr std::size_t kHeader = kAlign;
  static constexpr std::size_t kFirstBlock = (sizeof(Slab) + kAlign - 1) / kAlign * kAlign;

  std::size_t room_left(const Slab* slab) const noexcept {
    return static_cast<std::size_t>(reinterpret_cast<const std::byte*>(slab) +
                                    slab_bytes_ - slab->unused);
  }

  Slab* add_slab() noexcept;
  void list(Slab* slab) noexcept;
  void unlist(Slab* slab) noexcept;
  void retire(Slab* slab) noexcept;

  const SlabSource* source_;
  // The source's, copied: every allocation reads it.
  std::size_t slab_bytes_;
  std::size_t block_bytes_;
  Slab* with_room_ = nullptr;
  Slab* kept_empty_ = nullptr;
  std::size_t slabs_ = 0;
};

}  // namespace corvane
