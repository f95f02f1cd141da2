// The ordered map of free-form attributes carried by suites and test cases:
// insertion order is kept, and an equal key replaces the value in place.
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <utility>

#include "model/pair_array.hpp"
#include "model/text_arena.hpp"
#include "model/xml_string.hpp"

namespace corvane {

class ExtraMap {
 public:
  using Entry = PairArray::Pair;

  ExtraMap() = default;
  // The index is a cache of the entries: a copy leaves it to be rebuilt.
  ExtraMap(const ExtraMap& other) : entries_(other.entries_) {}
  ExtraMap& operator=(const ExtraMap& other) {
    if (this != &other) {
      entries_ = other.entries_;
      index_.reset();
    }
    return *this;
  }
  ExtraMap(ExtraMap&&) noexcept = default;
  ExtraMap& operator=(ExtraMap&&) noexcept = default;

  // An equal key keeps its position (and the key stored first) and takes the
  // new value; a new key is appended. A reader passes its arena, for the
  // entries' block to be carved out of it.
  void insert(XmlString key, XmlString value, TextArena* arena = nullptr);
  // Appends a key that the caller knows to equal none held (the distinct
  // keys of one tag, read as they are), without searching for it. Inline
  // and taking the texts by reference: readers call it for every such
  // attribute they read.
  void append_new(XmlString&& key, XmlString&& value, TextArena* arena = nullptr) {
    if (index_) [[unlikely]] {
      append_indexed(std::move(key), std::move(value), arena);
      return;
    }
    entries_.emplace_back(std::move(key), std::move(value), arena);
  }

  void reserve(std::size_t count) { entries_.reserve(count); }

  const PairArray& entries() const noexcept { return entries_; }
  // Hands the entries over without copying them; the map is left empty.
  PairArray take_entries() && noexcept {
    index_.reset();
    return std::move(entries_);
  }
  std::size_t size() const noexcept { return entries_.size(); }
  bool empty() const noexcept { return entries_.empty(); }
  auto begin() const noexcept { return entries_.begin(); }
  auto end() const noexcept { return entries_.end(); }

  bool operator==(const ExtraMap& other) const { return entries_ == other.entries_; }

 private:
  static constexpr std::size_t kLinearSearchLimit = 32;

  Entry* find(const XmlString& key);
  // append_new for a map with an index: a pair that cannot be appended
  // leaves no entry for it in the index, so the map stays as it was.
  void append_indexed(XmlString&& key, XmlString&& value, TextArena* arena);

  PairArray entries_;
  // Key hash -> entry index, built only once the map outgrows a linear scan,
  // so hostile input with thousands of attributes stays linear. Held by
  // pointer: nearly every map is small, and an empty hash table would add
  // its size to every test case and its teardown to every destruction.
  std::unique_ptr<std::unordered_multimap<std::size_t, std::size_t>> index_;
};

}  // namespace corvane
