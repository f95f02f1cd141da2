// Argument value extraction: see convert.hpp.
#include "py/convert.hpp"

#include "py/raise.hpp"
#include "py/ref.hpp"

namespace py {

std::string type_name(PyObject* object) {
  Ref name = Ref::steal(
      PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (name && PyUnicode_Check(name.get())) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size);
    if (text != nullptr) return std::string(text, static_cast<std::size_t>(size));
  }
  // Only a metaclass with a broken __qualname__ gets here; the message being
  // built matters more than that failure.
  PyErr_Clear();
  return "object";
}

void raise_not_instance(PyObject* object, std::string_view target) {
  std::string message =
      object == Py_None ? "'None' is not" : "'" + type_name(object) + "' object is not";
  message += " an instance of '";
  message += target;
  message += '\'';
  raise_text(PyExc_TypeError, message);
}

bool is_instance(PyObject* object, PyTypeObject* type) noexcept {
  return Py_TYPE(object) == type || PyType_IsSubtype(Py_TYPE(object), type);
}

Result<PyObject*> to_instance(PyObject* object, PyTypeObject* type, std::string_view target) {
  if (!is_instance(object, type)) {
    raise_not_instance(object, target);
    return raised();
  }
  return object;
}

Result<PyObject*> to_dict(PyObject* object) {
  if (!PyDict_Check(object)) {
    raise_not_instance(object, "dict");
    return raised();
  }
  return object;
}

Result<std::uint64_t> to_u64(PyObject* object) {
  Ref index = Ref::steal(PyNumber_Index(object));
  if (!index) return raised();
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return raised();
  return static_cast<std::uint64_t>(value);
}

}  // namespace py
