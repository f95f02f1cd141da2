// Reading the JUnit XML that real test runners write: the tolerant mode of
// the reader. It accepts the common deviations from the strict document
// (see docs/reading.md for each rule and the producer that needs it) and
// refuses only what cannot be understood at all: malformed XML, a document
// without a `testsuites` or `testsuite` element, or one cut short.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <string_view>

#include "model/report.hpp"
#include "xml_read/deserialize_error.hpp"
#include "xml_read/read_result.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

// Reads `text` (UTF-8; invalid sequences are repaired by the usual text
// cleaning). Nested suites come out flattened and every count is recomputed
// from the test cases read.
[[nodiscard]] std::expected<Report, DeserializeError> deserialize_tolerant(std::string_view text);

// As deserialize_tolerant, with each suite handed to `sink` as soon as it,
// and every suite before it in the flattened order, is complete: the report
// comes back without suites, and only the suites still open exist at once.
// The sink gets the suites, in the order, the report would hold. When it
// refuses one the read ends there, with an error that only says so.
[[nodiscard]] std::expected<Report, DeserializeError> deserialize_tolerant(std::string_view text,
                                                                           SuiteSink& sink);

class TolerantDeserializer;

// The same reader driven one step at a time, for reading a document window
// by window (see suite_stream.hpp): suites come out as soon as they, and
// every suite before them in the flattened order, are complete.
class TolerantStepReader {
 public:
  // Where a step began, to undo what it did when it ran out of input.
  struct Mark {
    std::size_t offset;
    std::size_t depth;
    std::size_t path_size;
    bool had_loose;
  };

  explicit TolerantStepReader(std::string_view window);
  ~TolerantStepReader();

  // One event, with what it opens that is read whole; true once the
  // document is complete.
  [[nodiscard]] ReadResult<bool> step();
  // The next suite in the flattened order, once it is complete.
  [[nodiscard]] std::optional<TestSuite> take_ready();
  // Completes the suite of test cases read directly under the root, at the end.
  void close_loose();
  // The report's own fields, once the root is read (null before).
  const Report* header() const;
  XmlReader& reader();
  Mark mark() const;
  void rollback(const Mark& mark);

 private:
  std::unique_ptr<TolerantDeserializer> impl_;
};

}  // namespace corvane
