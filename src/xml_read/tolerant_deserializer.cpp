// The tolerant reader: one forward pass like the strict one, but suites are
// tracked on an explicit stack (they may nest, to any depth, without using
// the call stack), values it cannot understand are dropped, and the outcome
// elements of a case are reduced by precedence instead of refused.
#include "xml_read/tolerant_deserializer.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "xml_read/attribute_walk.hpp"
#include "xml_read/status_elements.hpp"
#include "xml_read/tolerant_outcome.hpp"
#include "xml_read/tolerant_values.hpp"
#include "xml_read/unicode_trim.hpp"
#include "xml_read/value_parsers.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

namespace {

template <typename T>
using Result = std::expected<T, DeserializeError>;

#define CORVANE_TRY(var, expr)                                                \
  auto var##_result = (expr);                                                 \
  if (!var##_result) return std::unexpected(std::move(var##_result).error()); \
  auto&& var = *var##_result
#define CORVANE_CHECK(expr)                                    \
  do {                                                         \
    if (auto check_result = (expr); !check_result)             \
      return std::unexpected(std::move(check_result).error()); \
  } while (false)

constexpr std::string_view kTestSuites = "testsuites";
constexpr std::string_view kTestSuite = "testsuite";

DeserializeError structure_error(const ElementPath& path, std::string detail) {
  return make_error(path, DeserializeErrorKind::InvalidStructure, std::move(detail));
}

// Text attributes go through the strict string parser: a reference that
// cannot be resolved in an attribute is malformed XML, not a producer quirk.
// The whole document is never checked as UTF-8 here: text cleaning repairs
// any invalid sequence instead.
Result<XmlString> read_string(std::string_view raw, const ElementPath& path, std::string_view key) {
  return parse_xml_string(raw, path, key, /*known_utf8=*/true);
}

// A suite whose own test cases are written where the suite opens, so that
// flattening keeps document order: each suite takes the next slot when its
// start tag is read.
struct OpenSuite {
  std::size_t slot;
  TestSuite suite;
  bool holds_suites = false;
  // Whether the last case may turn out to be an attempt of the next one.
  bool last_may_repeat = false;
};

class TolerantDeserializer {
 public:
  explicit TolerantDeserializer(std::string_view text) : reader_(text) {}

  Result<Report> run();

 private:
  Result<Event> next();
  Result<void> skip(const Event& start);

  Result<Report> read_root_attributes(const Event& tag);
  Result<void> open_suite(const Event& tag);
  void close_suite();
  Result<void> read_test_case(const Event& tag, bool is_empty);
  Result<void> read_case_attributes(const Event& tag, TestCase& test_case);
  Result<StatusElement> read_status_element(const Event& tag, StatusElementKind kind,
                                            bool is_empty);
  Result<std::vector<Property>> read_properties();
  Result<XmlString> read_text(std::string_view name, PathElement step);
  Result<void> append_character_data(const Event& event, std::string& out);
  Report finish();

  XmlReader reader_;
  ElementPath path_{PathElement(PathStep::TestSuites)};
  std::optional<Report> report_;
  // Depth of the root element once open; the root ends at its own end tag,
  // not at an inner element of the same name.
  std::size_t root_depth_ = 0;
  std::vector<std::optional<TestSuite>> slots_;
  std::vector<OpenSuite> open_;
  // Test cases written directly under the root, gathered in one suite.
  std::optional<OpenSuite> loose_;
};

Result<Event> TolerantDeserializer::next() {
  auto event = reader_.next();
  if (!event) return std::unexpected(make_error(path_, DeserializeErrorKind::XmlError));
  return *event;
}

Result<void> TolerantDeserializer::skip(const Event& start) {
  if (!reader_.skip_element(start.name())) {
    return std::unexpected(make_error(path_, DeserializeErrorKind::XmlError));
  }
  return {};
}

Result<Report> TolerantDeserializer::run() {
  // Anything before the root (declaration, comments, wrapper elements) is
  // passed over; the first `testsuites` or `testsuite` tag is the root.
  bool root_is_suite = false;
  for (;;) {
    CORVANE_TRY(event, next());
    if (event.kind == EventKind::Eof) {
      return std::unexpected(structure_error({}, "missing <testsuites> or <testsuite> element"));
    }
    if (event.kind != EventKind::Start && event.kind != EventKind::Empty) continue;
    const std::string_view name = event.name();
    if (name == kTestSuites) {
      CORVANE_TRY(report, read_root_attributes(event));
      report_ = std::move(report);
      if (event.kind == EventKind::Empty) return finish();
      break;
    }
    if (name == kTestSuite) {
      root_is_suite = true;
      report_.emplace("");
      CORVANE_CHECK(open_suite(event));
      report_->name = open_.back().suite.name;
      if (event.kind == EventKind::Empty) {
        close_suite();
        return finish();
      }
      break;
    }
  }
  root_depth_ = reader_.depth();

  for (;;) {
    CORVANE_TRY(event, next());
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty: {
        const bool is_empty = event.kind == EventKind::Empty;
        const std::string_view name = event.name();
        if (name == kTestSuite) {
          CORVANE_CHECK(open_suite(event));
          if (is_empty) close_suite();
        } else if (name == "testcase") {
          CORVANE_CHECK(read_test_case(event, is_empty));
        } else if (is_empty || open_.empty()) {
          // The root has no properties or output of its own; other tags are
          // ignored one by one, so wrappers hide no suite or case.
        } else if (name == "properties") {
          CORVANE_TRY(properties, read_properties());
          open_.back().suite.properties = std::move(properties);
        } else if (name == "system-out") {
          CORVANE_TRY(text, read_text(name, PathElement(PathStep::SystemOut)));
          open_.back().suite.system_out = std::move(text);
        } else if (name == "system-err") {
          CORVANE_TRY(text, read_text(name, PathElement(PathStep::SystemErr)));
          open_.back().suite.system_err = std::move(text);
        }
        break;
      }
      case EventKind::End:
        if (event.name() == kTestSuite && !open_.empty()) {
          close_suite();
          if (root_is_suite && open_.empty()) return finish();
        } else if (!root_is_suite && event.name() == kTestSuites &&
                   reader_.depth() + 1 == root_depth_) {
          return finish();
        }
        break;
      case EventKind::Eof:
        if (!open_.empty()) {
          return std::unexpected(structure_error(path_, "unexpected EOF in <testsuite>"));
        }
        return std::unexpected(
            structure_error(path_, "unexpected EOF, <testsuites> not properly closed"));
      default:
        break;
    }
  }
}

Result<Report> TolerantDeserializer::read_root_attributes(const Event& tag) {
  Report report("");
  CORVANE_CHECK(for_each_attribute(
      tag, path_, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          CORVANE_TRY(name, read_string(value, path_, key));
          report.name = std::move(name);
        } else if (key == "uuid") {
          if (auto uuid = parse_uuid_text(value)) report.uuid = *uuid;
        } else if (key == "timestamp") {
          report.timestamp = tolerant_timestamp(value);
        } else if (key == "time") {
          report.time = tolerant_duration(value);
        }
        // Counts are recomputed from the cases, whatever the root says.
        return {};
      }));
  return report;
}

