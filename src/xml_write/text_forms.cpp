// Formatting of counts, durations, timestamps and UUIDs. Everything writes
// into caller-provided room; nothing here allocates except the std::string
// conveniences for the Python layer.
#include "xml_write/text_forms.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>

namespace corvane {

namespace {

constexpr std::uint32_t kNanosPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;
// The Gregorian calendar repeats every 400 years, which is this many days.
constexpr std::int64_t kDaysPer400Years = 146'097;

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) noexcept {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

char* write_2_digits(char* out, unsigned value) noexcept {
  out[0] = static_cast<char>('0' + value / 10);
  out[1] = static_cast<char>('0' + value % 10);
  return out + 2;
}

// Exactly `width` digits of `value`, zero-padded (value < 10^width).
char* write_fixed_digits(char* out, std::uint64_t value, int width) noexcept {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

// The three digits of a millisecond count (below 1000): the hundreds, then
// the last two from a table, with no loop of divisions.
char* write_3_digits(char* out, unsigned value) noexcept {
  static constexpr auto kPairs = [] {
    std::array<char, 200> pairs{};
    for (unsigned i = 0; i < 100; ++i) {
      pairs[2 * i] = static_cast<char>('0' + i / 10);
      pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
  }();
  out[0] = static_cast<char>('0' + value / 100);
  std::memcpy(out + 1, kPairs.data() + 2 * (value % 100), 2);
  return out + 3;
}

// At least two digits; only an out-of-range offset needs more.
char* write_at_least_2_digits(char* out, std::uint64_t value) noexcept {
  if (value < 100) return write_2_digits(out, static_cast<unsigned>(value));
  return std::to_chars(out, out + kMaxCountLength, value).ptr;
}

// The local calendar fields of a timestamp: the stored instant plus the
// stored offset.
struct LocalTime {
  std::int64_t year;
  unsigned month;
  unsigned day;
  unsigned hour;
  unsigned minute;
  unsigned second;  // 60 (or more, for a malformed value) during a leap second
  std::uint32_t subsecond_nanos;
};

LocalTime to_local_time(const Timestamp& ts) noexcept {
  // Split before adding the offset so that no sum can overflow int64.
  // (days * 86400 itself can overflow at the bottom of the range, so the
  // second of the day comes from the remainder instead.)
  std::int64_t days = floor_div(ts.utc_seconds, kSecondsPerDay);
  std::int64_t second_of_day = ts.utc_seconds % kSecondsPerDay;
  if (second_of_day < 0) second_of_day += kSecondsPerDay;
  second_of_day += ts.offset_seconds;
  const std::int64_t day_shift = floor_div(second_of_day, kSecondsPerDay);
  days += day_shift;
  second_of_day -= day_shift * kSecondsPerDay;

  // std::chrono::year only spans +-32767, so convert within one 400-year
  // cycle after 1970 and put the whole cycles back into the year.
  const std::int64_t cycles = floor_div(days, kDaysPer400Years);
  const std::int64_t day_in_cycle = days - cycles * kDaysPer400Years;
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{day_in_cycle}}};

  LocalTime local{};
  local.year = static_cast<int>(date.year()) + cycles * 400;
  local.month = static_cast<unsigned>(date.month());
  local.day = static_cast<unsigned>(date.day());
  local.hour = static_cast<unsigned>(second_of_day / 3600);
  local.minute = static_cast<unsigned>(second_of_day / 60 % 60);
  // A leap second is held as second 59 with a second's worth of extra
  // nanoseconds; shown, it is second 60.
  local.second = static_cast<unsigned>(second_of_day % 60) + ts.nanoseconds / kNanosPerSecond;
  local.subsecond_nanos = ts.nanoseconds % kNanosPerSecond;
  return local;
}

// "YYYY-MM-DDTHH:MM:SS"; a year outside 0..9999 gets a sign and stays at
// least four digits wide.
char* write_local_date_time(char* out, const LocalTime& local) noexcept {
  if (local.year >= 0 && local.year <= 9999) {
    out = write_fixed_digits(out, static_cast<std::uint64_t>(local.year), 4);
  } else {
    *out++ = local.year < 0 ? '-' : '+';
    const std::uint64_t magnitude = local.year < 0 ? 0 - static_cast<std::uint64_t>(local.year)
                                                   : static_cast<std::uint64_t>(local.year);
    if (magnitude < 1000) {
      out = write_fixed_digits(out, magnitude, 4);
    } else {
      out = std::to_chars(out, out + kMaxCountLength, magnitude).ptr;
    }
  }
  *out++ = '-';
  out = write_2_digits(out, local.month);
  *out++ = '-';
  out = write_2_digits(out, local.day);
  *out++ = 'T';
  out = write_2_digits(out, local.hour);
  *out++ = ':';
  out = write_2_digits(out, local.minute);
  *out++ = ':';
  return write_at_least_2_digits(out, local.second);
}

// "+HH:MM" / "-HH:MM", rounded to the nearest minute; never "Z".
char* write_offset(char* out, std::int32_t offset_seconds) noexcept {
  const std::int64_t offset = offset_seconds;
  *out++ = offset < 0 ? '-' : '+';
  const std::uint64_t minutes =
      static_cast<std::uint64_t>((offset < 0 ? -offset : offset) + 30) / 60;
  out = write_at_least_2_digits(out, minutes / 60);
  *out++ = ':';
  return write_2_digits(out, static_cast<unsigned>(minutes % 60));
}

// `value` (a double >= 0) times 1000, rounded to an integer, ties to even,
// from the exact binary value; false when the value is too large for this
// shortcut. Exact because m * 1000 fits in 64 bits for a 53-bit mantissa m.
bool scaled_millis(double value, std::uint64_t& millis) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const int biased_exponent = static_cast<int>(bits >> 52 & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = -1074;
  if (biased_exponent != 0) {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biased_exponent - 1075;
  }
  if (exponent >= 0) return false;  // 2^52 or more: an integer, rare
  const int shift = -exponent;
  const std::uint64_t scaled = mantissa * 1000;  // < 2^63
  if (shift >= 64) {
    millis = 0;  // below 0.5 ms
    return true;
  }
  std::uint64_t quotient = scaled >> shift;
  const std::uint64_t remainder = scaled & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
  millis = quotient;
  return true;
}

constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

char* write_count(char* out, std::uint64_t count) noexcept {
  // Most counts and whole seconds written are single digits: no conversion.
  if (count < 10) {
    *out = static_cast<char>('0' + count);
    return out + 1;
  }
  return std::to_chars(out, out + kMaxCountLength, count).ptr;
}

double duration_seconds(const Duration& duration) noexcept {
  return static_cast<double>(duration.seconds) +
         static_cast<double>(duration.nanoseconds) / static_cast<double>(kNanosPerSecond);
}

namespace {

// The double path of write_time, kept out of line so that the common path
// saves no registers.
[[gnu::noinline]] char* write_time_from_double(char* out, const Duration& duration) noexcept {
  double seconds = duration_seconds(duration);
  // A duration near the longest that reading accepts can round, as a double,
  // to the first second beyond it; the largest double below that second is
  // written instead, so that every written time reads back.
  constexpr auto kFirstUnreadable = static_cast<double>(kMaxDurationSeconds + 1);
  if (seconds >= kFirstUnreadable) [[unlikely]] {
    seconds = std::nextafter(kFirstUnreadable, 0.0);
  }
  std::uint64_t millis = 0;
  if (!scaled_millis(seconds, millis)) {
    return std::to_chars(out, out + kMaxTimeLength, seconds, std::chars_format::fixed, 3).ptr;
  }
  out = write_count(out, millis / 1000);
  *out++ = '.';
  return write_3_digits(out, static_cast<unsigned>(millis % 1000));
}

}  // namespace

char* write_time(char* out, const Duration& duration) noexcept {
  // Below about twelve days the double is within 0.2 ns of the exact value,
  // so it rounds to the same millisecond unless the part below the
  // millisecond is within a nanosecond of the half: those, and every longer
  // duration, take the double path; the rest are rounded from the integers.
  constexpr std::uint64_t kIntegerPathSeconds = std::uint64_t{1} << 20;
  constexpr std::uint32_t kNanosPerMilli = 1'000'000;
  const std::uint32_t below_milli = duration.nanoseconds % kNanosPerMilli;
  if (duration.seconds < kIntegerPathSeconds && duration.nanoseconds < kNanosPerSecond &&
      (below_milli + 1 < kNanosPerMilli / 2 || below_milli > kNanosPerMilli / 2 + 1)) [[likely]] {
    std::uint64_t whole = duration.seconds;
    std::uint32_t millis =
        duration.nanoseconds / kNanosPerMilli + (below_milli > kNanosPerMilli / 2 ? 1 : 0);
    if (millis == 1000) {
      ++whole;
      millis = 0;
    }
    out = write_count(out, whole);
    *out++ = '.';
    return write_3_digits(out, millis);
  }
  return write_time_from_double(out, duration);
}

char* write_timestamp(char* out, const Timestamp& timestamp) noexcept {
  const LocalTime local = to_local_time(timestamp);
  out = write_local_date_time(out, local);
  *out++ = '.';
  out = write_3_digits(out, local.subsecond_nanos / 1'000'000);
  return write_offset(out, timestamp.offset_seconds);
}

char* write_rfc3339(char* out, const Timestamp& timestamp) noexcept {
  const LocalTime local = to_local_time(timestamp);
  out = write_local_date_time(out, local);
  const std::uint32_t nanos = local.subsecond_nanos;
  if (nanos != 0) {
    *out++ = '.';
    if (nanos % 1'000'000 == 0) {
      out = write_3_digits(out, nanos / 1'000'000);
    } else if (nanos % 1'000 == 0) {
      out = write_fixed_digits(out, nanos / 1'000, 6);
    } else {
      out = write_fixed_digits(out, nanos, 9);
    }
  }
  return write_offset(out, timestamp.offset_seconds);
}

std::string to_rfc3339(const Timestamp& timestamp) {
  char buffer[kMaxTimestampLength];
  return std::string(buffer, write_rfc3339(buffer, timestamp));
}

char* write_uuid(char* out, const Uuid& uuid) noexcept {
  for (std::size_t i = 0; i < uuid.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *out++ = '-';
    *out++ = kHexDigits[uuid[i] >> 4];
    *out++ = kHexDigits[uuid[i] & 0xF];
  }
  return out;
}

std::string format_uuid(const Uuid& uuid) {
  char buffer[kUuidLength];
  return std::string(buffer, write_uuid(buffer, uuid));
}

}  // namespace corvane
