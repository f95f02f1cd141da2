// The Python class TestSuite: a named group of TestCase objects with
// properties, optional timing and output, and extra attributes. Its counts
// are computed from the test cases' status objects at every read. Reports
// hold suites and use the operations below.
#pragma once

#include <Python.h>

#include <cstdint>

#include "model/report.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> test_suite_type();

struct SuiteCounts {
  std::uint64_t tests = 0;
  std::uint64_t disabled = 0;  // test cases whose status is a Skipped
  std::uint64_t failures = 0;
  std::uint64_t errors = 0;
};

// The counts of a TestSuite instance (the caller checked the class), from
// the current status of each test case. A suite or test case in the middle
// of a change is an internal failure.
[[nodiscard]] py::Result<SuiteCounts> suite_counts(PyObject* self);

// The model TestSuite of a TestSuite instance, its test cases added with the
// model's counting operation. Fails with a test case's or property's error,
// the ValueError of a refused timestamp or extra key, or an internal failure.
[[nodiscard]] py::Result<TestSuite> test_suite_to_model(PyObject* self);

class ReportWriter;

// Writes a TestSuite instance with `writer`, its start tag carrying `counts`
// (suite_counts of it, taken by the caller beforehand), each test case
// straight from what it stores; or only converts and checks it all when
// `writer` is null. Fails with the errors of test_suite_to_model, in the
// same order. The counts of the test cases' converted statuses are
// returned, for the caller to check against `counts`.
[[nodiscard]] py::Result<SuiteCounts> write_test_suite(PyObject* self, const SuiteCounts& counts,
                                                       ReportWriter* writer);

// A new TestSuite object (with new test case and property objects) holding
// the model's values as they are; the model's counts are dropped.
[[nodiscard]] py::Result<py::Ref> test_suite_from_model(TestSuite&& suite);

}  // namespace corvane
