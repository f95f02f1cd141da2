#include "xml_read/report_deserializer.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "xml_read/attribute_walk.hpp"
#include "xml_read/escape.hpp"
#include "xml_read/status_elements.hpp"
#include "xml_read/unicode_trim.hpp"
#include "xml_read/utf8_check.hpp"
#include "xml_read/value_parsers.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

namespace {

template <typename T>
using Result = std::expected<T, DeserializeError>;

// Early returns that propagate the error of an expression yielding
// std::expected: one binding its value, one for std::expected<void, E>.
#define CORVANE_TRY(var, expr)                                                \
  auto var##_result = (expr);                                                 \
  if (!var##_result) return std::unexpected(std::move(var##_result).error()); \
  auto&& var = *var##_result
#define CORVANE_CHECK(expr)                                    \
  do {                                                         \
    if (auto check_result = (expr); !check_result)             \
      return std::unexpected(std::move(check_result).error()); \
  } while (false)

DeserializeError structure_error(const ElementPath& path, std::string detail) {
  return make_error(path, DeserializeErrorKind::InvalidStructure, std::move(detail));
}

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

class Deserializer {
 public:
  // Checking the whole document once lets every text and attribute value
  // skip its own UTF-8 check; a document that fails it is read with the
  // checks in place, so the error still names the value that is broken.
  explicit Deserializer(std::string_view text)
      : reader_(text), input_size_(text.size()), known_utf8_(is_valid_utf8(text)) {}

  Result<Report> deserialize_report();

 private:
  Result<Event> next(const ElementPath& path);
  Result<void> skip(const Event& start, const ElementPath& path);

  Result<Report> parse_testsuites_element(const Event& tag, const ElementPath& path);
  Result<TestSuite> deserialize_test_suite(const Event& tag, bool is_empty, ElementPath& path,
                                           std::size_t index);
  // Fills `test_case`, already in place in its suite: test cases are large
  // records, and building them where they stay saves a move per case.
  Result<void> deserialize_test_case(const Event& tag, bool is_empty, ElementPath& path,
                                     std::size_t index, TestCase& test_case);
  Result<void> read_test_case_into(const Event& tag, bool is_empty, ElementPath& path,
                                   TestSuite& suite) {
    const std::size_t index = suite.test_cases.size();
    TestCase& test_case = suite.test_cases.emplace_back("", TestCaseStatus::success());
    return deserialize_test_case(tag, is_empty, path, index, test_case);
  }
  Result<StatusElement> deserialize_status_element(const Event& tag, StatusElementKind kind,
                                                   bool is_empty, ElementPath& path);
  Result<std::vector<Property>> deserialize_properties(ElementPath& path);
  Result<Property> deserialize_property(const Event& tag, const ElementPath& path);
  // The trimmed, sanitised text of a text-only element; `path` is the
  // element's own path.
  Result<XmlString> read_text_content(std::string_view name, const ElementPath& path);
  // Reads a text-only child whose path is `path` plus `step`.
  Result<XmlString> read_child_text(std::string_view name, ElementPath& path, PathElement step);
  // Appends one piece of character data (text, CDATA or a reference) to `out`.
  Result<void> append_character_data(const Event& event, const ElementPath& path, std::string& out);

  XmlReader reader_;
  std::size_t input_size_;
  bool known_utf8_;
};

Result<Event> Deserializer::next(const ElementPath& path) {
  auto event = reader_.next();
  if (!event) return std::unexpected(make_error(path, DeserializeErrorKind::XmlError));
  return *event;
}

Result<void> Deserializer::skip(const Event& start, const ElementPath& path) {
  if (!reader_.skip_element(start.name())) {
    return std::unexpected(make_error(path, DeserializeErrorKind::XmlError));
  }
  return {};
}

Result<Report> Deserializer::deserialize_report() {
  ElementPath path{PathElement(PathStep::TestSuites)};
  std::optional<Report> report;
  bool complete = false;
  for (;;) {
    CORVANE_TRY(event, next(path));
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty: {
        const bool is_empty = event.kind == EventKind::Empty;
        const std::string_view name = event.name();
        if (name == "testsuites") {
          CORVANE_TRY(parsed, parse_testsuites_element(event, path));
          report = std::move(parsed);
          complete = is_empty;
        } else if (name == "testsuite" && report) {
          CORVANE_TRY(suite,
                      deserialize_test_suite(event, is_empty, path, report->test_suites.size()));
          report->test_suites.push_back(std::move(suite));
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

Result<Report> Deserializer::parse_testsuites_element(const Event& tag, const ElementPath& path) {
  Report report("");
  bool has_name = false;
  auto read = for_each_attribute(
      tag, path, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          has_name = true;
          return assign(report.name, parse_xml_string(value, path, key, known_utf8_));
        }
        if (key == "uuid") return assign(report.uuid, parse_uuid(value, path, key));
        if (key == "timestamp") return assign(report.timestamp, parse_timestamp(value, path, key));
        if (key == "time") return assign(report.time, parse_duration(value, path, key));
        if (key == "tests") return assign(report.tests, parse_usize(value, path, key));
        if (key == "failures") return assign(report.failures, parse_usize(value, path, key));
        if (key == "errors") return assign(report.errors, parse_usize(value, path, key));
        if (key == "skipped") return assign(report.skipped, parse_usize(value, path, key));
        if (key == "disabled") return assign(report.disabled, parse_usize(value, path, key));
        return {};
      });
  if (!read) return std::unexpected(std::move(read).error());
  if (!has_name) return std::unexpected(require_attribute(path, "name"));
  return report;
}

Result<TestSuite> Deserializer::deserialize_test_suite(const Event& tag, bool is_empty,
                                                       ElementPath& path, std::size_t index) {
  path.push_back(PathElement::test_suite(index));
  TestSuite suite("");
  bool has_name = false;
  auto read = for_each_attribute(
      tag, path, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          has_name = true;
          return assign(suite.name, parse_xml_string(value, path, key, known_utf8_));
        }
        if (key == "timestamp") return assign(suite.timestamp, parse_timestamp(value, path, key));
        if (key == "time") return assign(suite.time, parse_duration(value, path, key));
        if (key == "tests") return assign(suite.tests, parse_usize(value, path, key));
        if (key == "failures") return assign(suite.failures, parse_usize(value, path, key));
        if (key == "errors") return assign(suite.errors, parse_usize(value, path, key));
        if (key == "skipped") return assign(suite.skipped, parse_usize(value, path, key));
        if (key == "disabled") return assign(suite.disabled, parse_usize(value, path, key));
        CORVANE_TRY(extra_key, parse_xml_string(key, path, {}, known_utf8_));
        CORVANE_TRY(extra_value, parse_xml_string(value, path, {}, known_utf8_));
        suite.extra.insert(std::move(extra_key), std::move(extra_value));
        return {};
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
    CORVANE_TRY(event, next(path));
    switch (event.kind) {
      case EventKind::Start: {
        const std::string_view name = event.name();
        if (name == "properties") {
          CORVANE_TRY(properties, deserialize_properties(path));
          suite.properties = std::move(properties);
        } else if (name == "system-out") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement(PathStep::SystemOut)));
          suite.system_out = std::move(text);
        } else if (name == "system-err") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement(PathStep::SystemErr)));
          suite.system_err = std::move(text);
        } else if (name == "testcase") {
          CORVANE_CHECK(read_test_case_into(event, false, path, suite));
        } else {
          CORVANE_CHECK(skip(event, path));
        }
        break;
      }
      case EventKind::Empty:
        if (event.name() == "testcase") {
          CORVANE_CHECK(read_test_case_into(event, true, path, suite));
        }
        break;
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

