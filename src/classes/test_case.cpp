// The Python class TestCase: see test_case.hpp.
#include "test_case.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "boxed.hpp"
#include "child_list.hpp"
#include "durations.hpp"
#include "errors.hpp"
#include "extra_attributes.hpp"
#include "field_access.hpp"
#include "model/optional_text.hpp"
#include "model/xml_string.hpp"
#include "pickling.hpp"
#include "property.hpp"
#include "py/args.hpp"
#include "py/borrow.hpp"
#include "py/convert.hpp"
#include "py/entry.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/sequence.hpp"
#include "py/text.hpp"
#include "py/type_cache.hpp"
#include "status.hpp"
#include "suite.hpp"
#include "timestamps.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/text_forms.hpp"

namespace corvane {
namespace {

// A large report holds many test cases, so their size matters: what most of
// them leave unset is boxed, and the borrow flag sits in the padding at the
// end of the extra pairs.
struct TestCaseState {
  XmlString name;
  // The caller's status object itself, so later changes to it show here.
  py::Ref status;
  OptionalText classname;
  OptionalDuration time;
  [[no_unique_address]] ExtraPairs extra;
  py::BorrowFlag borrow;
  Boxed<std::uint64_t> assertions;
  Boxed<std::string> timestamp;
  Boxed<XmlString> system_out;
  Boxed<XmlString> system_err;
  BoxedChildList properties;
};
// 48 bytes smaller than with the flag and the rare fields inline and
// std::optional's absent text and time (a test for a platform whose layout
// would quietly lose that); the classes' pools round blocks to 16 bytes.
static_assert(sizeof(py::Object<TestCaseState>) <= 160);

PyObject* type_cache = nullptr;

TestCaseState& state(PyObject* self) { return py::state_of<TestCaseState>(self); }

// None (or an omitted argument) is no count.
[[nodiscard]] py::Result<std::optional<std::uint64_t>> to_optional_count(PyObject* object) {
  if (object == nullptr || object == Py_None) return std::optional<std::uint64_t>();
  auto count = py::to_u64(object);
  if (!count) return py::raised();
  return std::optional<std::uint64_t>(*count);
}

// An omitted or None `extra` is no dict; anything else must be one.
[[nodiscard]] py::Result<PyObject*> to_optional_dict(PyObject* object) {
  if (object == nullptr || object == Py_None) return static_cast<PyObject*>(nullptr);
  return py::to_dict(object);
}

[[nodiscard]] py::Result<ChildList> to_properties(PyObject* object) {
  if (object == nullptr) return ChildList();
  auto type = property_type();
  if (!type) return py::raised();
  return py::extract_sequence(object, py::as_type(*type), "Property");
}

constexpr std::array kNewParams = {
    py::required("name"),      py::required("status"),    py::keyword("classname"),
    py::keyword("assertions"), py::keyword("timestamp"),  py::keyword("time"),
    py::keyword("system_out"), py::keyword("system_err"), py::keyword("extra"),
    py::keyword("properties"),
};

PyObject* test_case_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kNewParams>("TestCase.__new__()", args, kwargs);
  if (!parsed) return nullptr;
  const auto& arguments = *parsed;
  // Every argument gets its type checked, in signature order, before any
  // value is validated; `status` and `timestamp` are taken as they are here.
  auto name = py::noted("name", py::to_str(arguments[0]));
  if (!name) return nullptr;
  PyObject* status = arguments[1];
  auto classname = py::noted("classname", py::to_optional_str(arguments[2]));
  if (!classname) return nullptr;
  auto assertions = py::noted("assertions", to_optional_count(arguments[3]));
  if (!assertions) return nullptr;
  auto time = py::noted("time", extract_optional_duration(arguments[5]));
  if (!time) return nullptr;
  auto system_out = py::noted("system_out", py::to_optional_str(arguments[6]));
  if (!system_out) return nullptr;
  auto system_err = py::noted("system_err", py::to_optional_str(arguments[7]));
  if (!system_err) return nullptr;
  auto extra_dict = py::noted("extra", to_optional_dict(arguments[8]));
  if (!extra_dict) return nullptr;
  auto properties = py::noted("properties", to_properties(arguments[9]));
  if (!properties) return nullptr;

