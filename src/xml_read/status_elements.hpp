// The outcome children of a `testcase` element as read, and the rules that
// combine them into one test case status.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>
#include <vector>

#include "model/report.hpp"
#include "xml_read/deserialize_error.hpp"

namespace corvane {

enum class StatusElementKind : std::uint8_t {
  Failure,
  Error,
  Skipped,
  FlakyFailure,
  FlakyError,
  RerunFailure,
  RerunError,
};

// The values read from one outcome element; all optional.
struct StatusElementData {
  OptionalText message;
  OptionalText type;
  OptionalText description;
  OptionalText stack_trace;
  OptionalText system_out;
  OptionalText system_err;
  std::optional<Timestamp> timestamp;
  OptionalDuration time;
};

struct StatusElement {
  StatusElementKind kind;
  StatusElementData data;
};

// The element kind for one of the seven outcome element names.
std::optional<StatusElementKind> status_element_kind(std::string_view name) noexcept;
inline bool is_status_element(std::string_view name) noexcept {
  return status_element_kind(name).has_value();
}
// The path step that names an outcome element.
PathStep status_element_step(StatusElementKind kind) noexcept;

// One flaky or rerun element becomes one TestRerun, every field copied.
TestRerun build_test_rerun(NonSuccessKind kind, StatusElementData data);

// Combines a test case's outcome elements (in document order) into its
// status; errors are reported at `case_path`.
[[nodiscard]] std::expected<TestCaseStatus, DeserializeError> build_test_case_status(
    std::vector<StatusElement> elements, const ElementPath& case_path);

}  // namespace corvane
