// Plain text between escape sequences. Clean ASCII is skipped a block at a
// time (sixteen bytes with SSE2, eight elsewhere) and every clean stretch is
// appended with one copy; only the bytes that are dropped or replaced
// interrupt a stretch.
#include "model/ground_text.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/byte_class.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

namespace {

using Byte = unsigned char;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

static_assert(
    [] {
      for (int b = 0x20; b < 0x80; ++b) {
        if (!byte_class::has(static_cast<Byte>(b), byte_class::kKeptInText)) return false;
      }
      return byte_class::has('\n', byte_class::kKeptInText) &&
             byte_class::has('\t', byte_class::kKeptInText);
    }(),
    "the block skip must only pass bytes the table keeps");

// Length of the well-formed UTF-8 character that starts at `p` with a byte
// from 0x80 up, or 0 if the bytes there do not form one (Unicode's table of
// well-formed byte sequences: no overlong forms, surrogates or code points
// above U+10FFFF, and nothing past `end`).
[[gnu::always_inline]] inline std::size_t utf8_length(const Byte* p, const Byte* end) {
  const Byte lead = p[0];
  const std::size_t available = static_cast<std::size_t>(end - p);
  auto continuation = [](Byte b) { return b >= 0x80 && b <= 0xBF; };
  if (lead >= 0xC2 && lead <= 0xDF) {
    return available >= 2 && continuation(p[1]) ? 2 : 0;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (available < 3) return 0;
    const Byte low = lead == 0xE0 ? 0xA0 : 0x80;
    const Byte high = lead == 0xED ? 0x9F : 0xBF;
    return p[1] >= low && p[1] <= high && continuation(p[2]) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (available < 4) return 0;
    const Byte low = lead == 0xF0 ? 0x90 : 0x80;
    const Byte high = lead == 0xF4 ? 0x8F : 0xBF;
    return p[1] >= low && p[1] <= high && continuation(p[2]) && continuation(p[3]) ? 4 : 0;
  }
  return 0;
}

// U+0080 to U+009F are encoded as C2 80 to C2 9F.
bool is_c1_control(const Byte* p) { return p[0] == 0xC2 && p[1] <= 0x9F; }

// U+FFFE and U+FFFF, encoded as EF BF BE and EF BF BF. XML 1.0's Char
// production leaves them out, so a document holding either one is not
// well-formed and conforming parsers refuse it; the XML filter removes them
// like the forbidden C0 controls.
bool is_xml_noncharacter(const Byte* p) { return p[0] == 0xEF && p[1] == 0xBF && p[2] >= 0xBE; }

// A well-formed character of `length` bytes at `p` that cleaning removes.
bool is_removed_character(const Byte* p, std::size_t length) {
  return (length == 2 && is_c1_control(p)) || (length == 3 && is_xml_noncharacter(p));
}

// The scan below looks at a block of bytes at a time, its last, partial
// block included (see skip_ascii_tail): short texts such as names and
// attribute values are mostly tail.
#if defined(__SSE2__)
constexpr std::ptrdiff_t kBlock = 16;

// Bit i is set when byte i of the block at `p` is neither printable ASCII
// (0x20 to 0x7F) nor a kept control (line feed, tab). The signed comparison
// below 0x20 catches the C0 controls and every byte from 0x80 at once.
unsigned stop_bits(const Byte* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i low = _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20));
  const __m128i kept = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(kept, low)));
}

int first_stop(unsigned bits) { return std::countr_zero(bits); }
#else
constexpr std::ptrdiff_t kBlock = 8;
constexpr std::uint64_t kEveryByte = 0x0101010101010101;

