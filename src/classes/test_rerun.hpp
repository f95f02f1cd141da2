// The Python class TestRerun: one extra attempt of a test, held by the status
// classes as a success's flaky run or a failure's or error's rerun.
#pragma once

#include <Python.h>

#include "model/test_case_status.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> test_rerun_type();

// The model TestRerun of a TestRerun instance (the caller checked the
// class): the stored timestamp goes through the reader's grammar (ValueError
// when refused) and every text through XmlString again. An instance in the
// middle of a change is an internal failure.
[[nodiscard]] py::Result<TestRerun> test_rerun_to_model(PyObject* self);

// A new TestRerun object from a model rerun, its texts taken as they are and
// its timestamp kept as RFC 3339 text.
[[nodiscard]] py::Result<py::Ref> test_rerun_from_model(TestRerun&& rerun);

}  // namespace corvane
