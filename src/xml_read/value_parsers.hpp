// Parsers for the values of known attributes: counts, durations, RFC 3339
// timestamps, UUIDs and texts. Each takes the raw attribute bytes (still
// escaped, untrimmed) and the path of the element being read; an error is
// reported at that path plus `@attribute` (or at the path alone when the
// attribute name is empty, as for `extra` keys and values).
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "model/values.hpp"
#include "model/xml_string.hpp"
#include "xml_read/deserialize_error.hpp"

namespace corvane {

// '0' to '9' only, whatever the locale: the digits of every value form read here.
inline constexpr bool is_ascii_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Text-level parsers, without path or UTF-8 check.

// An unsigned 64-bit decimal: optional '+', then digits only. The error is
// one of the three fixed reason texts ("cannot parse integer from empty
// string", "invalid digit found in string", "number too large to fit in
// target type"); problems are reported in the order they are met.
[[nodiscard]] std::expected<std::uint64_t, std::string_view> parse_u64_reason(
    std::string_view text) noexcept;

// A decimal floating-point number of seconds, rounded to the nearest
// nanosecond (ties to even); none for bad syntax, negative values, NaN,
// infinities and values beyond kMaxDurationSeconds.
// Milliseconds below ten seconds ("0.158"), the form most times take, are
// read here, inline, with no loop and no call; parse_other_duration_text
// reads every other text.
std::optional<Duration> parse_other_duration_text(std::string_view text) noexcept;
inline std::optional<Duration> parse_duration_text(std::string_view text) noexcept {
  if (text.size() == 5 && text[1] == '.' && is_ascii_digit(text[0]) &&
      is_ascii_digit(text[2]) && is_ascii_digit(text[3]) && is_ascii_digit(text[4])) {
    const auto millis =
        static_cast<std::uint32_t>((text[2] - '0') * 100 + (text[3] - '0') * 10 + (text[4] - '0'));
    return Duration{static_cast<std::uint64_t>(text[0] - '0'), millis * 1'000'000};
  }
  return parse_other_duration_text(text);
}

// An RFC 3339 date-time with a required offset; none for anything else, and
// none for the year 0000 and for second 60 (leap seconds), which a Python
// datetime cannot hold.
std::optional<Timestamp> parse_timestamp_text(std::string_view text) noexcept;

// The 32-digit, hyphenated, braced and `urn:uuid:` forms; the error is the
// user-visible UUID error text. `text` must be valid UTF-8.
[[nodiscard]] std::expected<Uuid, std::string> parse_uuid_text(std::string_view text);

// Attribute parsers, as the deserializer uses them. The number parsers only
// look at UTF-8 validity when the value is refused, since every value they
// accept is ASCII (or holds U+2212, itself valid UTF-8).

[[nodiscard]] std::expected<std::uint64_t, DeserializeError> parse_usize(
    std::string_view raw, const ElementPath& path, std::string_view attribute);

[[nodiscard]] std::expected<Duration, DeserializeError> parse_duration(std::string_view raw,
                                                                       const ElementPath& path,
                                                                       std::string_view attribute);

[[nodiscard]] std::expected<Timestamp, DeserializeError> parse_timestamp(
    std::string_view raw, const ElementPath& path, std::string_view attribute);

[[nodiscard]] std::expected<Uuid, DeserializeError> parse_uuid(std::string_view raw,
                                                               const ElementPath& path,
                                                               std::string_view attribute);

// Unescapes references and sanitises the result into an XmlString.
// `known_utf8` skips the UTF-8 check for a caller that has already checked
// the whole document; a longer text is stored in `arena` when one is given.
[[nodiscard]] std::expected<XmlString, DeserializeError> parse_xml_string(
    std::string_view raw, const ElementPath& path, std::string_view attribute,
    bool known_utf8 = false, TextArena* arena = nullptr);

}  // namespace corvane
