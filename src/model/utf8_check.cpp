// Strict UTF-8 validation. Attribute values and text are almost always ASCII,
// so runs of ASCII are skipped a word or four at a time before decoding.
#include "model/utf8_check.hpp"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

bool is_valid_utf8(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* const end = p + bytes.size();
  while (p != end) {
    // Whole documents are checked too, so long ASCII runs go 128 bytes a
    // step (the top bits of eight blocks, or-ed, gathered by one movemask),
    // then 64.
#if defined(__SSE2__)
    const auto any_high = [](const unsigned char* at) {
      const auto* block = reinterpret_cast<const __m128i*>(at);
      return _mm_or_si128(_mm_or_si128(_mm_loadu_si128(block), _mm_loadu_si128(block + 1)),
                          _mm_or_si128(_mm_loadu_si128(block + 2), _mm_loadu_si128(block + 3)));
    };
    while (end - p >= 128 && _mm_movemask_epi8(_mm_or_si128(any_high(p), any_high(p + 64))) == 0) {
      p += 128;
    }
    while (end - p >= 64 && _mm_movemask_epi8(any_high(p)) == 0) p += 64;
#endif
    while (end - p >= 32) {
      std::uint64_t words[4];
      std::memcpy(words, p, sizeof words);
      if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) != 0) break;
      p += 32;
    }
    if (p == end) break;
    if (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if ((word & 0x8080808080808080ULL) == 0) {
        p += 8;
        continue;
      }
    }
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    // The second byte's allowed range depends on the lead byte: this is what
    // rules out overlong forms, surrogates and values above U+10FFFF.
    int length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (end - p < length) return false;
    if (p[1] < low || p[1] > high) return false;
    for (int i = 2; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
    }
    p += length;
  }
  return true;
}

}  // namespace corvane
