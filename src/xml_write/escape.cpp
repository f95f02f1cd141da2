// The copying form of escaping, for callers that want the escaped text on
// its own rather than appended to a document.
#include "xml_write/escape.hpp"

namespace corvane {

namespace {

struct StringAppender {
  std::string& out;
  void append(std::string_view bytes) { out.append(bytes); }
};

}  // namespace

EscapedText escape(std::string_view text) {
  const std::size_t first = escape_detail::find_special(text, 0);
  if (first == text.size()) return EscapedText::borrowed(text);
  std::string out;
  // Room for the plain prefix plus a few entities; append grows as needed.
  out.reserve(text.size() + 16);
  StringAppender appender{out};
  append_escaped(text, appender);
  return EscapedText::owned(std::move(out));
}

}  // namespace corvane
