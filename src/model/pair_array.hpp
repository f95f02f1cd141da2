// PairArray: the (key, value) texts of a suite's or test case's extra
// attributes, in insertion order. One pointer wide, with the pairs and their
// count in one block, which a reader carves out of its TextArena: nearly
// every test case that has such attributes has one or two, and a block of
// its own from the C heap for each cost a read more than the rest of the
// attributes together.
#pragma once

#include <cstddef>
#include <span>
#include <utility>

#include "model/text_arena.hpp"
#include "model/xml_string.hpp"

namespace corvane {

class PairArray {
 public:
  using Pair = std::pair<XmlString, XmlString>;

  PairArray() noexcept = default;
  // A copy takes a block from the C heap.
  PairArray(const PairArray& other);
  PairArray(PairArray&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  PairArray& operator=(const PairArray& other) {
    if (this != &other) *this = PairArray(other);
    return *this;
  }
  PairArray& operator=(PairArray&& other) noexcept {
    if (this != &other) {
      if (block_ != nullptr) destroy();
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
  // Inline, as most arrays are empty and the check is all they cost.
  ~PairArray() {
    if (block_ != nullptr) destroy();
  }

  // Room for `count` pairs in all, carved out of `arena` when one is given
  // and the block is small enough to share a chunk. Throws std::bad_alloc,
  // leaving the array as it was.
  void reserve(std::size_t count, TextArena* arena = nullptr);
  // Appends a pair, growing the block (in `arena`, as reserve) when full.
  // The first pair makes room for two: producers that add attributes of
  // their own mostly add a file and a line.
  void emplace_back(XmlString&& key, XmlString&& value, TextArena* arena = nullptr) {
    if (size() == capacity()) reserve(capacity() < 2 ? 2 : 2 * capacity(), arena);
    new (data() + block_->size) Pair(std::move(key), std::move(value));
    ++block_->size;
  }

  std::size_t size() const noexcept { return block_ != nullptr ? block_->size : 0; }
  std::size_t capacity() const noexcept { return block_ != nullptr ? block_->capacity : 0; }
  bool empty() const noexcept { return size() == 0; }
  Pair* data() noexcept { return block_ != nullptr ? block_->pairs() : nullptr; }
  const Pair* data() const noexcept { return block_ != nullptr ? block_->pairs() : nullptr; }
  Pair& operator[](std::size_t i) noexcept { return data()[i]; }
  const Pair& operator[](std::size_t i) const noexcept { return data()[i]; }
  Pair* begin() noexcept { return data(); }
  Pair* end() noexcept { return data() + size(); }
  const Pair* begin() const noexcept { return data(); }
  const Pair* end() const noexcept { return data() + size(); }
  operator std::span<const Pair>() const noexcept { return {data(), size()}; }
  // The block's first byte, or null without one: for a caller asking the
  // processor for the pairs ahead of time, which size() would wait for.
  const void* block() const noexcept { return block_; }

  friend bool operator==(const PairArray& a, const PairArray& b) noexcept;

 private:
  // The pairs follow the header; `chunk` names the arena chunk the block
  // was carved from, or is null for a block of the C heap.
  struct Block {
    ArenaChunk* chunk;
    std::size_t size;
    std::size_t capacity;
    Pair* pairs() noexcept { return reinterpret_cast<Pair*>(this + 1); }
  };
  static_assert(sizeof(Block) % alignof(Pair) == 0);

 public:
  static constexpr std::size_t kHeaderBytes = sizeof(Block);

 private:
  // Destroys the pairs and gives the block back; the array must have one.
  void destroy() noexcept;

  Block* block_ = nullptr;
};

}  // namespace corvane
