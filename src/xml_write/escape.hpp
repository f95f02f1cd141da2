// Escaping of attribute values and character data: the five characters with
// a predefined entity are replaced, every other byte is copied unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace corvane {

namespace escape_detail {

// Per byte: 0 for a byte copied as is, else the index of its entity + 1.
inline constexpr std::array<std::uint8_t, 256> kEntityIndex = [] {
  std::array<std::uint8_t, 256> table{};
  table['&'] = 1;
  table['<'] = 2;
  table['>'] = 3;
  table['\''] = 4;
  table['"'] = 5;
  return table;
}();

inline constexpr std::array<std::string_view, 6> kEntities = {
    "", "&amp;", "&lt;", "&gt;", "&apos;", "&quot;"};

// Index of the first byte of `text` at or after `from` that needs an entity,
// or text.size().
inline std::size_t find_special(std::string_view text, std::size_t from) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = from;
  const std::size_t n = text.size();
  // Four table probes per round keep the loop branch count low on the long
  // runs of plain text that make up most output.
  while (n - i >= 4) {
    if (kEntityIndex[bytes[i]] | kEntityIndex[bytes[i + 1]] | kEntityIndex[bytes[i + 2]] |
        kEntityIndex[bytes[i + 3]]) {
      break;
    }
    i += 4;
  }
  while (i < n && kEntityIndex[bytes[i]] == 0) ++i;
  return i;
}

}  // namespace escape_detail

// Feeds the escaped form of `text` to `emit` (called with string_views):
// plain runs in one piece, one entity per special byte. `emit` returns
// whatever the caller's writes return; the first falsy result stops the walk
// and is returned, so sinks that can fail propagate their error.
template <typename Emit>
auto for_each_escaped_piece(std::string_view text, Emit&& emit) -> decltype(emit(text)) {
  using escape_detail::find_special;
  std::size_t start = 0;
  for (;;) {
    const std::size_t special = find_special(text, start);
    if (special > start) {
      auto result = emit(text.substr(start, special - start));
      if (!result) return result;
    }
    if (special == text.size()) return decltype(emit(text)){};
    auto result = emit(escape_detail::kEntities[escape_detail::kEntityIndex[
        static_cast<unsigned char>(text[special])]]);
    if (!result) return result;
    start = special + 1;
  }
}

// Appends the escaped form of `text` to a buffer that cannot fail (anything
// with append(std::string_view)).
template <typename Buffer>
void append_escaped(std::string_view text, Buffer& out) {
  for_each_escaped_piece(text, [&out](std::string_view piece) {
    out.append(piece);
    return std::true_type{};
  });
}

// The result of `escape`: the input itself when nothing needed escaping,
// otherwise an owned escaped copy.
class EscapedText {
 public:
  static EscapedText borrowed(std::string_view text) { return EscapedText(text, {}, false); }
  static EscapedText owned(std::string text) { return EscapedText({}, std::move(text), true); }

  std::string_view view() const noexcept { return is_owned_ ? std::string_view(owned_) : borrowed_; }
  bool is_borrowed() const noexcept { return !is_owned_; }

 private:
  EscapedText(std::string_view borrowed, std::string owned, bool is_owned)
      : borrowed_(borrowed), owned_(std::move(owned)), is_owned_(is_owned) {}

  std::string_view borrowed_;
  std::string owned_;
  bool is_owned_;
};

// Allocates only when `text` holds a character to escape.
EscapedText escape(std::string_view text);

}  // namespace corvane
