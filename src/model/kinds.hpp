// The two small enumerations of the report model. Their numeric values are
// part of the interface: the Python enumerations carry the same numbers.
#pragma once

#include <cstdint>

namespace corvane {

enum class NonSuccessKind : std::uint8_t { Failure = 0, Error = 1 };

// How the retried attempts of a failure or error are written.
enum class RerunKind : std::uint8_t { Flaky = 0, Rerun = 1 };

}  // namespace corvane
