// A copy of a short text of a length known only at run time (names, markup,
// attribute values) as at most two fixed-size moves instead of a call to
// memcpy, whose set-up costs more than the copy at these lengths.
#pragma once

#include <cstddef>
#include <cstring>

namespace corvane {

namespace short_copy_detail {

// The `n` bytes at `in` (Half <= n <= 2 * Half) as two fixed-size halves
// that overlap unless n is 2 * Half; both are read before either is written.
template <std::size_t Half>
inline void copy_halves(char* out, const char* in, std::size_t n) noexcept {
  char first[Half];
  char last[Half];
  std::memcpy(first, in, Half);
  std::memcpy(last, in + n - Half, Half);
  std::memcpy(out, first, Half);
  std::memcpy(out + n - Half, last, Half);
}

}  // namespace short_copy_detail

// Copies the `n` bytes at `in` to `out`; returns the end of the copy. Texts
// over 64 bytes go to memcpy.
inline char* copy_short(char* out, const char* in, std::size_t n) noexcept {
  using short_copy_detail::copy_halves;
  if (n <= 16) {
    if (n >= 8) {
      copy_halves<8>(out, in, n);
    } else if (n >= 4) {
      copy_halves<4>(out, in, n);
    } else if (n > 0) {
      const char first = in[0];
      const char middle = in[n / 2];
      const char last = in[n - 1];
      out[0] = first;
      out[n / 2] = middle;
      out[n - 1] = last;
    }
  } else if (n <= 32) {
    copy_halves<16>(out, in, n);
  } else if (n <= 64) {
    copy_halves<32>(out, in, n);
  } else {
    std::memcpy(out, in, n);
  }
  return out + n;
}

}  // namespace corvane
