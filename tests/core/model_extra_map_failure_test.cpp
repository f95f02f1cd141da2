// An extra-attribute map whose block cannot grow stays as it was: the key
// that failed to go in leaves nothing behind in the map's index. An entry
// left there would point past the pairs, and adding the key again would read
// beyond the block (the sanitized run sees that read). The allocation is
// made to fail by replacing operator new for this test program alone.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "model/extra_map.hpp"

namespace {
std::size_t fail_from_bytes = std::numeric_limits<std::size_t>::max();
}  // namespace

void* operator new(std::size_t size) {
  if (size >= fail_from_bytes) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

using corvane::ExtraMap;
using corvane::XmlString;

XmlString key(std::size_t i) { return XmlString("key-" + std::to_string(i)); }

TEST(ExtraMapFailure, KeyThatFailedToGrowTheBlockLeavesNoIndexEntry) {
  ExtraMap map;
  // Past the linear search, so that the map keeps an index, and up to a
  // full block of 64 pairs: the next key must grow it.
  constexpr std::size_t kFull = 64;
  for (std::size_t i = 0; i < kFull; ++i) map.insert(key(i), XmlString("v"));
  ASSERT_EQ(map.entries().capacity(), kFull);

  fail_from_bytes = kFull * sizeof(ExtraMap::Entry);
  EXPECT_THROW(map.insert(key(kFull), XmlString("lost")), std::bad_alloc);
  fail_from_bytes = std::numeric_limits<std::size_t>::max();
  EXPECT_EQ(map.size(), kFull);

  map.insert(key(kFull), XmlString("first"));
  map.insert(key(kFull), XmlString("second"));
  ASSERT_EQ(map.size(), kFull + 1);
  EXPECT_EQ(map.entries()[kFull].first, key(kFull));
  EXPECT_EQ(map.entries()[kFull].second, XmlString("second"));
}

}  // namespace
