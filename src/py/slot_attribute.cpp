// Fixed attribute lookups: see slot_attribute.hpp.
#include "py/slot_attribute.hpp"

#include "py/ref.hpp"

namespace py {
namespace {

bool is_immutable(PyObject* type) noexcept {
  return (PyType_GetFlags(reinterpret_cast<PyTypeObject*>(type)) & Py_TPFLAGS_IMMUTABLETYPE) != 0;
}

// The entry for `name` in the dictionary of the first class of `cls`'s MRO
// that has one, as the generic lookup finds it; every class on the way must
// be immutable so that the answer cannot change. NULL when there is none or
// a class does not qualify; errors are cleared.
Ref find_in_mro(PyObject* cls, PyObject* name) noexcept {
  Ref mro = Ref::steal(PyObject_GetAttrString(cls, "__mro__"));
  if (!mro || !PyTuple_Check(mro.get())) {
    PyErr_Clear();
    return Ref();
  }
  for (Py_ssize_t i = 0; i < PyTuple_Size(mro.get()); ++i) {
    PyObject* base = PyTuple_GetItem(mro.get(), i);
    if (base == nullptr || !PyType_Check(base) || !is_immutable(base)) break;
    Ref dict = Ref::steal(PyObject_GetAttrString(base, "__dict__"));
    if (!dict) break;
    Ref entry = Ref::steal(PyObject_GetItem(dict.get(), name));
    if (entry) return entry;
    if (!PyErr_ExceptionMatches(PyExc_KeyError)) break;
    PyErr_Clear();
  }
  PyErr_Clear();
  return Ref();
}

}  // namespace

bool SlotAttribute::resolve(PyObject* cls, PyObject* name) noexcept {
  if (class_ != nullptr) return class_ == cls;
  // Only the plain metaclass and the generic lookup: nothing else decides
  // what an instance's attribute is.
  if (!PyType_CheckExact(cls) || !is_immutable(cls)) return false;
  auto* type = reinterpret_cast<PyTypeObject*>(cls);
  if (PyType_GetSlot(type, Py_tp_getattro) != reinterpret_cast<void*>(&PyObject_GenericGetAttr)) {
    return false;
  }
  Ref descriptor = find_in_mro(cls, name);
  if (!descriptor) return false;
  PyObject* descriptor_type = reinterpret_cast<PyObject*>(Py_TYPE(descriptor.get()));
  if (!is_immutable(descriptor_type)) return false;
  auto* kind = reinterpret_cast<PyTypeObject*>(descriptor_type);
  auto get = reinterpret_cast<descrgetfunc>(PyType_GetSlot(kind, Py_tp_descr_get));
  // A data descriptor (with a setter too) comes before the instance's own
  // dictionary, so it alone decides.
  if (get == nullptr || PyType_GetSlot(kind, Py_tp_descr_set) == nullptr) {
    PyErr_Clear();
    return false;
  }
  class_ = Py_NewRef(cls);
  descriptor_ = descriptor.release();
  get_ = get;
  return true;
}

}  // namespace py
