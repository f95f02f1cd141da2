// The report serializer: one Report written as a complete JUnit XML document
// (declaration, one `testsuites` root, final line feed) in a fixed layout.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

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

// The writer a document is driven through, with one start tag reused for
// every element so that no element allocates.
struct DocumentWriter {
  explicit DocumentWriter(OutputBuffer& sink);

  XmlWriter xml;
  StartTag tag;
};

// A document written one suite at a time, for a caller that makes each
// suite's model only while it is written: `begin` writes the declaration and
// the root start tag from the report's own fields and counts (its suites are
// not written), `suite` writes one suite, `finish` closes the document.
// serialize_report is exactly these steps over the report's own suites.
class ReportWriter {
 public:
  explicit ReportWriter(OutputBuffer& sink) : w_(sink) {}

  void begin(const Report& report);
  void suite(const TestSuite& suite);
  void finish();

 private:
  DocumentWriter w_;
};

// A guess at the size of a document with this many suites and test cases,
// for reserving the output buffer.
std::size_t estimate_document_size(std::size_t test_suites, std::uint64_t test_cases) noexcept;

// One `failure`, `error` or `skipped` element.
void serialize_status(std::string_view element_name, const std::optional<XmlString>& message,
                      const std::optional<XmlString>& type,
                      const std::optional<XmlString>& description, DocumentWriter& writer);

// One flaky or rerun element; `rerun_kind` is Flaky for the flaky runs of a
// success.
void serialize_rerun(const TestRerun& rerun, RerunKind rerun_kind, DocumentWriter& writer);

// One text-only element (`system-out`, `system-err`, `stackTrace`), on one line.
void serialize_output(std::string_view text, std::string_view element_name,
                      DocumentWriter& writer);

// Append a `time` / `timestamp` attribute to a start tag under construction.
void serialize_time(StartTag& tag, const Duration& duration);
void serialize_timestamp(StartTag& tag, const Timestamp& timestamp);

}  // namespace corvane
