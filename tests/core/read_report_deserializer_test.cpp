// Report deserializer: document structure, attributes, outcome combinations,
// text content and the exact composed error messages.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "xml_read/report_deserializer.hpp"

namespace corvane {
namespace {

std::string wrap_case(std::string_view case_body) {
  return "<testsuites name=\"r\"><testsuite name=\"unit\"><testcase name=\"c\">" +
         std::string(case_body) + "</testcase></testsuite></testsuites>";
}

Report read_ok(std::string_view xml) {
  auto report = deserialize_from_str(xml);
  EXPECT_TRUE(report.has_value()) << xml << "\n -> " << report.error().text();
  return report ? std::move(*report) : Report("<failed>");
}

struct ErrorCase {
  const char* label;
  std::string xml;
  std::string message;
};

class DeserializeErrorMessage : public testing::TestWithParam<ErrorCase> {};

TEST_P(DeserializeErrorMessage, ComposesExactText) {
  auto report = deserialize_from_str(GetParam().xml);
  ASSERT_FALSE(report.has_value()) << GetParam().xml;
  EXPECT_EQ(report.error().text(), GetParam().message);
}

const char* const kSuitePrefix = "at testsuites/testsuite[0](\"unit\")/testcase[0](\"c\")";

INSTANTIATE_TEST_SUITE_P(
    Deserializer, DeserializeErrorMessage,
    testing::Values(
        ErrorCase{"bare_testsuite_root", "<testsuite name=\"s\"></testsuite>",
                  "invalid structure: missing <testsuites> element"},
        ErrorCase{"empty_document", "", "invalid structure: missing <testsuites> element"},
        ErrorCase{"suite_eof", "<testsuites name=\"r\"><testsuite name=\"s\">",
                  "at testsuites/testsuite[0](\"s\"): invalid structure: unexpected EOF in "
                  "<testsuite>"},
        ErrorCase{"root_eof", "<testsuites name=\"r\">",
                  "at testsuites: invalid structure: unexpected EOF, <testsuites> not properly "
                  "closed"},
        ErrorCase{"root_without_name", "<testsuites></testsuites>",
                  "at testsuites/@name: missing required attribute: name"},
        ErrorCase{"bad_time_second_case",
                  "<testsuites name=\"r\"><testsuite name=\"unit\"><testcase name=\"a\"/>"
                  "<testcase name=\"b\" time=\"1,5\"/></testsuite></testsuites>",
                  "at testsuites/testsuite[0](\"unit\")/testcase[1]/@time: invalid duration: 1,5"},
        ErrorCase{"duplicate_suite_attribute",
                  "<testsuites name=\"r\"><testsuite name=\"a\" name=\"b\"></testsuite>"
                  "</testsuites>",
                  "at testsuites/testsuite[0]: attribute error: position 19: duplicated "
                  "attribute, previous declaration at position 10"},
        // Names the writer could not write back are refused on every element.
        ErrorCase{"digit_first_name_on_case",
                  "<testsuites name=\"r\"><testsuite name=\"s\"><testcase name=\"c\" 1x=\"v\"/>"
                  "</testsuite></testsuites>",
                  "at testsuites/testsuite[0](\"s\")/testcase[0]: attribute error: position 18: "
                  "`1x` is not an XML name"},
        ErrorCase{"angle_in_suite_key",
                  "<testsuites name=\"r\"><testsuite name=\"s\" a<b=\"v\"/></testsuites>",
                  "at testsuites/testsuite[0]: attribute error: position 19: `a<b` is not an XML "
                  "name"},
        ErrorCase{"quoted_key_on_root", "<testsuites name=\"r\" \"q\"=\"v\"/>",
                  "at testsuites: attribute error: position 20: `\"q\"` is not an XML name"},
        ErrorCase{
            "bad_key_on_property",
            "<testsuites name=\"r\"><testsuite name=\"s\"><properties>"
            "<property name=\"a\" value=\"1\" -x=\"\"/></properties></testsuite></testsuites>",
            "at testsuites/testsuite[0](\"s\")/properties/property[0]: attribute error: "
            "position 28: `-x` is not an XML name"},
        ErrorCase{"unescape_in_suite_name",
                  "<testsuites name=\"r\"><testsuite name=\"a&b\"></testsuite></testsuites>",
                  "at testsuites/testsuite[0]/@name: XML unescape error: Error while escaping "
                  "character at range 1..3: Cannot find ';' after '&'"},
        ErrorCase{"property_without_value",
                  "<testsuites name=\"r\"><testsuite name=\"s\"><properties>"
                  "<property name=\"a\" value=\"1\"/><property name=\"b\" value=\"2\"/>"
                  "<property name=\"c\"/></properties></testsuite></testsuites>",
                  "at testsuites/testsuite[0](\"s\")/properties/property[2]/@value: missing "
                  "required attribute: value"},
        ErrorCase{"property_without_name_first",
                  "<testsuites name=\"r\"><testsuite name=\"s\"><properties><property/>"
                  "</properties></testsuite></testsuites>",
                  "at testsuites/testsuite[0](\"s\")/properties/property[0]/@name: missing "
                  "required attribute: name"},
        ErrorCase{"reader_error_in_case", wrap_case("<a></b>"),
                  std::string(kSuitePrefix) + ": error parsing XML"},
        ErrorCase{"char_reference_in_text",
                  "<testsuites name=\"r\"><testsuite name=\"unit\"><system-out>&#65;"
                  "</system-out></testsuite></testsuites>",
                  "at testsuites/testsuite[0](\"unit\")/system-out: invalid structure: "
                  "unrecognized entity: #65"},
        ErrorCase{"entity_in_description", wrap_case("<failure>&nbsp;</failure>"),
                  std::string(kSuitePrefix) + "/failure: invalid structure: unrecognized "
                                              "entity: nbsp"},
        ErrorCase{"two_main_elements", wrap_case("<failure/><error/>"),
                  std::string(kSuitePrefix) + ": invalid structure: multiple main status "
                                              "elements (failure/error/skipped) are not allowed"},
        ErrorCase{"rerun_without_main", wrap_case("<rerunError/>"),
                  std::string(kSuitePrefix) + ": invalid structure: found rerunFailure/rerunError "
                                              "elements without a corresponding failure or error "
                                              "element"},
        ErrorCase{"flaky_and_rerun_on_failure",
                  wrap_case("<failure/><flakyFailure/><rerunFailure/>"),
                  std::string(kSuitePrefix) + ": invalid structure: test case has both "
                                              "flakyFailure/flakyError and rerunFailure/rerunError "
                                              "elements, which is not supported"},
        ErrorCase{"flaky_and_rerun_on_success", wrap_case("<flakyError/><rerunFailure/>"),
                  std::string(kSuitePrefix) + ": invalid structure: test case has both "
                                              "flakyFailure/flakyError and rerunFailure/rerunError "
                                              "elements, which is not supported"},
        ErrorCase{"skipped_with_flaky", wrap_case("<skipped/><flakyFailure/>"),
                  std::string(kSuitePrefix) + ": invalid structure: skipped test case cannot have "
                                              "flakyFailure, flakyError, rerunFailure, or "
                                              "rerunError elements"},
        ErrorCase{"skipped_with_rerun", wrap_case("<rerunFailure/><skipped/>"),
                  std::string(kSuitePrefix) + ": invalid structure: skipped test case cannot have "
                                              "flakyFailure, flakyError, rerunFailure, or "
                                              "rerunError elements"},
        ErrorCase{"bad_rerun_time", wrap_case("<failure/><rerunFailure time=\"x\"/>"),
                  std::string(kSuitePrefix) + "/rerunFailure/@time: invalid duration: x"},
        ErrorCase{"stack_trace_eof",
                  "<testsuites name=\"r\"><testsuite name=\"unit\"><testcase name=\"c\">"
                  "<failure><stackTrace>x",
                  std::string(kSuitePrefix) + "/failure/@stackTrace: invalid structure: "
                                              "unexpected EOF in <stackTrace>"},
        ErrorCase{"status_eof",
                  "<testsuites name=\"r\"><testsuite name=\"unit\"><testcase name=\"c\">"
                  "<failure>x",
                  std::string(kSuitePrefix) + "/failure: invalid structure: unexpected EOF in "
                                              "status element"},
        ErrorCase{"case_eof",
                  "<testsuites name=\"r\"><testsuite name=\"unit\"><testcase name=\"c\">",
                  std::string(kSuitePrefix) + ": invalid structure: unexpected EOF in "
                                              "<testcase>"},
        ErrorCase{"properties_eof", "<testsuites name=\"r\"><testsuite name=\"s\"><properties>",
                  "at testsuites/testsuite[0](\"s\")/properties: invalid structure: unexpected "
                  "EOF in <properties>"},
        ErrorCase{"bad_uuid",
                  "<testsuites name=\"r\" uuid=\"00000000-0000-0000-0000-00000000000G\"/>",
                  "at testsuites/@uuid: invalid UUID: invalid character: found `G` at 36"},
        ErrorCase{"bad_root_count", "<testsuites name=\"r\" tests=\"-0\"/>",
                  "at testsuites/@tests: invalid integer: invalid digit found in string"},
        ErrorCase{"bad_extra_value",
                  "<testsuites name=\"r\"><testsuite name=\"s\" k=\"&bogus;\"/></testsuites>",
                  "at testsuites/testsuite[0]: XML unescape error: at 1..6: unrecognized entity "
                  "`bogus`"},
        // Keys met before are read from what the reader remembers of them;
        // their values are read, and refused, as ever.
        ErrorCase{"bad_extra_value_of_a_key_seen_before",
                  "<testsuites name=\"r\"><testsuite name=\"s\" k=\"1\"><testcase name=\"a\" "
                  "k=\"2\"/><testcase name=\"b\" j=\"3\" k=\"&bogus;\"/></testsuite></testsuites>",
                  "at testsuites/testsuite[0](\"s\")/testcase[1]: XML unescape error: at 1..6: "
                  "unrecognized entity `bogus`"},
        ErrorCase{"case_without_name",
                  "<testsuites name=\"r\"><testsuite name=\"s\"><testcase/></testsuite>"
                  "</testsuites>",
                  "at testsuites/testsuite[0](\"s\")/testcase[0]/@name: missing required "
                  "attribute: name"},
        ErrorCase{"unclosed_reference_in_text", "<testsuites name=\"r\">x & y</testsuites>",
                  "at testsuites: error parsing XML"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Deserializer, EmptyAndOpenRootsHaveNoSuites) {
  EXPECT_TRUE(read_ok("<testsuites name=\"r\"/>").test_suites.empty());
  EXPECT_TRUE(read_ok("<testsuites name=\"r\"></testsuites>").test_suites.empty());
}

TEST(Deserializer, WrappersDoNotHideTheReport) {
  Report r = read_ok(
      "<?xml version=\"1.0\"?><!-- c --><wrap><testsuites name=\"r\"><group>"
      "<testsuite name=\"s\"/></group></testsuites></wrap>");
  ASSERT_EQ(r.test_suites.size(), 1u);
  EXPECT_EQ(r.test_suites[0].name.view(), "s");
}

TEST(Deserializer, SuiteBeforeRootIsIgnoredAndContentAfterRootIsNeverRead) {
  Report r = read_ok("<x><testsuite name=\"early\"/><testsuites name=\"r\"/></x>");
  EXPECT_TRUE(r.test_suites.empty());
  Report after = read_ok("<testsuites name=\"r\"></testsuites><<<garbage &");
  EXPECT_EQ(after.name.view(), "r");
}

TEST(Deserializer, CountsAreKeptAsWritten) {
  Report r = read_ok(
      "<testsuites name=\"r\" tests=\"+9\" disabled=\"2\"><testsuite name=\"s\" tests=\"7\">"
      "<testcase name=\"a\"><failure/></testcase></testsuite></testsuites>");
  EXPECT_EQ(r.tests, 9u);
  EXPECT_EQ(r.disabled, 2u);
  EXPECT_EQ(r.failures, 0u);
  ASSERT_EQ(r.test_suites.size(), 1u);
  EXPECT_EQ(r.test_suites[0].tests, 7u);
  EXPECT_EQ(r.test_suites[0].failures, 0u);
  EXPECT_FALSE(r.test_suites[0].disabled.has_value());
}

TEST(Deserializer, ExtraAttributesKeepDocumentOrderAndRootDropsThem) {
  Report r = read_ok(
      "<testsuites name=\"r\" host=\"h\"><testsuite name=\"s\" b=\"1\" a=\"2\">"
      "<testcase name=\"c\" z=\"&lt;\" y=\"x\"/></testsuite></testsuites>");
  const TestSuite& s = r.test_suites[0];
  ASSERT_EQ(s.extra.size(), 2u);
  EXPECT_EQ(s.extra.entries()[0].first.view(), "b");
  EXPECT_EQ(s.extra.entries()[1].first.view(), "a");
  const TestCase& c = s.test_cases[0];
  ASSERT_EQ(c.extra.size(), 2u);
  EXPECT_EQ(c.extra.entries()[0].first.view(), "z");
  EXPECT_EQ(c.extra.entries()[0].second.view(), "<");
}

TEST(Deserializer, ExtraKeysRepeatedAcrossCasesReadTheSame) {
  // More distinct keys than the reader remembers, in varying order.
  Report r = read_ok(
      "<testsuites name=\"r\"><testsuite name=\"s\">"
      "<testcase name=\"a\" k1=\"1\" k2=\"2\" k3=\"3\" k4=\"4\" k5=\"5\" k6=\"6\"/>"
      "<testcase name=\"b\" k6=\"a\" k5=\"b\" k1=\"c\" k2=\"d\" k3=\"e\" k4=\"f\"/>"
      "</testsuite></testsuites>");
  const auto& cases = r.test_suites[0].test_cases;
  std::string first;
  std::string second;
  for (const auto& [key, value] : cases[0].extra) first += std::string(key.view()) += value.view();
  for (const auto& [key, value] : cases[1].extra) second += std::string(key.view()) += value.view();
  EXPECT_EQ(first, "k11k22k33k44k55k66");
  EXPECT_EQ(second, "k6ak5bk1ck2dk3ek4f");
}

TEST(Deserializer, OutcomeCombinations) {
  {
    Report r = read_ok(wrap_case("<failure/><flakyFailure/>"));
    const auto& status = r.test_suites[0].test_cases[0].status.value();
    const auto* n = std::get_if<NonSuccess>(&status);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, NonSuccessKind::Failure);
    EXPECT_EQ(n->rerun_kind, RerunKind::Flaky);
    ASSERT_EQ(n->reruns.size(), 1u);
    EXPECT_EQ(n->reruns[0].kind, NonSuccessKind::Failure);
  }
  {
    Report r = read_ok(wrap_case("<flakyError message=\"m\"/>"));
    const auto* s = std::get_if<Success>(&r.test_suites[0].test_cases[0].status.value());
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->flaky_runs.size(), 1u);
    EXPECT_EQ(s->flaky_runs[0].kind, NonSuccessKind::Error);
    EXPECT_EQ(s->flaky_runs[0].message, XmlString("m"));
  }
  {
    Report r = read_ok(wrap_case("<rerunError/><error type=\"T\"/><rerunFailure/>"));
    const auto* n = std::get_if<NonSuccess>(&r.test_suites[0].test_cases[0].status.value());
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, NonSuccessKind::Error);
    EXPECT_EQ(n->rerun_kind, RerunKind::Rerun);
    ASSERT_EQ(n->reruns.size(), 2u);
    EXPECT_EQ(n->reruns[0].kind, NonSuccessKind::Error);
    EXPECT_EQ(n->reruns[1].kind, NonSuccessKind::Failure);
  }
}

TEST(Deserializer, SkippedDescriptionIsTrimmedAndBlankIsAbsent) {
  Report r = read_ok(wrap_case("<skipped message=\"m\">  why  </skipped>"));
  const auto* s = std::get_if<Skipped>(&r.test_suites[0].test_cases[0].status.value());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->message, XmlString("m"));
  EXPECT_EQ(s->description, XmlString("why"));
  Report blank = read_ok(wrap_case("<skipped>  \xE2\x80\x83 </skipped>"));
  const auto* b = std::get_if<Skipped>(&blank.test_suites[0].test_cases[0].status.value());
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->description.has_value());
}

