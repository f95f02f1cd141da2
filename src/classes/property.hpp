// The Python class Property: one sanitised name/value pair, held by test
// cases and suites.
#pragma once

#include <Python.h>

#include "model/report.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> property_type();

// The model Property of a Property instance (the caller checked the class);
// its texts are put through XmlString again. An instance in the middle of a
// change is an internal failure.
[[nodiscard]] py::Result<Property> property_to_model(PyObject* self);

// A new Property object holding the model's texts as they are.
[[nodiscard]] py::Result<py::Ref> property_from_model(const Property& property);

}  // namespace corvane
