// Tolerant read, then the serializer. Between the two, `extra` keys that
// cannot be written back as attribute names (or whose namespace prefix would
// be undeclared) are dropped: the tolerant reader
// takes attribute keys as the event reader hands them out, and the canonical
// document must be well-formed for the strict reader.
#include "canonical/canonical_document.hpp"

#include <utility>

#include "canonical/canonical_report.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/xml_name.hpp"

namespace corvane {

namespace {

bool all_writable(const ExtraMap& extra, ExtraElement element, const ExtraMap* parent) {
  for (const auto& [key, value] : extra) {
    if (check_extra_key(element, key.view()) != ExtraKeyProblem::None) return false;
  }
  return !find_unbound_prefix(extra, parent);
}

void keep_writable_keys(ExtraMap& extra, ExtraElement element, const ExtraMap* parent) {
  // The usual map keeps every key: checked without building a copy.
  if (extra.empty() || all_writable(extra, element, parent)) return;
  ExtraMap kept;
  for (const auto& [key, value] : extra) {
    if (check_extra_key(element, key.view()) == ExtraKeyProblem::None) kept.insert(key, value);
  }
  // Then keys whose namespace prefix would be undeclared, one at a time:
  // dropping a declaration can unbind another key.
  while (auto unbound = find_unbound_prefix(kept, parent)) {
    ExtraMap rest;
    for (const auto& [key, value] : kept) {
      if (key.view() != *unbound) rest.insert(key, value);
    }
    kept = std::move(rest);
  }
  extra = std::move(kept);
}

}  // namespace

void keep_writable_extra_keys(TestSuite& suite) {
  keep_writable_keys(suite.extra, ExtraElement::TestSuite, nullptr);
  for (TestCase& test_case : suite.test_cases) {
    keep_writable_keys(test_case.extra, ExtraElement::TestCase, &suite.extra);
  }
}

std::expected<std::string, CanonicalError> canonical_document(std::string_view text) {
  auto report = canonical_report(text);
  if (!report) return std::unexpected(std::move(report.error()));
  auto document = to_string(*report);
  if (!document) {
    return std::unexpected(CanonicalError{std::string(document.error().message()), {}});
  }
  return std::move(*document);
}

}  // namespace corvane
