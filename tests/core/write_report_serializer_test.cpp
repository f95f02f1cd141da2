// Tests of the report serializer: byte-exact documents for hand-built
// reports, and well-formedness of documents for generated ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "model/report.hpp"
#include "xml_write/report_serializer.hpp"

namespace corvane {
namespace {

std::string document(const Report& report) {
  auto text = to_string(report);
  EXPECT_TRUE(text.has_value());
  return text ? *text : std::string();
}

XmlString x(std::string_view s) { return XmlString(s); }

TestRerun rerun_of(NonSuccessKind kind) {
  TestRerun rerun;
  rerun.kind = kind;
  return rerun;
}

Report report_of(TestCases cases) {
  TestSuite suite("s");
  for (TestCase& c : cases) suite.add_test_case(std::move(c));
  Report report("r");
  report.add_test_suite(std::move(suite));
  return report;
}

// The document without its first three lines (declaration, root, suite) and
// last two (suite and root end tags): the test cases alone.
std::string case_lines(const Report& report) {
  std::string doc = document(report);
  for (int i = 0; i < 3; ++i) doc.erase(0, doc.find('\n') + 1);
  for (int i = 0; i < 2; ++i) doc.erase(doc.rfind('\n', doc.size() - 2) + 1);
  return doc;
}

Report worked_example(std::optional<std::string_view> rerun_description) {
  Report report("demo");
  report.timestamp = Timestamp{1'714'972'089, 123'456'000, 7200};
  report.time = Duration{12, 500'000'000};
  TestSuite suite("unit");
  suite.time = Duration{12, 500'000'000};
  suite.properties.push_back({x("os"), x("linux")});
  suite.extra.insert(x("hostname"), x("ci-1"));

  TestCase adds("adds", TestCaseStatus::success());
  adds.classname = x("calc.Tests");
  adds.time = Duration{0, 250'000'000};
  suite.add_test_case(std::move(adds));

  TestCaseStatus failure = TestCaseStatus::non_success(NonSuccessKind::Failure);
  failure.set_message("division by zero");
  failure.set_type("ZeroDivisionError");
  failure.set_description("1 / 0");
  failure.set_rerun_kind(RerunKind::Rerun);
  TestRerun rerun = rerun_of(NonSuccessKind::Failure);
  rerun.message = x("still failing");
  rerun.stack_trace = x("at divide()");
  if (rerun_description) rerun.description = x(*rerun_description);
  failure.add_rerun(std::move(rerun));
  TestCase divides("divides", std::move(failure));
  divides.classname = x("calc.Tests");
  divides.time = Duration{0, 2'000'000};
  suite.add_test_case(std::move(divides));

  TestCaseStatus skipped = TestCaseStatus::skipped();
  skipped.set_message("not ready");
  suite.add_test_case(TestCase("later", std::move(skipped)));

  TestCaseStatus flaky = TestCaseStatus::success();
  TestRerun flaky_run = rerun_of(NonSuccessKind::Error);
  flaky_run.time = Duration{0, 100'000'000};
  flaky_run.message = x("timeout");
  flaky.add_rerun(std::move(flaky_run));
  suite.add_test_case(TestCase("retried", std::move(flaky)));

  report.add_test_suite(std::move(suite));
  return report;
}

constexpr std::string_view kWorkedExample =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<testsuites name=\"demo\" tests=\"4\" skipped=\"1\" failures=\"1\" errors=\"0\" "
    "timestamp=\"2024-05-06T07:08:09.123+02:00\" time=\"12.500\">\n"
    "    <testsuite name=\"unit\" tests=\"4\" skipped=\"1\" errors=\"0\" failures=\"1\" "
    "time=\"12.500\" hostname=\"ci-1\">\n"
    "        <properties>\n"
    "            <property name=\"os\" value=\"linux\"/>\n"
    "        </properties>\n"
    "        <testcase name=\"adds\" classname=\"calc.Tests\" time=\"0.250\"/>\n"
    "        <testcase name=\"divides\" classname=\"calc.Tests\" time=\"0.002\">\n"
    "            <failure message=\"division by zero\" type=\"ZeroDivisionError\">1 / 0</failure>\n"
    "            <rerunFailure message=\"still failing\">\n"
    "                <stackTrace>at divide()</stackTrace>\n"
    "            </rerunFailure>\n"
    "        </testcase>\n"
    "        <testcase name=\"later\">\n"
    "            <skipped message=\"not ready\"/>\n"
    "        </testcase>\n"
    "        <testcase name=\"retried\">\n"
    "            <flakyError time=\"0.100\" message=\"timeout\">\n"
    "            </flakyError>\n"
    "        </testcase>\n"
    "    </testsuite>\n"
    "</testsuites>\n";

TEST(ReportSerializer, WorkedExampleByteForByte) {
  EXPECT_EQ(document(worked_example(std::nullopt)), kWorkedExample);
  // With a rerun description, the stack trace still starts its own line.
  std::string expected(kWorkedExample);
  const std::string_view tag = "<rerunFailure message=\"still failing\">";
  expected.insert(expected.find(tag) + tag.size(), "second try");
  EXPECT_EQ(document(worked_example("second try")), expected);
  // serialize_report appends to what the buffer already holds.
  OutputBuffer buffer;
  buffer.append("prefix|");
  serialize_report(worked_example(std::nullopt), buffer);
  EXPECT_EQ(buffer.view(), "prefix|" + std::string(kWorkedExample));
}

TEST(ReportSerializer, RootAndSuiteForms) {
  EXPECT_EQ(document(Report("r")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<testsuites name=\"r\" tests=\"0\" skipped=\"0\" failures=\"0\" errors=\"0\">\n"
            "</testsuites>\n");

  Report r("r");
  r.add_test_suite(TestSuite("empty"));
  TestSuite only_output("out");
  only_output.system_out = x("");
  r.add_test_suite(std::move(only_output));
  TestSuite full("full");
  full.disabled = 2;
  full.timestamp = Timestamp{0, 0, 0};
  full.time = Duration{1, 0};
  full.extra.insert(x("b"), x("1"));
  full.extra.insert(x("a"), x("2"));
  full.system_err = x("err");
  r.add_test_suite(std::move(full));
  Uuid uuid{};
  uuid[15] = 0xFE;
  r.uuid = uuid;
  r.timestamp = Timestamp{0, 0, -3600};
  r.time = Duration{0, 62'500'000};
  r.failures = 7;  // written as stored, even when it disagrees with the lists
  EXPECT_EQ(
      document(r),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<testsuites name=\"r\" tests=\"0\" skipped=\"0\" failures=\"7\" errors=\"0\" "
      "disabled=\"2\" uuid=\"00000000-0000-0000-0000-0000000000fe\" "
      "timestamp=\"1969-12-31T23:00:00.000-01:00\" time=\"0.062\">\n"
      "    <testsuite name=\"empty\" tests=\"0\" skipped=\"0\" errors=\"0\" failures=\"0\"/>\n"
      "    <testsuite name=\"out\" tests=\"0\" skipped=\"0\" errors=\"0\" failures=\"0\">\n"
      "        <system-out></system-out>\n"
      "    </testsuite>\n"
      "    <testsuite name=\"full\" tests=\"0\" skipped=\"0\" errors=\"0\" failures=\"0\" "
      "disabled=\"2\" timestamp=\"1970-01-01T00:00:00.000+00:00\" time=\"1.000\" b=\"1\" "
      "a=\"2\">\n"
      "        <system-err>err</system-err>\n"
      "    </testsuite>\n"
      "</testsuites>\n");
}

struct CaseLinesCase {
  const char* name;
  std::function<TestCases()> cases;
  std::string_view expected;
};

class CaseForms : public ::testing::TestWithParam<CaseLinesCase> {};

TEST_P(CaseForms, ByteForByte) {
  EXPECT_EQ(case_lines(report_of(GetParam().cases())), GetParam().expected);
}

TestCase with_status(TestCaseStatus status) { return TestCase("t", std::move(status)); }

TestCaseStatus status_of(NonSuccessKind kind, std::optional<std::string_view> message,
                         std::optional<std::string_view> description) {
  TestCaseStatus status = TestCaseStatus::non_success(kind);
  if (message) status.set_message(*message);
  if (description) status.set_description(*description);
  return status;
}

const CaseLinesCase kCaseForms[] = {
    {"attributes_in_order",
     [] {
       TestCase c("t", TestCaseStatus::success());
       c.extra.insert(x("file"), x("x.py"));
       c.time = Duration{0, 1'500'000};
       c.timestamp = Timestamp{0, 999'999'999, 5 * 3600 + 30 * 60 + 30};
       c.assertions = 0;
       c.classname = x("k");
       TestCase d("d", TestCaseStatus::success());
       d.timestamp = Timestamp{0, 0, -29};
       d.time = Duration{0, 500'000};
       return TestCases{std::move(c), std::move(d)};
     },
     "        <testcase name=\"t\" classname=\"k\" assertions=\"0\" "
     "timestamp=\"1970-01-01T05:30:30.999+05:31\" time=\"0.002\" file=\"x.py\"/>\n"
     "        <testcase name=\"d\" timestamp=\"1969-12-31T23:59:31.000-00:00\" time=\"0.001\"/>\n"},
    {"status_elements",
     [] {
       TestCases cases;
       cases.push_back(with_status(TestCaseStatus::skipped()));
       cases.push_back(with_status(status_of(NonSuccessKind::Failure, std::nullopt, "")));
       cases.push_back(with_status(status_of(NonSuccessKind::Error, "m", "a\nb")));
       return cases;
     },
     "        <testcase name=\"t\">\n"
     "            <skipped/>\n"
     "        </testcase>\n"
     "        <testcase name=\"t\">\n"
     "            <failure></failure>\n"
     "        </testcase>\n"
     "        <testcase name=\"t\">\n"
     "            <error message=\"m\">a\nb</error>\n"
     "        </testcase>\n"},
    {"special_characters_escaped_line_feed_as_reference",
     [] {
       TestCases cases;
       cases.push_back(TestCase(
           "t&u", status_of(NonSuccessKind::Failure, "<>&'\"\nnext", "if a<b && c>d: f('\"')")));
       return cases;
     },
     "        <testcase name=\"t&amp;u\">\n"
     "            <failure message=\"&lt;&gt;&amp;&apos;&quot;&#10;next\">"
     "if a&lt;b &amp;&amp; c&gt;d: f(&apos;&quot;&apos;)</failure>\n"
     "        </testcase>\n"},
    {"flaky_success_orders_properties_runs_output",
     [] {
       TestCaseStatus status = TestCaseStatus::success();
       status.add_rerun(rerun_of(NonSuccessKind::Failure));
       TestCase c("t", std::move(status));
       c.system_out = x("out");
       c.system_err = x("err");
       c.properties.push_back({x("p"), x("1")});
       c.properties.push_back({x("p"), x("1")});
       TestCase only_out("u", TestCaseStatus::success());
       only_out.system_out = x("");
       return TestCases{std::move(c), std::move(only_out)};
     },
     "        <testcase name=\"t\">\n"
     "            <properties>\n"
     "                <property name=\"p\" value=\"1\"/>\n"
     "                <property name=\"p\" value=\"1\"/>\n"
     "            </properties>\n"
     "            <flakyFailure>\n"
     "            </flakyFailure>\n"
     "            <system-out>out</system-out>\n"
     "            <system-err>err</system-err>\n"
     "        </testcase>\n"
     "        <testcase name=\"u\">\n"
     "            <system-out></system-out>\n"
     "        </testcase>\n"},
    {"rerun_names_follow_rerun_kind_and_own_kind",
     [] {
       TestCaseStatus failure = TestCaseStatus::non_success(NonSuccessKind::Failure);
       failure.set_rerun_kind(RerunKind::Flaky);
       failure.add_rerun(rerun_of(NonSuccessKind::Error));
       failure.add_rerun(rerun_of(NonSuccessKind::Failure));
       TestCaseStatus error = TestCaseStatus::non_success(NonSuccessKind::Error);
       error.add_rerun(rerun_of(NonSuccessKind::Failure));
       error.add_rerun(rerun_of(NonSuccessKind::Error));
       TestCases cases;
       cases.push_back(with_status(std::move(failure)));
       cases.push_back(with_status(std::move(error)));
       return cases;
     },
     "        <testcase name=\"t\">\n"
     "            <failure/>\n"
     "            <flakyError>\n"
     "            </flakyError>\n"
     "            <flakyFailure>\n"
     "            </flakyFailure>\n"
     "        </testcase>\n"
     "        <testcase name=\"t\">\n"
     "            <error/>\n"
     "            <rerunFailure>\n"
     "            </rerunFailure>\n"
     "            <rerunError>\n"
     "            </rerunError>\n"
     "        </testcase>\n"},
    {"rerun_attributes_and_children",
     [] {
       TestRerun full = rerun_of(NonSuccessKind::Error);
       full.type = x("T");
       full.message = x("m");
       full.time = Duration{3, 0};
       full.timestamp = Timestamp{0, 0, 0};
       full.description = x("d<");
       full.system_err = x("e\ne");
       full.system_out = x("o");
       full.stack_trace = x("s");
       TestRerun only_err = rerun_of(NonSuccessKind::Error);
       only_err.system_err = x("x");
       TestRerun only_text = rerun_of(NonSuccessKind::Error);
       only_text.description = x("why");
       TestCaseStatus status = TestCaseStatus::non_success(NonSuccessKind::Error);
       for (TestRerun* r : {&full, &only_err, &only_text}) status.add_rerun(std::move(*r));
       TestCases cases;
       cases.push_back(with_status(std::move(status)));
       return cases;
     },
     "        <testcase name=\"t\">\n"
     "            <error/>\n"
     "            <rerunError timestamp=\"1970-01-01T00:00:00.000+00:00\" time=\"3.000\" "
     "message=\"m\" type=\"T\">d&lt;\n"
     "                <stackTrace>s</stackTrace>\n"
     "                <system-out>o</system-out>\n"
     "                <system-err>e\ne</system-err>\n"
     "            </rerunError>\n"
     "            <rerunError>\n"
     "                <system-err>x</system-err>\n"
     "            </rerunError>\n"
     "            <rerunError>why</rerunError>\n"
     "        </testcase>\n"},
};

INSTANTIATE_TEST_SUITE_P(EdgeCases, CaseForms, ::testing::ValuesIn(kCaseForms),
                         [](const auto& info) { return std::string(info.param.name); });

// A checker for the subset of XML the serializer writes: nested elements
// whose attribute values and text hold no raw '<' (nor '>' or '"' where they
// would be ambiguous) and no '&' outside the five entities; attribute values
// hold no raw line feed or tab (an XML reader would turn it into a space)
// but "&#10;" and "&#9;" instead; tags balance and attributes are unique.
// Returns "" when the document passes.
std::string check_document(std::string_view doc, std::size_t& test_cases) {
  constexpr std::string_view kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (!doc.starts_with(kDecl) || !doc.ends_with("</testsuites>\n")) return "bad frame";
  std::vector<std::string_view> open;
  std::size_t i = kDecl.size();
  int roots = 0;
  const auto name = [&] {
    const std::size_t start = i;
    while (i < doc.size() && (std::isalnum(static_cast<unsigned char>(doc[i])) || doc[i] == '-'))
      ++i;
    return doc.substr(start, i - start);
  };
  // Character data up to `stop`, refusing `forbidden` and unknown references.
  const auto chars = [&](char stop, std::string_view forbidden) -> std::string {
    const bool attribute = stop == '"';
    for (; i < doc.size() && doc[i] != stop; ++i) {
      if (forbidden.find(doc[i]) != std::string_view::npos) return "raw special character";
      if (doc[i] != '&') continue;
      const std::size_t semi = doc.find(';', i);
      const std::string_view ref = doc.substr(i, semi - i + 1);
      if (ref != "&amp;" && ref != "&lt;" && ref != "&gt;" && ref != "&apos;" &&
          ref != "&quot;" && !(attribute && (ref == "&#10;" || ref == "&#9;")))
        return "bad reference";
      i = semi;
    }
    return i < doc.size() ? "" : "unterminated";
  };
  while (i < doc.size()) {
    if (doc[i] != '<') {
      if (open.empty() && doc[i] != '\n') return "text outside the root";
      if (std::string e = chars('<', ">\""); !e.empty() && i < doc.size()) return e;
      if (i == doc.size()) break;
      continue;
    }
    ++i;
    if (doc[i] == '/') {
      ++i;
      if (open.empty() || name() != open.back() || doc[i++] != '>') return "bad end tag";
      open.pop_back();
      continue;
    }
    const std::string_view element = name();
    if (element.empty()) return "bad tag";
    if (open.empty()) ++roots;
    test_cases += element == "testcase";
    std::vector<std::string_view> attributes;
    while (doc[i] == ' ') {
      ++i;
      const std::string_view attribute = name();
      if (attribute.empty() || doc.substr(i, 2) != "=\"") return "bad attribute";
      for (std::string_view seen : attributes)
        if (seen == attribute) return "duplicate attribute";
      attributes.push_back(attribute);
      i += 2;
      if (std::string e = chars('"', "<>\n\t"); !e.empty()) return e;
      ++i;
    }
    if (doc.substr(i, 2) == "/>") {
      i += 2;
    } else if (doc[i] == '>') {
      ++i;
      open.push_back(element);
    } else {
      return "bad tag end";
    }
  }
  return open.empty() && roots == 1 ? "" : "unbalanced";
}

TEST(ReportSerializer, CheckerRejectsBrokenDocuments) {
  const std::string_view broken[] = {"<testsuites a=\"<\">", "<testsuites>a&b", "<testsuites><a>",
                                     "<testsuites a=\"1\" a=\"2\">", "<testsuites a=\"1\n2\">",
                                     "<testsuites>&#10;",
                                     "<testsuites>\n</testsuites>\n<x/>\n<testsuites>"};
  for (std::string_view middle : broken) {
    const std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + std::string(middle) + "\n</testsuites>\n";
    std::size_t cases = 0;
    EXPECT_NE(check_document(doc, cases), "") << doc;
  }
}

// Reports with random structure and with texts built from random bytes,
// weighted towards markup characters, controls, escape sequences and
// multi-byte text, cleaned by XmlString as every model text is.
class ModelGenerator {
 public:
  explicit ModelGenerator(std::uint64_t seed) : rng_(seed) {}

  Report report() {
    Report r(text());
    if (coin()) r.time = duration();
    if (coin()) r.timestamp = timestamp();
    for (auto n = rng_() % 4; n > 0; --n) r.add_test_suite(suite());
    return r;
  }

 private:
  bool coin() { return rng_() % 2 == 0; }

  std::string text() {
    static constexpr std::string_view kPieces[] = {
        "<",    ">",   "&",  "'",        "\"",       "&amp;",
        "\n",   "\t",  "\r", "\x1b[31m", "\xC3\xA9", "\xF0\x9F\x98\x80",
        "\x80", "]]>", "a",  " "};
    std::string s;
    for (auto n = rng_() % 12; n > 0; --n) {
      if (rng_() % 4 == 0)
        s.push_back(static_cast<char>(rng_()));
      else
        s += kPieces[rng_() % std::size(kPieces)];
    }
    return s;
  }
  OptionalText maybe_text() {
    return coin() ? std::nullopt : OptionalText(XmlString(text()));
  }
  Duration duration() {
    return {rng_() % 4 == 0 ? rng_() : rng_() % 100,
            static_cast<std::uint32_t>(rng_() % 1'000'000'000)};
  }
  Timestamp timestamp() {
    return {static_cast<std::int64_t>(rng_() % 8'000'000'000) - 4'000'000'000,
            static_cast<std::uint32_t>(rng_() % 2'000'000'000),
            static_cast<std::int32_t>(rng_() % 172'799) - 86'399};
  }
  // Extra keys stay valid names (they are written as given); values are free.
  template <typename Owner>
  void extras_and_properties(Owner& owner) {
    for (auto n = rng_() % 3; n > 0; --n)
      owner.extra.insert(XmlString("x-" + std::to_string(rng_() % 5)), XmlString(text()));
    for (auto n = rng_() % 3; n > 0; --n)
      owner.properties.push_back({XmlString(text()), XmlString(text())});
    owner.system_out = maybe_text();
    owner.system_err = maybe_text();
    if (coin()) owner.timestamp = timestamp();
    if (coin()) owner.time = duration();
  }
  TestRerun rerun() {
    TestRerun r = rerun_of(coin() ? NonSuccessKind::Failure : NonSuccessKind::Error);
    if (coin()) r.timestamp = timestamp();
    if (coin()) r.time = duration();
    for (auto* field :
         {&r.message, &r.type, &r.stack_trace, &r.system_out, &r.system_err, &r.description})
      *field = maybe_text();
    return r;
  }
  TestCaseStatus status() {
    const auto roll = rng_() % 4;
    TestCaseStatus status = roll == 0   ? TestCaseStatus::success()
                            : roll == 1 ? TestCaseStatus::skipped()
                                        : TestCaseStatus::non_success(NonSuccessKind(roll - 2));
    status.set_rerun_kind(coin() ? RerunKind::Flaky : RerunKind::Rerun);
    if (coin()) status.set_message(text());
    if (coin()) status.set_type(text());
    if (coin()) status.set_description(text());
    for (auto n = rng_() % 3; n > 0; --n) status.add_rerun(rerun());
    return status;
  }
  TestSuite suite() {
    TestSuite s(text());
    if (coin()) s.disabled = rng_() % 10;
    extras_and_properties(s);
    for (auto n = rng_() % 5; n > 0; --n) {
      TestCase c(text(), status());
      c.classname = maybe_text();
      if (coin()) c.assertions = rng_();
      extras_and_properties(c);
      s.add_test_case(std::move(c));
    }
    return s;
  }

  std::mt19937_64 rng_;
};

TEST(ReportSerializer, GeneratedReportsGiveWellFormedDocuments) {
  for (std::uint64_t seed = 0; seed < 3000; ++seed) {
    const Report report = ModelGenerator(seed).report();
    const auto doc = to_string(report);
    ASSERT_TRUE(doc.has_value()) << "seed " << seed;
    std::size_t written_cases = 0;
    ASSERT_EQ(check_document(*doc, written_cases), "") << "seed " << seed << "\n" << *doc;
    std::size_t cases = 0;
    for (const TestSuite& suite : report.test_suites) cases += suite.test_cases.size();
    EXPECT_EQ(written_cases, cases);
  }
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// Counts are written as stored, but the output buffer must be sized from the
// cases actually held: a document may state any count at all.
TEST(ReportSerializer, HugeStoredCountsDoNotSizeTheBuffer) {
  Report report("r");
  report.tests = 0xFFFFFFFFFFFFFFFFull;
  auto written = to_string(report);
  ASSERT_TRUE(written.has_value());
  EXPECT_NE(written->find("tests=\"18446744073709551615\""), std::string::npos);
}

}  // namespace
}  // namespace corvane
