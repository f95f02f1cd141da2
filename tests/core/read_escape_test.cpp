// Tests of attribute-value unescaping and predefined entity lookup.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "xml_read/escape.hpp"

namespace corvane {
namespace {

struct UnescapeCase {
  std::string_view raw;
  std::string_view expected;  // the text, or the error text when `fails`
  bool fails;
};

class UnescapeTest : public ::testing::TestWithParam<UnescapeCase> {};

TEST_P(UnescapeTest, GivesTextOrError) {
  const UnescapeCase& c = GetParam();
  std::string out = "left over from an earlier call";
  auto result = unescape(c.raw, out);
  if (c.fails) {
    ASSERT_FALSE(result.has_value()) << "got " << *result;
    EXPECT_EQ(result.error().text, c.expected);
  } else {
    ASSERT_TRUE(result.has_value()) << result.error().text;
    EXPECT_EQ(*result, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UnescapeTest,
    ::testing::Values(
        UnescapeCase{"", "", false}, UnescapeCase{"a;b", "a;b", false},
        UnescapeCase{"&lt;&gt;&amp;&apos;&quot;", "<>&'\"", false},
        UnescapeCase{"x&amp;y;z&lt;", "x&y;z<", false}, UnescapeCase{"&#x41;", "A", false},
        UnescapeCase{"&#65;", "A", false}, UnescapeCase{"&#x6a;&#x6A;", "jj", false},
        UnescapeCase{"&#00065;", "A", false}, UnescapeCase{"&#233;", "\xC3\xA9", false},
        UnescapeCase{"&#x20AC;", "\xE2\x82\xAC", false},
        UnescapeCase{"&#x1F600;", "\xF0\x9F\x98\x80", false},
        UnescapeCase{"&#x10FFFF;", "\xF4\x8F\xBF\xBF", false},
        UnescapeCase{"&#xD7FF;&#xE000;", "\xED\x9F\xBF\xEE\x80\x80", false},
        // Control characters pass here; the model's sanitiser removes them.
        UnescapeCase{"&#1;&#x1b;", "\x01\x1B", false},
        UnescapeCase{"x&foo;y", "at 2..5: unrecognized entity `foo`", true},
        UnescapeCase{"&AMP;", "at 1..4: unrecognized entity `AMP`", true},
        UnescapeCase{"ab&;", "at 3..3: unrecognized entity ``", true},
        UnescapeCase{"&amp;&bad;", "at 6..9: unrecognized entity `bad`", true},
        UnescapeCase{"x&amp y",
                     "Error while escaping character at range 1..7: Cannot find ';' after '&'",
                     true},
        UnescapeCase{"ab&c&d;",
                     "Error while escaping character at range 2..7: Cannot find ';' after '&'",
                     true},
        UnescapeCase{"&lt;&",
                     "Error while escaping character at range 4..5: Cannot find ';' after '&'",
                     true},
        UnescapeCase{"&#X41;", "invalid character reference: invalid digit found in string", true},
        UnescapeCase{"&#12a;", "invalid character reference: invalid digit found in string", true},
        UnescapeCase{"&#xg;", "invalid character reference: invalid digit found in string", true},
        UnescapeCase{"&# 1;", "invalid character reference: invalid digit found in string", true},
        UnescapeCase{"&#;", "invalid character reference: cannot parse integer from empty string",
                     true},
        UnescapeCase{"&#x;", "invalid character reference: cannot parse integer from empty string",
                     true},
        UnescapeCase{"&#-1;", "invalid character reference: unexpected number sign", true},
        UnescapeCase{"&#+65;", "invalid character reference: unexpected number sign", true},
        UnescapeCase{"&#x-41;", "invalid character reference: unexpected number sign", true},
        UnescapeCase{"&#4294967296;",
                     "invalid character reference: number too large to fit in target type", true},
        UnescapeCase{"&#x100000000;",
                     "invalid character reference: number too large to fit in target type", true},
        UnescapeCase{"&#0;", "invalid character reference: 0x0 character is not permitted in XML",
                     true},
        UnescapeCase{"&#x0000;",
                     "invalid character reference: 0x0 character is not permitted in XML", true},
        UnescapeCase{"&#xD800;", "invalid character reference: `55296` is not a valid codepoint",
                     true},
        UnescapeCase{"&#xDFFF;", "invalid character reference: `57343` is not a valid codepoint",
                     true},
        UnescapeCase{"&#x110000;",
                     "invalid character reference: `1114112` is not a valid codepoint", true},
        UnescapeCase{"&#4294967295;",
                     "invalid character reference: `4294967295` is not a valid codepoint", true}));

TEST(UnescapeTest, TextWithoutAmpersandIsReturnedInPlace) {
  const std::string raw = "no references; here";
  std::string out;
  auto result = unescape(raw, out);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->data(), raw.data());
}

struct EntityCase {
  std::string_view name;
  std::optional<std::string_view> expected;
};

class ResolveEntityTest : public ::testing::TestWithParam<EntityCase> {};

TEST_P(ResolveEntityTest, KnowsOnlyThePredefinedFive) {
  EXPECT_EQ(resolve_xml_entity(GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Names, ResolveEntityTest,
                         ::testing::Values(EntityCase{"lt", "<"}, EntityCase{"gt", ">"},
                                           EntityCase{"amp", "&"}, EntityCase{"apos", "'"},
                                           EntityCase{"quot", "\""}, EntityCase{"LT", std::nullopt},
                                           EntityCase{"", std::nullopt},
                                           EntityCase{"nbsp", std::nullopt},
                                           EntityCase{"amp ", std::nullopt},
                                           EntityCase{"#65", std::nullopt}));

}  // namespace
}  // namespace corvane
