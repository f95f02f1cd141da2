// Writing a duration or a timestamp and reading it back is what the
// canonical document does to it; doing exactly that per value, with the
// writer's and the strict reader's own functions, keeps the two routes
// equal (only a duration the trip provably leaves as it is skips it). Each
// suite is made canonical on its way to the caller's sink, as soon as the
// tolerant reader hands it over. The tolerant fuzz target asserts that
// equality for every input, and a Python test compares both routes' objects
// on every real document.
#include "canonical/canonical_report.hpp"

#include <optional>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "xml_read/tolerant_deserializer.hpp"
#include "xml_read/value_parsers.hpp"
#include "xml_write/text_forms.hpp"

namespace corvane {

bool is_written_exactly(const Duration& time) noexcept {
  // Below a million seconds, the double the writer rounds to milliseconds is
  // within 2^-33 s of the value, so whole milliseconds are written as they
  // are, and the strict reader reads such a short decimal digit for digit.
  return time.seconds < 1'000'000 && time.nanoseconds % 1'000'000 == 0;
}

namespace {

void round_trip(OptionalDuration& time) {
  if (!time || is_written_exactly(*time)) return;
  char buffer[kMaxTimeLength];
  time = parse_duration_text(std::string_view(buffer, write_time(buffer, *time)));
}

void round_trip(std::optional<Timestamp>& timestamp) {
  if (!timestamp) return;
  char buffer[kMaxTimestampLength];
  timestamp =
      parse_timestamp_text(std::string_view(buffer, write_timestamp(buffer, *timestamp)));
}

void round_trip(std::vector<TestRerun>& runs) {
  for (TestRerun& run : runs) {
    round_trip(run.timestamp);
    round_trip(run.time);
  }
}

void round_trip(TestCaseStatus& status) {
  auto& value = status.value();
  if (auto* success = std::get_if<Success>(&value)) round_trip(success->flaky_runs);
  if (auto* non_success = std::get_if<NonSuccess>(&value)) round_trip(non_success->reruns);
}

void make_canonical(TestSuite& suite) {
  keep_writable_extra_keys(suite);
  round_trip(suite.timestamp);
  round_trip(suite.time);
  for (TestCase& test_case : suite.test_cases) {
    round_trip(test_case.timestamp);
    round_trip(test_case.time);
    round_trip(test_case.status);
  }
}

// Makes each suite canonical on its way to the caller's sink.
class CanonicalSuites final : public SuiteSink {
 public:
  explicit CanonicalSuites(SuiteSink& next) : next_(&next) {}

  bool take(TestSuite&& suite) override {
    make_canonical(suite);
    return next_->take(std::move(suite));
  }
  // The tolerant reader reads one root only.
  void restart() override { next_->restart(); }

 private:
  SuiteSink* next_;
};

}  // namespace

std::expected<Report, CanonicalError> canonical_report(std::string_view text, SuiteSink& sink) {
  CanonicalSuites canonical(sink);
  auto report = deserialize_tolerant(text, canonical);
  if (!report) {
    return std::unexpected(
        CanonicalError{report.error().text(), std::string(report.error().reader_reason())});
  }
  round_trip(report->timestamp);
  round_trip(report->time);
  return std::move(*report);
}

std::expected<Report, CanonicalError> canonical_report(std::string_view text) {
  KeptSuites kept;
  auto report = canonical_report(text, kept);
  if (report) {
    for (TestSuite& suite : kept.suites) report->add_test_suite(std::move(suite));
  }
  return report;
}

}  // namespace corvane
