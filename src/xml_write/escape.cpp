// Escaping: the in-place copy into an output buffer. Text and attribute
// values share the code and differ only in their byte tables.
#include "xml_write/escape.hpp"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

namespace escape_detail {

namespace {

#if defined(__SSE2__)
inline __m128i equal(__m128i bytes, char c) noexcept {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

// Bit i set when byte i of the 16 at `in` needs an entity.
template <EscapeContext Context>
inline unsigned special_mask(__m128i bytes) noexcept {
  __m128i hits = _mm_or_si128(
      _mm_or_si128(equal(bytes, '&'), equal(bytes, '<')),
      _mm_or_si128(_mm_or_si128(equal(bytes, '>'), equal(bytes, '\'')), equal(bytes, '"')));
  if constexpr (Context == EscapeContext::Attribute) {
    hits = _mm_or_si128(hits, _mm_or_si128(equal(bytes, '\n'), equal(bytes, '\t')));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// Each entity padded to eight bytes, so it is written with one fixed-size
// copy into room that is known to be large enough.
constexpr std::size_t kPaddedEntity = 8;
constexpr char kPaddedEntities[kEntities.size()][kPaddedEntity] = {
    {},
    {'&', 'a', 'm', 'p', ';'},
    {'&', 'l', 't', ';'},
    {'&', 'g', 't', ';'},
    {'&', 'a', 'p', 'o', 's', ';'},
    {'&', 'q', 'u', 'o', 't', ';'},
    {'&', '#', '1', '0', ';'},
    {'&', '#', '9', ';'}};

inline char* put_entity(char* out, std::uint8_t entity) noexcept {
  std::memcpy(out, kPaddedEntities[entity], kPaddedEntity);
  return out + kEntities[entity].size();
}

// Escapes [in, end) to `out`, which has room for kMaxEntityLength bytes per
// input byte plus kSlack. The vector loop stores each 16-byte block before
// looking at it, so plain runs are copied by the scan itself.
constexpr std::size_t kSlack = 16;

template <EscapeContext Context>
char* escape_block(const char* in, const char* end, char* out) noexcept {
  constexpr const auto& kIndex = kEntityIndex<Context>;
#if defined(__SSE2__)
  while (end - in >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    const unsigned mask = special_mask<Context>(bytes);
    if (mask == 0) {
      in += 16;
      out += 16;
      continue;
    }
    const int plain = __builtin_ctz(mask);
    in += plain;
    out = put_entity(out + plain, kIndex[static_cast<unsigned char>(*in)]);
    ++in;
  }
#endif
  for (; in != end; ++in) {
    const std::uint8_t entity = kIndex[static_cast<unsigned char>(*in)];
    if (entity == 0) {
      *out++ = *in;
    } else {
      out = put_entity(out, entity);
    }
  }
  return out;
}

template <EscapeContext Context>
void append_escaped_in(std::string_view text, OutputBuffer& out) {
  // Worst-case room is reserved per block rather than for the whole text, so
  // a huge captured output does not reserve six times its size.
  constexpr std::size_t kBlock = 4096;
  const char* in = text.data();
  const char* const end = in + text.size();
  while (in != end) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - in), kBlock);
    char* room = out.append_raw(n * kMaxEntityLength + kSlack);
    out.commit(escape_block<Context>(in, in + n, room));
    in += n;
  }
}

}  // namespace

}  // namespace escape_detail

void append_escaped(std::string_view text, OutputBuffer& out) {
  escape_detail::append_escaped_in<EscapeContext::Text>(text, out);
}

void append_escaped_attribute(std::string_view value, OutputBuffer& out) {
  escape_detail::append_escaped_in<EscapeContext::Attribute>(value, out);
}

}  // namespace corvane