// Marks with its top bit each byte of the block at `p` outside 0x20 to
// 0x7F: a byte from 0x80 up has it already, a byte below 0x20 gets it in
// (w - 0x20..) & ~w. A borrow can also mark a good byte, but only one more
// significant than a truly marked one. So the first marked byte in memory is
// exact on a little-endian machine and at worst too early elsewhere, which
// costs no more than a step through the byte-wise path. Line feeds and tabs
// stop this scan too; skip_kept steps over them.
std::uint64_t stop_bits(const Byte* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return (w | ((w - kEveryByte * 0x20) & ~w)) & (kEveryByte * 0x80);
}

int first_stop(std::uint64_t bits) {
  if constexpr (std::endian::native == std::endian::little) {
    return std::countr_zero(bits) / 8;
  } else {
    return std::countl_zero(bits) / 8;
  }
}
#endif

// As skip_ascii, for the fewer than kBlock bytes from `p` to `end`, where
// the text starts at `start`.
[[gnu::noinline]] const Byte* skip_ascii_tail(const Byte* start, const Byte* p, const Byte* end) {
#if defined(__SSE2__)
  // The last block of a long enough text, with the bits of the bytes before
  // `p` dropped: they were passed already, or belong to characters that were.
  if (end - start >= kBlock) {
    const auto bits = stop_bits(end - kBlock) >> (kBlock - (end - p));
    return bits != 0 ? p + first_stop(bits) : end;
  }
#else
  (void)start;
#endif
  Byte padded[kBlock];
  std::memset(padded, ' ', sizeof padded);
  std::memcpy(padded, p, static_cast<std::size_t>(end - p));
  const auto bits = stop_bits(padded);
  return bits != 0 ? p + first_stop(bits) : end;
}

// The first byte from `p` that the block scan stops at, or `end`.
inline const Byte* skip_ascii(const Byte* start, const Byte* p, const Byte* end) {
  for (; end - p >= kBlock; p += kBlock) {
    if (const auto bits = stop_bits(p); bits != 0) return p + first_stop(bits);
  }
  return p == end ? p : skip_ascii_tail(start, p, end);
}

// Returns the end of the stretch starting at `p` that is kept unchanged.
// `start` is where the text starts.
const Byte* skip_kept(const Byte* start, const Byte* p, const Byte* end) {
  for (;;) {
    p = skip_ascii(start, p, end);
    if (p == end) return p;
    if (*p < 0x80) {
      if (!byte_class::has(*p, byte_class::kKeptInText)) return p;
      ++p;
      continue;
    }
    // Runs of multi-byte characters, as in CJK text, are walked here rather
    // than restarting the block scan for every character.
    do {
      const std::size_t length = utf8_length(p, end);
      if (length == 0 || is_removed_character(p, length)) return p;
      p += length;
    } while (p != end && *p >= 0x80);
  }
}

// Handles the byte at `p` that stopped a kept stretch and returns where the
// next stretch starts.
const Byte* drop_or_replace(const Byte* p, const Byte* end, std::string& out) {
  if (*p < 0x80) return p + 1;  // a C0 control
  if (const std::size_t length = utf8_length(p, end); length != 0) {
    return p + length;  // well-formed, so a C1 control or U+FFFE / U+FFFF
  }
  if (*p > 0x9F) out.append(kReplacement);
  return p + 1;
}

}  // namespace

std::size_t append_ground_text(std::string_view text, std::string& out) {
  const Byte* const begin = reinterpret_cast<const Byte*>(text.data());
  const Byte* const end = begin + text.size();
  const Byte* p = begin;
  while (p != end) {
    const Byte* const start = p;
    p = skip_kept(begin, p, end);
    out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
    // ESC is a C0 control, so the kept stretch always stops in front of it.
    if (p == end || *p == byte_class::kEsc) break;
    p = drop_or_replace(p, end, out);
  }
  return static_cast<std::size_t>(p - begin);
}

std::size_t kept_prefix_length(std::string_view text) {
  const Byte* const begin = reinterpret_cast<const Byte*>(text.data());
  return static_cast<std::size_t>(skip_kept(begin, begin, begin + text.size()) - begin);
}

}  // namespace corvane
