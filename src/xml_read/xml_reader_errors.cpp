// Describing the XML reader's errors: why the construct was refused and
// where it starts, worked out from the input only once an error is reported,
// so that reading pays nothing for it.
#include <algorithm>
#include <string>

#include "xml_read/xml_bytes.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {
namespace {

// Names echoed in a reason are cut to this many bytes: a reason that repeats
// a whole malformed document helps nobody.
constexpr std::size_t kMaxEchoedName = 80;

// The number of characters in `text`: UTF-8 continuation bytes start none.
std::size_t characters(std::string_view text) noexcept {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string echo(std::string_view name) {
  if (name.size() <= kMaxEchoedName) return std::string(name);
  return std::string(name.substr(0, kMaxEchoedName)) + "...";
}

// The element name of the tag that starts at `offset` ("<name ..." or
// "</name ..."), as far as it goes.
std::string_view name_at(std::string_view input, std::size_t offset) {
  if (offset >= input.size()) return {};
  std::size_t begin = offset + 1;
  if (begin < input.size() && input[begin] == '/') ++begin;
  std::size_t end = begin;
  while (end < input.size() && !xml_bytes::has(input[end], xml_bytes::kWhite) &&
         input[end] != '>' && input[end] != '/') {
    ++end;
  }
  return input.substr(begin, end - begin);
}

}  // namespace

// Counted in bulk rather than byte by byte: a document read a window at a
// time passes through here whole.
TextPlace place_after(TextPlace place, std::string_view text) noexcept {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (place.offset == 0 && text.starts_with(kBom)) {
    place.offset = kBom.size();
    text.remove_prefix(kBom.size());
  }
  if (text.empty()) return place;
  place.offset += text.size();
  // Every LF ends a line, and every CR that no LF follows; the LF of a CR LF
  // split between two texts was counted with its CR.
  auto breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  if (place.after_cr && text.front() == '\n') --breaks;
  for (std::size_t cr = text.find('\r'); cr != std::string_view::npos;
       cr = text.find('\r', cr + 1)) {
    if (cr + 1 == text.size() || text[cr + 1] != '\n') ++breaks;
  }
  const std::size_t last_break = text.find_last_of("\r\n");
  if (last_break == std::string_view::npos) {
    place.column += characters(text);
  } else {
    place.line += breaks;
    place.column = 1 + characters(text.substr(last_break + 1));
  }
  place.after_cr = text.back() == '\r';
  return place;
}

std::string XmlReader::describe(const ReaderError& error) const {
  const std::string open = open_.empty() ? std::string() : echo(open_.back());
  const std::string name = echo(name_at(input_, error.offset));
  std::string reason;
  switch (error.problem) {
    case ReaderProblem::BareAmpersand:
      reason = "'&' does not start a reference closed by ';'";
      break;
    case ReaderProblem::LoneLessThan:
      reason = "'<' at the end of the input";
      break;
    case ReaderProblem::UnclosedComment:
      reason = "comment not closed by '-->'";
      break;
    case ReaderProblem::UnclosedCData:
      reason = "CDATA section not closed by ']]>'";
      break;
    case ReaderProblem::UnclosedInstruction:
      reason = "processing instruction not closed by '?>'";
      break;
    case ReaderProblem::UnclosedTag:
      reason = "tag <" + name + "> not closed by '>'";
      break;
    case ReaderProblem::BadElementName:
      reason = "'<' not followed by an element name";
      break;
    case ReaderProblem::UnclosedEndTag:
      reason = "end tag </" + name + "> not closed by '>'";
      break;
    case ReaderProblem::UnmatchedEndTag:
      reason = "end tag </" + name + "> closes no open element";
      break;
    case ReaderProblem::MismatchedEndTag:
      reason = "end tag </" + name + "> does not match <" + open + ">";
      break;
    case ReaderProblem::UnknownMarkup:
      reason = "'<!' starts no comment, CDATA section or DOCTYPE";
      break;
    case ReaderProblem::BadDocType:
      reason = "malformed or unclosed DOCTYPE";
      break;
    case ReaderProblem::EofInElement:
      reason = "the input ends inside <" + open + ">";
      break;
  }
  const TextPlace at = place_after(start_, input_.substr(0, error.offset));
  return "line " + std::to_string(at.line) + ", column " + std::to_string(at.column) + ": " +
         reason;
}

}  // namespace corvane
