// The tolerant reader's document level: suites are tracked on an explicit
// stack (they may nest, to any depth, without using the call stack) and
// flattened in document order; test cases and everything inside them are
// read by the shared test case reader in its tolerant mode.
#include "xml_read/tolerant_deserializer.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/utf8_check.hpp"
#include "xml_read/attribute_walk.hpp"
#include "xml_read/read_result.hpp"
#include "xml_read/test_case_reader.hpp"
#include "xml_read/tolerant_outcome.hpp"
#include "xml_read/tolerant_values.hpp"
#include "xml_read/value_parsers.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

namespace {

template <typename T>
using Result = ReadResult<T>;

constexpr std::size_t kJoinedNameBudgetPerByte = 4;
constexpr std::size_t kJoinedNameBudgetBase = std::size_t{1} << 20;

constexpr std::string_view kTestSuites = "testsuites";
constexpr std::string_view kTestSuite = "testsuite";

// Failure, error and skipped elements may stand in a suite itself: the
// outcome of the whole suite, such as a script that crashed or a class whose
// set-up failed.
std::optional<StatusElementKind> suite_outcome_kind(std::string_view name) noexcept {
  auto kind = status_element_kind(name);
  if (kind && *kind <= StatusElementKind::Skipped) return kind;
  return std::nullopt;
}

// The name of the case that holds a suite's own outcome: it stands out
// among the tests' names and says whose outcome it is.
std::string_view suite_outcome_name(StatusElementKind kind) noexcept {
  switch (kind) {
    case StatusElementKind::Failure:
      return "(suite failure)";
    case StatusElementKind::Error:
      return "(suite error)";
    default:
      return "(suite skipped)";
  }
}

bool is_count(std::string_view key) noexcept {
  return key == "tests" || key == "failures" || key == "errors" || key == "skipped" ||
         key == "disabled";
}

// A suite being read. Each suite takes the next slot when its start tag is
// read, so that flattening keeps document order.
struct OpenSuite {
  OpenSuite(std::size_t slot, TestSuite suite) : slot(slot), suite(std::move(suite)) {}

  std::size_t slot;
  TestSuite suite;
  bool holds_suites = false;
  // The suite's own `tests` count, and the `testcase` elements read in it:
  // more elements than counted tests means some are attempts.
  std::optional<std::uint64_t> counted_tests;
  std::size_t test_case_elements = 0;
  // Per case, whether it had no outcome of its own.
  std::vector<bool> bare;
  // The first case made from an outcome element standing in the suite itself.
  std::optional<std::size_t> first_suite_outcome;
};

// The first case holding the suite's own outcome takes the suite's output
// when its tests have none of their own: then it is all the runner captured
// (a TAP script's whole output, and why it died), which belongs to that
// outcome. Only the first, so that a document with many such elements
// cannot multiply a large output.
void give_suite_output(OpenSuite& open) {
  TestSuite& suite = open.suite;
  if (!open.first_suite_outcome || (!suite.system_out && !suite.system_err)) return;
  for (const TestCase& test_case : suite.test_cases) {
    if (test_case.system_out || test_case.system_err) return;
  }
  TestCase& first = suite.test_cases[*open.first_suite_outcome];
  first.system_out = suite.system_out;
  first.system_err = suite.system_err;
}

}  // namespace

class TolerantDeserializer {
 public:
  // No UTF-8 check of the document: text cleaning repairs any invalid
  // sequence instead.
  explicit TolerantDeserializer(std::string_view text)
      : reader_(text),
        cases_(reader_, ReadMode::Tolerant, /*known_utf8=*/true),
        joined_name_budget_(kJoinedNameBudgetPerByte * text.size() + kJoinedNameBudgetBase),
        input_size_(text.size()) {}

  // With a sink, suites are handed to it as they become ready.
  Result<Report> run(SuiteSink* sink);

  // Reading a step at a time (see TolerantStepReader).
  Result<bool> step();
  std::optional<TestSuite> take_ready();
  void close_loose();
  const Report* header() const { return report_ ? &*report_ : nullptr; }
  XmlReader& reader() { return reader_; }
  TolerantStepReader::Mark mark() const {
    return {reader_.offset(), reader_.depth(), path_.size(), loose_.has_value()};
  }
  void rollback(const TolerantStepReader::Mark& mark);

