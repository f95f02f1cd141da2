// Reduction of a mix of outcome elements to what the strict combination
// rules accept, so that building the status itself stays in one place.
#include "xml_read/tolerant_outcome.hpp"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace corvane {

namespace {

bool is_main(StatusElementKind kind) noexcept { return kind <= StatusElementKind::Skipped; }

bool is_rerun(StatusElementKind kind) noexcept {
  return kind == StatusElementKind::RerunFailure || kind == StatusElementKind::RerunError;
}

StatusElementKind as_flaky(StatusElementKind kind) noexcept {
  if (kind == StatusElementKind::RerunFailure) return StatusElementKind::FlakyFailure;
  if (kind == StatusElementKind::RerunError) return StatusElementKind::FlakyError;
  return kind;
}

StatusElementKind as_rerun(StatusElementKind kind) noexcept {
  if (kind == StatusElementKind::FlakyFailure) return StatusElementKind::RerunFailure;
  if (kind == StatusElementKind::FlakyError) return StatusElementKind::RerunError;
  return kind;
}

// One paragraph per element not chosen: "<name>: <message>", then its
// description unless it only repeats the message.
void append_block(const StatusElement& element, std::string& out) {
  if (!out.empty()) out.append("\n\n");
  // The path step of an outcome element prints as the element's name.
  PathElement(status_element_step(element.kind)).append_text(out);
  const auto& message = element.data.message;
  const auto& description = element.data.description;
  if (message && !message->empty()) {
    out.append(": ");
    out.append(message->view());
  }
  if (description && (!message || description->view() != message->view())) {
    out.push_back('\n');
    out.append(description->view());
  }
}

std::optional<std::size_t> first_of(const std::vector<StatusElement>& elements,
                                    StatusElementKind kind) {
  auto found = std::find_if(elements.begin(), elements.end(),
                            [kind](const StatusElement& e) { return e.kind == kind; });
  if (found == elements.end()) return std::nullopt;
  return static_cast<std::size_t>(found - elements.begin());
}

}  // namespace

std::expected<TestCaseStatus, DeserializeError> build_tolerant_status(
    std::vector<StatusElement> elements, const ElementPath& case_path) {
  // No element, or one outcome alone, the usual cases: nothing to reduce.
  if (elements.empty() || (elements.size() == 1 && is_main(elements.front().kind))) {
    return build_test_case_status(std::move(elements), case_path);
  }
  std::optional<std::size_t> chosen = first_of(elements, StatusElementKind::Failure);
  if (!chosen) chosen = first_of(elements, StatusElementKind::Error);
  if (!chosen) chosen = first_of(elements, StatusElementKind::Skipped);

  const bool skipped = chosen && elements[*chosen].kind == StatusElementKind::Skipped;
  const bool has_rerun = std::any_of(elements.begin(), elements.end(),
                                     [](const StatusElement& e) { return is_rerun(e.kind); });
  std::string appended;
  std::vector<StatusElement> kept;
  kept.reserve(elements.size());
  for (std::size_t i = 0; i < elements.size(); ++i) {
    StatusElement& element = elements[i];
    if (chosen && i == *chosen) continue;
    if (is_main(element.kind) || skipped) {
      append_block(element, appended);
      continue;
    }
    // A failing case keeps every attempt as a rerun once any of them says
    // so; a passing one keeps them all as flaky runs.
    if (!chosen) {
      element.kind = as_flaky(element.kind);
    } else if (has_rerun) {
      element.kind = as_rerun(element.kind);
    }
    kept.push_back(std::move(element));
  }
  if (chosen) {
    StatusElement main = std::move(elements[*chosen]);
    if (!appended.empty()) {
      std::string description(main.data.description ? main.data.description->view() : "");
      if (!description.empty()) description.append("\n\n");
      description.append(appended);
      main.data.description = XmlString(description);
    }
    kept.insert(kept.begin(), std::move(main));
  }
  return build_test_case_status(std::move(kept), case_path);
}

namespace {

// Makes `earlier`, a case with no outcome element, a failed attempt of
// `test_case`, which comes first among its attempts.
void take_as_attempt(TestCase earlier, TestCase& test_case) {
  auto* earlier_success = std::get_if<Success>(&earlier.status.value());
  std::vector<TestRerun> attempts;
  if (earlier_success != nullptr) attempts = std::move(earlier_success->flaky_runs);
  TestRerun attempt;
  attempt.kind = NonSuccessKind::Failure;
  attempt.timestamp = earlier.timestamp;
  attempt.time = earlier.time;
  attempt.system_out = std::move(earlier.system_out);
  attempt.system_err = std::move(earlier.system_err);
  attempts.push_back(std::move(attempt));

  // The earlier attempts come first. The case's own list is appended to
  // them, not the other way round: a long run of repeated cases then costs
  // a constant per case, not the length of the run.
  auto put_first = [&attempts](std::vector<TestRerun>& runs) {
    attempts.insert(attempts.end(), std::make_move_iterator(runs.begin()),
                    std::make_move_iterator(runs.end()));
    runs = std::move(attempts);
  };
  auto& status = test_case.status.value();
  if (auto* success = std::get_if<Success>(&status)) {
    put_first(success->flaky_runs);
  } else if (auto* failed = std::get_if<NonSuccess>(&status)) {
    if (failed->reruns.empty()) failed->rerun_kind = RerunKind::Rerun;
    put_first(failed->reruns);
  }
}

}  // namespace

void fold_repeated_attempts(TestSuite& suite, const std::vector<bool>& bare, std::size_t attempts) {
  if (attempts == 0) return;
  TestCases cases = std::move(suite.test_cases);
  suite.test_cases.clear();
  suite.tests = suite.failures = suite.errors = suite.skipped = 0;
  bool last_bare = false;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    TestCase& test_case = cases[i];
    const bool repeats = attempts != 0 && last_bare &&
                         suite.test_cases.back().name == test_case.name &&
                         suite.test_cases.back().classname == test_case.classname;
    last_bare = bare[i];
    if (repeats) {
      --attempts;
      // The earlier case passed without any outcome element, so it only
      // ever counted as a test.
      --suite.tests;
      TestCase earlier = std::move(suite.test_cases.back());
      suite.test_cases.pop_back();
      take_as_attempt(std::move(earlier), test_case);
    }
    suite.add_test_case(std::move(test_case));
  }
}

}  // namespace corvane
