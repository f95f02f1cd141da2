// Feeds arbitrary bytes to the report deserializer. Any input must end in a
// report or an error, the same whether suites are kept, handed over as they
// are read, or read window by window; a report that reads must write, and
// the written document must read back into a report that writes the very
// same bytes. Among the seeds are the canonical forms of real runners'
// output (real_*.xml).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <expected>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/utf8_check.hpp"
#include "stream_source.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/xml_name.hpp"

namespace {

std::string write_or_abort(const corvane::Report& report) {
  auto written = corvane::to_string(report);
  if (!written) std::abort();
  return std::move(*written);
}

corvane::Report read_or_abort(std::string_view document) {
  auto read = corvane::deserialize_from_str(document);
  if (!read) std::abort();  // the reader must accept what the writer wrote
  return std::move(*read);
}

// A document can carry `extra` keys that are fine as raw attribute names but
// are not names once unescaped and cleaned (`&lt;` becomes `<`), or that
// clean into a standard attribute name. Writing such a report is refused
// before writing, so the round trip is only checked for the others.
bool writable(const corvane::Report& report) {
  using corvane::ExtraElement;
  auto keys_ok = [](ExtraElement element, const corvane::ExtraMap& extra) {
    for (const auto& [key, value] : extra) {
      if (corvane::check_extra_key(element, key.view()) != corvane::ExtraKeyProblem::None) {
        return false;
      }
    }
    return true;
  };
  for (const auto& suite : report.test_suites) {
    if (!keys_ok(ExtraElement::TestSuite, suite.extra)) return false;
    for (const auto& test_case : suite.test_cases) {
      if (!keys_ok(ExtraElement::TestCase, test_case.extra)) return false;
    }
  }
  return true;
}

// Reading with a sink must end as reading without one: the same error, or
// the same report with its suites handed over.
void check_handed_over(std::string_view input,
                       const std::expected<corvane::Report, corvane::DeserializeError>& kept) {
  if (!corvane::is_valid_utf8(input)) return;
  corvane::KeptSuites sink;
  auto handed = corvane::deserialize_from_valid_utf8(input, sink);
  if (handed.has_value() != kept.has_value()) std::abort();
  if (!kept) {
    if (handed.error().text() != kept.error().text()) std::abort();
    return;
  }
  handed->test_suites = std::move(sink.suites);
  if (!(*handed == *kept)) std::abort();
}

// Reading window by window must end as reading whole, but for the one
// document it refuses: a later root after suites were handed out.
void check_streamed(std::string_view input,
                    const std::expected<corvane::Report, corvane::DeserializeError>& whole) {
  if (!corvane::is_valid_utf8(input)) return;
  StringSource source(input);
  auto stream = corvane::strict_suite_stream(source, source.chunk());
  std::string error;
  auto streamed = read_stream(*stream, error);
  if (!streamed) {
    if (error.find("second <testsuites>") != std::string::npos) return;
    if (whole) std::abort();
    // The same error, named at the same line and column.
    if (whole.error().text() + " | " + std::string(whole.error().reader_reason()) != error) {
      std::abort();
    }
    return;
  }
  if (!whole || !(*streamed == *whole)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  auto first = corvane::deserialize_from_str(input);
  check_handed_over(input, first);
  check_streamed(input, first);
  if (!first) {
    if (first.error().text().empty()) std::abort();
    return 0;
  }
  if (!writable(*first)) return 0;
  const std::string written = write_or_abort(*first);
  if (write_or_abort(read_or_abort(written)) != written) std::abort();
  return 0;
}
