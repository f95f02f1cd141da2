// Unicode White_Space trimming, and the stored form of element text.
#include "xml_read/unicode_trim.hpp"

#include <cstddef>
#include <cstdint>

namespace corvane {

namespace {

// White_Space code points above ASCII: U+0085, U+00A0, U+1680, U+2000..U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000.
bool is_wide_white_space(std::uint32_t cp) noexcept {
  switch (cp) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

bool is_ascii_white_space(unsigned char c) noexcept { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Length of the white-space character starting at `i`, or 0.
std::size_t white_space_at(std::string_view s, std::size_t i) noexcept {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return is_ascii_white_space(b0) ? 1 : 0;
  if (b0 == 0xC2 && i + 1 < s.size()) {
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    return b1 == 0x85 || b1 == 0xA0 ? 2 : 0;
  }
  if ((b0 == 0xE1 || b0 == 0xE2 || b0 == 0xE3) && i + 2 < s.size()) {
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    const auto b2 = static_cast<unsigned char>(s[i + 2]);
    if ((b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80) return 0;
    const std::uint32_t cp = (std::uint32_t{b0} & 0x0F) << 12 | (std::uint32_t{b1} & 0x3F) << 6 |
                             (std::uint32_t{b2} & 0x3F);
    return is_wide_white_space(cp) ? 3 : 0;
  }
  return 0;
}

}  // namespace

std::string_view trim_unicode_white_space(std::string_view text) noexcept {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t n = white_space_at(text, begin);
    if (n == 0) break;
    begin += n;
  }
  std::size_t end = text.size();
  while (end > begin) {
    const auto last = static_cast<unsigned char>(text[end - 1]);
    std::size_t n = 0;
    if (last < 0x80) {
      n = is_ascii_white_space(last) ? 1 : 0;
    } else if (end - begin >= 2 && white_space_at(text, end - 2) == 2) {
      n = 2;
    } else if (end - begin >= 3 && white_space_at(text, end - 3) == 3) {
      n = 3;
    }
    if (n == 0) break;
    end -= n;
  }
  return text.substr(begin, end - begin);
}

XmlString clean_and_trim(std::string_view raw, TextArena* arena, bool known_plain) {
  if (known_plain) {
    // Cleaning keeps such text as it is, so trimming once is all there is.
    const std::string_view trimmed = trim_unicode_white_space(raw);
    return arena != nullptr ? XmlString(XmlString::PrintableAscii{}, trimmed, *arena)
                            : XmlString(XmlString::PrintableAscii{}, trimmed);
  }
  const auto make = [arena](std::string_view text) {
    return arena != nullptr ? XmlString(text, *arena) : XmlString(text);
  };
  // The raw text is trimmed first, which costs less than cleaning the white
  // space and changes nothing: at either end, cleaning turns white space
  // into white space or nothing, whatever state it is read in.
  XmlString cleaned = make(trim_unicode_white_space(raw));
  const std::string_view trimmed = trim_unicode_white_space(cleaned.view());
  if (trimmed.size() == cleaned.size()) return cleaned;
  return make(trimmed);
}

}  // namespace corvane
