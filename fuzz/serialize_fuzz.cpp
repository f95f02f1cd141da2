// Builds a report model from the fuzz bytes, writes it and reads it back:
// the writer must succeed for every model whose extra keys are writable, and
// the reader must accept the document and give back the same report, apart
// from what reading is documented to normalise (white space around
// descriptions, stack traces and captured output; an empty description; a
// FLAKY rerun kind without reruns). Values are drawn at the precision the
// document keeps (milliseconds, whole minutes of offset). Well-formedness by
// an independent XML parser is checked by the Python property tests.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/report.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_read/unicode_trim.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/xml_name.hpp"

namespace {

using namespace corvane;

// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z, a day inside each end so
// that every offset keeps the local date within the years reading accepts.
constexpr std::int64_t kFirstSecond = -62'135'596'800 + 86'400;
constexpr std::int64_t kLastSecond = 253'402'300'799 - 86'400;
constexpr int kMaxChildren = 4;

class Builder {
 public:
  explicit Builder(FuzzedDataProvider& in) : in_(in) {}

  Report report() {
    Report report(text().view());
    if (in_.ConsumeBool()) {
      Uuid uuid{};
      for (auto& byte : uuid) byte = in_.ConsumeIntegral<std::uint8_t>();
      report.uuid = uuid;
    }
    report.timestamp = maybe_timestamp();
    report.time = maybe_duration();
    if (in_.ConsumeBool()) report.disabled = in_.ConsumeIntegral<std::uint64_t>();
    for (int n = in_.ConsumeIntegralInRange(0, kMaxChildren); n > 0; --n) {
      report.add_test_suite(suite());
    }
    return report;
  }

 private:
  XmlString text() {
    return XmlString(in_.ConsumeRandomLengthString(in_.ConsumeIntegralInRange(0, 40)));
  }
  OptionalText maybe_text() {
    return in_.ConsumeBool() ? OptionalText(text()) : OptionalText();
  }

  std::optional<Timestamp> maybe_timestamp() {
    if (!in_.ConsumeBool()) return std::nullopt;
    Timestamp ts;
    ts.utc_seconds = in_.ConsumeIntegralInRange(kFirstSecond, kLastSecond);
    ts.nanoseconds = in_.ConsumeIntegralInRange<std::uint32_t>(0, 999) * 1'000'000;
    ts.offset_seconds = in_.ConsumeIntegralInRange(-1439, 1439) * 60;
    return ts;
  }

  // Reading goes through a double, so a written duration reads back exactly
  // only while the double holds it to the nanosecond: milliseconds below
  // 2^22 seconds, whole seconds up to the longest duration read at all.
  std::optional<Duration> maybe_duration() {
    if (!in_.ConsumeBool()) return std::nullopt;
    if (in_.ConsumeBool()) {
      return Duration{in_.ConsumeIntegralInRange<std::uint64_t>(0, kMaxDurationSeconds), 0};
    }
    return Duration{in_.ConsumeIntegralInRange<std::uint64_t>(0, std::uint64_t{1} << 22),
                    in_.ConsumeIntegralInRange<std::uint32_t>(0, 999) * 1'000'000};
  }

  // Mostly keys that are XML names (random bytes rarely are, and a report
  // with a key that is not is refused before writing), sometimes any bytes.
  XmlString key() {
    if (in_.ConsumeBool()) return XmlString(in_.ConsumeRandomLengthString(12));
    static constexpr std::string_view kNameChars[] = {
        "a", "Z", "_", ":", "-", ".", "7", "\xC3\xA9", "\xE2\x80\xBF", "x"};
    std::string key = "k";
    for (int n = in_.ConsumeIntegralInRange(0, 6); n > 0; --n) {
      key += kNameChars[in_.ConsumeIntegralInRange<std::size_t>(0, std::size(kNameChars) - 1)];
    }
    return XmlString(key);
  }

  void fill_extra(ExtraMap& extra) {
    for (int n = in_.ConsumeIntegralInRange(0, 3); n > 0; --n) extra.insert(key(), text());
  }

  std::vector<Property> properties() {
    std::vector<Property> list;
    for (int n = in_.ConsumeIntegralInRange(0, 2); n > 0; --n) list.push_back({text(), text()});
    return list;
  }

  TestRerun rerun() {
    TestRerun r;
    r.kind = in_.ConsumeBool() ? NonSuccessKind::Failure : NonSuccessKind::Error;
    r.timestamp = maybe_timestamp();
    r.time = maybe_duration();
    r.message = maybe_text();
    r.type = maybe_text();
    r.stack_trace = maybe_text();
    r.system_out = maybe_text();
    r.system_err = maybe_text();
    r.description = maybe_text();
    return r;
  }

