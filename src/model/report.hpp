// The report model: Report > TestSuite > TestCase records owned by value,
// with the running counts kept by add_test_suite / add_test_case.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "model/bulk_allocator.hpp"
#include "model/extra_map.hpp"
#include "model/optional_duration.hpp"
#include "model/optional_text.hpp"
#include "model/test_case_status.hpp"
#include "model/values.hpp"
#include "model/xml_string.hpp"

namespace corvane {

struct Property {
  XmlString name;
  XmlString value;

  bool operator==(const Property&) const = default;
};

struct TestCase {
  TestCase(std::string_view name, TestCaseStatus status)
      : name(name), status(std::move(status)) {}
  // From a name that is clean already.
  TestCase(XmlString name, TestCaseStatus status)
      : name(std::move(name)), status(std::move(status)) {}
  // A passed test case, its status made in place.
  explicit TestCase(XmlString name) : name(std::move(name)), status(TestCaseStatus::success()) {}

  XmlString name;
  TestCaseStatus status;
  OptionalText classname;
  std::optional<std::uint64_t> assertions;
  std::optional<Timestamp> timestamp;
  OptionalDuration time;
  OptionalText system_out;
  OptionalText system_err;
  ExtraMap extra;
  std::vector<Property> properties;

  bool operator==(const TestCase&) const = default;
};

// A suite's cases: of a large report, the bulk of its memory.
using TestCases = std::vector<TestCase, BulkAllocator<TestCase>>;

struct TestSuite {
  explicit TestSuite(std::string_view name) : name(name) {}
  explicit TestSuite(XmlString name) : name(std::move(name)) {}

  // Increments `tests` and the count matching the case's status, then appends.
  void add_test_case(TestCase test_case);
  // Only the counting of add_test_case, for a case put in place otherwise;
  // inline, as readers count every case.
  void count_test_case(const TestCaseStatus& status) noexcept {
    ++tests;
    if (const auto* n = std::get_if<NonSuccess>(&status.value())) {
      ++(n->kind == NonSuccessKind::Failure ? failures : errors);
    } else if (std::holds_alternative<Skipped>(status.value())) {
      ++skipped;
    }
  }

  XmlString name;
  std::uint64_t tests = 0;
  std::uint64_t failures = 0;
  std::uint64_t errors = 0;
  std::uint64_t skipped = 0;
  std::optional<std::uint64_t> disabled;
  std::optional<Timestamp> timestamp;
  OptionalDuration time;
  OptionalText system_out;
  OptionalText system_err;
  TestCases test_cases;
  std::vector<Property> properties;
  ExtraMap extra;

  bool operator==(const TestSuite&) const = default;
};

struct Report {
  explicit Report(std::string_view name) : name(name) {}

  // Adds the suite's counts to the report's, then appends the suite.
  void add_test_suite(TestSuite suite);

  XmlString name;
  std::optional<Uuid> uuid;
  std::optional<Timestamp> timestamp;
  OptionalDuration time;
  std::uint64_t tests = 0;
  std::uint64_t failures = 0;
  std::uint64_t errors = 0;
  std::uint64_t skipped = 0;
  std::optional<std::uint64_t> disabled;
  std::vector<TestSuite> test_suites;

  bool operator==(const Report&) const = default;
};

}  // namespace corvane
