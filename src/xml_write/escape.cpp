// Escaping: the in-place copy into an output buffer. Text and attribute
// values share the code and differ only in their byte tables.
#include "xml_write/escape.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Long plain runs are copied 32 bytes a compare where the processor has
// AVX2, chosen when the library loads: the baseline build may use SSE2 only.
#if defined(__SSE2__) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CORVANE_ESCAPE_AVX2 1
#include <immintrin.h>
#else
#define CORVANE_ESCAPE_AVX2 0
#endif

namespace corvane {

namespace escape_detail {

namespace {

#if defined(__SSE2__)
inline __m128i equal(__m128i bytes, char c) noexcept {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

// A cheaper test that flags every byte needing an entity and a few that do
// not: or-ing 0x05 into '"' (0x22), '&' (0x26) and '\'' (0x27) gives 0x27,
// as it does for '#' (0x23); or-ing 0x03 into '\t' and '\n' gives 0x0B, as
// it does for 0x08 and 0x0B. Plain text, nearly all of what is written, is
// cleared with two or three comparisons; only a flagged block goes on to
// clear the false alarms.
template <EscapeContext Context>
inline __m128i maybe_special_bytes(__m128i bytes) noexcept {
  const __m128i quote_amp_apos = equal(_mm_or_si128(bytes, _mm_set1_epi8(0x05)), '\'');
  const __m128i lt_gt = equal(_mm_or_si128(bytes, _mm_set1_epi8(0x02)), '>');
  __m128i hits = _mm_or_si128(quote_amp_apos, lt_gt);
  if constexpr (Context == EscapeContext::Attribute) {
    hits = _mm_or_si128(hits, equal(_mm_or_si128(bytes, _mm_set1_epi8(0x03)), 0x0B));
  }
  return hits;
}

template <EscapeContext Context>
inline unsigned maybe_special_mask(__m128i bytes) noexcept {
  return static_cast<unsigned>(_mm_movemask_epi8(maybe_special_bytes<Context>(bytes)));
}

// The exact bits (those of bytes needing an entity) from the flags of the
// cheaper test, which leaves only its false alarms to clear.
template <EscapeContext Context>
inline unsigned special_mask(__m128i bytes, __m128i maybe_special) noexcept {
  __m128i false_alarms = equal(bytes, '#');
  if constexpr (Context == EscapeContext::Attribute) {
    false_alarms = _mm_or_si128(false_alarms, _mm_or_si128(equal(bytes, 0x08), equal(bytes, 0x0B)));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(false_alarms, maybe_special)));
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

// Writes the first `count` bytes of the `Width`-byte block at `local`
// (followed by `Width` zero bytes) to `out`, each byte marked in `mask` (not
// zero) as its entity: the runs between them are copied `Width` bytes at a
// time from the local copy, so several entities in one block cost no reload.
// Shared by the 16- and 32-byte steps, which differ only in the width.
template <std::size_t Width, EscapeContext Context>
[[gnu::always_inline]] inline char* put_runs_and_entities(char* out, const char* local,
                                                          unsigned mask,
                                                          std::size_t count) noexcept {
  constexpr const auto& kIndex = kEntityIndex<Context>;
  std::size_t pos = 0;
  do {
    const auto special = static_cast<std::size_t>(__builtin_ctz(mask));
    std::memcpy(out, local + pos, Width);
    out = put_entity(out + (special - pos), kIndex[static_cast<unsigned char>(local[special])]);
    pos = special + 1;
    mask &= mask - 1;
  } while (mask != 0);
  std::memcpy(out, local + pos, Width);
  return out + (count - pos);
}

// Escapes [in, end) to `out`, which has room for kMaxEntityLength bytes per
// input byte plus kSlack: every write may run up to 32 bytes past what it
// claims.
constexpr std::size_t kSlack = 32;

#if defined(__SSE2__)
// The `count` (below 16) bytes at `in` in the low lanes, zeros above, read
// without touching a byte past in + count. A zero byte never needs an
// entity, so the padding is inert.
inline __m128i load_partial(const char* in, std::size_t count) noexcept {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  if (count >= 8) {
    std::memcpy(&low, in, 8);
    if (count > 8) {
      std::memcpy(&high, in + count - 8, 8);
      high >>= 8 * (16 - count);
    }
  } else if (count >= 4) {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::memcpy(&first, in, 4);
    std::memcpy(&last, in + count - 4, 4);
    low = first | std::uint64_t{last} << (8 * (count - 4));
  } else if (count > 0) {
    const auto byte = [in](std::size_t i) {
      return std::uint64_t{static_cast<unsigned char>(in[i])} << (8 * i);
    };
    low = byte(0) | byte(count / 2) | byte(count - 1);
  }
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// Escapes the first `count` bytes of `bytes`, whose cheaper test gave
// `maybe_special`. The plain case is one store; otherwise the runs between
// special bytes are copied from a local copy of the block, 16 bytes at a
// time, so several specials in one block cost no reload.
template <EscapeContext Context>
inline char* escape_vector(__m128i bytes, __m128i maybe_special, std::size_t count,
                           char* out) noexcept {
  const unsigned mask = special_mask<Context>(bytes, maybe_special);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  if (mask == 0) [[likely]] {
    return out + count;
  }
  alignas(16) char local[32];
  _mm_store_si128(reinterpret_cast<__m128i*>(local), bytes);
  _mm_store_si128(reinterpret_cast<__m128i*>(local + 16), _mm_setzero_si128());
  return put_runs_and_entities<16, Context>(out, local, mask, count);
}
#endif

#if CORVANE_ESCAPE_AVX2
const bool has_avx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
// Relaxed: a plain load on x86; only tests change it.
std::atomic<bool> wide_steps{has_avx2};

// The bytes of `bytes` or-ed with `bits` that equal `c`: the tests of
// maybe_special_bytes on 32 bytes at once.
[[gnu::target("avx2")]] inline __m256i equal_or_avx2(__m256i bytes, char bits, char c) noexcept {
  return _mm256_cmpeq_epi8(_mm256_or_si256(bytes, _mm256_set1_epi8(bits)), _mm256_set1_epi8(c));
}

template <EscapeContext Context>
[[gnu::target("avx2")]] inline __m256i maybe_special_bytes_avx2(__m256i bytes) noexcept {
  __m256i hits = _mm256_or_si256(equal_or_avx2(bytes, 0x05, '\''), equal_or_avx2(bytes, 0x02, '>'));
  if constexpr (Context == EscapeContext::Attribute) {
    hits = _mm256_or_si256(hits, equal_or_avx2(bytes, 0x03, 0x0B));
  }
  return hits;
}

// The exact bits from the flags of the cheaper test, as special_mask does.
template <EscapeContext Context>
[[gnu::target("avx2")]] inline unsigned special_mask_avx2(__m256i bytes,
                                                          __m256i maybe_special) noexcept {
  __m256i false_alarms = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('#'));
  if constexpr (Context == EscapeContext::Attribute) {
    false_alarms = _mm256_or_si256(
        false_alarms, _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(0x08)),
                                      _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(0x0B))));
  }
  return static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_andnot_si256(false_alarms, maybe_special)));
}

