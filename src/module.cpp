// The extension module's entry point: the module definition and its body,
// which publishes every class and exception class under __all__.
#include <Python.h>

#include "classes/class_registry.hpp"
#include "py/convert.hpp"
#include "py/entry.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {
namespace {

// The module's __all__ list, made (empty) when the module has none yet.
[[nodiscard]] py::Result<py::Ref> all_list(PyObject* module) {
  py::Ref all = py::Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (all) return all;
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return py::raised();
  PyErr_Clear();
  all = py::Ref::steal(PyList_New(0));
  if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return py::raised();
  return all;
}

[[nodiscard]] py::Result<void> publish(PyObject* module, const char* name, PyObject* object) {
  auto all = all_list(module);
  if (!all) return py::raised();
  py::Ref text = py::Ref::steal(PyUnicode_FromString(name));
  if (!text) return py::raised();
  if (PyList_Check(all->get())) {
    if (PyList_Append(all->get(), text.get()) < 0) return py::raised();
  } else {
    py::Ref appended = py::Ref::steal(PyObject_CallMethod(all->get(), "append", "O", text.get()));
    if (!appended) return py::raised();
  }
  if (PyObject_SetAttrString(module, name, object) < 0) return py::raised();
  return {};
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    py::raise_not_instance(module, "ModuleType");
    return -1;
  }
  // What was published before a failing step stays published.
  for (const PublishedName& entry : published_names()) {
    auto object = entry.object();
    if (!object) return -1;
    if (!publish(module, entry.name, *object)) return -1;
  }
  for (const PublishedName& entry : internal_names()) {
    auto object = entry.object();
    if (!object || PyObject_SetAttrString(module, entry.name, *object) < 0) return -1;
  }
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, py::slot<&exec_module>()},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_corvane", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace corvane

PyMODINIT_FUNC PyInit__corvane() { return PyModuleDef_Init(&corvane::module_def); }
