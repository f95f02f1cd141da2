// Tests of the written forms of durations, timestamps and UUIDs, of UTF-8
// validation, and of the serializer's error texts.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "xml_write/serialize_error.hpp"
#include "xml_write/text_forms.hpp"
#include "xml_write/utf8.hpp"

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

struct TimeCase {
  std::uint64_t seconds;
  std::uint32_t nanos;
  std::string_view expected;
};

class TimeForm : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeForm, ThreeDigitsCorrectlyRounded) {
  EXPECT_EQ(time_text(GetParam().seconds, GetParam().nanos), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Durations, TimeForm,
    ::testing::Values(TimeCase{1, 500'000'000, "1.500"}, TimeCase{0, 0, "0.000"},
                      TimeCase{12, 345'678'901, "12.346"}, TimeCase{2, 62'500'000, "2.062"},
                      TimeCase{1, 999'500'000, "2.000"}, TimeCase{86'400, 0, "86400.000"},
                      // 0.0005 and 0.0015 are a hair above the tie as doubles.
                      TimeCase{0, 500'000, "0.001"}, TimeCase{0, 1'500'000, "0.002"},
                      // 0.0625 is exact: a true tie, to even.
                      TimeCase{0, 62'500'000, "0.062"}, TimeCase{0, 1, "0.000"},
                      TimeCase{0, 999'999'999, "1.000"}, TimeCase{0, 250'000'000, "0.250"},
                      TimeCase{9'007'199'254'740'992, 0, "9007199254740992.000"},
                      TimeCase{std::numeric_limits<std::uint64_t>::max(), 999'999'999,
                               "18446744073709551616.000"}));

// The integer shortcut in write_time must agree with the library's correctly
// rounded fixed formatting everywhere, including around ties and across the
// whole magnitude range.
TEST(TimeForm, AgreesWithLibraryFormattingOnRandomDurations) {
  std::mt19937_64 rng(20240506);
  for (int i = 0; i < 200'000; ++i) {
    const int magnitude = static_cast<int>(rng() % 65);
    const std::uint64_t seconds = magnitude == 0 ? 0 : rng() >> (64 - magnitude);
    // Half the nanosecond values sit on or near millisecond ties.
    std::uint32_t nanos = static_cast<std::uint32_t>(rng() % 1'000'000'000);
    if (i % 2 == 0) nanos = nanos / 1'000'000 * 1'000'000 + 500'000 + (i % 3) - 1;
    const double value = duration_seconds(Duration{seconds, nanos});
    char expected[64];
    const auto end =
        std::to_chars(expected, expected + sizeof expected, value, std::chars_format::fixed, 3).ptr;
    ASSERT_EQ(time_text(seconds, nanos), std::string_view(expected, end))
        << seconds << " s " << nanos << " ns";
  }
}

struct TimestampCase {
  const char* name;
  Timestamp timestamp;
  std::string_view attribute_form;
  std::string_view rfc3339_form;
};

class TimestampForms : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(TimestampForms, AttributeAndRfc3339) {
  const TimestampCase& c = GetParam();
  EXPECT_EQ(timestamp_text(c.timestamp), c.attribute_form);
  EXPECT_EQ(to_rfc3339(c.timestamp), c.rfc3339_form);
}

constexpr std::int64_t k20240506T070809Z = 1'714'979'289;
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(Timestamps, TimestampForms,
                         ::testing::Values(TimestampCase{"local_time_is_instant_plus_offset",
                                                         {1'714'972'089, 123'456'000, 7200},
                                                         "2024-05-06T07:08:09.123+02:00",
                                                         "2024-05-06T07:08:09.123456+02:00"},
                                           TimestampCase{"whole_second_utc",
                                                         {k20240506T070809Z, 0, 0},
                                                         "2024-05-06T07:08:09.000+00:00",
                                                         "2024-05-06T07:08:09+00:00"},
                                           TimestampCase{"whole_milliseconds",
                                                         {k20240506T070809Z, 120'000'000, 0},
                                                         "2024-05-06T07:08:09.120+00:00",
                                                         "2024-05-06T07:08:09.120+00:00"},
                                           TimestampCase{"nanoseconds_truncated_in_attribute",
                                                         {k20240506T070809Z, 123'456, 0},
                                                         "2024-05-06T07:08:09.000+00:00",
                                                         "2024-05-06T07:08:09.000123456+00:00"},
                                           TimestampCase{"whole_microseconds",
                                                         {k20240506T070809Z, 1'500'000, 0},
                                                         "2024-05-06T07:08:09.001+00:00",
                                                         "2024-05-06T07:08:09.001500+00:00"},
                                           TimestampCase{"millis_truncated_not_rounded",
                                                         {k20240506T070809Z, 999'999'999, 0},
                                                         "2024-05-06T07:08:09.999+00:00",
                                                         "2024-05-06T07:08:09.999999999+00:00"},
                                           TimestampCase{
                                               "offset_seconds_round_up_to_minute",
                                               {k20240506T070809Z, 0, 5 * 3600 + 30 * 60 + 30},
                                               "2024-05-06T12:38:39.000+05:31",
                                               "2024-05-06T12:38:39+05:31"},
                                           TimestampCase{"small_west_offset_keeps_minus",
                                                         {k20240506T070809Z, 0, -29},
                                                         "2024-05-06T07:07:40.000-00:00",
                                                         "2024-05-06T07:07:40-00:00"},
                                           TimestampCase{"thirty_seconds_west_rounds_away",
                                                         {k20240506T070809Z, 0, -30},
                                                         "2024-05-06T07:07:39.000-00:01",
                                                         "2024-05-06T07:07:39-00:01"},
                                           TimestampCase{"west_offset_crosses_midnight_backwards",
                                                         {1'704'069'000, 0, -3600},
                                                         "2023-12-31T23:30:00.000-01:00",
                                                         "2023-12-31T23:30:00-01:00"},
                                           TimestampCase{"largest_offset",
                                                         {0, 0, 86'399},
                                                         "1970-01-01T23:59:59.000+24:00",
                                                         "1970-01-01T23:59:59+24:00"},
                                           TimestampCase{"leap_second_shows_sixty",
                                                         {1'483'228'799, 1'500'000'000, 0},
                                                         "2016-12-31T23:59:60.500+00:00",
                                                         "2016-12-31T23:59:60.500+00:00"},
                                           TimestampCase{"leap_second_at_offset",
                                                         {1'483'228'799, 1'000'000'000, 3600},
                                                         "2017-01-01T00:59:60.000+01:00",
                                                         "2017-01-01T00:59:60+01:00"},
                                           TimestampCase{"before_the_epoch",
                                                         {-1, 999'000'000, 0},
                                                         "1969-12-31T23:59:59.999+00:00",
                                                         "1969-12-31T23:59:59.999+00:00"},
                                           TimestampCase{"year_zero",
                                                         {-62'167'219'200, 0, 0},
                                                         "0000-01-01T00:00:00.000+00:00",
                                                         "0000-01-01T00:00:00+00:00"},
                                           TimestampCase{"negative_year_signed_and_padded",
                                                         {-62'167'305'600, 0, 0},
                                                         "-0001-12-31T00:00:00.000+00:00",
                                                         "-0001-12-31T00:00:00+00:00"},
                                           TimestampCase{"year_ten_thousand_signed",
                                                         {253'402'300'800, 0, 0},
                                                         "+10000-01-01T00:00:00.000+00:00",
                                                         "+10000-01-01T00:00:00+00:00"},
                                           TimestampCase{"last_second_of_year_9999_at_offset",
                                                         {253'402'300'799 - 3600, 0, 3600},
                                                         "9999-12-31T23:59:59.000+01:00",
                                                         "9999-12-31T23:59:59+01:00"},
                                           TimestampCase{"largest_instant",
                                                         {kInt64Max, 0, 0},
                                                         "+292277026596-12-04T15:30:07.000+00:00",
                                                         "+292277026596-12-04T15:30:07+00:00"},
                                           TimestampCase{"smallest_instant",
                                                         {kInt64Min, 0, 0},
                                                         "-292277022657-01-27T08:29:52.000+00:00",
                                                         "-292277022657-01-27T08:29:52+00:00"},
                                           TimestampCase{"largest_instant_pushed_past_by_offset",
                                                         {kInt64Max, 0, 86'399},
                                                         "+292277026596-12-05T15:30:06.000+24:00",
                                                         "+292277026596-12-05T15:30:06+24:00"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Offsets outside a day cannot come from the reader, but the model does not
// forbid them: they must still be written without overflow or overrun.
TEST(TimestampForms, OutOfRangeFieldsStayWithinTheBuffer) {
  const Timestamp extremes[] = {
      {kInt64Min, 0xFFFF'FFFF, std::numeric_limits<std::int32_t>::min()},
      {kInt64Max, 0xFFFF'FFFF, std::numeric_limits<std::int32_t>::max()},
  };
  for (const Timestamp& ts : extremes) {
    EXPECT_LE(timestamp_text(ts).size(), kMaxTimestampLength);
    EXPECT_LE(to_rfc3339(ts).size(), kMaxTimestampLength);
  }
  EXPECT_EQ(to_rfc3339({0, 0, std::numeric_limits<std::int32_t>::min()}),
            "1901-12-13T20:45:52-596523:14");
}

TEST(UuidForm, LowercaseHexGrouped) {
  Uuid counting{};
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(format_uuid(counting), "00010203-0405-0607-0809-0a0b0c0d0e0f");
  Uuid high{};
  high.fill(0xAB);
  EXPECT_EQ(format_uuid(high), "abababab-abab-abab-abab-abababababab");
  EXPECT_EQ(format_uuid(Uuid{}).size(), kUuidLength);
}

struct Utf8Case {
  std::string_view bytes;
  bool valid;
};

class Utf8Validation : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validation, Classifies) {
  EXPECT_EQ(is_valid_utf8(GetParam().bytes), GetParam().valid);
  // The same sequence after a long ASCII run, past the word-at-a-time skip.
  const std::string padded = std::string(37, 'a') + std::string(GetParam().bytes) + "z";
  EXPECT_EQ(is_valid_utf8(padded), GetParam().valid);
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Validation,
    ::testing::Values(Utf8Case{"", true}, Utf8Case{"plain", true}, Utf8Case{"\xC3\xA9", true},
                      Utf8Case{"\xE2\x82\xAC", true}, Utf8Case{"\xF0\x9F\x98\x80", true},
                      Utf8Case{"\xF4\x8F\xBF\xBF", true}, Utf8Case{"\xEF\xBF\xBE", true},
                      Utf8Case{"\x00"sv, true}, Utf8Case{"\x80", false},
                      Utf8Case{"\xC0\x80", false}, Utf8Case{"\xC1\xBF", false},
                      Utf8Case{"\xE0\x80\x80", false}, Utf8Case{"\xED\xA0\x80", false},
                      Utf8Case{"\xF0\x80\x80\x80", false}, Utf8Case{"\xF4\x90\x80\x80", false},
                      Utf8Case{"\xF5\x80\x80\x80", false}, Utf8Case{"\xFF", false},
                      Utf8Case{"\xE2\x82", false},
                      Utf8Case{"\xC3"
                               "a",
                               false},
                      Utf8Case{"\xE2\x82"
                               "a",
                               false}));

TEST(Utf8Validation, CutOffSequenceAtTheVeryEnd) {
  EXPECT_FALSE(is_valid_utf8(std::string(40, 'a') + "\xF0\x9F\x98"));
  EXPECT_TRUE(is_valid_utf8(std::string(40, 'a') + "\xF0\x9F\x98\x80"));
}

TEST(SerializeError, FixedTextAndACauseTextForEveryKind) {
  for (std::size_t k = 0; k < kSerializeErrorKindCount; ++k) {
    const auto kind = static_cast<SerializeErrorKind>(k);
    EXPECT_FALSE(describe(kind).empty()) << k;
    for (std::size_t other = 0; other < k; ++other) {
      EXPECT_NE(describe(kind), describe(static_cast<SerializeErrorKind>(other)));
    }
  }
  const SerializeError io = IoError{"disk full"};
  const SerializeError encoding = SerializeError::encoding();
  EXPECT_EQ(io.message(), "error serializing JUnit report");
  EXPECT_EQ(encoding.message(), "error serializing JUnit report");
  EXPECT_EQ(io.cause(), SerializeErrorKind::Io);
  EXPECT_EQ(io.cause_message(), "disk full");
  EXPECT_EQ(encoding.cause(), SerializeErrorKind::Encoding);
  EXPECT_EQ(encoding.cause_message(), describe(SerializeErrorKind::Encoding));
}

}  // namespace
}  // namespace corvane
