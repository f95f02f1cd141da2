// Every document the serializer writes reads back into an equal report, for
// generated reports whose values survive the documented differences
// (texts without surrounding white space, millisecond times and timestamps).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "xml_read/report_deserializer.hpp"
#include "xml_write/report_serializer.hpp"

namespace corvane {
namespace {

class ModelGenerator {
 public:
  explicit ModelGenerator(unsigned seed) : rng_(seed) {}

  Report report() {
    Report r(text().view());
    if (chance(2)) r.uuid = uuid();
    if (chance(2)) r.timestamp = timestamp();
    if (chance(2)) r.time = duration();
    for (int i = 0, n = below(4); i < n; ++i) r.add_test_suite(suite());
    return r;
  }

 private:
  bool chance(int one_in) { return below(one_in) == 0; }
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  // Texts mix markup characters, entities-to-be, line breaks, non-ASCII and
  // colour codes, but never start or end with white space.
  XmlString text() {
    static constexpr const char* kPieces[] = {
        "a",  "<", ">",  "&",        "'",   "\"",  "é", "\xE2\x82\xAC",
        "\n", " ", "\t", "\x1B[31m", "x y", "]]>", "--"};
    std::string s = "t";
    for (int i = 0, n = below(6); i < n; ++i) s += kPieces[below(std::size(kPieces))];
    s += "z";
    return XmlString(s);
  }
  OptionalText maybe_text() {
    if (chance(2)) return std::nullopt;
    return text();
  }
  Uuid uuid() {
    Uuid u;
    for (auto& b : u) b = static_cast<std::uint8_t>(below(256));
    return u;
  }
  Timestamp timestamp() {
    Timestamp t;
    t.offset_seconds = (below(48 * 60) - 24 * 60 + 1) * 60;
    t.utc_seconds = static_cast<std::int64_t>(below(1 << 30)) * 4 - 2'000'000'000;
    t.nanoseconds = static_cast<std::uint32_t>(below(1000)) * 1'000'000;
    return t;
  }
  Duration duration() {
    return Duration{static_cast<std::uint64_t>(below(100'000)),
                    static_cast<std::uint32_t>(below(1000)) * 1'000'000};
  }
  TestRerun rerun() {
    TestRerun r;
    r.kind = chance(2) ? NonSuccessKind::Failure : NonSuccessKind::Error;
    if (chance(2)) r.timestamp = timestamp();
    if (chance(2)) r.time = duration();
    r.message = maybe_text();
    r.type = maybe_text();
    r.stack_trace = maybe_text();
    r.system_out = maybe_text();
    r.system_err = maybe_text();
    r.description = maybe_text();
    return r;
  }
  TestCaseStatus status() {
    switch (below(4)) {
      case 0: {
        Success s;
        for (int i = 0, n = below(3); i < n; ++i) s.flaky_runs.push_back(rerun());
        return TestCaseStatus(std::move(s));
      }
      case 1:
      case 2: {
        NonSuccess n;
        n.kind = chance(2) ? NonSuccessKind::Failure : NonSuccessKind::Error;
        n.message = maybe_text();
        n.type = maybe_text();
        n.description = maybe_text();
        for (int i = 0, k = below(3); i < k; ++i) n.reruns.push_back(rerun());
        // A flaky kind without reruns reads back as a rerun kind.
        n.rerun_kind = !n.reruns.empty() && chance(2) ? RerunKind::Flaky : RerunKind::Rerun;
        return TestCaseStatus(std::move(n));
      }
      default: {
        Skipped k;
        k.message = maybe_text();
        k.type = maybe_text();
        k.description = maybe_text();
        return TestCaseStatus(std::move(k));
      }
    }
  }
  void fill_common(std::vector<Property>& properties, ExtraMap& extra) {
    for (int i = 0, n = below(3); i < n; ++i) properties.push_back(Property{text(), text()});
    for (int i = 0, n = below(3); i < n; ++i) {
      const char key[] = {'x', static_cast<char>('0' + below(5)), '\0'};
      extra.insert(XmlString(key), text());
    }
  }
  TestCase test_case() {
    TestCase c(text().view(), status());
    c.classname = maybe_text();
    if (chance(2)) c.assertions = static_cast<std::uint64_t>(below(1000));
    if (chance(2)) c.timestamp = timestamp();
    if (chance(2)) c.time = duration();
    c.system_out = maybe_text();
    c.system_err = maybe_text();
    fill_common(c.properties, c.extra);
    return c;
  }
  TestSuite suite() {
    TestSuite s(text().view());
    if (chance(2)) s.timestamp = timestamp();
    if (chance(2)) s.time = duration();
    if (chance(3)) s.disabled = static_cast<std::uint64_t>(below(5));
    s.system_out = maybe_text();
    s.system_err = maybe_text();
    fill_common(s.properties, s.extra);
    for (int i = 0, n = below(5); i < n; ++i) s.add_test_case(test_case());
    return s;
  }

  std::mt19937 rng_;
};

TEST(RoundTrip, GeneratedReportsReadBackEqual) {
  for (unsigned seed = 0; seed < 500; ++seed) {
    Report original = ModelGenerator(seed).report();
    auto written = to_string(original);
    ASSERT_TRUE(written.has_value());
    auto read = deserialize_from_str(*written);
    ASSERT_TRUE(read.has_value()) << "seed " << seed << ": " << read.error().text() << "\n"
                                  << *written;
    EXPECT_EQ(*read, original) << "seed " << seed << "\n" << *written;
    auto rewritten = to_string(*read);
    ASSERT_TRUE(rewritten.has_value());
    EXPECT_EQ(*rewritten, *written) << "seed " << seed;
  }
}

TEST(RoundTrip, DocumentedDifferencesOnly) {
  Report original("r");
  TestSuite suite("s");
  NonSuccess failure;
  failure.description = XmlString("  padded\n");
  failure.rerun_kind = RerunKind::Flaky;  // no reruns: reads back as Rerun
  TestCase c("c", TestCaseStatus(std::move(failure)));
  c.time = Duration{1, 234'567'890};
  c.system_out = XmlString("");
  suite.add_test_case(std::move(c));
  original.add_test_suite(std::move(suite));

  auto read = deserialize_from_str(*to_string(original));
  ASSERT_TRUE(read.has_value()) << read.error().text();
  const TestCase& back = read->test_suites[0].test_cases[0];
  const auto& status = std::get<NonSuccess>(back.status.value());
  EXPECT_EQ(status.description, XmlString("padded"));
  EXPECT_EQ(status.rerun_kind, RerunKind::Rerun);
  EXPECT_EQ(back.time, (Duration{1, 235'000'000}));
  EXPECT_EQ(back.system_out, XmlString(""));
}

}  // namespace
}  // namespace corvane
