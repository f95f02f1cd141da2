// The memory layout shared by every class of the module: the CPython object
// header followed by one C++ state struct, built with placement new after
// the type's allocator ran and destroyed before its deallocator runs.
#pragma once

#include <Python.h>

#include <new>
#include <type_traits>
#include <utility>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

template <class State>
struct Object {
  PyObject ob_base;
  State state;
};

template <class State>
State& state_of(PyObject* self) noexcept {
  return reinterpret_cast<Object<State>*>(self)->state;
}

// A new instance of `type` holding `state`. Types are created from a spec,
// so the allocator is read through PyType_GetSlot rather than the struct.
template <class State>
[[nodiscard]] Result<Ref> new_object(PyTypeObject* type, State state) {
  // Moving the state in cannot fail half-way, so an allocated object always
  // holds a whole state when its deallocator runs.
  static_assert(std::is_nothrow_move_constructible_v<State>);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  Ref self = Ref::steal(alloc(type, 0));
  if (!self) return raised();
  new (&state_of<State>(self.get())) State(std::move(state));
  return self;
}

// A new instance of `type` holding a default state, for the caller to fill
// in place: a state built aside and then moved in costs a second move of
// every field. The object is not yet seen by Python code, and if filling
// fails half-way its deallocator destroys whatever the state holds.
template <class State>
[[nodiscard]] Result<Ref> new_empty_object(PyTypeObject* type) {
  static_assert(std::is_nothrow_default_constructible_v<State>);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  Ref self = Ref::steal(alloc(type, 0));
  if (!self) return raised();
  new (&state_of<State>(self.get())) State();
  return self;
}

// The tp_dealloc of every class: untrack from the collector when the type is
// collected, destroy the state, free the memory, then drop the reference to
// the heap type that each instance holds.
template <class State>
void dealloc_object(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  if (PyType_GetFlags(type) & Py_TPFLAGS_HAVE_GC) PyObject_GC_UnTrack(self);
  state_of<State>(self).~State();
  auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_memory(self);
  Py_DECREF(type);
}

}  // namespace py
