// UUIDs: the 32-digit, hyphenated, braced and `urn:uuid:` text forms, and the
// diagnosis that names what is wrong with a text that is none of them.
#include <array>
#include <cstddef>
#include <string>

#include "xml_read/value_parsers.hpp"

namespace corvane {
namespace {

constexpr std::string_view kUrnPrefix = "urn:uuid:";
// Start of each group in the hyphenated form; each hyphen sits just before.
constexpr std::array<std::size_t, 5> kGroupStarts{0, 9, 14, 19, 24};
constexpr std::array<std::size_t, 5> kGroupLengths{8, 4, 4, 4, 12};

int hex_value(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads 32 hexadecimal digits from `text`, skipping the hyphens at the four
// group boundaries when `hyphenated`.
bool read_digits(std::string_view text, bool hyphenated, Uuid& out) noexcept {
  std::size_t pos = 0;
  for (std::size_t byte = 0; byte < out.size(); ++byte) {
    if (hyphenated && (pos == 8 || pos == 13 || pos == 18 || pos == 23)) {
      if (text[pos] != '-') return false;
      ++pos;
    }
    const int high = hex_value(text[pos]);
    const int low = hex_value(text[pos + 1]);
    if (high < 0 || low < 0) return false;
    out[byte] = static_cast<std::uint8_t>(high << 4 | low);
    pos += 2;
  }
  return true;
}

bool read_uuid(std::string_view text, Uuid& out) noexcept {
  switch (text.size()) {
    case 32:
      return read_digits(text, false, out);
    case 36:
      return read_digits(text, true, out);
    case 38:
      return text.front() == '{' && text.back() == '}' &&
             read_digits(text.substr(1, 36), true, out);
    case 45:
      return text.starts_with(kUrnPrefix) && read_digits(text.substr(9), true, out);
    default:
      return false;
  }
}

std::size_t utf8_sequence_length(unsigned char lead) noexcept {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// Names the first problem of a text that read_uuid refused.
std::string diagnose(std::string_view input) {
  std::string_view body = input;
  std::size_t offset = 0;
  bool wrapped = true;
  if (input.size() >= 2 && input.front() == '{' && input.back() == '}') {
    body = input.substr(1, input.size() - 2);
    offset = 1;
  } else if (input.size() > 8 && input.starts_with(kUrnPrefix)) {
    body = input.substr(kUrnPrefix.size());
    offset = kUrnPrefix.size();
  } else {
    wrapped = false;
  }

  std::size_t hyphens = 0;
  std::array<std::size_t, 4> hyphen_at{};
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '-') {
      if (hyphens < hyphen_at.size()) hyphen_at[hyphens] = i;
      ++hyphens;
    } else if (hex_value(c) < 0) {
      // The whole character is shown, however many bytes it takes; the input
      // is valid UTF-8, but a truncated tail is still clamped to the body.
      const std::size_t length = utf8_sequence_length(static_cast<unsigned char>(c));
      std::string text = "invalid character: found `";
      text += body.substr(i, length);
      text += "` at ";
      text += std::to_string(offset + i + 1);
      return text;
    }
  }

  if (hyphens == 0 && !wrapped) {
    return "invalid length: expected length 32 for simple format, found " +
           std::to_string(input.size());
  }
  if (hyphens != 4) {
    return "invalid group count: expected 5, found " + std::to_string(hyphens + 1);
  }
  for (std::size_t group = 0; group < hyphen_at.size(); ++group) {
    if (hyphen_at[group] != kGroupStarts[group + 1] - 1) {
      return "invalid group length in group " + std::to_string(group) + ": expected " +
             std::to_string(kGroupLengths[group]) + ", found " +
             std::to_string(hyphen_at[group] - kGroupStarts[group]);
    }
  }
  // Every hyphen stands right, so the last group is the wrong one. Its
  // length is counted over the whole input, prefix or braces included.
  return "invalid group length in group 4: expected 12, found " +
         std::to_string(input.size() - kGroupStarts[4]);
}

}  // namespace

std::expected<Uuid, std::string> parse_uuid_text(std::string_view text) {
  Uuid uuid{};
  if (read_uuid(text, uuid)) return uuid;
  return std::unexpected(diagnose(text));
}

}  // namespace corvane
