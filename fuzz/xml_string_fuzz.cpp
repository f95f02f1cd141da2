// Feeds arbitrary bytes to XmlString: the cleaned text must be valid UTF-8,
// hold only characters XML 1.0 allows in a document (so no ESC, no C1
// control, no U+FFFE or U+FFFF), keep no control but the line feed and the
// tab, and stay the same when cleaned again. Element text read from a
// document is cleaned and then trimmed; the shortcut that trims the raw text
// first must give the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/xml_string.hpp"
#include "xml_read/unicode_trim.hpp"

namespace {

// Decodes one well-formed UTF-8 character at `i`, or returns false.
bool decode(std::string_view s, std::size_t& i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    cp = lead;
    ++i;
    return true;
  } else if (lead >= 0xC0 && lead < 0xE0) {
    length = 2, minimum = 0x80, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3, minimum = 0x800, cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF8) {
    length = 4, minimum = 0x10000, cp = lead & 0x07;
  } else {
    return false;
  }
  if (s.size() - i < length) return false;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += length;
  return true;
}

// XML 1.0's Char production, less the carriage return that cleaning removes
// as a control.
bool allowed(char32_t cp) {
  if (cp == '\n' || cp == '\t') return true;
  if (cp < 0x20) return false;
  if (cp >= 0x7F && cp <= 0x9F) return cp == 0x7F;  // DEL stays, C1 goes
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  return cp != 0xFFFE && cp != 0xFFFF;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const corvane::XmlString cleaned(input);
  const std::string_view out = cleaned.view();
  if (out.size() > 3 * input.size()) std::abort();  // at most one U+FFFD per byte
  for (std::size_t i = 0; i < out.size();) {
    char32_t cp = 0;
    if (!decode(out, i, cp) || !allowed(cp)) std::abort();
  }
  if (corvane::XmlString(out) != cleaned) std::abort();
  if (corvane::clean_and_trim(input).view() != corvane::trim_unicode_white_space(out)) {
    std::abort();
  }

  // Appending cleans the same way, whatever was in the buffer before.
  std::string buffer = "prefix";
  corvane::append_sanitised(input, buffer);
  if (std::string_view(buffer).substr(6) != out) std::abort();
  return 0;
}
