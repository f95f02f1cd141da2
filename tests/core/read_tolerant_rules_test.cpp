// Tolerant reading rules: values repaired or dropped, references resolved in
// text, outcome elements reduced by precedence, counts recomputed.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>

#include "xml_read/report_deserializer.hpp"
#include "xml_read/tolerant_deserializer.hpp"
#include "xml_read/tolerant_values.hpp"

namespace corvane {
namespace {

std::string in_case(std::string_view attributes, std::string_view body) {
  return "<testsuites name=\"r\"><testsuite name=\"s\"><testcase name=\"c\" " +
         std::string(attributes) + ">" + std::string(body) + "</testcase></testsuite></testsuites>";
}

const TestCase& only_case(const std::expected<Report, DeserializeError>& report) {
  static const TestCase kMissing("<missing>", TestCaseStatus::success());
  if (!report) {
    ADD_FAILURE() << report.error().text();
    return kMissing;
  }
  return report->test_suites.at(0).test_cases.at(0);
}

struct DurationCase {
  const char* text;
  std::optional<Duration> expected;
};

class TolerantDuration : public testing::TestWithParam<DurationCase> {};

TEST_P(TolerantDuration, ReadsOrDrops) {
  EXPECT_EQ(tolerant_duration(GetParam().text), GetParam().expected) << GetParam().text;
  // The same text as a case's `time` attribute never fails the document.
  const auto report =
      deserialize_tolerant(in_case(std::string("time=\"") + GetParam().text + "\"", ""));
  EXPECT_EQ(only_case(report).time, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tolerant, TolerantDuration,
    testing::Values(DurationCase{"1.5", Duration{1, 500'000'000}},
                    DurationCase{"2.5e-3", Duration{0, 2'500'000}},
                    DurationCase{"1,234.5", Duration{1234, 500'000'000}},
                    DurationCase{"12,345,678.000", Duration{12'345'678, 0}},
                    DurationCase{"1,5", std::nullopt}, DurationCase{"1,234", std::nullopt},
                    DurationCase{"1234,567.5", std::nullopt}, DurationCase{"1,23.5", std::nullopt},
                    DurationCase{",123.5", std::nullopt}, DurationCase{"-1", std::nullopt},
                    DurationCase{"", std::nullopt}, DurationCase{"abc", std::nullopt}));

struct TimestampCase {
  const char* text;
  std::optional<std::int64_t> utc_seconds;
  std::int32_t offset_seconds;
};

class TolerantTimestamp : public testing::TestWithParam<TimestampCase> {};

TEST_P(TolerantTimestamp, ReadsNaiveAsUtcOrDrops) {
  const auto timestamp = tolerant_timestamp(GetParam().text);
  ASSERT_EQ(timestamp.has_value(), GetParam().utc_seconds.has_value()) << GetParam().text;
  if (timestamp) {
    EXPECT_EQ(timestamp->utc_seconds, *GetParam().utc_seconds);
    EXPECT_EQ(timestamp->offset_seconds, GetParam().offset_seconds);
  }
  const auto report =
      deserialize_tolerant(in_case(std::string("timestamp=\"") + GetParam().text + "\"", ""));
  EXPECT_EQ(only_case(report).timestamp, timestamp);
}

// 2024-01-02T03:04:05Z
constexpr std::int64_t kInstant = 1704164645;

INSTANTIATE_TEST_SUITE_P(Tolerant, TolerantTimestamp,
                         testing::Values(TimestampCase{"2024-01-02T03:04:05Z", kInstant, 0},
                                         TimestampCase{"2024-01-02T03:04:05", kInstant, 0},
                                         TimestampCase{"2024-01-02T03:04:05.678", kInstant, 0},
                                         TimestampCase{"2024-01-02 03:04:05", kInstant, 0},
                                         TimestampCase{"2024-01-02T05:04:05+02:00", kInstant, 7200},
                                         TimestampCase{"2024-02-30T03:04:05", std::nullopt, 0},
                                         TimestampCase{"2024-01-02", std::nullopt, 0},
                                         TimestampCase{"2024-01-02T03:04:05+0200", std::nullopt, 0},
                                         TimestampCase{"yesterday", std::nullopt, 0}));

struct OutcomeCase {
  const char* label;
  std::string body;
  // "success", "failure", "error" or "skipped".
  std::string outcome;
  std::optional<std::string> message;
  std::optional<std::string> description;
  std::size_t attempts;
  RerunKind rerun_kind;
};

std::string outcome_of(const TestCaseStatus& status) {
  return std::visit(
      [](const auto& value) -> std::string {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, Success>) return "success";
        if constexpr (std::is_same_v<T, Skipped>) return "skipped";
        if constexpr (std::is_same_v<T, NonSuccess>) {
          return value.kind == NonSuccessKind::Failure ? "failure" : "error";
        }
      },
      status.value());
}

std::optional<std::string> text(const OptionalText& value) {
  if (!value) return std::nullopt;
  return std::string(value->view());
}

class TolerantOutcome : public testing::TestWithParam<OutcomeCase> {};

TEST_P(TolerantOutcome, ReducesByPrecedence) {
  const OutcomeCase& expected = GetParam();
  const auto report = deserialize_tolerant(in_case("", expected.body));
  const TestCaseStatus& status = only_case(report).status;
  EXPECT_EQ(outcome_of(status), expected.outcome);
  std::visit(
      [&](const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, Success>) {
          EXPECT_EQ(value.flaky_runs.size(), expected.attempts);
        } else {
          EXPECT_EQ(text(value.message), expected.message);
          EXPECT_EQ(text(value.description), expected.description);
          if constexpr (std::is_same_v<T, NonSuccess>) {
            EXPECT_EQ(value.reruns.size(), expected.attempts);
            EXPECT_EQ(value.rerun_kind, expected.rerun_kind);
          }
        }
      },
      status.value());
}

constexpr RerunKind kRerun = RerunKind::Rerun;
constexpr RerunKind kFlaky = RerunKind::Flaky;

INSTANTIATE_TEST_SUITE_P(
    Tolerant, TolerantOutcome,
    testing::Values(
        OutcomeCase{"several_failures",
                    "<failure message=\"a\">first</failure><failure message=\"b\">second"
                    "</failure><failure message=\"c\"/>",
                    "failure", "a", "first\n\nfailure: b\nsecond\n\nfailure: c", 0, kRerun},
        OutcomeCase{"failure_wins_over_earlier_skipped",
                    "<skipped message=\"why\"/><failure message=\"f\">trace</failure>", "failure",
                    "f", "trace\n\nskipped: why", 0, kRerun},
        OutcomeCase{"error_wins_over_skipped", "<skipped/><error message=\"e\"/>", "error", "e",
                    "skipped", 0, kRerun},
        OutcomeCase{"failure_wins_over_error",
                    "<error message=\"e\">boom</error><failure message=\"f\"/>", "failure", "f",
                    "error: e\nboom", 0, kRerun},
        OutcomeCase{"message_repeated_in_text_kept_once",
                    "<failure message=\"m\"/><failure message=\"x\">x</failure>", "failure", "m",
                    "failure: x", 0, kRerun},
        OutcomeCase{"skipped_keeps_attempts_as_text",
                    "<skipped message=\"s\"/><rerunFailure message=\"r\"/>", "skipped", "s",
                    "rerunFailure: r", 0, kRerun},
        OutcomeCase{"mixed_attempts_of_a_failure",
                    "<failure/><flakyFailure/><rerunError/><flakyError/>", "failure", std::nullopt,
                    std::nullopt, 3, kRerun},
        OutcomeCase{"flaky_attempts_of_a_failure", "<error/><flakyFailure/>", "error", std::nullopt,
                    std::nullopt, 1, kFlaky},
        OutcomeCase{"reruns_without_main_are_flaky_runs",
                    "<rerunFailure/><rerunError/><flakyFailure/>", "success", std::nullopt,
                    std::nullopt, 3, kRerun},
        // References are resolved, then the text is cleaned as usual.
        OutcomeCase{"description_from_references",
                    "<failure>line&#xA;next&#9;tab &lt;&#x1F600;&gt;</failure>", "failure",
                    std::nullopt, "line\nnext\ttab <\xF0\x9F\x98\x80>", 0, kRerun}),
    [](const auto& info) { return std::string(info.param.label); });

// Each case of the suite as "name:outcome+attempts".
std::string attempts_outline(const TestSuite& suite) {
  std::string out;
  for (const TestCase& test_case : suite.test_cases) {
    if (!out.empty()) out.push_back(' ');
    out.append(test_case.name.view());
    out.push_back(':');
    out.append(outcome_of(test_case.status));
    std::visit(
        [&](const auto& value) {
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, Success>) {
            out.push_back('+');
            out.append(std::to_string(value.flaky_runs.size()));
          } else if constexpr (std::is_same_v<T, NonSuccess>) {
            out.push_back('+');
            out.append(std::to_string(value.reruns.size()));
          }
        },
        test_case.status.value());
  }
  return out;
}

