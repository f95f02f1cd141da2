// Reading the JUnit XML that real test runners write: the tolerant mode of
// the reader. It accepts the common deviations from the strict document
// (see docs/reading.md for each rule and the producer that needs it) and
// refuses only what cannot be understood at all: malformed XML, a document
// without a `testsuites` or `testsuite` element, or one cut short.
#pragma once

#include <expected>
#include <string_view>

#include "model/report.hpp"
#include "xml_read/deserialize_error.hpp"

namespace corvane {

// Reads `text` (UTF-8; invalid sequences are repaired by the usual text
// cleaning). Nested suites come out flattened and every count is recomputed
// from the test cases read.
[[nodiscard]] std::expected<Report, DeserializeError> deserialize_tolerant(std::string_view text);

}  // namespace corvane
