// Reading one document a suite at a time, from a source of bytes, holding
// only a window of the document: memory follows the largest suite, not the
// file. Each suite is the one a whole-document read makes, and an error in
// the document carries the same text.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/report.hpp"
#include "xml_read/deserialize_error.hpp"

namespace corvane {

// Where the bytes come from.
class ByteSource {
 public:
  // Reads up to `size` bytes into `into`: how many (0 at the end), or
  // nothing after a failure of the source's own, which it reports itself.
  virtual std::optional<std::size_t> read(char* into, std::size_t size) = 0;

 protected:
  ~ByteSource() = default;
};

// Why a stream stopped early.
struct StreamFailure {
  enum class Kind { Document, InvalidUtf8, Source };
  Kind kind;
  std::string text;  // the document's error text, for Kind::Document
  std::string note;  // with it, the XML reader's reason and place, if it refused the markup
};

template <typename T>
using StreamResult = std::expected<T, StreamFailure>;

class SuiteStream {
 public:
  virtual ~SuiteStream() = default;
  // The report's own fields (its suites and counts are not kept): reads up
  // to the root element the first time.
  [[nodiscard]] virtual StreamResult<const Report*> header() = 0;
  // The next suite, or none after the last one.
  [[nodiscard]] virtual StreamResult<std::optional<TestSuite>> next() = 0;
};

// Bytes read at least per refill of the window; a window grows past it only
// for a suite (or other step) larger than half of it.
inline constexpr std::size_t kStreamChunk = std::size_t{4} << 20;

// The strict reader's suites. The bytes must be UTF-8 (checked as they come).
[[nodiscard]] std::unique_ptr<SuiteStream> strict_suite_stream(ByteSource& source,
                                                               std::size_t chunk = kStreamChunk);
// The tolerant reader's suites, flattened; a suite comes out once it and
// every suite before it are complete: nested suites wait for the outermost
// one, and suites after a test case written directly under the root wait
// for the end, as those cases form one suite placed at the first of them.
[[nodiscard]] std::unique_ptr<SuiteStream> tolerant_suite_stream(ByteSource& source,
                                                                 std::size_t chunk = kStreamChunk);

}  // namespace corvane
