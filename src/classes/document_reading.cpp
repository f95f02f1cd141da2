// Report.from_xml's read: the document is parsed with the GIL released, so
// that threads reading other documents run in parallel, and the GIL is taken
// back only to make the Python objects of each batch of suites read.
#include <expected>
#include <optional>
#include <utility>

#include "call_hints.hpp"
#include "errors.hpp"
#include "model/utf8_check.hpp"
#include "py/gil.hpp"
#include "py/note.hpp"
#include "report.hpp"
#include "suite_objects.hpp"
#include "xml_input.hpp"
#include "xml_read/report_deserializer.hpp"

namespace corvane {

py::Result<py::Ref> read_document(PyObject* xml, PyObject* argument) {
  // `xml` stays referenced by the caller for the whole read.
  auto text = extract_xml_unchecked(xml);
  if (!text) {
    if (argument != nullptr) hint_from_xml_argument(argument);
    return py::raised();
  }
  std::optional<std::expected<Report, DeserializeError>> report;
  bool valid_utf8 = true;
  std::optional<SuiteObjects> suites;
  {
    py::GilReleased released;
    suites.emplace(released);
    valid_utf8 = !text->needs_utf8_check() || is_valid_utf8(text->view());
    if (valid_utf8) report = deserialize_from_valid_utf8(text->view(), *suites);
  }
  if (!valid_utf8) {
    raise_invalid_xml_utf8();
    if (argument != nullptr) hint_from_xml_argument(argument);
    return py::raised();
  }
  if (!*report) {
    // A suite whose object could not be made ended the read with its own
    // exception; any other stop is the document's fault.
    if (!PyErr_Occurred()) {
      raise_deserialization_error(report->error().text());
      py::add_reason_note(report->error().reader_reason());
      hint_refused_document(argument, text->view());
    }
    return py::raised();
  }
  auto objects = std::move(*suites).finish();
  if (!objects) return py::raised();
  return report_from_model(std::move(**report), std::move(*objects));
}

}  // namespace corvane
