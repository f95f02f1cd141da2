// corvane._tolerant: the tolerant reader as a module of its own, so that the
// strict module `corvane._corvane` keeps exactly its published names. Its one
// function returns the canonical document, which the package hands to
// `Report.from_xml`; reading errors are raised as the strict module's
// DeserializationError. The module keeps no state: the error class is looked
// up when it is raised, so a module object that was created but never
// executed works like any other.
#include <Python.h>

#include <string>
#include <string_view>

#include "canonical/canonical_document.hpp"
#include "py/entry.hpp"
#include "py/gil.hpp"
#include "py/note.hpp"
#include "py/raise.hpp"
#include "py/ref.hpp"
#include "py/tolerant_input.hpp"

namespace {

// The note, the XML reader's reason and place, goes only on that error: a
// failure to raise it has an exception of its own.
void raise_deserialization_error(std::string_view message, std::string_view note) {
  py::Ref strict = py::Ref::steal(PyImport_ImportModule("corvane._corvane"));
  if (!strict) return;
  py::Ref error = py::Ref::steal(PyObject_GetAttrString(strict.get(), "DeserializationError"));
  if (!error) return;
  // A message may quote bytes of a document that is not UTF-8.
  py::raise_text(error.get(), message);
  if (PyErr_ExceptionMatches(error.get())) py::add_reason_note(note);
}

PyObject* canonical_xml(PyObject*, PyObject* xml) {
  std::string_view text;
  std::string copy;
  if (!py::tolerant_input(xml, text, copy)) return nullptr;
  std::expected<std::string, corvane::CanonicalError> document;
  {
    py::GilReleased released;
    document = corvane::canonical_document(text);
  }
  if (!document) {
    raise_deserialization_error(document.error().message, document.error().note);
    return nullptr;
  }
  return PyUnicode_FromStringAndSize(document->data(), static_cast<Py_ssize_t>(document->size()));
}

PyMethodDef module_methods[] = {
    py::method<&canonical_xml>("canonical_xml", METH_O, "canonical_xml($module, xml, /)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_tolerant", "", 0, module_methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__tolerant(void) { return PyModuleDef_Init(&module_def); }
