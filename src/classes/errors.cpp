// The module's exception classes: see errors.hpp.
#include "errors.hpp"

#include <string>

#include "py/raise.hpp"
#include "py/ref.hpp"
#include "py/type_cache.hpp"

namespace corvane {
namespace {

PyObject* corvane_error_cache = nullptr;
PyObject* deserialization_error_cache = nullptr;
PyObject* serialization_error_cache = nullptr;
PyObject* internal_failure_cache = nullptr;

constexpr const char* kCreationFailed = "Failed to initialize new exception type.";

[[nodiscard]] py::Result<PyObject*> internal_failure_type() {
  return py::create_once(internal_failure_cache, []() -> py::Result<py::Ref> {
    py::Ref type = py::Ref::steal(PyErr_NewExceptionWithDoc("_corvane.InternalFailure", nullptr,
                                                            PyExc_BaseException, nullptr));
    if (!type) return py::raised();
    return type;
  });
}

// Creates a published exception class; a failure is itself reported as an
// internal failure whose message ends with the original error's text.
[[nodiscard]] py::Result<PyObject*> exception_type(PyObject*& cache, const char* name,
                                                   PyObject* base) {
  return py::create_once(cache, [&]() -> py::Result<py::Ref> {
    py::Ref type = py::Ref::steal(PyErr_NewExceptionWithDoc(name, nullptr, base, nullptr));
    if (!type) {
      PyObject* cause_type = nullptr;
      PyObject* cause = nullptr;
      PyObject* cause_traceback = nullptr;
      PyErr_Fetch(&cause_type, &cause, &cause_traceback);
      PyErr_NormalizeException(&cause_type, &cause, &cause_traceback);
      py::Ref owned_type = py::Ref::steal(cause_type);
      py::Ref owned_cause = py::Ref::steal(cause);
      py::Ref owned_traceback = py::Ref::steal(cause_traceback);
      std::string message = kCreationFailed;
      if (py::Ref text = py::Ref::steal(owned_cause ? PyObject_Str(owned_cause.get()) : nullptr)) {
        if (const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), nullptr)) {
          message += ' ';
          message += utf8;
        }
      }
      PyErr_Clear();
      raise_internal_failure(message);
      return py::raised();
    }
    return type;
  });
}

void raise_with_message(py::Result<PyObject*> type, std::string_view message) {
  if (!type) return;  // the internal failure is already set
  py::raise_text(*type, message);
}

}  // namespace

py::Result<PyObject*> corvane_error_type() {
  return exception_type(corvane_error_cache, "_corvane.CorvaneError", PyExc_Exception);
}

py::Result<PyObject*> deserialization_error_type() {
  auto base = corvane_error_type();
  if (!base) return py::raised();
  return exception_type(deserialization_error_cache, "_corvane.DeserializationError", *base);
}

py::Result<PyObject*> serialization_error_type() {
  auto base = corvane_error_type();
  if (!base) return py::raised();
  return exception_type(serialization_error_cache, "_corvane.SerializationError", *base);
}

void raise_deserialization_error(std::string_view message) {
  raise_with_message(deserialization_error_type(), message);
}

void raise_serialization_error(std::string_view message) {
  raise_with_message(serialization_error_type(), message);
}

void raise_internal_failure(std::string_view message) {
  auto type = internal_failure_type();
  if (!type) return;  // the creation error is reported instead
  py::raise_text(*type, message);
}

}  // namespace corvane
