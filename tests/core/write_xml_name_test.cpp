// Tests of the attribute-name checks applied to `extra` keys: the XML 1.0
// Name production by code point, and the standard attribute names of the
// `testsuite` and `testcase` elements, cross-checked against what the
// serializer really writes.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/report.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/xml_name.hpp"

namespace corvane {
namespace {

struct NameCase {
  std::string_view text;
  bool is_name;
};

class XmlName : public ::testing::TestWithParam<NameCase> {};

TEST_P(XmlName, MatchesTheNameProduction) {
  EXPECT_EQ(is_xml_name(GetParam().text), GetParam().is_name) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XmlName,
    ::testing::Values(NameCase{"hostname", true}, NameCase{"a", true}, NameCase{"_x", true},
                      NameCase{":x", true}, NameCase{"ns:attr", true}, NameCase{"a-b.c_d9", true},
                      NameCase{"x\xC2\xB7y", true},                // U+00B7 middle dot inside
                      NameCase{"\xC3\xA9t\xC3\xA9", true},         // "été"
                      NameCase{"\xE6\x97\xA5\xE6\x9C\xAC", true},  // CJK
                      NameCase{"\xF0\x90\x80\x80", true},          // U+10000
                      NameCase{"a\xCC\x80", true},  // combining grave accent after a letter
                      NameCase{"", false}, NameCase{"x y", false}, NameCase{"9lives", false},
                      NameCase{"-x", false}, NameCase{".x", false}, NameCase{"a=b", false},
                      NameCase{"a\"b", false}, NameCase{"a<b", false}, NameCase{"a>", false},
                      NameCase{"a&b", false}, NameCase{"a/b", false}, NameCase{"a'b", false},
                      NameCase{"a\tb", false}, NameCase{"a\nb", false},
                      NameCase{"\xC2\xB7x", false},         // middle dot may not start a name
                      NameCase{"\xCC\x80x", false},         // nor a combining mark
                      NameCase{"\xC3\x97", false},          // U+00D7 multiplication sign
                      NameCase{"a\xC3\xB7", false},         // U+00F7 division sign
                      NameCase{"a\xE2\x80\x8B", false},     // U+200B zero-width space
                      NameCase{"\xEF\xBF\xBE", false},      // U+FFFE
                      NameCase{"\xF3\xB0\x80\x80", false},  // U+F0000, above the last range
                      // Malformed UTF-8 is never a name, whatever it would decode to.
                      NameCase{"a\xC3", false}, NameCase{"\xC3\xA9\x80", false},
                      NameCase{"\xC0\xC1", false}, NameCase{"\xE0\x80\xBA", false},  // overlong ':'
                      NameCase{"\xED\xA0\x80", false},      // surrogate U+D800
                      NameCase{"\xF4\x90\x80\x80", false},  // above U+10FFFF
                      NameCase{"a\xFF", false}));

struct RangeEdge {
  char32_t code_point;
  bool start;
  bool name;
};

class NameRanges : public ::testing::TestWithParam<RangeEdge> {};

TEST_P(NameRanges, BoundariesOfEachRange) {
  EXPECT_EQ(is_name_start_char(GetParam().code_point), GetParam().start)
      << std::hex << static_cast<unsigned>(GetParam().code_point);
  EXPECT_EQ(is_name_char(GetParam().code_point), GetParam().name)
      << std::hex << static_cast<unsigned>(GetParam().code_point);
}

// Names of ASCII characters take a table rather than the ranges; the two
// must agree on every byte, first and later in a name.
TEST(XmlName, AsciiAgreesWithTheRanges) {
  for (char32_t c = 0; c < 0x80; ++c) {
    const std::string alone(1, static_cast<char>(c));
    const std::string after = "a" + alone;
    EXPECT_EQ(is_xml_name(alone), is_name_start_char(c)) << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(is_xml_name(after), is_name_char(c)) << std::hex << static_cast<unsigned>(c);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CodePoints, NameRanges,
    ::testing::Values(
        RangeEdge{'@', false, false}, RangeEdge{'[', false, false}, RangeEdge{'`', false, false},
        RangeEdge{'{', false, false}, RangeEdge{'/', false, false}, RangeEdge{';', false, false},
        RangeEdge{'0', false, true}, RangeEdge{'9', false, true}, RangeEdge{0xBF, false, false},
        RangeEdge{0xC0, true, true}, RangeEdge{0xD6, true, true}, RangeEdge{0xD7, false, false},
        RangeEdge{0xF6, true, true}, RangeEdge{0xF7, false, false}, RangeEdge{0x2FF, true, true},
        RangeEdge{0x300, false, true}, RangeEdge{0x36F, false, true}, RangeEdge{0x370, true, true},
        RangeEdge{0x37E, false, false}, RangeEdge{0x1FFF, true, true},
        RangeEdge{0x2000, false, false}, RangeEdge{0x200C, true, true},
        RangeEdge{0x200E, false, false}, RangeEdge{0x203F, false, true},
        RangeEdge{0x2040, false, true}, RangeEdge{0x2041, false, false},
        RangeEdge{0x206F, false, false}, RangeEdge{0x2070, true, true},
        RangeEdge{0x218F, true, true}, RangeEdge{0x2190, false, false},
        RangeEdge{0x2BFF, false, false}, RangeEdge{0x2C00, true, true},
        RangeEdge{0x2FEF, true, true}, RangeEdge{0x2FF0, false, false},
        RangeEdge{0x3000, false, false}, RangeEdge{0x3001, true, true},
        RangeEdge{0xD7FF, true, true}, RangeEdge{0xD800, false, false},
        RangeEdge{0xF8FF, false, false}, RangeEdge{0xF900, true, true},
        RangeEdge{0xFDCF, true, true}, RangeEdge{0xFDD0, false, false},
        RangeEdge{0xFDEF, false, false}, RangeEdge{0xFDF0, true, true},
        RangeEdge{0xFFFD, true, true}, RangeEdge{0xFFFE, false, false},
        RangeEdge{0x10000, true, true}, RangeEdge{0xEFFFF, true, true},
        RangeEdge{0xF0000, false, false}));

struct ExtraKeyCase {
  ExtraElement element;
  std::string_view key;
  ExtraKeyProblem problem;
};

class ExtraKeys : public ::testing::TestWithParam<ExtraKeyCase> {};

TEST_P(ExtraKeys, ProblemIsNamed) {
  EXPECT_EQ(check_extra_key(GetParam().element, GetParam().key), GetParam().problem)
      << GetParam().key;
}

constexpr auto kSuite = ExtraElement::TestSuite;
constexpr auto kCase = ExtraElement::TestCase;

INSTANTIATE_TEST_SUITE_P(
    Keys, ExtraKeys,
    ::testing::Values(ExtraKeyCase{kSuite, "hostname", ExtraKeyProblem::None},
                      ExtraKeyCase{kSuite, "x y", ExtraKeyProblem::NotAName},
                      ExtraKeyCase{kCase, "", ExtraKeyProblem::NotAName},
                      ExtraKeyCase{kSuite, "skipped", ExtraKeyProblem::StandardAttribute},
                      ExtraKeyCase{kSuite, "disabled", ExtraKeyProblem::StandardAttribute},
                      ExtraKeyCase{kCase, "classname", ExtraKeyProblem::StandardAttribute},
                      ExtraKeyCase{kCase, "assertions", ExtraKeyProblem::StandardAttribute},
                      // Each element has its own list: a case has no `tests`, a suite no
                      // `classname`, and comparison is exact (case-sensitive).
                      ExtraKeyCase{kCase, "tests", ExtraKeyProblem::None},
                      ExtraKeyCase{kCase, "file", ExtraKeyProblem::None},
                      ExtraKeyCase{kSuite, "classname", ExtraKeyProblem::None},
                      ExtraKeyCase{kSuite, "Name", ExtraKeyProblem::None},
                      ExtraKeyCase{kCase, "names", ExtraKeyProblem::None}));

// The attribute names of the first element named `element` in `document`.
std::set<std::string> attribute_names(std::string_view document, std::string_view element) {
  std::string open(1, '<');
  open.append(element);
  open.push_back(' ');
  const std::size_t start = document.find(open);
  EXPECT_NE(start, std::string_view::npos) << element;
  std::set<std::string> names;
  std::size_t pos = start + open.size();
  while (pos < document.size() && document[pos] != '>' && document[pos] != '/') {
    const std::size_t equals = document.find('=', pos);
    names.emplace(document.substr(pos, equals - pos));
    const std::size_t close_quote = document.find('"', equals + 2);
    pos = close_quote + 1;
    if (document[pos] == ' ') ++pos;
  }
  return names;
}

std::set<std::string> standard_names(ExtraElement element, const std::set<std::string>& seen) {
  std::set<std::string> standard;
  for (const std::string& name : seen) {
    if (is_standard_attribute(element, name)) standard.insert(name);
  }
  return standard;
}

// With every optional value present, the serializer writes exactly the
// attributes the check treats as standard, so the two lists cannot drift.
TEST(StandardAttributes, AreTheOnesTheSerializerWrites) {
  const Timestamp stamp{1'700'000'000, 0, 0};
  TestCase test_case("t", TestCaseStatus::success());
  test_case.classname = XmlString("c");
  test_case.assertions = 3;
  test_case.timestamp = stamp;
  test_case.time = Duration{1, 0};
  TestSuite suite("s");
  suite.timestamp = stamp;
  suite.time = Duration{1, 0};
  suite.add_test_case(std::move(test_case));
  suite.disabled = 0;
  Report report("r");
  report.add_test_suite(std::move(suite));

  const auto document = to_string(report);
  ASSERT_TRUE(document.has_value());
  const auto suite_names = attribute_names(*document, "testsuite");
  const auto case_names = attribute_names(*document, "testcase");
  EXPECT_EQ(suite_names.size(), 8u);
  EXPECT_EQ(case_names.size(), 5u);
  EXPECT_EQ(standard_names(kSuite, suite_names), suite_names);
  EXPECT_EQ(standard_names(kCase, case_names), case_names);
}

struct PrefixCase {
  std::vector<std::pair<std::string_view, std::string_view>> own;
  std::vector<std::pair<std::string_view, std::string_view>> parent;
  std::optional<std::string_view> unbound;
};

ExtraMap map_of(const std::vector<std::pair<std::string_view, std::string_view>>& pairs) {
  ExtraMap map;
  for (const auto& [key, value] : pairs) map.insert(XmlString(key), XmlString(value));
  return map;
}

class UnboundPrefix : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(UnboundPrefix, FirstKeyANamespaceAwareReaderWouldRefuse) {
  const ExtraMap own = map_of(GetParam().own);
  const ExtraMap parent = map_of(GetParam().parent);
  EXPECT_EQ(find_unbound_prefix(own, &parent), GetParam().unbound);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, UnboundPrefix,
    ::testing::Values(PrefixCase{{{"plain", "v"}, {"xml:lang", "en"}}, {}, std::nullopt},
                      // Surefire's schema location, declared on the same element.
                      PrefixCase{{{"xsi:noNamespaceSchemaLocation", "s.xsd"}, {"xmlns:xsi", "u"}},
                                 {},
                                 std::nullopt},
                      PrefixCase{{{"a:b", "v"}}, {{"xmlns:a", "u"}}, std::nullopt},
                      PrefixCase{{{"a:b", "v"}}, {{"xmlns:ab", "u"}}, "a:b"},
                      PrefixCase{{{"a:b", "v"}, {"xmlns:a", ""}}, {}, "a:b"},
                      PrefixCase{{{"xmlns:a", ""}}, {}, "xmlns:a"},
                      PrefixCase{{{"xmlns:xmlns", "u"}}, {}, "xmlns:xmlns"},
                      PrefixCase{{{"b:", "v"}}, {{"xmlns:b", "u"}}, "b:"},
                      PrefixCase{{{"b:c:d", "v"}}, {{"xmlns:b", "u"}}, "b:c:d"},
                      PrefixCase{{{":b", "v"}}, {}, ":b"}));

TEST(ElementName, AsWritten) {
  EXPECT_EQ(element_name(kSuite), "testsuite");
  EXPECT_EQ(element_name(kCase), "testcase");
}

}  // namespace
}  // namespace corvane
