// The boundary between CPython and the module's C++ code. Every function
// that CPython calls (type slots, methods, attribute getters and setters,
// module execution and module functions) is handed over as `entry<fn>`: the
// same signature, but no C++ exception ever leaves it. std::bad_alloc
// becomes MemoryError and any other exception SystemError with its text, so
// a large input under a memory limit fails like pure Python would instead of
// ending the process. The class code itself needs no try or catch: its
// objects are changed by moves and by appends that either happen or leave
// the object as it was, and every borrow guard and reference it holds is
// released while the exception unwinds.
#pragma once

#include <Python.h>

#include <type_traits>

#include "py/result.hpp"

namespace py {

// Sets the Python error for the C++ exception being handled. Only to be
// called from inside a catch block.
void raise_current_exception() noexcept;

namespace entry_detail {

template <class R>
constexpr R failure() noexcept {
  static_assert(std::is_pointer_v<R> || std::is_integral_v<R>,
                "CPython reads failure from a NULL pointer or -1");
  if constexpr (std::is_pointer_v<R>) {
    return nullptr;
  } else {
    return static_cast<R>(-1);
  }
}

template <auto Fn>
struct Adapter;

// A function that cannot throw (deallocation, collector traversal) needs no
// translation and is called as it is.
template <class R, class... Args, bool kNoexcept, R (*Fn)(Args...) noexcept(kNoexcept)>
struct Adapter<Fn> {
  static R call(Args... args) noexcept {
    if constexpr (kNoexcept) {
      return Fn(args...);
    } else {
      try {
        return Fn(args...);
      } catch (...) {
        raise_current_exception();
        return failure<R>();
      }
    }
  }
};

// The setter of a writable attribute: deleting it is refused with
// AttributeError "property has no deleter"; read-only attributes simply
// have no setter, and CPython raises its own AttributeError for them.
template <Result<void> (*Set)(PyObject* self, PyObject* value)>
int set_or_refuse_delete(PyObject* self, PyObject* value, void*) {
  if (value == nullptr) {
    PyErr_SetString(PyExc_AttributeError, "property has no deleter");
    return -1;
  }
  return Set(self, value) ? 0 : -1;
}

}  // namespace entry_detail

// `Fn` with the same signature, as CPython may call it.
template <auto Fn>
inline constexpr auto entry = entry_detail::Adapter<Fn>::call;

// A PyType_Slot or PyModuleDef_Slot value.
template <auto Fn>
void* slot() noexcept {
  return reinterpret_cast<void*>(entry<Fn>);
}

// The flags of a method taking positional and keyword arguments.
inline constexpr int kKeywords = METH_VARARGS | METH_KEYWORDS;

// A method table entry. CPython stores every method as a two-argument
// function and calls it back with the signature `flags` name, so a
// METH_KEYWORDS method is cast through the generic function pointer type.
template <auto Fn>
PyMethodDef method(const char* name, int flags, const char* doc) noexcept {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry<Fn>)), flags,
          doc};
}

// Attribute table entries: read-only, and readable and writable where `Set`
// is `Result<void>(PyObject* self, PyObject* value)`.
template <auto Get>
constexpr PyGetSetDef getter(const char* name) noexcept {
  return {name, entry<Get>, nullptr, nullptr, nullptr};
}

template <auto Get, auto Set>
constexpr PyGetSetDef getset(const char* name) noexcept {
  return {name, entry<Get>, entry<&entry_detail::set_or_refuse_delete<Set>>, nullptr, nullptr};
}

}  // namespace py
