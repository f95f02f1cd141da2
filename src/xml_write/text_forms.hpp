// The text forms of the model's values as written in a document: counts,
// durations, timestamps (the attribute form and RFC 3339) and UUIDs.
// The char* forms write in place and return the end; they never fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/values.hpp"

namespace corvane {

// 2^64 - 1 has 20 digits.
inline constexpr std::size_t kMaxCountLength = 20;
// Up to 20 integer digits (below 2^64 seconds), a point, three digits.
inline constexpr std::size_t kMaxTimeLength = 24;
// A signed 12-digit year (the whole int64 second range), the fixed-width date
// and time, three fraction digits and an offset whose hours may be wide when
// the stored offset is out of range: comfortably below this.
inline constexpr std::size_t kMaxTimestampLength = 64;
inline constexpr std::size_t kUuidLength = 36;

char* write_count(char* out, std::uint64_t count) noexcept;

// The duration as a double number of seconds.
double duration_seconds(const Duration& duration) noexcept;

// Fixed notation with three fraction digits, correctly rounded from the
// exact value of duration_seconds (ties to even). A duration that would be
// written beyond kMaxDurationSeconds is written as the longest time below
// it that reading accepts.
char* write_time(char* out, const Duration& duration) noexcept;

// "YYYY-MM-DDTHH:MM:SS.mmm+HH:MM": local time, milliseconds truncated, the
// offset rounded to the minute.
char* write_timestamp(char* out, const Timestamp& timestamp) noexcept;

// RFC 3339 with 0, 3, 6 or 9 fraction digits, the fewest that are exact.
char* write_rfc3339(char* out, const Timestamp& timestamp) noexcept;
std::string to_rfc3339(const Timestamp& timestamp);

// 8-4-4-4-12 lowercase hexadecimal.
char* write_uuid(char* out, const Uuid& uuid) noexcept;
std::string format_uuid(const Uuid& uuid);

}  // namespace corvane
