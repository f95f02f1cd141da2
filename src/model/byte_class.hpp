// Byte classes used when cleaning text: one constexpr table of bit flags,
// looked up once per byte wherever the cleaner cannot skip bytes in bulk.
#pragma once

#include <array>
#include <cstdint>

namespace corvane::byte_class {

using Flags = std::uint16_t;

// What a byte means inside an open escape sequence.
inline constexpr Flags kExecute = 1 << 0;       // C0 but CAN, SUB, ESC (LF and BEL included)
inline constexpr Flags kCancel = 1 << 1;        // CAN 0x18, SUB 0x1A: abort the sequence
inline constexpr Flags kEscape = 1 << 2;        // ESC 0x1B: start a new sequence
inline constexpr Flags kIntermediate = 1 << 3;  // 0x20 to 0x2F
inline constexpr Flags kParameter = 1 << 4;     // 0x30 to 0x3B
inline constexpr Flags kPrivate = 1 << 5;       // 0x3C to 0x3F
inline constexpr Flags kFinal = 1 << 6;         // 0x40 to 0x7E
inline constexpr Flags kIgnored = 1 << 7;       // DEL and every byte from 0x80
// An ASCII byte that plain text keeps as it is.
inline constexpr Flags kKeptInText = 1 << 8;

inline constexpr unsigned char kCan = 0x18;
inline constexpr unsigned char kSub = 0x1A;
inline constexpr unsigned char kEsc = 0x1B;
inline constexpr unsigned char kDel = 0x7F;
inline constexpr unsigned char kBel = 0x07;
// ST as a single byte; it ends a DCS passthrough.
inline constexpr unsigned char kStringTerminator = 0x9C;

// The C0 controls that XML 1.0 forbids in character data.
constexpr bool forbidden_in_xml(unsigned char byte) {
  return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
}

// The controls that stay in stored text: the line feed and the tab, which
// carry the layout of captured output (tab-separated columns). The carriage
// return is not among them: every XML reader turns it into a line feed.
constexpr bool is_kept_control(unsigned char byte) { return byte == '\n' || byte == '\t'; }

// The ASCII bytes that survive control-character removal: the kept controls
// and everything from the space up, DEL included.
constexpr bool kept_by_control_removal(unsigned char byte) {
  return is_kept_control(byte) || (byte >= 0x20 && byte < 0x80);
}

constexpr Flags classify(unsigned char b) {
  Flags flags = 0;
  if (b == kCan || b == kSub) {
    flags |= kCancel;
  } else if (b == kEsc) {
    flags |= kEscape;
  } else if (b < 0x20) {
    flags |= kExecute;
  } else if (b < 0x30) {
    flags |= kIntermediate;
  } else if (b < 0x3C) {
    flags |= kParameter;
  } else if (b < 0x40) {
    flags |= kPrivate;
  } else if (b < 0x7F) {
    flags |= kFinal;
  } else {
    flags |= kIgnored;
  }
  // Plain text passes through both cleaning stages at once: a byte is kept
  // only if control removal keeps it and the XML filter does not remove it.
  if (kept_by_control_removal(b) && !forbidden_in_xml(b)) flags |= kKeptInText;
  return flags;
}

inline constexpr std::array<Flags, 256> kTable = [] {
  std::array<Flags, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = classify(static_cast<unsigned char>(b));
  return table;
}();

constexpr bool has(unsigned char byte, Flags flags) { return (kTable[byte] & flags) != 0; }

}  // namespace corvane::byte_class
