// Attribute getters and setters shared by every class: one definition per
// kind of stored field (sanitised text, optional text, timestamp text,
// duration, extra pairs), instantiated per class state and member. Each
// state struct has a `borrow` flag; reads hold it shared, writes exclusively,
// and never while Python code runs: a setter converts its value first, a
// getter copies the stored value out before making a Python object of it
// (which may import, call a constructor or start a collection). So neither
// re-entrant code nor another thread ever meets an object that is held.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <utility>

#include "boxed.hpp"
#include "child_list.hpp"
#include "durations.hpp"
#include "extra_attributes.hpp"
#include "model/optional_duration.hpp"
#include "model/optional_text.hpp"
#include "model/values.hpp"
#include "model/xml_string.hpp"
#include "py/borrow.hpp"
#include "py/convert.hpp"
#include "py/entry.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/result.hpp"
#include "py/text.hpp"
#include "timestamps.hpp"

namespace corvane::field {


// A getter's result: the new object, or NULL with the error set.
inline PyObject* released(py::Result<py::Ref> object) {
  return object ? object->release() : nullptr;
}

template <class T>
T copy_of(const T& value) {
  return value;
}
using corvane::copy_of;

// A copy of one stored field, taken while the object is held shared (of a
// boxed one, the value itself).
template <class State, class T>
[[nodiscard]] auto copied(PyObject* self, T State::* field)
    -> py::Result<decltype(copy_of(std::declval<const T&>()))> {
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow(stored.borrow);
  if (!guard) return py::raised();
  return copy_of(stored.*field);
}

// A new tuple of the children in the list `Field` (a ChildList or a boxed
// one). The tuple is made before the object is held: making a tracked object
// may start a collection and so run Python code, which may change the list.
// It is filled while held, with no code run, if the list still has the
// size the tuple was made for; if not, the children are copied while held
// and the tuple made from the copy.
template <class State, auto Field>
PyObject* get_children(PyObject* self, void*) {
  State& stored = py::state_of<State>(self);
  const auto size = static_cast<Py_ssize_t>(list_of(stored.*Field).size());
  py::Ref tuple = py::Ref::steal(PyTuple_New(size));
  if (!tuple) return nullptr;
  {
    auto guard = py::borrow(stored.borrow);
    if (!guard) return nullptr;
    const ChildList& children = list_of(stored.*Field);
    if (static_cast<Py_ssize_t>(children.size()) == size) {
      for (Py_ssize_t i = 0; i < size; ++i) {
        // PyTuple_SetItem steals the new reference; it fails only for a
        // tuple that something else (a collection's callback) took hold of.
        if (PyTuple_SetItem(tuple.get(), i, py::Ref::borrow(children[i].get()).release()) < 0) {
          return nullptr;
        }
      }
      return tuple.release();
    }
  }
  tuple = {};
  auto children = copied(self, Field);
  if (!children) return nullptr;
  return released(tuple_of(*children));
}

template <class State, XmlString State::* Field>
PyObject* get_text(PyObject* self, void*) {
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow(stored.borrow);
  if (!guard) return nullptr;
  return py::new_str((stored.*Field).view());
}

// Converted and sanitised before the object is taken, so a refused value
// never touches it.
template <class State, XmlString State::* Field>
[[nodiscard]] py::Result<void> set_text(PyObject* self, PyObject* value) {
  auto text = py::noted("value", py::to_str(value));
  if (!text) return py::raised();
  XmlString sanitised = py::clean_text(*text);
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return py::raised();
  stored.*Field = std::move(sanitised);
  return {};
}

// `Field` is an OptionalText or a Boxed<XmlString> member.
template <class State, auto Field>
PyObject* get_optional_text(PyObject* self, void*) {
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow(stored.borrow);
  if (!guard) return nullptr;
  const auto& text = stored.*Field;
  if (!text) return Py_NewRef(Py_None);
  return py::new_str((*text).view());
}

template <class State, auto Field>
[[nodiscard]] py::Result<void> set_optional_text(PyObject* self, PyObject* value) {
  auto text = py::noted("value", py::to_optional_text(value));
  if (!text) return py::raised();
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return py::raised();
  stored.*Field = std::move(*text);
  return {};
}

// `Field` is an optional or a Boxed std::string member.
template <class State, auto Field>
PyObject* get_timestamp(PyObject* self, void*) {
  auto text = copied(self, Field);
  if (!text) return nullptr;
  return released(timestamp_to_python(*text));
}

// Normalising runs Python code (utcoffset, isoformat), which may read or
// change this very object: it is done before the object is taken.
template <class State, auto Field>
[[nodiscard]] py::Result<void> set_timestamp(PyObject* self, PyObject* value) {
  auto timestamp = normalize_timestamp(value);
  if (!timestamp) return py::raised();
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return py::raised();
  stored.*Field = std::move(*timestamp);
  return {};
}

template <class State, OptionalDuration State::* Field>
PyObject* get_time(PyObject* self, void*) {
  auto time = copied(self, Field);
  if (!time) return nullptr;
  return released(duration_to_python(*time));
}

template <class State, OptionalDuration State::* Field>
[[nodiscard]] py::Result<void> set_time(PyObject* self, PyObject* value) {
  auto time = py::noted("value", extract_optional_duration(value));
  if (!time) return py::raised();
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return py::raised();
  stored.*Field = *time;
  return {};
}

template <class State, ExtraPairs State::* Field>
PyObject* get_extra(PyObject* self, void*) {
  auto extra = copied(self, Field);
  if (!extra) return nullptr;
  return released(extra_to_dict(*extra));
}

// Only a dict is accepted here (None too in the constructors); the key and
// value errors of extract_extra carry no note.
template <class State, ExtraPairs State::* Field>
[[nodiscard]] py::Result<void> set_extra(PyObject* self, PyObject* value) {
  auto dict = py::noted("value", py::to_dict(value));
  if (!dict) return py::raised();
  auto extra = extract_extra(*dict);
  if (!extra) return py::raised();
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return py::raised();
  stored.*Field = std::move(*extra);
  return {};
}

// Table entries for the getset arrays.

template <class State, XmlString State::* Field>
constexpr PyGetSetDef text(const char* name) {
  return py::getset<&get_text<State, Field>, &set_text<State, Field>>(name);
}

template <class State, auto Field>
constexpr PyGetSetDef optional_text(const char* name) {
  return py::getset<&get_optional_text<State, Field>, &set_optional_text<State, Field>>(name);
}

template <class State, auto Field>
constexpr PyGetSetDef timestamp(const char* name) {
  return py::getset<&get_timestamp<State, Field>, &set_timestamp<State, Field>>(name);
}

template <class State, OptionalDuration State::* Field>
constexpr PyGetSetDef time(const char* name) {
  return py::getset<&get_time<State, Field>, &set_time<State, Field>>(name);
}

template <class State, ExtraPairs State::* Field>
constexpr PyGetSetDef extra(const char* name) {
  return py::getset<&get_extra<State, Field>, &set_extra<State, Field>>(name);
}

}  // namespace corvane::field
