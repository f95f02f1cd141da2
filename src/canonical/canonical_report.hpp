// The tolerant read as a report model equal to what reading the canonical
// document back would give, without writing and re-reading it: `load` makes
// its objects from this model directly.
#pragma once

#include <expected>
#include <string_view>

#include "canonical/canonical_document.hpp"
#include "model/report.hpp"
#include "xml_read/report_deserializer.hpp"

namespace corvane {

// The tolerant reader's model, with what the trip through the canonical
// document changes done in place: unwritable `extra` keys dropped, and every
// duration and timestamp reduced to the precision the writer keeps.
[[nodiscard]] std::expected<Report, CanonicalError> canonical_report(std::string_view text);

// The same, with each suite handed to `sink` as soon as it is read and made
// canonical, so that the whole model never exists at once: the report comes
// back without suites. When the sink refuses a suite the read ends there,
// with an error that only says so (the sink knows why).
[[nodiscard]] std::expected<Report, CanonicalError> canonical_report(std::string_view text,
                                                                     SuiteSink& sink);

// True when writing `time` and reading it back gives it unchanged, found
// without doing so: whole milliseconds of a duration well in range, what
// runners write. The canonical model skips that trip for such a duration.
[[nodiscard]] bool is_written_exactly(const Duration& time) noexcept;

}  // namespace corvane
