// The Python class CasesTable: the test cases of reports as a table, one row
// per case, built in the core (src/arrow/) and handed to Arrow consumers
// through __arrow_c_stream__, or written as CSV.
#pragma once

#include <Python.h>

#include "py/result.hpp"

namespace corvane {

// The class object, created on first use.
[[nodiscard]] py::Result<PyObject*> cases_table_type();

}  // namespace corvane
