// The lists of child objects that reports, suites and test cases hold: the
// very objects that were added, read back from Python as a new tuple.
#pragma once

#include <Python.h>

#include <vector>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

using ChildList = std::vector<py::Ref>;

// A new tuple of the stored objects themselves, in order.
[[nodiscard]] inline py::Result<py::Ref> tuple_of(const ChildList& children) {
  py::Ref tuple = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(children.size())));
  if (!tuple) return py::raised();
  for (std::size_t i = 0; i < children.size(); ++i) {
    // PyTuple_SetItem steals the new reference that Ref::borrow made.
    if (PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(i),
                        py::Ref::borrow(children[i].get()).release()) < 0) {
      return py::raised();
    }
  }
  return tuple;
}

// New references to the same children: a getter copies the list while the
// holder is held, then makes the tuple (a tracked object, whose allocation
// may start a collection and so run Python code) once it is free again.
inline ChildList copy_of(const ChildList& children) {
  ChildList copy;
  copy.reserve(children.size());
  for (const py::Ref& child : children) copy.push_back(py::Ref::borrow(child.get()));
  return copy;
}

inline const ChildList& list_of(const ChildList& children) noexcept { return children; }

// A new reference to the same object.
inline py::Ref copy_of(const py::Ref& object) { return py::Ref::borrow(object.get()); }

// Appends `added` after the existing children; room is made first, so the
// moves themselves cannot fail half-way.
inline void append_children(ChildList& children, ChildList&& added) {
  children.reserve(children.size() + added.size());
  for (py::Ref& child : added) children.push_back(std::move(child));
}

}  // namespace corvane
