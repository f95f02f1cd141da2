// See tolerant_reading.hpp. The read runs without the GIL, as from_xml's
// does; its errors are those of corvane._tolerant.canonical_xml.
#include "tolerant_reading.hpp"

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "canonical/canonical_report.hpp"
#include "errors.hpp"
#include "py/entry.hpp"
#include "py/gil.hpp"
#include "py/note.hpp"
#include "py/tolerant_input.hpp"
#include "report.hpp"
#include "suite_objects.hpp"

namespace corvane {
namespace {

PyObject* read_tolerant(PyObject*, PyObject* xml) {
  std::string_view text;
  std::string copy;
  if (!py::tolerant_input(xml, text, copy)) return nullptr;
  std::optional<std::expected<Report, CanonicalError>> report;
  // Each suite's objects are made as soon as it is read, as from_xml does,
  // so that the whole model never exists at once.
  std::optional<SuiteObjects> suites;
  {
    py::GilReleased released;
    suites.emplace(released);
    report = canonical_report(text, *suites);
  }
  if (!*report) {
    // A suite whose object could not be made ended the read with its own
    // exception; any other stop is the document's fault.
    if (!PyErr_Occurred()) {
      raise_deserialization_error((*report).error().message);
      py::add_reason_note((*report).error().note);
    }
    return nullptr;
  }
  auto objects = std::move(*suites).finish();
  if (!objects) return nullptr;
  auto made = report_from_model(std::move(**report), std::move(*objects));
  return made ? made->release() : nullptr;
}

PyMethodDef definition =
    py::method<&read_tolerant>("_read_tolerant", METH_O, "_read_tolerant(xml, /)\n--\n\n");

PyObject* function_cache = nullptr;

}  // namespace

py::Result<PyObject*> read_tolerant_function() {
  if (function_cache == nullptr) {
    function_cache = PyCFunction_NewEx(&definition, nullptr, nullptr);
    if (function_cache == nullptr) return py::raised();
  }
  return function_cache;
}

}  // namespace corvane
