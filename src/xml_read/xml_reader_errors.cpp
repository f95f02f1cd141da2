// Describing the XML reader's errors: why the construct was refused and
// where it starts, worked out from the input only once an error is reported,
// so that reading pays nothing for it.
#include <string>

#include "xml_read/xml_bytes.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {
namespace {

// Names echoed in a reason are cut to this many bytes: a reason that repeats
// a whole malformed document helps nobody.
constexpr std::size_t kMaxEchoedName = 80;

// "line L, column C", counting from 1: a line break is a line feed, a
// carriage return and line feed, or a lone carriage return, as XML reads
// them; columns count characters (UTF-8 continuation bytes do not start one).
std::string place(std::string_view input, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  std::size_t i = input.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  for (; i < offset && i < input.size(); ++i) {
    const auto byte = static_cast<unsigned char>(input[i]);
    if (byte == '\n' || byte == '\r') {
      if (byte == '\r' && i + 1 < offset && input[i + 1] == '\n') ++i;
      ++line;
      column = 1;
    } else if ((byte & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
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
  return place(input_, error.offset) + ": " + reason;
}

}  // namespace corvane
