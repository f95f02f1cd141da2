// Taking an instance's borrow flag from Python-facing code: a refusal becomes
// the RuntimeError of the shared rule on conflicting access.
#pragma once

#include <Python.h>

#include "py/borrow_flag.hpp"
#include "py/result.hpp"

namespace py {

// For operations that only read; RuntimeError "Already mutably borrowed"
// while a change to the same instance is under way further up the stack.
[[nodiscard]] inline Result<SharedGuard> borrow(BorrowFlag& flag) {
  if (auto guard = SharedGuard::try_acquire(flag)) return std::move(*guard);
  PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
  return raised();
}

// For operations that change; RuntimeError "Already borrowed" while the
// instance is held in any way further up the stack.
[[nodiscard]] inline Result<ExclusiveGuard> borrow_mut(BorrowFlag& flag) {
  if (auto guard = ExclusiveGuard::try_acquire(flag)) return std::move(*guard);
  PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
  return raised();
}

}  // namespace py
