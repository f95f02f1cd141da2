// Text forms of deserialization errors: every kind, every path step, and the
// composed "at <path>: <kind>" message the user sees.
#include <gtest/gtest.h>

#include <string>

#include "xml_read/deserialize_error.hpp"

namespace corvane {
namespace {

using Kind = DeserializeErrorKind;

struct KindCase {
  Kind kind;
  std::string_view expected;  // text form with the detail "D"
};

constexpr KindCase kKindCases[] = {
    {Kind::XmlError, "error parsing XML"},
    {Kind::InvalidUtf8, "invalid UTF-8"},
    {Kind::InvalidInteger, "invalid integer: D"},
    {Kind::InvalidTimestamp, "invalid timestamp: D"},
    {Kind::InvalidDuration, "invalid duration: D"},
    {Kind::InvalidUuid, "invalid UUID: D"},
    {Kind::MissingAttribute, "missing required attribute: D"},
    {Kind::InvalidStructure, "invalid structure: D"},
    {Kind::AttrError, "attribute error: D"},
    {Kind::EscapeError, "XML unescape error: D"},
};

TEST(DeserializeErrorKindText, EveryKindHasItsText) {
  ASSERT_EQ(std::size(kKindCases), kDeserializeErrorKindCount);
  for (std::size_t i = 0; i < kDeserializeErrorKindCount; ++i) {
    const Kind kind = static_cast<Kind>(i);
    SCOPED_TRACE(i);
    EXPECT_EQ(kKindCases[i].kind, kind);
    EXPECT_FALSE(kind_label(kind).empty());
    EXPECT_EQ(kind_text(kind, "D"), kKindCases[i].expected);
  }
}

struct StepCase {
  PathElement element;
  std::string_view expected;
};

const StepCase kStepCases[] = {
    {PathElement(PathStep::TestSuites), "testsuites"},
    {PathElement::test_suite(0), "testsuite[0]"},
    {PathElement::test_suite(12, XmlString("unit")), R"(testsuite[12]("unit"))"},
    {PathElement::test_suite(0, XmlString("a\"b")), R"(testsuite[0]("a"b"))"},
    {PathElement::test_suite(1, XmlString("")), R"(testsuite[1](""))"},
    {PathElement::test_case(18446744073709551615u), "testcase[18446744073709551615]"},
    {PathElement::test_case(3, XmlString("x/y: z")), R"(testcase[3]("x/y: z"))"},
    {PathElement(PathStep::Properties), "properties"},
    {PathElement::property(2), "property[2]"},
    {PathElement(PathStep::Failure), "failure"},
    {PathElement(PathStep::Error), "error"},
    {PathElement(PathStep::Skipped), "skipped"},
    {PathElement(PathStep::FlakyFailure), "flakyFailure"},
    {PathElement(PathStep::FlakyError), "flakyError"},
    {PathElement(PathStep::RerunFailure), "rerunFailure"},
    {PathElement(PathStep::RerunError), "rerunError"},
    {PathElement(PathStep::SystemOut), "system-out"},
    {PathElement(PathStep::SystemErr), "system-err"},
    {PathElement::attribute("time"), "@time"},
    {PathElement::attribute("stackTrace"), "@stackTrace"},
};

TEST(PathElementText, EveryStep) {
  for (const auto& [element, expected] : kStepCases) {
    EXPECT_EQ(element.text(), expected);
  }
}

ElementPath suite_path(std::string_view suite_name) {
  return {PathElement(PathStep::TestSuites), PathElement::test_suite(0, XmlString(suite_name))};
}

struct MessageCase {
  std::string_view label;
  DeserializeError error;
  std::string_view expected;
};

const MessageCase kMessageCases[] = {
    {"empty path: kind text alone",
     make_error({}, Kind::InvalidStructure, "missing <testsuites> element"),
     "invalid structure: missing <testsuites> element"},
    {"one step",
     make_error({PathElement(PathStep::TestSuites)}, Kind::InvalidStructure,
                "unexpected EOF, <testsuites> not properly closed"),
     "at testsuites: invalid structure: unexpected EOF, <testsuites> not properly closed"},
    {"bad time on the second case",
     make_attribute_error(
         [] {
           ElementPath path = suite_path("unit");
           path.push_back(PathElement::test_case(1));
           return path;
         }(),
         "time", Kind::InvalidDuration, "1,5"),
     R"(at testsuites/testsuite[0]("unit")/testcase[1]/@time: invalid duration: 1,5)"},
    {"reader detail is not shown",
     make_error(
         [] {
           ElementPath path = suite_path("s");
           path.push_back(PathElement::test_case(0, XmlString("c")));
           return path;
         }(),
         Kind::XmlError, "mismatched end tag"),
     R"(at testsuites/testsuite[0]("s")/testcase[0]("c"): error parsing XML)"},
    {"missing property value",
     require_attribute(
         [] {
           ElementPath path = suite_path("s");
           path.push_back(PathElement(PathStep::Properties));
           path.push_back(PathElement::property(2));
           return path;
         }(),
         "value"),
     R"(at testsuites/testsuite[0]("s")/properties/property[2]/@value: missing required attribute: value)"},
    {"missing root name", require_attribute({PathElement(PathStep::TestSuites)}, "name"),
     "at testsuites/@name: missing required attribute: name"},
    {"attribute error has no attribute step",
     make_attribute_error({PathElement(PathStep::TestSuites), PathElement::test_suite(0)}, "",
                          Kind::AttrError,
                          "position 19: duplicated attribute, previous declaration at position 10"),
     "at testsuites/testsuite[0]: attribute error: position 19: duplicated attribute, previous "
     "declaration at position 10"},
    {"escape error",
     make_attribute_error(
         {PathElement(PathStep::TestSuites), PathElement::test_suite(0)}, "name", Kind::EscapeError,
         "Error while escaping character at range 1..3: Cannot find ';' after '&'"),
     "at testsuites/testsuite[0]/@name: XML unescape error: Error while escaping character at "
     "range 1..3: Cannot find ';' after '&'"},
    {"name with a quotation mark",
     make_error(suite_path("a\"b"), Kind::InvalidStructure, "unexpected EOF in <testsuite>"),
     R"(at testsuites/testsuite[0]("a"b"): invalid structure: unexpected EOF in <testsuite>)"},
    {"stack trace step",
     make_error(
         [] {
           ElementPath path = suite_path("s");
           path.push_back(PathElement::test_case(0, XmlString("c")));
           path.push_back(PathElement(PathStep::Failure));
           path.push_back(PathElement::attribute("stackTrace"));
           return path;
         }(),
         Kind::InvalidStructure, "unrecognized entity: #10"),
     R"(at testsuites/testsuite[0]("s")/testcase[0]("c")/failure/@stackTrace: invalid structure: unrecognized entity: #10)"},
};

TEST(DeserializeErrorText, ComposedMessages) {
  for (const auto& [label, error, expected] : kMessageCases) {
    EXPECT_EQ(error.text(), expected) << label;
  }
}

TEST(DeserializeErrorText, ErrorKeepsItsOwnCopyOfThePath) {
  ElementPath path = suite_path("s");
  const DeserializeError error = make_attribute_error(path, "tests", Kind::InvalidInteger, "x");
  path.clear();
  path.push_back(PathElement(PathStep::Skipped));
  EXPECT_EQ(error.text(), R"(at testsuites/testsuite[0]("s")/@tests: invalid integer: x)");
  EXPECT_EQ(error.path.size(), 3u);
}

}  // namespace
}  // namespace corvane
