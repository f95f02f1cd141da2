// The report serializer: decides which elements and attributes appear, in
// which order and form; the XML writer handles bytes, escaping and layout.
#include "xml_write/report_serializer.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <variant>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml_write/text_forms.hpp"
#include "model/utf8_check.hpp"

namespace corvane {

namespace {

constexpr Indentation kIndentation{' ', 4};

// The length of the leading run of ASCII bytes, found 128 bytes a step: a
// document is nearly always ASCII, so the general UTF-8 check is left with
// little or nothing. Whole steps start at a 16-byte boundary, where each
// aligned load folds into the or that combines it.
std::size_t ascii_prefix_length(std::string_view bytes) noexcept {
  std::size_t length = 0;
#if defined(__SSE2__)
  constexpr std::size_t kStep = 128;
  const auto address = reinterpret_cast<std::uintptr_t>(bytes.data());
  const std::size_t head = (16 - address % 16) % 16;
  for (; length < head && length < bytes.size(); ++length) {
    if (static_cast<unsigned char>(bytes[length]) >= 0x80) return length;
  }
  const auto load = [&bytes](std::size_t at) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
  };
  for (; bytes.size() - length >= kStep; length += kStep) {
    __m128i any = load(length);
    for (std::size_t at = 16; at < kStep; at += 16) any = _mm_or_si128(any, load(length + at));
    if (_mm_movemask_epi8(any) != 0) break;
  }
#endif
  return length;
}
constexpr Declaration kDeclaration{"1.0", "UTF-8", std::nullopt};

void push_count(TagAttributes tag, std::string_view name, std::uint64_t count) {
  tag.push_formatted_attribute(name, kMaxCountLength,
                               [count](char* out) { return write_count(out, count); });
}

void push_optional_text(TagAttributes tag, std::string_view name,
                        const OptionalText& text) {
  if (text) tag.push_attribute(name, text->view());
}

// Inlined: most elements have no extra attributes, and then this is one test.
[[gnu::always_inline]] inline void push_extra(TagAttributes tag,
                                              std::span<const ExtraMap::Entry> extra) {
  for (const auto& [key, value] : extra) tag.push_attribute(key.view(), value.view());
}

void serialize_properties(std::span<const Property> properties, DocumentWriter& w) {
  if (properties.empty()) return;
  w.xml.open_tag("properties");
  w.xml.close_start_tag();
  for (const Property& property : properties) {
    TagAttributes tag = w.xml.open_tag("property");
    tag.push_attribute("name", property.name.view());
    tag.push_attribute("value", property.value.view());
    w.xml.close_empty_element();
  }
  w.xml.end_tag("properties");
}

void serialize_outputs(const OptionalText& system_out,
                       const OptionalText& system_err, DocumentWriter& w) {
  if (system_out) serialize_output(system_out->view(), "system-out", w);
  if (system_err) serialize_output(system_err->view(), "system-err", w);
}

std::string_view rerun_element_name(RerunKind rerun_kind, NonSuccessKind kind) {
  const bool failure = kind == NonSuccessKind::Failure;
  if (rerun_kind == RerunKind::Flaky) return failure ? "flakyFailure" : "flakyError";
  return failure ? "rerunFailure" : "rerunError";
}

void serialize_reruns(const std::vector<TestRerun>& reruns, RerunKind rerun_kind,
                      DocumentWriter& w) {
  for (const TestRerun& rerun : reruns) serialize_rerun(rerun, rerun_kind, w);
}

void serialize_status_content(const TestCaseStatus::Variant& status, DocumentWriter& w) {
  if (const auto* success = std::get_if<Success>(&status)) {
    serialize_reruns(success->flaky_runs, RerunKind::Flaky, w);
    return;
  }
  const std::string_view name = status_element_name(*status_element(status));
  if (const auto* non_success = std::get_if<NonSuccess>(&status)) {
    serialize_status(name, non_success->message, non_success->type, non_success->description, w);
    serialize_reruns(non_success->reruns, non_success->rerun_kind, w);
    return;
  }
  const auto& skipped = std::get<Skipped>(status);
  serialize_status(name, skipped.message, skipped.type, skipped.description, w);
}

// Inlined into both callers, so that the model path's fields_of costs no
// copies of its references.
[[gnu::always_inline]] inline void serialize_test_case(const TestCaseFields& test_case,
                                                       DocumentWriter& w) {
  TagAttributes tag = w.xml.open_tag("testcase");
  tag.push_attribute("name", test_case.name);
  push_optional_text(tag, "classname", test_case.classname);
  if (test_case.assertions) push_count(tag, "assertions", *test_case.assertions);
  if (test_case.timestamp) serialize_timestamp(tag, *test_case.timestamp);
  if (test_case.time) serialize_time(tag, *test_case.time);
  push_extra(tag, test_case.extra);

  const StatusTexts* texts = test_case.status_texts;
  const auto& status = test_case.status.value();
  const auto* success = texts == nullptr ? std::get_if<Success>(&status) : nullptr;
  if (success != nullptr && success->flaky_runs.empty() && test_case.properties.empty() &&
      !test_case.system_out && !test_case.system_err) {
    w.xml.close_empty_element();
    return;
  }
  w.xml.close_start_tag();
  serialize_properties(test_case.properties, w);
  if (texts != nullptr) {
    serialize_status(status_element_name(texts->element), *texts->message,
                     *texts->type, *texts->description, w);
  } else {
    serialize_status_content(status, w);
  }
  serialize_outputs(test_case.system_out, test_case.system_err, w);
  w.xml.end_tag("testcase");
}

}  // namespace

