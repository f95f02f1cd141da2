// Process-wide creation of the module's type and exception objects: each is
// made at most once and shared by every module object, so re-importing the
// module publishes the very same classes.
#pragma once

#include <Python.h>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

// Returns the object in `cache`, creating it with `make` (a callable giving
// Result<Ref>) the first time. The cache keeps its reference for the life of
// the process. Creation may run Python code and so let another thread in;
// whichever creation finishes first is kept and a later duplicate dropped,
// so only one object is ever handed out.
template <class Make>
[[nodiscard]] Result<PyObject*> create_once(PyObject*& cache, Make&& make) {
  if (cache != nullptr) return cache;
  Result<Ref> made = make();
  if (!made) return raised();
  if (cache == nullptr) cache = made->release();
  return cache;
}

// Creates a type from its spec, for use inside create_once.
[[nodiscard]] inline Result<Ref> type_from_spec(PyType_Spec& spec) {
  Ref type = Ref::steal(PyType_FromSpec(&spec));
  if (!type) return raised();
  return type;
}

inline PyTypeObject* as_type(PyObject* object) noexcept {
  return reinterpret_cast<PyTypeObject*>(object);
}

}  // namespace py
