// Tolerant value rules. They delegate to the strict text parsers and only
// rewrite the input into the strict form where a deviation is unambiguous.
#include "xml_read/tolerant_values.hpp"

#include "xml_read/value_parsers.hpp"

namespace corvane {

namespace {

// "1,234,567.25" without its commas, or nothing when `text` is not digits
// grouped by three after the first group, followed by '.' and a fraction.
std::optional<std::string> ungroup_thousands(std::string_view text) {
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos || text.find(',') == std::string_view::npos) {
    return std::nullopt;
  }
  std::string digits;
  std::size_t group = 0;
  bool first_group = true;
  for (std::size_t i = 0; i < point; ++i) {
    const char c = text[i];
    if (is_ascii_digit(c)) {
      ++group;
      digits.push_back(c);
      if (first_group && group > 3) return std::nullopt;
    } else if (c == ',' && group > 0 && (first_group || group == 3)) {
      first_group = false;
      group = 0;
    } else {
      return std::nullopt;
    }
  }
  if (first_group || group != 3) return std::nullopt;
  digits.append(text.substr(point));
  return digits;
}

// Whether `text` ends where an RFC 3339 offset would begin: after the
// seconds or the seconds' fraction, with nothing else behind.
bool lacks_offset(std::string_view text) noexcept {
  return text.size() >= 19 && is_ascii_digit(text.back());
}

}  // namespace

std::optional<Duration> tolerant_duration(std::string_view text) {
  if (auto strict = parse_duration_text(text)) return strict;
  if (auto ungrouped = ungroup_thousands(text)) return parse_duration_text(*ungrouped);
  return std::nullopt;
}

std::optional<Timestamp> tolerant_timestamp(std::string_view text) {
  if (auto strict = parse_timestamp_text(text)) return strict;
  if (!lacks_offset(text)) return std::nullopt;
  std::string utc(text);
  utc.push_back('Z');
  return parse_timestamp_text(utc);
}

std::optional<std::uint64_t> tolerant_count(std::string_view text) noexcept {
  auto value = parse_u64_reason(text);
  if (!value) return std::nullopt;
  return *value;
}

std::expected<void, EscapeError> append_reference(std::string_view payload, std::string& out) {
  if (auto entity = resolve_xml_entity(payload)) {
    out.append(*entity);
    return {};
  }
  // The attribute unescaper already knows every form of reference and its
  // errors; a reference in text is handed to it as a one-reference value.
  std::string reference;
  reference.reserve(payload.size() + 2);
  reference.push_back('&');
  reference.append(payload);
  reference.push_back(';');
  std::string buffer;
  auto text = unescape(reference, buffer);
  if (!text) return std::unexpected(std::move(text).error());
  out.append(*text);
  return {};
}

}  // namespace corvane
