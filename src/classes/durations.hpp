// Durations between Python's timedelta and the model's duration.
#pragma once

#include <Python.h>

#include "model/optional_duration.hpp"
#include "model/values.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// A non-negative datetime.timedelta as a duration. TypeError "'<type>'
// object is not an instance of 'timedelta'"; ValueError when negative.
[[nodiscard]] py::Result<Duration> extract_duration(PyObject* obj);
// NULL or None give no value; otherwise extract_duration. The caller adds
// the note for its parameter.
[[nodiscard]] py::Result<OptionalDuration> extract_optional_duration(PyObject* obj_or_null);
// A new datetime.timedelta (sub-microsecond parts dropped), or None when
// absent.
[[nodiscard]] py::Result<py::Ref> duration_to_python(const OptionalDuration& duration);

}  // namespace corvane