// Texts are cleaned before they are trimmed, so white space that cleaning
// exposes is trimmed too, and what is written reads back the same.
TEST(Deserializer, TextIsCleanedThenTrimmed) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {" \x16 a", "a"},
      {"\x16", std::nullopt},
      {"text\n\x1b[0m", "text"},
      {"\x1b[1m\tname\tvalue\t42\n", "name\tvalue\t42"},
  };
  for (const auto& [raw, expected] : cases) {
    Report r = read_ok(wrap_case("<skipped>" + raw + "</skipped><system-out>" + raw +
                                 "</system-out>"));
    const TestCase& c = r.test_suites[0].test_cases[0];
    const auto& description = std::get<Skipped>(c.status.value()).description;
    EXPECT_EQ(description ? std::optional(std::string(description->view())) : std::nullopt,
              expected)
        << raw;
    ASSERT_TRUE(c.system_out.has_value());
    EXPECT_EQ(c.system_out->view(), expected.value_or("")) << raw;
  }
}

// Line feeds and tabs in attribute values are written as references; a
// document written with them raw reads as it always did.
TEST(Deserializer, RawAndReferencedLineFeedsAndTabsInAttributesReadAlike) {
  for (const std::string message : {"a\nb\tc", "a&#10;b&#9;c"}) {
    Report r = read_ok(wrap_case("<failure message=\"" + message + "\"/>"));
    const auto& status = std::get<NonSuccess>(r.test_suites[0].test_cases[0].status.value());
    ASSERT_TRUE(status.message.has_value());
    EXPECT_EQ(status.message->view(), "a\nb\tc") << message;
  }
}

