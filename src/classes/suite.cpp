// The Python class TestSuite: see suite.hpp.
#include "suite.hpp"

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
#include "test_case.hpp"
#include "timestamps.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/text_forms.hpp"

namespace corvane {
namespace {

struct SuiteState {
  py::BorrowFlag borrow;
  XmlString name;
  // The caller's objects themselves, so later changes to them show here.
  ChildList test_cases;
  ChildList properties;
  ExtraPairs extra;
  std::optional<std::string> timestamp;
  OptionalText system_out;
  OptionalText system_err;
  OptionalDuration time;
};

PyObject* type_cache = nullptr;

SuiteState& state(PyObject* self) { return py::state_of<SuiteState>(self); }

[[nodiscard]] py::Result<ChildList> to_test_cases(PyObject* object) {
  if (object == nullptr) return ChildList();
  auto type = test_case_type();
  if (!type) return py::raised();
  return py::extract_sequence(object, py::as_type(*type), "TestCase");
}

[[nodiscard]] py::Result<ChildList> to_properties(PyObject* object) {
  if (object == nullptr) return ChildList();
  auto type = property_type();
  if (!type) return py::raised();
  return py::extract_sequence(object, py::as_type(*type), "Property");
}

// An omitted or None `extra` is no dict; anything else must be one.
[[nodiscard]] py::Result<PyObject*> to_optional_dict(PyObject* object) {
  if (object == nullptr || object == Py_None) return static_cast<PyObject*>(nullptr);
  return py::to_dict(object);
}

// Counts by the class of each test case's current status object: nothing is
// cached, so a status replaced after the case was added is seen here.
[[nodiscard]] py::Result<SuiteCounts> count_cases(const SuiteState& suite) {
  auto success = success_type();
  if (!success) return py::raised();
  auto skipped = skipped_type();
  if (!skipped) return py::raised();
  auto failure = failure_type();
  if (!failure) return py::raised();
  auto error = error_type();
  if (!error) return py::raised();
  SuiteCounts counts;
  counts.tests = suite.test_cases.size();
  for (std::size_t i = 0; i < suite.test_cases.size(); ++i) {
    prefetch_test_cases(suite.test_cases, i, CasePass::Count);
    auto status = test_case_status(suite.test_cases[i].get());
    if (!status) return py::raised();
    // Most statuses are successes, which count nowhere: settled by one
    // comparison instead of three subclass tests.
    if (Py_TYPE(*status) == py::as_type(*success)) continue;
    if (py::is_instance(*status, py::as_type(*skipped))) {
      ++counts.disabled;
    } else if (py::is_instance(*status, py::as_type(*failure))) {
      ++counts.failures;
    } else if (py::is_instance(*status, py::as_type(*error))) {
      ++counts.errors;
    }
  }
  return counts;
}

constexpr std::array kNewParams = {
    py::required("name"),      py::keyword("timestamp"),  py::keyword("time"),
    py::keyword("test_cases"), py::keyword("properties"), py::keyword("system_out"),
    py::keyword("system_err"), py::keyword("extra"),
};

PyObject* test_suite_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args<kNewParams>("TestSuite.__new__()", args, kwargs);
  if (!parsed) return nullptr;
  const auto& arguments = *parsed;
  // Every argument gets its type checked, in signature order, before any
  // value is validated; `timestamp` is taken as it is here.
  auto name = py::noted("name", py::to_str(arguments[0]));
  if (!name) return nullptr;
  auto time = py::noted("time", extract_optional_duration(arguments[2]));
  if (!time) return nullptr;
  auto test_cases = py::noted("test_cases", to_test_cases(arguments[3]));
  if (!test_cases) return nullptr;
  auto properties = py::noted("properties", to_properties(arguments[4]));
  if (!properties) return nullptr;
  auto system_out = py::noted("system_out", py::to_optional_str(arguments[5]));
  if (!system_out) return nullptr;
  auto system_err = py::noted("system_err", py::to_optional_str(arguments[6]));
  if (!system_err) return nullptr;
  auto extra_dict = py::noted("extra", to_optional_dict(arguments[7]));
  if (!extra_dict) return nullptr;

