// The canonical model's shortcuts must give what the trip through the
// writer and the strict reader gives.
#include "canonical/canonical_report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "xml_read/value_parsers.hpp"
#include "xml_write/text_forms.hpp"

namespace corvane {
namespace {

struct TimeCase {
  Duration time;
  bool exact;
};

class WrittenExactly : public testing::TestWithParam<TimeCase> {};

TEST_P(WrittenExactly, OnlyWhenTheTripChangesNothing) {
  const Duration time = GetParam().time;
  EXPECT_EQ(is_written_exactly(time), GetParam().exact);
  char buffer[kMaxTimeLength];
  const auto read = parse_duration_text(std::string_view(buffer, write_time(buffer, time)));
  if (GetParam().exact) {
    EXPECT_EQ(read, time);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Canonical, WrittenExactly,
    testing::Values(TimeCase{{0, 0}, true}, TimeCase{{0, 1'000'000}, true},
                    TimeCase{{0, 59'000'000}, true}, TimeCase{{0, 999'000'000}, true},
                    TimeCase{{999'999, 999'000'000}, true}, TimeCase{{123'456, 789'000'000}, true},
                    TimeCase{{1'000'000, 0}, false}, TimeCase{{0, 1}, false},
                    TimeCase{{0, 1'500'000}, false}, TimeCase{{7, 999'999'999}, false}));

// Keys found writable on one case are taken as known on the next; a case
// with any other key is still checked in full.
TEST(CanonicalExtraKeys, EachCaseKeepsOnlyWritableKeys) {
  auto report = canonical_report(
      "<testsuite name=\"s\">"
      "<testcase name=\"1\" file=\"f\" line=\"1\"/>"
      "<testcase name=\"2\" line=\"2\" file=\"f\" p:x=\"3\"/>"
      "<testcase name=\"3\" file=\"f\" a&lt;b=\"4\" line=\"3\"/>"
      "<testcase name=\"4\" xmlns:p=\"u\" p:x=\"5\" file=\"f\"/>"
      "<testcase name=\"5\" line=\"5\"/>"
      "</testsuite>");
  ASSERT_TRUE(report.has_value());
  std::vector<std::string> kept;
  for (const TestCase& test_case : report->test_suites.at(0).test_cases) {
    std::string keys;
    for (const auto& [key, value] : test_case.extra) keys.append(key.view()).append(" ");
    kept.push_back(keys);
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"file line ", "line file ", "file line ",
                                            "xmlns:p p:x file ", "line "}));
}

}  // namespace
}  // namespace corvane
