// Strict UTF-8 validation: the forms a lenient decoder lets through must fail.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace corvane
