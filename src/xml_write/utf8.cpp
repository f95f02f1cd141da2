// UTF-8 validation, with a word-at-a-time shortcut over ASCII since a JUnit
// document is almost entirely ASCII.
#include "xml_write/utf8.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace corvane {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

}  // namespace

bool is_valid_utf8(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    // Skip ASCII two words at a time.
    while (n - i >= 16) {
      std::uint64_t a;
      std::uint64_t b;
      std::memcpy(&a, bytes + i, 8);
      std::memcpy(&b, bytes + i + 8, 8);
      if (((a | b) & kHighBits) != 0) break;
      i += 16;
    }
    if (i >= n) break;
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    unsigned char low = 0x80;  // allowed range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;  // continuation byte, C0/C1 overlong lead, or F5..FF
    }
    if (n - i < length) return false;
    if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!is_continuation(bytes[i + k])) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace corvane
