// The reader's byte search: the block-wise path must find what a plain scan
// finds, wherever the byte lies relative to the sixteen-byte blocks, the
// start of the search and the end of the text.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "xml_read/xml_bytes.hpp"

namespace corvane {
namespace {

std::size_t plain_find(std::string_view text, std::size_t from, std::string_view bytes) {
  const std::size_t found = text.find_first_of(bytes, from);
  return found == std::string_view::npos ? text.size() : found;
}

TEST(FindAny, AgreesWithAPlainScanAtEveryPosition) {
  for (std::size_t size = 0; size <= 40; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {  // at == size: no needle
      for (char needle : {'"', '>', '\''}) {
        // A second, later needle must not be found first.
        std::string text(size, 'x');
        if (at < size) text[at] = needle;
        if (at + 5 < size) text[at + 5] = '>';
        for (std::size_t from = 0; from <= size; ++from) {
          const std::size_t expected = plain_find(text, from, "\">'");
          ASSERT_EQ((xml_bytes::find_any<'"', '>', '\''>(text, from)), expected)
              << "size " << size << ", needle at " << at << ", from " << from;
          ASSERT_EQ(xml_bytes::find_any<'"'>(text, from), plain_find(text, from, "\""))
              << "size " << size << ", needle at " << at << ", from " << from;
        }
      }
    }
  }
}

// A search within a view must neither see bytes past its end nor report
// bytes before `from`, even where the block loads reach into them.
TEST(FindAny, StaysWithinTheViewAndAfterFrom) {
  const std::string buffer = std::string(20, '"') + std::string(20, 'x') + std::string(20, '"');
  const std::string_view middle(buffer.data() + 20, 20);
  EXPECT_EQ(xml_bytes::find_any<'"'>(middle, 0), 20u);
  EXPECT_EQ(xml_bytes::find_any<'"'>(middle, 7), 20u);
  const std::string_view head(buffer.data(), 30);
  EXPECT_EQ(xml_bytes::find_any<'"'>(head, 22), 30u);
  EXPECT_EQ(xml_bytes::find_any<'"'>(head, 19), 19u);
}

bool plain_is_plain(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x80 || byte == '&') return false;
  }
  return true;
}

// Each byte that makes a value need work (and the edges of what does not)
// at every position of texts of every length around the block size.
TEST(PlainAsciiWithoutReferences, AgreesWithAPlainScanAtEveryPosition) {
  for (std::size_t size = 0; size <= 72; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {  // at == size: nothing placed
      for (const char placed : {'&', '\x1f', '\n', '\x80', '\xff', '\x7f', ' ', '~'}) {
        std::string text(size, 'x');
        if (at < size) text[at] = placed;
        ASSERT_EQ(xml_bytes::is_plain_ascii_without_references(text), plain_is_plain(text))
            << "size " << size << ", byte " << int(static_cast<unsigned char>(placed)) << " at "
            << at;
      }
    }
  }
}

// Bytes just outside the view, where the block loads reach, do not count.
TEST(PlainAsciiWithoutReferences, LooksOnlyWithinTheView) {
  const std::string buffer = std::string(20, '&') + std::string(20, 'x') + std::string(20, '&');
  EXPECT_TRUE(xml_bytes::is_plain_ascii_without_references(std::string_view(buffer).substr(20, 20)));
  EXPECT_TRUE(xml_bytes::is_plain_ascii_without_references(std::string_view(buffer).substr(23, 9)));
  EXPECT_FALSE(xml_bytes::is_plain_ascii_without_references(std::string_view(buffer).substr(19, 21)));
}

// The block test of skip_plain_name stops where the byte rule
// ends_plain_name does: every byte value at every position of names of
// every length around the block size, the input ending in a '>'.
TEST(SkipPlainName, AgreesWithTheByteRuleAtEveryPosition) {
  for (std::size_t size = 1; size <= 40; ++size) {
    for (std::size_t at = 0; at < size; ++at) {
      for (int byte = 0; byte < 256; ++byte) {
        std::string text(size, 'n');
        text[at] = static_cast<char>(byte);
        text += '>';
        std::size_t expected = 0;
        while (!xml_bytes::ends_plain_name(text[expected])) ++expected;
        ASSERT_EQ(xml_bytes::skip_plain_name(text.data(), text.data() + text.size()) - text.data(),
                  static_cast<std::ptrdiff_t>(expected))
            << "size " << size << ", byte " << byte << " at " << at;
      }
    }
  }
}

}  // namespace
}  // namespace corvane
