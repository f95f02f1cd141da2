// The Python enumerations NonSuccessKind (FAILURE, ERROR) and RerunKind
// (FLAKY, RERUN): classes without a constructor whose members are process-wide
// singletons carrying the model's enumeration values.
#pragma once

#include <Python.h>

#include "model/kinds.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// The class objects, created (with their members) on first use.
[[nodiscard]] py::Result<PyObject*> non_success_kind_type();
[[nodiscard]] py::Result<PyObject*> rerun_kind_type();

// The singleton member for a model value, as a new reference.
[[nodiscard]] py::Result<py::Ref> non_success_kind_member(NonSuccessKind kind);
[[nodiscard]] py::Result<py::Ref> rerun_kind_member(RerunKind kind);

// The model value of a member; TypeError "'<type>' object is not an instance
// of 'NonSuccessKind'" (or 'RerunKind') for anything else.
[[nodiscard]] py::Result<NonSuccessKind> extract_non_success_kind(PyObject* object);
[[nodiscard]] py::Result<RerunKind> extract_rerun_kind(PyObject* object);

}  // namespace corvane
