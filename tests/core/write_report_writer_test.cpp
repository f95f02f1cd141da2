// Tests of writing a document one suite at a time: the root comes from the
// report's own fields and counts only, and the pieces add up to exactly the
// document of the whole report.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/report.hpp"
#include "xml_write/output_buffer.hpp"
#include "xml_write/report_serializer.hpp"

namespace corvane {
namespace {

TestSuite suite_of(std::string_view name, std::vector<TestCaseStatus> statuses) {
  TestSuite suite(name);
  int index = 0;
  for (TestCaseStatus& status : statuses) {
    std::string name = "case";
    name += std::to_string(index++);  // not operator+: GCC 12 warns wrongly there
    suite.add_test_case(TestCase(name, std::move(status)));
  }
  return suite;
}

TestCaseStatus failure() { return TestCaseStatus::non_success(NonSuccessKind::Failure); }
TestCaseStatus error() { return TestCaseStatus::non_success(NonSuccessKind::Error); }

struct Case {
  const char* what;
  std::vector<std::vector<TestCaseStatus>> suites;
};

class ReportWriterTest : public testing::TestWithParam<int> {};

std::vector<Case> cases() {
  std::vector<Case> all;
  all.push_back({"no suites", {}});
  all.push_back({"one empty suite", {{}}});
  all.push_back({"mixed statuses",
                 {{TestCaseStatus::success(), failure(), TestCaseStatus::skipped()},
                  {error(), error()},
                  {}}});
  return all;
}

// The header report keeps the counts but no suites, as a caller that makes
// each suite only while writing it would pass it.
TEST_P(ReportWriterTest, PiecesMakeTheWholeDocument) {
  Case c = std::move(cases()[static_cast<std::size_t>(GetParam())]);
  Report whole("r");
  whole.timestamp = Timestamp{1'714'972'089, 0, 0};
  whole.time = Duration{3, 0};
  for (std::size_t i = 0; i < c.suites.size(); ++i) {
    std::string name = "s";
    name += std::to_string(i);
    whole.add_test_suite(suite_of(name, std::move(c.suites[i])));
  }
  Report header = whole;
  header.test_suites.clear();

  OutputBuffer buffer;
  ReportWriter writer(buffer);
  writer.begin(header);
  for (const TestSuite& suite : whole.test_suites) writer.suite(suite);
  writer.finish();

  auto expected = to_string(whole);
  ASSERT_TRUE(expected) << c.what;
  EXPECT_EQ(buffer.view(), *expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Reports, ReportWriterTest, testing::Range(0, 3));

// begin() writes only the root: suites still held by the report it is given
// are not written, since the caller writes each one itself.
TEST(ReportWriter, BeginIgnoresTheReportsOwnSuites) {
  Report report("r");
  report.add_test_suite(suite_of("held", {TestCaseStatus::success()}));
  OutputBuffer buffer;
  ReportWriter writer(buffer);
  writer.begin(report);
  writer.finish();
  const std::string text(buffer.view());
  EXPECT_EQ(text.find("held"), std::string::npos);
  EXPECT_NE(text.find("tests=\"1\""), std::string::npos);
}

}  // namespace
}  // namespace corvane
