// Tests of the report model: running counts, disabled totals, status
// operations that must be no-ops, and the ordered extra-attribute map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "model/report.hpp"

namespace corvane {
namespace {

enum class Outcome { Success, FlakySuccess, Failure, Error, RerunFailure, Skipped };

TestRerun rerun(NonSuccessKind kind, std::string_view message) {
  TestRerun r;
  r.kind = kind;
  r.message = XmlString(message);
  return r;
}

TestCase make_case(Outcome outcome) {
  switch (outcome) {
    case Outcome::Success:
      return TestCase("ok", TestCaseStatus::success());
    case Outcome::FlakySuccess: {
      TestCaseStatus status = TestCaseStatus::success();
      status.add_rerun(rerun(NonSuccessKind::Failure, "first"));
      status.add_rerun(rerun(NonSuccessKind::Error, "second"));
      return TestCase("flaky", std::move(status));
    }
    case Outcome::Failure:
      return TestCase("fails", TestCaseStatus::non_success(NonSuccessKind::Failure));
    case Outcome::Error:
      return TestCase("breaks", TestCaseStatus::non_success(NonSuccessKind::Error));
    case Outcome::RerunFailure: {
      TestCaseStatus status = TestCaseStatus::non_success(NonSuccessKind::Failure);
      status.add_rerun(rerun(NonSuccessKind::Error, "again"));
      return TestCase("reruns", std::move(status));
    }
    case Outcome::Skipped:
      return TestCase("skip", TestCaseStatus::skipped());
  }
  return TestCase("unreachable", TestCaseStatus::success());
}

struct Counts {
  std::uint64_t tests, failures, errors, skipped;
};

template <typename Record>
Counts counts_of(const Record& r) {
  return {r.tests, r.failures, r.errors, r.skipped};
}

void expect_counts(const Counts& actual, const Counts& expected) {
  EXPECT_EQ(actual.tests, expected.tests);
  EXPECT_EQ(actual.failures, expected.failures);
  EXPECT_EQ(actual.errors, expected.errors);
  EXPECT_EQ(actual.skipped, expected.skipped);
}

// ---------------------------------------------------------------------------
// Counting.

struct CountCase {
  const char* name;
  std::vector<Outcome> outcomes;
  Counts suite;
};

class SuiteCounts : public testing::TestWithParam<CountCase> {};

TEST_P(SuiteCounts, FollowStatusesAndDoubleInReport) {
  const CountCase& c = GetParam();
  TestSuite suite("suite");
  for (Outcome outcome : c.outcomes) suite.add_test_case(make_case(outcome));
  expect_counts(counts_of(suite), c.suite);
  ASSERT_EQ(suite.test_cases.size(), c.outcomes.size());
  for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
    EXPECT_EQ(suite.test_cases[i], make_case(c.outcomes[i])) << "case " << i << " kept in order";
  }
  EXPECT_FALSE(suite.disabled.has_value()) << "adding cases never touches disabled";

