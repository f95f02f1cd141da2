// Tests of attribute iteration: syntax, positions in error texts, duplicates.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml_read/attributes.hpp"

namespace corvane {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Outcome {
  Pairs attributes;   // yielded before the end or the error
  std::string error;  // empty when iteration ended normally
};

Outcome iterate(std::string_view content) {
  Outcome outcome;
  AttributeIterator it(content);
  while (auto item = it.next()) {
    if (!item->has_value()) {
      outcome.error = item->error().text;
      // The iterator is finished after its first error.
      EXPECT_FALSE(it.next().has_value());
      break;
    }
    outcome.attributes.emplace_back((*item)->key, (*item)->value);
  }
  return outcome;
}

struct AttrCase {
  std::string_view content;
  Pairs attributes;
  std::string_view error;
};

class AttributesTest : public ::testing::TestWithParam<AttrCase> {};

TEST_P(AttributesTest, YieldsPairsThenEndOrError) {
  const AttrCase& c = GetParam();
  const Outcome outcome = iterate(c.content);
  EXPECT_EQ(outcome.attributes, c.attributes);
  EXPECT_EQ(outcome.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, AttributesTest,
    ::testing::Values(
        AttrCase{"a", {}, ""}, AttrCase{"a \t\r\n", {}, ""},
        AttrCase{"a b=\"1>2\"", {{"b", "1>2"}}, ""},
        AttrCase{"a xsi:type='v\"w' z = \"q'\"", {{"xsi:type", "v\"w"}, {"z", "q'"}}, ""},
        AttrCase{"a\tb\n=\r\"1\" c=''", {{"b", "1"}, {"c", ""}}, ""},
        AttrCase{"a b=\"1\"c=\"&amp;\"", {{"b", "1"}, {"c", "&amp;"}}, ""},
        AttrCase{"a B='1' b='2' p:b='3'", {{"B", "1"}, {"b", "2"}, {"p:b", "3"}}, ""},
        AttrCase{"a b=1", {}, "position 4: attribute value must be enclosed in `\"` or `'`"},
        AttrCase{"a b", {}, "position 3: attribute key must be directly followed by `=` or space"},
        AttrCase{
            "a b  ", {}, "position 5: attribute key must be directly followed by `=` or space"},
        AttrCase{"a x='1' b c='2'",
                 {{"x", "1"}},
                 "position 10: attribute key must be directly followed by `=` or space"},
        AttrCase{"a b=", {}, "position 4: `=` must be followed by an attribute value"},
        AttrCase{"a b= \t", {}, "position 6: `=` must be followed by an attribute value"},
        AttrCase{"a b=\"1", {}, "position 6: missing closing quote `\"` in attribute value"},
        AttrCase{"a b='1\"", {}, "position 7: missing closing quote `'` in attribute value"},
        AttrCase{"testsuite name=\"a\" name=\"b\"",
                 {{"name", "a"}},
                 "position 19: duplicated attribute, previous declaration at position 10"},
        AttrCase{"a k='1' j='2' k='3'",
                 {{"k", "1"}, {"j", "2"}},
                 "position 14: duplicated attribute, previous declaration at position 2"}));

// Beyond 32 keys duplicates are found by hashing; the outcome, positions
// included, must be the same as by direct comparison.
struct ManyCase {
  std::size_t key_count;
  std::optional<std::size_t> repeated;  // index of the key written again at the end
};

class ManyAttributesTest : public ::testing::TestWithParam<ManyCase> {};

TEST_P(ManyAttributesTest, DuplicateFoundWhereverItIs) {
  const ManyCase& c = GetParam();
  std::string content = "e";
  std::vector<std::size_t> positions;
  Pairs expected;
  for (std::size_t i = 0; i < c.key_count; ++i) {
    content += ' ';
    positions.push_back(content.size());
    std::string key = "k";
    key += std::to_string(i);
    content += key + "=\"" + std::to_string(i) + "\"";
    expected.emplace_back(key, std::to_string(i));
  }
  std::string error;
  if (c.repeated) {
    content += ' ';
    error = "position " + std::to_string(content.size()) +
            ": duplicated attribute, previous declaration at position " +
            std::to_string(positions[*c.repeated]);
    content += 'k';
    content += std::to_string(*c.repeated);
    content += "='x'";
  }
  const Outcome outcome = iterate(content);
  EXPECT_EQ(outcome.attributes, expected);
  EXPECT_EQ(outcome.error, error);
}

INSTANTIATE_TEST_SUITE_P(Counts, ManyAttributesTest,
                         ::testing::Values(ManyCase{31, 0}, ManyCase{32, 31}, ManyCase{33, 32},
                                           ManyCase{33, 0}, ManyCase{40, 5}, ManyCase{40, 39},
                                           ManyCase{100, 64}, ManyCase{100, std::nullopt},
                                           ManyCase{32, std::nullopt}, ManyCase{33, std::nullopt}));

}  // namespace
}  // namespace corvane
