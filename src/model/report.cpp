#include "model/report.hpp"

#include <variant>

namespace corvane {

void TestSuite::add_test_case(TestCase test_case) {
  count_test_case(test_case.status);
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
