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

// Appends `test_case` to `suite`, or takes the suite's last case as a failed
// attempt of it: a runner that retries a test may write every attempt as a
// test case of its own, the earlier ones with no outcome element. So when
// `last_may_repeat` (the last case had no outcome element) and the last case
// has the same name and class name, it is removed and becomes, with the
// attempts it had already taken in, the first flaky runs of a passing case
// or the first reruns of a failing one (a skipped case drops them).
// `had_outcome` tells whether `test_case` had an outcome element;
// `last_may_repeat` is updated for the next case.
void add_test_case_or_attempt(TestSuite& suite, TestCase test_case, bool had_outcome,
                              bool& last_may_repeat);

}  // namespace corvane