  Report report("report");
  report.add_test_suite(suite);
  report.add_test_suite(suite);
  expect_counts(counts_of(report),
                {2 * c.suite.tests, 2 * c.suite.failures, 2 * c.suite.errors, 2 * c.suite.skipped});
  EXPECT_EQ(report.test_suites.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SuiteCounts,
    testing::Values(
        CountCase{"Empty", {}, {0, 0, 0, 0}},
        CountCase{"OneOfEach",
                  {Outcome::Success, Outcome::Failure, Outcome::Error, Outcome::Skipped},
                  {4, 1, 1, 1}},
        CountCase{"FlakySuccessCountsOnlyAsTest", {Outcome::FlakySuccess}, {1, 0, 0, 0}},
        CountCase{"RerunsAddNothing", {Outcome::RerunFailure, Outcome::RerunFailure}, {2, 2, 0, 0}},
        CountCase{"Mixed",
                  {Outcome::Error, Outcome::Error, Outcome::Skipped, Outcome::FlakySuccess,
                   Outcome::Failure, Outcome::Error},
                  {6, 1, 3, 1}}),
    [](const testing::TestParamInfo<CountCase>& info) { return info.param.name; });

struct DisabledCase {
  const char* name;
  std::vector<std::optional<std::uint64_t>> suites;      // each suite's disabled
  std::vector<std::optional<std::uint64_t>> after_each;  // the report's, after each add
};

class ReportDisabled : public testing::TestWithParam<DisabledCase> {};

TEST_P(ReportDisabled, SumsPresentValues) {
  const DisabledCase& c = GetParam();
  Report report("report");
  EXPECT_FALSE(report.disabled.has_value());
  for (std::size_t i = 0; i < c.suites.size(); ++i) {
    TestSuite suite("suite");
    suite.disabled = c.suites[i];
    report.add_test_suite(std::move(suite));
    EXPECT_EQ(report.disabled, c.after_each[i]) << "after suite " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ReportDisabled,
    testing::Values(DisabledCase{"ThreeTwoAbsent", {3, 2, std::nullopt}, {3, 5, 5}},
                    DisabledCase{"AbsentStaysAbsent",
                                 {std::nullopt, std::nullopt},
                                 {std::nullopt, std::nullopt}},
                    DisabledCase{"ZeroMakesItPresent", {std::nullopt, 0, 4}, {std::nullopt, 0, 4}},
                    DisabledCase{"LargeValues",
                                 {std::uint64_t{1} << 40, std::uint64_t{1} << 40},
                                 {std::uint64_t{1} << 40, std::uint64_t{1} << 41}}),
    [](const testing::TestParamInfo<DisabledCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Status operations.

struct StatusOperation {
  const char* name;
  void (*apply)(TestCaseStatus&);
};

const StatusOperation kStatusOperations[] = {
    {"set_message", [](TestCaseStatus& s) { s.set_message("message"); }},
    {"set_type", [](TestCaseStatus& s) { s.set_type("type"); }},
    {"set_description", [](TestCaseStatus& s) { s.set_description("description"); }},
    {"set_rerun_kind", [](TestCaseStatus& s) { s.set_rerun_kind(RerunKind::Flaky); }},
    {"add_rerun", [](TestCaseStatus& s) { s.add_rerun(rerun(NonSuccessKind::Failure, "r")); }},
};

// Which operations may change which variant.
struct Applicability {
  const char* variant;
  TestCaseStatus (*make)();
  std::vector<std::string> changed_by;
};

TEST(TestCaseStatus, OperationsThatDoNotApplyAreNoOps) {
  const Applicability variants[] = {
      {"Success", [] { return TestCaseStatus::success(); }, {"add_rerun"}},
      {"Failure",
       [] { return TestCaseStatus::non_success(NonSuccessKind::Failure); },
       {"set_message", "set_type", "set_description", "set_rerun_kind", "add_rerun"}},
      {"Skipped",
       [] { return TestCaseStatus::skipped(); },
       {"set_message", "set_type", "set_description"}},
  };
  for (const Applicability& v : variants) {
    for (const StatusOperation& op : kStatusOperations) {
      TestCaseStatus status = v.make();
      op.apply(status);
      const bool expect_change =
          std::find(v.changed_by.begin(), v.changed_by.end(), op.name) != v.changed_by.end();
      EXPECT_EQ(status != v.make(), expect_change) << op.name << " on " << v.variant;
    }
  }
}

TEST(TestCaseStatus, TextSettersCleanAndReplace) {
  TestCaseStatus skipped = TestCaseStatus::skipped();
  skipped.set_message("\x1b[33mfirst\x1b[0m");
  skipped.set_message("second\rline");
  skipped.set_type("\x1b]0;t\x07kind");
  const auto& s = std::get<Skipped>(skipped.value());
  EXPECT_EQ(s.message, XmlString("secondline"));
  EXPECT_EQ(s.type, XmlString("kind"));
  EXPECT_FALSE(s.description.has_value());

  TestCaseStatus error = TestCaseStatus::non_success(NonSuccessKind::Error);
  error.set_description("line one\r\nline two");
  const auto& n = std::get<NonSuccess>(error.value());
  EXPECT_EQ(n.description, XmlString("line one\nline two"));
  EXPECT_EQ(n.kind, NonSuccessKind::Error);
}

TEST(TestCaseStatus, ReRunsAreKeptInOrder) {
  TestCaseStatus success = TestCaseStatus::success();
  TestCaseStatus failure = TestCaseStatus::non_success(NonSuccessKind::Failure);
  for (const char* message : {"one", "two", "three"}) {
    success.add_rerun(rerun(NonSuccessKind::Error, message));
    failure.add_rerun(rerun(NonSuccessKind::Failure, message));
  }
  const auto& flaky = std::get<Success>(success.value()).flaky_runs;
  const auto& reruns = std::get<NonSuccess>(failure.value()).reruns;
  ASSERT_EQ(flaky.size(), 3u);
  ASSERT_EQ(reruns.size(), 3u);
  EXPECT_EQ(flaky[2].message, XmlString("three"));
  EXPECT_EQ(reruns[0].message, XmlString("one"));
  EXPECT_EQ(reruns[0].kind, NonSuccessKind::Failure);
}

TEST(TestCaseStatus, NewNonSuccessIsBareWithRerunKindRerun) {
  for (NonSuccessKind kind : {NonSuccessKind::Failure, NonSuccessKind::Error}) {
    const TestCaseStatus status = TestCaseStatus::non_success(kind);
    const auto& n = std::get<NonSuccess>(status.value());
    EXPECT_EQ(n.rerun_kind, RerunKind::Rerun);
    EXPECT_EQ(n.kind, kind);
    EXPECT_FALSE(n.message || n.type || n.description);
    EXPECT_TRUE(n.reruns.empty());
  }
}

TEST(Records, ConstructorsCleanNamesAndStartEmpty) {
  const Report report("\x1b[1mnightly\x1b[0m");
  EXPECT_EQ(report.name, XmlString("nightly"));
  expect_counts(counts_of(report), {0, 0, 0, 0});
  EXPECT_FALSE(report.disabled || report.uuid || report.timestamp || report.time);

  const TestSuite suite("unit\x07tests");
  EXPECT_EQ(suite.name, XmlString("unittests"));
  expect_counts(counts_of(suite), {0, 0, 0, 0});
  EXPECT_TRUE(suite.test_cases.empty() && suite.properties.empty() && suite.extra.empty());

  const TestCase test_case("\x1b[32mtest_one", TestCaseStatus::skipped());
  EXPECT_EQ(test_case.name, XmlString("test_one"));
  EXPECT_FALSE(test_case.classname || test_case.assertions || test_case.system_out);
}

// ---------------------------------------------------------------------------
// The extra map.

std::vector<std::pair<std::string, std::string>> entries_of(const ExtraMap& map) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [key, value] : map) out.emplace_back(key.view(), value.view());
  return out;
}

TEST(ExtraMap, ReplacesInPlaceAndAppendsNewKeys) {
  ExtraMap map;
  map.insert(XmlString("a"), XmlString("1"));
  map.insert(XmlString("b"), XmlString("2"));
  map.insert(XmlString("a"), XmlString("3"));
  using Entries = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(entries_of(map), (Entries{{"a", "3"}, {"b", "2"}}));
}

TEST(ExtraMap, KeysEqualAfterCleaningAreOneKey) {
  ExtraMap map;
  map.insert(XmlString("\x1b[31mhost\x1b[0m"), XmlString("first"));
  map.insert(XmlString("other"), XmlString("x"));
  map.insert(XmlString("ho\x1b[1mst"), XmlString("second"));
  using Entries = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(entries_of(map), (Entries{{"host", "second"}, {"other", "x"}}));
}

// Sizes around the point where lookups switch from a scan to a hash index.
class ExtraMapSize : public testing::TestWithParam<int> {};

TEST_P(ExtraMapSize, ReplacementKeepsPositionsAtAnySize) {
  const int n = GetParam();
  ExtraMap map;
  std::vector<std::pair<std::string, std::string>> expected;
  for (int i = 0; i < n; ++i) {
    const std::string key = "key" + std::to_string(i);
    map.insert(XmlString(key), XmlString("v" + std::to_string(i)));
    expected.emplace_back(key, "v" + std::to_string(i));
  }
  // Replace every key, latest first, so both ends of the map are hit.
  for (int i = n - 1; i >= 0; --i) {
    map.insert(XmlString("key" + std::to_string(i)), XmlString("w" + std::to_string(i)));
    expected[static_cast<std::size_t>(i)].second = "w" + std::to_string(i);
  }
  map.insert(XmlString("new"), XmlString("last"));
  expected.emplace_back("new", "last");
  map.insert(XmlString("new"), XmlString("replaced"));
  expected.back().second = "replaced";
  if (n > 0) {
    map.insert(XmlString("key0"), XmlString("again"));
    expected.front().second = "again";
  }
  EXPECT_EQ(entries_of(map), expected);

  // A copy, once indexed, must not share or lose its original's index: both
  // keep finding their own keys after the other changes.
  ExtraMap copy = map;
  copy.insert(XmlString("new"), XmlString("copy"));
  copy.insert(XmlString("only-in-copy"), XmlString("c"));
  map.insert(XmlString("new"), XmlString("original"));
  auto copied = expected;
  copied[static_cast<std::size_t>(n)].second = "copy";
  copied.emplace_back("only-in-copy", "c");
  expected[static_cast<std::size_t>(n)].second = "original";
  EXPECT_EQ(entries_of(copy), copied);
  EXPECT_EQ(entries_of(map), expected);
  // Assignment over a map that has an index of its own.
  ExtraMap assigned = map;
  assigned.insert(XmlString("new"), XmlString("indexed"));
  assigned = copy;
  assigned.insert(XmlString("only-in-copy"), XmlString("again"));
  copied.back().second = "again";
  EXPECT_EQ(entries_of(assigned), copied);
}

INSTANTIATE_TEST_SUITE_P(AroundIndexThreshold, ExtraMapSize,
                         testing::Values(0, 1, 31, 32, 33, 34, 100, 1000));

}  // namespace
}  // namespace corvane
