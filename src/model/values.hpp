// Plain value types of the report model: durations, timestamps with a fixed
// UTC offset, and UUIDs. They carry no behaviour beyond comparison.
#pragma once

#include <array>
#include <cstdint>

namespace corvane {

// Whole seconds plus nanoseconds (always below 10^9).
struct Duration {
  std::uint64_t seconds = 0;
  std::uint32_t nanoseconds = 0;

  bool operator==(const Duration&) const = default;
};

// A UTC instant together with the fixed offset it was written with.
// A leap second is held as second 59 with `nanoseconds` of 10^9 or more, so
// `utc_seconds` never names a second that does not exist on the UTC time line.
struct Timestamp {
  std::int64_t utc_seconds = 0;     // seconds since 1970-01-01T00:00:00Z
  std::uint32_t nanoseconds = 0;    // 0 to 1'999'999'999
  std::int32_t offset_seconds = 0;  // east of UTC, strictly within one day

  bool operator==(const Timestamp&) const = default;
};

using Uuid = std::array<std::uint8_t, 16>;

// The longest duration read or written, in whole seconds (any nanoseconds
// below the next second): Python's timedelta.max, 999,999,999 days and
// 86,399.999999 s. A longer one could be read, but never handed to Python.
inline constexpr std::uint64_t kMaxDurationSeconds = 999'999'999ULL * 86'400 + 86'399;

}  // namespace corvane