TEST(Deserializer, MainElementKeepsOnlyMessageTypeDescription) {
  Report r = read_ok(
      wrap_case("<failure message=\"m\" time=\"1\">a<stackTrace>ignored</stackTrace>b<x>hidden</x>c"
                "<stackTrace/></failure>"));
  const auto* n = std::get_if<NonSuccess>(&r.test_suites[0].test_cases[0].status.value());
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->description, XmlString("abc"));
}

TEST(Deserializer, RerunKeepsEveryField) {
  Report r = read_ok(wrap_case(
      "<failure/><rerunFailure timestamp=\"2024-01-01T00:00:00Z\" time=\"0.5\" message=\"m\" "
      "type=\"t\">\n desc \n<stackTrace> st </stackTrace><system-out>o</system-out>"
      "<system-err>e</system-err></rerunFailure>"));
  const auto* n = std::get_if<NonSuccess>(&r.test_suites[0].test_cases[0].status.value());
  ASSERT_NE(n, nullptr);
  ASSERT_EQ(n->reruns.size(), 1u);
  const TestRerun& rr = n->reruns[0];
  EXPECT_TRUE(rr.timestamp.has_value());
  EXPECT_EQ(rr.time, (Duration{0, 500'000'000}));
  EXPECT_EQ(rr.description, XmlString("desc"));
  EXPECT_EQ(rr.stack_trace, XmlString("st"));
  EXPECT_EQ(rr.system_out, XmlString("o"));
  EXPECT_EQ(rr.system_err, XmlString("e"));
  EXPECT_EQ(rr.type, XmlString("t"));
}

