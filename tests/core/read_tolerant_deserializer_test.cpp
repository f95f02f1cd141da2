// Tolerant reading: the document shapes real producers write (bare suite
// roots, nesting, loose cases, missing names), the values it repairs or
// drops, and the documents it still refuses.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "xml_read/tolerant_deserializer.hpp"

namespace corvane {
namespace {

Report read_ok(std::string_view xml) {
  auto report = deserialize_tolerant(xml);
  EXPECT_TRUE(report.has_value()) << xml << "\n -> " << report.error().text();
  return report ? std::move(*report) : Report("<failed>");
}

// Suite names with their case names, as one line: "s[a,b] t[c]".
std::string outline(const Report& report) {
  std::string out;
  for (const TestSuite& suite : report.test_suites) {
    if (!out.empty()) out.push_back(' ');
    out.append(suite.name.view());
    out.push_back('[');
    for (std::size_t i = 0; i < suite.test_cases.size(); ++i) {
      if (i != 0) out.push_back(',');
      out.append(suite.test_cases[i].name.view());
    }
    out.push_back(']');
  }
  return out;
}

struct ShapeCase {
  const char* label;
  std::string xml;
  std::string report_name;
  std::string outline;
};

class TolerantShape : public testing::TestWithParam<ShapeCase> {};

TEST_P(TolerantShape, FlattensIntoSuitesInDocumentOrder) {
  const Report report = read_ok(GetParam().xml);
  EXPECT_EQ(report.name.view(), GetParam().report_name);
  EXPECT_EQ(outline(report), GetParam().outline);
}

// Suites handed over one by one must be those the whole read keeps.
TEST_P(TolerantShape, HandsOverTheSuitesTheWholeReadKeeps) {
  const Report whole = read_ok(GetParam().xml);
  KeptSuites sink;
  auto header = deserialize_tolerant(GetParam().xml, sink);
  ASSERT_TRUE(header.has_value());
  EXPECT_TRUE(header->test_suites.empty());
  EXPECT_EQ(header->name, whole.name);
  EXPECT_EQ(sink.suites, whole.test_suites);
}

INSTANTIATE_TEST_SUITE_P(
    Tolerant, TolerantShape,
    testing::Values(
        ShapeCase{"bare_suite_root", "<testsuite name=\"s\"><testcase name=\"a\"/></testsuite>",
                  "s", "s[a]"},
        ShapeCase{"bare_empty_suite_root", "<?xml version=\"1.0\"?><testsuite name=\"s\"/>", "s",
                  "s[]"},
        ShapeCase{"root_without_name", "<testsuites><testsuite name=\"s\"/></testsuites>", "",
                  "s[]"},
        ShapeCase{"names_missing_everywhere",
                  "<testsuites><testsuite><testcase/><testcase classname=\"k\"></testcase>"
                  "</testsuite></testsuites>",
                  "", "[,]"},
        ShapeCase{"nested_suites_pre_order",
                  "<testsuites name=\"r\"><testsuite name=\"a\"><testcase name=\"1\"/>"
                  "<testsuite name=\"b\"><testcase name=\"2\"/><testsuite name=\"c\">"
                  "<testcase name=\"3\"/></testsuite></testsuite><testcase name=\"4\"/>"
                  "</testsuite><testsuite name=\"d\"/></testsuites>",
                  "r", "a[1,4] a/b[2] a/b/c[3] d[]"},
        ShapeCase{"grouping_suite_dropped",
                  "<testsuites name=\"r\"><testsuite name=\"g\"><testsuite name=\"x\">"
                  "<testcase name=\"1\"/></testsuite></testsuite></testsuites>",
                  "r", "g/x[1]"},
        ShapeCase{"nested_under_bare_root",
                  "<testsuite name=\"root\"><testsuite name=\"x\"><testcase name=\"1\"/>"
                  "</testsuite></testsuite>",
                  "root", "root/x[1]"},
        ShapeCase{"loose_cases_under_root",
                  "<testsuites name=\"run\"><testcase name=\"1\"/><testsuite name=\"s\">"
                  "<testcase name=\"2\"/></testsuite><testcase name=\"3\"></testcase>"
                  "</testsuites>",
                  "run", "run[1,3] s[2]"},
        ShapeCase{"wrappers_hide_nothing",
                  "<results><testsuites name=\"r\"><group><testsuite name=\"s\"><block>"
                  "<testcase name=\"1\"/></block></testsuite></group></testsuites></results>",
                  "r", "s[1]"},
        ShapeCase{"inner_testsuites_does_not_end_root",
                  "<testsuites name=\"r\"><testsuites name=\"inner\"></testsuites>"
                  "<testsuite name=\"s\"/></testsuites>",
                  "r", "s[]"},
        ShapeCase{"trailing_content_not_read", "<testsuites name=\"r\"/><<<", "r", ""}));

struct RefusedCase {
  const char* label;
  std::string xml;
  std::string message;
};

class TolerantRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(TolerantRefused, NamesThePath) {
  auto report = deserialize_tolerant(GetParam().xml);
  ASSERT_FALSE(report.has_value()) << GetParam().xml;
  EXPECT_EQ(report.error().text(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Tolerant, TolerantRefused,
    testing::Values(
        RefusedCase{"empty", "", "invalid structure: missing <testsuites> or <testsuite> element"},
        RefusedCase{"other_root", "<results><test/></results>",
                    "invalid structure: missing <testsuites> or <testsuite> element"},
        RefusedCase{"not_xml", "<testsuites", "at testsuites: error parsing XML"},
        RefusedCase{"root_cut_short", "<testsuites name=\"r\">",
                    "at testsuites: invalid structure: unexpected EOF, <testsuites> not properly "
                    "closed"},
        RefusedCase{"suite_cut_short", "<testsuite name=\"s\"><testsuite name=\"t\">",
                    "at testsuites/testsuite[0](\"s\")/testsuite[1](\"t\"): invalid structure: "
                    "unexpected EOF in <testsuite>"},
        RefusedCase{"mismatched_end",
                    "<testsuites><testsuite name=\"s\"><testcase name=\"c\"></testsuite>",
                    "at testsuites/testsuite[0](\"s\")/testcase[0](\"c\"): error parsing XML"},
        RefusedCase{"duplicate_attribute", "<testsuites name=\"a\" name=\"b\"/>",
                    "at testsuites: attribute error: position 20: duplicated attribute, previous "
                    "declaration at position 11"},
        RefusedCase{"bare_ampersand_in_name", "<testsuite name=\"a&b\"/>",
                    "at testsuites/testsuite[0]/@name: XML unescape error: Error while escaping "
                    "character at range 1..3: Cannot find ';' after '&'"},
        RefusedCase{"undeclared_entity_in_text",
                    "<testsuite name=\"s\"><system-out>&nbsp;</system-out></testsuite>",
                    "at testsuites/testsuite[0](\"s\")/system-out: XML unescape error: at 1..5: "
                    "unrecognized entity `nbsp`"},
        RefusedCase{"null_character_reference",
                    "<testsuite><testcase name=\"c\"><failure>&#0;</failure></testcase>"
                    "</testsuite>",
                    "at testsuites/testsuite[0](\"\")/testcase[0](\"c\")/failure: XML unescape "
                    "error: invalid character reference: 0x0 character is not permitted in "
                    "XML"}),
    [](const auto& info) { return std::string(info.param.label); });

std::string nested_suites(std::size_t depth) {
  std::string xml;
  for (std::size_t i = 0; i < depth; ++i) xml += "<testsuite name=\"n\"><testcase name=\"c\"/>";
  for (std::size_t i = 0; i < depth; ++i) xml += "</testsuite>";
  return xml;
}

TEST(TolerantNesting, DeepNestingIsFlattenedWithoutRecursion) {
  const auto report = deserialize_tolerant(nested_suites(600));
  ASSERT_TRUE(report.has_value()) << report.error().text();
  ASSERT_EQ(report->test_suites.size(), 600u);
  EXPECT_EQ(report->test_suites.back().name.size(), 600u * 2 - 1);
  EXPECT_EQ(report->tests, 600u);
}

TEST(TolerantNesting, JoinedNamesCannotGrowQuadratically) {
  // 100,000 levels would join names of 10^10 bytes in all.
  const auto report = deserialize_tolerant(nested_suites(100'000));
  ASSERT_FALSE(report.has_value());
  EXPECT_EQ(report.error().kind, DeserializeErrorKind::InvalidStructure);
  EXPECT_EQ(report.error().detail, "nested <testsuite> names too long to join");
}

}  // namespace
}  // namespace corvane
