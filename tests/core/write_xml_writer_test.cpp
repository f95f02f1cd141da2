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

// Drives a writer with the serializer's configuration (four spaces, "/>")
// unless told otherwise.
std::string run(const std::vector<Event>& events,
                EmptyElementStyle style = EmptyElementStyle::Compact,
                std::optional<Indentation> indentation = Indentation{' ', 4}) {
  OutputBuffer buffer;
  XmlWriter<OutputBuffer> writer(buffer, indentation, style);
  for (const Event& e : events) {
    std::expected<void, IoError> r;
    switch (e.op) {
      case Op::Start:
        r = writer.start_tag(StartTag(e.arg));
        break;
      case Op::End:
        r = writer.end_tag(e.arg);
        break;
      case Op::Empty:
        r = writer.empty_element(StartTag(e.arg));
        break;
      case Op::Text:
        r = writer.text(e.arg);
        break;
      case Op::EscapedText:
        r = writer.escaped_text(e.arg);
        break;
      case Op::Decl:
        r = writer.declaration(Declaration{"1.0", "UTF-8", std::nullopt});
        break;
      case Op::EndOfDocument:
        r = writer.end_of_document();
        break;
      case Op::Indent:
        r = writer.write_indent();
        break;
    }
    EXPECT_TRUE(r.has_value());
  }
  return buffer.take();
}

struct WriterCase {
  const char* name;
  std::vector<Event> events;
  std::string_view expected;
};