Result<void> TolerantDeserializer::open_suite(const Event& tag) {
  const std::size_t slot = slots_.size();
  slots_.emplace_back();
  path_.push_back(PathElement::test_suite(slot));
  OpenSuite open{slot, TestSuite(""), false};
  TestSuite& suite = open.suite;
  CORVANE_CHECK(for_each_attribute(
      tag, path_, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          CORVANE_TRY(name, read_string(value, path_, key));
          suite.name = std::move(name);
        } else if (key == "timestamp") {
          suite.timestamp = tolerant_timestamp(value);
        } else if (key == "time") {
          suite.time = tolerant_duration(value);
        } else if (key != "tests" && key != "failures" && key != "errors" && key != "skipped" &&
                   key != "disabled") {
          CORVANE_TRY(extra_key, read_string(key, path_, {}));
          CORVANE_TRY(extra_value, read_string(value, path_, {}));
          suite.extra.insert(std::move(extra_key), std::move(extra_value));
        }
        return {};
      }));
  if (!open_.empty()) {
    OpenSuite& parent = open_.back();
    parent.holds_suites = true;
    std::string joined(parent.suite.name.view());
    joined.push_back('/');
    joined.append(suite.name.view());
    suite.name = XmlString(joined);
  }
  path_.back() = PathElement::test_suite(slot, suite.name);
  open_.push_back(std::move(open));
  return {};
}

