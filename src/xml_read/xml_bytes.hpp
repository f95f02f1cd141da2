// Byte classes of the XML reader: one 256-entry table of bit flags, so that
// every scanning loop is "skip bytes without flag F, then switch on the byte
// that stopped the scan".
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane::xml_bytes {

enum Flag : std::uint8_t {
  kWhite = 1 << 0,      // the four XML white-space bytes
  kPlainName = 1 << 1,  // bytes of names and keys in a tag of the plain form
  kNameStart = 1 << 2,  // bytes that may open an element name
  kDtdStop = 1 << 3,    // bytes that matter inside a DOCTYPE declaration
};

inline constexpr std::array<std::uint8_t, 256> kTable = [] {
  std::array<std::uint8_t, 256> table{};
  for (unsigned char c : {' ', '\t', '\n', '\r'}) table[c] |= kWhite;
  for (unsigned char c : {'>', '"', '\'', '[', ']', '<'}) table[c] |= kDtdStop;
  for (int c = 'a'; c <= 'z'; ++c) table[c] |= kNameStart;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] |= kNameStart;
  table['_'] |= kNameStart;
  table[':'] |= kNameStart;
  // Every byte but those that end a name or key (white space, and the other
  // bytes up to 0x20 with it), or mark a tag's syntax.
  for (int c = 0x21; c < 256; ++c) table[c] |= kPlainName;
  for (unsigned char c : {'>', '/', '"', '\'', '='}) {
    table[c] &= static_cast<std::uint8_t>(~kPlainName);
  }
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

// The byte sets the inline search below looks for. Each gives the test of
// one byte and, with SSE2, the mask of the bytes of a sixteen-byte block
// that pass it.
template <char... Bytes>
struct AnyOf {
  static bool holds(char c) noexcept { return ((c == Bytes) || ...); }
#if defined(__SSE2__)
  static unsigned block_bits(const char* block_start) noexcept {
    return bits_of(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block_start)));
  }
  static unsigned bits_of(__m128i block) noexcept {
    return static_cast<unsigned>(
        _mm_movemask_epi8((... | _mm_cmpeq_epi8(block, _mm_set1_epi8(Bytes)))));
  }
#endif
};

// Bytes outside printable ASCII (0x20 to 0x7F), and '&'.
struct NotPlainAscii {
  static bool holds(char c) noexcept {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte >= 0x80 || byte == '&';
  }
#if defined(__SSE2__)
  // The bytes of `block` it holds, as 0xFF bytes.
  static __m128i in_block(__m128i block) noexcept {
    // Signed, so "below 0x20" also takes every byte from 0x80 up.
    return _mm_or_si128(_mm_cmplt_epi8(block, _mm_set1_epi8(0x20)),
                        _mm_cmpeq_epi8(block, _mm_set1_epi8('&')));
  }
#endif
};

// Offset of the first byte of `text` at or after `from` in the set `Set`, or
// text.size() when there is none. Inline, sixteen bytes a step: the spans
// searched (attribute keys and values, indentation, tags) are mostly short,
// where a library call costs more than the search.
template <typename Set>
inline std::size_t find_first(std::string_view text, std::size_t from) noexcept {
  const char* p = text.data() + from;
  const char* const end = text.data() + text.size();
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    if (const unsigned bits = Set::block_bits(p); bits != 0) {
      return static_cast<std::size_t>(p - text.data()) + std::countr_zero(bits);
    }
  }
  // The rest as the text's last sixteen bytes, without the bits of those
  // before `p`, which were searched already (or lie before `from`).
  if (p != end && text.size() >= 16) {
    const unsigned bits = Set::block_bits(end - 16) >> (16 - (end - p));
    return bits != 0 ? static_cast<std::size_t>(p - text.data()) + std::countr_zero(bits)
                     : text.size();
  }
#endif
  while (p != end && !Set::holds(*p)) ++p;
  return static_cast<std::size_t>(p - text.data());
}

// Offset of the first byte at or after `from` that equals one of `Bytes`.
template <char... Bytes>
inline std::size_t find_any(std::string_view text, std::size_t from) noexcept {
  return find_first<AnyOf<Bytes...>>(text, from);
}

// Watches the blocks a copy passes over for bytes other than printable
// ASCII (0x20 to 0x7F), line feed and tab: text of those alone is what
// cleaning keeps as it is, so the copy's own scan can spare it a second
// one. Bytes near the copied ones may be watched too, so a false answer
// only means "not known".
class PlainTextWatch {
 public:
#if defined(__SSE2__)
  void note(__m128i block) noexcept {
    // Signed, so "below 0x20" also takes every byte from 0x80 up.
    const __m128i low = _mm_cmplt_epi8(block, _mm_set1_epi8(0x20));
    const __m128i kept = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\n')),
                                      _mm_cmpeq_epi8(block, _mm_set1_epi8('\t')));
    unusual_ = _mm_or_si128(unusual_, _mm_andnot_si128(kept, low));
  }
#endif
  // Bytes copied without being watched.
  void note_unwatched() noexcept { unwatched_ = true; }
  bool all_plain() const noexcept {
#if defined(__SSE2__)
    return !unwatched_ && _mm_movemask_epi8(unusual_) == 0;
#else
    return !unwatched_;
#endif
  }

 private:
