// Equality of short keys (attribute names, extra keys), which mostly differ
// in length or first byte: checking those first, and comparing keys of up to
// sixteen bytes in two overlapping loads, spares a library call.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace corvane {

namespace key_equal_detail {

template <typename Word>
inline Word load(const char* p) noexcept {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Whether the `size` bytes at `a` and `b` are equal, for `size` from
// sizeof(Word) to twice that: the first and the last sizeof(Word) bytes
// together cover them all.
template <typename Word>
inline bool equal_by_two_loads(const char* a, const char* b, std::size_t size) noexcept {
  const std::size_t last = size - sizeof(Word);
  return ((load<Word>(a) ^ load<Word>(b)) | (load<Word>(a + last) ^ load<Word>(b + last))) == 0;
}

}  // namespace key_equal_detail

inline bool keys_equal(std::string_view a, std::string_view b) noexcept {
  using namespace key_equal_detail;
  const std::size_t size = a.size();
  if (size != b.size()) return false;
  if (size == 0) return true;
  if (a.front() != b.front()) return false;
  if (size >= 8) {
    if (size > 16) return a == b;
    return equal_by_two_loads<std::uint64_t>(a.data(), b.data(), size);
  }
  if (size >= 4) return equal_by_two_loads<std::uint32_t>(a.data(), b.data(), size);
  for (std::size_t i = 1; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace corvane