void TolerantDeserializer::close_suite() {
  OpenSuite open = std::move(open_.back());
  open_.pop_back();
  path_.pop_back();
  const TestSuite& suite = open.suite;
  // A suite that only groups other suites has nothing of its own to show
  // once they are flattened.
  const bool only_groups = open.holds_suites && suite.test_cases.empty() &&
                           suite.properties.empty() && !suite.system_out && !suite.system_err;
  if (!only_groups) slots_[open.slot] = std::move(open.suite);
}

Result<void> TolerantDeserializer::read_test_case(const Event& tag, bool is_empty) {
  if (open_.empty() && !loose_) {
    loose_.emplace(OpenSuite{slots_.size(), TestSuite(report_->name.view())});
    slots_.emplace_back();
  }
  OpenSuite& target = open_.empty() ? *loose_ : open_.back();
  const std::size_t index = target.suite.test_cases.size();
  path_.push_back(PathElement::test_case(index));
  TestCase test_case("", TestCaseStatus::success());
  CORVANE_CHECK(read_case_attributes(tag, test_case));
  if (is_empty) {
    path_.pop_back();
    add_test_case_or_attempt(target.suite, std::move(test_case), false, target.last_may_repeat);
    return {};
  }

  path_.back() = PathElement::test_case(index, test_case.name);
  std::vector<StatusElement> status_elements;
  for (;;) {
    CORVANE_TRY(event, next());
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty: {
        const bool empty = event.kind == EventKind::Empty;
        const std::string_view name = event.name();
        if (auto kind = status_element_kind(name)) {
          CORVANE_TRY(element, read_status_element(event, *kind, empty));
          status_elements.push_back(std::move(element));
        } else if (empty) {
          // Empty elements such as <system-out/> carry nothing.
        } else if (name == "properties") {
          CORVANE_TRY(properties, read_properties());
          test_case.properties = std::move(properties);
        } else if (name == "system-out") {
          CORVANE_TRY(text, read_text(name, PathElement(PathStep::SystemOut)));
          test_case.system_out = std::move(text);
        } else if (name == "system-err") {
          CORVANE_TRY(text, read_text(name, PathElement(PathStep::SystemErr)));
          test_case.system_err = std::move(text);
        } else {
          CORVANE_CHECK(skip(event));
        }
        break;
      }
      case EventKind::End:
        if (event.name() == "testcase") {
          const bool had_outcome = !status_elements.empty();
          CORVANE_TRY(status, build_tolerant_status(std::move(status_elements), path_));
          test_case.status = std::move(status);
          path_.pop_back();
          add_test_case_or_attempt(target.suite, std::move(test_case), had_outcome,
                                   target.last_may_repeat);
          return {};
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path_, "unexpected EOF in <testcase>"));
      default:
        break;
    }
  }
}

Result<void> TolerantDeserializer::read_case_attributes(const Event& tag, TestCase& test_case) {
  return for_each_attribute(
      tag, path_, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          CORVANE_TRY(name, read_string(value, path_, key));
          test_case.name = std::move(name);
        } else if (key == "classname") {
          CORVANE_TRY(classname, read_string(value, path_, key));
          test_case.classname = std::move(classname);
        } else if (key == "assertions") {
          test_case.assertions = tolerant_count(value);
        } else if (key == "timestamp") {
          test_case.timestamp = tolerant_timestamp(value);
        } else if (key == "time") {
          test_case.time = tolerant_duration(value);
        } else {
          CORVANE_TRY(extra_key, read_string(key, path_, {}));
          CORVANE_TRY(extra_value, read_string(value, path_, {}));
          test_case.extra.insert(std::move(extra_key), std::move(extra_value));
        }
        return {};
      });
}