std::string_view status_element_name(StatusTexts::Element element) noexcept {
  constexpr std::array<std::string_view, 3> kNames = {"failure", "error", "skipped"};
  return kNames[static_cast<std::size_t>(element)];
}

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

void serialize_time(TagAttributes tag, const Duration& duration) {
  tag.push_formatted_attribute("time", kMaxTimeLength,
                               [&duration](char* out) { return write_time(out, duration); });
}

void serialize_timestamp(TagAttributes tag, const Timestamp& timestamp) {
  tag.push_formatted_attribute("timestamp", kMaxTimestampLength,
                               [&timestamp](char* out) { return write_timestamp(out, timestamp); });
}

void serialize_status(std::string_view element_name, const OptionalText& message,
                      const OptionalText& type,
                      const OptionalText& description, DocumentWriter& w) {
  TagAttributes tag = w.xml.open_tag(element_name);
  push_optional_text(tag, "message", message);
  push_optional_text(tag, "type", type);
  if (!description) {
    w.xml.close_empty_element();
    return;
  }
  w.xml.close_start_tag();
  w.xml.escaped_text(description->view());
  w.xml.end_tag(element_name);
}

void serialize_rerun(const TestRerun& rerun, RerunKind rerun_kind, DocumentWriter& w) {
  const std::string_view name = rerun_element_name(rerun_kind, rerun.kind);
  TagAttributes tag = w.xml.open_tag(name);
  if (rerun.timestamp) serialize_timestamp(tag, *rerun.timestamp);
  if (rerun.time) serialize_time(tag, *rerun.time);
  push_optional_text(tag, "message", rerun.message);
  push_optional_text(tag, "type", rerun.type);
  w.xml.close_start_tag();

  // Text turns the writer's automatic line break off, so the first child
  // after a description needs an explicit one to start its own line.
  bool after_text = false;
  if (rerun.description) {
    w.xml.escaped_text(rerun.description->view());
    after_text = true;
  }
  const std::pair<const OptionalText*, std::string_view> children[] = {
      {&rerun.stack_trace, "stackTrace"},
      {&rerun.system_out, "system-out"},
      {&rerun.system_err, "system-err"},
  };
  for (const auto& [text, child_name] : children) {
    if (!*text) continue;
    if (after_text) {
      w.xml.write_indent();
      after_text = false;
    }
    serialize_output((*text)->view(), child_name, w);
  }
  w.xml.end_tag(name);
}

