// Looking up what the conversions need from Python: a class of a standard
// module, a method call, and a str result as an owned UTF-8 string.
#pragma once

#include <Python.h>

#include <string>

#include "py/convert.hpp"
#include "py/interned.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

// `module.name`, importing the module at every call as the classes' values
// may come from whatever the running interpreter's module currently holds.
[[nodiscard]] inline Result<Ref> import_attr(InternedName& module, InternedName& name) {
  auto module_name = module.get();
  if (!module_name) return raised();
  Ref imported = Ref::steal(PyImport_Import(*module_name));
  if (!imported) return raised();
  auto attr_name = name.get();
  if (!attr_name) return raised();
  Ref attr = Ref::steal(PyObject_GetAttr(imported.get(), *attr_name));
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
