// The memory layout shared by every class of the module: the CPython object
// header followed by one C++ state struct, built with placement new after
// the type's allocator ran and destroyed before its deallocator runs.
#pragma once

#include <Python.h>

#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

#include "model/block_pool.hpp"
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

// Where the instances of a class live: a pool of the class's own, or the C
// heap, one block each, in builds for memory checkers. Python's
// small-object allocator, which served them before, gives an arena back to
// the system as soon as its last object goes, so a program that read a
// large report, dropped it and read another faulted every page of the
// second one's objects in afresh (at 200,000 cases, one fault for about
// 20 test cases, each costing about as much as reading 8 of them); the
// pool's slabs come from the C heap, which keeps freed memory for the next
// allocation, as it does for the texts the objects hold.
//
// At namespace scope rather than inside a function, so that reaching the
// pool costs no check of a first-use guard (which registering its
// destructor would add) at every allocation.
template <class State>
constinit inline corvane::BlockPool pool_of(sizeof(Object<State>));

// The memory of a new instance of `type`, its header set and its state not
// yet built. None of the classes is tracked by the garbage collector and
// none can be subclassed, so nothing but `allocate` and `dealloc_object`
// makes or frees their memory, and this does what the type's generic
// allocator would, without looking it up and without zero-filling the state
// that the caller builds right after.
template <class State>
[[nodiscard]] PyObject* allocate(PyTypeObject* type) noexcept {
#ifdef CORVANE_OBJECTS_IN_C_HEAP
  void* memory = std::malloc(sizeof(Object<State>));
#else
  static_assert(sizeof(Object<State>) <= corvane::kHeapSlabBytes / 16);
  void* memory = pool_of<State>.allocate();
#endif
  if (memory == nullptr) return PyErr_NoMemory();
  // Takes the reference to the heap type that the deallocator drops.
  return PyObject_Init(static_cast<PyObject*>(memory), type);
}

// A new instance of `type` holding `state`.
template <class State>
[[nodiscard]] Result<Ref> new_object(PyTypeObject* type, State state) {
  // Moving the state in cannot fail half-way, so an allocated object always
  // holds a whole state when its deallocator runs.
  static_assert(std::is_nothrow_move_constructible_v<State>);
  Ref self = Ref::steal(allocate<State>(type));
  if (!self) return raised();
  new (&state_of<State>(self.get())) State(std::move(state));
  return self;
}

// A new instance of `type` whose state is built in place from `fields`, its
// members in declaration order: nothing is built twice or moved again.
// Anything that can fail is made by the caller beforehand.
template <class State, class... Fields>
[[nodiscard]] Result<Ref> new_object_of(PyTypeObject* type, Fields&&... fields) {
  static_assert(std::is_nothrow_constructible_v<State, Fields&&...>);
  Ref self = Ref::steal(allocate<State>(type));
  if (!self) return raised();
  new (&state_of<State>(self.get())) State(std::forward<Fields>(fields)...);
  return self;
}

// A new instance of `type` holding a default state, for the caller to fill
// in place: a state built aside and then moved in costs a second move of
// every field. The object is not yet seen by Python code, and if filling
// fails half-way its deallocator destroys whatever the state holds.
template <class State>
[[nodiscard]] Result<Ref> new_empty_object(PyTypeObject* type) {
  static_assert(std::is_nothrow_default_constructible_v<State>);
  Ref self = Ref::steal(allocate<State>(type));
  if (!self) return raised();
  new (&state_of<State>(self.get())) State();
  return self;
}

// The tp_dealloc of every class: destroy the state, free the memory the way
// `allocate` took it, then drop the reference to the heap type that each
// instance holds.
template <class State>
void dealloc_object(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  state_of<State>(self).~State();
#ifdef CORVANE_OBJECTS_IN_C_HEAP
  std::free(self);
#else
  corvane::BlockPool::release(self);
#endif
  Py_DECREF(type);
}

}  // namespace py
