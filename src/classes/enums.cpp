// NonSuccessKind and RerunKind: see enums.hpp. Both enumerations share one
// implementation, instantiated per enumeration so each gets its own slots.
#include "enums.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

#include "py/convert.hpp"
#include "py/entry.hpp"
#include "py/object.hpp"
#include "py/type_cache.hpp"

namespace corvane {
namespace {

struct EnumState {
  std::uint8_t value;
};

struct EnumDef {
  const char* qualified_name;
  const char* name;
  // Indexed by value; the values are those of the model's enumerations.
  std::array<const char*, 2> members;
};

constexpr std::size_t kNonSuccessKind = 0;
constexpr std::size_t kRerunKind = 1;

constexpr std::array<EnumDef, 2> kEnums = {{
    {"corvane._corvane.NonSuccessKind", "NonSuccessKind", {"FAILURE", "ERROR"}},
    {"corvane._corvane.RerunKind", "RerunKind", {"FLAKY", "RERUN"}},
}};
static_assert(static_cast<int>(NonSuccessKind::Failure) == 0 &&
              static_cast<int>(NonSuccessKind::Error) == 1);
static_assert(static_cast<int>(RerunKind::Flaky) == 0 && static_cast<int>(RerunKind::Rerun) == 1);

// The class and its members are published together, so a member always
// belongs to the class object that was handed out.
struct EnumCache {
  PyObject* type = nullptr;
  std::array<PyObject*, 2> members{};
};
std::array<EnumCache, 2> caches;

std::uint8_t value_of(PyObject* self) { return py::state_of<EnumState>(self).value; }

template <std::size_t E>
PyObject* enum_repr(PyObject* self) {
  return PyUnicode_FromFormat("%s.%s", kEnums[E].name, kEnums[E].members[value_of(self)]);
}

// The member's name within the module ("NonSuccessKind.FAILURE"): pickle
// stores it as that global, and copy and deepcopy return the member itself,
// so a member always comes back as the very singleton.
template <std::size_t E>
PyObject* enum_reduce(PyObject* self, PyObject*) {
  return enum_repr<E>(self);
}

template <std::size_t E>
PyMethodDef enum_methods[] = {
    py::method<&enum_reduce<E>>(
        "__reduce__", METH_NOARGS,
        "__reduce__($self)\n--\n\nFor pickle and copy, which give back the member itself."),
    {nullptr, nullptr, 0, nullptr},
};

PyObject* enum_int(PyObject* self) { return PyLong_FromLong(value_of(self)); }

// Equality with a member of the same enumeration, or with any integer
// (anything with __index__, bool included). Everything else, and ordering,
// is left to Python, which falls back to identity or raises TypeError.
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  bool equal = false;
  if (Py_TYPE(other) == Py_TYPE(self)) {
    equal = value_of(self) == value_of(other);
  } else if (PyIndex_Check(other)) {
    py::Ref number = py::Ref::steal(PyNumber_Index(other));
    if (!number) return nullptr;
    py::Ref value = py::Ref::steal(PyLong_FromLong(value_of(self)));
    if (!value) return nullptr;
    const int result = PyObject_RichCompareBool(number.get(), value.get(), Py_EQ);
    if (result < 0) return nullptr;
    equal = result == 1;
  } else {
    Py_RETURN_NOTIMPLEMENTED;
  }
  return PyBool_FromLong((op == Py_EQ) == equal);
}

template <std::size_t E>
PyType_Slot enum_slots[] = {
    {Py_tp_repr, py::slot<&enum_repr<E>>()},
    {Py_tp_richcompare, py::slot<&enum_richcompare>()},
    // Equality without a hash: __hash__ becomes None, as for a Python class
    // that defines only __eq__. CPython knows its own function by address,
    // so it is given as it is.
    {Py_tp_hash, reinterpret_cast<void*>(&PyObject_HashNotImplemented)},
    {Py_nb_int, py::slot<&enum_int>()},
    {Py_tp_methods, enum_methods<E>},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<EnumState>>()},
    {0, nullptr},
};

template <std::size_t E>
PyType_Spec enum_spec = {
    kEnums[E].qualified_name,
    static_cast<int>(sizeof(py::Object<EnumState>)),
    0,
    py::kClassFlags | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    enum_slots<E>,
};

template <std::size_t E>
[[nodiscard]] py::Result<PyObject*> enum_type() {
  EnumCache& cache = caches[E];
  if (cache.type != nullptr) return cache.type;
  auto type = py::type_from_spec(enum_spec<E>);
  if (!type) return py::raised();
  std::array<py::Ref, 2> members;
  for (std::size_t value = 0; value < members.size(); ++value) {
    auto member =
        py::new_object(py::as_type(type->get()), EnumState{static_cast<std::uint8_t>(value)});
    if (!member) return py::raised();
    PY_TRY(py::add_class_constant(type->get(), kEnums[E].members[value], member->get()));
    members[value] = std::move(*member);
  }
  // Creating the members may have let another thread finish first; keep its
  // objects so that only one class and one set of members ever exist.
  if (cache.type != nullptr) return cache.type;
  cache.type = type->release();
  for (std::size_t value = 0; value < members.size(); ++value) {
    cache.members[value] = members[value].release();
  }
  return cache.type;
}

template <std::size_t E>
[[nodiscard]] py::Result<py::Ref> enum_member(std::uint8_t value) {
  if (!enum_type<E>()) return py::raised();
  return py::Ref::borrow(caches[E].members[value]);
}

template <std::size_t E>
[[nodiscard]] py::Result<std::uint8_t> extract_enum(PyObject* object) {
  auto type = enum_type<E>();
  if (!type) return py::raised();
  if (!py::is_instance(object, py::as_type(*type))) {
    py::raise_not_instance(object, kEnums[E].name);
    return py::raised();
  }
  return value_of(object);
}

}  // namespace

py::Result<PyObject*> non_success_kind_type() { return enum_type<kNonSuccessKind>(); }
py::Result<PyObject*> rerun_kind_type() { return enum_type<kRerunKind>(); }

py::Result<py::Ref> non_success_kind_member(NonSuccessKind kind) {
  return enum_member<kNonSuccessKind>(static_cast<std::uint8_t>(kind));
}

py::Result<py::Ref> rerun_kind_member(RerunKind kind) {
  return enum_member<kRerunKind>(static_cast<std::uint8_t>(kind));
}

py::Result<NonSuccessKind> extract_non_success_kind(PyObject* object) {
  auto value = extract_enum<kNonSuccessKind>(object);
  if (!value) return py::raised();
  return static_cast<NonSuccessKind>(*value);
}

py::Result<RerunKind> extract_rerun_kind(PyObject* object) {
  auto value = extract_enum<kRerunKind>(object);
  if (!value) return py::raised();
  return static_cast<RerunKind>(*value);
}

}  // namespace corvane
