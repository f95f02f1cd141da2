// Report.from_xml's read: the document is parsed with the GIL released, so
// that threads reading other documents run in parallel, and the GIL is taken
// back only to make the Python objects of each batch of suites read.
#include <expected>
#include <optional>
#include <utility>
#include <vector>

#include "call_hints.hpp"
#include "errors.hpp"
#include "model/utf8_check.hpp"
#include "py/gil.hpp"
#include "py/note.hpp"
#include "report.hpp"
#include "suite.hpp"
#include "xml_input.hpp"
#include "xml_read/report_deserializer.hpp"

namespace corvane {
namespace {

// Suites and test cases whose objects are made under one hold of the GIL: a
// suite of this size or more is made alone, while it is still in cache, and
// small suites share the cost of taking the GIL.
constexpr std::size_t kBatchWeight = 256;

// Gathers the suites read and makes their objects batch by batch. Making
// them runs no Python code (the objects are all of this module's own
// classes, which the garbage collector does not track), and the document is
// immutable or a copy, so nothing another thread does can reach the read.
class SuiteObjects final : public SuiteSink {
 public:
  explicit SuiteObjects(const py::GilReleased& released) : released_(&released) {}

  bool take(TestSuite&& suite) override {
    pending_weight_ += 1 + suite.test_cases.size();
    pending_.push_back(std::move(suite));
    if (pending_weight_ < kBatchWeight) return true;
    py::GilReleased::Reacquired gil(*released_);
    return make_pending();
  }
  void restart() override {
    pending_.clear();
    pending_weight_ = 0;
    py::GilReleased::Reacquired gil(*released_);
    objects_.clear();
  }

  // With the GIL held: the objects of the suites not made yet, and with
  // them every suite's object, in order.
  [[nodiscard]] py::Result<ChildList> finish() && {
    if (!make_pending()) return py::raised();
    return std::move(objects_);
  }

 private:
  bool make_pending() {
    pending_weight_ = 0;
    for (TestSuite& suite : pending_) {
      auto made = test_suite_from_model(std::move(suite));
      if (!made) return false;
      objects_.push_back(std::move(*made));
    }
    pending_.clear();
    return true;
  }

  const py::GilReleased* released_;
  std::vector<TestSuite> pending_;
  std::size_t pending_weight_ = 0;
  ChildList objects_;
};

}  // namespace

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
