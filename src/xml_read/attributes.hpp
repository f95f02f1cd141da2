// Iteration over the attributes of a start or empty-element tag, with the
// syntax and duplicate checks whose texts reach the user.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvane {

// An attribute-syntax failure; `text` is the full user-visible text, for
// example "position 19: duplicated attribute, previous declaration at position 10".
struct AttrError {
  std::string text;
};

struct Attribute {
  std::string_view key;    // as written, prefix included
  std::string_view value;  // raw, still escaped, without the quotes
};

// Walks the attributes of one tag's content (the bytes between '<' and '>',
// without the '/' of an empty-element tag), in document order. Positions in
// errors are offsets into that content. After the first error, or once the
// attributes are exhausted, next() gives nothing.
class AttributeIterator {
 public:
  explicit AttributeIterator(std::string_view tag_content) noexcept;

  [[nodiscard]] std::optional<std::expected<Attribute, AttrError>> next();

 private:
  // Up to this many keys per tag are compared directly; beyond, by hash.
  static constexpr std::size_t kDirectKeys = 32;

  // Trivial, so the direct list costs nothing to construct.
  struct SeenKey {
    std::size_t position;
    std::size_t size;
  };

  // The position of an earlier identical key, if any; records `key` otherwise.
  std::optional<std::size_t> remember_key(std::string_view key, std::size_t position);
  // remember_key for tags with more than kDirectKeys attributes.
  std::optional<std::size_t> remember_key_hashed(std::string_view key, std::size_t position);
  // Ends the walk with `error`.
  std::optional<std::expected<Attribute, AttrError>> fail(std::size_t position,
                                                          std::string_view what);

  std::string_view content_;
  std::size_t pos_;
  bool done_ = false;
  std::size_t seen_count_ = 0;
  std::array<SeenKey, kDirectKeys> seen_;
  // Made only for a tag with more than kDirectKeys attributes, so that the
  // common tag neither builds nor tears down a hash table.
  std::unique_ptr<std::unordered_map<std::string_view, std::size_t>> seen_hashed_;
};

}  // namespace corvane