  // Validation after parsing: these errors carry no note.
  SuiteState stored;
  stored.name = py::clean_text(*name);
  auto timestamp = normalize_timestamp(arguments[1]);
  if (!timestamp) return nullptr;
  if (*system_out) stored.system_out.emplace(**system_out);
  if (*system_err) stored.system_err.emplace(**system_err);
  auto extra = extract_extra(*extra_dict);
  if (!extra) return nullptr;

  stored.test_cases = std::move(*test_cases);
  stored.properties = std::move(*properties);
  stored.extra = std::move(*extra);
  stored.timestamp = std::move(*timestamp);
  stored.time = *time;
  auto self = py::new_object(type, std::move(stored));
  if (!self) return nullptr;
  return self->release();
}

PyObject* get_tests(PyObject* self, void*) {
  auto guard = py::borrow(state(self).borrow);
  if (!guard) return nullptr;
  return PyLong_FromSize_t(state(self).test_cases.size());
}

template <std::uint64_t SuiteCounts::* Count>
PyObject* get_count(PyObject* self, void*) {
  auto guard = py::borrow(state(self).borrow);
  if (!guard) return nullptr;
  auto counts = count_cases(state(self));
  if (!counts) return nullptr;
  return PyLong_FromUnsignedLongLong((*counts).*Count);
}

// One child to append: parsed and checked, then stored while the suite is held.
template <ChildList SuiteState::* List, py::Result<PyObject*> (*Type)()>
PyObject* add_child(PyObject* self, PyObject* args, PyObject* kwargs, const char* function,
                    const std::array<py::Param, 1>& params, const char* target) {
  auto parsed = py::parse_args(function, params, args, kwargs);
  if (!parsed) return nullptr;
  auto type = Type();
  if (!type) return nullptr;
  auto child =
      py::noted(params[0].name.data(), py::to_instance((*parsed)[0], py::as_type(*type), target));
  if (!child) return nullptr;
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return nullptr;
  (state(self).*List).push_back(py::Ref::borrow(*child));
  Py_RETURN_NONE;
}

// Several children to append: the sequence is iterated (running its Python
// code, which may touch this very suite) before the suite is taken, as
// list.extend does; on any failure nothing is appended.
template <ChildList SuiteState::* List, py::Result<ChildList> (*Extract)(PyObject*)>
PyObject* add_children(PyObject* self, PyObject* args, PyObject* kwargs, const char* function,
                       const std::array<py::Param, 1>& params) {
  auto parsed = py::parse_args(function, params, args, kwargs);
  if (!parsed) return nullptr;
  auto children = py::noted(params[0].name.data(), Extract((*parsed)[0]));
  if (!children) return nullptr;
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return nullptr;
  append_children(state(self).*List, std::move(*children));
  Py_RETURN_NONE;
}

constexpr std::array kTestCaseParam = {py::required("test_case")};
constexpr std::array kTestCasesParam = {py::required("test_cases")};
constexpr std::array kPropertyParam = {py::required("property")};
constexpr std::array kPropertiesParam = {py::required("properties")};

PyObject* add_test_case(PyObject* self, PyObject* args, PyObject* kwargs) {
  return add_child<&SuiteState::test_cases, &test_case_type>(
      self, args, kwargs, "TestSuite.add_test_case()", kTestCaseParam, "TestCase");
}

PyObject* add_test_cases(PyObject* self, PyObject* args, PyObject* kwargs) {
  return add_children<&SuiteState::test_cases, &to_test_cases>(
      self, args, kwargs, "TestSuite.add_test_cases()", kTestCasesParam);
}

PyObject* add_property(PyObject* self, PyObject* args, PyObject* kwargs) {
  return add_child<&SuiteState::properties, &property_type>(
      self, args, kwargs, "TestSuite.add_property()", kPropertyParam, "Property");
}

PyObject* add_properties(PyObject* self, PyObject* args, PyObject* kwargs) {
  return add_children<&SuiteState::properties, &to_properties>(
      self, args, kwargs, "TestSuite.add_properties()", kPropertiesParam);
}

PyGetSetDef getset[] = {
    field::text<SuiteState, &SuiteState::name>("name"),
    field::timestamp<SuiteState, &SuiteState::timestamp>("timestamp"),
    field::time<SuiteState, &SuiteState::time>("time"),
    py::getter<&get_tests>("tests"),
    py::getter<&get_count<&SuiteCounts::disabled>>("disabled"),
    py::getter<&get_count<&SuiteCounts::failures>>("failures"),
    py::getter<&get_count<&SuiteCounts::errors>>("errors"),
    py::getter<&field::get_children<SuiteState, &SuiteState::test_cases>>("test_cases"),
    py::getter<&field::get_children<SuiteState, &SuiteState::properties>>("properties"),
    field::optional_text<SuiteState, &SuiteState::system_out>("system_out"),
    field::optional_text<SuiteState, &SuiteState::system_err>("system_err"),
    field::extra<SuiteState, &SuiteState::extra>("extra"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// pickle and copy: the name is the constructor's argument, the rest the state.
constexpr char kTestCaseName[] = "TestCase";
constexpr char kPropertyName[] = "Property";
constexpr char kSetState[] = "TestSuite.__setstate__()";
using PickleArgs = pickling::Fields<pickling::Field<&SuiteState::name>>;
using PickleState =
    pickling::Fields<pickling::Children<&SuiteState::test_cases, &test_case_type, kTestCaseName>,
                     pickling::Children<&SuiteState::properties, &property_type, kPropertyName>,
                     pickling::Field<&SuiteState::extra>, pickling::Field<&SuiteState::timestamp>,
                     pickling::Field<&SuiteState::system_out>,
                     pickling::Field<&SuiteState::system_err>, pickling::Field<&SuiteState::time>>;

PyMethodDef methods[] = {
    py::method<&add_test_case>("add_test_case", py::kKeywords,
                               "add_test_case($self, test_case)\n--\n\n"),
    py::method<&add_test_cases>("add_test_cases", py::kKeywords,
                                "add_test_cases($self, test_cases)\n--\n\n"),
    py::method<&add_property>("add_property", py::kKeywords,
                              "add_property($self, property)\n--\n\n"),
    py::method<&add_properties>("add_properties", py::kKeywords,
                                "add_properties($self, properties)\n--\n\n"),
    py::method<&pickling::reduce<SuiteState, PickleArgs, PickleState>>("__reduce__", METH_NOARGS,
                                                                       pickling::kReduceDoc),
    py::method<&pickling::setstate<SuiteState, PickleState, kSetState>>("__setstate__", METH_O,
                                                                        pickling::kSetStateDoc),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc,
     const_cast<char*>("TestSuite(name, *, timestamp=None, time=None, test_cases=..., "
                       "properties=..., system_out=None, system_err=None, extra=None)\n--\n\n")},
    {Py_tp_new, py::slot<&test_suite_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<SuiteState>>()},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "corvane._corvane.TestSuite",
    static_cast<int>(sizeof(py::Object<SuiteState>)),
    0,
    py::kClassFlags,
    slots,
};

// Held while a report reads the suite. No Python code runs while a suite is
// held for a change, so meeting one here is a broken invariant, not a user
// error.
[[nodiscard]] py::Result<py::SharedGuard> read_as_child(PyObject* self) {
  auto guard = py::SharedGuard::try_acquire(state(self).borrow);
  if (!guard) {
    raise_internal_failure("TestSuite is being changed while it is read");
    return py::raised();
  }
  return std::move(*guard);
}

// The suite's model without its test cases (so with no counts), converted
// in the order its errors are reported: the timestamp, the properties, then
// the extra attributes.
[[nodiscard]] py::Result<TestSuite> suite_without_cases(const SuiteState& stored) {
  // Stored texts are clean already: copies are what cleaning again would give.
  TestSuite model(stored.name);
  auto timestamp = timestamp_to_model(stored.timestamp);
  if (!timestamp) return py::raised();
  model.timestamp = *timestamp;
  model.time = stored.time;
  model.properties.reserve(stored.properties.size());
  for (const py::Ref& property : stored.properties) {
    auto converted = property_to_model(property.get());
    if (!converted) return py::raised();
    model.properties.push_back(std::move(*converted));
  }
  model.system_out = stored.system_out;
  model.system_err = stored.system_err;
  if (!insert_extra(stored.extra, ExtraElement::TestSuite, stored.name.view(), model.extra) ||
      !check_extra_prefixes(model.extra.entries(), {}, ExtraElement::TestSuite,
                            stored.name.view())) {
    return py::raised();
  }
  return model;
}

}  // namespace

py::Result<PyObject*> test_suite_type() {
  return py::create_once(type_cache, [] { return py::type_from_spec(spec); });
}

py::Result<SuiteCounts> suite_counts(PyObject* self) {
  auto guard = read_as_child(self);
  if (!guard) return py::raised();
  return count_cases(state(self));
}

py::Result<TestSuite> test_suite_to_model(PyObject* self) {
  auto guard = read_as_child(self);
  if (!guard) return py::raised();
  const SuiteState& stored = state(self);
  auto model = suite_without_cases(stored);
  if (!model) return py::raised();
  model->test_cases.reserve(stored.test_cases.size());
  for (const py::Ref& test_case : stored.test_cases) {
    auto converted = test_case_to_model(test_case.get());
    if (!converted) return py::raised();
    // A test case's prefixes may be declared on its suite, known only here.
    if (!check_extra_prefixes(converted->extra.entries(), model->extra.entries(),
                              ExtraElement::TestCase, converted->name.view())) {
      return py::raised();
    }
    model->add_test_case(std::move(*converted));
  }
  return std::move(*model);
}

py::Result<SuiteCounts> write_test_suite(PyObject* self, const SuiteCounts& counts,
                                         ReportWriter* writer) {
  auto guard = read_as_child(self);
  if (!guard) return py::raised();
  const SuiteState& stored = state(self);
  auto model = suite_without_cases(stored);
  if (!model) return py::raised();
  model->tests = counts.tests;
  model->skipped = counts.disabled;
  model->failures = counts.failures;
  model->errors = counts.errors;
  if (writer != nullptr) writer->begin_suite(*model, !stored.test_cases.empty());
  TestCaseScratch scratch;
  SuiteCounts counted;
  for (std::size_t i = 0; i < stored.test_cases.size(); ++i) {
    prefetch_test_cases(stored.test_cases, i, CasePass::Write);
    if (!write_test_case(stored.test_cases[i].get(), model->extra.entries(), scratch, counted,
                         writer)) {
      return py::raised();
    }
  }
  if (writer != nullptr) writer->end_suite(*model);
  return counted;
}

py::Result<py::Ref> test_suite_from_model(TestSuite&& suite) {
  auto type = test_suite_type();
  if (!type) return py::raised();
  SuiteState stored;
  stored.test_cases.reserve(suite.test_cases.size());
  for (TestCase& test_case : suite.test_cases) {
    auto made = test_case_from_model(std::move(test_case));
    if (!made) return py::raised();
    stored.test_cases.push_back(std::move(*made));
  }
  // Released now rather than with the rest of the suite's model, so that the
  // model's test cases and their new objects coexist as briefly as possible.
  TestCases().swap(suite.test_cases);
  stored.properties.reserve(suite.properties.size());
  for (const Property& property : suite.properties) {
    auto made = property_from_model(property);
    if (!made) return py::raised();
    stored.properties.push_back(std::move(*made));
  }
  // The model's texts are already sanitised and are taken as they are; its
  // counts are dropped, since a suite computes its own.
  stored.name = std::move(suite.name);
  stored.system_out = std::move(suite.system_out);
  stored.system_err = std::move(suite.system_err);
  stored.time = suite.time;
  if (suite.timestamp) stored.timestamp = to_rfc3339(*suite.timestamp);
  stored.extra = extra_from_model(std::move(suite.extra));
  return py::new_object(py::as_type(*type), std::move(stored));
}

}  // namespace corvane
