// corvane._corvane._read_tolerant(xml), the read behind corvane.loads: the
// tolerant reader's model, with what the trip through the canonical
// document would change done in place, made into objects directly instead
// of being written out and read back by the strict reader.
#pragma once

#include <Python.h>

#include "py/result.hpp"

namespace corvane {

// The function object, created on first use.
[[nodiscard]] py::Result<PyObject*> read_tolerant_function();

}  // namespace corvane
