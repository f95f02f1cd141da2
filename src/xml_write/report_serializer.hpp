// The report serializer: one Report written as a complete JUnit XML document
// (declaration, one `testsuites` root, final line feed) in a fixed layout.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "model/report.hpp"
#include "xml_write/output_buffer.hpp"
#include "xml_write/serialize_error.hpp"
#include "xml_write/start_tag.hpp"
#include "xml_write/xml_writer.hpp"

namespace corvane {

// The whole document as text; fails only on an encoding error (the output is
// not valid UTF-8), in which case nothing partial is returned.
[[nodiscard]] std::expected<std::string, SerializeError> to_string(const Report& report);

// Appends the document for `report` to `sink`.
void serialize_report(const Report& report, OutputBuffer& sink);

// The writer a document is driven through; every start tag is written in
// place, so no element allocates or is copied.
struct DocumentWriter {
  explicit DocumentWriter(OutputBuffer& sink);

  XmlWriter xml;
};

// A failure, error or skip without reruns, read where its texts are kept,
// for a caller that need not make a model status to have it written.
struct StatusTexts {
  enum class Element : std::uint8_t { Failure, Error, Skipped };
  Element element = Element::Failure;
  const OptionalText* message = nullptr;
  const OptionalText* type = nullptr;
  const OptionalText* description = nullptr;
};

// The element a status is written as (none for a success), so that callers
// counting statuses and the writer naming them follow one mapping; inline,
// as counting asks it of every test case written.
[[nodiscard]] inline std::optional<StatusTexts::Element> status_element(
    const TestCaseStatus::Variant& status) noexcept {
  if (const auto* non_success = std::get_if<NonSuccess>(&status)) {
    return non_success->kind == NonSuccessKind::Failure ? StatusTexts::Element::Failure
                                                        : StatusTexts::Element::Error;
  }
  if (std::holds_alternative<Skipped>(status)) return StatusTexts::Element::Skipped;
  return std::nullopt;
}
[[nodiscard]] std::string_view status_element_name(StatusTexts::Element element) noexcept;

// What the writer reads of one test case, pointing into wherever the
// values are kept: a model TestCase (fields_of) or a caller's own storage,
// so a caller need not copy its values into a model first.
struct TestCaseFields {
  std::string_view name;
  const TestCaseStatus& status;
  const OptionalText& classname;
  const std::optional<std::uint64_t>& assertions;
  const std::optional<Timestamp>& timestamp;
  const OptionalDuration& time;
  const OptionalText& system_out;
  const OptionalText& system_err;
  // In the order written; keys are distinct and already checked.
  std::span<const ExtraMap::Entry> extra;
  std::span<const Property> properties;
  // When set, the status written instead of `status`.
  const StatusTexts* status_texts = nullptr;
};

[[nodiscard]] TestCaseFields fields_of(const TestCase& test_case) noexcept;

// A document written one suite at a time, for a caller that makes each
// suite's model only while it is written: `begin` writes the declaration and
// the root start tag from the report's own fields and counts (its suites are
// not written), `suite` writes one suite, `finish` closes the document.
// serialize_report is exactly these steps over the report's own suites.
//
// A suite can also be written a test case at a time: `begin_suite` writes
// its start tag (from the suite's fields and counts; its own test cases are
// not written) and properties, `test_case` one test case, `end_suite` its
// outputs and end tag. `suite` is exactly these steps over its own cases.
class ReportWriter {
 public:
  explicit ReportWriter(OutputBuffer& sink) : w_(sink) {}

  void begin(const Report& report);
  void suite(const TestSuite& suite);
  void begin_suite(const TestSuite& suite, bool has_test_cases);
  void test_case(const TestCaseFields& test_case);
  void end_suite(const TestSuite& suite);
  void finish();

 private:
  DocumentWriter w_;
  // Whether the suite begun last has content, so an end tag.
  bool suite_open_ = false;
};

// A guess at the size of a document with this many suites and test cases,
// for reserving the output buffer.
std::size_t estimate_document_size(std::size_t test_suites, std::uint64_t test_cases) noexcept;

// One `failure`, `error` or `skipped` element.
void serialize_status(std::string_view element_name, const OptionalText& message,
                      const OptionalText& type,
                      const OptionalText& description, DocumentWriter& writer);

// One flaky or rerun element; `rerun_kind` is Flaky for the flaky runs of a
// success.
void serialize_rerun(const TestRerun& rerun, RerunKind rerun_kind, DocumentWriter& writer);

// One text-only element (`system-out`, `system-err`, `stackTrace`), on one line.
void serialize_output(std::string_view text, std::string_view element_name,
                      DocumentWriter& writer);

// Append a `time` / `timestamp` attribute to a start tag under construction.
void serialize_time(TagAttributes tag, const Duration& duration);
void serialize_timestamp(TagAttributes tag, const Timestamp& timestamp);

}  // namespace corvane
