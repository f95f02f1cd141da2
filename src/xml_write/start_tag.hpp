// A start tag under construction: the element name followed by its
// attributes, as the bytes that go between the angle brackets.
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

class StartTag {
 public:
  using AttributePair = std::pair<std::string_view, std::string_view>;

  StartTag() = default;
  explicit StartTag(std::string_view name) { reset(name); }

  // Starts over with a new element name, keeping the storage so that one tag
  // reused for a whole document allocates only while it grows.
  void reset(std::string_view name) {
    bytes_.clear();
    bytes_.append(name);
  }

  // ` name="value"`, the value escaped as an attribute value (line feeds and
  // tabs as character references); the name is written as given.
  void push_attribute(std::string_view name, std::string_view value) {
    open_attribute(name);
    append_escaped_attribute(value, bytes_);
    bytes_.append('"');
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
    open_attribute(name);
    char* out = bytes_.append_raw(max_length + 1);
    out = format(out);
    *out++ = '"';
    bytes_.commit(out);
  }

  std::string_view contents() const noexcept { return bytes_.view(); }

 private:
  void open_attribute(std::string_view name) {
    char* out = bytes_.append_raw(name.size() + 3);
    *out++ = ' ';
    if (!name.empty()) std::memcpy(out, name.data(), name.size());
    out += name.size();
    *out++ = '=';
    *out++ = '"';
    bytes_.commit(out);
  }

  OutputBuffer bytes_;
};

}  // namespace corvane
