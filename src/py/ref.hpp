// py::Ref: the owner of one strong reference to a Python object. Class code
// holds every new reference in one of these, so each error path releases
// what it made without a hand-written decrement.
#pragma once

#include <Python.h>

#include <utility>

namespace py {

class Ref {
 public:
  Ref() noexcept = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~Ref() { reset(); }

  // Takes over a new reference (as returned by most C API calls); a NULL
  // result gives an empty Ref, leaving the Python error for the caller.
  [[nodiscard]] static Ref steal(PyObject* object) noexcept { return Ref(object); }
  // Adds a reference to a borrowed object and owns that one.
  [[nodiscard]] static Ref borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return Ref(object);
  }

  PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller (a C API function that steals, or a
  // return value of a CPython slot).
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  void reset() noexcept {
    PyObject* old = std::exchange(object_, nullptr);
    Py_XDECREF(old);
  }

 private:
  explicit Ref(PyObject* object) noexcept : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace py
