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

XmlString text(std::string_view s) { return XmlString(s); }

TestCase make_case(std::string_view name, TestCaseStatus status,
                   std::optional<std::string_view> classname = std::nullopt,
                   std::optional<Duration> time = std::nullopt) {
  TestCase c(name, std::move(status));
  if (classname) c.classname = text(*classname);
  c.time = time;
  return c;
}

Report worked_example(std::optional<std::string_view> rerun_description) {
  Report report("demo");
  report.timestamp = Timestamp{1'714'972'089, 123'456'000, 7200};
  report.time = Duration{12, 500'000'000};

  TestSuite suite("unit");
  suite.time = Duration{12, 500'000'000};
  suite.properties.push_back({text("os"), text("linux")});
  suite.extra.insert(text("hostname"), text("ci-1"));

  suite.add_test_case(
      make_case("adds", TestCaseStatus::success(), "calc.Tests", Duration{0, 250'000'000}));

  TestCaseStatus failure = TestCaseStatus::non_success(NonSuccessKind::Failure);
  failure.set_message("division by zero");
  failure.set_type("ZeroDivisionError");
  failure.set_description("1 / 0");
  failure.set_rerun_kind(RerunKind::Rerun);
  TestRerun rerun;
  rerun.kind = NonSuccessKind::Failure;
  rerun.message = text("still failing");
  rerun.stack_trace = text("at divide()");
  if (rerun_description) rerun.description = text(*rerun_description);
  failure.add_rerun(std::move(rerun));
  suite.add_test_case(
      make_case("divides", std::move(failure), "calc.Tests", Duration{0, 2'000'000}));

  TestCaseStatus skipped = TestCaseStatus::skipped();
  skipped.set_message("not ready");
  suite.add_test_case(make_case("later", std::move(skipped)));

  TestCaseStatus flaky = TestCaseStatus::success();
  TestRerun flaky_run;
  flaky_run.kind = NonSuccessKind::Error;
  flaky_run.time = Duration{0, 100'000'000};
  flaky_run.message = text("timeout");
  flaky.add_rerun(std::move(flaky_run));
  suite.add_test_case(make_case("retried", std::move(flaky)));

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
}

TEST(ReportSerializer, RerunDescriptionPushesChildOntoItsOwnLine) {
  std::string expected(kWorkedExample);
  const std::string_view before = "<rerunFailure message=\"still failing\">\n";
  const auto at = expected.find(before);
  ASSERT_NE(at, std::string::npos);
  expected.insert(at + before.size() - 1, "second try");
  EXPECT_EQ(document(worked_example("second try")), expected);
}

TEST(ReportSerializer, SerializeReportAppendsToTheGivenBuffer) {
  OutputBuffer buffer;
  buffer.append("prefix|");
  ASSERT_TRUE(serialize_report(worked_example(std::nullopt), buffer).has_value());
  EXPECT_EQ(buffer.view(), "prefix|" + std::string(kWorkedExample));
}

// The lines between the root's start and end tags of a one-suite report, so
// edge cases can state just the part they are about.
struct DocumentCase {
  const char* name;
  std::function<Report()> build;
  std::string_view expected;  // the whole document
};

class Documents : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(Documents, ByteForByte) { EXPECT_EQ(document(GetParam().build()), GetParam().expected); }

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

Report one_case_report(TestCase test_case) {
  TestSuite suite("s");
  suite.add_test_case(std::move(test_case));
  Report report("r");
  report.add_test_suite(std::move(suite));
  return report;
}

TestRerun rerun_of(NonSuccessKind kind) {
  TestRerun rerun;
  rerun.kind = kind;
  return rerun;
}

#define ONE_CASE_DOC(counts, body)               \
  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" \
  "<testsuites name=\"r\" tests=\"1\" " counts   \
  ">\n"                                          \
  "    <testsuite name=\"s\" tests=\"1\" " body  \
  "    </testsuite>\n"                           \
  "</testsuites>\n"

const DocumentCase kDocumentCases[] = {
    {"no_suites_is_three_lines", [] { return Report("r"); },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"0\" skipped=\"0\" failures=\"0\" errors=\"0\">\n"
     "</testsuites>\n"},
    {"empty_suite_is_empty_element",
     [] {
       Report r("r");
       r.add_test_suite(TestSuite("s"));
       return r;
     },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"0\" skipped=\"0\" failures=\"0\" errors=\"0\">\n"
     "    <testsuite name=\"s\" tests=\"0\" skipped=\"0\" errors=\"0\" failures=\"0\"/>\n"
     "</testsuites>\n"},
    {"suite_with_only_empty_system_out",
     [] {
       TestSuite s("s");
       s.system_out = text("");
       Report r("r");
       r.add_test_suite(std::move(s));
       return r;
     },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"0\" skipped=\"0\" failures=\"0\" errors=\"0\">\n"
     "    <testsuite name=\"s\" tests=\"0\" skipped=\"0\" errors=\"0\" failures=\"0\">\n"
     "        <system-out></system-out>\n"
     "    </testsuite>\n"
     "</testsuites>\n"},
    {"all_optional_root_and_suite_attributes_in_order",
     [] {
       TestSuite s("s");
       s.disabled = 2;
       s.timestamp = Timestamp{0, 0, 0};
       s.time = Duration{1, 0};
       s.extra.insert(text("b"), text("1"));
       s.extra.insert(text("a"), text("2"));
       s.system_err = text("err");
       Report r("r");
       r.add_test_suite(std::move(s));
       Uuid uuid{};
       uuid[15] = 0xFE;
       r.uuid = uuid;
       r.timestamp = Timestamp{0, 0, -3600};
       r.time = Duration{0, 62'500'000};
       // Counts are written as stored, even when they disagree with the lists.
       r.failures = 7;
       return r;
     },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"0\" skipped=\"0\" failures=\"7\" errors=\"0\" disabled=\"2\" "
     "uuid=\"00000000-0000-0000-0000-0000000000fe\" timestamp=\"1969-12-31T23:00:00.000-01:00\" "
     "time=\"0.062\">\n"
     "    <testsuite name=\"s\" tests=\"0\" skipped=\"0\" errors=\"0\" failures=\"0\" "
     "disabled=\"2\" timestamp=\"1970-01-01T00:00:00.000+00:00\" time=\"1.000\" b=\"1\" a=\"2\">\n"
     "        <system-err>err</system-err>\n"
     "    </testsuite>\n"
     "</testsuites>\n"},
    {"test_case_attributes_in_order",
     [] {
       TestCase c("t", TestCaseStatus::success());
       c.extra.insert(text("file"), text("x.py"));
       c.time = Duration{0, 500'000};
       c.timestamp = Timestamp{0, 999'999'999, 5 * 3600 + 30 * 60 + 30};
       c.assertions = 0;
       c.classname = text("k");
       return one_case_report(std::move(c));
     },
     ONE_CASE_DOC("skipped=\"0\" failures=\"0\" errors=\"0\"",
                  "skipped=\"0\" errors=\"0\" failures=\"0\">\n"
                  "        <testcase name=\"t\" classname=\"k\" assertions=\"0\" "
                  "timestamp=\"1970-01-01T05:30:30.999+05:31\" time=\"0.001\" file=\"x.py\"/>\n")},
    {"bare_skipped", [] { return one_case_report(TestCase("t", TestCaseStatus::skipped())); },
     ONE_CASE_DOC("skipped=\"1\" failures=\"0\" errors=\"0\"",
                  "skipped=\"1\" errors=\"0\" failures=\"0\">\n"
                  "        <testcase name=\"t\">\n"
                  "            <skipped/>\n"
                  "        </testcase>\n")},
    {"failure_with_empty_description_and_multiline_error",
     [] {
       TestCaseStatus status = TestCaseStatus::non_success(NonSuccessKind::Failure);
       status.set_description("");
       TestSuite suite("s");
       suite.add_test_case(TestCase("t", std::move(status)));
       TestCaseStatus error = TestCaseStatus::non_success(NonSuccessKind::Error);
       error.set_type("E");
       error.set_description("a\nb");
       suite.add_test_case(TestCase("u", std::move(error)));
       Report r("r");
       r.add_test_suite(std::move(suite));
       return r;
     },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"2\" skipped=\"0\" failures=\"1\" errors=\"1\">\n"
     "    <testsuite name=\"s\" tests=\"2\" skipped=\"0\" errors=\"1\" failures=\"1\">\n"
     "        <testcase name=\"t\">\n"
     "            <failure></failure>\n"
     "        </testcase>\n"
     "        <testcase name=\"u\">\n"
     "            <error type=\"E\">a\nb</error>\n"
     "        </testcase>\n"
     "    </testsuite>\n"
     "</testsuites>\n"},
    {"special_characters_escaped_and_line_feed_raw",
     [] {
       TestCaseStatus status = TestCaseStatus::skipped();
       status.set_message("<>&'\"\nnext");
       status.set_description("if a < b && c > d: print('\"')");
       return one_case_report(TestCase("t&u", std::move(status)));
     },
     ONE_CASE_DOC("skipped=\"1\" failures=\"0\" errors=\"0\"",
                  "skipped=\"1\" errors=\"0\" failures=\"0\">\n"
                  "        <testcase name=\"t&amp;u\">\n"
                  "            <skipped message=\"&lt;&gt;&amp;&apos;&quot;\nnext\">"
                  "if a &lt; b &amp;&amp; c &gt; d: print(&apos;&quot;&apos;)</skipped>\n"
                  "        </testcase>\n")},
    {"flaky_success_is_not_empty_and_orders_its_content",
     [] {
       TestCaseStatus status = TestCaseStatus::success();
       status.add_rerun(rerun_of(NonSuccessKind::Failure));
       TestCase c("t", std::move(status));
       c.system_out = text("out");
       c.system_err = text("err");
       c.properties.push_back({text("p"), text("1")});
       c.properties.push_back({text("p"), text("1")});
       return one_case_report(std::move(c));
     },
     ONE_CASE_DOC("skipped=\"0\" failures=\"0\" errors=\"0\"",
                  "skipped=\"0\" errors=\"0\" failures=\"0\">\n"
                  "        <testcase name=\"t\">\n"
                  "            <properties>\n"
                  "                <property name=\"p\" value=\"1\"/>\n"
                  "                <property name=\"p\" value=\"1\"/>\n"
                  "            </properties>\n"
                  "            <flakyFailure>\n"
                  "            </flakyFailure>\n"
                  "            <system-out>out</system-out>\n"
                  "            <system-err>err</system-err>\n"
                  "        </testcase>\n")},
    {"success_with_only_system_out_is_not_empty",
     [] {
       TestCase c("t", TestCaseStatus::success());
       c.system_out = text("");
       return one_case_report(std::move(c));
     },
     ONE_CASE_DOC("skipped=\"0\" failures=\"0\" errors=\"0\"",
                  "skipped=\"0\" errors=\"0\" failures=\"0\">\n"
                  "        <testcase name=\"t\">\n"
                  "            <system-out></system-out>\n"
                  "        </testcase>\n")},
    {"rerun_names_follow_rerun_kind_and_each_reruns_own_kind",
     [] {
       TestCaseStatus status = TestCaseStatus::non_success(NonSuccessKind::Failure);
       status.set_rerun_kind(RerunKind::Flaky);
       status.add_rerun(rerun_of(NonSuccessKind::Error));
       status.add_rerun(rerun_of(NonSuccessKind::Failure));
       TestSuite suite("s");
       suite.add_test_case(TestCase("t", std::move(status)));
       TestCaseStatus error = TestCaseStatus::non_success(NonSuccessKind::Error);
       error.add_rerun(rerun_of(NonSuccessKind::Failure));
       error.add_rerun(rerun_of(NonSuccessKind::Error));
       suite.add_test_case(TestCase("u", std::move(error)));
       Report r("r");
       r.add_test_suite(std::move(suite));
       return r;
     },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"2\" skipped=\"0\" failures=\"1\" errors=\"1\">\n"
     "    <testsuite name=\"s\" tests=\"2\" skipped=\"0\" errors=\"1\" failures=\"1\">\n"
     "        <testcase name=\"t\">\n"
     "            <failure/>\n"
     "            <flakyError>\n"
     "            </flakyError>\n"
     "            <flakyFailure>\n"
     "            </flakyFailure>\n"
     "        </testcase>\n"
     "        <testcase name=\"u\">\n"
     "            <error/>\n"
     "            <rerunFailure>\n"
     "            </rerunFailure>\n"
     "            <rerunError>\n"
     "            </rerunError>\n"
     "        </testcase>\n"
     "    </testsuite>\n"
     "</testsuites>\n"},
    {"rerun_attributes_and_every_child",
     [] {
       TestRerun rerun = rerun_of(NonSuccessKind::Error);
       rerun.type = text("T");
       rerun.message = text("m");
       rerun.time = Duration{3, 0};
       rerun.timestamp = Timestamp{0, 0, 0};
       rerun.description = text("d<");
       rerun.system_err = text("e\ne");
       rerun.system_out = text("o");
       rerun.stack_trace = text("s");
       TestCaseStatus status = TestCaseStatus::non_success(NonSuccessKind::Error);
       status.add_rerun(std::move(rerun));
       TestRerun only_err = rerun_of(NonSuccessKind::Error);
       only_err.system_err = text("x");
       status.add_rerun(std::move(only_err));
       TestRerun only_text = rerun_of(NonSuccessKind::Error);
       only_text.description = text("why");
       status.add_rerun(std::move(only_text));
       return one_case_report(TestCase("t", std::move(status)));
     },
     ONE_CASE_DOC("skipped=\"0\" failures=\"0\" errors=\"1\"",
                  "skipped=\"0\" errors=\"1\" failures=\"0\">\n"
                  "        <testcase name=\"t\">\n"
                  "            <error/>\n"
                  "            <rerunError timestamp=\"1970-01-01T00:00:00.000+00:00\" "
                  "time=\"3.000\" message=\"m\" type=\"T\">d&lt;\n"
                  "                <stackTrace>s</stackTrace>\n"
                  "                <system-out>o</system-out>\n"
                  "                <system-err>e\ne</system-err>\n"
                  "            </rerunError>\n"
                  "            <rerunError>\n"
                  "                <system-err>x</system-err>\n"
                  "            </rerunError>\n"
                  "            <rerunError>why</rerunError>\n"
                  "        </testcase>\n")},
    {"durations_round_to_three_digits",
     [] {
       TestSuite suite("s");
       const Duration times[] = {{0, 500'000}, {0, 1'500'000}, {0, 62'500'000}, {1, 999'500'000}};
       for (const Duration& d : times) {
         TestCase c("t", TestCaseStatus::success());
         c.time = d;
         suite.add_test_case(std::move(c));
       }
       Report r("r");
       r.add_test_suite(std::move(suite));
       return r;
     },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"4\" skipped=\"0\" failures=\"0\" errors=\"0\">\n"
     "    <testsuite name=\"s\" tests=\"4\" skipped=\"0\" errors=\"0\" failures=\"0\">\n"
     "        <testcase name=\"t\" time=\"0.001\"/>\n"
     "        <testcase name=\"t\" time=\"0.002\"/>\n"
     "        <testcase name=\"t\" time=\"0.062\"/>\n"
     "        <testcase name=\"t\" time=\"2.000\"/>\n"
     "    </testsuite>\n"
     "</testsuites>\n"},
    {"offsets_round_to_the_minute",
     [] {
       TestSuite suite("s");
       TestCase a("a", TestCaseStatus::success());
       a.timestamp = Timestamp{0, 0, 5 * 3600 + 30 * 60 + 30};
       suite.add_test_case(std::move(a));
       TestCase b("b", TestCaseStatus::success());
       b.timestamp = Timestamp{0, 0, -29};
       suite.add_test_case(std::move(b));
       Report r("r");
       r.add_test_suite(std::move(suite));
       return r;
     },
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<testsuites name=\"r\" tests=\"2\" skipped=\"0\" failures=\"0\" errors=\"0\">\n"
     "    <testsuite name=\"s\" tests=\"2\" skipped=\"0\" errors=\"0\" failures=\"0\">\n"
     "        <testcase name=\"a\" timestamp=\"1970-01-01T05:30:30.000+05:31\"/>\n"
     "        <testcase name=\"b\" timestamp=\"1969-12-31T23:59:31.000-00:00\"/>\n"
     "    </testsuite>\n"
     "</testsuites>\n"},
};

#undef ONE_CASE_DOC

INSTANTIATE_TEST_SUITE_P(EdgeCases, Documents, ::testing::ValuesIn(kDocumentCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- generated reports ----------------------------------------------------

// A small checker for the subset of XML the serializer writes: a declaration,
// then nested elements whose attribute values and text hold no raw '<', no
// '&' outside the five entities and (in values) no raw '"'; tags must balance.
// Returns an empty string when the document passes, else what went wrong.
class MiniXmlChecker {
 public:
  explicit MiniXmlChecker(std::string_view doc) : doc_(doc) {}

  std::string check() {
    if (!consume("<?xml version=\"1.0\" encoding=\"UTF-8\"?>")) return "no declaration";
    int roots = 0;
    while (pos_ < doc_.size()) {
      if (doc_[pos_] == '<') {
        if (std::string e = markup(); !e.empty()) return e;
        if (stack_.empty()) ++roots;
      } else {
        if (std::string e = character_data(stack_.empty()); !e.empty()) return e;
      }
    }
    if (!stack_.empty()) return "unclosed " + stack_.back();
    if (roots != 1) return "expected one root element";
    if (!doc_.ends_with("</testsuites>\n")) return "bad ending";
    return {};
  }

  std::size_t elements_named(std::string_view name) const {
    std::size_t n = 0;
    for (const auto& seen : opened_) n += seen == name;
    return n;
  }

 private:
  bool consume(std::string_view s) {
    if (!doc_.substr(pos_).starts_with(s)) return false;
    pos_ += s.size();
    return true;
  }

  static bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
  }

  std::string_view name() {
    const std::size_t start = pos_;
    while (pos_ < doc_.size() && name_char(doc_[pos_])) ++pos_;
    return doc_.substr(start, pos_ - start);
  }

  // Checks '&' references from pos_ up to `end`, refusing `forbidden`.
  std::string references(std::size_t end, std::string_view forbidden) {
    for (; pos_ < end; ++pos_) {
      const char c = doc_[pos_];
      if (forbidden.find(c) != std::string_view::npos) return "raw special character";
      if (c != '&') continue;
      bool known = false;
      for (std::string_view entity : {"&amp;", "&lt;", "&gt;", "&apos;", "&quot;"}) {
        if (doc_.substr(pos_).starts_with(entity)) {
          known = true;
          pos_ += entity.size() - 1;
          break;
        }
      }
      if (!known) return "bare ampersand";
    }
    return {};
  }

  std::string character_data(bool outside_root) {
    std::size_t end = doc_.find('<', pos_);
    if (end == std::string_view::npos) end = doc_.size();
    if (outside_root &&
        doc_.substr(pos_, end - pos_).find_first_not_of('\n') != std::string_view::npos) {
      return "text outside the root";
    }
    return references(end, ">");
  }

  std::string markup() {
    ++pos_;
    if (consume("/")) {
      const std::string_view n = name();
      if (stack_.empty() || stack_.back() != n) return "mismatched end tag " + std::string(n);
      stack_.pop_back();
      return consume(">") ? std::string() : "bad end tag";
    }
    const std::string_view n = name();
    if (n.empty()) return "empty element name";
    opened_.emplace_back(n);
    std::vector<std::string_view> attributes;
    for (;;) {
      if (consume("/>")) return {};
      if (consume(">")) {
        stack_.emplace_back(n);
        return {};
      }
      if (!consume(" ")) return "expected space in tag " + std::string(n);
      const std::string_view attribute = name();
      if (attribute.empty() || !consume("=\"")) return "bad attribute in " + std::string(n);
      for (std::string_view seen : attributes) {
        if (seen == attribute) return "duplicate attribute " + std::string(attribute);
      }
      attributes.push_back(attribute);
      const std::size_t close = doc_.find('"', pos_);
      if (close == std::string_view::npos) return "unterminated value";
      if (std::string e = references(close, "<>"); !e.empty()) return e;
      ++pos_;
    }
  }

  std::string_view doc_;
  std::size_t pos_ = 0;
  std::vector<std::string> stack_;
  std::vector<std::string> opened_;
};

class ModelGenerator {
 public:
  explicit ModelGenerator(std::uint64_t seed) : rng_(seed) {}

  Report report() {
    Report r(random_text());
    if (coin()) r.time = duration();
    if (coin()) r.timestamp = timestamp();
    if (coin()) r.uuid = Uuid{static_cast<std::uint8_t>(rng_())};
    const int suites = static_cast<int>(rng_() % 4);
    for (int i = 0; i < suites; ++i) r.add_test_suite(suite());
    return r;
  }

 private:
  bool coin() { return rng_() % 2 == 0; }

  // Random bytes, weighted towards markup characters, controls, escape
  // sequences and multi-byte text, then cleaned by XmlString as every model
  // text is.
  std::string random_text() {
    static constexpr std::string_view kPieces[] = {"<",
                                                   ">",
                                                   "&",
                                                   "'",
                                                   "\"",
                                                   "&amp;",
                                                   "\n",
                                                   "\t",
                                                   "\r",
                                                   "\x1b[31m",
                                                   "\x1b]0;t\x07",
                                                   "\xC3\xA9",
                                                   "\xE2\x82\xAC",
                                                   "\xF0\x9F\x98\x80",
                                                   "\x80",
                                                   "\xFF",
                                                   "]]>",
                                                   "a",
                                                   "Z",
                                                   " "};
    std::string s;
    const int length = static_cast<int>(rng_() % 12);
    for (int i = 0; i < length; ++i) {
      if (rng_() % 4 == 0) {
        s.push_back(static_cast<char>(rng_()));
      } else {
        s += kPieces[rng_() % std::size(kPieces)];
      }
    }
    return s;
  }

  std::optional<XmlString> maybe_text() {
    if (coin()) return std::nullopt;
    return XmlString(random_text());
  }

  Duration duration() {
    return Duration{rng_() % 4 == 0 ? rng_() : rng_() % 100,
                    static_cast<std::uint32_t>(rng_() % 1'000'000'000)};
  }

  Timestamp timestamp() {
    return Timestamp{static_cast<std::int64_t>(rng_() % 8'000'000'000) - 4'000'000'000,
                     static_cast<std::uint32_t>(rng_() % 2'000'000'000),
                     static_cast<std::int32_t>(rng_() % 172'799) - 86'399};
  }

  // Extra keys are restricted to names, which the serializer writes as they
  // are; the values are arbitrary text.
  void extras(ExtraMap& extra) {
    const int n = static_cast<int>(rng_() % 3);
    for (int i = 0; i < n; ++i) {
      extra.insert(XmlString("x-" + std::to_string(rng_() % 5)), XmlString(random_text()));
    }
  }

  void properties(std::vector<Property>& list) {
    const int n = static_cast<int>(rng_() % 3);
    for (int i = 0; i < n; ++i) {
      list.push_back({XmlString(random_text()), XmlString(random_text())});
    }
  }

  TestRerun rerun() {
    TestRerun r;
    r.kind = coin() ? NonSuccessKind::Failure : NonSuccessKind::Error;
    if (coin()) r.timestamp = timestamp();
    if (coin()) r.time = duration();
    r.message = maybe_text();
    r.type = maybe_text();
    r.stack_trace = maybe_text();
    r.system_out = maybe_text();
    r.system_err = maybe_text();
    r.description = maybe_text();
    return r;
  }

  TestCaseStatus status() {
    TestCaseStatus status = TestCaseStatus::success();
    switch (rng_() % 4) {
      case 0:
        break;
      case 1:
        status = TestCaseStatus::skipped();
        break;
      default:
        status =
            TestCaseStatus::non_success(coin() ? NonSuccessKind::Failure : NonSuccessKind::Error);
        status.set_rerun_kind(coin() ? RerunKind::Flaky : RerunKind::Rerun);
    }
    if (coin()) status.set_message(random_text());
    if (coin()) status.set_type(random_text());
    if (coin()) status.set_description(random_text());
    const int reruns = static_cast<int>(rng_() % 3);
    for (int i = 0; i < reruns; ++i) status.add_rerun(rerun());
    return status;
  }

  TestCase test_case() {
    TestCase c(random_text(), status());
    c.classname = maybe_text();
    if (coin()) c.assertions = rng_();
    if (coin()) c.timestamp = timestamp();
    if (coin()) c.time = duration();
    c.system_out = maybe_text();
    c.system_err = maybe_text();
    extras(c.extra);
    properties(c.properties);
    return c;
  }

  TestSuite suite() {
    TestSuite s(random_text());
    if (coin()) s.disabled = rng_() % 10;
    if (coin()) s.timestamp = timestamp();
    if (coin()) s.time = duration();
    s.system_out = maybe_text();
    s.system_err = maybe_text();
    extras(s.extra);
    properties(s.properties);
    const int cases = static_cast<int>(rng_() % 5);
    for (int i = 0; i < cases; ++i) s.add_test_case(test_case());
    return s;
  }

  std::mt19937_64 rng_;
};

TEST(ReportSerializer, GeneratedReportsGiveWellFormedDocuments) {
  for (std::uint64_t seed = 0; seed < 3000; ++seed) {
    const Report report = ModelGenerator(seed).report();
    const auto doc = to_string(report);
    ASSERT_TRUE(doc.has_value()) << "seed " << seed;
    MiniXmlChecker checker(*doc);
    ASSERT_EQ(checker.check(), "") << "seed " << seed << "\n" << *doc;
    std::size_t cases = 0;
    for (const TestSuite& suite : report.test_suites) cases += suite.test_cases.size();
    EXPECT_EQ(checker.elements_named("testsuite"), report.test_suites.size());
    EXPECT_EQ(checker.elements_named("testcase"), cases);
  }
}

// The checker must itself reject what it is there to catch.
TEST(MiniXmlChecker, RejectsBrokenDocuments) {
  const std::string_view broken[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites a=\"<\">\n</testsuites>\n",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>a&b</testsuites>\n",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites><a></testsuites>\n",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites a=\"1\" a=\"2\">\n</testsuites>\n",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n</testsuites>\n<x/>\n",
  };
  for (std::string_view doc : broken) EXPECT_NE(MiniXmlChecker(doc).check(), "") << doc;
}

}  // namespace
}  // namespace corvane
