// Raising from a text: see raise.hpp.
#include "py/raise.hpp"

#include "py/ref.hpp"

namespace py {

void raise_text(PyObject* type, std::string_view message) noexcept {
  Ref text = Ref::steal(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(type, text.get());
}

}  // namespace py
