// The shared sequence rule for parameters that take several objects of one
// class (test_suites, test_cases, properties, reruns, flaky_runs).
#pragma once

#include <Python.h>

#include <string_view>
#include <vector>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

// Every item of `object`, in iteration order, as long as `object` is a
// sequence other than a str and every item is an instance of `type`
// (`target` is the class's Python name, for the error text). All or nothing:
// on any failure no item is returned. Iterating may run Python code.
[[nodiscard]] Result<std::vector<Ref>> extract_sequence(PyObject* object, PyTypeObject* type,
                                                        std::string_view target);

}  // namespace py
