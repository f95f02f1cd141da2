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

}  // namespace
}  // namespace corvane
