// Feeds arbitrary bytes to the tolerant reader through the canonicalisation
// step of corvane._tolerant. Any input must end in a document or an error;
// a document it makes must be accepted by the strict reader, and making it
// again from itself must change nothing after one normalising round (reading
// trims white space that cleaning may expose; writing keeps milliseconds).
// Read window by window, it must give the same suites and report fields.
// The model `load` makes its objects from must equal the canonical
// document read back, and the suites the tolerant reader hands over one by
// one must be those its whole read keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "canonical/canonical_document.hpp"
#include "canonical/canonical_report.hpp"
#include "canonical/canonical_stream.hpp"
#include "stream_source.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_read/tolerant_deserializer.hpp"

namespace {

void check_streamed(std::string_view input,
                    const std::expected<std::string, corvane::CanonicalError>& whole) {
  StringSource source(input);
  auto stream = corvane::canonical_suite_stream(source, source.chunk());
  std::string error;
  auto streamed = read_stream(*stream, error);
  if (!streamed) {
    if (whole || whole.error().message + " | " + whole.error().note != error) std::abort();
    return;
  }
  if (!whole) std::abort();
  auto read = corvane::deserialize_from_str(*whole);
  if (!read || read->name != streamed->name || read->uuid != streamed->uuid ||
      read->timestamp != streamed->timestamp || read->time != streamed->time ||
      read->test_suites != streamed->test_suites) {
    std::abort();
  }
}

void check_handed_over(std::string_view input) {
  auto whole = corvane::deserialize_tolerant(input);
  corvane::KeptSuites kept;
  auto header = corvane::deserialize_tolerant(input, kept);
  if (bool(whole) != bool(header)) std::abort();
  if (!whole) {
    if (whole.error().text() != header.error().text()) std::abort();
    return;
  }
  if (!header->test_suites.empty() || header->name != whole->name ||
      header->timestamp != whole->timestamp || header->time != whole->time ||
      kept.suites != whole->test_suites) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_handed_over(input);
  auto first = corvane::canonical_document(input);
  check_streamed(input, first);
  auto direct = corvane::canonical_report(input);
  if (bool(direct) != bool(first)) std::abort();
  if (!first) return 0;
  auto read = corvane::deserialize_from_str(*first);
  if (!read || *read != *direct) std::abort();
  auto second = corvane::canonical_document(*first);
  if (!second) std::abort();
  auto third = corvane::canonical_document(*second);
  if (!third || *third != *second) std::abort();
  return 0;
}
