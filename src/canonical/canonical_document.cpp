// Tolerant read, then the serializer. Between the two, `extra` keys that
// cannot be written back as attribute names are dropped: the tolerant reader
// takes attribute keys as the event reader hands them out, and the canonical
// document must be well-formed for the strict reader.
#include "canonical/canonical_document.hpp"

#include <utility>

#include "xml_read/tolerant_deserializer.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/xml_name.hpp"

namespace corvane {

namespace {

void keep_writable_keys(ExtraMap& extra, ExtraElement element) {
  if (extra.empty()) return;
  ExtraMap kept;
  for (const auto& [key, value] : extra) {
    if (check_extra_key(element, key.view()) == ExtraKeyProblem::None) kept.insert(key, value);
  }
  extra = std::move(kept);
}

}  // namespace

void keep_writable_extra_keys(TestSuite& suite) {
  keep_writable_keys(suite.extra, ExtraElement::TestSuite);
  for (TestCase& test_case : suite.test_cases) {
    keep_writable_keys(test_case.extra, ExtraElement::TestCase);
  }
}

std::expected<std::string, std::string> canonical_document(std::string_view text) {
  auto report = deserialize_tolerant(text);
  if (!report) return std::unexpected(report.error().text());
  for (TestSuite& suite : report->test_suites) keep_writable_extra_keys(suite);
  auto document = to_string(*report);
  if (!document) return std::unexpected(std::string(document.error().message()));
  return std::move(*document);
}

}  // namespace corvane
