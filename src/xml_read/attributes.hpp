// Iteration over the attributes of a start or empty-element tag, with the
// syntax and duplicate checks whose texts reach the user.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/key_equal.hpp"
#include "xml_read/xml_bytes.hpp"

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

  [[nodiscard, gnu::always_inline]] std::optional<std::expected<Attribute, AttrError>> next();

 private:
  // Up to this many keys per tag are compared directly; beyond, by hash.
  static constexpr std::size_t kDirectKeys = 32;

  // Trivial, so the direct list costs nothing to construct.
  struct SeenKey {
    std::size_t position;
    std::size_t size;
  };

  // The position of an earlier identical key, if any; records `key` otherwise.
  [[gnu::always_inline]] std::optional<std::size_t> remember_key(std::string_view key,
                                                                 std::size_t position);
  // remember_key for tags with more than kDirectKeys attributes.
  std::optional<std::size_t> remember_key_hashed(std::string_view key, std::size_t position);
  // Ends the walk with `error`.
  std::optional<std::expected<Attribute, AttrError>> fail(std::size_t position,
                                                          std::string_view what);

  std::string_view content_;
  std::size_t pos_;
  bool done_ = false;
  std::size_t seen_count_ = 0;
  // One bit per (first byte, length) class of the keys seen so far: a key
  // whose bit is clear equals none of them, so the list is not searched.
  std::uint64_t seen_classes_ = 0;
  std::array<SeenKey, kDirectKeys> seen_;
  // Made only for a tag with more than kDirectKeys attributes, so that the
  // common tag neither builds nor tears down a hash table.
  std::unique_ptr<std::unordered_map<std::string_view, std::size_t>> seen_hashed_;
};

// next() is defined here and always inlined into the walk that calls it, so
// that each key and value reach the walk's callback in registers. Returned
// through memory, they were reloaded at once in wider pieces than they had
// been stored in, which stalled on every attribute.
inline std::optional<std::size_t> AttributeIterator::remember_key(std::string_view key,
                                                                  std::size_t position) {
  if (seen_count_ >= kDirectKeys) [[unlikely]] {
    return remember_key_hashed(key, position);
  }
  // Keys are never empty.
  const std::uint64_t key_class =
      std::uint64_t{1} << ((static_cast<unsigned char>(key.front()) ^ (key.size() << 3)) & 63);
  const bool maybe_seen = (seen_classes_ & key_class) != 0;
  seen_classes_ |= key_class;
  const char* base = content_.data();
  for (std::size_t i = 0; maybe_seen && i < seen_count_; ++i) {
    const SeenKey& seen = seen_[i];
    if (keys_equal(std::string_view(base + seen.position, seen.size), key)) return seen.position;
  }
  seen_[seen_count_++] = SeenKey{position, key.size()};
  return std::nullopt;
}

inline std::optional<std::expected<Attribute, AttrError>> AttributeIterator::next() {
  if (done_) return std::nullopt;
  const std::size_t size = content_.size();

  const std::size_t key_start = xml_bytes::skip_flag(content_, pos_, xml_bytes::kWhite);
  if (key_start == size) {
    done_ = true;
    return std::nullopt;
  }
  // The first byte always belongs to the key, so a key is never empty.
  const std::size_t key_end =
      xml_bytes::find_any<'=', ' ', '\t', '\n', '\r'>(content_, key_start + 1);
  const std::string_view key(content_.data() + key_start, key_end - key_start);
  if (auto previous = remember_key(key, key_start)) [[unlikely]] {
    return fail(key_start, "duplicated attribute, previous declaration at position " +
                               std::to_string(*previous));
  }

  const std::size_t eq = xml_bytes::skip_flag(content_, key_end, xml_bytes::kWhite);
  if (eq == size || content_[eq] != '=') [[unlikely]] {
    return fail(eq, "attribute key must be directly followed by `=` or space");
  }
  const std::size_t value_start = xml_bytes::skip_flag(content_, eq + 1, xml_bytes::kWhite);
  if (value_start == size) [[unlikely]] {
    return fail(size, "`=` must be followed by an attribute value");
  }
  const char quote = content_[value_start];
  if (quote != '"' && quote != '\'') [[unlikely]] {
    return fail(value_start, "attribute value must be enclosed in `\"` or `'`");
  }
  const std::size_t value_end = xml_bytes::find_closing_quote(content_, value_start + 1, quote);
  if (value_end == size) [[unlikely]] {
    return fail(size, std::string("missing closing quote `") + quote + "` in attribute value");
  }
  pos_ = value_end + 1;
  return Attribute{
      key, std::string_view(content_.data() + value_start + 1, value_end - value_start - 1)};
}

}  // namespace corvane
