// The tolerant module's one job, without Python: any document the tolerant
// reader understands, rewritten as the canonical document that the strict
// reader accepts (tolerant read -> report model -> serializer).
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "model/report.hpp"

namespace corvane {

// The canonical document, or the user-visible message of the reading error.
[[nodiscard]] std::expected<std::string, std::string> canonical_document(std::string_view text);

// Drops the `extra` keys of the suite and its cases that cannot be written
// back as attribute names.
void keep_writable_extra_keys(TestSuite& suite);

}  // namespace corvane
