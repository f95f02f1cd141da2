#include "model/report.hpp"

#include <variant>

namespace corvane {

void TestSuite::add_test_case(TestCase test_case) {
  ++tests;
  const auto& status = test_case.status.value();
  if (const auto* n = std::get_if<NonSuccess>(&status)) {
    ++(n->kind == NonSuccessKind::Failure ? failures : errors);
  } else if (std::holds_alternative<Skipped>(status)) {
    ++skipped;
  }
  test_cases.push_back(std::move(test_case));
}

void Report::add_test_suite(TestSuite suite) {
  tests += suite.tests;
  failures += suite.failures;
  errors += suite.errors;
  skipped += suite.skipped;
  if (suite.disabled) disabled = disabled.value_or(0) + *suite.disabled;
  test_suites.push_back(std::move(suite));
}

}  // namespace corvane