Result<void> Deserializer::deserialize_test_case(const Event& tag, bool is_empty, ElementPath& path,
                                                 std::size_t index, TestCase& test_case) {
  path.push_back(PathElement::test_case(index));
  bool has_name = false;
  auto read = for_each_attribute(
      tag, path, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          has_name = true;
          return assign(test_case.name, parse_xml_string(value, path, key, known_utf8_));
        }
        if (key == "classname") {
          return assign(test_case.classname, parse_xml_string(value, path, key, known_utf8_));
        }
        if (key == "assertions") return assign(test_case.assertions, parse_usize(value, path, key));
        if (key == "timestamp") {
          return assign(test_case.timestamp, parse_timestamp(value, path, key));
        }
        if (key == "time") return assign(test_case.time, parse_duration(value, path, key));
        CORVANE_TRY(extra_key, parse_xml_string(key, path, {}, known_utf8_));
        CORVANE_TRY(extra_value, parse_xml_string(value, path, {}, known_utf8_));
        test_case.extra.insert(std::move(extra_key), std::move(extra_value));
        return {};
      });
  if (!read) return std::unexpected(std::move(read).error());
  if (!has_name) return std::unexpected(require_attribute(path, "name"));
  if (is_empty) {
    path.pop_back();
    return {};
  }

  path.back() = PathElement::test_case(index, std::move(test_case.name));
  std::vector<StatusElement> status_elements;
  for (;;) {
    CORVANE_TRY(event, next(path));
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty: {
        const bool empty = event.kind == EventKind::Empty;
        const std::string_view name = event.name();
        if (auto kind = status_element_kind(name)) {
          CORVANE_TRY(element, deserialize_status_element(event, *kind, empty, path));
          status_elements.push_back(std::move(element));
        } else if (empty) {
          // Empty elements such as <system-out/> carry nothing.
        } else if (name == "properties") {
          CORVANE_TRY(properties, deserialize_properties(path));
          test_case.properties = std::move(properties);
        } else if (name == "system-out") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement(PathStep::SystemOut)));
          test_case.system_out = std::move(text);
        } else if (name == "system-err") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement(PathStep::SystemErr)));
          test_case.system_err = std::move(text);
        } else {
          CORVANE_CHECK(skip(event, path));
        }
        break;
      }
      case EventKind::End:
        if (event.name() == "testcase") {
          CORVANE_TRY(status, build_test_case_status(std::move(status_elements), path));
          test_case.status = std::move(status);
          test_case.name = *path.back().take_name();
          path.pop_back();
          return {};
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path, "unexpected EOF in <testcase>"));
      default:
        break;
    }
  }
}

