#include "xml_read/status_elements.hpp"

#include <utility>

namespace corvane {

namespace {

constexpr std::string_view kMultipleMain =
    "multiple main status elements (failure/error/skipped) are not allowed";
constexpr std::string_view kSkippedWithReruns =
    "skipped test case cannot have flakyFailure, flakyError, rerunFailure, or rerunError "
    "elements";
constexpr std::string_view kFlakyAndRerun =
    "test case has both flakyFailure/flakyError and rerunFailure/rerunError elements, which is "
    "not supported";
constexpr std::string_view kRerunWithoutMain =
    "found rerunFailure/rerunError elements without a corresponding failure or error element";

bool is_main(StatusElementKind kind) noexcept { return kind <= StatusElementKind::Skipped; }
bool is_flaky(StatusElementKind kind) noexcept {
  return kind == StatusElementKind::FlakyFailure || kind == StatusElementKind::FlakyError;
}
NonSuccessKind attempt_kind(StatusElementKind kind) noexcept {
  return kind == StatusElementKind::FlakyError || kind == StatusElementKind::RerunError
             ? NonSuccessKind::Error
             : NonSuccessKind::Failure;
}

DeserializeError structure_error(const ElementPath& path, std::string_view detail) {
  return make_error(path, DeserializeErrorKind::InvalidStructure, std::string(detail));
}

std::vector<TestRerun> build_reruns(const std::vector<StatusElement*>& elements) {
  std::vector<TestRerun> reruns;
  reruns.reserve(elements.size());
  for (StatusElement* e : elements) {
    reruns.push_back(build_test_rerun(attempt_kind(e->kind), std::move(e->data)));
  }
  return reruns;
}

}  // namespace

std::optional<StatusElementKind> status_element_kind(std::string_view name) noexcept {
  switch (name.size()) {
    case 5:
      if (name == "error") return StatusElementKind::Error;
      break;
    case 7:
      if (name == "failure") return StatusElementKind::Failure;
      if (name == "skipped") return StatusElementKind::Skipped;
      break;
    case 10:
      if (name == "flakyError") return StatusElementKind::FlakyError;
      if (name == "rerunError") return StatusElementKind::RerunError;
      break;
    case 12:
      if (name == "flakyFailure") return StatusElementKind::FlakyFailure;
      if (name == "rerunFailure") return StatusElementKind::RerunFailure;
      break;
    default:
      break;
  }
  return std::nullopt;
}

PathStep status_element_step(StatusElementKind kind) noexcept {
  switch (kind) {
    case StatusElementKind::Failure:
      return PathStep::Failure;
    case StatusElementKind::Error:
      return PathStep::Error;
    case StatusElementKind::Skipped:
      return PathStep::Skipped;
    case StatusElementKind::FlakyFailure:
      return PathStep::FlakyFailure;
    case StatusElementKind::FlakyError:
      return PathStep::FlakyError;
    case StatusElementKind::RerunFailure:
      return PathStep::RerunFailure;
    case StatusElementKind::RerunError:
      return PathStep::RerunError;
  }
  return PathStep::Failure;
}

TestRerun build_test_rerun(NonSuccessKind kind, StatusElementData data) {
  TestRerun rerun;
  rerun.kind = kind;
  rerun.timestamp = data.timestamp;
  rerun.time = data.time;
  rerun.message = std::move(data.message);
  rerun.type = std::move(data.type);
  rerun.stack_trace = std::move(data.stack_trace);
  rerun.system_out = std::move(data.system_out);
  rerun.system_err = std::move(data.system_err);
  rerun.description = std::move(data.description);
  return rerun;
}

std::expected<TestCaseStatus, DeserializeError> build_test_case_status(
    std::vector<StatusElement> elements, const ElementPath& case_path) {
  // The elements are sorted by pointing at them: each is moved once, into
  // the status.
  StatusElement* main = nullptr;
  std::vector<StatusElement*> flaky;
  std::vector<StatusElement*> rerun;
  for (StatusElement& e : elements) {
    if (is_main(e.kind)) {
      if (main != nullptr) return std::unexpected(structure_error(case_path, kMultipleMain));
      main = &e;
    } else if (is_flaky(e.kind)) {
      flaky.push_back(&e);
    } else {
      rerun.push_back(&e);
    }
  }

  if (main == nullptr) {
    if (!rerun.empty()) {
      return std::unexpected(
          structure_error(case_path, flaky.empty() ? kRerunWithoutMain : kFlakyAndRerun));
    }
    Success success;
    success.flaky_runs = build_reruns(flaky);
    return TestCaseStatus(std::move(success));
  }

  StatusElementData& data = main->data;
  if (main->kind == StatusElementKind::Skipped) {
    if (!flaky.empty() || !rerun.empty()) {
      return std::unexpected(structure_error(case_path, kSkippedWithReruns));
    }
    Skipped skipped;
    skipped.message = std::move(data.message);
    skipped.type = std::move(data.type);
    skipped.description = std::move(data.description);
    return TestCaseStatus(std::move(skipped));
  }

  if (!flaky.empty() && !rerun.empty()) {
    return std::unexpected(structure_error(case_path, kFlakyAndRerun));
  }
  NonSuccess status;
  status.kind =
      main->kind == StatusElementKind::Failure ? NonSuccessKind::Failure : NonSuccessKind::Error;
  status.message = std::move(data.message);
  status.type = std::move(data.type);
  status.description = std::move(data.description);
  if (!flaky.empty()) {
    status.reruns = build_reruns(flaky);
    status.rerun_kind = RerunKind::Flaky;
  } else {
    status.reruns = build_reruns(rerun);
    status.rerun_kind = RerunKind::Rerun;
  }
  return TestCaseStatus(std::move(status));
}

}  // namespace corvane