Result<StatusElement> TolerantDeserializer::read_status_element(const Event& tag,
                                                                StatusElementKind kind,
                                                                bool is_empty) {
  path_.push_back(PathElement(status_element_step(kind)));
  StatusElement element{kind, {}};
  StatusElementData& data = element.data;
  CORVANE_CHECK(for_each_attribute(
      tag, path_, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "message") {
          CORVANE_TRY(message, read_string(value, path_, key));
          data.message = std::move(message);
        } else if (key == "type") {
          CORVANE_TRY(type, read_string(value, path_, key));
          data.type = std::move(type);
        } else if (key == "timestamp") {
          data.timestamp = tolerant_timestamp(value);
        } else if (key == "time") {
          data.time = tolerant_duration(value);
        }
        return {};
      }));
  if (is_empty) {
    path_.pop_back();
    return element;
  }

  std::string description;
  for (;;) {
    CORVANE_TRY(event, next());
    switch (event.kind) {
      case EventKind::Text:
      case EventKind::CData:
      case EventKind::Reference:
        CORVANE_CHECK(append_character_data(event, description));
        break;
      case EventKind::Start: {
        const std::string_view name = event.name();
        if (name == "stackTrace") {
          CORVANE_TRY(text, read_text(name, PathElement::attribute("stackTrace")));
          data.stack_trace = std::move(text);
        } else if (name == "system-out") {
          CORVANE_TRY(text, read_text(name, PathElement(PathStep::SystemOut)));
          data.system_out = std::move(text);
        } else if (name == "system-err") {
          CORVANE_TRY(text, read_text(name, PathElement(PathStep::SystemErr)));
          data.system_err = std::move(text);
        } else {
          CORVANE_CHECK(skip(event));
        }
        break;
      }
      case EventKind::End:
        if (is_status_element(event.name())) {
          const std::string_view trimmed = trim_unicode_white_space(description);
          if (!trimmed.empty()) data.description = XmlString(trimmed);
          path_.pop_back();
          return element;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path_, "unexpected EOF in status element"));
      default:
        break;
    }
  }
}

Result<std::vector<Property>> TolerantDeserializer::read_properties() {
  path_.push_back(PathElement(PathStep::Properties));
  std::vector<Property> properties;
  for (;;) {
    CORVANE_TRY(event, next());
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty:
        if (event.name() == "property") {
          // A missing name or value reads as empty, like every other name.
          path_.push_back(PathElement::property(properties.size()));
          Property property{XmlString(), XmlString()};
          CORVANE_CHECK(for_each_attribute(
              event, path_, [&](std::string_view key, std::string_view raw) -> Result<void> {
                if (key != "name" && key != "value") return {};
                CORVANE_TRY(text, read_string(raw, path_, key));
                (key == "name" ? property.name : property.value) = std::move(text);
                return {};
              }));
          properties.push_back(std::move(property));
          path_.pop_back();
        }
        break;
      case EventKind::End:
        if (event.name() == "properties") {
          path_.pop_back();
          return properties;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path_, "unexpected EOF in <properties>"));
      default:
        break;
    }
  }
}

Result<void> TolerantDeserializer::append_character_data(const Event& event, std::string& out) {
  if (event.kind != EventKind::Reference) {
    out.append(event.content());
    return {};
  }
  auto done = append_reference(event.content(), out);
  if (!done) {
    return std::unexpected(
        make_error(path_, DeserializeErrorKind::EscapeError, std::move(done.error().text)));
  }
  return {};
}

Result<XmlString> TolerantDeserializer::read_text(std::string_view name, PathElement step) {
  path_.push_back(std::move(step));
  std::string text;
  for (;;) {
    CORVANE_TRY(event, next());
    switch (event.kind) {
      case EventKind::Text:
      case EventKind::CData:
      case EventKind::Reference:
        CORVANE_CHECK(append_character_data(event, text));
        break;
      case EventKind::End:
        if (event.name() == name) {
          path_.pop_back();
          return XmlString(trim_unicode_white_space(text));
        }
        break;
      case EventKind::Eof:
        return std::unexpected(
            structure_error(path_, "unexpected EOF in <" + std::string(name) + ">"));
      default:
        break;
    }
  }
}

Report TolerantDeserializer::finish() {
  if (loose_) slots_[loose_->slot] = std::move(loose_->suite);
  Report report = std::move(*report_);
  for (auto& slot : slots_) {
    if (slot) report.add_test_suite(std::move(*slot));
  }
  return report;
}

#undef CORVANE_TRY
#undef CORVANE_CHECK

}  // namespace

std::expected<Report, DeserializeError> deserialize_tolerant(std::string_view text) {
  return TolerantDeserializer(text).run();
}

}  // namespace corvane
