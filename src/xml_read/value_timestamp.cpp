// Timestamps: the RFC 3339 date-time grammar with a required offset, held as
// the UTC instant together with the offset it was written with.
#include <chrono>
#include <cstdint>

#include "xml_read/value_parsers.hpp"

namespace corvane {
namespace {

// A cursor over the text that reads fixed-width fields.
class Fields {
 public:
  explicit Fields(std::string_view text) noexcept : text_(text) {}

  bool at_end() const noexcept { return pos_ == text_.size(); }

  // Reads exactly `width` ASCII digits.
  bool digits(int width, int& value) noexcept {
    if (text_.size() - pos_ < static_cast<std::size_t>(width)) return false;
    value = 0;
    for (int i = 0; i < width; ++i) {
      const char c = text_[pos_ + i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    pos_ += width;
    return true;
  }

  bool literal(std::string_view expected) noexcept {
    if (text_.substr(pos_, expected.size()) != expected) return false;
    pos_ += expected.size();
    return true;
  }

  // Takes one byte if it is any of `choices`.
  bool one_of(std::string_view choices) noexcept {
    if (at_end() || choices.find(text_[pos_]) == std::string_view::npos) return false;
    ++pos_;
    return true;
  }

  // `.` and one or more digits; the first nine give nanoseconds, the rest
  // are read and dropped (truncation).
  bool fraction(std::uint32_t& nanos) noexcept {
    if (!literal(".")) return true;  // the fraction is optional
    std::size_t count = 0;
    std::uint32_t value = 0;
    while (!at_end() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      if (count < 9) value = value * 10 + static_cast<std::uint32_t>(text_[pos_] - '0');
      ++count;
      ++pos_;
    }
    if (count == 0) return false;
    for (std::size_t i = count; i < 9; ++i) value *= 10;
    nanos = value;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

constexpr std::string_view kMinusSign = "\xE2\x88\x92";  // U+2212

// `Z`, `z`, or a sign with hh:mm no larger than 23:59; the offset east of UTC.
bool read_offset(Fields& fields, std::int32_t& offset_seconds) noexcept {
  if (fields.one_of("Zz")) {
    offset_seconds = 0;
    return true;
  }
  int sign;
  if (fields.literal("+")) {
    sign = 1;
  } else if (fields.literal("-") || fields.literal(kMinusSign)) {
    sign = -1;
  } else {
    return false;
  }
  int hours;
  int minutes;
  if (!fields.digits(2, hours) || !fields.literal(":") || !fields.digits(2, minutes)) {
    return false;
  }
  if (hours > 23 || minutes > 59) return false;
  offset_seconds = sign * (hours * 3600 + minutes * 60);
  return true;
}

}  // namespace

std::optional<Timestamp> parse_timestamp_text(std::string_view text) noexcept {
  Fields fields(text);
  int year;
  int month;
  int day;
  if (!fields.digits(4, year) || !fields.literal("-") || !fields.digits(2, month) ||
      !fields.literal("-") || !fields.digits(2, day)) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  // Year 0 has no Python datetime, so a value read from it could never be
  // returned.
  if (!date.ok() || year == 0) return std::nullopt;
  if (!fields.one_of("Tt ")) return std::nullopt;
  int hour;
  int minute;
  int second;
  if (!fields.digits(2, hour) || !fields.literal(":") || !fields.digits(2, minute) ||
      !fields.literal(":") || !fields.digits(2, second)) {
    return std::nullopt;
  }
  // No second 60: a leap second has no Python datetime either.
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  std::uint32_t nanos = 0;
  if (!fields.fraction(nanos)) return std::nullopt;
  std::int32_t offset_seconds = 0;
  if (!read_offset(fields, offset_seconds) || !fields.at_end()) return std::nullopt;

  const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  const std::int64_t local = days * 86'400 + hour * 3600 + minute * 60 + second;
  return Timestamp{local - offset_seconds, nanos, offset_seconds};
}

}  // namespace corvane
