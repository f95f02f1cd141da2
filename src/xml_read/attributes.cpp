// Attribute iteration over a tag's content: key, '=', quoted value, with
// duplicate detection and positioned error texts.
#include "xml_read/attributes.hpp"

#include "xml_read/xml_bytes.hpp"

namespace corvane {

using xml_bytes::find_any;
using xml_bytes::find_flag;
using xml_bytes::kWhite;
using xml_bytes::skip_flag;

AttributeIterator::AttributeIterator(std::string_view tag_content) noexcept
    : content_(tag_content), pos_(find_flag(tag_content, 0, kWhite)) {}

// Error texts are built out of line: they are rare, and building them inline
// would burden every call of next() with their stack frame.
[[gnu::cold, gnu::noinline]] std::optional<std::expected<Attribute, AttrError>>
AttributeIterator::fail(std::size_t position, std::string_view what) {
  done_ = true;
  return std::unexpected(
      AttrError{"position " + std::to_string(position) + ": " + std::string(what)});
}

inline std::optional<std::size_t> AttributeIterator::remember_key(std::string_view key,
                                                                  std::size_t position) {
  if (seen_count_ >= kDirectKeys) [[unlikely]] {
    return remember_key_hashed(key, position);
  }
  const char* base = content_.data();
  for (std::size_t i = 0; i < seen_count_; ++i) {
    if (std::string_view(base + seen_[i].position, seen_[i].size) == key) return seen_[i].position;
  }
  seen_[seen_count_++] = SeenKey{position, key.size()};
  return std::nullopt;
}

[[gnu::noinline]] std::optional<std::size_t> AttributeIterator::remember_key_hashed(
    std::string_view key, std::size_t position) {
  if (seen_count_ == kDirectKeys) {
    // The direct list is full: move it into the hash map once, then keep
    // every later key there too.
    seen_hashed_ = std::make_unique<std::unordered_map<std::string_view, std::size_t>>();
    seen_hashed_->reserve(2 * kDirectKeys);
    for (const SeenKey& seen : seen_) {
      seen_hashed_->emplace(content_.substr(seen.position, seen.size), seen.position);
    }
  }
  auto [it, inserted] = seen_hashed_->emplace(key, position);
  if (!inserted) return it->second;
  ++seen_count_;
  return std::nullopt;
}

std::optional<std::expected<Attribute, AttrError>> AttributeIterator::next() {
  if (done_) return std::nullopt;
  const std::size_t size = content_.size();

  const std::size_t key_start = skip_flag(content_, pos_, kWhite);
  if (key_start == size) {
    done_ = true;
    return std::nullopt;
  }
  // The first byte always belongs to the key, so a key is never empty.
  const std::size_t key_end = find_any<'=', ' ', '\t', '\n', '\r'>(content_, key_start + 1);
  const std::string_view key(content_.data() + key_start, key_end - key_start);
  if (auto previous = remember_key(key, key_start)) [[unlikely]] {
    return fail(key_start, "duplicated attribute, previous declaration at position " +
                               std::to_string(*previous));
  }

  const std::size_t eq = skip_flag(content_, key_end, kWhite);
  if (eq == size || content_[eq] != '=') [[unlikely]] {
    return fail(eq, "attribute key must be directly followed by `=` or space");
  }
  const std::size_t value_start = skip_flag(content_, eq + 1, kWhite);
  if (value_start == size) [[unlikely]] {
    return fail(size, "`=` must be followed by an attribute value");
  }
  const char quote = content_[value_start];
  if (quote != '"' && quote != '\'') [[unlikely]] {
    return fail(value_start, "attribute value must be enclosed in `\"` or `'`");
  }
  const std::size_t value_end = quote == '"' ? find_any<'"'>(content_, value_start + 1)
                                             : find_any<'\''>(content_, value_start + 1);
  if (value_end == size) [[unlikely]] {
    return fail(size, std::string("missing closing quote `") + quote + "` in attribute value");
  }
  pos_ = value_end + 1;
  return Attribute{
      key, std::string_view(content_.data() + value_start + 1, value_end - value_start - 1)};
}

}  // namespace corvane
