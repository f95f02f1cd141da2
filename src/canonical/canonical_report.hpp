// The tolerant read as a report model equal to what reading the canonical
// document back would give, without writing and re-reading it: `load` makes
// its objects from this model directly.
#pragma once

#include <expected>
#include <string_view>

#include "canonical/canonical_document.hpp"
#include "model/report.hpp"

namespace corvane {

// The tolerant reader's model, with what the trip through the canonical
// document changes done in place: unwritable `extra` keys dropped, and every
// duration and timestamp reduced to the precision the writer keeps.
[[nodiscard]] std::expected<Report, CanonicalError> canonical_report(std::string_view text);

}  // namespace corvane
