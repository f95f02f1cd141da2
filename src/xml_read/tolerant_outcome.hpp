// The outcome of a test case as real producers write it: any mix of outcome
// elements is reduced to one status, keeping the text of those not chosen.
#pragma once

#include <expected>
#include <vector>

#include "model/report.hpp"
#include "model/test_case_status.hpp"
#include "xml_read/deserialize_error.hpp"
#include "xml_read/status_elements.hpp"

namespace corvane {

// Chooses the main element by precedence (the first `failure`, else the
// first `error`, else the first `skipped`) and appends the message and
// description of every other main element, in document order, to its
// description. Attempts (flaky and rerun elements) become the reruns of a
// failure or error, whatever their mix; without a main element they are the
// flaky runs of a success; beside `skipped` they join its description.
[[nodiscard]] std::expected<TestCaseStatus, DeserializeError> build_tolerant_status(
    std::vector<StatusElement> elements, const ElementPath& case_path);

// Takes repeated test cases of a finished suite as attempts of one test. A
// runner that retries a test may write every attempt as a test case of its
// own, the failed ones with no outcome element, and count only the last one
// among the suite's tests; a runner that simply runs a test twice writes the
// same shape but counts both. So only `attempts` cases (the test case
// elements the runner wrote beyond the tests it counted) are taken: each one
// with no outcome element (`bare[i]`, one flag per case) followed by a case
// of the same name and class name. It becomes, with the attempts it had
// already taken in, one of the first flaky runs of a passing case or one of
// the first reruns of a failing one (a skipped case drops them). The suite's
// counts are recomputed.
void fold_repeated_attempts(TestSuite& suite, const std::vector<bool>& bare, std::size_t attempts);

}  // namespace corvane
