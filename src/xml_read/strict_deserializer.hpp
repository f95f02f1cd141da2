// The strict reader of a whole document, as a class, for the readers that
// drive its parts themselves; report_deserializer.hpp has its plain entries.
#pragma once

#include <cstddef>
#include <string_view>

#include "model/report.hpp"
#include "model/utf8_check.hpp"
#include "xml_read/read_result.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_read/test_case_reader.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

class StrictDeserializer {
 public:
  // Checking the whole document once lets every text and attribute value
  // skip its own UTF-8 check; a document that fails it is read with the
  // checks in place, so the error still names the value that is broken.
  // `known_utf8` spares that check when the caller has made it already.
  // Suites go to `sink` when one is given, into the report otherwise.
  explicit StrictDeserializer(std::string_view text, bool known_utf8 = false,
                              SuiteSink* sink = nullptr)
      : reader_(text),
        input_size_(text.size()),
        cases_(reader_, ReadMode::Strict, known_utf8 || is_valid_utf8(text)),
        sink_(sink) {}

  ReadResult<Report> deserialize_report();

  // The parts a reader of one suite at a time drives itself (see
  // suite_stream.hpp): the root's attributes, and one whole suite.
  ReadResult<Report> parse_testsuites_element(const Event& tag, const ElementPath& path);
  ReadResult<TestSuite> deserialize_test_suite(const Event& tag, bool is_empty, ElementPath& path,
                                               std::size_t index);
  XmlReader& reader() noexcept { return reader_; }
  TestCaseReader& cases() noexcept { return cases_; }

 private:
  // Test cases are large records: building them where they stay, in their
  // suite, saves a move per case.
  ReadResult<void> read_test_case_into(const Event& tag, bool is_empty, ElementPath& path,
                                       TestSuite& suite) {
    const std::size_t index = suite.test_cases.size();
    // An empty name made in place: a text to clean would cost a call.
    TestCase& test_case = suite.test_cases.emplace_back(XmlString());
    auto read = cases_.read_test_case(tag, is_empty, path, index, test_case);
    if (!read) return std::unexpected(std::move(read).error());
    return {};
  }

  XmlReader reader_;
  std::size_t input_size_;
  TestCaseReader cases_;
  SuiteSink* sink_;
  std::size_t suites_read_ = 0;
};

}  // namespace corvane
