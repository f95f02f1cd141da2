// Typed extraction of one argument value, with the shared TypeError text
// "'<type>' object is not an instance of '<target>'". Callers wrap each call
// in py::noted(...) to name the parameter.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "py/result.hpp"

namespace py {

// The __qualname__ of the object's type ("int", "MyStr", "Outer.Inner").
std::string type_name(PyObject* object);

// Sets the TypeError for `object` not being a `target`; "'None' is not an
// instance of '<target>'" when the object is None.
void raise_not_instance(PyObject* object, std::string_view target);

// True when the object's type is `type` or derives from it. Unlike
// isinstance() this ignores a forged __class__, so the object's memory really
// has the layout of `type` afterwards.
bool is_instance(PyObject* object, PyTypeObject* type) noexcept;

// A `str` (or subclass) as UTF-8. The view lives as long as `object` does.
// Inline, with the exact type tested first, as it runs for every text of
// every object built.
[[nodiscard]] inline Result<std::string_view> to_str(PyObject* object) {
  if (!PyUnicode_CheckExact(object) && !PyUnicode_Check(object)) {
    raise_not_instance(object, "str");
    return raised();
  }
  Py_ssize_t size = 0;
  // Fails (UnicodeEncodeError) for lone surrogates, which UTF-8 cannot hold.
  const char* text = PyUnicode_AsUTF8AndSize(object, &size);
  if (text == nullptr) return raised();
  return std::string_view(text, static_cast<std::size_t>(size));
}

// NULL (argument omitted) or None give no text; anything else as to_str.
[[nodiscard]] inline Result<std::optional<std::string_view>> to_optional_str(PyObject* object) {
  if (object == nullptr || object == Py_None) return std::optional<std::string_view>();
  auto text = to_str(object);
  if (!text) return raised();
  return std::optional<std::string_view>(*text);
}

// `object` itself when it is an instance of `type`, else the TypeError naming
// `target` (the class's Python name, for example "Property").
[[nodiscard]] Result<PyObject*> to_instance(PyObject* object, PyTypeObject* type,
                                            std::string_view target);

// A `dict` (or subclass).
[[nodiscard]] Result<PyObject*> to_dict(PyObject* object);

// An unsigned 64-bit integer from an int or anything with __index__, with
// CPython's own TypeError and OverflowError.
[[nodiscard]] Result<std::uint64_t> to_u64(PyObject* object);

}  // namespace py
