// Attribute value parsers: the UTF-8 check every parser starts with, the
// integer grammar, the text parser, and the error each reports at the
// attribute's path. Durations, timestamps and UUIDs have files of their own.
#include "xml_read/value_parsers.hpp"

#include <limits>
#include <utility>

#include "model/utf8_check.hpp"
#include "xml_read/escape.hpp"
#include "xml_read/xml_bytes.hpp"

namespace corvane {
namespace {

constexpr std::string_view kEmptyInteger = "cannot parse integer from empty string";
constexpr std::string_view kInvalidDigit = "invalid digit found in string";
constexpr std::string_view kIntegerTooLarge = "number too large to fit in target type";

// The path is copied only here, once an error is certain.
std::unexpected<DeserializeError> fail(const ElementPath& path, std::string_view attribute,
                                       DeserializeErrorKind kind, std::string detail) {
  return std::unexpected(make_attribute_error(path, attribute, kind, std::move(detail)));
}

std::unexpected<DeserializeError> fail_utf8(const ElementPath& path, std::string_view attribute) {
  return fail(path, attribute, DeserializeErrorKind::InvalidUtf8, {});
}

}  // namespace

std::expected<std::uint64_t, std::string_view> parse_u64_reason(std::string_view text) noexcept {
  if (text.empty()) return std::unexpected(kEmptyInteger);
  if (text.front() == '+') text.remove_prefix(1);
  // A lone sign has no digits, which counts as an invalid digit, not as empty.
  if (text.empty()) return std::unexpected(kInvalidDigit);
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::unexpected(kInvalidDigit);
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::unexpected(kIntegerTooLarge);
    value = value * 10 + digit;
  }
  return value;
}

std::expected<std::uint64_t, DeserializeError> parse_usize(std::string_view raw,
                                                           const ElementPath& path,
                                                           std::string_view attribute) {
  const auto value = parse_u64_reason(raw);
  if (!value) {
    if (!is_valid_utf8(raw)) return fail_utf8(path, attribute);
    return fail(path, attribute, DeserializeErrorKind::InvalidInteger, std::string(value.error()));
  }
  return *value;
}

std::expected<Duration, DeserializeError> parse_duration(std::string_view raw,
                                                         const ElementPath& path,
                                                         std::string_view attribute) {
  const auto value = parse_duration_text(raw);
  if (!value && !is_valid_utf8(raw)) return fail_utf8(path, attribute);
  if (!value) return fail(path, attribute, DeserializeErrorKind::InvalidDuration, std::string(raw));
  return *value;
}

std::expected<Timestamp, DeserializeError> parse_timestamp(std::string_view raw,
                                                           const ElementPath& path,
                                                           std::string_view attribute) {
  const auto value = parse_timestamp_text(raw);
  if (!value) {
    if (!is_valid_utf8(raw)) return fail_utf8(path, attribute);
    return fail(path, attribute, DeserializeErrorKind::InvalidTimestamp, std::string(raw));
  }
  return *value;
}

std::expected<Uuid, DeserializeError> parse_uuid(std::string_view raw, const ElementPath& path,
                                                 std::string_view attribute) {
  if (!is_valid_utf8(raw)) return fail_utf8(path, attribute);
  auto value = parse_uuid_text(raw);
  if (!value) {
    return fail(path, attribute, DeserializeErrorKind::InvalidUuid, std::move(value.error()));
  }
  return *value;
}

std::expected<XmlString, DeserializeError> parse_xml_string(std::string_view raw,
                                                            const ElementPath& path,
                                                            std::string_view attribute,
                                                            bool known_utf8, TextArena* arena) {
  // Most values are plain ASCII without references: one scan shows that
  // neither the UTF-8 check, nor unescaping, nor cleaning would change them.
  if (xml_bytes::is_plain_ascii_without_references(raw)) {
    if (arena != nullptr) {
      return std::expected<XmlString, DeserializeError>(std::in_place, XmlString::PrintableAscii{},
                                                        raw, *arena);
    }
    return std::expected<XmlString, DeserializeError>(std::in_place, XmlString::PrintableAscii{},
                                                      raw);
  }
  if (!known_utf8 && !is_valid_utf8(raw)) return fail_utf8(path, attribute);
  std::string buffer;  // only filled when `raw` holds a reference
  auto text = unescape(raw, buffer);
  if (!text) {
    return fail(path, attribute, DeserializeErrorKind::EscapeError, std::move(text.error().text));
  }
  // Made in place: moved in from a temporary, the string just stored would be
  // reloaded in wider pieces than it was written in, which stalls.
  if (arena != nullptr) return std::expected<XmlString, DeserializeError>(std::in_place, *text, *arena);
  return std::expected<XmlString, DeserializeError>(std::in_place, *text);
}

}  // namespace corvane
