// The Python class Report: the root of the object tree, holding TestSuite
// objects, with the methods that write it as JUnit XML (to_xml, write_xml)
// and the class methods that read one (from_xml, read_xml).
#pragma once

#include <Python.h>

#include "child_list.hpp"
#include "model/report.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> report_type();

// A new Report object with the model's own fields (its suites and counts are
// not used) holding `suites`, TestSuite objects already made.
[[nodiscard]] py::Result<py::Ref> report_from_model(Report&& report, ChildList&& suites);

// A new Report read from `xml` (str or bytes-like), the work of from_xml.
// `argument` is from_xml's argument, or nullptr for what read_xml's reader
// returned; the calling mistakes they show differ.
[[nodiscard]] py::Result<py::Ref> read_document(PyObject* xml, PyObject* argument);

}  // namespace corvane
