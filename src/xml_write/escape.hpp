// Escaping of character data and attribute values: the five characters with
// a predefined entity are replaced everywhere; in attribute values the line
// feed and the tab are also written as character references, since every
// conforming XML reader turns them into spaces when they appear raw there.
// Every other byte is copied unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

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

// Index of the first byte of `text` at or after `from` that needs an entity,
// or text.size().
template <EscapeContext Context>
std::size_t find_special(std::string_view text, std::size_t from) noexcept;

}  // namespace escape_detail

// Feeds the escaped form of character data `text` to `emit` (called with
// string_views): plain runs in one piece, one entity per special byte. `emit`
// returns whatever the caller's writes return; the first falsy result stops
// the walk and is returned, so sinks that can fail propagate their error.
template <typename Emit>
auto for_each_escaped_piece(std::string_view text, Emit&& emit) -> decltype(emit(text)) {
  constexpr auto kText = EscapeContext::Text;
  std::size_t start = 0;
  for (;;) {
    const std::size_t special = escape_detail::find_special<kText>(text, start);
    if (special > start) {
      auto result = emit(text.substr(start, special - start));
      if (!result) return result;
    }
    if (special == text.size()) return decltype(emit(text)){};
    const auto entity =
        escape_detail::kEntityIndex<kText>[static_cast<unsigned char>(text[special])];
    auto result = emit(escape_detail::kEntities[entity]);
    if (!result) return result;
    start = special + 1;
  }
}

// Appends the escaped form of character data `text` to `out`; the hot path
// of the writer, copying straight into the buffer's free room.
void append_escaped(std::string_view text, OutputBuffer& out);

// The same for an attribute value, whose line feeds and tabs become "&#10;"
// and "&#9;".
void append_escaped_attribute(std::string_view value, OutputBuffer& out);

// The result of `escape`: the input itself when nothing needed escaping,
// otherwise an owned escaped copy.
class EscapedText {
 public:
  static EscapedText borrowed(std::string_view text) { return EscapedText(text, {}, false); }
  static EscapedText owned(std::string text) { return EscapedText({}, std::move(text), true); }

  std::string_view view() const noexcept {
    return is_owned_ ? std::string_view(owned_) : borrowed_;
  }
  bool is_borrowed() const noexcept { return !is_owned_; }

 private:
  EscapedText(std::string_view borrowed, std::string owned, bool is_owned)
      : borrowed_(borrowed), owned_(std::move(owned)), is_owned_(is_owned) {}

  std::string_view borrowed_;
  std::string owned_;
  bool is_owned_;
};

// Character data `text` escaped; allocates only when `text` holds a
// character to escape.
EscapedText escape(std::string_view text);

}  // namespace corvane