void serialize_output(std::string_view text, std::string_view element_name, DocumentWriter& w) {
  w.xml.open_tag(element_name);
  w.xml.close_start_tag();
  w.xml.escaped_text(text);
  w.xml.end_tag(element_name);
}

void ReportWriter::begin(const Report& report) {
  DocumentWriter& w = w_;
  w.xml.declaration(kDeclaration);

  TagAttributes tag = w.xml.open_tag("testsuites");
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
  w.xml.close_start_tag();
}

TestCaseFields fields_of(const TestCase& test_case) noexcept {
  return {
      .name = test_case.name.view(),
      .status = test_case.status,
      .classname = test_case.classname,
      .assertions = test_case.assertions,
      .timestamp = test_case.timestamp,
      .time = test_case.time,
      .system_out = test_case.system_out,
      .system_err = test_case.system_err,
      .extra = test_case.extra.entries(),
      .properties = test_case.properties,
  };
}

void ReportWriter::begin_suite(const TestSuite& suite, bool has_test_cases) {
  DocumentWriter& w = w_;
  TagAttributes tag = w.xml.open_tag("testsuite");
  tag.push_attribute("name", suite.name.view());
  push_count(tag, "tests", suite.tests);
  push_count(tag, "skipped", suite.skipped);
  // errors before failures here, the reverse of the root element.
  push_count(tag, "errors", suite.errors);
  push_count(tag, "failures", suite.failures);
  if (suite.disabled) push_count(tag, "disabled", *suite.disabled);
  if (suite.timestamp) serialize_timestamp(tag, *suite.timestamp);
  if (suite.time) serialize_time(tag, *suite.time);
  push_extra(tag, suite.extra.entries());

  suite_open_ = !suite.properties.empty() || has_test_cases || suite.system_out || suite.system_err;
  if (!suite_open_) {
    w.xml.close_empty_element();
    return;
  }
  w.xml.close_start_tag();
  serialize_properties(suite.properties, w);
}

void ReportWriter::test_case(const TestCaseFields& test_case) {
  serialize_test_case(test_case, w_);
}

void ReportWriter::end_suite(const TestSuite& suite) {
  if (!suite_open_) return;
  serialize_outputs(suite.system_out, suite.system_err, w_);
  w_.xml.end_tag("testsuite");
}

void ReportWriter::suite(const TestSuite& suite) {
  begin_suite(suite, !suite.test_cases.empty());
  for (const TestCase& test_case : suite.test_cases) serialize_test_case(fields_of(test_case), w_);
  end_suite(suite);
}

void ReportWriter::finish() {
  w_.xml.end_tag("testsuites");
  w_.xml.write_indent();
  w_.xml.end_of_document();
}

void serialize_report(const Report& report, OutputBuffer& sink) {
  ReportWriter writer(sink);
  writer.begin(report);
  for (const TestSuite& suite : report.test_suites) writer.suite(suite);
  writer.finish();
}

std::expected<std::string, SerializeError> to_string(const Report& report) {
  OutputBuffer buffer;
  // Sized from the cases actually held: the stored counts are whatever a
  // document said and may be arbitrarily large.
  std::size_t test_cases = 0;
  for (const TestSuite& suite : report.test_suites) test_cases += suite.test_cases.size();
  const std::size_t estimate = estimate_document_size(report.test_suites.size(), test_cases);
  // A large buffer gets pages of its own, which cost nothing until written:
  // it is given twice the guess, since a short guess costs a copy of all
  // written so far and the page faults of the buffer then left behind.
  constexpr std::size_t kOwnPagesBytes = std::size_t{1} << 20;
  buffer.reserve(estimate >= kOwnPagesBytes ? 2 * estimate : estimate);
  serialize_report(report, buffer);
  const std::string_view document = buffer.view();
  if (!is_valid_utf8(document.substr(ascii_prefix_length(document)))) {
    return std::unexpected(SerializeError::encoding());
  }
  return buffer.take();
}

}  // namespace corvane