 private:
  Result<bool> find_root();
  Result<Report> read_root_attributes(const Event& tag);
  Result<void> open_suite(const Event& tag);
  Result<void> read_suite_outcome(const Event& tag, StatusElementKind kind, bool is_empty);
  void close_suite();
  Result<void> read_test_case(const Event& tag, bool is_empty);
  Report finish();
  // A new slot, at the end.
  std::size_t add_slot() {
    slots_.emplace_back();
    closed_.push_back(false);
    return slot_base_ + slots_.size() - 1;
  }

  XmlReader reader_;
  TestCaseReader cases_;
  ElementPath path_{PathElement(PathStep::TestSuites)};
  std::optional<Report> report_;
  // Depth of the root element once open; the root ends at its own end tag,
  // not at an inner element of the same name.
  std::size_t root_depth_ = 0;
  bool root_found_ = false;
  bool root_is_suite_ = false;
  // Slots from slot_base_ on; each is closed once its suite is complete (a
  // closed empty slot is a suite that only grouped others). Read a step at
  // a time, slots before next_ready_ have been handed out.
  std::vector<std::optional<TestSuite>> slots_;
  std::vector<char> closed_;
  std::size_t slot_base_ = 0;
  std::size_t next_ready_ = 0;
  std::vector<OpenSuite> open_;
  // Test cases written directly under the root, gathered in one suite.
  std::optional<OpenSuite> loose_;
  // Bytes that joined suite names may still take. Each nested suite's name
  // repeats its parents', so deep nesting could otherwise turn a small
  // document into a huge report; real nesting is a few levels deep.
  std::size_t joined_name_budget_;
  std::size_t input_size_;
  // Whether a slot was closed since suites were last handed out.
  bool closed_since_handed_ = false;
};

Result<Report> TolerantDeserializer::run(SuiteSink* sink) {
  for (;;) {
    CORVANE_TRY(complete, step());
    if (complete) close_loose();
    // Only a closed suite can make one ready.
    if (sink != nullptr && closed_since_handed_) {
      closed_since_handed_ = false;
      while (auto suite = take_ready()) {
        if (!sink->take(std::move(*suite))) {
          return std::unexpected(structure_error(path_, "the read was stopped by its caller"));
        }
      }
    }
    if (complete) return finish();
  }
}

Result<bool> TolerantDeserializer::find_root() {
  // Anything before the root (declaration, comments, wrapper elements) is
  // passed over; the first `testsuites` or `testsuite` tag is the root.
  CORVANE_NEXT_MARKUP(event, cases_, path_);
  if (event.kind == EventKind::Eof) {
    return std::unexpected(structure_error({}, "missing <testsuites> or <testsuite> element"));
  }
  if (event.kind != EventKind::Start && event.kind != EventKind::Empty) return false;
  const std::string_view name = event.name();
  if (name == kTestSuites) {
    CORVANE_TRY(report, read_root_attributes(event));
    report_ = std::move(report);
    if (event.kind == EventKind::Empty) return true;
  } else if (name == kTestSuite) {
    root_is_suite_ = true;
    report_.emplace("");
    CORVANE_CHECK(open_suite(event));
    report_->name = open_.back().suite.name;
    if (event.kind == EventKind::Empty) {
      close_suite();
      return true;
    }
  } else {
    return false;
  }
  root_found_ = true;
  root_depth_ = reader_.depth();
  return false;
}

// One event, with what it opens that is read whole (a test case, an outcome
// element, properties, output); true once the document is complete.
Result<bool> TolerantDeserializer::step() {
  if (!root_found_) return find_root();
  CORVANE_NEXT_MARKUP(event, cases_, path_);
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
      } else if (auto kind = suite_outcome_kind(name); kind && !open_.empty()) {
        CORVANE_CHECK(read_suite_outcome(event, *kind, is_empty));
      } else if (is_empty || open_.empty()) {
        // The root has no properties or output of its own; other tags are
        // ignored one by one, so wrappers hide no suite or case.
      } else if (name == "properties") {
        CORVANE_TRY(properties, cases_.read_properties(path_));
        open_.back().suite.properties = std::move(properties);
      } else if (TestCaseReader::is_output(name)) {
        CORVANE_CHECK(cases_.read_output(name, path_, open_.back().suite.system_out,
                                         open_.back().suite.system_err));
      }
      return false;
    }
    case EventKind::End:
      if (event.name() == kTestSuite && !open_.empty()) {
        close_suite();
        return root_is_suite_ && open_.empty();
      }
      return !root_is_suite_ && event.name() == kTestSuites && reader_.depth() + 1 == root_depth_;
    case EventKind::Eof:
      if (!open_.empty()) {
        return std::unexpected(structure_error(path_, "unexpected EOF in <testsuite>"));
      }
      return std::unexpected(
          structure_error(path_, "unexpected EOF, <testsuites> not properly closed"));
    default:
      return false;
  }
}

