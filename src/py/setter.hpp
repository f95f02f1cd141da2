// Attribute setters: CPython calls the setter with a NULL value for `del`,
// which no attribute of this module allows.
#pragma once

#include <Python.h>

#include "py/result.hpp"

namespace py {

// Wraps `Set(self, value)` as a getset setter that refuses deletion with
// AttributeError "property has no deleter". Read-only attributes simply have
// no setter, and CPython raises its own AttributeError for them.
template <Result<void> (*Set)(PyObject* self, PyObject* value)>
int setter(PyObject* self, PyObject* value, void*) noexcept {
  if (value == nullptr) {
    PyErr_SetString(PyExc_AttributeError, "property has no deleter");
    return -1;
  }
  return Set(self, value) ? 0 : -1;
}

}  // namespace py