  TestCaseStatus status() {
    switch (in_.ConsumeIntegralInRange(0, 3)) {
      case 0: {
        TestCaseStatus status = TestCaseStatus::success();
        for (int n = in_.ConsumeIntegralInRange(0, 2); n > 0; --n) status.add_rerun(rerun());
        return status;
      }
      case 1:
      case 2: {
        TestCaseStatus status = TestCaseStatus::non_success(
            in_.ConsumeBool() ? NonSuccessKind::Failure : NonSuccessKind::Error);
        if (in_.ConsumeBool()) status.set_message(text().view());
        if (in_.ConsumeBool()) status.set_type(text().view());
        if (in_.ConsumeBool()) status.set_description(text().view());
        status.set_rerun_kind(in_.ConsumeBool() ? RerunKind::Flaky : RerunKind::Rerun);
        for (int n = in_.ConsumeIntegralInRange(0, 2); n > 0; --n) status.add_rerun(rerun());
        return status;
      }
      default: {
        TestCaseStatus status = TestCaseStatus::skipped();
        if (in_.ConsumeBool()) status.set_message(text().view());
        if (in_.ConsumeBool()) status.set_type(text().view());
        if (in_.ConsumeBool()) status.set_description(text().view());
        return status;
      }
    }
  }

  TestCase test_case() {
    TestCase c(text().view(), status());
    c.classname = maybe_text();
    if (in_.ConsumeBool()) c.assertions = in_.ConsumeIntegral<std::uint64_t>();
    c.timestamp = maybe_timestamp();
    c.time = maybe_duration();
    c.system_out = maybe_text();
    c.system_err = maybe_text();
    fill_extra(c.extra);
    c.properties = properties();
    return c;
  }

  TestSuite suite() {
    TestSuite s(text().view());
    if (in_.ConsumeBool()) s.disabled = in_.ConsumeIntegral<std::uint64_t>();
    s.timestamp = maybe_timestamp();
    s.time = maybe_duration();
    s.system_out = maybe_text();
    s.system_err = maybe_text();
    fill_extra(s.extra);
    s.properties = properties();
    for (int n = in_.ConsumeIntegralInRange(0, kMaxChildren); n > 0; --n) {
      s.add_test_case(test_case());
    }
    return s;
  }

  FuzzedDataProvider& in_;
};

bool keys_writable(ExtraElement element, const ExtraMap& extra) {
  for (const auto& [key, value] : extra) {
    if (check_extra_key(element, key.view()) != ExtraKeyProblem::None) return false;
  }
  return true;
}

bool writable(const Report& report) {
  for (const auto& suite : report.test_suites) {
    if (!keys_writable(ExtraElement::TestSuite, suite.extra)) return false;
    for (const auto& test_case : suite.test_cases) {
      if (!keys_writable(ExtraElement::TestCase, test_case.extra)) return false;
    }
  }
  return true;
}

// What reading does to texts kept as element content.
void trim(OptionalText& text) {
  if (text) text = XmlString(trim_unicode_white_space(text->view()));
}
void trim_description(OptionalText& text) {
  trim(text);
  if (text && text->empty()) text.reset();
}

void normalise(TestRerun& r) {
  trim(r.stack_trace);
  trim(r.system_out);
  trim(r.system_err);
  trim_description(r.description);
}

void normalise(TestCaseStatus& status) {
  if (auto* success = std::get_if<Success>(&status.value())) {
    for (auto& r : success->flaky_runs) normalise(r);
  } else if (auto* non_success = std::get_if<NonSuccess>(&status.value())) {
    trim_description(non_success->description);
    if (non_success->reruns.empty()) non_success->rerun_kind = RerunKind::Rerun;
    for (auto& r : non_success->reruns) normalise(r);
  } else if (auto* skipped = std::get_if<Skipped>(&status.value())) {
    trim_description(skipped->description);
  }
}

void normalise(Report& report) {
  for (auto& suite : report.test_suites) {
    trim(suite.system_out);
    trim(suite.system_err);
    for (auto& c : suite.test_cases) {
      trim(c.system_out);
      trim(c.system_err);
      normalise(c.status);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Report report = Builder(in).report();
  if (!writable(report)) return 0;
  const auto written = to_string(report);
  if (!written) std::abort();
  const auto read = deserialize_from_str(*written);
  if (!read) {
    std::fprintf(stderr, "refused: %s\n%s\n", read.error().text().c_str(), written->c_str());
    std::abort();
  }
  normalise(report);
  if (!(*read == report)) {
    // Both sides written out show where they differ.
    const auto expected = to_string(report);
    const auto actual = to_string(*read);
    std::fprintf(stderr, "expected:\n%s\nread back:\n%s\n", expected ? expected->c_str() : "?",
                 actual ? actual->c_str() : "?");
    std::abort();
  }
  return 0;
}
