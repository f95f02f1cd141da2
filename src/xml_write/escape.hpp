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

// The same for an attribute value, whose line feeds and tabs become "&#10;"
// and "&#9;".
void append_escaped_attribute(std::string_view value, OutputBuffer& out);

}  // namespace corvane
