// The argument note: see note.hpp.
#include "py/note.hpp"

#include <Python.h>

#include "py/ref.hpp"

namespace py {

namespace {

// Adds the note `make_note` returns to the exception currently set.
template <class MakeNote>
void attach_note(MakeNote make_note) noexcept {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return;
  // add_note is a method of the exception instance, so the lazily stored
  // (type, args) pair has to become a real exception object first.
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) {
    Ref method = Ref::steal(PyObject_GetAttrString(value, "add_note"));
    if (method) {
      Ref note = make_note();
      if (note) Ref::steal(PyObject_CallFunctionObjArgs(method.get(), note.get(), nullptr)).reset();
    }
    // A missing add_note (Python 3.10) or a failing one must not replace the
    // exception being reported.
    PyErr_Clear();
  }
  PyErr_Restore(type, value, traceback);
}

}  // namespace

void add_note(const char* parameter) noexcept {
  attach_note(
      [parameter] { return Ref::steal(PyUnicode_FromFormat("while processing '%s'", parameter)); });
}

void add_text_note(const char* text) noexcept {
  attach_note([text] { return Ref::steal(PyUnicode_FromString(text)); });
}

void add_reason_note(std::string_view note) noexcept {
  if (note.empty()) return;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return;
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) {
    Ref text = Ref::steal(
        PyUnicode_DecodeUTF8(note.data(), static_cast<Py_ssize_t>(note.size()), "replace"));
    Ref method = Ref::steal(PyObject_GetAttrString(value, "add_note"));
    if (text && method) {
      Ref::steal(PyObject_CallFunctionObjArgs(method.get(), text.get(), nullptr)).reset();
    } else if (text) {
      PyErr_Clear();
      Ref notes = Ref::steal(PyObject_GetAttrString(value, "__notes__"));
      if (!notes) {
        PyErr_Clear();
        notes = Ref::steal(PyList_New(0));
        if (notes && PyObject_SetAttrString(value, "__notes__", notes.get()) < 0) notes.reset();
      }
      if (notes && PyList_Check(notes.get())) PyList_Append(notes.get(), text.get());
    }
    // A failure to add the note must not replace the exception being reported.
    PyErr_Clear();
  }
  PyErr_Restore(type, value, traceback);
}

}  // namespace py
