// Attribute value parsers: the accepted grammars, the converted values
// (exact nanosecond rounding, UTC instants, UUID bytes) and the error texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/xml_string.hpp"
#include "xml_read/escape.hpp"
#include "xml_read/value_parsers.hpp"

namespace corvane {
namespace {

// ---- integers ---------------------------------------------------------------

constexpr std::string_view kEmpty = "cannot parse integer from empty string";
constexpr std::string_view kDigit = "invalid digit found in string";
constexpr std::string_view kLarge = "number too large to fit in target type";

struct IntegerCase {
  std::string_view text;
  std::uint64_t value;      // when `reason` is empty
  std::string_view reason;  // expected failure
};

constexpr IntegerCase kIntegerCases[] = {
    {"0", 0, {}},
    {"+5", 5, {}},
    {"18446744073709551615", 18446744073709551615u, {}},
    {"0000000000000000000000000000018446744073709551615", 18446744073709551615u, {}},
    {"", 0, kEmpty},
    {"+", 0, kDigit},
    {"-", 0, kDigit},
    {"-0", 0, kDigit},
    {"++5", 0, kDigit},
    {"5 ", 0, kDigit},
    {" 5", 0, kDigit},
    {"&#53;", 0, kDigit},
    {"\xd9\xa1", 0, kDigit},  // ARABIC-INDIC DIGIT ONE
    {"18446744073709551616", 0, kLarge},
    {"184467440737095516150", 0, kLarge},
    // The first problem met from the left decides.
    {"18446744073709551616x", 0, kLarge},
    {"x18446744073709551616", 0, kDigit},
};

TEST(ParseInteger, Grammar) {
  for (const auto& c : kIntegerCases) {
    const auto result = parse_u64_reason(c.text);
    if (c.reason.empty()) {
      ASSERT_TRUE(result.has_value()) << c.text;
      EXPECT_EQ(*result, c.value) << c.text;
    } else {
      ASSERT_FALSE(result.has_value()) << c.text;
      EXPECT_EQ(result.error(), c.reason) << c.text;
    }
  }
}

// ---- durations --------------------------------------------------------------

struct DurationCase {
  std::string_view text;
  std::optional<Duration> expected;  // none: rejected
};

const DurationCase kDurationCases[] = {
    {"1.5", Duration{1, 500'000'000}},
    // Milliseconds below ten seconds, read without a loop, and shapes near it.
    {"9.058", Duration{9, 58'000'000}},
    {"0.000", Duration{0, 0}},
    {"1.2e1", Duration{12, 0}},
    {"1.0:5", std::nullopt},
    {"/.125", std::nullopt},
    {"1e-10", Duration{0, 0}},
    {"-0", Duration{0, 0}},
    {".5", Duration{0, 500'000'000}},
    {"5.", Duration{5, 0}},
    {"+2", Duration{2, 0}},
    {"1E3", Duration{1000, 0}},
    {"2.5e-1", Duration{0, 250'000'000}},
    {"123.456789012", Duration{123, 456'789'012}},
    {"000000000000000000000000000001.5", Duration{1, 500'000'000}},
    // Rounding is on the exact binary value of the nearest double: 5e-10 is
    // held slightly above 0.5 ns, 1.5e-9 slightly below 1.5 ns, 2.5e-9 above.
    {"0.0000000005", Duration{0, 1}},
    {"0.0000000015", Duration{0, 1}},
    {"0.0000000025", Duration{0, 3}},
    // 1/1024 s and 3/1024 s are exact ties (976562.5 ns, 2929687.5 ns): to even.
    {"0.0009765625", Duration{0, 976'562}},
    {"0.0029296875", Duration{0, 2'929'688}},
    // Rounding up to a whole second carries.
    {"0.9999999999", Duration{1, 0}},
    // The longest duration a Python timedelta holds is the limit: the largest
    // double below the first second beyond it reads, that second does not.
    {"86399999999999.984", Duration{86'399'999'999'999, 984'375'000}},
    {"86399999999999.999", std::nullopt},
    {"86400000000000", std::nullopt},
    {"1e19", std::nullopt},
    // Too small for a double: zero, whatever the sign.
    {"1e-400", Duration{0, 0}},
    {"-1e-400", Duration{0, 0}},
    {"0e999999999999999999999", Duration{0, 0}},
    {"-1", std::nullopt},
    {"-1e-10", std::nullopt},
    {"NaN", std::nullopt},
    {"inf", std::nullopt},
    {"Infinity", std::nullopt},
    {"1,5", std::nullopt},
    {" 1", std::nullopt},
    {"1 ", std::nullopt},
    {"", std::nullopt},
    {".", std::nullopt},
    {"e5", std::nullopt},
    {"1e", std::nullopt},
    {"+-1", std::nullopt},
    {"0x10", std::nullopt},
    {"1.5.", std::nullopt},
    {"1e5.5", std::nullopt},
    {"18446744073709551615", std::nullopt},  // rounds to 2^64
    {"1e20", std::nullopt},
    {"1e400", std::nullopt},
    {"0.0000000000000000001e999999999999", std::nullopt},
};

TEST(ParseDuration, GrammarAndRounding) {
  for (const auto& [text, expected] : kDurationCases) {
    EXPECT_EQ(parse_duration_text(text), expected) << text;
  }
}

// Plain decimals take a shortcut past the float conversion; an exponent sends
// the same number through the general path, which must agree with it, at the
// edges of the shortcut's reach and on random values within it.
TEST(ParseDuration, ShortDecimalsAgreeWithTheGeneralPath) {
  std::vector<std::string> texts = {"0",           "7",          "0.",         ".5",
                                    "000000.1",    "999999",     "999999.999999999",
                                    "1000000.5",   "0.000000001", "0.0000000015",
                                    "123.4567891", "4194303.999999999"};
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 20'000; ++i) {
    const int fraction_digits = static_cast<int>(random() % 11);
    std::string text = std::to_string(random() % 1'000'000);
    if (fraction_digits > 0) {
      text += '.';
      for (int d = 0; d < fraction_digits - 1; ++d) text += static_cast<char>('0' + random() % 10);
    }
    texts.push_back(std::move(text));
  }
  for (const std::string& text : texts) {
    const auto short_form = parse_duration_text(text);
    ASSERT_TRUE(short_form.has_value()) << text;
    EXPECT_EQ(short_form, parse_duration_text(text + "e0")) << text;
  }
  EXPECT_EQ(parse_duration_text("0.158"), (Duration{0, 158'000'000}));
  EXPECT_EQ(parse_duration_text("999999.999999999"), (Duration{999'999, 999'999'999}));
}

// ---- timestamps -------------------------------------------------------------

struct TimestampCase {
  std::string_view text;
  std::optional<Timestamp> expected;  // none: rejected
};

const TimestampCase kTimestampCases[] = {
    {"2024-02-29T12:00:00Z", Timestamp{1'709'208'000, 0, 0}},
    {"2024-02-29 12:00:00.123456789123+05:30", Timestamp{1'709'188'200, 123'456'789, 19'800}},
    {"2024-02-29t12:00:00z", Timestamp{1'709'208'000, 0, 0}},
    // Leap seconds and the year 0000 have no Python datetime.
    {"2024-06-30T23:59:60Z", std::nullopt},
    {"2012-01-01T00:00:60+01:00", std::nullopt},
    {"0000-12-31T23:59:59-05:00", std::nullopt},
    {"2024-02-29T12:00:00.999999999999Z", Timestamp{1'709'208'000, 999'999'999, 0}},
    {"2024-02-29T12:00:00-00:00", Timestamp{1'709'208'000, 0, 0}},
    {"2024-02-29T12:00:00-05:00", Timestamp{1'709'226'000, 0, -18'000}},
    {"2024-02-29T12:00:00\xe2\x88\x92"
     "05:00",
     Timestamp{1'709'226'000, 0, -18'000}},
    {"2024-02-29T12:00:00+23:59", Timestamp{1'709'121'660, 0, 86'340}},
    {"2000-02-29T00:00:00Z", Timestamp{951'782'400, 0, 0}},
    {"0001-01-01T00:00:00+23:59", Timestamp{-62'135'683'140, 0, 86'340}},
    {"9999-12-31T23:59:59.999999999-23:59", Timestamp{253'402'387'139, 999'999'999, -86'340}},
    {"2023-02-29T12:00:00Z", std::nullopt},
    {"1900-02-29T00:00:00Z", std::nullopt},
    {"2024-04-31T00:00:00Z", std::nullopt},
    {"2024-13-01T00:00:00Z", std::nullopt},
    {"2024-01-00T00:00:00Z", std::nullopt},
    {"2024-02-29T12:00:00", std::nullopt},
    {"2024-02-29T12:00:00+0530", std::nullopt},
    {"2024-02-29T12:00:00+5:30", std::nullopt},
    {"2024-02-29T12:00:00+05:30:00", std::nullopt},
    {"2024-02-29T24:00:00Z", std::nullopt},
    {"2024-02-29T12:60:00Z", std::nullopt},
    {"2024-02-29T12:00:61Z", std::nullopt},
    {"2024-02-29T12:00:00+24:00", std::nullopt},
    {"2024-02-29T12:00:00+05:60", std::nullopt},
    {"2024-02-29T12:00:00\xe2\x80\x90"
     "05:00",
     std::nullopt},                                 // U+2010 HYPHEN
    {"2024-02-29T12:00:00\xe2\x88", std::nullopt},  // cut-off minus sign
    {"2024-02-29T12:00:00Z ", std::nullopt},
    {" 2024-02-29T12:00:00Z", std::nullopt},
    {"2024-02-29T12:00:00ZZ", std::nullopt},
    {"2024-02-29T12:00:00.Z", std::nullopt},
    {"2024-02-29_12:00:00Z", std::nullopt},
    {"2024-02-29T12:00Z", std::nullopt},
    {"2024-02-29T1:00:00Z", std::nullopt},
    {"+2024-02-29T12:00:00Z", std::nullopt},
    {"", std::nullopt},
};

TEST(ParseTimestamp, Rfc3339) {
  for (const auto& [text, expected] : kTimestampCases) {
    EXPECT_EQ(parse_timestamp_text(text), expected) << text;
  }
}

// ---- UUIDs ------------------------------------------------------------------

constexpr Uuid kZero{};
constexpr Uuid kDigits{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                       0xab, 0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89};

struct UuidCase {
  std::string_view text;
  std::optional<Uuid> expected;
  std::string_view error;  // when `expected` is none
};

const UuidCase kUuidCases[] = {
    {"00000000-0000-0000-0000-000000000000", kZero, {}},
    {"{00000000-0000-0000-0000-000000000000}", kZero, {}},
    {"urn:uuid:00000000-0000-0000-0000-000000000000", kZero, {}},
    {"0123456789abcdefABCDEF0123456789", kDigits, {}},
    {"01234567-89AB-CDEF-abcd-ef0123456789", kDigits, {}},
    {"", std::nullopt, "invalid length: expected length 32 for simple format, found 0"},
    {"0000000000000000000000000000000", std::nullopt,
     "invalid length: expected length 32 for simple format, found 31"},
    {"000000000000000000000000000000000", std::nullopt,
     "invalid length: expected length 32 for simple format, found 33"},
    {"00000000-0000-0000-0000-00000000000G", std::nullopt, "invalid character: found `G` at 36"},
    {"{00000000-0000-0000-0000-00000000000G}", std::nullopt, "invalid character: found `G` at 37"},
    {"urn:uuid:0000000g", std::nullopt, "invalid character: found `g` at 17"},
    {"URN:UUID:00000000-0000-0000-0000-000000000000", std::nullopt,
     "invalid character: found `U` at 1"},
    {"{00000000-0000-0000-0000-000000000000", std::nullopt, "invalid character: found `{` at 1"},
    {"0000000\xc3\xa9", std::nullopt, "invalid character: found `\xc3\xa9` at 8"},
    {"0123456789abcdef0123456789abcdeg", std::nullopt, "invalid character: found `g` at 32"},
    {"{0123456789abcdefABCDEF0123456789}", std::nullopt,
     "invalid group count: expected 5, found 1"},
    {"urn:uuid:", std::nullopt, "invalid group count: expected 5, found 1"},
    {"-", std::nullopt, "invalid group count: expected 5, found 2"},
    {"00000000-0000-0000-0000", std::nullopt, "invalid group count: expected 5, found 4"},
    {"00000000-0000-0000-0000-000000000000-", std::nullopt,
     "invalid group count: expected 5, found 6"},
    {"0000000-00000-0000-0000-000000000000", std::nullopt,
     "invalid group length in group 0: expected 8, found 7"},
    {"00000000-000-00000-0000-000000000000", std::nullopt,
     "invalid group length in group 1: expected 4, found 3"},
    {"00000000-0000-00000-000-000000000000", std::nullopt,
     "invalid group length in group 2: expected 4, found 5"},
    {"00000000-0000-0000-00000-00000000000", std::nullopt,
     "invalid group length in group 3: expected 4, found 5"},
    {"00000000-0000-0000-0000-0000000000000", std::nullopt,
     "invalid group length in group 4: expected 12, found 13"},
    {"00000000-0000-0000-0000-00000000000", std::nullopt,
     "invalid group length in group 4: expected 12, found 11"},
    // The last group's length is counted over the whole input, braces included.
    {"{00000000-0000-0000-0000-0000000000000}", std::nullopt,
     "invalid group length in group 4: expected 12, found 15"},
};

TEST(ParseUuid, FormsAndErrors) {
  for (const auto& c : kUuidCases) {
    const auto result = parse_uuid_text(c.text);
    if (c.expected) {
      ASSERT_TRUE(result.has_value()) << c.text << ": " << result.error();
      EXPECT_EQ(*result, *c.expected) << c.text;
    } else {
      ASSERT_FALSE(result.has_value()) << c.text;
      EXPECT_EQ(result.error(), c.error) << c.text;
    }
  }
}

// ---- attribute parsers: values, paths and composed messages ----------------

ElementPath case_path() {
  return {PathElement(PathStep::TestSuites), PathElement::test_suite(0, XmlString("unit")),
          PathElement::test_case(1)};
}

template <typename T>
std::string error_text(const std::expected<T, DeserializeError>& result) {
  return result.has_value() ? std::string("<no error>") : result.error().text();
}

TEST(AttributeParsers, ValuesPassThrough) {
  const ElementPath path = case_path();
  EXPECT_EQ(parse_usize("+5", path, "tests"), 5u);
  EXPECT_EQ(parse_duration("1.5", path, "time"), (Duration{1, 500'000'000}));
  EXPECT_EQ(parse_timestamp("2024-02-29T12:00:00Z", path, "timestamp"),
            (Timestamp{1'709'208'000, 0, 0}));
  EXPECT_EQ(parse_uuid("{00000000-0000-0000-0000-000000000000}", path, "uuid"), kZero);
}

struct MessageCase {
  std::string_view label;
  std::string actual;
  std::string_view expected;
};

TEST(AttributeParsers, ErrorMessages) {
  const ElementPath path = case_path();
  const ElementPath root = {PathElement(PathStep::TestSuites)};
  const MessageCase cases[] = {
      {"duration", error_text(parse_duration("1,5", path, "time")),
       R"(at testsuites/testsuite[0]("unit")/testcase[1]/@time: invalid duration: 1,5)"},
      {"integer", error_text(parse_usize("-0", root, "tests")),
       "at testsuites/@tests: invalid integer: invalid digit found in string"},
      {"timestamp", error_text(parse_timestamp("2024-02-29T12:00:00", root, "timestamp")),
       "at testsuites/@timestamp: invalid timestamp: 2024-02-29T12:00:00"},
      {"uuid", error_text(parse_uuid("x", root, "uuid")),
       "at testsuites/@uuid: invalid UUID: invalid character: found `x` at 1"},
      {"escape", error_text(parse_xml_string("&bogus;", path, "message")),
       R"(at testsuites/testsuite[0]("unit")/testcase[1]/@message: XML unescape error: at 1..6: unrecognized entity `bogus`)"},
      {"extra value: no attribute step", error_text(parse_xml_string("a&b", path, "")),
       R"(at testsuites/testsuite[0]("unit")/testcase[1]: XML unescape error: Error while escaping character at range 1..3: Cannot find ';' after '&')"},
      // The UTF-8 check comes before every grammar.
      {"utf8 integer", error_text(parse_usize("\xff", root, "tests")),
       "at testsuites/@tests: invalid UTF-8"},
      {"utf8 duration", error_text(parse_duration("1\xc3", root, "time")),
       "at testsuites/@time: invalid UTF-8"},
      {"utf8 timestamp", error_text(parse_timestamp("\xed\xa0\x80", root, "timestamp")),
       "at testsuites/@timestamp: invalid UTF-8"},
      {"utf8 uuid", error_text(parse_uuid("\xc0\x80", root, "uuid")),
       "at testsuites/@uuid: invalid UTF-8"},
      {"utf8 string", error_text(parse_xml_string("&bogus;\x80", root, "name")),
       "at testsuites/@name: invalid UTF-8"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.label;
}

struct StringCase {
  std::string_view raw;
  std::string_view expected;
};

TEST(AttributeParsers, StringsAreUnescapedThenSanitised) {
  const StringCase cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a &lt;b&gt; &#65;", "a <b> A"},
      {"&quot;&apos;&amp;&#x20AC;", "\"'&\xe2\x82\xac"},
      {"x&#1;y", "xy"},  // the reference is resolved, then the control character dropped
  };
  for (const auto& [raw, expected] : cases) {
    const auto result = parse_xml_string(raw, {}, "name");
    ASSERT_TRUE(result.has_value()) << raw << ": " << result.error().text();
    EXPECT_EQ(result->view(), expected) << raw;
  }
}

// Plain ASCII values skip unescaping and cleaning; what they give must be
// what the full path gives, at the lengths where texts move out of line.
TEST(AttributeParsers, PlainValuesReadAsTheFullPathReadsThem) {
  for (std::size_t size : {0, 1, 15, 16, 17, 40}) {
    for (const char last : {'a', '~', '\x7f', '\t', '\x1b', '&', '\xc3'}) {
      std::string raw(size, 'v');
      raw += last;
      if (last == '&') raw += "amp;";
      if (last == '\xc3') raw += '\xa9';
      const auto read = parse_xml_string(raw, {}, "name");
      ASSERT_TRUE(read.has_value()) << raw;
      std::string unescaped;
      EXPECT_EQ(read->view(), XmlString(*unescape(raw, unescaped)).view()) << raw;
    }
  }
}

}  // namespace
}  // namespace corvane
