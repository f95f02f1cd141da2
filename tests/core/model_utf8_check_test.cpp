// Strict UTF-8 validation: the forms a lenient decoder lets through must fail.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "model/utf8_check.hpp"

namespace corvane {
namespace {

struct Utf8Case {
  std::string_view bytes;
  bool valid;
};

constexpr Utf8Case kCases[] = {
    {"", true},
    {"plain ascii", true},
    {"\xc3\xa9", true},                      // U+00E9
    {"\xe2\x82\xac", true},                  // U+20AC
    {"\xef\xbf\xbf", true},                  // U+FFFF
    {"\xf0\x9d\x84\x9e", true},              // U+1D11E
    {"\xf4\x8f\xbf\xbf", true},              // U+10FFFF
    {"abcdefghijklmnop\xe2\x82\xac", true},  // past the eight-byte ASCII stride
    {"\x80", false},                         // lone continuation byte
    {"\xc0\x80", false},                     // overlong NUL
    {"\xc1\xbf", false},                     // overlong
    {"\xe0\x80\xaf", false},                 // overlong
    {"\xf0\x8f\xbf\xbf", false},             // overlong
    {"\xed\xa0\x80", false},                 // surrogate U+D800
    {"\xed\xbf\xbf", false},                 // surrogate U+DFFF
    {"\xf4\x90\x80\x80", false},             // above U+10FFFF
    {"\xf5\x80\x80\x80", false},
    {"\xff", false},
    {"\xe2\x82", false},  // truncated at the end
    {"abcdefgh\xe2\x82", false},
    {"\xe2\x28\xa1", false},  // bad continuation byte
    {"\xf0\x9d\x84\x20", false},
    {"abcdefg\x80zzzzzzzz", false},  // inside an eight-byte word
};

TEST(Utf8Check, Cases) {
  for (const auto& [bytes, valid] : kCases) {
    EXPECT_EQ(is_valid_utf8(bytes), valid) << testing::PrintToString(std::string(bytes));
  }
}

// The ASCII strides (64, 32 and 8 bytes) must hand every sequence they stop
// at, wherever it falls in a block, to the decoder.
TEST(Utf8Check, SequenceAtEveryPositionOfLongAsciiRuns) {
  const std::pair<std::string_view, bool> kSequences[] = {
      {"\xe2\x82\xac", true}, {"\x80", false}, {"\xed\xa0\x80", false}};
  for (std::size_t size = 0; size <= 140; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {
      for (const auto& [sequence, valid] : kSequences) {
        std::string bytes(size, 'a');
        bytes.insert(at, sequence);
        ASSERT_EQ(is_valid_utf8(bytes), valid) << size << " " << at << " " << valid;
      }
    }
    // Cut short at the very end of a run.
    ASSERT_FALSE(is_valid_utf8(std::string(size, 'a') + "\xf0\x9d\x84")) << size;
  }
}

}  // namespace
}  // namespace corvane
