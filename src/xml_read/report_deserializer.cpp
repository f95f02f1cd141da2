#include "xml_read/report_deserializer.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/utf8_check.hpp"
#include "xml_read/attribute_walk.hpp"
#include "xml_read/read_result.hpp"
#include "xml_read/strict_deserializer.hpp"
#include "xml_read/test_case_reader.hpp"
#include "xml_read/value_parsers.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

namespace {

template <typename T>
using Result = ReadResult<T>;

// Stores the parsed value of one attribute into `field`.
template <typename T>
Result<void> assign(std::optional<T>& field, Result<T> parsed) {
  if (!parsed) return std::unexpected(std::move(parsed).error());
  field = std::move(*parsed);
  return {};
}

template <typename T>
Result<void> assign(T& field, Result<T> parsed) {
  if (!parsed) return std::unexpected(std::move(parsed).error());
  field = std::move(*parsed);
  return {};
}

}  // namespace

Result<Report> StrictDeserializer::deserialize_report() {
  ElementPath path{PathElement(PathStep::TestSuites)};
  std::optional<Report> report;
  bool complete = false;
  for (;;) {
    CORVANE_NEXT_MARKUP(event, cases_, path);
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty: {
        const bool is_empty = event.kind == EventKind::Empty;
        const std::string_view name = event.name();
        if (name == "testsuites") {
          CORVANE_TRY(parsed, parse_testsuites_element(event, path));
          report = std::move(parsed);
          suites_read_ = 0;
          if (sink_ != nullptr) sink_->restart();
          complete = is_empty;
        } else if (name == "testsuite" && report) {
          CORVANE_TRY(suite, deserialize_test_suite(event, is_empty, path, suites_read_++));
          if (sink_ == nullptr) {
            report->test_suites.push_back(std::move(suite));
          } else if (!sink_->take(std::move(suite))) {
            return std::unexpected(structure_error(path, "the read was stopped by its caller"));
          }
        }
        break;
      }
      case EventKind::End:
        if (event.name() == "testsuites") {
          if (!report) return std::unexpected(structure_error({}, "missing <testsuites> element"));
          return std::move(*report);
        }
        break;
      case EventKind::Eof:
        if (!report) return std::unexpected(structure_error({}, "missing <testsuites> element"));
        if (complete) return std::move(*report);
        return std::unexpected(
            structure_error(path, "unexpected EOF, <testsuites> not properly closed"));
      default:
        break;
    }
  }
}

Result<Report> StrictDeserializer::parse_testsuites_element(const Event& tag,
                                                            const ElementPath& path) {
  Report report("");
  bool has_name = false;
  auto read = for_each_attribute(
      reader_, tag, path, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          has_name = true;
          return assign(report.name, cases_.read_string(value, path, key));
        }
        if (key == "uuid") return assign(report.uuid, parse_uuid(value, path, key));
        if (key == "timestamp") return cases_.read_timestamp(report.timestamp, value, path, key);
        if (key == "time") return cases_.read_duration(report.time, value, path, key);
        if (key == "tests") return assign(report.tests, parse_usize(value, path, key));
        if (key == "failures") return assign(report.failures, parse_usize(value, path, key));
        if (key == "errors") return assign(report.errors, parse_usize(value, path, key));
        if (key == "skipped") return assign(report.skipped, parse_usize(value, path, key));
        if (key == "disabled") return assign(report.disabled, parse_usize(value, path, key));
        return cases_.check_unknown_key(tag, key, path);
      });
  if (!read) return std::unexpected(std::move(read).error());
  if (!has_name) return std::unexpected(require_attribute(path, "name"));
  return report;
}

Result<TestSuite> StrictDeserializer::deserialize_test_suite(const Event& tag, bool is_empty,
                                                             ElementPath& path, std::size_t index) {
  path.push_back(PathElement::test_suite(index));
  TestSuite suite("");
  bool has_name = false;
  auto read = for_each_attribute(
      reader_, tag, path, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          has_name = true;
          return assign(suite.name, cases_.read_string(value, path, key));
        }
        if (key == "timestamp") return cases_.read_timestamp(suite.timestamp, value, path, key);
        if (key == "time") return cases_.read_duration(suite.time, value, path, key);
        if (key == "tests") return assign(suite.tests, parse_usize(value, path, key));
        if (key == "failures") return assign(suite.failures, parse_usize(value, path, key));
        if (key == "errors") return assign(suite.errors, parse_usize(value, path, key));
        if (key == "skipped") return assign(suite.skipped, parse_usize(value, path, key));
        if (key == "disabled") return assign(suite.disabled, parse_usize(value, path, key));
        return cases_.read_unknown_attribute(tag, suite.extra, key, value, path);
      });
  if (!read) return std::unexpected(std::move(read).error());
  if (!has_name) return std::unexpected(require_attribute(path, "name"));
  if (is_empty) {
    path.pop_back();
    return suite;
  }

  path.back() = PathElement::test_suite(index, std::move(suite.name));
  // The stated count is only a hint: moving test cases on every regrowth
  // costs more than reading them, but a document cannot make us reserve more
  // than one case per 16 bytes of its own size.
  suite.test_cases.reserve(
      static_cast<std::size_t>(std::min<std::uint64_t>(suite.tests, input_size_ / 16)));
  for (;;) {
    CORVANE_NEXT_MARKUP(event, cases_, path);
    // Test cases, nearly every event here, first: both forms of the tag
    // share one call.
    if ((event.kind == EventKind::Empty || event.kind == EventKind::Start) &&
        event.name() == "testcase") {
      CORVANE_CHECK(read_test_case_into(event, event.kind == EventKind::Empty, path, suite));
      continue;
    }
    switch (event.kind) {
      case EventKind::Start: {
        const std::string_view name = event.name();
        if (name == "properties") {
          CORVANE_TRY(properties, cases_.read_properties(path));
          suite.properties = std::move(properties);
        } else if (TestCaseReader::is_output(name)) {
          CORVANE_CHECK(cases_.read_output(name, path, suite.system_out, suite.system_err));
        } else {
          CORVANE_CHECK(cases_.skip(event, path));
        }
        break;
      }
      case EventKind::End:
        if (event.name() == "testsuite") {
          suite.name = *path.back().take_name();
          path.pop_back();
          return suite;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path, "unexpected EOF in <testsuite>"));
      default:
        break;
    }
  }
}

std::expected<Report, DeserializeError> deserialize_from_str(std::string_view text) {
  return StrictDeserializer(text).deserialize_report();
}

std::expected<Report, DeserializeError> deserialize_from_valid_utf8(std::string_view text,
                                                                    SuiteSink& sink) {
  return StrictDeserializer(text, true, &sink).deserialize_report();
}

}  // namespace corvane