class WriterEvents : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WriterEvents, WritesExpectedBytes) {
  EXPECT_EQ(run(GetParam().events), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, WriterEvents,
    ::testing::Values(
        WriterCase{"declaration_first_then_root",
                   {{Op::Decl}, {Op::Start, "r"}, {Op::End, "r"}, {Op::Indent}},
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n</r>\n"},
        WriterCase{"start_then_end_on_next_line_same_indent",
                   {{Op::Start, "r"}, {Op::Start, "a"}, {Op::End, "a"}, {Op::End, "r"}},
                   "<r>\n    <a>\n    </a>\n</r>"},
        WriterCase{"text_keeps_tags_on_one_line",
                   {{Op::Start, "a"}, {Op::Text, "text"}, {Op::End, "a"}},
                   "<a>text</a>"},
        WriterCase{"empty_text_still_one_line",
                   {{Op::Start, "a"}, {Op::Text, ""}, {Op::End, "a"}},
                   "<a></a>"},
        WriterCase{"markup_after_text_stays_on_text_line",
                   {{Op::Start, "r"},
                    {Op::Start, "a"},
                    {Op::Text, "t"},
                    {Op::Empty, "b"},
                    {Op::End, "a"},
                    {Op::End, "r"}},
                   "<r>\n    <a>t<b/>\n    </a>\n</r>"},
        WriterCase{
            "explicit_break_after_text_does_not_touch_flag",
            {{Op::Start, "r"}, {Op::Text, "t"}, {Op::Indent}, {Op::Empty, "c"}, {Op::End, "r"}},
            "<r>t\n    <c/>\n</r>"},
        WriterCase{"explicit_break_at_level_zero_is_one_line_feed",
                   {{Op::Start, "r"}, {Op::End, "r"}, {Op::Indent}},
                   "<r>\n</r>\n"},
        WriterCase{"text_is_not_indented_inside",
                   {{Op::Start, "r"},
                    {Op::Start, "a"},
                    {Op::Text, "x\ny"},
                    {Op::End, "a"},
                    {Op::End, "r"}},
                   "<r>\n    <a>x\ny</a>\n</r>"},
        WriterCase{"escaped_text_event_escapes",
                   {{Op::Start, "a"}, {Op::EscapedText, "x<y&z"}, {Op::End, "a"}},
                   "<a>x&lt;y&amp;z</a>"},
        WriterCase{"end_of_document_writes_nothing_but_sets_flag",
                   {{Op::Start, "a"}, {Op::Text, "t"}, {Op::EndOfDocument}, {Op::Empty, "b"}},
                   "<a>t\n    <b/>"},
        WriterCase{"extra_end_tag_does_not_underflow_indentation",
                   {{Op::End, "x"}, {Op::End, "y"}, {Op::Start, "a"}, {Op::End, "a"}},
                   "</x>\n</y>\n<a>\n</a>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlWriter, NestingBeyondThirtyTwoLevelsKeepsIndenting) {
  constexpr int kDepth = 40;
  std::vector<Event> events;
  for (int i = 0; i < kDepth; ++i) events.push_back({Op::Start, "e"});
  for (int i = 0; i < kDepth; ++i) events.push_back({Op::End, "e"});
  std::string expected;
  const auto line = [&expected](int level, std::string_view tag) {
    if (!expected.empty()) expected.append(1, '\n').append(4 * level, ' ');
    expected.append(tag);
  };
  for (int i = 0; i < kDepth; ++i) line(i, "<e>");
  for (int i = kDepth - 1; i >= 0; --i) line(i, "</e>");
  EXPECT_EQ(run(events), expected);
}

TEST(XmlWriter, IndentCharacterSizeAndEmptyStyleAreConfigurable) {
  const std::vector<Event> events = {{Op::Start, "r"}, {Op::Empty, "a"}, {Op::End, "r"}};
  EXPECT_EQ(run(events, EmptyElementStyle::Spaced, Indentation{'\t', 1}), "<r>\n\t<a />\n</r>");
  // Without indentation no line break is ever written, explicit ones included.
  EXPECT_EQ(run({{Op::Start, "r"}, {Op::Empty, "a"}, {Op::Indent}, {Op::End, "r"}},
                EmptyElementStyle::Compact, std::nullopt),
            "<r><a/></r>");
}

TEST(XmlWriter, DeclarationParts) {
  struct Case {
    Declaration decl;
    std::string_view expected;
  };
  const Case cases[] = {
      {{"1.0", std::nullopt, std::nullopt}, "<?xml version=\"1.0\"?>"},
      {{"1.0", "UTF-8", std::nullopt}, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
      {{"1.1", std::nullopt, "yes"}, "<?xml version=\"1.1\" standalone=\"yes\"?>"},
      {{"1.0", "UTF-8", "no"}, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>"},
  };
  for (const Case& c : cases) {
    OutputBuffer buffer;
    XmlWriter<OutputBuffer> writer(buffer, Indentation{}, EmptyElementStyle::Compact);
    ASSERT_TRUE(writer.declaration(c.decl).has_value());
    EXPECT_EQ(buffer.view(), c.expected);
  }
}

TEST(StartTag, AttributesInOrderWithValuesEscapedAndNamesRaw) {
  StartTag tag("t");
  tag.push_attribute("a", "a\"b'c");
  tag.extend_attributes({{"b", "x<y&z>"}, {"c", "tab\tline\nfeed"}, {"a", ""}});
  EXPECT_EQ(tag.contents(),
            "t a=\"a&quot;b&apos;c\" b=\"x&lt;y&amp;z&gt;\" c=\"tab\tline\nfeed\" a=\"\"");
  tag.reset("u");
  tag.push_attribute("<&", "v");
  EXPECT_EQ(tag.contents(), "u <&=\"v\"");
}

struct EscapeCase {
  std::string_view input;
  std::string_view expected;
};

class Escaping : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escaping, EscapeAndAppendEscapedAgree) {
  const auto& [input, expected] = GetParam();
  const EscapedText escaped = escape(input);
  EXPECT_EQ(escaped.view(), expected);
  // Nothing to escape: the very same bytes come back, not a copy.
  EXPECT_EQ(escaped.is_borrowed(), input == expected);
  if (escaped.is_borrowed()) {
    EXPECT_EQ(escaped.view().data(), input.data());
  }
  OutputBuffer out;
  append_escaped(input, out);
  EXPECT_EQ(out.view(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Entities, Escaping,
    ::testing::Values(EscapeCase{"", ""}, EscapeCase{"plain text", "plain text"},
                      EscapeCase{"a\"b'c", "a&quot;b&apos;c"}, EscapeCase{"x<y&z", "x&lt;y&amp;z"},
                      EscapeCase{"<>&'\"", "&lt;&gt;&amp;&apos;&quot;"},
                      EscapeCase{"tab\tcr\rlf\n", "tab\tcr\rlf\n"},
                      EscapeCase{"&amp;", "&amp;amp;"},
                      EscapeCase{"long run before the special byte at the end>",
                                 "long run before the special byte at the end&gt;"},
                      EscapeCase{"caf\xC3\xA9 & \xE2\x82\xAC", "caf\xC3\xA9 &amp; \xE2\x82\xAC"}));

// Escaping works on 16-byte blocks and 4 KiB chunks; random texts with
// special bytes at every position and of every length check the block and
// chunk edges against a byte-by-byte reference.
TEST(Escaping, MatchesReferenceAcrossBlockEdges) {
  const auto reference = [](std::string_view text) {
    std::string out;
    for (char c : text) {
      switch (c) {
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
  constexpr std::string_view kAlphabet = "ab&<>'\"\n\xC3\xA9";
  for (int round = 0; round < 2000; ++round) {
    const std::size_t length = round < 1900 ? rng() % 70 : 4000 + rng() % 9000;
    const unsigned density = 1 + rng() % 40;  // one special byte in `density`
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      text += rng() % density == 0 ? kAlphabet[2 + rng() % 5] : kAlphabet[rng() % 2];
    }
    OutputBuffer out;
    out.append("prefix");
    append_escaped(text, out);
    ASSERT_EQ(out.view(), "prefix" + reference(text)) << text;
    EXPECT_EQ(escape(text).view(), reference(text));
    std::string pieces;
    for_each_escaped_piece(text, [&pieces](std::string_view piece) {
      pieces += piece;
      return true;
    });
    EXPECT_EQ(pieces, reference(text));
  }
}

// A sink that fails on its n-th write, to check that the first failure ends
// the event and reaches the caller unchanged.
struct FailingSink {
  int writes_left;
  std::string written;

  std::expected<void, IoError> write(std::string_view bytes) {
    if (writes_left-- == 0) return std::unexpected(IoError{"disk full"});
    written.append(bytes);
    return {};
  }
};

TEST(XmlWriter, SinkFailureIsReturnedAndStopsTheEvent) {
  for (int fail_at = 0; fail_at < 6; ++fail_at) {
    FailingSink sink{fail_at, {}};
    XmlWriter<FailingSink> writer(sink, Indentation{}, EmptyElementStyle::Compact);
    StartTag tag("a");
    tag.push_attribute("k", "v");
    std::expected<void, IoError> r = writer.start_tag(tag);
    if (r) r = writer.escaped_text("x&y");
    if (r) r = writer.end_tag("a");
    ASSERT_FALSE(r.has_value()) << fail_at;
    EXPECT_EQ(r.error(), IoError{"disk full"});
    // Everything before the failing write is there, nothing after it.
    const std::string_view full = "<a k=\"v\">x&amp;y</a>";
    EXPECT_TRUE(full.starts_with(sink.written)) << sink.written;
    EXPECT_LT(sink.written.size(), full.size());
  }
}

TEST(OutputBuffer, GrowsAndKeepsContents) {
  OutputBuffer buffer;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string piece = std::to_string(i) + ",";
    buffer.append(piece);
    buffer.append(';');
    expected += piece + ";";
  }
  char* out = buffer.append_raw(8);
  out[0] = 'z';
  buffer.commit(out + 1);
  expected += "z";
  EXPECT_EQ(buffer.view(), expected);
  EXPECT_EQ(buffer.take(), expected);
  EXPECT_TRUE(buffer.empty());
  buffer.append("again");
  EXPECT_EQ(buffer.view(), "again");
}

}  // namespace
}  // namespace corvane
