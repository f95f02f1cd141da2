// The private class behind corvane.iter_suites: see suite_stream_object.cpp.
#pragma once

#include <Python.h>

#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> suite_stream_type();

}  // namespace corvane