  // Validation after parsing: these errors carry no note.
  if (!ensure_status(status)) return nullptr;
  auto timestamp = normalize_timestamp(arguments[4]);
  if (!timestamp) return nullptr;
  auto extra = extract_extra(*extra_dict);
  if (!extra) return nullptr;

  auto self = py::new_empty_object<TestCaseState>(type);
  if (!self) return nullptr;
  TestCaseState& stored = state(self->get());
  TextArena& arena = py::text_arena();
  stored.name = py::clean_text(*name, arena);
  if (*classname) stored.classname = py::clean_text(**classname, arena);
  if (*system_out) stored.system_out = OptionalText(py::clean_text(**system_out, arena));
  if (*system_err) stored.system_err = OptionalText(py::clean_text(**system_err, arena));
  stored.status = py::Ref::borrow(status);
  stored.assertions = std::move(*assertions);
  stored.timestamp = std::move(*timestamp);
  stored.time = *time;
  stored.extra = std::move(*extra);
  stored.properties = std::move(*properties);
  return self->release();
}

PyObject* get_status(PyObject* self, void*) {
  auto guard = py::borrow(state(self).borrow);
  if (!guard) return nullptr;
  return py::Ref::borrow(state(self).status.get()).release();
}

py::Result<void> set_status(PyObject* self, PyObject* value) {
  if (!ensure_status(value)) return py::raised();
  // Declared before the guard, so the old status is released only once the
  // test case is free again.
  py::Ref old;
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return py::raised();
  old = std::exchange(state(self).status, py::Ref::borrow(value));
  return {};
}

PyObject* get_assertions(PyObject* self, void*) {
  auto guard = py::borrow(state(self).borrow);
  if (!guard) return nullptr;
  const std::uint64_t* assertions = state(self).assertions.get();
  if (assertions == nullptr) return Py_NewRef(Py_None);
  return PyLong_FromUnsignedLongLong(*assertions);
}

py::Result<void> set_assertions(PyObject* self, PyObject* value) {
  auto assertions = py::noted("value", to_optional_count(value));
  if (!assertions) return py::raised();
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return py::raised();
  state(self).assertions = std::move(*assertions);
  return {};
}

constexpr std::array kAddPropertyParams = {py::required("property")};

PyObject* add_property(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kAddPropertyParams>("TestCase.add_property()", args, kwargs);
  if (!parsed) return nullptr;
  auto type = property_type();
  if (!type) return nullptr;
  auto property =
      py::noted("property", py::to_instance((*parsed)[0], py::as_type(*type), "Property"));
  if (!property) return nullptr;
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return nullptr;
  state(self).properties.make().push_back(py::Ref::borrow(*property));
  Py_RETURN_NONE;
}

constexpr std::array kAddPropertiesParams = {py::required("properties")};

// The sequence is iterated (running its Python code, which may touch this
// very test case) before the test case is taken, as list.extend does.
PyObject* add_properties(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kAddPropertiesParams>("TestCase.add_properties()", args, kwargs);
  if (!parsed) return nullptr;
  auto properties = py::noted("properties", to_properties((*parsed)[0]));
  if (!properties) return nullptr;
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return nullptr;
  append_children(state(self).properties.make(), std::move(*properties));
  Py_RETURN_NONE;
}

PyGetSetDef getset[] = {
    field::text<TestCaseState, &TestCaseState::name>("name"),
    py::getset<&get_status, &set_status>("status"),
    field::optional_text<TestCaseState, &TestCaseState::classname>("classname"),
    py::getset<&get_assertions, &set_assertions>("assertions"),
    field::timestamp<TestCaseState, &TestCaseState::timestamp>("timestamp"),
    field::time<TestCaseState, &TestCaseState::time>("time"),
    field::optional_text<TestCaseState, &TestCaseState::system_out>("system_out"),
    field::optional_text<TestCaseState, &TestCaseState::system_err>("system_err"),
    field::extra<TestCaseState, &TestCaseState::extra>("extra"),
    py::getter<&field::get_children<TestCaseState, &TestCaseState::properties>>("properties"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// pickle and copy: the name and the status are the constructor's arguments,
// the rest the state.
constexpr char kPropertyName[] = "Property";
constexpr char kSetState[] = "TestCase.__setstate__()";
using PickleArgs = pickling::Fields<pickling::Field<&TestCaseState::name>,
                                    pickling::Field<&TestCaseState::status>>;
using PickleState = pickling::Fields<
    pickling::Field<&TestCaseState::classname>, pickling::Field<&TestCaseState::assertions>,
    pickling::Field<&TestCaseState::timestamp>, pickling::Field<&TestCaseState::time>,
    pickling::Field<&TestCaseState::system_out>, pickling::Field<&TestCaseState::system_err>,
    pickling::Field<&TestCaseState::extra>,
    pickling::Children<&TestCaseState::properties, &property_type, kPropertyName>>;

PyMethodDef methods[] = {
    py::method<&add_property>("add_property", py::kKeywords,
                              "add_property($self, property)\n--\n\n"),
    py::method<&add_properties>("add_properties", py::kKeywords,
                                "add_properties($self, properties)\n--\n\n"),
    py::method<&pickling::reduce<TestCaseState, PickleArgs, PickleState>>("__reduce__", METH_NOARGS,
                                                                          pickling::kReduceDoc),
    py::method<&pickling::setstate<TestCaseState, PickleState, kSetState>>("__setstate__", METH_O,
                                                                           pickling::kSetStateDoc),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc,
     const_cast<char*>("TestCase(name, status, *, classname=None, assertions=None, timestamp=None, "
                       "time=None, system_out=None, system_err=None, extra=None, "
                       "properties=...)\n--\n\n")},
    {Py_tp_new, py::slot<&test_case_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<TestCaseState>>()},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "corvane._corvane.TestCase",
    static_cast<int>(sizeof(py::Object<TestCaseState>)),
    0,
    py::kClassFlags,
    slots,
};

// Held while a parent reads the test case. No Python code runs while a test
// case is held for a change, so meeting one here is a broken invariant, not
// a user error.
[[nodiscard]] py::Result<py::SharedGuard> read_as_child(PyObject* self) {
  auto guard = py::SharedGuard::try_acquire(state(self).borrow);
  if (!guard) {
    raise_internal_failure("TestCase is being changed while it is read");
    return py::raised();
  }
  return std::move(*guard);
}

// A status written from its stored texts, held while it is written.
struct StatusInPlace {
  std::optional<py::SharedGuard> guard;
  StatusTexts texts;
};

// What of a test case must be converted before it is written, converted in
// the order its errors are reported: the status (into `scratch`), the
// timestamp, the extra attributes, then the properties (into `scratch`).
// Most statuses are plain successes, all alike: those are not converted but
// stand for one shared model status. Small, so that returning it moves no
// status.
struct Converted {
  const TestCaseStatus* status;     // scratch's, or the shared plain success
  const StatusTexts* status_texts;  // set instead when written in place
  std::optional<Timestamp> timestamp;
  std::span<const ExtraMap::Entry> extra;  // the stored pairs or scratch's
};

const TestCaseStatus& plain_success() {
  static const TestCaseStatus status = TestCaseStatus::success();
  return status;
}

// Inlined into both callers: writing calls it for every case. A writer
// passes `in_place`, so that a failure, error or skip without reruns is
// written from its stored texts with no model status made.
[[nodiscard, gnu::always_inline]] inline py::Result<Converted> convert(
    const TestCaseState& stored, TestCaseScratch& scratch, StatusInPlace* in_place = nullptr) {
  auto plain = is_plain_success(stored.status.get());
  if (!plain) return py::raised();
  const TestCaseStatus* status = &plain_success();
  const StatusTexts* status_texts = nullptr;
  if (!*plain && in_place != nullptr) {
    auto guard = status_texts_in_place(stored.status.get(), in_place->texts);
    if (!guard) return py::raised();
    if (*guard) {
      in_place->guard.emplace(std::move(**guard));
      status_texts = &in_place->texts;
    }
  }
  if (*plain || status_texts != nullptr) {
    scratch.status.reset();
  } else {
    auto converted = status_to_model(stored.status.get());
    if (!converted) return py::raised();
    scratch.status = std::move(*converted);
    status = &*scratch.status;
  }
  // Most cases have no timestamp: no call for those.
  std::optional<Timestamp> timestamp;
  if (const auto& text = stored.timestamp.view()) {
    auto parsed = timestamp_to_model(text);
    if (!parsed) return py::raised();
    timestamp = *parsed;
  }
  auto extra =
      checked_extra(stored.extra, ExtraElement::TestCase, stored.name.view(), scratch.merged_extra);
  if (!extra) return py::raised();
  scratch.properties.clear();
  for (const py::Ref& property : stored.properties.list()) {
    auto converted = property_to_model(property.get());
    if (!converted) return py::raised();
    scratch.properties.push_back(std::move(*converted));
  }
  return Converted{status, status_texts, timestamp, *extra};
}

// The rule of TestSuite::add_test_case, for the element a status is written
// as (none for a success).
void count_status(std::optional<StatusTexts::Element> element, SuiteCounts& counts) {
  ++counts.tests;
  if (!element) return;
  switch (*element) {
    case StatusTexts::Element::Failure:
      ++counts.failures;
      break;
    case StatusTexts::Element::Error:
      ++counts.errors;
      break;
    case StatusTexts::Element::Skipped:
      ++counts.disabled;
      break;
  }
}

// Each cache line of the `Size` bytes at `begin`: a fixed count of
// prefetches, which the compiler unrolls (one more than the lines the bytes
// fill, for an object that straddles a line).
template <std::size_t Size>
void prefetch_bytes(const void* begin) noexcept {
  constexpr std::size_t kLine = 64;
  const auto* bytes = static_cast<const char*>(begin);
  for (std::size_t offset = 0; offset < Size; offset += kLine) __builtin_prefetch(bytes + offset);
  __builtin_prefetch(bytes + Size - 1);
}

void prefetch_text(const OptionalText& text) noexcept {
  if (text) __builtin_prefetch(text->data());
}

void prefetch_boxed(const Boxed<XmlString>& text) noexcept {
  if (text) __builtin_prefetch(text.get());
}

}  // namespace

void prefetch_test_cases(std::span<const py::Ref> test_cases, std::size_t next,
                         CasePass pass) noexcept {
  // Far enough ahead to cover a memory access, near enough that what is
  // fetched is still cached when its turn comes: counting spends far less
  // time on a case than writing does.
  const std::size_t kAhead = pass == CasePass::Count ? 16 : 4;
  using Object = py::Object<TestCaseState>;
  if (next + 2 * kAhead < test_cases.size()) {
    const auto* object = reinterpret_cast<const Object*>(test_cases[next + 2 * kAhead].get());
    if (pass == CasePass::Write) {
      prefetch_bytes<sizeof(Object)>(object);
    } else {
      __builtin_prefetch(&object->state.borrow);
      __builtin_prefetch(&object->state.status);
    }
  }
  if (next + kAhead >= test_cases.size()) return;
  const TestCaseState& stored = state(test_cases[next + kAhead].get());
  prefetch_bytes<sizeof(PyObject) + sizeof(py::BorrowFlag)>(stored.status.get());
  if (pass == CasePass::Count) return;
  __builtin_prefetch(stored.name.data());
  prefetch_text(stored.classname);
  prefetch_boxed(stored.system_out);
  prefetch_boxed(stored.system_err);
  // The block of a typical case's pairs: its count and one or two pairs.
  if (const void* block = stored.extra.entries().block()) {
    prefetch_bytes<PairArray::kHeaderBytes + 2 * sizeof(ExtraPairs::Pair)>(block);
  }
}

py::Result<PyObject*> test_case_type() {
  return py::create_once(type_cache, [] { return py::type_from_spec(spec); });
}

py::Result<PyObject*> test_case_status(PyObject* self) {
  auto guard = read_as_child(self);
  if (!guard) return py::raised();
  return state(self).status.get();
}

py::Result<TestCase> test_case_to_model(PyObject* self) {
  auto guard = read_as_child(self);
  if (!guard) return py::raised();
  const TestCaseState& stored = state(self);
  TestCaseScratch scratch;
  auto converted = convert(stored, scratch);
  if (!converted) return py::raised();
  // Every text goes into the model as an XmlString. The stored texts were
  // cleaned when they were set, and cleaning clean text changes nothing, so
  // a copy is exactly what cleaning them again would give.
  // A plain success is the shared one, copied; any other was converted into
  // the scratch, and is moved.
  TestCase model(stored.name,
                 scratch.status ? std::move(*scratch.status) : *converted->status);
  model.classname = stored.classname;
  model.assertions = stored.assertions.view();
  model.timestamp = converted->timestamp;
  model.time = stored.time;
  model.system_out = stored.system_out.view();
  model.system_err = stored.system_err.view();
  model.extra.reserve(converted->extra.size());
  for (const auto& [key, value] : converted->extra) model.extra.insert(key, value);
  model.properties = std::move(scratch.properties);
  return model;
}

py::Result<void> write_test_case(PyObject* self, std::span<const ExtraMap::Entry> suite_extra,
                                 TestCaseScratch& scratch, SuiteCounts& counted,
                                 ReportWriter* writer) {
  auto guard = read_as_child(self);
  if (!guard) return py::raised();
  const TestCaseState& stored = state(self);
  StatusInPlace in_place;
  auto converted = convert(stored, scratch, &in_place);
  if (!converted) return py::raised();
  // A test case's prefixes may be declared on its suite, known only here.
  if (!stored.extra.known_unprefixed(ExtraElement::TestCase) &&
      !check_extra_prefixes(converted->extra, suite_extra, ExtraElement::TestCase,
                            stored.name.view())) {
    return py::raised();
  }
  count_status(converted->status_texts != nullptr ? converted->status_texts->element
                                                  : status_element(converted->status->value()),
               counted);
  if (writer == nullptr) return {};
  writer->test_case({
      .name = stored.name.view(),
      .status = *converted->status,
      .classname = stored.classname,
      .assertions = stored.assertions.view(),
      .timestamp = converted->timestamp,
      .time = stored.time,
      .system_out = stored.system_out.view(),
      .system_err = stored.system_err.view(),
      .extra = converted->extra,
      .properties = scratch.properties,
      .status_texts = converted->status_texts,
  });
  return {};
}

py::Result<py::Ref> test_case_from_model(TestCase&& test_case) {
  auto type = test_case_type();
  if (!type) return py::raised();
  // Every object the case holds is made first, so that its state is then
  // built in place in one go, the model's sanitised texts taken as they are.
  auto status = status_from_model(std::move(test_case.status));
  if (!status) return py::raised();
  ChildList properties;
  properties.reserve(test_case.properties.size());
  for (const Property& property : test_case.properties) {
    auto made = property_from_model(property);
    if (!made) return py::raised();
    properties.push_back(std::move(*made));
  }
  std::optional<std::string> timestamp;
  if (test_case.timestamp) timestamp = to_rfc3339(*test_case.timestamp);
  // Boxed before the object is made, since boxing may fail.
  Boxed<std::uint64_t> assertions(std::move(test_case.assertions));
  Boxed<std::string> boxed_timestamp(std::move(timestamp));
  Boxed<XmlString> system_out(std::move(test_case.system_out));
  Boxed<XmlString> system_err(std::move(test_case.system_err));
  BoxedChildList boxed_properties(std::move(properties));
  return py::new_object_of<TestCaseState>(
      py::as_type(*type), std::move(test_case.name), std::move(*status),
      std::move(test_case.classname), test_case.time, extra_from_model(std::move(test_case.extra)),
      py::BorrowFlag{}, std::move(assertions), std::move(boxed_timestamp), std::move(system_out),
      std::move(system_err), std::move(boxed_properties));
}

}  // namespace corvane
