#include "suite_objects.hpp"

#include <utility>

#include "suite.hpp"

namespace corvane {
namespace {

// Suites and test cases whose objects are made under one hold of the GIL: a
// suite of this size or more is made alone, while it is still in cache, and
// small suites share the cost of taking the GIL.
constexpr std::size_t kBatchWeight = 256;

}  // namespace

bool SuiteObjects::take(TestSuite&& suite) {
  pending_weight_ += 1 + suite.test_cases.size();
  pending_.push_back(std::move(suite));
  if (pending_weight_ < kBatchWeight) return true;
  py::GilReleased::Reacquired gil(*released_);
  return make_pending();
}

void SuiteObjects::restart() {
  pending_.clear();
  pending_weight_ = 0;
  py::GilReleased::Reacquired gil(*released_);
  objects_.clear();
}

py::Result<ChildList> SuiteObjects::finish() && {
  if (!make_pending()) return py::raised();
  return std::move(objects_);
}

bool SuiteObjects::make_pending() {
  pending_weight_ = 0;
  for (TestSuite& suite : pending_) {
    auto made = test_suite_from_model(std::move(suite));
    if (!made) return false;
    objects_.push_back(std::move(*made));
  }
  pending_.clear();
  return true;
}

}  // namespace corvane
