// The Python class Property: see property.hpp.
#include "property.hpp"

#include <array>
#include <utility>

#include "errors.hpp"
#include "field_access.hpp"
#include "model/xml_string.hpp"
#include "pickling.hpp"
#include "py/args.hpp"
#include "py/borrow.hpp"
#include "py/convert.hpp"
#include "py/entry.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/text.hpp"
#include "py/type_cache.hpp"

namespace corvane {
namespace {

struct PropertyState {
  py::BorrowFlag borrow;
  XmlString name;
  XmlString value;
};

PyObject* type_cache = nullptr;

PropertyState& state(PyObject* self) { return py::state_of<PropertyState>(self); }

constexpr std::array kNewParams = {py::required("name"), py::required("value")};

PyObject* property_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kNewParams>("Property.__new__()", args, kwargs);
  if (!parsed) return nullptr;
  auto name = py::noted("name", py::to_str((*parsed)[0]));
  if (!name) return nullptr;
  auto value = py::noted("value", py::to_str((*parsed)[1]));
  if (!value) return nullptr;
  auto self = py::new_object(type, PropertyState{{}, py::clean_text(*name), py::clean_text(*value)});
  if (!self) return nullptr;
  return self->release();
}

PyGetSetDef getset[] = {
    field::text<PropertyState, &PropertyState::name>("name"),
    field::text<PropertyState, &PropertyState::value>("value"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// pickle and copy: both texts are the constructor's arguments.
using PickleArgs =
    pickling::Fields<pickling::Field<&PropertyState::name>, pickling::Field<&PropertyState::value>>;

PyMethodDef methods[] = {
    py::method<&pickling::reduce<PropertyState, PickleArgs, pickling::Fields<>>>(
        "__reduce__", METH_NOARGS, pickling::kReduceDoc),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("Property(name, value)\n--\n\n")},
    {Py_tp_new, py::slot<&property_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<PropertyState>>()},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "corvane._corvane.Property",
    static_cast<int>(sizeof(py::Object<PropertyState>)),
    0,
    py::kClassFlags,
    slots,
};

}  // namespace

py::Result<PyObject*> property_type() {
  return py::create_once(type_cache, [] { return py::type_from_spec(spec); });
}

py::Result<Property> property_to_model(PyObject* self) {
  auto guard = py::SharedGuard::try_acquire(state(self).borrow);
  if (!guard) {
    raise_internal_failure("Property is being changed while it is converted");
    return py::raised();
  }
  // Both texts are clean already: copies are what cleaning again would give.
  return Property{state(self).name, state(self).value};
}

py::Result<py::Ref> property_from_model(const Property& property) {
  auto type = property_type();
  if (!type) return py::raised();
  return py::new_object(py::as_type(*type), PropertyState{{}, property.name, property.value});
}

}  // namespace corvane
