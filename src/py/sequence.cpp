// The shared sequence rule: see sequence.hpp.
#include "py/sequence.hpp"

#include <algorithm>

#include "py/convert.hpp"

namespace py {
namespace {

constexpr std::size_t kMaxReserve = 4096;

}  // namespace

Result<std::vector<Ref>> extract_sequence(PyObject* object, PyTypeObject* type,
                                          std::string_view target) {
  // A str is a sequence of str, never what a caller meant to pass.
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return raised();
  }
  if (!PySequence_Check(object)) {
    raise_not_instance(object, "Sequence");
    return raised();
  }
  std::vector<Ref> items;
  // The length is only a capacity hint: a sequence whose __len__ fails can
  // still be iterated, and one that claims a huge length must not make us
  // allocate for it up front.
  const Py_ssize_t length = PySequence_Size(object);
  if (length < 0) {
    PyErr_Clear();
  } else {
    items.reserve(std::min(static_cast<std::size_t>(length), kMaxReserve));
  }
  Ref iterator = Ref::steal(PyObject_GetIter(object));
  if (!iterator) return raised();
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!is_instance(item.get(), type)) {
      raise_not_instance(item.get(), target);
      return raised();
    }
    items.push_back(std::move(item));
  }
  if (PyErr_Occurred()) return raised();
  return items;
}

}  // namespace py
