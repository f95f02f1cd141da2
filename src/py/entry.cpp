// The boundary's exception translation: see entry.hpp.
#include "py/entry.hpp"

#include <exception>
#include <new>

#include "py/raise.hpp"

namespace py {

void raise_current_exception() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    raise_text(PyExc_SystemError, error.what());
  } catch (...) {
    raise_text(PyExc_SystemError, "unknown C++ exception");
  }
}

}  // namespace py
