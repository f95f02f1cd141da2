// The Python class TestRerun: see test_rerun.hpp.
#include "test_rerun.hpp"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "durations.hpp"
#include "enums.hpp"
#include "errors.hpp"
#include "field_access.hpp"
#include "model/optional_text.hpp"
#include "model/xml_string.hpp"
#include "pickling.hpp"
#include "py/args.hpp"
#include "py/borrow.hpp"
#include "py/entry.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/text.hpp"
#include "py/type_cache.hpp"
#include "timestamps.hpp"
#include "xml_write/text_forms.hpp"

namespace corvane {
namespace {

struct TestRerunState {
  py::BorrowFlag borrow;
  NonSuccessKind kind = NonSuccessKind::Failure;
  std::optional<std::string> timestamp;
  OptionalDuration time;
  OptionalText message;
  OptionalText type;
  OptionalText stack_trace;
  OptionalText system_out;
  OptionalText system_err;
  OptionalText description;
};

PyObject* type_cache = nullptr;

TestRerunState& state(PyObject* self) { return py::state_of<TestRerunState>(self); }

// The six texts, in the order of the constructor's parameters (which is
// also the order they are sanitised and converted in).
constexpr std::array kTextFields = {
    &TestRerunState::message,    &TestRerunState::type,       &TestRerunState::stack_trace,
    &TestRerunState::system_out, &TestRerunState::system_err, &TestRerunState::description,
};
constexpr std::array<const char*, kTextFields.size()> kTextNames = {
    "message", "type", "stack_trace", "system_out", "system_err", "description",
};
// The model's fields, in the same order.
constexpr std::array kModelTextFields = {
    &TestRerun::message,    &TestRerun::type,       &TestRerun::stack_trace,
    &TestRerun::system_out, &TestRerun::system_err, &TestRerun::description,
};

constexpr std::array kNewParams = {
    py::required("kind"),      py::keyword("timestamp"),  py::keyword("time"),
    py::keyword("message"),    py::keyword("type"),       py::keyword("stack_trace"),
    py::keyword("system_out"), py::keyword("system_err"), py::keyword("description"),
};
constexpr std::size_t kFirstTextParam = 3;

PyObject* test_rerun_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("TestRerun.__new__()", kNewParams, args, kwargs);
  if (!parsed) return nullptr;
  const auto& arguments = *parsed;
  auto kind = py::noted("kind", extract_non_success_kind(arguments[0]));
  if (!kind) return nullptr;
  auto time = py::noted("time", extract_optional_duration(arguments[2]));
  if (!time) return nullptr;
  std::array<std::optional<std::string_view>, kTextFields.size()> texts;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    auto text = py::noted(kTextNames[i], py::to_optional_str(arguments[kFirstTextParam + i]));
    if (!text) return nullptr;
    texts[i] = *text;
  }
  // Checked once every argument has its type: its errors carry no note.
  auto timestamp = normalize_timestamp(arguments[1]);
  if (!timestamp) return nullptr;

  TestRerunState rerun;
  rerun.kind = *kind;
  rerun.timestamp = std::move(*timestamp);
  rerun.time = *time;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (texts[i]) rerun.*kTextFields[i] = XmlString(*texts[i]);
  }
  auto self = py::new_object(type, std::move(rerun));
  if (!self) return nullptr;
  return self->release();
}

PyObject* get_kind(PyObject* self, void*) {
  auto kind = field::copied(self, &TestRerunState::kind);
  if (!kind) return nullptr;
  auto member = non_success_kind_member(*kind);
  if (!member) return nullptr;
  return member->release();
}

[[nodiscard]] py::Result<void> set_kind(PyObject* self, PyObject* value) {
  auto kind = py::noted("value", extract_non_success_kind(value));
  if (!kind) return py::raised();
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return py::raised();
  state(self).kind = *kind;
  return {};
}

PyGetSetDef getset[] = {
    py::getset<&get_kind, &set_kind>("kind"),
    field::timestamp<TestRerunState, &TestRerunState::timestamp>("timestamp"),
    field::time<TestRerunState, &TestRerunState::time>("time"),
    field::optional_text<TestRerunState, &TestRerunState::message>("message"),
    field::optional_text<TestRerunState, &TestRerunState::type>("type"),
    field::optional_text<TestRerunState, &TestRerunState::stack_trace>("stack_trace"),
    field::optional_text<TestRerunState, &TestRerunState::system_out>("system_out"),
    field::optional_text<TestRerunState, &TestRerunState::system_err>("system_err"),
    field::optional_text<TestRerunState, &TestRerunState::description>("description"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// pickle and copy: the kind is the constructor's argument, the rest the state.
constexpr char kSetState[] = "TestRerun.__setstate__()";
using PickleArgs = pickling::Fields<pickling::Field<&TestRerunState::kind>>;
using PickleState = pickling::Fields<
    pickling::Field<&TestRerunState::timestamp>, pickling::Field<&TestRerunState::time>,
    pickling::Field<&TestRerunState::message>, pickling::Field<&TestRerunState::type>,
    pickling::Field<&TestRerunState::stack_trace>, pickling::Field<&TestRerunState::system_out>,
    pickling::Field<&TestRerunState::system_err>, pickling::Field<&TestRerunState::description>>;

PyMethodDef methods[] = {
    py::method<&pickling::reduce<TestRerunState, PickleArgs, PickleState>>(
        "__reduce__", METH_NOARGS, pickling::kReduceDoc),
    py::method<&pickling::setstate<TestRerunState, PickleState, kSetState>>(
        "__setstate__", METH_O, pickling::kSetStateDoc),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "TestRerun(kind, *, timestamp=None, time=None, message=None, type=None, "
         "stack_trace=None, system_out=None, system_err=None, description=None)\n--\n\n")},
    {Py_tp_new, py::slot<&test_rerun_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<TestRerunState>>()},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "corvane._corvane.TestRerun",
    static_cast<int>(sizeof(py::Object<TestRerunState>)),
    0,
    py::kClassFlags,
    slots,
};

}  // namespace

py::Result<PyObject*> test_rerun_type() {
  return py::create_once(type_cache, [] { return py::type_from_spec(spec); });
}

py::Result<TestRerun> test_rerun_to_model(PyObject* self) {
  auto guard = py::SharedGuard::try_acquire(state(self).borrow);
  if (!guard) {
    raise_internal_failure("TestRerun is being changed while it is converted");
    return py::raised();
  }
  const TestRerunState& stored = state(self);
  TestRerun rerun;
  rerun.kind = stored.kind;
  auto timestamp = timestamp_to_model(stored.timestamp);
  if (!timestamp) return py::raised();
  rerun.timestamp = *timestamp;
  rerun.time = stored.time;
  // The stored texts are clean already: copies are what cleaning again would give.
  for (std::size_t i = 0; i < kTextFields.size(); ++i) {
    rerun.*kModelTextFields[i] = stored.*kTextFields[i];
  }
  return rerun;
}

py::Result<py::Ref> test_rerun_from_model(TestRerun&& rerun) {
  auto type = test_rerun_type();
  if (!type) return py::raised();
  TestRerunState stored;
  stored.kind = rerun.kind;
  if (rerun.timestamp) stored.timestamp = to_rfc3339(*rerun.timestamp);
  stored.time = rerun.time;
  for (std::size_t i = 0; i < kTextFields.size(); ++i) {
    stored.*kTextFields[i] = std::move(rerun.*kModelTextFields[i]);
  }
  return py::new_object(py::as_type(*type), std::move(stored));
}

}  // namespace corvane
