// XML input from Python: a str, or bytes-like UTF-8, as the text a read
// works on.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>
#include <utility>

#include "py/result.hpp"

namespace corvane {

// The UTF-8 text of an XML input: a view of the str's or bytes' own buffer
// where the object has one and it cannot change (valid while the object
// lives), else bytes copied out (a bytearray, which another thread could
// resize while the read runs without the GIL, or another sequence).
class XmlText {
 public:
  static XmlText borrowed(const char* data, std::size_t size) { return XmlText(data, size, {}); }
  static XmlText owned(std::string bytes) { return XmlText(nullptr, 0, std::move(bytes)); }

  std::string_view view() const noexcept {
    return data_ != nullptr ? std::string_view(data_, size_) : std::string_view(owned_);
  }
  // Whether the bytes are still to be checked as UTF-8 (a str's never are).
  bool needs_utf8_check() const noexcept { return needs_utf8_check_; }
  void set_needs_utf8_check(bool needed) noexcept { needs_utf8_check_ = needed; }

 private:
  XmlText(const char* data, std::size_t size, std::string owned)
      : data_(data), size_(size), owned_(std::move(owned)) {}

  const char* data_;
  std::size_t size_;
  std::string owned_;
  bool needs_utf8_check_ = false;
};

// A str, or bytes-like UTF-8 (bytes, bytearray, or any non-str sequence of
// ints 0..255), as UTF-8 text. TypeError "XML input must be str or bytes"
// (other errors met on the way, such as KeyboardInterrupt, propagate);
// ValueError "XML bytes must be valid UTF-8".
[[nodiscard]] py::Result<XmlText> extract_xml(PyObject* obj);
// As extract_xml, leaving the UTF-8 check of bytes to the caller, who can
// make it without the GIL (see XmlText::needs_utf8_check) and then raise
// the same ValueError with raise_invalid_xml_utf8.
[[nodiscard]] py::Result<XmlText> extract_xml_unchecked(PyObject* obj);
void raise_invalid_xml_utf8();

}  // namespace corvane