std::optional<TestSuite> TolerantDeserializer::take_ready() {
  std::optional<TestSuite> ready;
  while (!ready && next_ready_ < slots_.size() && closed_[next_ready_]) {
    ready = std::move(slots_[next_ready_]);
    slots_[next_ready_++].reset();
  }
  if (next_ready_ == slots_.size()) {
    slot_base_ += slots_.size();
    slots_.clear();
    closed_.clear();
    next_ready_ = 0;
  }
  return ready;
}

void TolerantDeserializer::rollback(const TolerantStepReader::Mark& mark) {
  path_.erase(path_.begin() + static_cast<std::ptrdiff_t>(mark.path_size), path_.end());
  if (!mark.had_loose && loose_) {
    loose_.reset();
    slots_.pop_back();
    closed_.pop_back();
  }
}

Result<Report> TolerantDeserializer::read_root_attributes(const Event& tag) {
  Report report("");
  CORVANE_CHECK(for_each_attribute(
      reader_, tag, path_, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          CORVANE_TRY(name, cases_.read_string(value, path_, key));
          report.name = std::move(name);
        } else if (key == "uuid") {
          // The UUID parser wants UTF-8, which this mode never checked.
          if (!is_valid_utf8(value)) return {};
          if (auto uuid = parse_uuid_text(value)) report.uuid = *uuid;
        } else if (key == "timestamp") {
          return cases_.read_timestamp(report.timestamp, value, path_, key);
        } else if (key == "time") {
          return cases_.read_duration(report.time, value, path_, key);
        }
        // Counts are recomputed from the cases, whatever the root says.
        return {};
      }));
  return report;
}

Result<void> TolerantDeserializer::open_suite(const Event& tag) {
  const std::size_t slot = add_slot();
  path_.push_back(PathElement::test_suite(slot));
  OpenSuite open(slot, TestSuite(""));
  TestSuite& suite = open.suite;
  CORVANE_CHECK(for_each_attribute(
      reader_, tag, path_, [&](std::string_view key, std::string_view value) -> Result<void> {
        if (key == "name") {
          CORVANE_TRY(name, cases_.read_string(value, path_, key));
          suite.name = std::move(name);
          return {};
        }
        if (key == "timestamp") return cases_.read_timestamp(suite.timestamp, value, path_, key);
        if (key == "time") return cases_.read_duration(suite.time, value, path_, key);
        if (key == "tests") open.counted_tests = tolerant_count(value);
        if (is_count(key)) return {};
        return cases_.read_extra(suite.extra, key, value, path_);
      }));
  // The stated count is only a hint, as for the strict reader: it saves
  // moving test cases on regrowth, and a document cannot make us reserve
  // more than one case per 16 bytes of its own size.
  if (open.counted_tests) {
    suite.test_cases.reserve(
        static_cast<std::size_t>(std::min<std::uint64_t>(*open.counted_tests, input_size_ / 16)));
  }
  // The path names each level by its own name; the suite takes the joined one.
  path_.back() = PathElement::test_suite(slot, suite.name);
  if (!open_.empty()) {
    OpenSuite& parent = open_.back();
    parent.holds_suites = true;
    const std::size_t joined_size = parent.suite.name.size() + 1 + suite.name.size();
    if (joined_size > joined_name_budget_) {
      return std::unexpected(structure_error(path_, "nested <testsuite> names too long to join"));
    }
    joined_name_budget_ -= joined_size;
    std::string joined(parent.suite.name.view());
    joined.push_back('/');
    joined.append(suite.name.view());
    suite.name = XmlString(joined);
  }
  open_.push_back(std::move(open));
  return {};
}

