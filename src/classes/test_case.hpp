// The Python class TestCase: one test's name, outcome (a status object held
// by reference), optional details, extra attributes and properties. Suites
// hold test cases and use the conversions below.
#pragma once

#include <Python.h>

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

// A new TestCase object (with new status and property objects) holding the
// model's values as they are.
[[nodiscard]] py::Result<py::Ref> test_case_from_model(TestCase&& test_case);

}  // namespace corvane
