// Tests of the indenting XML writer, start-tag construction and escaping.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "xml_write/escape.hpp"
#include "xml_write/output_buffer.hpp"
#include "xml_write/start_tag.hpp"
#include "xml_write/xml_writer.hpp"

namespace corvane {
namespace {

enum class Op { Start, End, Empty, Text, EscapedText, Decl, EndOfDocument, Indent };

struct Event {
  Op op;
  std::string_view arg = {};
};

// Drives a writer, by default configured as the serializer's (four spaces,
// "/>").
std::string run(const std::vector<Event>& events,
                EmptyElementStyle style = EmptyElementStyle::Compact,
                std::optional<Indentation> indentation = Indentation{' ', 4}) {
  OutputBuffer buffer;
  XmlWriter writer(buffer, indentation, style);
  for (const Event& e : events) {
    switch (e.op) {
      case Op::Start:
        writer.start_tag(StartTag(e.arg));
        break;
      case Op::End:
        writer.end_tag(e.arg);
        break;
      case Op::Empty:
        writer.empty_element(StartTag(e.arg));
        break;
      case Op::Text:
        writer.text(e.arg);
        break;
      case Op::EscapedText:
        writer.escaped_text(e.arg);
        break;
      case Op::Decl:
        writer.declaration(Declaration{"1.0", "UTF-8", std::nullopt});
        break;
      case Op::EndOfDocument:
        writer.end_of_document();
        break;
      case Op::Indent:
        writer.write_indent();
        break;
    }
  }
  return buffer.take();
}

TEST(XmlWriter, EventsAndLineBreaks) {
  struct Case {
    std::vector<Event> events;
    std::string_view expected;
  };
  using enum Op;
  // clang-format off
  const Case cases[] = {
      {{{Decl}, {Start, "r"}, {End, "r"}, {Indent}},
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n</r>\n"},
      // An end tag right after its start tag: next line, same indentation.
      {{{Start, "r"}, {Start, "a"}, {End, "a"}, {End, "r"}}, "<r>\n    <a>\n    </a>\n</r>"},
      {{{Start, "a"}, {Text, "text"}, {End, "a"}}, "<a>text</a>"},
      {{{Start, "a"}, {Text, ""}, {End, "a"}}, "<a></a>"},
      // Markup after text stays on the text's line; text is not re-indented.
      {{{Start, "r"}, {Start, "a"}, {Text, "x\ny"}, {Empty, "b"}, {End, "a"}, {End, "r"}},
       "<r>\n    <a>x\ny<b/>\n    </a>\n</r>"},
      // An explicit break neither needs nor changes the flag.
      {{{Start, "r"}, {Text, "t"}, {Indent}, {Empty, "c"}, {End, "r"}}, "<r>t\n    <c/>\n</r>"},
      {{{Start, "a"}, {EscapedText, "x<y&z"}, {End, "a"}}, "<a>x&lt;y&amp;z</a>"},
      {{{Start, "a"}, {Text, "t"}, {EndOfDocument}, {Empty, "b"}}, "<a>t\n    <b/>"},
      // More end tags than start tags: the indentation stops at zero.
      {{{End, "x"}, {End, "y"}, {Start, "a"}, {End, "a"}}, "</x>\n</y>\n<a>\n</a>"},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(run(c.events), c.expected);
}

TEST(XmlWriter, NestingBeyondThirtyTwoLevelsKeepsIndenting) {
  constexpr int kDepth = 40;
  std::vector<Event> events;
  std::string expected;
  const auto line = [&expected](int level, std::string_view tag) {
    if (!expected.empty()) expected.append(1, '\n').append(4 * level, ' ');
    expected.append(tag);
  };
  for (int i = 0; i < kDepth; ++i) events.push_back({Op::Start, "e"}), line(i, "<e>");
  for (int i = kDepth - 1; i >= 0; --i) events.push_back({Op::End, "e"}), line(i, "</e>");
  EXPECT_EQ(run(events), expected);
}

TEST(XmlWriter, ConfigurationAndDeclarationParts) {
  const std::vector<Event> events = {{Op::Start, "r"}, {Op::Empty, "a"}, {Op::End, "r"}};
  EXPECT_EQ(run(events, EmptyElementStyle::Spaced, Indentation{'\t', 1}), "<r>\n\t<a />\n</r>");
  // Without indentation no line break is ever written, explicit ones included.
  EXPECT_EQ(run({{Op::Start, "r"}, {Op::Empty, "a"}, {Op::Indent}, {Op::End, "r"}},
                EmptyElementStyle::Compact, std::nullopt),
            "<r><a/></r>");

  const std::pair<Declaration, std::string_view> declarations[] = {
      {{"1.0", std::nullopt, std::nullopt}, "<?xml version=\"1.0\"?>"},
      {{"1.1", std::nullopt, "yes"}, "<?xml version=\"1.1\" standalone=\"yes\"?>"},
      {{"1.0", "UTF-8", "no"}, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>"},
  };
  for (const auto& [decl, expected] : declarations) {
    OutputBuffer buffer;
    XmlWriter writer(buffer, Indentation{}, EmptyElementStyle::Compact);
    writer.declaration(decl);
    EXPECT_EQ(buffer.view(), expected);
  }
}

// A raw line feed or tab in an attribute value reaches every conforming XML
// reader as a space, so both are written as character references.
TEST(StartTag, AttributesInOrderWithValuesEscapedAndNamesRaw) {
  StartTag tag("t");
  tag.push_attribute("a", "a\"b'c");
  tag.extend_attributes({{"b", "x<y&z>"}, {"c", "tab\tline\nfeed"}, {"a", ""}});
  EXPECT_EQ(tag.contents(),
            "t a=\"a&quot;b&apos;c\" b=\"x&lt;y&amp;z&gt;\" c=\"tab&#9;line&#10;feed\" a=\"\"");
  tag.reset("u");
  tag.push_attribute("<&", "v");
  EXPECT_EQ(tag.contents(), "u <&=\"v\"");
}

// Escaping works on 16-byte blocks and 4 KiB chunks; random texts with
// special bytes at every position and of every length check the block and
// chunk edges of each escaping path against a byte-by-byte reference. Text
// keeps line feeds and tabs raw; attribute values get references for them.
// Run with the wide (AVX2) steps and with the baseline steps alone, which
// otherwise only see the tails of long texts where AVX2 is present.
class Escaping : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { was_wide_ = use_wide_escaping(GetParam()); }
  void TearDown() override { use_wide_escaping(was_wide_); }

 private:
  bool was_wide_ = false;
};

INSTANTIATE_TEST_SUITE_P(Steps, Escaping, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Wide" : "Baseline"; });

TEST_P(Escaping, MatchesReferenceAcrossBlockEdges) {
  const auto reference = [](std::string_view text, bool attribute) {
    std::string out;
    for (char c : text) {
      switch (c) {
        case '\n':
          out += attribute ? "&#10;" : "\n";
          break;
        case '\t':
          out += attribute ? "&#9;" : "\t";
          break;
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '\'':
          out += "&apos;";
          break;
        case '"':
          out += "&quot;";
          break;
        default:
          out += c;
      }
    }
    return out;
  };
  std::mt19937 rng(7);
  using namespace std::string_view_literals;
  constexpr std::string_view kSpecial = "&<>'\"\n\t";
  // Plain bytes include the neighbours of the special ones, which a vector
  // comparison could mistake for them, a NUL (the padding of a short block)
  // and bytes above 0x7F.
  constexpr std::string_view kPlain = "ab%()=?!#\x08\x0b\x80\xff\0"sv;
  for (int round = 0; round < 2000; ++round) {
    const std::size_t length = round < 1900 ? rng() % 70 : 4000 + rng() % 9000;
    // One special byte in `density`; long texts also get long plain runs.
    const unsigned density = 1 + rng() % (round < 1900 ? 40 : 400);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      text += rng() % density == 0 ? kSpecial[rng() % kSpecial.size()]
                                   : kPlain[rng() % kPlain.size()];
    }
    OutputBuffer attribute;
    append_attribute("name", text, attribute);
    ASSERT_EQ(attribute.view(), " name=\"" + reference(text, true) + "\"") << text;
    const std::string expected = reference(text, false);
    OutputBuffer out;
    out.append("prefix");
    append_escaped(text, out);
    ASSERT_EQ(out.view(), "prefix" + expected) << text;
  }
}

// A buffer that was moved from is empty and takes appends like a new one.
TEST(OutputBuffer, MovedFromBufferIsEmptyAndUsable) {
  OutputBuffer first;
  first.append(std::string(1000, 'x'));
  OutputBuffer second(std::move(first));
  EXPECT_EQ(second.size(), 1000u);
  EXPECT_EQ(first.size(), 0u);  // NOLINT(bugprone-use-after-move)
  first.append("abc");
  EXPECT_EQ(first.view(), "abc");
  OutputBuffer third;
  third = std::move(second);
  EXPECT_EQ(third.size(), 1000u);
  second.append(std::string(600, 'z'));  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(second.view(), std::string(600, 'z'));
}

}  // namespace
}  // namespace corvane
