// UUIDs between Python's uuid.UUID and the text the classes store.
#pragma once

#include <Python.h>

#include <optional>
#include <string>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// NULL or None give no value; otherwise a uuid.UUID instance as its str().
[[nodiscard]] py::Result<std::optional<std::string>> normalize_uuid(PyObject* obj_or_null);
// A new uuid.UUID, or None when absent.
[[nodiscard]] py::Result<py::Ref> uuid_to_python(const std::optional<std::string>& text);

}  // namespace corvane
