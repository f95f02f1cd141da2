// CPython resizes a str in place when appending to it, provided nothing else
// refers to it (and its hash has not been computed): the builder holds the
// only reference and never hashes it. So the whole text exists once, beside
// the piece being added, and appending costs one copy of the piece (seen on
// CPython 3.10 to 3.13). An interpreter that copied instead would make
// writing quadratic in the number of pieces, so this is where to look if
// large documents ever write slowly.
#include "py/str_builder.hpp"

#include <Python.h>

#include <utility>

namespace py {

Result<bool> StrBuilder::append(std::string_view piece) {
  if (piece.empty()) return true;
  Ref decoded = Ref::steal(
      PyUnicode_DecodeUTF8(piece.data(), static_cast<Py_ssize_t>(piece.size()), nullptr));
  if (!decoded) {
    if (!PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) return raised();
    PyErr_Clear();
    return false;
  }
  if (!text_) {
    text_ = std::move(decoded);
    return true;
  }
  // PyUnicode_Append replaces its first argument by the result, or by NULL
  // after releasing it on failure.
  PyObject* text = text_.release();
  PyUnicode_Append(&text, decoded.get());
  text_ = Ref::steal(text);
  if (!text_) return raised();
  return true;
}

Result<Ref> StrBuilder::finish() {
  if (!text_) {
    Ref empty = Ref::steal(PyUnicode_FromStringAndSize("", 0));
    if (!empty) return raised();
    return empty;
  }
  return std::move(text_);
}

}  // namespace py