TEST(Deserializer, TextContentJoinsDataCDataAndEntities) {
  Report r = read_ok(
      "<testsuites name=\"r\"><testsuite name=\"s\"><system-out>a<!-- c -->b<![CDATA[<x>]]>&amp;"
      "</system-out><system-err>  </system-err></testsuite></testsuites>");
  EXPECT_EQ(r.test_suites[0].system_out, XmlString("ab<x>&"));
  EXPECT_EQ(r.test_suites[0].system_err, XmlString(""));
}

TEST(Deserializer, EmptyOutputElementLeavesOutputAbsent) {
  Report r = read_ok(
      "<testsuites name=\"r\"><testsuite name=\"s\"><system-out/><testcase name=\"c\">"
      "<system-err/></testcase></testsuite></testsuites>");
  EXPECT_FALSE(r.test_suites[0].system_out.has_value());
  EXPECT_FALSE(r.test_suites[0].test_cases[0].system_err.has_value());
}

TEST(Deserializer, AttributeReferencesAreResolvedButNotInText) {
  Report r = read_ok(wrap_case("<failure message=\"a &lt;b&gt; &#65;\"/>"));
  const auto* n = std::get_if<NonSuccess>(&r.test_suites[0].test_cases[0].status.value());
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->message, XmlString("a <b> A"));
}

