// py::Result: the return type of every fallible operation of the Python
// layer. The error side carries no data: a Python exception is already set
// in the thread state when it is returned, exactly as CPython's own NULL / -1
// convention, but checked by the type system.
#pragma once

#include <expected>

namespace py {

// "A Python exception is set."
struct Raised {};

template <class T>
using Result = std::expected<T, Raised>;

inline std::unexpected<Raised> raised() noexcept { return std::unexpected<Raised>(Raised{}); }

// Returns from the enclosing function with the error of a Result expression
// whose value is not needed (typically a Result<void> step).
#define PY_TRY(expr)                                   \
  do {                                                 \
    if (auto py_try_result = (expr); !py_try_result) { \
      return ::py::raised();                           \
    }                                                  \
  } while (false)

}  // namespace py
