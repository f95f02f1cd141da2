// The escape-sequence state machine. Text between sequences is found with a
// byte search for ESC and handled as one run; only the bytes of a sequence
// are stepped through one at a time.
#include "model/escape_sequence_remover.hpp"

#include <cstddef>

#include "model/byte_class.hpp"
#include "model/ground_text.hpp"

namespace corvane {

namespace {

using byte_class::has;
using byte_class::kExecute;
using byte_class::kFinal;
using byte_class::kIntermediate;
using byte_class::kParameter;
using byte_class::kPrivate;

// A terminal performs a C0 control met inside a sequence; of those, only the
// controls that plain text keeps (line feed, tab) leave a trace in stored
// text.
void execute(unsigned char byte, std::string& out) {
  if (byte_class::is_kept_control(byte)) out.push_back(static_cast<char>(byte));
}

SequenceState after_escape(unsigned char byte, std::string& out) {
  using enum SequenceState;
  switch (byte) {
    case 'P':
      return DcsEntry;
    case 'X':
    case '^':
    case '_':
      return SosPmApcString;
    case '[':
      return CsiEntry;
    case ']':
      return OscString;
    default:
      break;
  }
  if (has(byte, kExecute)) {
    execute(byte, out);
    return Escape;
  }
  if (has(byte, kIntermediate)) return EscapeIntermediate;
  if (has(byte, kParameter | kPrivate | kFinal)) return Ground;
  return Escape;  // DEL or a high byte: ignored
}

// The escape-intermediate and the four CSI states share their handling of
// C0 (executed), DEL and high bytes (ignored) and final bytes (end).
SequenceState after_escape_or_csi(SequenceState state, unsigned char byte, std::string& out) {
  using enum SequenceState;
  if (has(byte, kExecute)) {
    execute(byte, out);
    return state;
  }
  if (has(byte, kFinal)) return Ground;
  const bool intermediate = has(byte, kIntermediate);
  const bool parameter = has(byte, kParameter);
  const bool parameter_or_private = has(byte, kParameter | kPrivate);
  switch (state) {
    case EscapeIntermediate:
      if (intermediate) return state;
      if (parameter_or_private) return Ground;
      return state;
    case CsiEntry:
      if (intermediate) return CsiIntermediate;
      if (parameter_or_private) return CsiParameter;
      return state;
    case CsiParameter:
      if (intermediate) return CsiIntermediate;
      if (parameter) return state;
      if (parameter_or_private) return CsiIgnore;
      return state;
    case CsiIntermediate:
      if (intermediate) return state;
      if (parameter_or_private) return CsiIgnore;
      return state;
    default:  // CsiIgnore
      return state;
  }
}

// The DCS states before passthrough ignore C0 outright: a line feed in a
// device control string is data, not something to show.
SequenceState after_dcs_header(SequenceState state, unsigned char byte) {
  using enum SequenceState;
  if (has(byte, kFinal)) return DcsPassthrough;
  const bool intermediate = has(byte, kIntermediate);
  const bool parameter = has(byte, kParameter);
  const bool parameter_or_private = has(byte, kParameter | kPrivate);
  switch (state) {
    case DcsEntry:
      if (intermediate) return DcsIntermediate;
      if (parameter_or_private) return DcsParameter;
      return state;
    case DcsParameter:
      if (intermediate) return DcsIntermediate;
      if (parameter) return state;
      if (parameter_or_private) return DcsIgnore;
      return state;
    default:  // DcsIntermediate
      if (intermediate) return state;
      if (parameter_or_private) return DcsIgnore;
      return state;
  }
}

}  // namespace

SequenceState step_sequence(SequenceState state, unsigned char byte, std::string& out) {
  using enum SequenceState;
  if (has(byte, byte_class::kCancel)) return Ground;
  if (has(byte, byte_class::kEscape)) return Escape;
  switch (state) {
    case Ground:
      return Ground;
    case Escape:
      return after_escape(byte, out);
    case EscapeIntermediate:
    case CsiEntry:
    case CsiParameter:
    case CsiIntermediate:
    case CsiIgnore:
      return after_escape_or_csi(state, byte, out);
    case DcsEntry:
    case DcsParameter:
    case DcsIntermediate:
      return after_dcs_header(state, byte);
    case DcsPassthrough:
      return byte == byte_class::kStringTerminator ? Ground : state;
    case OscString:
      return byte == byte_class::kBel ? Ground : state;
    case DcsIgnore:
    case SosPmApcString:
      return state;
  }
  return Ground;
}

void remove_escape_sequences(std::string_view text, std::string& out) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end) {
    // The ground-text scan stops at the ESC that starts the next sequence.
    p += append_ground_text(std::string_view(p, static_cast<std::size_t>(end - p)), out);
    if (p == end) break;
    ++p;  // the ESC
    SequenceState state = SequenceState::Escape;
    while (p != end && state != SequenceState::Ground) {
      state = step_sequence(state, static_cast<unsigned char>(*p++), out);
    }
  }
}

}  // namespace corvane