struct RepeatCase {
  const char* label;
  // The suite's own count of its tests.
  std::string counted;
  std::string cases;
  std::string outline;
  std::uint64_t tests;
};

class TolerantRepeatedCase : public testing::TestWithParam<RepeatCase> {};

TEST_P(TolerantRepeatedCase, EarlierBareCasesBeyondTheCountAreAttempts) {
  const auto report = deserialize_tolerant("<testsuite name=\"s\" " + GetParam().counted + ">" +
                                           GetParam().cases + "</testsuite>");
  ASSERT_TRUE(report.has_value()) << report.error().text();
  const TestSuite& suite = report->test_suites.at(0);
  EXPECT_EQ(attempts_outline(suite), GetParam().outline);
  EXPECT_EQ(suite.tests, GetParam().tests);
  EXPECT_EQ(report->tests, GetParam().tests);
}

INSTANTIATE_TEST_SUITE_P(
    Tolerant, TolerantRepeatedCase,
    testing::Values(
        RepeatCase{"passes_on_third_attempt", "tests=\"1\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"/><testcase name=\"t\"/>",
                   "t:success+2", 1},
        RepeatCase{"fails_after_retries", "tests=\"1\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"/>"
                   "<testcase name=\"t\"><failure/></testcase>",
                   "t:failure+2", 1},
        RepeatCase{"skipped_drops_attempts", "tests=\"1\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"><skipped/></testcase>", "t:skipped",
                   1},
        RepeatCase{"after_an_outcome_is_a_new_case", "tests=\"1\"",
                   "<testcase name=\"t\"><failure/></testcase><testcase name=\"t\"/>",
                   "t:failure+0 t:success+0", 2},
        RepeatCase{"other_class_is_a_new_case", "tests=\"1\"",
                   "<testcase name=\"t\" classname=\"a\"/><testcase name=\"t\" "
                   "classname=\"b\"/>",
                   "t:success+0 t:success+0", 2},
        RepeatCase{"not_adjacent_is_a_new_case", "tests=\"1\"",
                   "<testcase name=\"t\"/><testcase name=\"u\"/><testcase name=\"t\"/>",
                   "t:success+0 u:success+0 t:success+0", 3},
        RepeatCase{"attempts_before_flaky_elements", "tests=\"1\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"><flakyError/></testcase>",
                   "t:success+2", 1},
        // A test run twice, and counted twice, passed twice.
        RepeatCase{"every_run_counted", "tests=\"2\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"/>", "t:success+0 t:success+0", 2},
        RepeatCase{"no_count_no_attempts", "",
                   "<testcase name=\"t\"/><testcase name=\"t\"><failure/></testcase>",
                   "t:success+0 t:failure+0", 2},
        RepeatCase{"unreadable_count_no_attempts", "tests=\"one\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"/>", "t:success+0 t:success+0", 2},
        RepeatCase{"only_as_many_attempts_as_uncounted", "tests=\"2\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"/><testcase name=\"t\"/>",
                   "t:success+1 t:success+0", 2},
        // Only `testcase` elements are weighed against the count.
        RepeatCase{"suite_outcome_not_an_uncounted_case", "tests=\"2\"",
                   "<testcase name=\"t\"/><testcase name=\"t\"/><error/>",
                   "t:success+0 t:success+0 (suite error):error+0", 3}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TolerantRepeatedCase, LongRunsStayLinear) {
  std::string xml = "<testsuite name=\"s\" tests=\"1\">";
  for (int i = 0; i < 200'000; ++i) xml += "<testcase name=\"t\"/>";
  xml += "<testcase name=\"t\"><failure/></testcase></testsuite>";
  const auto report = deserialize_tolerant(xml);
  ASSERT_TRUE(report.has_value()) << report.error().text();
  const auto& status =
      std::get<NonSuccess>(report->test_suites.at(0).test_cases.at(0).status.value());
  EXPECT_EQ(status.reruns.size(), 200'000u);
}

struct SuiteOutcomeCase {
  const char* label;
  std::string xml;
  // Per suite, "suite: case:outcome+attempts ...".
  std::vector<std::string> outline;
};

class TolerantSuiteOutcome : public testing::TestWithParam<SuiteOutcomeCase> {};

TEST_P(TolerantSuiteOutcome, BecomesACaseOfTheSuite) {
  const auto report = deserialize_tolerant(GetParam().xml);
  ASSERT_TRUE(report.has_value()) << report.error().text();
  std::vector<std::string> outline;
  for (const TestSuite& suite : report->test_suites) {
    outline.push_back(std::string(suite.name.view()) + ": " + attempts_outline(suite));
  }
  EXPECT_EQ(outline, GetParam().outline);
}

INSTANTIATE_TEST_SUITE_P(
    Tolerant, TolerantSuiteOutcome,
    testing::Values(
        SuiteOutcomeCase{"each_main_element_in_order_attempts_ignored",
                         "<testsuite name=\"s\"><error/><testcase name=\"a\"/><flakyFailure/>"
                         "<failure>text</failure><skipped/></testsuite>",
                         {"s: (suite error):error+0 a:success+0 (suite failure):failure+0 "
                          "(suite skipped):skipped"}},
        SuiteOutcomeCase{"in_nested_suite_not_under_root",
                         "<testsuites><testsuite name=\"o\"><testsuite name=\"i\">"
                         "<skipped/></testsuite></testsuite><error/></testsuites>",
                         {"o/i: (suite skipped):skipped"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TolerantSuiteOutcome, KeepsTheElementAndTheSuiteOutputWhenItIsTheOnlyOutput) {
  // As a TAP script that died writes it.
  const auto report = deserialize_tolerant(
      "<testsuites><testsuite name=\"crashes_t\" tests=\"1\"><testcase name=\"1 - ok\"/>"
      "<system-out>1..2</system-out><system-err>Dubious</system-err>"
      "<error message=\"Dubious\" type=\"T\">text</error><skipped/></testsuite>"
      "<testsuite name=\"s\"><testcase name=\"a\"><system-out>own</system-out></testcase>"
      "<system-out>all</system-out><failure message=\"m\"/></testsuite></testsuites>");
  ASSERT_TRUE(report.has_value()) << report.error().text();
  EXPECT_EQ(report->errors, 1u);
  EXPECT_EQ(report->failures, 1u);
  const TestSuite& crashed = report->test_suites.at(0);
  const TestCase& error = crashed.test_cases.at(1);
  EXPECT_EQ(crashed.tests, 3u);
  EXPECT_EQ(text(error.classname), "crashes_t");
  const auto& status = std::get<NonSuccess>(error.status.value());
  EXPECT_EQ(status.kind, NonSuccessKind::Error);
  EXPECT_EQ(text(status.message), "Dubious");
  EXPECT_EQ(text(status.type), "T");
  EXPECT_EQ(text(status.description), "text");
  EXPECT_EQ(text(error.system_out), "1..2");
  EXPECT_EQ(text(error.system_err), "Dubious");
  EXPECT_EQ(text(crashed.system_out), "1..2");
  // Only the first such case takes it.
  EXPECT_EQ(crashed.test_cases.at(2).system_out, std::nullopt);
  // Where the tests have output of their own, the suite's is not the case's.
  EXPECT_EQ(report->test_suites.at(1).test_cases.at(1).system_out, std::nullopt);
}

struct NotRunCase {
  const char* label;
  std::string attributes;
  std::string body;
  std::string outcome;
  std::optional<std::string> message;
  // The strict reader reads the document as written.
  std::string strict_outcome;
};

class TolerantNotRun : public testing::TestWithParam<NotRunCase> {};

TEST_P(TolerantNotRun, ReadsAsSkipped) {
  const std::string xml = in_case(GetParam().attributes, GetParam().body);
  const auto report = deserialize_tolerant(xml);
  const TestCaseStatus& status = only_case(report).status;
  EXPECT_EQ(outcome_of(status), GetParam().outcome);
  if (const auto* skipped = std::get_if<Skipped>(&status.value())) {
    EXPECT_EQ(text(skipped->message), GetParam().message);
  }
  const auto strict = deserialize_from_str(xml);
  ASSERT_TRUE(strict.has_value()) << strict.error().text();
  EXPECT_EQ(outcome_of(strict->test_suites.at(0).test_cases.at(0).status),
            GetParam().strict_outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Tolerant, TolerantNotRun,
    testing::Values(NotRunCase{"disabled_gtest", "status=\"notrun\" result=\"suppressed\"", "",
                               "skipped", std::nullopt, "success"},
                    NotRunCase{"disabled_ctest", "status=\"disabled\"",
                               "<system-out>Disabled</system-out>", "skipped", "Disabled",
                               "success"},
                    NotRunCase{"outcome_element_wins", "status=\"notrun\"",
                               "<skipped message=\"m\"/>", "skipped", "m", "skipped"},
                    NotRunCase{"ran", "status=\"run\"", "", "success", std::nullopt, "success"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TolerantText, ResolvesCharacterReferencesAndCleansControlCharacters) {
  const auto report = deserialize_tolerant(
      in_case("",
              "<system-out>a&#10;b&#x41;\x01<![CDATA[c\x1b[31md\x02]]></system-out>"
              "<system-err>\xff ok</system-err>"));
  const TestCase& test_case = only_case(report);
  EXPECT_EQ(text(test_case.system_out), "a\nbAcd");
  EXPECT_EQ(text(test_case.system_err), "\xEF\xBF\xBD ok");
}

TEST(TolerantCounts, AreRecomputedFromTheCases) {
  const auto report = deserialize_tolerant(
      "<testsuites tests=\"99\" failures=\"x\"><testsuite name=\"a\" tests=\"-1\" errors=\"7\">"
      "<testcase name=\"1\"><failure/></testcase><testcase name=\"2\"><error/><skipped/>"
      "</testcase></testsuite><testcase name=\"3\"><skipped/></testcase>"
      "<testsuite name=\"b\" disabled=\"4\"><testcase name=\"4\"/></testsuite></testsuites>");
  ASSERT_TRUE(report.has_value()) << report.error().text();
  EXPECT_EQ(report->tests, 4u);
  EXPECT_EQ(report->failures, 1u);
  EXPECT_EQ(report->errors, 1u);
  EXPECT_EQ(report->skipped, 1u);
  EXPECT_EQ(report->disabled, std::nullopt);
  ASSERT_EQ(report->test_suites.size(), 3u);
  const TestSuite& a = report->test_suites[0];
  EXPECT_EQ(a.tests, 2u);
  EXPECT_EQ(a.errors, 1u);
  EXPECT_TRUE(a.extra.entries().empty());
  EXPECT_EQ(report->test_suites[1].skipped, 1u);
  EXPECT_EQ(report->test_suites[2].disabled, std::nullopt);
}

TEST(TolerantProperties, MissingNameOrValueReadsEmpty) {
  const auto report = deserialize_tolerant(
      "<testsuite name=\"s\"><properties><property name=\"a\"/><property value=\"1\">"
      "</property><property name=\"b\" value=\"&#65;\"/></properties></testsuite>");
  ASSERT_TRUE(report.has_value()) << report.error().text();
  const auto& properties = report->test_suites.at(0).properties;
  ASSERT_EQ(properties.size(), 3u);
  EXPECT_EQ(properties[0], (Property{XmlString("a"), XmlString("")}));
  EXPECT_EQ(properties[1], (Property{XmlString(""), XmlString("1")}));
  EXPECT_EQ(properties[2], (Property{XmlString("b"), XmlString("A")}));
}

TEST(TolerantRoot, KeepsItsValuesAndDropsBadOnes) {
  const auto good = deserialize_tolerant(
      "<testsuites name=\"r\" time=\"2.5\" timestamp=\"2024-01-02T03:04:05\" "
      "uuid=\"00000000-0000-0000-0000-00000000000A\"/>");
  ASSERT_TRUE(good.has_value()) << good.error().text();
  EXPECT_EQ(good->time, (Duration{2, 500'000'000}));
  ASSERT_TRUE(good->timestamp.has_value());
  EXPECT_EQ(good->timestamp->utc_seconds, kInstant);
  ASSERT_TRUE(good->uuid.has_value());
  EXPECT_EQ(good->uuid->back(), 0x0A);

  const auto bad = deserialize_tolerant(
      "<testsuites name=\"r\" time=\"soon\" timestamp=\"now\" uuid=\"nope\"/>");
  ASSERT_TRUE(bad.has_value()) << bad.error().text();
  EXPECT_FALSE(bad->time || bad->timestamp || bad->uuid);
  const auto not_utf8 = deserialize_tolerant(
      "<testsuites name=\"r\" uuid=\"0000000\xff-0000-0000-0000-000000000000\"/>");
  ASSERT_TRUE(not_utf8.has_value()) << not_utf8.error().text();
  EXPECT_FALSE(not_utf8->uuid);
}

}  // namespace
}  // namespace corvane
