// Escaping of character data and attribute values: the five characters with
// a predefined entity are replaced everywhere; in attribute values the line
// feed and the tab are also written as character references, since every
// conforming XML reader turns them into spaces when they appear raw there.
// Every other byte is copied unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/short_copy.hpp"
#include "xml_write/output_buffer.hpp"

namespace corvane {

// Where escaped text is written.
enum class EscapeContext : std::uint8_t { Text, Attribute };

namespace escape_detail {

inline constexpr std::array<std::string_view, 8> kEntities = {
    "", "&amp;", "&lt;", "&gt;", "&apos;", "&quot;", "&#10;", "&#9;"};

// Per byte: 0 for a byte copied as is, else the index of its entity.
template <EscapeContext Context>
inline constexpr std::array<std::uint8_t, 256> kEntityIndex = [] {
  std::array<std::uint8_t, 256> table{};
  table['&'] = 1;
  table['<'] = 2;
  table['>'] = 3;
  table['\''] = 4;
  table['"'] = 5;
  if (Context == EscapeContext::Attribute) {
    table['\n'] = 6;
    table['\t'] = 7;
  }
  return table;
}();

inline constexpr std::size_t kMaxEntityLength = 6;

}  // namespace escape_detail

// Appends the escaped form of character data `text` to `out`; the hot path
// of the writer, copying straight into the buffer's free room.
void append_escaped(std::string_view text, OutputBuffer& out);

// Long texts are escaped 32 bytes a step with AVX2 where the processor has
// it, else 16 bytes a step. Tests turn the wide steps off to run the
// baseline steps over long texts too; on when `wanted` and the processor
// allows. Returns whether they were on.
bool use_wide_escaping(bool wanted) noexcept;

// The bytes an attribute adds besides its name and value: ` ="` and `"`.
inline constexpr std::size_t kAttributeFrameBytes = 4;

// Writes ` name="` at `out`, which has room for it; returns its end.
inline char* put_attribute_start(char* out, std::string_view name) noexcept {
  *out++ = ' ';
  out = copy_short(out, name.data(), name.size());
  *out++ = '=';
  *out++ = '"';
  return out;
}

namespace escape_detail {

// Room that the copy of a short plain text may use, past its end too.
inline constexpr std::size_t kPlainRoom = 64;

// The value copied to `room` (kPlainRoom bytes) if it is short and needs no
// escaping: its end, else null with nothing written.
char* put_plain_attribute_value(char* room, std::string_view value) noexcept;

// The value escaped, appended to `out`: the general case.
void append_escaped_attribute_value(std::string_view value, OutputBuffer& out);

}  // namespace escape_detail

// Appends a whole attribute, ` name="value"`: the name as given, the value
// escaped as character data is, and its line feeds and tabs as "&#10;" and
// "&#9;". Inline, so that a name known where it is written is copied as a
// constant; a short plain value goes into the same room, claimed once.
inline void append_attribute(std::string_view name, std::string_view value, OutputBuffer& out) {
  using namespace escape_detail;
  char* start = out.append_raw(name.size() + kAttributeFrameBytes + kPlainRoom);
  char* value_start = put_attribute_start(start, name);
  if (char* end = put_plain_attribute_value(value_start, value)) {
    *end++ = '"';
    out.commit(end);
    return;
  }
  out.commit(value_start);
  append_escaped_attribute_value(value, out);
  out.append('"');
}

}  // namespace corvane
