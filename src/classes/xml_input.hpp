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
// where the object has one (valid while the object lives and no Python code
// runs), else bytes copied out of a sequence.
class XmlText {
 public:
  static XmlText borrowed(const char* data, std::size_t size) { return XmlText(data, size, {}); }
  static XmlText owned(std::string bytes) { return XmlText(nullptr, 0, std::move(bytes)); }

  std::string_view view() const noexcept {
    return data_ != nullptr ? std::string_view(data_, size_) : std::string_view(owned_);
  }

 private:
  XmlText(const char* data, std::size_t size, std::string owned)
      : data_(data), size_(size), owned_(std::move(owned)) {}

  const char* data_;
  std::size_t size_;
  std::string owned_;
};

// A str, or bytes-like UTF-8 (bytes, bytearray, or any non-str sequence of
// ints 0..255), as UTF-8 text. TypeError "XML input must be str or bytes";
// ValueError "XML bytes must be valid UTF-8".
[[nodiscard]] py::Result<XmlText> extract_xml(PyObject* obj);

}  // namespace corvane