Result<StatusElement> Deserializer::deserialize_status_element(const Event& tag,
                                                               StatusElementKind kind,
                                                               bool is_empty, ElementPath& path) {
  path.push_back(PathElement(status_element_step(kind)));
  StatusElement element{kind, {}};
  StatusElementData& data = element.data;
  auto read = for_each_attribute(
      tag, path, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "message")
          return assign(data.message, parse_xml_string(value, path, key, known_utf8_));
        if (key == "type")
          return assign(data.type, parse_xml_string(value, path, key, known_utf8_));
        if (key == "timestamp") return assign(data.timestamp, parse_timestamp(value, path, key));
        if (key == "time") return assign(data.time, parse_duration(value, path, key));
        return {};
      });
  if (!read) return std::unexpected(std::move(read).error());
  if (is_empty) {
    path.pop_back();
    return element;
  }

  std::string description;
  for (;;) {
    CORVANE_TRY(event, next(path));
    switch (event.kind) {
      case EventKind::Text:
      case EventKind::CData:
      case EventKind::Reference: {
        CORVANE_CHECK(append_character_data(event, path, description));
        break;
      }
      case EventKind::Start: {
        const std::string_view name = event.name();
        if (name == "stackTrace") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement::attribute("stackTrace")));
          data.stack_trace = std::move(text);
        } else if (name == "system-out") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement(PathStep::SystemOut)));
          data.system_out = std::move(text);
        } else if (name == "system-err") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement(PathStep::SystemErr)));
          data.system_err = std::move(text);
        } else {
          CORVANE_CHECK(skip(event, path));
        }
        break;
      }
      case EventKind::End:
        if (is_status_element(event.name())) {
          const std::string_view trimmed = trim_unicode_white_space(description);
          if (!trimmed.empty()) data.description = XmlString(trimmed);
          path.pop_back();
          return element;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path, "unexpected EOF in status element"));
      default:
        break;
    }
  }
}

