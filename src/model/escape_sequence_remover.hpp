// Removal of ANSI / ECMA-48 escape sequences and control characters: the
// DEC terminal parser's states, run over text that is to be stored, with
// nothing but plain text (and line feeds and tabs executed inside sequences)
// output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

enum class SequenceState : std::uint8_t {
  Ground,
  Escape,
  EscapeIntermediate,
  CsiEntry,
  CsiParameter,
  CsiIntermediate,
  CsiIgnore,
  DcsEntry,
  DcsParameter,
  DcsIntermediate,
  DcsPassthrough,
  DcsIgnore,
  OscString,
  SosPmApcString,
};

// Feeds one byte to an open sequence and returns the next state; appends the
// byte to `out` when it is a line feed or tab that the state executes.
// Ground text is not handled here: in Ground only ESC (which opens a
// sequence) has an effect, every other byte is left to the caller.
SequenceState step_sequence(SequenceState state, unsigned char byte, std::string& out);

// Appends `text` to `out` with every escape sequence removed, the C0 controls
// but the line feed and the tab and the C1 controls dropped, and invalid
// UTF-8 outside sequences repaired (see append_ground_text). A sequence still
// open at the end of `text` swallows the rest. Accepts any bytes; the output
// is valid UTF-8 and holds no C0 control but the line feed and the tab.
void remove_escape_sequences(std::string_view text, std::string& out);

}  // namespace corvane
