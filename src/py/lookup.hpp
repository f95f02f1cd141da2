// Looking up what the conversions need from Python: a standard module, a
// class of one, a method call, and a str result as an owned UTF-8 string.
#pragma once

#include <Python.h>

#include <string>

#include "py/convert.hpp"
#include "py/interned.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

// The module named `module` as the running interpreter currently holds it:
// the entry in sys.modules when there is one (so a replaced module is seen,
// as by an import), else imported. Importing every time cost about 2,200
// instructions per conversion; the dictionary lookup is a small part of that.
// A None entry goes through the import so that it raises as an import would.
[[nodiscard]] inline Result<Ref> current_module(InternedName& module) {
  auto module_name = module.get();
  if (!module_name) return raised();
  PyObject* modules = PyImport_GetModuleDict();  // borrowed
  PyObject* cached = PyDict_GetItemWithError(modules, *module_name);  // borrowed
  if (cached != nullptr && cached != Py_None) return Ref::borrow(cached);
  if (cached == nullptr && PyErr_Occurred()) return raised();
  Ref imported = Ref::steal(PyImport_Import(*module_name));
  if (!imported) return raised();
  return imported;
}

// `module.name`, looked up at every call as the classes' values may come
// from whatever the running interpreter's module currently holds.
[[nodiscard]] inline Result<Ref> import_attr(InternedName& module, InternedName& name) {
  auto imported = current_module(module);
  if (!imported) return raised();
  auto attr_name = name.get();
  if (!attr_name) return raised();
  // A plain module's attribute is the entry in its dictionary: the module
  // type has no attribute of such a name that could come first. Read there
  // directly, this costs a fifth of the general lookup; anything else, a
  // missing name included, takes the general lookup.
  if (PyModule_CheckExact(imported->get())) {
    PyObject* entry = PyDict_GetItemWithError(PyModule_GetDict(imported->get()), *attr_name);
    if (entry != nullptr) return Ref::borrow(entry);
    if (PyErr_Occurred()) return raised();
  }
  Ref attr = Ref::steal(PyObject_GetAttr(imported->get(), *attr_name));
  if (!attr) return raised();
  return attr;
}

// `object.name()`, with the name interned.
[[nodiscard]] inline Result<Ref> call_method(PyObject* object, InternedName& name) {
  auto method_name = name.get();
  if (!method_name) return raised();
  Ref result = Ref::steal(PyObject_CallMethodObjArgs(object, *method_name, nullptr));
  if (!result) return raised();
  return result;
}

// The text of a str result (a method's), copied out.
[[nodiscard]] inline Result<std::string> str_to_string(PyObject* object) {
  auto text = to_str(object);
  if (!text) return raised();
  return std::string(*text);
}

}  // namespace py
