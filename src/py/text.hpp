// Stored sanitised text to and from Python str, shared by every class that
// keeps texts: optional texts read back as None when absent, and a None
// argument means "no text".
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

#include "model/xml_string.hpp"
#include "py/convert.hpp"
#include "py/result.hpp"

namespace py {

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
  return std::optional<corvane::XmlString>(corvane::XmlString(**text));
}

}  // namespace py
