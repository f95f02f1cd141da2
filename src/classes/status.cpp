// The status classes Success, Failure, Error and Skipped: see status.hpp.
// Failure and Error share one implementation, instantiated per kind, since
// they differ only in their names and the kind they report.
#include "status.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "boxed.hpp"
#include "child_list.hpp"
#include "enums.hpp"
#include "errors.hpp"
#include "field_access.hpp"
#include "model/optional_text.hpp"
#include "model/xml_string.hpp"
#include "pickling.hpp"
#include "py/args.hpp"
#include "py/borrow.hpp"
#include "py/convert.hpp"
#include "py/entry.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/sequence.hpp"
#include "py/text.hpp"
#include "py/type_cache.hpp"
#include "test_rerun.hpp"

namespace corvane {
namespace {

using Reruns = std::vector<py::Ref>;

// Reruns are rare: boxed, a Success (nearly every outcome of a large report)
// takes 32 bytes instead of 48.
struct SuccessState {
  py::BorrowFlag borrow;
  BoxedChildList reruns;  // the flaky runs
};

struct NonSuccessState {
  py::BorrowFlag borrow;
  BoxedChildList reruns;
  OptionalText message;
  OptionalText type;
  OptionalText description;
  RerunKind rerun_kind = RerunKind::Rerun;
};

struct SkippedState {
  py::BorrowFlag borrow;
  OptionalText message;
  OptionalText type;
  OptionalText description;
};

PyObject* success_cache = nullptr;
std::array<PyObject*, 2> non_success_caches{};  // indexed by NonSuccessKind
PyObject* skipped_cache = nullptr;

constexpr const char* kNotStatus = "status must be a Success, Failure, Error, or Skipped instance";

// What differs between the classes that hold reruns: the names quoted in
// argument errors.
struct RerunHolderNames {
  const char* add_rerun;
  const char* add_reruns;
};
constexpr RerunHolderNames kSuccessNames = {"Success.add_rerun()", "Success.add_reruns()"};
constexpr std::array<RerunHolderNames, 2> kNonSuccessNames = {{
    {"Failure.add_rerun()", "Failure.add_reruns()"},
    {"Error.add_rerun()", "Error.add_reruns()"},
}};

constexpr std::size_t index_of(NonSuccessKind kind) { return static_cast<std::size_t>(kind); }

// The items of a rerun list argument, all TestRerun instances.
[[nodiscard]] py::Result<Reruns> extract_reruns(PyObject* object) {
  auto type = test_rerun_type();
  if (!type) return py::raised();
  return py::extract_sequence(object, py::as_type(*type), "TestRerun");
}

// --- Attributes shared by several classes ------------------------------------

// --- Methods of the classes that hold reruns ---------------------------------

template <class State, const RerunHolderNames& Names>
PyObject* add_rerun(PyObject* self, PyObject* args, PyObject* kwargs) {
  static constexpr std::array kParams = {py::required("rerun")};
  auto parsed = py::parse_args(Names.add_rerun, kParams, args, kwargs);
  if (!parsed) return nullptr;
  auto type = test_rerun_type();
  if (!type) return nullptr;
  auto rerun = py::noted("rerun", py::to_instance((*parsed)[0], py::as_type(*type), "TestRerun"));
  if (!rerun) return nullptr;
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return nullptr;
  stored.reruns.make().push_back(py::Ref::borrow(*rerun));
  Py_RETURN_NONE;
}

// The sequence is iterated (running its Python code, which may touch this
// very status) before the status is taken, as list.extend does.
template <class State, const RerunHolderNames& Names>
PyObject* add_reruns(PyObject* self, PyObject* args, PyObject* kwargs) {
  static constexpr std::array kParams = {py::required("reruns")};
  auto parsed = py::parse_args(Names.add_reruns, kParams, args, kwargs);
  if (!parsed) return nullptr;
  auto reruns = py::noted("reruns", extract_reruns((*parsed)[0]));
  if (!reruns) return nullptr;
  State& stored = py::state_of<State>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return nullptr;
  append_children(stored.reruns.make(), std::move(*reruns));
  Py_RETURN_NONE;
}

// pickle and copy: a status has no required constructor argument, so
// everything it stores is its state (Rest, a pickling::Fields).
template <class State, class Rest, const char* SetState>
std::array<PyMethodDef, 2> pickle_methods() {
  return {{
      py::method<&pickling::reduce<State, pickling::Fields<>, Rest>>("__reduce__", METH_NOARGS,
                                                                     pickling::kReduceDoc),
      py::method<&pickling::setstate<State, Rest, SetState>>("__setstate__", METH_O,
                                                             pickling::kSetStateDoc),
  }};
}

constexpr char kRerunName[] = "TestRerun";

template <class State, const RerunHolderNames& Names, class Rest, const char* SetState>
std::array<PyMethodDef, 5> rerun_methods() {
  const auto pickle = pickle_methods<State, Rest, SetState>();
  return {{
      py::method<&add_rerun<State, Names>>("add_rerun", py::kKeywords,
                                           "add_rerun($self, rerun)\n--\n\n"),
      py::method<&add_reruns<State, Names>>("add_reruns", py::kKeywords,
                                            "add_reruns($self, reruns)\n--\n\n"),
      pickle[0],
      pickle[1],
      {nullptr, nullptr, 0, nullptr},
  }};
}

// A type that only Python code of this module creates instances of; its
// spec and slot table live as long as the process.
template <class State>
PyType_Spec make_spec(const char* name, PyType_Slot* slots) {
  return {name, static_cast<int>(sizeof(py::Object<State>)), 0, py::kClassFlags, slots};
}

// --- Success -------------------------------------------------------------------

constexpr std::array kSuccessParams = {py::keyword("flaky_runs")};

PyObject* success_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kSuccessParams>("Success.__new__()", args, kwargs);
  if (!parsed) return nullptr;
  SuccessState stored;
  if (PyObject* flaky_runs = (*parsed)[0]) {
    auto reruns = py::noted("flaky_runs", extract_reruns(flaky_runs));
    if (!reruns) return nullptr;
    stored.reruns = std::move(*reruns);
  }
  auto self = py::new_object(type, std::move(stored));
  if (!self) return nullptr;
  return self->release();
}

constexpr char kSuccessSetState[] = "Success.__setstate__()";
using SuccessPickle =
    pickling::Fields<pickling::Children<&SuccessState::reruns, &test_rerun_type, kRerunName>>;
auto success_methods =
    rerun_methods<SuccessState, kSuccessNames, SuccessPickle, kSuccessSetState>();

PyGetSetDef success_getset[] = {
    py::getter<&field::get_children<SuccessState, &SuccessState::reruns>>("flaky_runs"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot success_slots[] = {
    {Py_tp_doc, const_cast<char*>("Success(*, flaky_runs=...)\n--\n\n")},
    {Py_tp_new, py::slot<&success_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<SuccessState>>()},
    {Py_tp_methods, success_methods.data()},
    {Py_tp_getset, success_getset},
    {0, nullptr},
};

PyType_Spec success_spec = make_spec<SuccessState>("corvane._corvane.Success", success_slots);

// --- Failure and Error ------------------------------------------------------------

constexpr std::array kNonSuccessParams = {
    py::optional("message"), py::keyword("type"),       py::keyword("description"),
    py::keyword("reruns"),   py::keyword("rerun_kind"),
};
constexpr std::array<const char*, 2> kNonSuccessNew = {"Failure.__new__()", "Error.__new__()"};

template <NonSuccessKind K>
PyObject* non_success_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kNonSuccessParams>(kNonSuccessNew[index_of(K)], args, kwargs);
  if (!parsed) return nullptr;
  const auto& arguments = *parsed;
  NonSuccessState stored;
  auto message = py::noted("message", py::to_optional_text(arguments[0]));
  if (!message) return nullptr;
  auto text_type = py::noted("type", py::to_optional_text(arguments[1]));
  if (!text_type) return nullptr;
  auto description = py::noted("description", py::to_optional_text(arguments[2]));
  if (!description) return nullptr;
  if (arguments[3] != nullptr) {
    auto reruns = py::noted("reruns", extract_reruns(arguments[3]));
    if (!reruns) return nullptr;
    stored.reruns = std::move(*reruns);
  }
  if (arguments[4] != nullptr) {
    auto rerun_kind = py::noted("rerun_kind", extract_rerun_kind(arguments[4]));
    if (!rerun_kind) return nullptr;
    stored.rerun_kind = *rerun_kind;
  }
  stored.message = std::move(*message);
  stored.type = std::move(*text_type);
  stored.description = std::move(*description);
  auto self = py::new_object(type, std::move(stored));
  if (!self) return nullptr;
  return self->release();
}

template <NonSuccessKind K>
PyObject* get_kind(PyObject*, void*) {
  auto member = non_success_kind_member(K);
  if (!member) return nullptr;
  return member->release();
}

PyObject* get_rerun_kind(PyObject* self, void*) {
  auto rerun_kind = field::copied(self, &NonSuccessState::rerun_kind);
  if (!rerun_kind) return nullptr;
  auto member = rerun_kind_member(*rerun_kind);
  if (!member) return nullptr;
  return member->release();
}

[[nodiscard]] py::Result<void> set_rerun_kind(PyObject* self, PyObject* value) {
  auto rerun_kind = py::noted("value", extract_rerun_kind(value));
  if (!rerun_kind) return py::raised();
  NonSuccessState& stored = py::state_of<NonSuccessState>(self);
  auto guard = py::borrow_mut(stored.borrow);
  if (!guard) return py::raised();
  stored.rerun_kind = *rerun_kind;
  return {};
}

constexpr char kFailureSetState[] = "Failure.__setstate__()";
constexpr char kErrorSetState[] = "Error.__setstate__()";
using NonSuccessPickle =
    pickling::Fields<pickling::Field<&NonSuccessState::message>,
                     pickling::Field<&NonSuccessState::type>,
                     pickling::Field<&NonSuccessState::description>,
                     pickling::Children<&NonSuccessState::reruns, &test_rerun_type, kRerunName>,
                     pickling::Field<&NonSuccessState::rerun_kind>>;

template <NonSuccessKind K>
auto non_success_methods =
    rerun_methods<NonSuccessState, kNonSuccessNames[index_of(K)], NonSuccessPickle,
                  K == NonSuccessKind::Failure ? kFailureSetState : kErrorSetState>();

template <NonSuccessKind K>
PyGetSetDef non_success_getset[] = {
    py::getter<&field::get_children<NonSuccessState, &NonSuccessState::reruns>>("reruns"),
    field::optional_text<NonSuccessState, &NonSuccessState::message>("message"),
    field::optional_text<NonSuccessState, &NonSuccessState::type>("type"),
    field::optional_text<NonSuccessState, &NonSuccessState::description>("description"),
    py::getter<&get_kind<K>>("kind"),
    py::getset<&get_rerun_kind, &set_rerun_kind>("rerun_kind"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr std::array<const char*, 2> kNonSuccessDoc = {
    "Failure(message=None, *, type=None, description=None, reruns=..., rerun_kind=...)\n--\n\n",
    "Error(message=None, *, type=None, description=None, reruns=..., rerun_kind=...)\n--\n\n",
};
constexpr std::array<const char*, 2> kNonSuccessTypeName = {"corvane._corvane.Failure",
                                                            "corvane._corvane.Error"};

template <NonSuccessKind K>
PyType_Slot non_success_slots[] = {
    {Py_tp_doc, const_cast<char*>(kNonSuccessDoc[index_of(K)])},
    {Py_tp_new, py::slot<&non_success_new<K>>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<NonSuccessState>>()},
    {Py_tp_methods, non_success_methods<K>.data()},
    {Py_tp_getset, non_success_getset<K>},
    {0, nullptr},
};

template <NonSuccessKind K>
PyType_Spec non_success_spec =
    make_spec<NonSuccessState>(kNonSuccessTypeName[index_of(K)], non_success_slots<K>);

template <NonSuccessKind K>
[[nodiscard]] py::Result<PyObject*> non_success_type() {
  return py::create_once(non_success_caches[index_of(K)],
                         [] { return py::type_from_spec(non_success_spec<K>); });
}

[[nodiscard]] py::Result<PyObject*> non_success_type(NonSuccessKind kind) {
  return kind == NonSuccessKind::Failure ? non_success_type<NonSuccessKind::Failure>()
                                         : non_success_type<NonSuccessKind::Error>();
}

// --- Skipped ---------------------------------------------------------------------

constexpr std::array kSkippedParams = {py::optional("message"), py::keyword("type"),
                                       py::keyword("description")};

PyObject* skipped_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kSkippedParams>("Skipped.__new__()", args, kwargs);
  if (!parsed) return nullptr;
  const auto& arguments = *parsed;
  auto message = py::noted("message", py::to_optional_text(arguments[0]));
  if (!message) return nullptr;
  auto text_type = py::noted("type", py::to_optional_text(arguments[1]));
  if (!text_type) return nullptr;
  auto description = py::noted("description", py::to_optional_text(arguments[2]));
  if (!description) return nullptr;
  auto self = py::new_object(
      type, SkippedState{{}, std::move(*message), std::move(*text_type), std::move(*description)});
  if (!self) return nullptr;
  return self->release();
}

PyGetSetDef skipped_getset[] = {
    field::optional_text<SkippedState, &SkippedState::message>("message"),
    field::optional_text<SkippedState, &SkippedState::type>("type"),
    field::optional_text<SkippedState, &SkippedState::description>("description"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr char kSkippedSetState[] = "Skipped.__setstate__()";
using SkippedPickle =
    pickling::Fields<pickling::Field<&SkippedState::message>, pickling::Field<&SkippedState::type>,
                     pickling::Field<&SkippedState::description>>;
const auto skipped_pickle = pickle_methods<SkippedState, SkippedPickle, kSkippedSetState>();
PyMethodDef skipped_methods[] = {
    skipped_pickle[0],
    skipped_pickle[1],
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot skipped_slots[] = {
    {Py_tp_doc, const_cast<char*>("Skipped(message=None, *, type=None, description=None)\n--\n\n")},
    {Py_tp_new, py::slot<&skipped_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<SkippedState>>()},
    {Py_tp_getset, skipped_getset},
    {Py_tp_methods, skipped_methods},
    {0, nullptr},
};

PyType_Spec skipped_spec = make_spec<SkippedState>("corvane._corvane.Skipped", skipped_slots);

// --- Conversion to and from the model ------------------------------------------------

// No Python code runs while a status is held for a change, so one met in the
// middle of a change here is a broken invariant.
template <class State>
[[nodiscard]] py::Result<py::SharedGuard> hold_for_conversion(PyObject* object) {
  auto guard = py::SharedGuard::try_acquire(py::state_of<State>(object).borrow);
  if (!guard) {
    raise_internal_failure("status is being changed while it is converted");
    return py::raised();
  }
  return std::move(*guard);
}

// The three optional texts of a failure, error or skip. They were cleaned
// when stored, and cleaning clean text changes nothing, so they are copied.
void set_model_texts(TestCaseStatus& status, const OptionalText& message, const OptionalText& type,
                     const OptionalText& description) {
  if (message) status.set_message(*message);
  if (type) status.set_type(*type);
  if (description) status.set_description(*description);
}

[[nodiscard]] py::Result<void> add_model_reruns(TestCaseStatus& status,
                                                std::span<const py::Ref> reruns) {
  for (const py::Ref& rerun : reruns) {
    auto model = test_rerun_to_model(rerun.get());
    if (!model) return py::raised();
    status.add_rerun(std::move(*model));
  }
  return {};
}

// The model's reruns as new TestRerun objects, in order.
[[nodiscard]] py::Result<Reruns> reruns_from_model(std::vector<TestRerun>& reruns) {
  Reruns objects;
  objects.reserve(reruns.size());
  for (TestRerun& rerun : reruns) {
    auto object = test_rerun_from_model(std::move(rerun));
    if (!object) return py::raised();
    objects.push_back(std::move(*object));
  }
  return objects;
}

}  // namespace

py::Result<PyObject*> success_type() {
  return py::create_once(success_cache, [] { return py::type_from_spec(success_spec); });
}

py::Result<PyObject*> failure_type() { return non_success_type<NonSuccessKind::Failure>(); }
py::Result<PyObject*> error_type() { return non_success_type<NonSuccessKind::Error>(); }

py::Result<PyObject*> skipped_type() {
  return py::create_once(skipped_cache, [] { return py::type_from_spec(skipped_spec); });
}

namespace {

enum class StatusClass : std::uint8_t { Success, Failure, Error, Skipped };

// Which status class `object` is an instance of, none for any other object.
// Each class is tested once, in this order, wherever a status is told apart.
py::Result<std::optional<StatusClass>> status_class_of(PyObject* object) {
  constexpr std::array kTypes = {success_type, failure_type, error_type, skipped_type};
  for (std::size_t i = 0; i < kTypes.size(); ++i) {
    auto type = kTypes[i]();
    if (!type) return py::raised();
    if (py::is_instance(object, py::as_type(*type))) return static_cast<StatusClass>(i);
  }
  return std::nullopt;
}

NonSuccessKind kind_of(StatusClass found) {
  return found == StatusClass::Failure ? NonSuccessKind::Failure : NonSuccessKind::Error;
}

}  // namespace

py::Result<void> ensure_status(PyObject* object) {
  auto found = status_class_of(object);
  if (!found) return py::raised();
  if (*found) return {};
  PyErr_SetString(PyExc_TypeError, kNotStatus);
  return py::raised();
}

// Success is the first class status_class_of tests, so testing it alone
// finds the same answer: a test case is converted at every write.
py::Result<bool> is_plain_success(PyObject* object) {
  auto success = success_type();
  if (!success) return py::raised();
  if (Py_TYPE(object) != py::as_type(*success)) return false;
  const SuccessState& stored = py::state_of<SuccessState>(object);
  return !stored.borrow.is_exclusive() && stored.reruns.list().empty();
}

py::Result<std::optional<py::SharedGuard>> status_texts_in_place(PyObject* object,
                                                                 StatusTexts& texts) {
  auto found = status_class_of(object);
  if (!found) return py::raised();
  if (!*found || **found == StatusClass::Success) return std::nullopt;
  if (**found == StatusClass::Skipped) {
    auto guard = hold_for_conversion<SkippedState>(object);
    if (!guard) return py::raised();
    const SkippedState& stored = py::state_of<SkippedState>(object);
    texts = {StatusTexts::Element::Skipped, &stored.message, &stored.type, &stored.description};
    return std::move(*guard);
  }
  auto guard = hold_for_conversion<NonSuccessState>(object);
  if (!guard) return py::raised();
  const NonSuccessState& stored = py::state_of<NonSuccessState>(object);
  if (!stored.reruns.list().empty()) return std::nullopt;
  texts = {**found == StatusClass::Failure ? StatusTexts::Element::Failure
                                           : StatusTexts::Element::Error,
           &stored.message, &stored.type, &stored.description};
  return std::move(*guard);
}

py::Result<TestCaseStatus> status_to_model(PyObject* object) {
  auto found = status_class_of(object);
  if (!found) return py::raised();
  if (!*found) {
    PyErr_SetString(PyExc_TypeError, kNotStatus);
    return py::raised();
  }
  switch (**found) {
    case StatusClass::Success: {
      auto guard = hold_for_conversion<SuccessState>(object);
      if (!guard) return py::raised();
      TestCaseStatus status = TestCaseStatus::success();
      if (!add_model_reruns(status, py::state_of<SuccessState>(object).reruns.list())) {
        return py::raised();
      }
      return status;
    }
    case StatusClass::Skipped: {
      auto guard = hold_for_conversion<SkippedState>(object);
      if (!guard) return py::raised();
      const SkippedState& stored = py::state_of<SkippedState>(object);
      TestCaseStatus status = TestCaseStatus::skipped();
      set_model_texts(status, stored.message, stored.type, stored.description);
      return status;
    }
    case StatusClass::Failure:
    case StatusClass::Error:
      break;
  }
  auto guard = hold_for_conversion<NonSuccessState>(object);
  if (!guard) return py::raised();
  const NonSuccessState& stored = py::state_of<NonSuccessState>(object);
  return non_success_to_model(kind_of(**found), stored.message, stored.type, stored.description,
                              stored.rerun_kind, stored.reruns.list());
}

py::Result<TestCaseStatus> non_success_to_model(NonSuccessKind kind, const OptionalText& message,
                                                const OptionalText& type,
                                                const OptionalText& description,
                                                RerunKind rerun_kind,
                                                std::span<const py::Ref> reruns) {
  TestCaseStatus status = TestCaseStatus::non_success(kind);
  set_model_texts(status, message, type, description);
  status.set_rerun_kind(rerun_kind);
  if (!add_model_reruns(status, reruns)) return py::raised();
  return status;
}

py::Result<py::Ref> status_from_model(TestCaseStatus&& status) {
  auto& value = status.value();
  if (auto* success = std::get_if<Success>(&value)) {
    auto type = success_type();
    if (!type) return py::raised();
    // Nearly every outcome of a report read: a pass without flaky runs.
    if (success->flaky_runs.empty()) [[likely]] {
      return py::new_object_of<SuccessState>(py::as_type(*type), py::BorrowFlag{},
                                             BoxedChildList());
    }
    auto reruns = reruns_from_model(success->flaky_runs);
    if (!reruns) return py::raised();
    BoxedChildList boxed(std::move(*reruns));
    return py::new_object_of<SuccessState>(py::as_type(*type), py::BorrowFlag{}, std::move(boxed));
  }
  if (auto* non_success = std::get_if<NonSuccess>(&value)) {
    auto type = non_success_type(non_success->kind);
    if (!type) return py::raised();
    auto reruns = reruns_from_model(non_success->reruns);
    if (!reruns) return py::raised();
    BoxedChildList boxed(std::move(*reruns));
    return py::new_object_of<NonSuccessState>(
        py::as_type(*type), py::BorrowFlag{}, std::move(boxed), std::move(non_success->message),
        std::move(non_success->type), std::move(non_success->description), non_success->rerun_kind);
  }
  // Neither of the above, so the one variant left.
  auto& skipped = *std::get_if<Skipped>(&value);
  auto type = skipped_type();
  if (!type) return py::raised();
  return py::new_object_of<SkippedState>(py::as_type(*type), py::BorrowFlag{},
                                         std::move(skipped.message), std::move(skipped.type),
                                         std::move(skipped.description));
}

}  // namespace corvane
