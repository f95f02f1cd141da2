// Tests of the XML event reader: event streams, malformed markup, skipping,
// deep nesting, and robustness on random bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <expected>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/ground_text.hpp"
#include "xml_read/attributes.hpp"
#include "xml_read/escape.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {
namespace {

std::string render(const Event& event) {
  static constexpr std::string_view kNames[] = {
      "start", "end", "empty", "text", "cdata", "comment", "decl", "pi", "doctype", "ref", "eof"};
  std::string text(kNames[static_cast<int>(event.kind)]);
  if (event.kind != EventKind::Eof) {
    text += ' ';
    text += event.bytes;
  }
  return text;
}

// Every event up to and including Eof or the first error ("error").
std::vector<std::string> read_all(std::string_view document) {
  XmlReader reader(document);
  std::vector<std::string> events;
  for (std::size_t i = 0; i <= document.size() + 1; ++i) {
    auto event = reader.next();
    if (!event) {
      events.push_back("error");
      return events;
    }
    events.push_back(render(*event));
    if (event->kind == EventKind::Eof) return events;
  }
  ADD_FAILURE() << "no Eof within the input's length";
  return events;
}

struct StreamCase {
  std::string_view document;
  std::vector<std::string> events;
};

class EventStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(EventStreamTest, GivesEvents) {
  EXPECT_EQ(read_all(GetParam().document), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Structure, EventStreamTest,
    ::testing::Values(StreamCase{"", {"eof"}}, StreamCase{"\xEF\xBB\xBF", {"eof"}},
                      StreamCase{"<a></a>", {"start a", "end a", "eof"}},
                      StreamCase{"\xEF\xBB\xBF<a/>", {"empty a", "eof"}},
                      StreamCase{"<a>\xEF\xBB\xBF</a>",
                                 {"start a", "text \xEF\xBB\xBF", "end a", "eof"}},
                      StreamCase{"<a></a >", {"start a", "end a", "eof"}},
                      StreamCase{"<a></a\t\r\n>", {"start a", "end a", "eof"}},
                      StreamCase{"<a></b>", {"start a", "error"}}, StreamCase{"</a>", {"error"}},
                      StreamCase{"<a></a></a>", {"start a", "end a", "error"}},
                      StreamCase{"<a><b></a></b>", {"start a", "start b", "error"}},
                      StreamCase{"<a></ a>", {"start a", "error"}},
                      StreamCase{"<a:b x=\"1\"></a:b>", {"start a:b x=\"1\"", "end a:b", "eof"}},
                      StreamCase{"<a><b>", {"start a", "start b", "eof"}},
                      StreamCase{"<a b=\"1>2\"/>", {"empty a b=\"1>2\"", "eof"}},
                      StreamCase{"<a b='x\"/>'>", {"start a b='x\"/>'", "eof"}},
                      StreamCase{"<a b=1/>", {"empty a b=1", "eof"}},
                      StreamCase{"<a\n/>", {"empty a\n", "eof"}},
                      StreamCase{"hi<a/>\r\n", {"text hi", "empty a", "text \r\n", "eof"}},
                      StreamCase{"<a>\r\n  x > ]]>  \r\n</a>",
                                 {"start a", "text \r\n  x > ]]>  \r\n", "end a", "eof"}}));

INSTANTIATE_TEST_SUITE_P(
    References, EventStreamTest,
    ::testing::Values(StreamCase{"<a>x &amp; y</a>",
                                 {"start a", "text x ", "ref amp", "text  y", "end a", "eof"}},
                      StreamCase{"<a>&#65;&#x41;&;</a>",
                                 {"start a", "ref #65", "ref #x41", "ref ", "end a", "eof"}},
                      StreamCase{"<a>x & y</a>", {"start a", "text x ", "error"}},
                      StreamCase{"<a>&amp</a>;", {"start a", "error"}},
                      StreamCase{"<a>&a&b;</a>", {"start a", "error"}},
                      StreamCase{"x&amp", {"text x", "error"}}));

INSTANTIATE_TEST_SUITE_P(
    OtherMarkup, EventStreamTest,
    ::testing::Values(
        StreamCase{"<!-- a -- b --><!---->", {"comment  a -- b ", "comment ", "eof"}},
        StreamCase{"<!-->x-->", {"comment >x", "eof"}}, StreamCase{"<!-- x", {"error"}},
        StreamCase{"<a><![CDATA[<x>&]]]]></a>", {"start a", "cdata <x>&]]", "end a", "eof"}},
        StreamCase{"<![CDATA[]]>", {"cdata ", "eof"}}, StreamCase{"<![cdata[x]]>", {"error"}},
        StreamCase{"<![CDATA[x]>", {"error"}},
        StreamCase{"<?xml version=\"1.0\"?><a/>", {"decl xml version=\"1.0\"", "empty a", "eof"}},
        StreamCase{"<?xml?><?xml\tv='1'?>", {"decl xml", "decl xml\tv='1'", "eof"}},
        StreamCase{"<?xml-stylesheet href=\"s\"?><?xmlx?><?p?>",
                   {"pi xml-stylesheet href=\"s\"", "pi xmlx", "pi p", "eof"}},
        StreamCase{"<?p x", {"error"}}, StreamCase{"<?>", {"error"}},
        StreamCase{"<!DOCTYPE html><r/>", {"doctype html", "empty r", "eof"}},
        StreamCase{"<!DOCTYPE r SYSTEM \"a>b\"><r/>",
                   {"doctype r SYSTEM \"a>b\"", "empty r", "eof"}},
        StreamCase{"<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!-- ] > --><?p ]>?>"
                   "<!ATTLIST r a CDATA \"]>\">]><r/>",
                   {"doctype r [<!ELEMENT r (#PCDATA)><!-- ] > --><?p ]>?>"
                    "<!ATTLIST r a CDATA \"]>\">]",
                    "empty r", "eof"}},
        StreamCase{"<!DOCTYPE r [<!ELEMENT r ANY>", {"error"}},
        StreamCase{"<!DOCTYPE r [<!-- x ]>", {"error"}}, StreamCase{"<!DOCTYPE r \"x>", {"error"}},
        StreamCase{"<!DOCTYPEr>", {"error"}}, StreamCase{"<!doctype r>", {"error"}},
        StreamCase{"<!x>", {"error"}}));

INSTANTIATE_TEST_SUITE_P(
    MalformedTags, EventStreamTest,
    ::testing::Values(StreamCase{"<", {"error"}}, StreamCase{"x<", {"text x", "error"}},
                      StreamCase{"<>", {"error"}}, StreamCase{"<a></>", {"start a", "error"}},
                      StreamCase{"< a/>", {"error"}}, StreamCase{"<1/>", {"error"}},
                      StreamCase{"</>", {"error"}}, StreamCase{"<a", {"error"}},
                      StreamCase{"<a></a", {"start a", "error"}},
                      StreamCase{"<a b=\"1>", {"error"}}, StreamCase{"</a", {"error"}},
                      StreamCase{"<!", {"error"}}));

TEST(EventTest, NameIsTheLeadingRunOfTheContent) {
  EXPECT_EQ((Event{.kind = EventKind::Start, .bytes = "a\tb='1'"}.name()), "a");
  EXPECT_EQ((Event{.kind = EventKind::Empty, .bytes = "x:y\nz='1'"}.name()), "x:y");
  EXPECT_EQ((Event{.kind = EventKind::Empty, .bytes = "p"}.name()), "p");
  EXPECT_EQ((Event{.kind = EventKind::End, .bytes = "a"}.name()), "a");
  EXPECT_EQ((Event{.kind = EventKind::Text, .bytes = "a b"}.name()), "");
}

// The tag scan measures the name on its way, by the plain rule or the
// general one: what it gives must be that same leading run.
TEST(EventTest, TheReadersNamesAreTheLeadingRunOfTheContent) {
  for (const std::string_view document :
       {"<a b='1'/>", "<a\tb='1'></a>", "<x:y\n/>", "<p>", "<a/>", "<a b=1/>", "<a b=1></a>",
        "<a b='1' b='2'/>", "<long-element-name-here\r\nc=\"x\"/>", "<a/ >"}) {
    XmlReader reader(document);
    const auto event = reader.next();
    ASSERT_TRUE(event) << document;
    const std::string_view content = event->bytes;
    EXPECT_EQ(event->name(), content.substr(0, content.find_first_of(" \t\r\n"))) << document;
  }
}

// append_text must give what the events give: text, and references to the
// five predefined entities resolved, up to the first other event, which
// next() then gives as before. Every cut of each input is read (the ends of
// input inside a reference or a run), after every padding length that moves
// the pieces across the sixteen-byte blocks of the scan.
TEST(XmlReaderTest, AppendTextAgreesWithTheEvents) {
  const std::string_view pieces[] = {
      "a&amp;b&lt;&gt;&quot;&apos;c<x/>", "&amp;&amp;&amp;&amp;&amp;&amp;&amp;&amp;", "x&#65;y",
      "&am;p&ampx;", "&lt&gt;", "a&b<", "&&amp;", "& amp;", "&apos&quot;", "&quox;&aps;",
      "1234567890123456&lt;7890123456789012<y", "]]>&gt;<![CDATA[&amp;]]>", "&amp"};
  for (std::string_view piece : pieces) {
    for (std::size_t pad = 0; pad <= 17; ++pad) {
      const std::string whole = std::string(pad, 'p') + std::string(piece);
      for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        const std::string document = whole.substr(0, cut);
        XmlReader by_events(document);
        std::string expected;
        std::expected<Event, ReaderError> event;
        for (;;) {
          event = by_events.next();
          if (!event) break;
          if (event->kind == EventKind::Text) {
            expected += event->bytes;
            continue;
          }
          const auto entity = event->kind == EventKind::Reference
                                  ? resolve_xml_entity(event->bytes)
                                  : std::optional<std::string_view>();
          if (!entity) break;
          expected += *entity;
        }
        XmlReader scanning(document);
        std::string text = "kept";
        scanning.append_text(text);
        const auto after = scanning.next();
        SCOPED_TRACE(document);
        EXPECT_EQ(text, "kept" + expected);
        ASSERT_EQ(after.has_value(), event.has_value());
        if (after) {
          EXPECT_EQ(render(*after), render(*event));
        }
        EXPECT_EQ(scanning.offset(), by_events.offset());
        EXPECT_EQ(scanning.reached_end(), by_events.reached_end());
      }
    }
  }
}

// append_text makes room a step at a time: references that straddle a step's
// end, and texts that end just before, at or after it, read as the events do.
TEST(XmlReaderTest, AppendTextAcrossItsSteps) {
  const std::size_t step = XmlReader::kAppendStep;
  for (std::size_t lead = step - 8; lead <= step + 2; ++lead) {
    for (std::string_view tail : {"&quot;y&amp;z<a/>", "&apos;&lt;", "&bogus;<", "<"}) {
      const std::string document = std::string(lead, 'x') + std::string(tail);
      XmlReader by_events(document);
      std::string expected;
      for (auto event = by_events.next();
           event && event->kind != EventKind::Start && event->kind != EventKind::Empty &&
           event->kind != EventKind::Eof;
           event = by_events.next()) {
        const auto entity = event->kind == EventKind::Reference ? resolve_xml_entity(event->bytes)
                                                                : std::optional(event->bytes);
        if (!entity) break;
        expected += *entity;
      }
      XmlReader scanning(document);
      std::string text;
      scanning.append_text(text);
      SCOPED_TRACE(document.substr(lead - 2));
      EXPECT_EQ(text, expected);
    }
  }
}

// append_text tells whether what it appended is plain (printable ASCII, line
// feeds, tabs): exactly so while the input goes on past the text, and never
// wrongly near its end. Each odd byte is tried at every place of texts
// of every length across the scan's blocks, after a reference or not.
TEST(XmlReaderTest, AppendTextKnowsPlainText) {
  const std::string_view odd_bytes[] = {"\x01", "\x1F", "\x1B", "\r", "\xC3\xA9", "\xEF\xBF\xBE",
                                        "\x7F", "\t",   "\n",   " ",  "&lt;",     ""};
  const auto plain = [](std::string_view text) {
    return std::ranges::all_of(
        text, [](unsigned char c) { return (c >= 0x20 && c <= 0x7F) || c == '\n' || c == '\t'; });
  };
  for (std::string_view lead : {"", "&amp;"}) {
    for (std::string_view odd : odd_bytes) {
      for (std::size_t size = 0; size <= 40; ++size) {
        for (std::size_t at = 0; at <= size; ++at) {
          const std::string text = std::string(lead) + std::string(at, 'a') + std::string(odd) +
                                   std::string(size - at, 'b');
          for (const std::string& document : {text + "<x/>" + std::string(16, ' '), text + "<"}) {
            XmlReader reader(document);
            std::string out;
            const bool known_plain = reader.append_text(out);
            SCOPED_TRACE(document);
            if (document.size() > text.size() + 1) {
              EXPECT_EQ(known_plain, plain(out));
            }
            if (known_plain) {
              EXPECT_EQ(kept_prefix_length(out), out.size());
            }
          }
        }
      }
    }
  }
}

TEST(XmlReaderTest, EofAndErrorsRepeat) {
  XmlReader at_end("<a>");
  ASSERT_EQ(at_end.next()->kind, EventKind::Start);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(at_end.next()->kind, EventKind::Eof);

  XmlReader broken("</a><b/>");
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(broken.next().has_value());
}

struct DescribeCase {
  std::string_view document;
  std::string_view reason;
};

class DescribeErrorTest : public ::testing::TestWithParam<DescribeCase> {};

// The reason names the construct where it starts; lines follow every XML line
// break, columns count characters.
TEST_P(DescribeErrorTest, SaysWhyAndWhere) {
  XmlReader reader(GetParam().document);
  for (;;) {
    auto event = reader.next();
    if (!event) {
      EXPECT_EQ(reader.describe(event.error()), GetParam().reason);
      return;
    }
    if (event->kind == EventKind::Start && event->name() == "skip") {
      auto skipped = reader.skip_element("skip");
      ASSERT_FALSE(skipped.has_value());
      EXPECT_EQ(reader.describe(skipped.error()), GetParam().reason);
      return;
    }
    ASSERT_NE(event->kind, EventKind::Eof);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Problems, DescribeErrorTest,
    ::testing::Values(
        DescribeCase{"<a>\n  <b>\n    <c></b>",
                     "line 3, column 8: end tag </b> does not match <c>"},
        DescribeCase{"<a>\r\n\r<b>\u00e9\u00e9</c  >",
                     "line 3, column 6: end tag </c> does not match <b>"},
        DescribeCase{"\xEF\xBB\xBF</a>", "line 1, column 1: end tag </a> closes no open element"},
        DescribeCase{"<a>x & y</a>",
                     "line 1, column 6: '&' does not start a reference closed by ';'"},
        DescribeCase{"<a><", "line 1, column 4: '<' at the end of the input"},
        DescribeCase{"<!-- x", "line 1, column 1: comment not closed by '-->'"},
        DescribeCase{"<![CDATA[x", "line 1, column 1: CDATA section not closed by ']]>'"},
        DescribeCase{"<?p x", "line 1, column 1: processing instruction not closed by '?>'"},
        DescribeCase{"<a>\n<b c=\"1>", "line 2, column 1: tag <b> not closed by '>'"},
        DescribeCase{"< a/>", "line 1, column 1: '<' not followed by an element name"},
        DescribeCase{"<a></a", "line 1, column 4: end tag </a> not closed by '>'"},
        DescribeCase{"<!x>", "line 1, column 1: '<!' starts no comment, CDATA section or DOCTYPE"},
        DescribeCase{"<!DOCTYPE r [", "line 1, column 1: malformed or unclosed DOCTYPE"},
        DescribeCase{"<skip><d>\n", "line 2, column 1: the input ends inside <d>"}));

TEST(XmlReaderTest, TagContentFeedsTheAttributeIterator) {
  XmlReader reader("<testsuite name=\"a\" time='1&amp;2'/>");
  auto event = reader.next();
  ASSERT_TRUE(event.has_value());
  ASSERT_EQ(event->kind, EventKind::Empty);
  AttributeIterator it(event->content());
  auto name = it.next();
  ASSERT_TRUE(name && name->has_value());
  EXPECT_EQ((*name)->value, "a");
  auto time = it.next();
  ASSERT_TRUE(time && time->has_value());
  std::string buffer;
  auto value = unescape((*time)->value, buffer);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(*value, "1&2");
  EXPECT_FALSE(it.next().has_value());
}

// The tag scan takes plain tags apart itself; every other tag is left to the
// attribute walk. Either way the tag's content is the one the general rule
// gives, and scanned attributes are exactly those the walk yields.
struct ScannedTagCase {
  std::string_view document;  // its first event is a tag
  std::string_view content;
  bool scanned;
};

class ScannedTagTest : public ::testing::TestWithParam<ScannedTagCase> {};

TEST_P(ScannedTagTest, AgreesWithTheWalk) {
  const ScannedTagCase& c = GetParam();
  XmlReader reader(c.document);
  auto event = reader.next();
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->bytes, c.content);
  const auto scanned = reader.scanned_attributes(*event);
  ASSERT_EQ(scanned.data() != nullptr, c.scanned);
  if (!c.scanned) return;
  std::vector<std::pair<std::string_view, std::string_view>> walked;
  AttributeIterator it(event->content());
  while (auto attribute = it.next()) {
    ASSERT_TRUE(attribute->has_value());
    walked.emplace_back((*attribute)->key, (*attribute)->value);
  }
  ASSERT_EQ(walked.size(), scanned.size());
  for (std::size_t i = 0; i < walked.size(); ++i) {
    EXPECT_EQ(walked[i].first.data(), scanned[i].key.data());
    EXPECT_EQ(walked[i].first.size(), scanned[i].key.size());
    EXPECT_EQ(walked[i].second.data(), scanned[i].value.data());
    EXPECT_EQ(walked[i].second.size(), scanned[i].value.size());
  }
  // Only the last tag read has its attributes at hand.
  (void)reader.next();
  EXPECT_EQ(reader.scanned_attributes(*event).data(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ScannedTagTest,
    ::testing::Values(
        ScannedTagCase{"<a/><b/>", "a", true}, ScannedTagCase{"<a ><b/>", "a ", true},
        ScannedTagCase{"<a b='1>' c = \"'\"\t/><b/>", "a b='1>' c = \"'\"\t", true},
        ScannedTagCase{"<a b=\"1\"c=\"2\"><b/>", "a b=\"1\"c=\"2\"", true},
        ScannedTagCase{"<a b=\"/\" p:c=\"\"/><b/>", "a b=\"/\" p:c=\"\"", true},
        // Repeated keys, a slash or stray byte where syntax goes, too many
        // attributes: the walk decides (and explains the errors).
        ScannedTagCase{"<a b='1' b='2'/><b/>", "a b='1' b='2'", false},
        ScannedTagCase{"<a/b><b/>", "a/b", false}, ScannedTagCase{"<a / ><b/>", "a / ", false},
        ScannedTagCase{"<a b/><b/>", "a b", false}, ScannedTagCase{"<a b=1><b/>", "a b=1", false},
        ScannedTagCase{"<a \"b\"=''><b/>", "a \"b\"=''", false},
        ScannedTagCase{"<a b'c'=''><b/>", "a b'c'=''", false},
        ScannedTagCase{"<a=b><b/>", "a=b", false},
        ScannedTagCase{"<a b\x01=''><b/>", "a b\x01=''", false},
        // Names and keys long enough to be searched sixteen bytes a step.
        ScannedTagCase{"<abcdefghijklmnopq bcdefghijklmnopqr='1' c\tdefghijklmnopqrs='2'><b/>",
                       "abcdefghijklmnopq bcdefghijklmnopqr='1' c\tdefghijklmnopqrs='2'", false},
        ScannedTagCase{"<abcdefghijklmnopq bcdefghijklmnopqr='1'\ncdefghijklmnopqrs='2'><b/>",
                       "abcdefghijklmnopq bcdefghijklmnopqr='1'\ncdefghijklmnopqrs='2'", true},
        ScannedTagCase{"<a k0='' k1='' k2='' k3='' k4='' k5='' k6='' k7='' k8='' k9='' kA='' "
                       "kB='' kC='' kD='' kE='' kF='' kG=''/><b/>",
                       "a k0='' k1='' k2='' k3='' k4='' k5='' k6='' k7='' k8='' k9='' kA='' "
                       "kB='' kC='' kD='' kE='' kF='' kG=''",
                       false}));

struct SkipCase {
  std::string_view document;  // its first event is the start tag to skip
  std::string_view after;     // the event read after skipping, or "error"
};

class SkipElementTest : public ::testing::TestWithParam<SkipCase> {};

TEST_P(SkipElementTest, DiscardsTheElement) {
  XmlReader reader(GetParam().document);
  auto first = reader.next();
  ASSERT_TRUE(first.has_value());
  ASSERT_EQ(first->kind, EventKind::Start);
  auto skipped = reader.skip_element(first->name());
  if (GetParam().after == "error") {
    EXPECT_FALSE(skipped.has_value());
    return;
  }
  ASSERT_TRUE(skipped.has_value());
  auto after = reader.next();
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(render(*after), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SkipElementTest,
    ::testing::Values(SkipCase{"<a></a><z/>", "empty z"},
                      SkipCase{"<a x='1'><a><a/></a><b><a></a></b>t&amp;<!--</a>--></a>tail",
                               "text tail"},
                      SkipCase{"<a><b></b></a>", "eof"}, SkipCase{"<a><a></a>", "error"},
                      SkipCase{"<a>", "error"}, SkipCase{"<a><b></a>", "error"},
                      SkipCase{"<a>x & y</a>", "error"}));

TEST(XmlReaderTest, MillionNestedElementsNeedNoRecursion) {
  constexpr std::size_t kDepth = 1'000'000;
  std::string document;
  document.reserve(7 * kDepth);
  for (std::size_t i = 0; i < kDepth; ++i) document += "<a>";
  for (std::size_t i = 0; i < kDepth; ++i) document += "</a>";

  XmlReader reader(document);
  std::size_t starts = 0;
  std::size_t ends = 0;
  std::size_t deepest = 0;
  for (;;) {
    auto event = reader.next();
    ASSERT_TRUE(event.has_value());
    if (event->kind == EventKind::Eof) break;
    (event->kind == EventKind::Start ? starts : ends) += 1;
    deepest = std::max(deepest, reader.depth());
  }
  EXPECT_EQ(starts, kDepth);
  EXPECT_EQ(ends, kDepth);
  EXPECT_EQ(deepest, kDepth);
  EXPECT_EQ(reader.depth(), 0u);

  XmlReader skipper(document);
  ASSERT_EQ(skipper.next()->kind, EventKind::Start);
  ASSERT_TRUE(skipper.skip_element("a").has_value());
  EXPECT_EQ(skipper.next()->kind, EventKind::Eof);
}

// Random documents built from markup-heavy bytes: the reader must end with
// Eof or an error within one event per input byte, hand out views inside the
// input, and the attribute iterator and unescaper must cope with whatever
// tag content and text come out.
TEST(XmlReaderTest, RandomBytesNeverRunAway) {
  static constexpr std::string_view kAlphabet = "<<>>/!?[]-&;\"'= \nax#CDATA\xEF\xBB\xBF";
  std::mt19937 rng(20240611);
  std::string scratch;
  std::size_t errors = 0;
  std::size_t eofs = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string document(rng() % 48, '\0');
    for (char& c : document) {
      c = (rng() % 8 == 0) ? static_cast<char>(rng()) : kAlphabet[rng() % kAlphabet.size()];
    }
    XmlReader reader(document);
    bool finished = false;
    for (std::size_t i = 0; i <= document.size() + 1 && !finished; ++i) {
      auto event = reader.next();
      if (!event) {
        ++errors;
        finished = true;
        break;
      }
      if (!event->bytes.empty()) {
        ASSERT_GE(event->bytes.data(), document.data());
        ASSERT_LE(event->bytes.data() + event->bytes.size(), document.data() + document.size());
      }
      switch (event->kind) {
        case EventKind::Eof:
          ++eofs;
          finished = true;
          break;
        case EventKind::Start:
        case EventKind::Empty: {
          AttributeIterator it(event->content());
          for (std::size_t n = 0; n <= event->content().size(); ++n) {
            auto attribute = it.next();
            if (!attribute || !attribute->has_value()) break;
            (void)unescape((*attribute)->value, scratch);
          }
          EXPECT_FALSE(event->name().empty());
          break;
        }
        default:
          (void)unescape(event->bytes, scratch);
          break;
      }
    }
    ASSERT_TRUE(finished) << "no Eof or error for a document of " << document.size() << " bytes";
  }
  // Both outcomes must actually have been exercised.
  EXPECT_GT(errors, 0u);
  EXPECT_GT(eofs, 0u);
}

}  // namespace
}  // namespace corvane
