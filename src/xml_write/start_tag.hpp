// Start tags under construction: the attributes appended to a tag being
// written, and a tag built in storage of its own.
#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

#include "xml_write/escape.hpp"
#include "xml_write/output_buffer.hpp"

namespace corvane {

// Attributes added to a start tag, appended to the buffer the tag is being
// written into: a StartTag's own, or the document itself when the writer
// writes the tag in place (XmlWriter::open_tag).
class TagAttributes {
 public:
  using AttributePair = std::pair<std::string_view, std::string_view>;

  explicit TagAttributes(OutputBuffer& out) noexcept : out_(&out) {}

  // ` name="value"`, the value escaped as an attribute value (line feeds and
  // tabs as character references); the name is written as given.
  void push_attribute(std::string_view name, std::string_view value) {
    append_attribute(name, value, *out_);
  }

  void extend_attributes(std::span<const AttributePair> attributes) {
    for (const auto& [name, value] : attributes) push_attribute(name, value);
  }
  void extend_attributes(std::initializer_list<AttributePair> attributes) {
    extend_attributes(std::span<const AttributePair>(attributes.begin(), attributes.size()));
  }

  // An attribute whose value `format(char* out) -> char*` writes in place, in
  // at most `max_length` bytes. Only for values made of characters that never
  // need escaping (numbers, dates, identifiers), which skips the scan.
  template <typename Format>
  void push_formatted_attribute(std::string_view name, std::size_t max_length, Format&& format) {
    char* out = out_->append_raw(name.size() + kAttributeFrameBytes + max_length);
    out = put_attribute_start(out, name);
    out = format(out);
    *out++ = '"';
    out_->commit(out);
  }

 private:
  OutputBuffer* out_;
};

// A start tag built apart from any document, in storage of its own: the
// element name followed by its attributes, as the bytes that go between the
// angle brackets.
class StartTag {
 public:
  using AttributePair = TagAttributes::AttributePair;

  StartTag() = default;
  explicit StartTag(std::string_view name) { reset(name); }

  // Starts over with a new element name, keeping the storage.
  void reset(std::string_view name) {
    bytes_.clear();
    bytes_.append(name);
  }

  void push_attribute(std::string_view name, std::string_view value) {
    attributes().push_attribute(name, value);
  }
  void extend_attributes(std::span<const AttributePair> attributes_in_order) {
    attributes().extend_attributes(attributes_in_order);
  }
  void extend_attributes(std::initializer_list<AttributePair> attributes_in_order) {
    attributes().extend_attributes(attributes_in_order);
  }
  template <typename Format>
  void push_formatted_attribute(std::string_view name, std::size_t max_length, Format&& format) {
    attributes().push_formatted_attribute(name, max_length, std::forward<Format>(format));
  }

  std::string_view contents() const noexcept { return bytes_.view(); }

 private:
  TagAttributes attributes() noexcept { return TagAttributes(bytes_); }

  OutputBuffer bytes_;
};

}  // namespace corvane