TEST(Deserializer, OnlyEmptyPropertyTagsAtAnyDepthCount) {
  Report r = read_ok(
      "<testsuites name=\"r\"><testsuite name=\"s\"><properties><property name=\"a\" "
      "value=\"1\"/><property name=\"b\"></property><g><property name=\"c\" value=\"3\"/></g>"
      "</properties><properties><property name=\"d\" value=\"4\"/></properties></testsuite>"
      "</testsuites>");
  const auto& props = r.test_suites[0].properties;
  ASSERT_EQ(props.size(), 1u);  // the second list replaces the first
  EXPECT_EQ(props[0].name.view(), "d");
}

TEST(Deserializer, UnknownElementsAreSkippedWholeIncludingNestedSuites) {
  Report r = read_ok(
      "<testsuites name=\"r\"><testsuite name=\"s\"><testsuite name=\"inner\"><testcase "
      "name=\"hidden\"/></testsuite><testcase name=\"seen\"/></testsuite></testsuites>");
  ASSERT_EQ(r.test_suites.size(), 1u);
  ASSERT_EQ(r.test_suites[0].test_cases.size(), 1u);
  EXPECT_EQ(r.test_suites[0].test_cases[0].name.view(), "seen");
}

TEST(Deserializer, LaterRootReplacesEarlierOne) {
  Report r = read_ok("<x><testsuites name=\"a\"/><testsuites name=\"b\"></testsuites></x>");
  EXPECT_EQ(r.name.view(), "b");
}

