// Reading one attribute of the exact instances of a class whose attribute
// lookup is fixed: an immutable class (and bases) with the generic lookup,
// the attribute a data descriptor of an immutable type. For those, the
// generic lookup always ends in the descriptor's __get__, so calling that
// directly gives the same object for a fraction of the cost. It serves
// conversions that read the same attributes of every value, such as a
// timedelta's days, seconds and microseconds.
#pragma once

#include <Python.h>

namespace py {

class SlotAttribute {
 public:
  // Looks `name` up on `cls` once. Returns false, with no error set, when
  // the class does not qualify; the caller then reads attributes the usual
  // way. The class and descriptor are kept for the life of the process.
  bool resolve(PyObject* cls, PyObject* name) noexcept;

  // Whether `object` is an exact instance of the resolved class.
  bool applies_to(PyObject* object) const noexcept {
    return class_ != nullptr && reinterpret_cast<PyObject*>(Py_TYPE(object)) == class_;
  }

  // The attribute of an object for which applies_to holds: a new reference,
  // or NULL with the error set.
  PyObject* get(PyObject* object) const { return get_(descriptor_, object, class_); }

 private:
  PyObject* class_ = nullptr;
  PyObject* descriptor_ = nullptr;
  descrgetfunc get_ = nullptr;
};

}  // namespace py