struct Progress {
  const char* in;
  char* out;
};

// Escapes [in, end) in whole steps of 32 bytes, as escape_vector does 16:
// a plain step is one store, the runs between special bytes are copied 32
// bytes at a time. Returns where it stopped, with fewer than 32 bytes left.
template <EscapeContext Context>
[[gnu::target("avx2")]] Progress escape_steps_avx2(const char* in, const char* end,
                                                   char* out) noexcept {
  for (; end - in >= 32; in += 32) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i maybe_special = maybe_special_bytes_avx2<Context>(bytes);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
    unsigned mask = 0;
    if (!_mm256_testz_si256(maybe_special, maybe_special)) {
      mask = special_mask_avx2<Context>(bytes, maybe_special);
    }
    if (mask == 0) {
      out += 32;
      continue;
    }
    alignas(32) char local[64];
    _mm256_store_si256(reinterpret_cast<__m256i*>(local), bytes);
    _mm256_store_si256(reinterpret_cast<__m256i*>(local + 32), _mm256_setzero_si256());
    out = put_runs_and_entities<32, Context>(out, local, mask, 32);
  }
  return {in, out};
}
#endif

template <EscapeContext Context>
char* escape_block(const char* in, const char* end, char* out) noexcept {
#if defined(__SSE2__)
  const char* const begin = in;
  // Long plain runs (captured output) go 32 bytes a step with one test.
#if CORVANE_ESCAPE_AVX2
  if (wide_steps.load(std::memory_order_relaxed)) {
    const Progress done = escape_steps_avx2<Context>(in, end, out);
    in = done.in;
    out = done.out;
  }
#endif
  for (; end - in >= 32; in += 32) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i first_maybe = maybe_special_bytes<Context>(first);
    const __m128i second_maybe = maybe_special_bytes<Context>(second);
    if (_mm_movemask_epi8(_mm_or_si128(first_maybe, second_maybe)) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), second);
      out += 32;
      continue;
    }
    out = escape_vector<Context>(first, first_maybe, 16, out);
    out = escape_vector<Context>(second, second_maybe, 16, out);
  }
  const auto escape_whole = [](__m128i bytes, std::size_t count, char* to) {
    return escape_vector<Context>(bytes, maybe_special_bytes<Context>(bytes), count, to);
  };
  for (; end - in >= 16; in += 16) {
    out = escape_whole(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), 16, out);
  }
  const auto rest = static_cast<std::size_t>(end - in);
  if (rest == 0) return out;
  if (end - begin >= 16) {
    // The last 16 bytes, read from where they start: when none needs an
    // entity, those before `in` were copied unchanged and are stored again
    // as they are, so the tail costs one load and one store.
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
    if (maybe_special_mask<Context>(last) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + rest - 16), last);
      return out + rest;
    }
  }
  out = escape_whole(load_partial(in, rest), rest, out);