#if defined(__SSE2__)
  __m128i unusual_ = _mm_setzero_si128();
#endif
  bool unwatched_ = false;
};

// Copies the bytes from `from` up to the first of the `stops` bytes, or up
// to `end`, to `to`, and gives how many; `watch` sees them. Bytes up to
// `readable_end` (at or after `end`) may be read, and `to` must have room
// for 15 bytes more than the span: sixteen-byte blocks are copied whole
// while they are searched, the last one reaching past `end`, so a short run
// costs no call of its own.
template <char... stops>
inline std::size_t copy_until(const char* from, const char* end, const char* readable_end, char* to,
                              PlainTextWatch& watch) noexcept {
  const char* p = from;
#if defined(__SSE2__)
  // Blocks that end before `end`, then the one that reaches it, where the
  // end stops the copy like a stop byte.
  for (; end - p > 16; p += 16, to += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), block);
    watch.note(block);
    const unsigned bits = AnyOf<stops...>::bits_of(block);
    if (bits != 0) return static_cast<std::size_t>(p - from) + std::countr_zero(bits);
  }
  if (p != end && readable_end - p >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), block);
    watch.note(block);
    const unsigned bits = AnyOf<stops...>::bits_of(block) | 1u << (end - p);
    return static_cast<std::size_t>(p - from) + std::countr_zero(bits);
  }
#endif
  if (p != end && !AnyOf<stops...>::holds(*p)) watch.note_unwatched();
  while (p != end && !AnyOf<stops...>::holds(*p)) *to++ = *p++;
  return static_cast<std::size_t>(p - from);
}

// Offset of the first XML white-space byte at or after `from`.
inline std::size_t find_white(std::string_view text, std::size_t from) noexcept {
  return find_any<' ', '\t', '\n', '\r'>(text, from);
}

// Whether every byte of `text` is printable ASCII other than '&': such a
// value holds no reference to resolve and nothing that cleaning changes.
// Only a yes or no is wanted, so the blocks are not searched one by one:
// their tests are gathered and looked at once, the last block the text's
// last sixteen bytes (overlapping the one before it).
inline bool is_plain_ascii_without_references(std::string_view text) noexcept {
#if defined(__SSE2__)
  if (text.size() >= 16) {
    const char* p = text.data();
    const char* const last = text.data() + text.size() - 16;
    __m128i unusual = _mm_setzero_si128();
    for (; p < last; p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      unusual = _mm_or_si128(unusual, NotPlainAscii::in_block(block));
    }
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last));
    unusual = _mm_or_si128(unusual, NotPlainAscii::in_block(block));
    return _mm_movemask_epi8(unusual) == 0;
  }
#endif
  for (const char c : text) {
    if (NotPlainAscii::holds(c)) return false;
  }
  return true;
}

// Offset of the `quote` (a double or single quote) that closes a quoted
// value opened before `from`, or text.size() when there is none.
inline std::size_t find_closing_quote(std::string_view text, std::size_t from,
                                      char quote) noexcept {
  return quote == '"' ? find_any<'"'>(text, from) : find_any<'\''>(text, from);
}
// Whether `c` ends a name or key in a tag of the plain form: a byte without
// kPlainName, or one of the bytes that, to keep the test cheap, end one
// too: '#', '&', '<', '?' and every byte from 0x80 up. A tag whose name or
// key holds one of those is left to the general rule (see read_plain_tag).
inline constexpr bool ends_plain_name(char c) noexcept {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte >= 0x80 || (byte | 0x05) == 0x27 || (byte & 0xFC) == 0x3C ||
         byte == '/';
}
static_assert(
    [] {
      for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<char>(b);
        const bool extra = b >= 0x80 || b == '#' || b == '&' || b == '<' || b == '?';
        if (ends_plain_name(c) != (!has(c, kPlainName) || extra)) return false;
      }
      return true;
    }(),
    "a plain name ends at every byte without kPlainName, and at the extra ones only");

// The first byte at or after `p` that ends_plain_name. There must be one
// before the end of the input, which is `end`: sixteen bytes a step while
// as many can be read, then one at a time.
inline const char* skip_plain_name(const char* p, const char* end) noexcept {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed: bytes up to 0x20, and every byte from 0x80 up.
    const __m128i low = _mm_cmplt_epi8(block, _mm_set1_epi8(0x21));
    // '"', '#', '&' and '\'', which or-ed with 0x05 all give 0x27.
    const __m128i quotes =
        _mm_cmpeq_epi8(_mm_or_si128(block, _mm_set1_epi8(0x05)), _mm_set1_epi8(0x27));
    // '<', '=', '>' and '?', which differ only in their two lowest bits.
    const __m128i angles = _mm_cmpeq_epi8(
        _mm_and_si128(block, _mm_set1_epi8(static_cast<char>(0xFC))), _mm_set1_epi8(0x3C));
    const __m128i slash = _mm_cmpeq_epi8(block, _mm_set1_epi8('/'));
    const auto bits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(low, quotes), _mm_or_si128(angles, slash))));
    if (bits != 0) return p + std::countr_zero(bits);
  }
#endif
  while (!ends_plain_name(*p)) ++p;
  return p;
}
}  // namespace corvane::xml_bytes
