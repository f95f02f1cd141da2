// Trimming of Unicode White_Space from both ends of UTF-8 text, and the
// stored form of element text read from a document.
#pragma once

#include <string_view>

#include "model/xml_string.hpp"

namespace corvane {

// `text` without leading and trailing characters of the Unicode White_Space
// property. Bytes that do not form such a character are never removed, so
// invalid UTF-8 is left in place.
std::string_view trim_unicode_white_space(std::string_view text) noexcept;

// `raw` cleaned, then trimmed. In that order, so that white space that
// cleaning exposes (a colour reset after the last line feed, a control
// between spaces) is trimmed too, and text read back from what was written
// is the same text.
// A longer text is stored in `arena` when one is given. `known_plain`: the
// caller knows `raw` holds only printable ASCII, line feeds and tabs, which
// cleaning keeps as they are, so it is not scanned for anything to clean.
XmlString clean_and_trim(std::string_view raw, TextArena* arena = nullptr,
                         bool known_plain = false);

}  // namespace corvane
