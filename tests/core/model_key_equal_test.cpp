// Key equality compares short keys in overlapping word loads: it must agree
// with plain equality at every length and wherever the keys differ.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "model/key_equal.hpp"

namespace corvane {
namespace {

TEST(KeysEqual, AgreesWithPlainEqualityAtEveryLengthAndPosition) {
  for (std::size_t size = 0; size <= 24; ++size) {
    const std::string key(size, 'k');
    // Views into larger buffers: no load may read the bytes around them.
    const std::string padded = "<" + key + ">";
    const std::string_view a(padded.data() + 1, size);
    EXPECT_TRUE(keys_equal(a, key)) << "size " << size;
    EXPECT_FALSE(keys_equal(a, key + "k")) << "size " << size;
    for (std::size_t at = 0; at < size; ++at) {
      std::string other = "=" + key + "=";
      other[at + 1] = 'j';
      EXPECT_FALSE(keys_equal(a, std::string_view(other.data() + 1, size)))
          << "size " << size << ", differing at " << at;
    }
  }
}

}  // namespace
}  // namespace corvane
