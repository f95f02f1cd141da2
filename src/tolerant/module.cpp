// corvane._tolerant: the tolerant reader as a module of its own, so that the
// strict module `corvane._corvane` keeps exactly its published names. Its one
// function returns the canonical document, which the package hands to
// `Report.from_xml`; reading errors are raised as the strict module's
// DeserializationError, fetched from it when this module is executed.
#include <Python.h>

#include <string>
#include <string_view>

#include "py/gil.hpp"
#include "py/ref.hpp"
#include "canonical/canonical_document.hpp"

namespace {

struct ModuleState {
  PyObject* deserialization_error;
};

ModuleState* state_of(PyObject* module) {
  return static_cast<ModuleState*>(PyModule_GetState(module));
}

// str is read as its UTF-8 form; bytes and bytearray are taken as they are
// (the tolerant reader repairs invalid UTF-8 by the usual text cleaning).
// The read runs without the GIL, so a bytearray, which another thread could
// resize meanwhile, is copied into `copy`; str and bytes cannot change.
bool input_bytes(PyObject* xml, std::string_view& out, std::string& copy) {
  if (PyUnicode_Check(xml)) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(xml, &size);
    if (data == nullptr) return false;
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
  }
  if (PyBytes_Check(xml)) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(xml, &data, &size) != 0) return false;
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
  }
  if (PyByteArray_Check(xml)) {
    copy.assign(PyByteArray_AsString(xml), static_cast<std::size_t>(PyByteArray_Size(xml)));
    out = copy;
    return true;
  }
  PyErr_SetString(PyExc_TypeError, "XML input must be str or bytes");
  return false;
}

PyObject* canonical_xml(PyObject* module, PyObject* xml) {
  std::string_view text;
  std::string copy;
  if (!input_bytes(xml, text, copy)) return nullptr;
  std::expected<std::string, std::string> document;
  {
    py::GilReleased released;
    document = corvane::canonical_document(text);
  }
  if (!document) {
    // A message may quote bytes of a document that is not UTF-8.
    py::Ref message = py::Ref::steal(PyUnicode_DecodeUTF8(
        document.error().data(), static_cast<Py_ssize_t>(document.error().size()), "replace"));
    if (message) PyErr_SetObject(state_of(module)->deserialization_error, message.get());
    return nullptr;
  }
  return PyUnicode_FromStringAndSize(document->data(), static_cast<Py_ssize_t>(document->size()));
}

int exec_module(PyObject* module) {
  py::Ref strict = py::Ref::steal(PyImport_ImportModule("corvane._corvane"));
  if (!strict) return -1;
  PyObject* error = PyObject_GetAttrString(strict.get(), "DeserializationError");
  if (error == nullptr) return -1;
  state_of(module)->deserialization_error = error;
  return 0;
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
  ModuleState* state = state_of(module);
  if (state != nullptr) Py_VISIT(state->deserialization_error);
  return 0;
}

int clear_module(PyObject* module) {
  ModuleState* state = state_of(module);
  if (state != nullptr) Py_CLEAR(state->deserialization_error);
  return 0;
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyMethodDef module_methods[] = {
    {"canonical_xml", canonical_xml, METH_O, "canonical_xml($module, xml, /)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_tolerant",     "",           sizeof(ModuleState), module_methods,
    module_slots,          traverse_module, clear_module, free_module,
};

}  // namespace

PyMODINIT_FUNC PyInit__tolerant(void) { return PyModuleDef_Init(&module_def); }
