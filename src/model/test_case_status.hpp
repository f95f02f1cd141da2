// The outcome of one test case (success, non-success or skipped) and the
// retried attempts (`TestRerun`) that a success or non-success may carry.
#pragma once

#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "model/kinds.hpp"
#include "model/optional_duration.hpp"
#include "model/optional_text.hpp"
#include "model/values.hpp"
#include "model/xml_string.hpp"

namespace corvane {

// One extra attempt of a test: a flaky run of a success, or a rerun of a
// failure or error.
struct TestRerun {
  NonSuccessKind kind = NonSuccessKind::Failure;
  std::optional<Timestamp> timestamp;
  OptionalDuration time;
  OptionalText message;
  OptionalText type;
  OptionalText stack_trace;
  OptionalText system_out;
  OptionalText system_err;
  OptionalText description;

  bool operator==(const TestRerun&) const = default;
};

struct Success {
  std::vector<TestRerun> flaky_runs;

  bool operator==(const Success&) const = default;
};

struct NonSuccess {
  NonSuccessKind kind = NonSuccessKind::Failure;
  // Beside `kind`, so that the two share one word.
  RerunKind rerun_kind = RerunKind::Rerun;
  OptionalText message;
  OptionalText type;
  OptionalText description;
  std::vector<TestRerun> reruns;

  bool operator==(const NonSuccess&) const = default;
};

struct Skipped {
  OptionalText message;
  OptionalText type;
  OptionalText description;

  bool operator==(const Skipped&) const = default;
};

// Operations that do not apply to the current variant are silent no-ops.
class TestCaseStatus {
 public:
  using Variant = std::variant<Success, NonSuccess, Skipped>;

  // Built in place: a reader makes one for every test case it reads.
  static TestCaseStatus success() { return TestCaseStatus(std::in_place_type<Success>); }
  static TestCaseStatus non_success(NonSuccessKind kind) {
    NonSuccess status;
    status.kind = kind;
    return TestCaseStatus(std::move(status));
  }
  static TestCaseStatus skipped() { return TestCaseStatus(Skipped{}); }

  explicit TestCaseStatus(Variant value) : value_(std::move(value)) {}

  void set_message(std::string_view text);
  void set_type(std::string_view text);
  void set_description(std::string_view text);
  // The same for text that is clean already.
  void set_message(XmlString text);
  void set_type(XmlString text);
  void set_description(XmlString text);
  void set_rerun_kind(RerunKind kind);
  void add_rerun(TestRerun rerun);

  const Variant& value() const noexcept { return value_; }
  Variant& value() noexcept { return value_; }

  bool operator==(const TestCaseStatus&) const = default;

 private:
  explicit TestCaseStatus(std::in_place_type_t<Success> success) : value_(success) {}

  Variant value_;
};

}  // namespace corvane