Result<std::vector<Property>> Deserializer::deserialize_properties(ElementPath& path) {
  path.push_back(PathElement(PathStep::Properties));
  std::vector<Property> properties;
  for (;;) {
    CORVANE_TRY(event, next(path));
    switch (event.kind) {
      case EventKind::Empty:
        if (event.name() == "property") {
          path.push_back(PathElement::property(properties.size()));
          CORVANE_TRY(property, deserialize_property(event, path));
          properties.push_back(std::move(property));
          path.pop_back();
        }
        break;
      case EventKind::End:
        if (event.name() == "properties") {
          path.pop_back();
          return properties;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path, "unexpected EOF in <properties>"));
      default:
        break;
    }
  }
}

Result<Property> Deserializer::deserialize_property(const Event& tag, const ElementPath& path) {
  std::optional<XmlString> name;
  std::optional<XmlString> value;
  auto read = for_each_attribute(
      tag, path, [&](std::string_view key, std::string_view raw) -> Result<void> {
        if (key == "name") return assign(name, parse_xml_string(raw, path, key, known_utf8_));
        if (key == "value") return assign(value, parse_xml_string(raw, path, key, known_utf8_));
        return {};
      });
  if (!read) return std::unexpected(std::move(read).error());
  if (!name) return std::unexpected(require_attribute(path, "name"));
  if (!value) return std::unexpected(require_attribute(path, "value"));
  return Property{std::move(*name), std::move(*value)};
}

Result<void> Deserializer::append_character_data(const Event& event, const ElementPath& path,
                                                 std::string& out) {
  const std::string_view bytes = event.content();
  if (!known_utf8_ && !is_valid_utf8(bytes)) {
    return std::unexpected(make_error(path, DeserializeErrorKind::InvalidUtf8));
  }
  switch (event.kind) {
    case EventKind::Reference: {
      auto resolved = resolve_xml_entity(bytes);
      if (!resolved) {
        return std::unexpected(structure_error(path, "unrecognized entity: " + std::string(bytes)));
      }
      out.append(*resolved);
      return {};
    }
    default:
      // Text and CDATA are both taken as they are: the reader hands
      // references out as events of their own, so text never holds a '&'
      // for unescaping to act on.
      out.append(bytes);
      return {};
  }
}

Result<XmlString> Deserializer::read_text_content(std::string_view name, const ElementPath& path) {
  std::string text;
  for (;;) {
    CORVANE_TRY(event, next(path));
    switch (event.kind) {
      case EventKind::Text:
      case EventKind::CData:
      case EventKind::Reference: {
        CORVANE_CHECK(append_character_data(event, path, text));
        break;
      }
      case EventKind::End:
        if (event.name() == name) return XmlString(trim_unicode_white_space(text));
        break;
      case EventKind::Eof:
        return std::unexpected(
            structure_error(path, "unexpected EOF in <" + std::string(name) + ">"));
      default:
        break;
    }
  }
}

Result<XmlString> Deserializer::read_child_text(std::string_view name, ElementPath& path,
                                                PathElement step) {
  path.push_back(std::move(step));
  auto text = read_text_content(name, path);
  path.pop_back();
  return text;
}

#undef CORVANE_TRY
#undef CORVANE_CHECK

}  // namespace

std::expected<Report, DeserializeError> deserialize_from_str(std::string_view text) {
  return Deserializer(text).deserialize_report();
}

}  // namespace corvane
