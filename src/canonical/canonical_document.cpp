// Tolerant read, then the serializer. Between the two, `extra` keys that
// cannot be written back as attribute names (or whose namespace prefix would
// be undeclared) are dropped: the tolerant reader
// takes attribute keys as the event reader hands them out, and the canonical
// document must be well-formed for the strict reader.
#include "canonical/canonical_document.hpp"

#include <array>
#include <cstddef>
#include <string_view>
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

// The test cases of a suite mostly repeat the same few keys ("file",
// "line"): a key without a colon that was found writable once is writable on
// every case, whatever the other keys, so it is only compared again.
class WritableCaseKeys {
 public:
  bool all_known(const ExtraMap& extra) noexcept {
    const std::size_t known_before = count_;
    std::size_t position = 0;
    for (const auto& [key, value] : extra) {
      if (!is_known(key.view(), position++)) {
        // This case's keys are about to be rebuilt: forget their views.
        count_ = known_before;
        return false;
      }
    }
    return true;
  }

 private:
  static constexpr std::size_t kMaxKeys = 8;

  bool is_known(std::string_view key, std::size_t position) noexcept {
    // Keys come in the same order on every case: the usual hit is first.
    if (position < count_ && keys_[position] == key) return true;
    for (std::size_t i = 0; i < count_; ++i) {
      if (keys_[i] == key) return true;
    }
    if (key.find(':') != std::string_view::npos ||
        check_extra_key(ExtraElement::TestCase, key) != ExtraKeyProblem::None) {
      return false;
    }
    if (count_ < kMaxKeys) keys_[count_++] = key;
    return true;
  }

  std::array<std::string_view, kMaxKeys> keys_;
  std::size_t count_ = 0;
};

}  // namespace

void keep_writable_extra_keys(TestSuite& suite) {
  keep_writable_keys(suite.extra, ExtraElement::TestSuite, nullptr);
  // The views point into the suite's own cases, which outlive this loop.
  WritableCaseKeys known;
  for (TestCase& test_case : suite.test_cases) {
    if (known.all_known(test_case.extra)) continue;
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
