// The module's exception classes: CorvaneError and its two subclasses, which
// are published, and the internal-failure class, which is not.
#pragma once

#include <Python.h>

#include <string_view>

#include "py/result.hpp"

namespace corvane {

// Each is created on first use and then shared for the life of the process.
[[nodiscard]] py::Result<PyObject*> corvane_error_type();
[[nodiscard]] py::Result<PyObject*> deserialization_error_type();
[[nodiscard]] py::Result<PyObject*> serialization_error_type();

// Raise the class with `message` as its one argument; when the class cannot
// be created, the internal failure is raised instead.
void raise_deserialization_error(std::string_view message);
void raise_serialization_error(std::string_view message);

// Raises a broken invariant of this module (for example a child object found
// in the middle of a change while its parent reads it) as an exception that
// derives directly from BaseException, so `except Exception` does not hide it.
void raise_internal_failure(std::string_view message);

}  // namespace corvane
