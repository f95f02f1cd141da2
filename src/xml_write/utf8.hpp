// UTF-8 validation of a finished document.
#pragma once

#include <string_view>

namespace corvane {

// True when `bytes` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF, no cut-off sequence.
bool is_valid_utf8(std::string_view bytes) noexcept;

}  // namespace corvane
