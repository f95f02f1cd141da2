// pickle and copy for the model classes. `__reduce__` gives (class,
// constructor arguments, state): the constructor arguments are the class's
// required parameters, the state a tuple of every other stored field in its
// stored form (timestamps and identifiers as their texts, durations as whole
// seconds and nanoseconds, extra attributes as ordered pairs, children as the
// objects themselves), so that an object comes back exactly as it was, even
// what a read stored (nine-digit fractions, nanoseconds) that no Python value
// carries. pickle's memo, and deepcopy's, then keep shared children shared;
// copy.copy hands the state over as it is, so a shallow copy is a new object
// holding the same children. `__setstate__` converts the whole state first
// and only then takes the object, like every setter.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "boxed.hpp"
#include "child_list.hpp"
#include "enums.hpp"
#include "extra_attributes.hpp"
#include "field_access.hpp"
#include "model/kinds.hpp"
#include "model/optional_duration.hpp"
#include "model/optional_text.hpp"
#include "model/values.hpp"
#include "model/xml_string.hpp"
#include "py/borrow.hpp"
#include "py/convert.hpp"
#include "py/object.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"
#include "py/sequence.hpp"
#include "py/text.hpp"
#include "py/type_cache.hpp"

namespace corvane::pickling {

// --- Stored fields as state items, and back ------------------------------------

[[nodiscard]] py::Result<py::Ref> steal(PyObject* object);
[[nodiscard]] py::Result<py::Ref> to_python(const XmlString& text);
[[nodiscard]] py::Result<py::Ref> to_python(const OptionalText& text);
// A stored timestamp or identifier text, kept as it is.
[[nodiscard]] py::Result<py::Ref> to_python(const std::optional<std::string>& text);
// (seconds, nanoseconds), or None.
[[nodiscard]] py::Result<py::Ref> to_python(const OptionalDuration& duration);
[[nodiscard]] py::Result<py::Ref> to_python(const std::optional<std::uint64_t>& count);
// A tuple of (key, value) pairs, in stored order, duplicates kept.
[[nodiscard]] py::Result<py::Ref> to_python(const ExtraPairs& pairs);
[[nodiscard]] py::Result<py::Ref> to_python(const ChildList& children);
[[nodiscard]] py::Result<py::Ref> to_python(const BoxedChildList& children);
// A boxed field as its optional value.
template <class T>
[[nodiscard]] py::Result<py::Ref> to_python(const Boxed<T>& boxed) {
  return to_python(boxed.view());
}
[[nodiscard]] py::Result<py::Ref> to_python(const py::Ref& object);
[[nodiscard]] py::Result<py::Ref> to_python(NonSuccessKind kind);
[[nodiscard]] py::Result<py::Ref> to_python(RerunKind kind);

// Texts are sanitised again (which leaves clean text as it is), so a state
// made by hand cannot break what the classes keep.
[[nodiscard]] py::Result<void> from_python(PyObject* item, OptionalText& text);
[[nodiscard]] py::Result<void> from_python(PyObject* item, std::optional<std::string>& text);
[[nodiscard]] py::Result<void> from_python(PyObject* item, OptionalDuration& duration);
[[nodiscard]] py::Result<void> from_python(PyObject* item, std::optional<std::uint64_t>& count);
[[nodiscard]] py::Result<void> from_python(PyObject* item, ExtraPairs& pairs);
[[nodiscard]] py::Result<void> from_python(PyObject* item, RerunKind& kind);
template <class T>
[[nodiscard]] py::Result<void> from_python(PyObject* item, Boxed<T>& boxed) {
  Optional<T> value;
  if (!from_python(item, value)) return py::raised();
  boxed = std::move(value);
  return {};
}

// TypeError unless `state` is a tuple of `size` items.
[[nodiscard]] py::Result<void> check_state(PyObject* state, const char* function, std::size_t size);

// --- Fields of a state struct ----------------------------------------------------

// One stored field, converted by the overloads above.
template <auto Member>
struct Field {
  template <class State>
  static py::Result<py::Ref> get(const State& stored) {
    return to_python(stored.*Member);
  }
  template <class State>
  static py::Result<void> set(PyObject* item, State& stored) {
    return from_python(item, stored.*Member);
  }
  template <class State>
  static void copy(const State& from, State& to) {
    to.*Member = field::copy_of(from.*Member);
  }
  template <class State>
  static void swap(State& a, State& b) {
    std::swap(a.*Member, b.*Member);
  }
};

// A list of children of one class (`Name` for the error text).
template <auto Member, py::Result<PyObject*> (*Type)(), const char* Name>
struct Children : Field<Member> {
  template <class State>
  static py::Result<void> set(PyObject* item, State& stored) {
    auto type = Type();
    if (!type) return py::raised();
    auto children = py::extract_sequence(item, py::as_type(*type), Name);
    if (!children) return py::raised();
    stored.*Member = std::move(*children);
    return {};
  }
};

// The fields that make up one part (constructor arguments or state), in order.
template <class... F>
struct Fields {
  static constexpr std::size_t size = sizeof...(F);

