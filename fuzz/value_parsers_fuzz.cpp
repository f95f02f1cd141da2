// Feeds arbitrary bytes to every attribute value parser: none may crash or
// read out of bounds, and every accepted value must keep the model's ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "xml_read/value_parsers.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const corvane::ElementPath path = {corvane::PathElement(corvane::PathStep::TestSuites)};

  (void)corvane::parse_usize(raw, path, "tests");
  (void)corvane::parse_xml_string(raw, path, "name");
  (void)corvane::parse_uuid(raw, path, "uuid");

  if (const auto duration = corvane::parse_duration(raw, path, "time")) {
    if (duration->nanoseconds >= 1'000'000'000) std::abort();
  } else if (duration.error().text().empty()) {
    std::abort();
  }
  if (const auto timestamp = corvane::parse_timestamp(raw, path, "timestamp")) {
    if (timestamp->nanoseconds >= 2'000'000'000) std::abort();
    if (timestamp->offset_seconds <= -86'400 || timestamp->offset_seconds >= 86'400) std::abort();
  }
  return 0;
}
