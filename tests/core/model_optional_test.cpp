// OptionalText and OptionalDuration mark absence with a value the type
// never takes. Every copy, move, assignment and comparison must keep absent,
// empty, inline and heap texts apart, and move or share a heap text's block
// exactly once (the sanitized build sees a double release); a duration must
// compare with std::optional as std::optional would.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "model/optional_duration.hpp"
#include "model/optional_text.hpp"

namespace corvane {
namespace {

// Absent, empty, inline and heap-held.
const std::optional<std::string> kValues[] = {std::nullopt, "", "short",
                                              std::string(40, 'x') + "-held-in-a-block"};

OptionalText make(const std::optional<std::string>& value) {
  return value ? OptionalText(XmlString(*value)) : OptionalText();
}

std::optional<std::string> seen(const OptionalText& text) {
  if (!text.has_value()) return std::nullopt;
  return std::string(text->view());
}

class OptionalTextPairs : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(OptionalTextPairs, AssignmentAndComparisonFollowTheValues) {
  const auto& a = kValues[GetParam().first];
  const auto& b = kValues[GetParam().second];
  EXPECT_EQ(make(a) == make(b), a == b);

  OptionalText copied = make(a);
  const OptionalText source = make(b);
  copied = source;
  EXPECT_EQ(seen(copied), b);
  EXPECT_EQ(seen(source), b);

  OptionalText moved = make(a);
  OptionalText taken = make(b);
  moved = std::move(taken);
  EXPECT_EQ(seen(moved), b);
  taken = make(a);  // a moved-from text takes a new value
  EXPECT_EQ(seen(taken), a);

  if (b) {
    TextArena arena;
    OptionalText read = make(a);
    read.assign(XmlString::PrintableAscii{}, *b, arena);
    EXPECT_EQ(seen(read), b);
  }

  OptionalText constructed(moved);
  EXPECT_EQ(seen(constructed), b);
  constructed.reset();
  EXPECT_FALSE(constructed.has_value());
  EXPECT_EQ(make(b).value_or(XmlString("fallback")).view(), b.value_or("fallback"));
}

std::vector<std::pair<int, int>> all_pairs() {
  std::vector<std::pair<int, int>> pairs;
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) pairs.emplace_back(a, b);
  }
  return pairs;
}

INSTANTIATE_TEST_SUITE_P(Values, OptionalTextPairs, testing::ValuesIn(all_pairs()));

const std::optional<Duration> kDurations[] = {std::nullopt, Duration{0, 0},
                                              Duration{1, 999'999'999}, Duration{~0ULL, 0}};

class OptionalDurationPairs : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(OptionalDurationPairs, ComparesAndAssignsAsStdOptional) {
  const auto& a = kDurations[GetParam().first];
  const auto& b = kDurations[GetParam().second];
  const OptionalDuration compact_a(a);
  EXPECT_EQ(compact_a == OptionalDuration(b), a == b);
  EXPECT_EQ(compact_a == b, a == b);
  EXPECT_EQ(b == compact_a, a == b);
  if (b) {
    EXPECT_EQ(compact_a == *b, a == b);
  }
  OptionalDuration assigned = compact_a;
  assigned = b;
  EXPECT_EQ(assigned.has_value(), b.has_value());
  if (b) {
    EXPECT_EQ(*assigned, *b);
  }
  assigned.reset();
  EXPECT_FALSE(assigned.has_value());
}

INSTANTIATE_TEST_SUITE_P(Values, OptionalDurationPairs, testing::ValuesIn(all_pairs()));

}  // namespace
}  // namespace corvane