  template <class State>
  static py::Result<py::Ref> to_tuple(const State& stored) {
    py::Ref tuple = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(size)));
    if (!tuple) return py::raised();
    [[maybe_unused]] Py_ssize_t index = 0;
    // PyTuple_SetItem takes over each new reference.
    const bool made = ((put(tuple.get(), index++, F::get(stored))) && ...);
    if (!made) return py::raised();
    return tuple;
  }

  template <class State>
  static py::Result<void> from_tuple(PyObject* state, const char* function, State& stored) {
    PY_TRY(check_state(state, function, size));
    [[maybe_unused]] Py_ssize_t index = 0;
    const bool read = (F::set(PyTuple_GetItem(state, index++), stored).has_value() && ...);
    if (!read) return py::raised();
    return {};
  }

  template <class State>
  static void copy(const State& from, State& to) {
    (F::copy(from, to), ...);
  }

  template <class State>
  static void swap(State& a, State& b) {
    (F::swap(a, b), ...);
  }

 private:
  static bool put(PyObject* tuple, Py_ssize_t index, py::Result<py::Ref> item) {
    return item && PyTuple_SetItem(tuple, index, item->release()) == 0;
  }
};

// --- The two methods -----------------------------------------------------------------

inline constexpr const char* kReduceDoc =
    "__reduce__($self)\n--\n\nFor pickle and copy. copy.copy makes a new object holding the "
    "same children; copy.deepcopy and pickle copy the children too, keeping shared ones shared.";
inline constexpr const char* kSetStateDoc =
    "__setstate__($self, state, /)\n--\n\nFor pickle and copy: replaces every field but the "
    "constructor's arguments with those of a state made by __reduce__.";

// (class, arguments, state), from a copy taken while the object is held;
// the tuples are made once it is free again.
template <class State, class Args, class Rest>
PyObject* reduce(PyObject* self, PyObject*) {
  State copy;
  {
    State& stored = py::state_of<State>(self);
    auto guard = py::borrow(stored.borrow);
    if (!guard) return nullptr;
    Args::copy(stored, copy);
    Rest::copy(stored, copy);
  }
  auto args = Args::to_tuple(copy);
  if (!args) return nullptr;
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
  if constexpr (Rest::size == 0) {
    return PyTuple_Pack(2, type, args->get());
  } else {
    auto state = Rest::to_tuple(copy);
    if (!state) return nullptr;
    return PyTuple_Pack(3, type, args->get(), state->get());
  }
}

// Replaces every field of the state at once; on any refusal nothing changes.
template <class State, class Rest, const char* Function>
PyObject* setstate(PyObject* self, PyObject* state) {
  State fresh;
  if (!Rest::from_tuple(state, Function, fresh)) return nullptr;
  {
    State& stored = py::state_of<State>(self);
    auto guard = py::borrow_mut(stored.borrow);
    if (!guard) return nullptr;
    Rest::swap(stored, fresh);
  }
  // `fresh` now holds the old values, released with the object free again.
  Py_RETURN_NONE;
}

}  // namespace corvane::pickling
