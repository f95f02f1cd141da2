// Byte classes of the XML reader: one 256-entry table of bit flags, so that
// every scanning loop is "skip bytes without flag F, then switch on the byte
// that stopped the scan".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane::xml_bytes {

enum Flag : std::uint8_t {
  kWhite = 1 << 0,      // the four XML white-space bytes
  kTagStop = 1 << 1,    // bytes that matter inside a start tag: '>' and quotes
  kNameStart = 1 << 2,  // bytes that may open an element name
  kDtdStop = 1 << 3,    // bytes that matter inside a DOCTYPE declaration
  kKeyStop = 1 << 4,    // bytes that end an attribute key: '=' and white space
};

inline constexpr std::array<std::uint8_t, 256> kTable = [] {
  std::array<std::uint8_t, 256> table{};
  for (unsigned char c : {' ', '\t', '\n', '\r'}) table[c] |= kWhite | kKeyStop;
  for (unsigned char c : {'>', '"', '\''}) table[c] |= kTagStop;
  for (unsigned char c : {'>', '"', '\'', '[', ']', '<'}) table[c] |= kDtdStop;
  table['='] |= kKeyStop;
  for (int c = 'a'; c <= 'z'; ++c) table[c] |= kNameStart;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] |= kNameStart;
  table['_'] |= kNameStart;
  table[':'] |= kNameStart;
  // Multi-byte UTF-8 sequences: their name classes are not checked.
  for (int c = 0x80; c <= 0xFF; ++c) table[c] |= kNameStart;
  return table;
}();

inline constexpr bool has(char c, Flag flag) noexcept {
  return (kTable[static_cast<unsigned char>(c)] & flag) != 0;
}

// Offset of the first byte of `text` at or after `from` that has `flag`, or
// text.size() when there is none.
inline std::size_t find_flag(std::string_view text, std::size_t from, Flag flag) noexcept {
  const char* p = text.data() + from;
  const char* end = text.data() + text.size();
  while (p != end && !has(*p, flag)) ++p;
  return static_cast<std::size_t>(p - text.data());
}

// Offset of the first byte at or after `from` that lacks `flag`.
inline std::size_t skip_flag(std::string_view text, std::size_t from, Flag flag) noexcept {
  const char* p = text.data() + from;
  const char* end = text.data() + text.size();
  while (p != end && has(*p, flag)) ++p;
  return static_cast<std::size_t>(p - text.data());
}

}  // namespace corvane::xml_bytes
