// Attribute iteration over a tag's content: key, '=', quoted value, with
// duplicate detection and positioned error texts.
#include "xml_read/attributes.hpp"

#include "xml_read/xml_bytes.hpp"

namespace corvane {

AttributeIterator::AttributeIterator(std::string_view tag_content) noexcept
    : content_(tag_content), pos_(xml_bytes::find_white(tag_content, 0)) {}

// Error texts are built out of line: they are rare, and building them inline
// would burden every call of next() with their stack frame.
[[gnu::cold, gnu::noinline]] std::optional<std::expected<Attribute, AttrError>>
AttributeIterator::fail(std::size_t position, std::string_view what) {
  done_ = true;
  return std::unexpected(
      AttrError{"position " + std::to_string(position) + ": " + std::string(what)});
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

}  // namespace corvane
