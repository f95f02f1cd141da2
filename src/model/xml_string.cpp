// XmlString construction: text is cleaned in one pass and stored at its
// exact size.
//
// Cleaning has two stages: removal of escape sequences and control
// characters, then removal of the characters that XML 1.0 forbids: the C0
// controls and the two noncharacters U+FFFE and U+FFFF, which the Char
// production leaves out just the same (a report holding them would be
// written as a document no XML parser accepts). The second stage is folded
// into the first rather than run as its own pass: plain text keeps an ASCII
// byte only if both stages keep it (byte_class.hpp builds one table from
// both rules), the ground-text scan drops U+FFFE and U+FFFF where it drops
// the C1 controls, and the only other bytes ever output are the line feed a
// sequence executes and U+FFFD, both legal in XML. The checks below hold the
// ASCII part of that reasoning to the tables at compile time.
//
// Any bytes are accepted, not only UTF-8: outside escape sequences a byte
// that does not start a well-formed character is dropped if it lies in 0x80
// to 0x9F and replaced by U+FFFD otherwise, so the stored text is always
// valid UTF-8.
#include "model/xml_string.hpp"

#include "model/byte_class.hpp"
#include "model/escape_sequence_remover.hpp"
#include "model/ground_text.hpp"

namespace corvane {

namespace {

constexpr bool xml_filter_is_folded_in() {
  for (int b = 0; b < 0x80; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    if (byte_class::forbidden_in_xml(byte) && byte_class::has(byte, byte_class::kKeptInText)) {
      return false;
    }
  }
  return !byte_class::forbidden_in_xml('\n');
}
static_assert(xml_filter_is_folded_in(), "plain text must never keep an XML-forbidden control");

}  // namespace

void append_sanitised(std::string_view text, std::string& out) {
  remove_escape_sequences(text, out);
}

// Most text is clean already: one scan finds out, and one copy stores it,
// made in place (a string made aside and moved in was reloaded in wider
// pieces than it had just been stored in, which stalls).
XmlString::XmlString(std::string_view text) : XmlString(text, kept_prefix_length(text)) {}

XmlString::XmlString(std::string_view text, std::size_t kept)
    : text_(kept == text.size() ? text : std::string_view()) {
  if (kept == text.size()) return;
  // Cleaning only shrinks valid UTF-8, so this is the final size unless
  // sequences were removed or invalid bytes were replaced. The buffer is
  // made at that size by construction: reserve() from the inline buffer
  // rounds 16 to 29 bytes up to 30, and shrink_to_fit would then allocate
  // and copy a second time.
  if (text.size() > text_.capacity()) {
    text_ = std::string(text.size(), '\0');
    text_.clear();
  }
  // The kept start holds no ESC, so cleaning resumes after it in plain text.
  text_.append(text.substr(0, kept));
  append_sanitised(text.substr(kept), text_);
  if (text_.capacity() != text_.size()) text_.shrink_to_fit();
}

}  // namespace corvane
