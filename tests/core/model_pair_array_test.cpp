// The block of extra-attribute pairs: its pairs stay intact and in order as
// it grows (in an arena, past what a chunk shares, or in the heap), when it
// is copied and when it is moved, and it outlives the arena it was carved
// from. Leaks show under the sanitizers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "model/pair_array.hpp"

namespace {

using corvane::PairArray;
using corvane::TextArena;
using corvane::XmlString;

struct Case {
  bool in_arena;
  std::size_t count;
};

class PairArrayTest : public testing::TestWithParam<Case> {};

// Keys short enough to be stored inline, values long enough to need a block.
std::string key_of(std::size_t i) { return std::to_string(i) + "k"; }
std::string value_of(std::size_t i) { return std::to_string(i) + ": a value long enough for a block"; }

void expect_pairs(const PairArray& pairs, std::size_t count) {
  ASSERT_EQ(pairs.size(), count);
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_EQ(pairs[i].first.view(), key_of(i));
    EXPECT_EQ(pairs[i].second.view(), value_of(i));
  }
}

TEST_P(PairArrayTest, KeepsPairsThroughGrowthCopiesAndMoves) {
  const auto [in_arena, count] = GetParam();
  PairArray copy;
  PairArray moved;
  {
    std::optional<TextArena> arena;
    if (in_arena) arena.emplace();
    PairArray pairs;
    for (std::size_t i = 0; i < count; ++i) {
      pairs.emplace_back(XmlString(key_of(i)), XmlString(value_of(i)),
                         arena ? &*arena : nullptr);
    }
    expect_pairs(pairs, count);
    copy = pairs;
    EXPECT_TRUE(copy == pairs);
    moved = std::move(pairs);
    EXPECT_TRUE(pairs.empty());
    EXPECT_EQ(pairs.data(), nullptr);
  }
  // The arena is gone; the blocks carved from it are not.
  expect_pairs(moved, count);
  expect_pairs(copy, count);
  if (count > 0) {
    copy[0].second = XmlString("changed");
    EXPECT_FALSE(copy == moved);
    EXPECT_EQ(moved[0].second.view(), value_of(0));
  }
}

// 40 pairs outgrow what an arena chunk shares, so the block moves to the heap.
INSTANTIATE_TEST_SUITE_P(Sizes, PairArrayTest,
                         testing::Values(Case{false, 0}, Case{false, 1}, Case{false, 3},
                                         Case{true, 1}, Case{true, 2}, Case{true, 3},
                                         Case{true, 40}));

TEST(PairArray, ReserveKeepsPairsAndCapacity) {
  TextArena arena;
  PairArray pairs;
  pairs.emplace_back(XmlString(key_of(0)), XmlString(value_of(0)), &arena);
  pairs.reserve(5, &arena);
  EXPECT_EQ(pairs.capacity(), 5u);
  pairs.reserve(1);
  EXPECT_EQ(pairs.capacity(), 5u);
  expect_pairs(pairs, 1);
}

}  // namespace
