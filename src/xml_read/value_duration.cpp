// Durations: a decimal floating-point number of seconds, read as the nearest
// double and then split exactly into whole seconds and nanoseconds.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "xml_read/value_parsers.hpp"

namespace corvane {
namespace {

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

// Where the parts of a number lie in the text; filled by scan_number.
struct NumberShape {
  std::size_t mantissa_begin = 0;  // after the sign
  std::size_t mantissa_end = 0;    // before the exponent marker, if any
};

// Checks the decimal grammar: optional sign, digits with an optional point
// (at least one digit in all), optional exponent with optional sign and at
// least one digit. std::from_chars is laxer in places and stricter in others
// (no '+'), so the grammar is enforced here and from_chars only converts.
bool scan_number(std::string_view text, NumberShape& shape) noexcept {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  shape.mantissa_begin = i;
  std::size_t digits = 0;
  while (i < text.size() && is_ascii_digit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_ascii_digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  shape.mantissa_end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && is_ascii_digit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == text.size();
}

// For a number from_chars found out of range: true when its magnitude is
// huge (it would be infinity), false when tiny (it would be zero). The
// decimal exponent of the first significant digit decides; the real cut-off
// points are near 1e308 and 1e-324, so any magnitude-at-least-one test works.
bool out_of_range_is_huge(std::string_view text, const NumberShape& shape) noexcept {
  const std::string_view mantissa =
      text.substr(shape.mantissa_begin, shape.mantissa_end - shape.mantissa_begin);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_not_of("0.");
  if (first == std::string_view::npos) return false;  // zero never overflows
  // Position of the first significant digit relative to the point: 1 for the
  // units digit, 0 for tenths, -1 for hundredths and so on.
  std::int64_t magnitude = first < point ? static_cast<std::int64_t>(point - first)
                                         : -static_cast<std::int64_t>(first - point - 1);
  std::int64_t exponent = 0;
  std::size_t i = shape.mantissa_end;
  if (i < text.size()) {
    ++i;  // the 'e'
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
      // Saturate: beyond this the sign of the sum can no longer change.
      if (exponent < 1'000'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0;
}

// Splits a finite, non-negative double exactly into seconds and nanoseconds,
// rounding to the nearest nanosecond with ties to even on its exact binary
// value; none when it is 2^64 seconds or more.
std::optional<Duration> split_seconds(double value) noexcept {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent;  // value == mantissa * 2^exponent
  if (biased_exponent == 0) {
    exponent = -1074;
  } else {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biased_exponent - 1075;
  }
  if (mantissa == 0) return Duration{};
  if (exponent >= 0) {
    if (std::bit_width(mantissa) + exponent > 64) return std::nullopt;
    return Duration{mantissa << exponent, 0};
  }
  const int shift = -exponent;
  // Below 2^-32 s (a quarter nanosecond) everything rounds to zero; this also
  // keeps the products below within 128 bits.
  if (shift > 84) return Duration{};
  using U128 = unsigned __int128;
  const std::uint64_t seconds = shift >= 64 ? 0 : mantissa >> shift;
  const U128 fraction = static_cast<U128>(mantissa) & ((U128{1} << shift) - 1);
  const U128 scaled = fraction * kNanosPerSecond;  // < 2^83
  std::uint64_t nanos = static_cast<std::uint64_t>(scaled >> shift);
  const U128 remainder = scaled & ((U128{1} << shift) - 1);
  const U128 half = U128{1} << (shift - 1);
  if (remainder > half || (remainder == half && (nanos & 1) != 0)) ++nanos;
  // seconds < 2^53 here, so the carry cannot overflow.
  if (nanos == kNanosPerSecond) return Duration{seconds + 1, 0};
  return Duration{seconds, static_cast<std::uint32_t>(nanos)};
}

// Plain decimals with up to six integer and nine fraction digits ("0.158"),
// which is what producers write, read without the float conversion. They lie
// on the nanosecond grid, and below 2^20 s their nearest double is within
// 6e-11 s of them, so rounding that double to the nanosecond, as the general
// path does, gives back exactly these digits. None for any other form.
std::optional<Duration> parse_short_decimal(std::string_view text) noexcept {
  std::size_t i = 0;
  std::uint64_t seconds = 0;
  for (; i < text.size() && is_ascii_digit(text[i]); ++i) seconds = seconds * 10 + (text[i] - '0');
  if (i > 6) return std::nullopt;
  const std::size_t integer_digits = i;
  std::uint64_t nanos = 0;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction_begin = ++i;
    for (; i < text.size() && is_ascii_digit(text[i]); ++i) nanos = nanos * 10 + (text[i] - '0');
    const std::size_t fraction_digits = i - fraction_begin;
    if (fraction_digits > 9 || integer_digits + fraction_digits == 0) return std::nullopt;
    static constexpr std::uint32_t kScale[] = {
        1'000'000'000, 100'000'000, 10'000'000, 1'000'000, 100'000, 10'000, 1'000, 100, 10, 1};
    nanos *= kScale[fraction_digits];
  } else if (integer_digits == 0) {
    return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return Duration{seconds, static_cast<std::uint32_t>(nanos)};
}

// Every other form, through the float conversion; apart, so that the short
// decimals keep no frame for it.
[[gnu::noinline]] std::optional<Duration> parse_general_duration(std::string_view text) noexcept {
  NumberShape shape;
  // inf, infinity and nan also fail here: the words are numbers to a float
  // parser, but the values they name are refused as durations anyway.
  if (!scan_number(text, shape)) return std::nullopt;
  std::string_view number = text;
  if (number.front() == '+') number.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                         std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    if (out_of_range_is_huge(text, shape)) return std::nullopt;
    value = 0;  // a tiny magnitude of either sign rounds to (negative) zero
  } else if (ec != std::errc() || end != number.data() + number.size()) {
    return std::nullopt;
  }
  if (!std::isfinite(value) || value < 0) return std::nullopt;  // -0.0 passes
  auto duration = split_seconds(value);
  if (duration && duration->seconds > kMaxDurationSeconds) return std::nullopt;
  return duration;
}

}  // namespace

std::optional<Duration> parse_other_duration_text(std::string_view text) noexcept {
  if (auto duration = parse_short_decimal(text)) return duration;
  return parse_general_duration(text);
}

}  // namespace corvane
