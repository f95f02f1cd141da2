// Stored sanitised text to and from Python str, shared by every class that
// keeps texts: optional texts read back as None when absent, and a None
// argument means "no text".
#pragma once

#include <Python.h>

#include <cstddef>
#include <optional>
#include <string_view>

#include "model/xml_string.hpp"
#include "py/convert.hpp"
#include "py/result.hpp"

namespace py {

// Sanitised text. A short text of printable ASCII only (0x20 to 0x7F), as
// names, class names and attribute values mostly are, is stored without the
// block scan: for a few bytes a plain loop over them costs a fraction of it.
// Anything else is cleaned as usual.
inline corvane::XmlString clean_text(std::string_view text) {
  constexpr std::size_t kShort = 16;
  if (text.size() <= kShort) {
    bool printable = true;
    for (const char c : text) printable &= static_cast<unsigned char>(c - 0x20) < 0x60;
    if (printable) return corvane::XmlString(corvane::XmlString::PrintableAscii{}, text);
  }
  return corvane::XmlString(text);
}

// A new str of UTF-8 text, or NULL with the error set; the raw form suits a
// getter, which hands its result straight to CPython.
inline PyObject* new_str(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// As new_str, with None for an absent text.
inline PyObject* new_optional_str(const std::optional<corvane::XmlString>& text) {
  if (!text) return Py_NewRef(Py_None);
  return new_str(text->view());
}

// NULL (omitted) or None give no text; a str is sanitised; anything else is
// the TypeError of py::to_str. Callers add the note for their parameter.
[[nodiscard]] inline Result<std::optional<corvane::XmlString>> to_optional_text(PyObject* object) {
  auto text = to_optional_str(object);
  if (!text) return raised();
  if (!*text) return std::optional<corvane::XmlString>();
  return std::optional<corvane::XmlString>(clean_text(**text));
}

}  // namespace py
