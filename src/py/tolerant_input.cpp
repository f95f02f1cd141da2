#include "py/tolerant_input.hpp"

namespace py {

bool tolerant_input(PyObject* xml, std::string_view& out, std::string& copy) {
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

}  // namespace py
