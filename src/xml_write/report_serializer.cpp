// The report serializer: decides which elements and attributes appear, in
// which order and form; the XML writer handles bytes, escaping and layout.
#include "xml_write/report_serializer.hpp"

#include <variant>

#include "xml_write/text_forms.hpp"
#include "model/utf8_check.hpp"

// Returns the error of a failed step from the enclosing serializer step.
#define CORVANE_WRITE_TRY(expr)                                \
  do {                                                         \
    if (auto result_ = (expr); !result_) {                     \
      return std::unexpected(SerializeError(result_.error())); \
    }                                                          \
  } while (false)

namespace corvane {

namespace {

using Result = std::expected<void, SerializeError>;

constexpr Indentation kIndentation{' ', 4};
constexpr Declaration kDeclaration{"1.0", "UTF-8", std::nullopt};

void push_count(StartTag& tag, std::string_view name, std::uint64_t count) {
  tag.push_formatted_attribute(name, kMaxCountLength,
                               [count](char* out) { return write_count(out, count); });
}

void push_optional_text(StartTag& tag, std::string_view name,
                        const std::optional<XmlString>& text) {
  if (text) tag.push_attribute(name, text->view());
}

void push_extra(StartTag& tag, const ExtraMap& extra) {
  for (const auto& [key, value] : extra) tag.push_attribute(key.view(), value.view());
}

[[nodiscard]] Result serialize_properties(const std::vector<Property>& properties,
                                          DocumentWriter& w) {
  if (properties.empty()) return {};
  w.tag.reset("properties");
  CORVANE_WRITE_TRY(w.xml.start_tag(w.tag));
  for (const Property& property : properties) {
    w.tag.reset("property");
    w.tag.push_attribute("name", property.name.view());
    w.tag.push_attribute("value", property.value.view());
    CORVANE_WRITE_TRY(w.xml.empty_element(w.tag));
  }
  CORVANE_WRITE_TRY(w.xml.end_tag("properties"));
  return {};
}

[[nodiscard]] Result serialize_outputs(const std::optional<XmlString>& system_out,
                                       const std::optional<XmlString>& system_err,
                                       DocumentWriter& w) {
  if (system_out) CORVANE_WRITE_TRY(serialize_output(system_out->view(), "system-out", w));
  if (system_err) CORVANE_WRITE_TRY(serialize_output(system_err->view(), "system-err", w));
  return {};
}

std::string_view rerun_element_name(RerunKind rerun_kind, NonSuccessKind kind) {
  const bool failure = kind == NonSuccessKind::Failure;
  if (rerun_kind == RerunKind::Flaky) return failure ? "flakyFailure" : "flakyError";
  return failure ? "rerunFailure" : "rerunError";
}

[[nodiscard]] Result serialize_reruns(const std::vector<TestRerun>& reruns, RerunKind rerun_kind,
                                      DocumentWriter& w) {
  for (const TestRerun& rerun : reruns) CORVANE_WRITE_TRY(serialize_rerun(rerun, rerun_kind, w));
  return {};
}

[[nodiscard]] Result serialize_status_content(const TestCaseStatus::Variant& status,
                                              DocumentWriter& w) {
  if (const auto* success = std::get_if<Success>(&status)) {
    return serialize_reruns(success->flaky_runs, RerunKind::Flaky, w);
  }
  if (const auto* non_success = std::get_if<NonSuccess>(&status)) {
    const std::string_view name =
        non_success->kind == NonSuccessKind::Failure ? "failure" : "error";
    CORVANE_WRITE_TRY(serialize_status(name, non_success->message, non_success->type,
                                       non_success->description, w));
    return serialize_reruns(non_success->reruns, non_success->rerun_kind, w);
  }
  const auto& skipped = std::get<Skipped>(status);
  return serialize_status("skipped", skipped.message, skipped.type, skipped.description, w);
}

[[nodiscard]] Result serialize_test_case(const TestCase& test_case, DocumentWriter& w) {
  StartTag& tag = w.tag;
  tag.reset("testcase");
  tag.push_attribute("name", test_case.name.view());
  push_optional_text(tag, "classname", test_case.classname);
  if (test_case.assertions) push_count(tag, "assertions", *test_case.assertions);
  if (test_case.timestamp) serialize_timestamp(tag, *test_case.timestamp);
  if (test_case.time) serialize_time(tag, *test_case.time);
  push_extra(tag, test_case.extra);

  const auto& status = test_case.status.value();
  const auto* success = std::get_if<Success>(&status);
  if (success != nullptr && success->flaky_runs.empty() && test_case.properties.empty() &&
      !test_case.system_out && !test_case.system_err) {
    return w.xml.empty_element(tag);
  }
  CORVANE_WRITE_TRY(w.xml.start_tag(tag));
  CORVANE_WRITE_TRY(serialize_properties(test_case.properties, w));
  CORVANE_WRITE_TRY(serialize_status_content(status, w));
  CORVANE_WRITE_TRY(serialize_outputs(test_case.system_out, test_case.system_err, w));
  return w.xml.end_tag("testcase");
}

[[nodiscard]] Result serialize_test_suite(const TestSuite& suite, DocumentWriter& w) {
  StartTag& tag = w.tag;
  tag.reset("testsuite");
  tag.push_attribute("name", suite.name.view());
  push_count(tag, "tests", suite.tests);
  push_count(tag, "skipped", suite.skipped);
  // errors before failures here, the reverse of the root element.
  push_count(tag, "errors", suite.errors);
  push_count(tag, "failures", suite.failures);
  if (suite.disabled) push_count(tag, "disabled", *suite.disabled);
  if (suite.timestamp) serialize_timestamp(tag, *suite.timestamp);
  if (suite.time) serialize_time(tag, *suite.time);
  push_extra(tag, suite.extra);

  if (suite.properties.empty() && suite.test_cases.empty() && !suite.system_out &&
      !suite.system_err) {
    return w.xml.empty_element(tag);
  }
  CORVANE_WRITE_TRY(w.xml.start_tag(tag));
  CORVANE_WRITE_TRY(serialize_properties(suite.properties, w));
  for (const TestCase& test_case : suite.test_cases) {
    CORVANE_WRITE_TRY(serialize_test_case(test_case, w));
  }
  CORVANE_WRITE_TRY(serialize_outputs(suite.system_out, suite.system_err, w));
  return w.xml.end_tag("testsuite");
}

}  // namespace

// From the counts alone, so that a typical report is written without the
// buffer having to move; a wrong guess costs only a geometric regrowth.
std::size_t estimate_document_size(std::size_t test_suites, std::uint64_t test_cases) noexcept {
  constexpr std::size_t kPerTestCase = 160;
  constexpr std::size_t kPerSuite = 256;
  constexpr std::size_t kFixed = 512;
  return kFixed + test_suites * kPerSuite + static_cast<std::size_t>(test_cases) * kPerTestCase;
}

DocumentWriter::DocumentWriter(OutputBuffer& sink)
    : xml(sink, kIndentation, EmptyElementStyle::Compact) {}

void serialize_time(StartTag& tag, const Duration& duration) {
  tag.push_formatted_attribute("time", kMaxTimeLength,
                               [&duration](char* out) { return write_time(out, duration); });
}

void serialize_timestamp(StartTag& tag, const Timestamp& timestamp) {
  tag.push_formatted_attribute("timestamp", kMaxTimestampLength,
                               [&timestamp](char* out) { return write_timestamp(out, timestamp); });
}

[[nodiscard]] Result serialize_status(std::string_view element_name,
                                      const std::optional<XmlString>& message,
                                      const std::optional<XmlString>& type,
                                      const std::optional<XmlString>& description,
                                      DocumentWriter& w) {
  w.tag.reset(element_name);
  push_optional_text(w.tag, "message", message);
  push_optional_text(w.tag, "type", type);
  if (!description) return w.xml.empty_element(w.tag);
  CORVANE_WRITE_TRY(w.xml.start_tag(w.tag));
  CORVANE_WRITE_TRY(w.xml.escaped_text(description->view()));
  return w.xml.end_tag(element_name);
}

[[nodiscard]] Result serialize_rerun(const TestRerun& rerun, RerunKind rerun_kind,
                                     DocumentWriter& w) {
  const std::string_view name = rerun_element_name(rerun_kind, rerun.kind);
  StartTag& tag = w.tag;
  tag.reset(name);
  if (rerun.timestamp) serialize_timestamp(tag, *rerun.timestamp);
  if (rerun.time) serialize_time(tag, *rerun.time);
  push_optional_text(tag, "message", rerun.message);
  push_optional_text(tag, "type", rerun.type);
  CORVANE_WRITE_TRY(w.xml.start_tag(tag));

  // Text turns the writer's automatic line break off, so the first child
  // after a description needs an explicit one to start its own line.
  bool after_text = false;
  if (rerun.description) {
    CORVANE_WRITE_TRY(w.xml.escaped_text(rerun.description->view()));
    after_text = true;
  }
  const std::pair<const std::optional<XmlString>*, std::string_view> children[] = {
      {&rerun.stack_trace, "stackTrace"},
      {&rerun.system_out, "system-out"},
      {&rerun.system_err, "system-err"},
  };
  for (const auto& [text, child_name] : children) {
    if (!*text) continue;
    if (after_text) {
      CORVANE_WRITE_TRY(w.xml.write_indent());
      after_text = false;
    }
    CORVANE_WRITE_TRY(serialize_output((*text)->view(), child_name, w));
  }
  return w.xml.end_tag(name);
}

[[nodiscard]] Result serialize_output(std::string_view text, std::string_view element_name,
                                      DocumentWriter& w) {
  w.tag.reset(element_name);
  CORVANE_WRITE_TRY(w.xml.start_tag(w.tag));
  CORVANE_WRITE_TRY(w.xml.escaped_text(text));
  return w.xml.end_tag(element_name);
}

[[nodiscard]] Result ReportWriter::begin(const Report& report) {
  DocumentWriter& w = w_;
  CORVANE_WRITE_TRY(w.xml.declaration(kDeclaration));

  StartTag& tag = w.tag;
  tag.reset("testsuites");
  tag.push_attribute("name", report.name.view());
  push_count(tag, "tests", report.tests);
  push_count(tag, "skipped", report.skipped);
  push_count(tag, "failures", report.failures);
  push_count(tag, "errors", report.errors);
  if (report.disabled) push_count(tag, "disabled", *report.disabled);
  if (report.uuid) {
    const Uuid& uuid = *report.uuid;
    tag.push_formatted_attribute("uuid", kUuidLength,
                                 [&uuid](char* out) { return write_uuid(out, uuid); });
  }
  if (report.timestamp) serialize_timestamp(tag, *report.timestamp);
  if (report.time) serialize_time(tag, *report.time);
  // The root is a start and an end tag even with no suites.
  return w.xml.start_tag(tag);
}

[[nodiscard]] Result ReportWriter::suite(const TestSuite& suite) {
  return serialize_test_suite(suite, w_);
}

[[nodiscard]] Result ReportWriter::finish() {
  CORVANE_WRITE_TRY(w_.xml.end_tag("testsuites"));
  CORVANE_WRITE_TRY(w_.xml.write_indent());
  return w_.xml.end_of_document();
}

[[nodiscard]] Result serialize_report(const Report& report, OutputBuffer& sink) {
  ReportWriter writer(sink);
  CORVANE_WRITE_TRY(writer.begin(report));
  for (const TestSuite& suite : report.test_suites) CORVANE_WRITE_TRY(writer.suite(suite));
  return writer.finish();
}

std::expected<std::string, SerializeError> to_string(const Report& report) {
  OutputBuffer buffer;
  // Sized from the cases actually held: the stored counts are whatever a
  // document said and may be arbitrarily large.
  std::size_t test_cases = 0;
  for (const TestSuite& suite : report.test_suites) test_cases += suite.test_cases.size();
  buffer.reserve(estimate_document_size(report.test_suites.size(), test_cases));
  CORVANE_WRITE_TRY(serialize_report(report, buffer));
  if (!is_valid_utf8(buffer.view())) return std::unexpected(SerializeError::encoding());
  return buffer.take();
}

}  // namespace corvane

#undef CORVANE_WRITE_TRY
