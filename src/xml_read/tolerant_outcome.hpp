// The outcome of a test case as real producers write it: any mix of outcome
// elements is reduced to one status, keeping the text of those not chosen.
#pragma once

#include <expected>
#include <vector>

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

}  // namespace corvane
