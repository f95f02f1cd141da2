// The tolerant module's one job, without Python: any document the tolerant
// reader understands, rewritten as the canonical document that the strict
// reader accepts (tolerant read -> report model -> serializer).
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "model/report.hpp"

namespace corvane {

// Why a document has no canonical form.
struct CanonicalError {
  std::string message;  // the user-visible message of the reading error
  std::string note;     // the XML reader's reason and place, when it refused the markup
};

// The canonical document, or why there is none.
[[nodiscard]] std::expected<std::string, CanonicalError> canonical_document(std::string_view text);

// Drops the `extra` keys of the suite and its cases that cannot be written
// back as attribute names.
void keep_writable_extra_keys(TestSuite& suite);

}  // namespace corvane
