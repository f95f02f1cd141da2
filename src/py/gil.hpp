// Running C++ work without the GIL, so that other Python threads run
// meanwhile: the work must only touch buffers no Python code can change
// (immutable objects it holds a reference to, or its own copies).
#pragma once

#include <Python.h>

namespace py {

// Releases the GIL for its lifetime and takes it back when it ends, also
// when a C++ exception leaves the scope, so that the entry adapter raising
// that exception holds the GIL again.
class GilReleased {
 public:
  GilReleased() noexcept : saved_(PyEval_SaveThread()) {}
  ~GilReleased() { PyEval_RestoreThread(saved_); }
  GilReleased(const GilReleased&) = delete;
  GilReleased& operator=(const GilReleased&) = delete;

  // Holds the GIL again for its own lifetime, inside a GilReleased scope:
  // for the moments the work must make Python objects or call Python code.
  class Reacquired {
   public:
    explicit Reacquired(const GilReleased& released) noexcept : released_(released) {
      PyEval_RestoreThread(released_.saved_);
    }
    ~Reacquired() { PyEval_SaveThread(); }
    Reacquired(const Reacquired&) = delete;
    Reacquired& operator=(const Reacquired&) = delete;

   private:
    const GilReleased& released_;
  };

 private:
  PyThreadState* saved_;
};

}  // namespace py
