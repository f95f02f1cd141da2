// The tolerant reader's suites one at a time, each exactly as reading the
// whole canonical document would make it: `corvane.load` a suite at a time.
#pragma once

#include <memory>

#include "xml_read/suite_stream.hpp"

namespace corvane {

[[nodiscard]] std::unique_ptr<SuiteStream> canonical_suite_stream(ByteSource& source,
                                                                  std::size_t chunk = kStreamChunk);

}  // namespace corvane
