#include "model/pair_array.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

namespace corvane {

PairArray::PairArray(const PairArray& other) {
  if (other.empty()) return;
  reserve(other.size());
  for (const Pair& pair : other) emplace_back(XmlString(pair.first), XmlString(pair.second));
}

void PairArray::reserve(std::size_t count, TextArena* arena) {
  if (count <= capacity()) return;
  if (count > (std::numeric_limits<std::size_t>::max() - sizeof(Block)) / sizeof(Pair)) {
    throw std::bad_alloc();
  }
  const std::size_t bytes = sizeof(Block) + count * sizeof(Pair);
  ArenaChunk* chunk = nullptr;
  void* memory = TextArena::allocate_block(arena, bytes, chunk);
  auto* grown = new (memory) Block{chunk, size(), count};
  // XmlString moves cannot fail, so neither can this.
  if (block_ != nullptr) {
    std::uninitialized_move(begin(), end(), grown->pairs());
    destroy();
  }
  block_ = grown;
}

void PairArray::destroy() noexcept {
  std::destroy(begin(), end());
  TextArena::free_block(block_, block_->chunk);
  block_ = nullptr;
}

bool operator==(const PairArray& a, const PairArray& b) noexcept {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace corvane
