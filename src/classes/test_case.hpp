// The Python class TestCase: one test's name, outcome (a status object held
// by reference), optional details, extra attributes and properties. Suites
// hold test cases and use the conversions below.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "model/report.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> test_case_type();

// The status object stored in a TestCase instance (borrowed), for counting.
// An instance in the middle of a change is an internal failure.
[[nodiscard]] py::Result<PyObject*> test_case_status(PyObject* self);

// The model TestCase of a TestCase instance (the caller checked the class),
// every text put through XmlString again. Fails with the status's or a
// property's conversion error, the ValueError of a stored timestamp the
// reader's grammar refuses, a ValueError for an `extra` key that cannot be
// written as an attribute, or an internal failure when the instance is in
// the middle of a change.
[[nodiscard]] py::Result<TestCase> test_case_to_model(PyObject* self);

// What a pass over a suite's test cases reads of each: only the status
// (counting) or everything written.
enum class CasePass : std::uint8_t { Count, Write };

// Asks the processor for what the pass will read of the test cases a few
// places after `next`, which a large report has scattered over memory: the
// objects first, then, once those are likely cached, what they point to.
// Only a hint; it reads pointers but neither checks nor changes anything.
void prefetch_test_cases(std::span<const py::Ref> test_cases, std::size_t next,
                         CasePass pass) noexcept;

struct SuiteCounts;
class ReportWriter;

// Room reused from one test case to the next while a suite is written.
struct TestCaseScratch {
  std::optional<TestCaseStatus> status;  // converted, unless a plain success
  std::vector<Property> properties;
  ExtraMap merged_extra;
};

// Writes a TestCase instance straight from what it stores (no model
// TestCase is made) with `writer`, or only converts and checks it when
// `writer` is null, and adds its status to `counted` as the model's
// TestSuite::add_test_case counts it. Fails with the errors of
// test_case_to_model, in the same order, then with the ValueError of a key
// whose namespace prefix neither the case nor `suite_extra` (its suite's
// attributes) declares.
[[nodiscard]] py::Result<void> write_test_case(PyObject* self,
                                               std::span<const ExtraMap::Entry> suite_extra,
                                               TestCaseScratch& scratch, SuiteCounts& counted,
                                               ReportWriter* writer);

// A new TestCase object (with new status and property objects) holding the
// model's values as they are.
[[nodiscard]] py::Result<py::Ref> test_case_from_model(TestCase&& test_case);

}  // namespace corvane