#else
  constexpr const auto& kIndex = kEntityIndex<Context>;
  for (; in != end; ++in) {
    const std::uint8_t entity = kIndex[static_cast<unsigned char>(*in)];
    if (entity == 0) {
      *out++ = *in;
    } else {
      out = put_entity(out, entity);
    }
  }
#endif
  return out;
}

// Worst-case room is reserved per block rather than for the whole text, so a
// huge captured output does not reserve six times its size. Kept out of
// line, so that the short plain texts below take no part in its set-up.
template <EscapeContext Context>
[[gnu::noinline]] void append_escaped_blocks(std::string_view text, OutputBuffer& out) {
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

#if defined(__SSE2__)
// Copies the `size` bytes at `in` (16 <= size <= 16 * Pieces) to `room` when
// none of them needs an entity, as `Pieces` 16-byte pieces that overlap
// where the text is shorter: a fixed number of loads and stores. Returns
// the end of the copy, or null with nothing written.
template <EscapeContext Context, std::size_t Pieces>
inline char* put_pieces_if_plain(char* room, const char* in, std::size_t size) noexcept {
  std::size_t at[Pieces];
  __m128i pieces[Pieces];
  __m128i hits = _mm_setzero_si128();
  for (std::size_t i = 0; i < Pieces; ++i) {
    at[i] = std::min(16 * i, size - 16);
    pieces[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at[i]));
    hits = _mm_or_si128(hits, maybe_special_bytes<Context>(pieces[i]));
  }
  if (_mm_movemask_epi8(hits) != 0) return nullptr;
  for (std::size_t i = 0; i < Pieces; ++i) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(room + at[i]), pieces[i]);
  }
  return room + size;
}
#endif

// Most texts written are names and values of up to kPlainRoom bytes with
// nothing to escape: those are copied whole with a few loads and stores
// into `room`, which has kPlainRoom bytes. Returns the end of the copy, or
// null with nothing written for a text that is longer or needs escaping.
template <EscapeContext Context>
inline char* put_if_plain(char* room, std::string_view text) noexcept {
#if defined(__SSE2__)
  static_assert(kPlainRoom == 64);
  const std::size_t size = text.size();
  if (size < 16) {
    const __m128i piece = load_partial(text.data(), size);
    if (maybe_special_mask<Context>(piece) != 0) return nullptr;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(room), piece);
    return room + size;
  }
  if (size <= 32) return put_pieces_if_plain<Context, 2>(room, text.data(), size);
  if (size <= 48) return put_pieces_if_plain<Context, 3>(room, text.data(), size);
  if (size <= 64) return put_pieces_if_plain<Context, 4>(room, text.data(), size);
#else
  (void)room;
  (void)text;
#endif
  return nullptr;
}

}  // namespace

}  // namespace escape_detail

bool use_wide_escaping([[maybe_unused]] bool wanted) noexcept {
#if CORVANE_ESCAPE_AVX2
  return escape_detail::wide_steps.exchange(wanted && escape_detail::has_avx2,
                                           std::memory_order_relaxed);
#else
  return false;
#endif
}

void append_escaped(std::string_view text, OutputBuffer& out) {
  using namespace escape_detail;
  if (char* end = put_if_plain<EscapeContext::Text>(out.append_raw(kPlainRoom), text)) {
    out.commit(end);
    return;
  }
  append_escaped_blocks<EscapeContext::Text>(text, out);
}

namespace escape_detail {

char* put_plain_attribute_value(char* room, std::string_view value) noexcept {
  return put_if_plain<EscapeContext::Attribute>(room, value);
}

void append_escaped_attribute_value(std::string_view value, OutputBuffer& out) {
  append_escaped_blocks<EscapeContext::Attribute>(value, out);
}

}  // namespace escape_detail

}  // namespace corvane
