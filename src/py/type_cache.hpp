// Process-wide creation of the module's type and exception objects: each is
// made at most once and shared by every module object, so re-importing the
// module publishes the very same classes.
#pragma once

#include <Python.h>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

// The flags of every class of the module. The classes are shared by every
// interpreter of the process, so, like the built-in types, they cannot be
// changed from Python: code in one interpreter must not replace a method
// that another then runs. They cannot be subclassed either.
inline constexpr unsigned long kClassFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;

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

// Stores a class attribute (an enumeration's member) in a type just made
// from a spec, before it is handed out. An immutable type refuses ordinary
// attribute assignment, so the value goes straight into the type's
// dictionary through the generic setter, and the type's attribute cache is
// then told that the type changed.
[[nodiscard]] inline Result<void> add_class_constant(PyObject* type, const char* name,
                                                     PyObject* value) {
  Ref key = Ref::steal(PyUnicode_InternFromString(name));
  if (!key || PyObject_GenericSetAttr(type, key.get(), value) < 0) return raised();
  PyType_Modified(reinterpret_cast<PyTypeObject*>(type));
  return {};
}

inline PyTypeObject* as_type(PyObject* object) noexcept {
  return reinterpret_cast<PyTypeObject*>(object);
}

}  // namespace py
