// Plain text between escape sequences: copied in bulk where it is clean,
// with control characters removed and invalid UTF-8 repaired.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Appends `text` (which holds no ESC byte) to `out`, keeping every
// well-formed UTF-8 character except the C0 controls other than the line feed
// and the C1 controls U+0080 to U+009F. Any byte that does not start a
// well-formed character is invalid and handled on its own: 0x80 to 0x9F is
// dropped (as a stray continuation byte, like the C1 controls it resembles),
// any other invalid byte becomes one U+FFFD. The output is valid UTF-8.
void append_ground_text(std::string_view text, std::string& out);

}  // namespace corvane