void TolerantDeserializer::close_suite() {
  OpenSuite open = std::move(open_.back());
  open_.pop_back();
  path_.pop_back();
  TestSuite& suite = open.suite;
  give_suite_output(open);
  if (open.counted_tests && *open.counted_tests < open.test_case_elements) {
    fold_repeated_attempts(suite, open.bare, open.test_case_elements - *open.counted_tests);
  }
  // A suite that only groups other suites has nothing of its own to show
  // once they are flattened.
  const bool only_groups = open.holds_suites && suite.test_cases.empty() &&
                           suite.properties.empty() && !suite.system_out && !suite.system_err;
  if (!only_groups) slots_[open.slot - slot_base_] = std::move(open.suite);
  closed_[open.slot - slot_base_] = true;
  closed_since_handed_ = true;
}

Result<void> TolerantDeserializer::read_suite_outcome(const Event& tag, StatusElementKind kind,
                                                      bool is_empty) {
  OpenSuite& open = open_.back();
  CORVANE_TRY(element, cases_.read_status_element(tag, kind, is_empty, path_));
  std::vector<StatusElement> elements;
  elements.push_back(std::move(element));
  CORVANE_TRY(status, build_tolerant_status(std::move(elements), path_));
  TestCase test_case(suite_outcome_name(kind), std::move(status));
  test_case.classname = open.suite.name;
  if (!open.first_suite_outcome) open.first_suite_outcome = open.suite.test_cases.size();
  open.bare.push_back(false);
  open.suite.add_test_case(std::move(test_case));
  return {};
}

Result<void> TolerantDeserializer::read_test_case(const Event& tag, bool is_empty) {
  if (open_.empty() && !loose_) {
    const std::size_t slot = add_slot();
    loose_.emplace(slot, TestSuite(report_->name.view()));
  }
  OpenSuite& target = open_.empty() ? *loose_ : open_.back();
  // Read in place, as the strict reader does, rather than moved in. A read
  // that fails leaves no case behind: read a step at a time, running out of
  // input is undone and the case read again from its start.
  TestSuite& suite = target.suite;
  TestCase& test_case = suite.test_cases.emplace_back(XmlString());
  auto had_outcome =
      cases_.read_test_case(tag, is_empty, path_, target.test_case_elements, test_case);
  if (!had_outcome) {
    suite.test_cases.pop_back();
    return std::unexpected(std::move(had_outcome).error());
  }
  ++target.test_case_elements;
  target.bare.push_back(!*had_outcome);
  suite.count_test_case(test_case.status);
  return {};
}

void TolerantDeserializer::close_loose() {
  if (!loose_) return;
  slots_[loose_->slot - slot_base_] = std::move(loose_->suite);
  closed_[loose_->slot - slot_base_] = true;
  closed_since_handed_ = true;
  loose_.reset();
}

Report TolerantDeserializer::finish() {
  close_loose();
  Report report = std::move(*report_);
  for (std::size_t i = next_ready_; i < slots_.size(); ++i) {
    if (slots_[i]) report.add_test_suite(std::move(*slots_[i]));
  }
  return report;
}

std::expected<Report, DeserializeError> deserialize_tolerant(std::string_view text) {
  return TolerantDeserializer(text).run(nullptr);
}

std::expected<Report, DeserializeError> deserialize_tolerant(std::string_view text,
                                                             SuiteSink& sink) {
  return TolerantDeserializer(text).run(&sink);
}

TolerantStepReader::TolerantStepReader(std::string_view window)
    : impl_(std::make_unique<TolerantDeserializer>(window)) {}
TolerantStepReader::~TolerantStepReader() = default;
ReadResult<bool> TolerantStepReader::step() { return impl_->step(); }
std::optional<TestSuite> TolerantStepReader::take_ready() { return impl_->take_ready(); }
void TolerantStepReader::close_loose() { impl_->close_loose(); }
const Report* TolerantStepReader::header() const { return impl_->header(); }
XmlReader& TolerantStepReader::reader() { return impl_->reader(); }
TolerantStepReader::Mark TolerantStepReader::mark() const { return impl_->mark(); }
void TolerantStepReader::rollback(const Mark& mark) { impl_->rollback(mark); }

}  // namespace corvane
