// Reading window by window: the event reader tells a construct that its
// input ends inside of from a malformed one, and a stream over any cut of a
// document gives what reading it whole gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "xml_read/report_deserializer.hpp"
#include "xml_read/suite_stream.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {
namespace {

// Whether reading `input` to its first error or Eof reached the end.
bool ends_at_end(std::string_view input) {
  XmlReader reader(input);
  for (;;) {
    auto event = reader.next();
    if (!event || event->kind == EventKind::Eof) return reader.reached_end();
  }
}

TEST(XmlReaderWindow, TellsCutConstructsFromMalformedOnes) {
  for (std::string_view cut : {"<a", "<a b=\"x", "<a>text", "<a>&am", "<a></a", "<", "<!-",
                               "<!-- c -", "<![CDATA[x]", "<?xml v", "<!DOCTYPE a [", "<a><b/>"}) {
    EXPECT_TRUE(ends_at_end(cut)) << cut;
  }
  for (std::string_view malformed : {"<a></b>", "<a>&x<", "<1>", "<!x>", "<!DOCTYPEa>"}) {
    EXPECT_FALSE(ends_at_end(malformed)) << malformed;
  }
}

class StringSource final : public ByteSource {
 public:
  explicit StringSource(std::string_view text) : text_(text) {}
  std::optional<std::size_t> read(char* into, std::size_t size) override {
    const std::size_t taken = std::min({size, text_.size() - at_, std::size_t{3}});
    std::memcpy(into, text_.data() + at_, taken);
    at_ += taken;
    return taken;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// A failure's text, with the XML reader's reason and place when it has one.
std::string failure(const StreamFailure& error) { return error.text + " | " + error.note; }
std::string failure(const DeserializeError& error) {
  return error.text() + " | " + std::string(error.reader_reason());
}

// The suites of a stream as one report with the header's fields, or the error.
std::string streamed(std::string_view document, std::size_t chunk) {
  StringSource source(document);
  auto stream = strict_suite_stream(source, chunk);
  auto header = stream->header();
  if (!header) return failure(header.error());
  Report report = **header;
  for (;;) {
    auto suite = stream->next();
    if (!suite) return failure(suite.error());
    if (!*suite) break;
    report.test_suites.push_back(std::move(**suite));
  }
  auto whole = deserialize_from_str(document);
  return whole && *whole == report ? "same" : "different";
}

TEST(SuiteStream, EveryWindowSizeReadsAsTheWholeDocument) {
  constexpr std::string_view kDocument =
      "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- >< --><testsuites name=\"r\xC3\xA9\">"
      "<w><testsuite name=\"a\" time=\"1.5\"><testcase name=\"x\"><failure message=\"m\">"
      "t &amp; <![CDATA[<c>]]></failure></testcase></testsuite></w>"
      "<testsuite name=\"b\"/></testsuites>";
  constexpr std::string_view kBadValue =
      "<testsuites name=\"r\"><testsuite name=\"a\"><testcase name=\"x\" time=\"1,5\"/>"
      "</testsuite></testsuites>";
  // A root complete at a window's end, then an error after it.
  constexpr std::string_view kErrorAfterRoot = "<testsuites name=\"a\"/>><";
  // Malformed lines down, past a BOM and CR LF pairs that windows split:
  // its place counts the lines of the windows already left behind.
  constexpr std::string_view kMalformedLate =
      "\xEF\xBB\xBF<testsuites name=\"r\">\r\n<testsuite name=\"\xC3\xA9\">\r\r\n\n"
      "  <testcase name=\"\xC3\xBC\"><failure>\n  x</testcase></testsuite></testsuites>";
  ASSERT_TRUE(failure(deserialize_from_str(kMalformedLate).error())
                  .ends_with("| line 6, column 4: end tag </testcase> does not match <failure>"));
  for (std::size_t chunk = 1; chunk <= 24; ++chunk) {
    for (std::string_view bad :
         {kErrorAfterRoot, kBadValue, kMalformedLate, kDocument.substr(0, 120)}) {
      EXPECT_EQ(streamed(bad, chunk), failure(deserialize_from_str(bad).error())) << chunk << bad;
    }
    EXPECT_EQ(streamed(kDocument, chunk), "same") << chunk;
  }
}

}  // namespace
}  // namespace corvane
