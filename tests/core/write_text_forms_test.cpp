// Tests of the written forms of durations, timestamps and UUIDs, of UTF-8
// validation, and of the serializer's error texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "model/utf8_check.hpp"
#include "xml_write/serialize_error.hpp"
#include "xml_write/text_forms.hpp"

namespace corvane {
namespace {

std::string time_text(std::uint64_t seconds, std::uint32_t nanos) {
  char buffer[kMaxTimeLength];
  return std::string(buffer, write_time(buffer, Duration{seconds, nanos}));
}

std::string timestamp_text(const Timestamp& ts) {
  char buffer[kMaxTimestampLength];
  return std::string(buffer, write_timestamp(buffer, ts));
}

TEST(TimeForm, ThreeDigitsCorrectlyRounded) {
  struct Case {
    std::uint64_t seconds;
    std::uint32_t nanos;
    std::string_view expected;
  };
  // clang-format off
  const Case cases[] = {
      {1, 500'000'000, "1.500"}, {0, 0, "0.000"}, {12, 345'678'901, "12.346"},
      {2, 62'500'000, "2.062"}, {1, 999'500'000, "2.000"}, {86'400, 0, "86400.000"},
      // 0.0005 and 0.0015 are a hair above the tie as doubles; 0.0625 is an
      // exact tie and goes to even.
      {0, 500'000, "0.001"}, {0, 1'500'000, "0.002"}, {0, 62'500'000, "0.062"},
      {0, 1, "0.000"}, {0, 999'999'999, "1.000"}, {0, 499'998, "0.000"}, {0, 500'002, "0.001"},
      {3, 999'500'002, "4.000"}, {1'048'575, 999'999'999, "1048576.000"},
      // Nothing is written beyond the longest duration reading accepts, not
      // even when a duration just below it rounds up as a double.
      {86'399'999'999'999, 0, "86399999999999.000"},
      {86'399'999'999'999, 999'999'000, "86399999999999.984"},
      {std::numeric_limits<std::uint64_t>::max(), 999'999'999, "86399999999999.984"}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(time_text(c.seconds, c.nanos), c.expected) << c.seconds << " s " << c.nanos;
  }
}

// The integer shortcut in write_time must agree with the library's correctly
// rounded fixed formatting, around ties and across the whole range.
TEST(TimeForm, AgreesWithLibraryFormattingOnRandomDurations) {
  std::mt19937_64 rng(20240506);
  for (int i = 0; i < 200'000; ++i) {
    const int magnitude = static_cast<int>(rng() % 65);
    std::uint64_t seconds = magnitude == 0 ? 0 : rng() >> (64 - magnitude);
    auto nanos = static_cast<std::uint32_t>(rng() % 1'000'000'000);
    if (i % 2 == 0) nanos = nanos / 1'000'000 * 1'000'000 + 500'000 + (i % 7) - 3;
    if (i % 5 == 0) seconds %= std::uint64_t{1} << 21;  // the integer path and its edge
    char expected[64];
    const double longest = std::nextafter(static_cast<double>(kMaxDurationSeconds + 1), 0.0);
    const auto end = std::to_chars(expected, expected + sizeof expected,
                                   std::min(duration_seconds(Duration{seconds, nanos}), longest),
                                   std::chars_format::fixed, 3)
                         .ptr;
    ASSERT_EQ(time_text(seconds, nanos), std::string_view(expected, end))
        << seconds << " s " << nanos << " ns";
  }
}

constexpr std::int64_t k20240506T070809Z = 1'714'979'289;
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

TEST(TimestampForms, AttributeAndRfc3339) {
  struct Case {
    Timestamp ts;
    std::string_view attribute;  // the serializer's form
    std::string_view rfc3339;
  };
  const Case cases[] = {
      {{1'714'972'089, 123'456'000, 7200},  // local = instant + offset
       "2024-05-06T07:08:09.123+02:00",
       "2024-05-06T07:08:09.123456+02:00"},
      {{k20240506T070809Z, 0, 0}, "2024-05-06T07:08:09.000+00:00", "2024-05-06T07:08:09+00:00"},
      {{k20240506T070809Z, 120'000'000, 0},
       "2024-05-06T07:08:09.120+00:00",
       "2024-05-06T07:08:09.120+00:00"},
      {{k20240506T070809Z, 123'456, 0},
       "2024-05-06T07:08:09.000+00:00",
       "2024-05-06T07:08:09.000123456+00:00"},
      {{k20240506T070809Z, 1'500'000, 0},
       "2024-05-06T07:08:09.001+00:00",
       "2024-05-06T07:08:09.001500+00:00"},
      {{k20240506T070809Z, 999'999'999, 0},
       "2024-05-06T07:08:09.999+00:00",
       "2024-05-06T07:08:09.999999999+00:00"},
      // Offsets round to the nearest minute; west keeps its sign even at zero.
      {{k20240506T070809Z, 0, 5 * 3600 + 30 * 60 + 30},
       "2024-05-06T12:38:39.000+05:31",
       "2024-05-06T12:38:39+05:31"},
      {{k20240506T070809Z, 0, -29}, "2024-05-06T07:07:40.000-00:00", "2024-05-06T07:07:40-00:00"},
      {{k20240506T070809Z, 0, -30}, "2024-05-06T07:07:39.000-00:01", "2024-05-06T07:07:39-00:01"},
      {{1'704'069'000, 0, -3600}, "2023-12-31T23:30:00.000-01:00", "2023-12-31T23:30:00-01:00"},
      {{0, 0, 86'399}, "1970-01-01T23:59:59.000+24:00", "1970-01-01T23:59:59+24:00"},
      // A leap second: second 59 with an extra second of nanoseconds.
      {{1'483'228'799, 1'500'000'000, 0},
       "2016-12-31T23:59:60.500+00:00",
       "2016-12-31T23:59:60.500+00:00"},
      {{1'483'228'799, 1'000'000'000, 3600},
       "2017-01-01T00:59:60.000+01:00",
       "2017-01-01T00:59:60+01:00"},
      {{-1, 999'000'000, 0}, "1969-12-31T23:59:59.999+00:00", "1969-12-31T23:59:59.999+00:00"},
      // Years outside 0..9999 carry a sign and at least four digits.
      {{-62'167'219'200, 0, 0}, "0000-01-01T00:00:00.000+00:00", "0000-01-01T00:00:00+00:00"},
      {{-62'167'305'600, 0, 0}, "-0001-12-31T00:00:00.000+00:00", "-0001-12-31T00:00:00+00:00"},
      {{253'402'300'800, 0, 0}, "+10000-01-01T00:00:00.000+00:00", "+10000-01-01T00:00:00+00:00"},
      {{253'402'300'799 - 3600, 0, 3600},
       "9999-12-31T23:59:59.000+01:00",
       "9999-12-31T23:59:59+01:00"},
      {{kInt64Max, 0, 0},
       "+292277026596-12-04T15:30:07.000+00:00",
       "+292277026596-12-04T15:30:07+00:00"},
      {{kInt64Min, 0, 0},
       "-292277022657-01-27T08:29:52.000+00:00",
       "-292277022657-01-27T08:29:52+00:00"},
      {{kInt64Max, 0, 86'399},
       "+292277026596-12-05T15:30:06.000+24:00",
       "+292277026596-12-05T15:30:06+24:00"},
      // Offsets beyond a day never come from the reader; still no overflow.
      {{0, 0, std::numeric_limits<std::int32_t>::min()},
       "1901-12-13T20:45:52.000-596523:14",
       "1901-12-13T20:45:52-596523:14"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(timestamp_text(c.ts), c.attribute);
    EXPECT_EQ(to_rfc3339(c.ts), c.rfc3339);
  }
  for (const Timestamp ts : {Timestamp{kInt64Min, 0xFFFF'FFFF, -0x7FFF'FFFF - 1},
                             Timestamp{kInt64Max, 0xFFFF'FFFF, 0x7FFF'FFFF}}) {
    EXPECT_LE(timestamp_text(ts).size(), kMaxTimestampLength);
    EXPECT_LE(to_rfc3339(ts).size(), kMaxTimestampLength);
  }
}

TEST(UuidForm, LowercaseHexGrouped) {
  Uuid counting{};
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(format_uuid(counting), "00010203-0405-0607-0809-0a0b0c0d0e0f");
  Uuid high{};
  high.fill(0xAB);
  EXPECT_EQ(format_uuid(high), "abababab-abab-abab-abab-abababababab");
}

TEST(Utf8Validation, Classifies) {
  using namespace std::string_view_literals;
  struct Case {
    std::string_view bytes;
    bool valid;
  };
  // clang-format off
  const Case cases[] = {
      {"", true}, {"plain", true}, {"\xC3\xA9", true}, {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x98\x80", true}, {"\xF4\x8F\xBF\xBF", true}, {"\xEF\xBF\xBE", true},
      {"\x00"sv, true}, {"\x80", false}, {"\xC0\x80", false}, {"\xC1\xBF", false},
      {"\xE0\x80\x80", false}, {"\xED\xA0\x80", false}, {"\xF0\x80\x80\x80", false},
      {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false}, {"\xFF", false},
      {"\xE2\x82", false}, {"\xC3" "a", false}, {"\xE2\x82" "a", false}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
    // After a long ASCII run, past the word-at-a-time skip, and at the very end.
    const std::string after = std::string(37, 'a') + std::string(c.bytes);
    EXPECT_EQ(is_valid_utf8(after), c.valid) << testing::PrintToString(c.bytes);
    EXPECT_EQ(is_valid_utf8(after + "z"), c.valid) << testing::PrintToString(c.bytes);
  }
}

TEST(SerializeError, FixedText) {
  EXPECT_EQ(SerializeError::encoding().message(), "error serializing JUnit report");
}

}  // namespace
}  // namespace corvane
