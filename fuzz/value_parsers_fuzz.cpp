// Feeds arbitrary bytes to every attribute value parser: none may crash or
// read out of bounds, every accepted value must keep the model's ranges, and
// every accepted value written in the writer's text forms must parse back to
// the same value (to the precision the form keeps: milliseconds and whole
// minutes of offset for the attribute forms, everything for RFC 3339).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "xml_read/value_parsers.hpp"
#include "xml_write/text_forms.hpp"

namespace {

using corvane::Duration;
using corvane::Timestamp;

constexpr std::uint32_t kNanosPerMilli = 1'000'000;
// Below this many seconds a double still tells milliseconds apart exactly
// enough for the three-digit form to be exact.
constexpr std::uint64_t kExactTimeSeconds = std::uint64_t{1} << 32;

std::string_view view(const char* begin, const char* end) {
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

void check_count(std::uint64_t count) {
  char text[corvane::kMaxCountLength];
  const auto again = corvane::parse_u64_reason(view(text, corvane::write_count(text, count)));
  if (!again || *again != count) std::abort();
}

void check_duration(const Duration& duration) {
  if (duration.nanoseconds >= 1'000'000'000) std::abort();
  char text[corvane::kMaxTimeLength];
  const std::string_view written = view(text, corvane::write_time(text, duration));
  const auto again = corvane::parse_duration_text(written);
  if (!again) std::abort();
  // The written form is a fixed point...
  char text2[corvane::kMaxTimeLength];
  if (view(text2, corvane::write_time(text2, *again)) != written) std::abort();
  // ...and exact for values it can hold.
  if (duration.nanoseconds % kNanosPerMilli == 0 && duration.seconds < kExactTimeSeconds &&
      !(*again == duration)) {
    std::abort();
  }
}

void check_timestamp(const Timestamp& timestamp) {
  if (timestamp.nanoseconds >= 2'000'000'000) std::abort();
  if (timestamp.offset_seconds <= -86'400 || timestamp.offset_seconds >= 86'400) std::abort();

  // RFC 3339 keeps everything a parsed timestamp holds.
  const auto exact = corvane::parse_timestamp_text(corvane::to_rfc3339(timestamp));
  if (!exact || !(*exact == timestamp)) std::abort();

  char text[corvane::kMaxTimestampLength];
  const std::string_view written = view(text, corvane::write_timestamp(text, timestamp));
  const auto again = corvane::parse_timestamp_text(written);
  if (!again) std::abort();
  char text2[corvane::kMaxTimestampLength];
  if (view(text2, corvane::write_timestamp(text2, *again)) != written) std::abort();
  if (timestamp.nanoseconds % kNanosPerMilli == 0 && timestamp.offset_seconds % 60 == 0 &&
      !(*again == timestamp)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const corvane::ElementPath path = {corvane::PathElement(corvane::PathStep::TestSuites)};

  if (const auto count = corvane::parse_usize(raw, path, "tests")) check_count(*count);
  (void)corvane::parse_xml_string(raw, path, "name");
  if (const auto uuid = corvane::parse_uuid(raw, path, "uuid")) {
    const auto again = corvane::parse_uuid_text(corvane::format_uuid(*uuid));
    if (!again || *again != *uuid) std::abort();
  }

  if (const auto duration = corvane::parse_duration(raw, path, "time")) {
    check_duration(*duration);
  } else if (duration.error().text().empty()) {
    std::abort();
  }
  if (const auto timestamp = corvane::parse_timestamp(raw, path, "timestamp")) {
    check_timestamp(*timestamp);
  }
  return 0;
}
