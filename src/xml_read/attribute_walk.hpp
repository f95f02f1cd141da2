// Walking a tag's attributes for a reader: each (key, raw value) pair goes to
// a callback, and a syntax error becomes a deserialize error at the
// element's path. Shared by the strict and the tolerant reader.
#pragma once

#include <expected>
#include <span>
#include <string_view>
#include <utility>

#include "xml_read/attributes.hpp"
#include "xml_read/deserialize_error.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

// `on_attribute(key, value)` returns std::expected<void, DeserializeError>;
// its first error ends the walk. The callback is taken by reference: a copy
// of its captures, just stored, would be reloaded at once in wider pieces,
// which stalls.
template <typename OnAttribute>
[[nodiscard]] std::expected<void, DeserializeError> for_each_attribute(const Event& tag,
                                                                       const ElementPath& path,
                                                                       OnAttribute&& on_attribute) {
  AttributeIterator attributes(tag.content());
  while (auto attribute = attributes.next()) {
    if (!*attribute) {
      return std::unexpected(
          make_error(path, DeserializeErrorKind::AttrError, std::move(attribute->error().text)));
    }
    if (auto done = on_attribute((*attribute)->key, (*attribute)->value); !done) return done;
  }
  return {};
}

// The same for a tag that `reader` has just read: the attributes its tag
// scan found are used as they are, and only a tag it could not take apart
// is walked again.
template <typename OnAttribute>
[[nodiscard]] std::expected<void, DeserializeError> for_each_attribute(const XmlReader& reader,
                                                                       const Event& tag,
                                                                       const ElementPath& path,
                                                                       OnAttribute&& on_attribute) {
  const std::span<const Attribute> scanned = reader.scanned_attributes(tag);
  if (scanned.data() == nullptr) [[unlikely]] {
    return for_each_attribute(tag, path, on_attribute);
  }
  for (const Attribute& attribute : scanned) {
    if (auto done = on_attribute(attribute.key, attribute.value); !done) return done;
  }
  return {};
}

}  // namespace corvane
