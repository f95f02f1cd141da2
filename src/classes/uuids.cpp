// UUIDs between Python and the classes: see uuids.hpp.
#include "uuids.hpp"

#include <utility>

#include "py/interned.hpp"
#include "py/lookup.hpp"
#include "py/text.hpp"

namespace corvane {
namespace {

// Names looked up at every conversion, interned once.
constinit py::InternedName kUuidModule("uuid");
constinit py::InternedName kUuidClass("UUID");

}  // namespace

py::Result<std::optional<std::string>> normalize_uuid(PyObject* obj_or_null) {
  if (obj_or_null == nullptr || obj_or_null == Py_None) return std::optional<std::string>();
  auto uuid_class = py::import_attr(kUuidModule, kUuidClass);
  if (!uuid_class) return py::raised();
  const int is_uuid = PyObject_IsInstance(obj_or_null, uuid_class->get());
  if (is_uuid < 0) return py::raised();
  if (is_uuid == 0) {
    PyErr_SetString(PyExc_TypeError, "uuid must be a uuid.UUID instance");
    return py::raised();
  }
  py::Ref text = py::Ref::steal(PyObject_Str(obj_or_null));
  if (!text) return py::raised();
  auto result = py::str_to_string(text.get());
  if (!result) return py::raised();
  return std::optional<std::string>(std::move(*result));
}

py::Result<py::Ref> uuid_to_python(const std::optional<std::string>& text) {
  if (!text) return py::Ref::borrow(Py_None);
  auto uuid_class = py::import_attr(kUuidModule, kUuidClass);
  if (!uuid_class) return py::raised();
  py::Ref argument = py::Ref::steal(py::new_str(*text));
  if (!argument) return py::raised();
  py::Ref uuid =
      py::Ref::steal(PyObject_CallFunctionObjArgs(uuid_class->get(), argument.get(), nullptr));
  if (!uuid) return py::raised();
  return uuid;
}

}  // namespace corvane
