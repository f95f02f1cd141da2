// The Python class Report: the root of the object tree, holding TestSuite
// objects, with the methods that write it as JUnit XML (to_xml, write_xml)
// and the class methods that read one (from_xml, read_xml).
#pragma once

#include <Python.h>

#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> report_type();

}  // namespace corvane
