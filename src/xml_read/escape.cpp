// Unescaping of attribute values and text: predefined entities and numeric
// character references, with the error texts that reach the user.
#include "xml_read/escape.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>

#include "xml_read/xml_bytes.hpp"

namespace corvane {
namespace {

std::string range_text(std::size_t start, std::size_t end) {
  return std::to_string(start) + ".." + std::to_string(end);
}

// The reasons mirror those of a strict unsigned 32-bit integer parse, checked
// left to right so that the first offending byte decides.
[[nodiscard]] std::expected<std::uint32_t, std::string> parse_reference_number(
    std::string_view digits, unsigned base) {
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    return std::unexpected(std::string("unexpected number sign"));
  }
  if (digits.empty()) return std::unexpected(std::string("cannot parse integer from empty string"));
  std::uint64_t value = 0;
  for (char c : digits) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::unexpected(std::string("invalid digit found in string"));
    }
    value = value * base + digit;
    if (value > UINT32_MAX) {
      return std::unexpected(std::string("number too large to fit in target type"));
    }
  }
  return static_cast<std::uint32_t>(value);
}

void append_utf8(std::uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// `body` is the reference without its '#'; appends the character to `out` or
// gives the reason it is refused.
[[nodiscard]] std::expected<void, std::string> append_character_reference(std::string_view body,
                                                                          std::string& out) {
  const bool hex = !body.empty() && body.front() == 'x';
  auto number = parse_reference_number(hex ? body.substr(1) : body, hex ? 16 : 10);
  if (!number) return std::unexpected(std::move(number.error()));
  const std::uint32_t cp = *number;
  if (cp == 0) return std::unexpected(std::string("0x0 character is not permitted in XML"));
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
    // Built by appending: GCC 12 misreports `"literal" + std::string` here.
    std::string reason(1, '`');
    reason += std::to_string(cp);
    reason += "` is not a valid codepoint";
    return std::unexpected(std::move(reason));
  }
  append_utf8(cp, out);
  return {};
}

}  // namespace

std::optional<std::string_view> resolve_xml_entity(std::string_view name) noexcept {
  if (name == "lt") return "<";
  if (name == "gt") return ">";
  if (name == "amp") return "&";
  if (name == "apos") return "'";
  if (name == "quot") return "\"";
  return std::nullopt;
}

std::expected<std::string_view, EscapeError> unescape(std::string_view raw, std::string& out) {
  std::size_t amp = xml_bytes::find_any<'&'>(raw, 0);
  if (amp == raw.size()) return raw;
  out.clear();
  out.reserve(raw.size());
  std::size_t copied = 0;
  while (amp != std::string_view::npos) {
    out.append(raw.data() + copied, amp - copied);
    const std::size_t semi = raw.find(';', amp + 1);
    if (semi == std::string_view::npos ||
        std::memchr(raw.data() + amp + 1, '&', semi - amp - 1) != nullptr) {
      return std::unexpected(EscapeError{"Error while escaping character at range " +
                                         range_text(amp, raw.size()) +
                                         ": Cannot find ';' after '&'"});
    }
    const std::string_view name = raw.substr(amp + 1, semi - amp - 1);
    if (!name.empty() && name.front() == '#') {
      if (auto done = append_character_reference(name.substr(1), out); !done) {
        return std::unexpected(EscapeError{"invalid character reference: " + done.error()});
      }
    } else if (auto entity = resolve_xml_entity(name)) {
      out.append(*entity);
    } else {
      return std::unexpected(EscapeError{"at " + range_text(amp + 1, semi) +
                                         ": unrecognized entity `" + std::string(name) + "`"});
    }
    copied = semi + 1;
    amp = raw.find('&', copied);
  }
  out.append(raw.data() + copied, raw.size() - copied);
  return std::string_view(out);
}

}  // namespace corvane
