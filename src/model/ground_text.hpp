// Plain text between escape sequences: copied in bulk where it is clean,
// with control characters removed and invalid UTF-8 repaired.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Appends the plain text at the start of `text`, up to its first ESC byte
// (0x1B) or its end, to `out`, and returns how many bytes were consumed, so
// the caller finds the next escape sequence without a separate search. Every
// well-formed UTF-8 character is kept except the C0 controls other than the
// line feed and the tab, the C1 controls U+0080 to U+009F, and U+FFFE /
// U+FFFF. Any byte that does not start a well-formed character is invalid
// and handled on its own: 0x80 to 0x9F is dropped (as a stray continuation
// byte, like the C1 controls it resembles), any other invalid byte becomes
// one U+FFFD. The output is valid UTF-8.
std::size_t append_ground_text(std::string_view text, std::string& out);

// Length of the longest start of `text` that cleaning keeps as it is: it
// holds no ESC and nothing that is dropped or replaced.
std::size_t kept_prefix_length(std::string_view text);

}  // namespace corvane