TEST(Deserializer, DeepNestingDoesNotRecurse) {
  constexpr int kDepth = 1'000'000;
  std::string doc = "<testsuites name=\"r\">";
  doc.reserve(doc.size() + kDepth * 8 + 64);
  for (int i = 0; i < kDepth; ++i) doc += "<a>";
  for (int i = 0; i < kDepth; ++i) doc += "</a>";
  doc += "<testsuite name=\"s\">";
  for (int i = 0; i < kDepth; ++i) doc += "<b>";
  for (int i = 0; i < kDepth; ++i) doc += "</b>";
  doc += "</testsuite></testsuites>";
  Report r = read_ok(doc);
  EXPECT_EQ(r.test_suites.size(), 1u);
}

// Records what a read hands over; refuses the suite numbered `refuse_at`.
class RecordingSink final : public SuiteSink {
 public:
  explicit RecordingSink(std::size_t refuse_at = SIZE_MAX) : refuse_at_(refuse_at) {}
  bool take(TestSuite&& suite) override {
    ++offered;
    if (offered - 1 == refuse_at_) return false;
    suites.push_back(std::move(suite));
    return true;
  }
  void restart() override { suites.clear(); }

  std::vector<TestSuite> suites;
  std::size_t offered = 0;

 private:
  std::size_t refuse_at_;
};

// Handing suites over as they are read gives the same suites, and the same
// errors, as keeping them in the report; a later root drops earlier suites.
TEST(Deserializer, SuitesHandedOverMatchSuitesKept) {
  const std::string documents[] = {
      "<testsuites name=\"r\" tests=\"2\"><testsuite name=\"a\"><testcase name=\"x\"/>"
      "</testsuite><testsuite name=\"b\"/></testsuites>",
      "<testsuites name=\"a\"><testsuite name=\"dropped\"/><testsuites name=\"b\">"
      "<testsuite name=\"kept\"/></testsuites></testsuites>",
      "<testsuites name=\"a\"><testsuite name=\"s\"/><testsuites name=\"b\">"
      "<testsuite name=\"bad\"><testcase/></testsuite></testsuites></testsuites>",
      "<testsuites name=\"r\"><testsuite name=\"s\"><testcase name=\"c\" time=\"x\"/>",
  };
  for (const std::string& xml : documents) {
    const auto kept = deserialize_from_str(xml);
    RecordingSink sink;
    const auto handed = deserialize_from_valid_utf8(xml, sink);
    ASSERT_EQ(handed.has_value(), kept.has_value()) << xml;
    if (!kept) {
      EXPECT_EQ(handed.error().text(), kept.error().text()) << xml;
      continue;
    }
    EXPECT_TRUE(handed->test_suites.empty()) << xml;
    EXPECT_EQ(handed->name, kept->name) << xml;
    EXPECT_EQ(sink.suites, kept->test_suites) << xml;
  }
}

TEST(Deserializer, LaterRootCountsItsSuitesFromZero) {
  const auto report = deserialize_from_str(
      "<testsuites name=\"a\"><testsuite name=\"s\"/><testsuites name=\"b\">"
      "<testsuite name=\"bad\"><testcase/></testsuite></testsuites></testsuites>");
  ASSERT_FALSE(report.has_value());
  EXPECT_EQ(report.error().text(),
            "at testsuites/testsuite[0](\"bad\")/testcase[0]/@name: missing required attribute: name");
}

TEST(Deserializer, RefusedSuiteEndsTheRead) {
  const std::string xml =
      "<testsuites name=\"r\"><testsuite name=\"a\"/><testsuite name=\"b\"/>"
      "<testsuite name=\"c\"/></testsuites>";
  RecordingSink sink(1);
  EXPECT_FALSE(deserialize_from_valid_utf8(xml, sink).has_value());
  EXPECT_EQ(sink.offered, 2u);
  ASSERT_EQ(sink.suites.size(), 1u);
  EXPECT_EQ(sink.suites[0].name.view(), "a");
}

}  // namespace
}  // namespace corvane
