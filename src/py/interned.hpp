// Interned Python strings for the attribute, method and module names that
// the conversions look up on every call: each is made once per process and
// then handed out as a borrowed reference, instead of a new str per lookup.
#pragma once

#include <Python.h>

#include "py/result.hpp"

namespace py {

class InternedName {
 public:
  explicit constexpr InternedName(const char* text) noexcept : text_(text) {}

  // The interned str, made on first use and kept for the life of the process.
  [[nodiscard]] Result<PyObject*> get() {
    if (object_ == nullptr) {
      object_ = PyUnicode_InternFromString(text_);
      if (object_ == nullptr) return raised();
    }
    return object_;
  }

 private:
  const char* text_;
  PyObject* object_ = nullptr;
};

}  // namespace py
