// Reading one JUnit XML document into a report model, in a single forward
// pass over the event reader, with errors that name the element path.
#pragma once

#include <expected>
#include <string_view>
#include <utility>
#include <vector>

#include "model/report.hpp"
#include "xml_read/deserialize_error.hpp"

namespace corvane {

// Reads `text` (UTF-8). Counts are kept as the document states them.
[[nodiscard]] std::expected<Report, DeserializeError> deserialize_from_str(std::string_view text);

// Takes each test suite as soon as it has been read, in document order, so
// that a caller turning suites into objects of its own does so while the
// suite is still in cache, and only one suite's model exists at a time.
class SuiteSink {
 public:
  // False ends the read: the sink has met a failure of its own.
  virtual bool take(TestSuite&& suite) = 0;
  // A later root element replaces the report read so far: the suites taken
  // until now are not part of the result.
  virtual void restart() = 0;

 protected:
  ~SuiteSink() = default;
};

// A sink that keeps every suite it is handed, in order, as a read without a
// sink keeps them in its report.
class KeptSuites final : public SuiteSink {
 public:
  bool take(TestSuite&& suite) override {
    suites.push_back(std::move(suite));
    return true;
  }
  void restart() override { suites.clear(); }

  std::vector<TestSuite> suites;
};

// As deserialize_from_str, for text the caller has already found to be valid
// UTF-8 (a Python str's UTF-8 form, or bytes it checked), which is not
// checked a second time, and with every suite handed to `sink` instead of
// kept: the report comes back without suites. When the sink refuses a suite
// the read ends there, with an error that only says so (the sink knows why).
[[nodiscard]] std::expected<Report, DeserializeError> deserialize_from_valid_utf8(
    std::string_view text, SuiteSink& sink);

}  // namespace corvane
