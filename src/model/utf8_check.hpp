// Strict UTF-8 validation, shared by the reader (input documents and the
// byte ranges taken from them) and the writer (finished documents).
#pragma once

#include <string_view>

namespace corvane {

// True when `bytes` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence.
bool is_valid_utf8(std::string_view bytes) noexcept;

}  // namespace corvane
