#include "model/block_pool.hpp"

#include <cstdlib>
#include <new>

namespace corvane {

void* take_heap_slab() noexcept {
  // malloc aligns to 16 on the platforms built for.
  static_assert(alignof(std::max_align_t) >= BlockPool::kAlign);
  return std::malloc(kHeapSlabBytes);
}

void give_back_heap_slab(void* slab) noexcept { std::free(slab); }

// A pool in static storage is destroyed at exit, perhaps before an embedding
// program finalizes Python, which may still make or drop an object: the
// pool is left empty and usable, not pointing at the slab it freed.
BlockPool::~BlockPool() {
  if (slabs_ != 1 || kept_empty_ == nullptr) return;
  source_->give_back(kept_empty_);
  with_room_ = kept_empty_ = nullptr;
  slabs_ = 0;
}

BlockPool::Slab* BlockPool::add_slab() noexcept {
  void* memory = source_->take();
  if (memory == nullptr) return nullptr;
  auto* slab = new (memory) Slab{nullptr, nullptr, this, nullptr,
                                 static_cast<std::byte*>(memory) + kFirstBlock, 0, false};
  ++slabs_;
  list(slab);
  return slab;
}

void BlockPool::list(Slab* slab) noexcept {
  slab->prev = nullptr;
  slab->next = with_room_;
  if (with_room_ != nullptr) with_room_->prev = slab;
  with_room_ = slab;
  slab->listed = true;
}

void BlockPool::unlist(Slab* slab) noexcept {
  if (slab->prev != nullptr) {
    slab->prev->next = slab->next;
  } else {
    with_room_ = slab->next;
  }
  if (slab->next != nullptr) slab->next->prev = slab->prev;
  slab->listed = false;
}

// One empty slab is kept, so that making and dropping one object at the edge
// of a slab does not take a slab from the heap and give it back each time.
void BlockPool::retire(Slab* slab) noexcept {
  if (kept_empty_ == nullptr) {
    kept_empty_ = slab;
    return;
  }
  unlist(slab);
  --slabs_;
  source_->give_back(slab);
}

}  // namespace corvane
