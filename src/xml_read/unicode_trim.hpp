// Trimming of Unicode White_Space from both ends of UTF-8 text.
#pragma once

#include <string_view>

namespace corvane {

// `text` without leading and trailing characters of the Unicode White_Space
// property. Bytes that do not form such a character are never removed, so
// invalid UTF-8 is left in place.
std::string_view trim_unicode_white_space(std::string_view text) noexcept;

}  // namespace corvane
