// Reading one JUnit XML document into a report model, in a single forward
// pass over the event reader, with errors that name the element path.
#pragma once

#include <expected>
#include <string_view>

#include "model/report.hpp"
#include "xml_read/deserialize_error.hpp"

namespace corvane {

// Reads `text` (UTF-8). Counts are kept as the document states them.
[[nodiscard]] std::expected<Report, DeserializeError> deserialize_from_str(std::string_view text);

// As deserialize_from_str, for text the caller has already found to be valid
// UTF-8 (a Python str's UTF-8 form, or bytes it checked): the document is not
// checked a second time.
[[nodiscard]] std::expected<Report, DeserializeError> deserialize_from_valid_utf8(
    std::string_view text);

}  // namespace corvane
