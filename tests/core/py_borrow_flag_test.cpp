// The borrow counter behind the RuntimeErrors of conflicting access: which
// acquisitions are refused while others are held, and that releasing a guard
// (or moving it) restores the flag exactly.
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "py/borrow_flag.hpp"

namespace {

using py::BorrowFlag;
using py::ExclusiveGuard;
using py::SharedGuard;

enum class Held { kNothing, kOneShared, kTwoShared, kExclusive };

struct Case {
  Held held;
  bool shared_allowed;
  bool exclusive_allowed;
};

class BorrowFlagTest : public testing::TestWithParam<Case> {};

TEST_P(BorrowFlagTest, AcquireWhileHeld) {
  const Case& c = GetParam();
  BorrowFlag flag;
  std::vector<SharedGuard> shared;
  std::optional<ExclusiveGuard> exclusive;
  switch (c.held) {
    case Held::kNothing:
      break;
    case Held::kTwoShared:
      shared.push_back(*SharedGuard::try_acquire(flag));
      [[fallthrough]];
    case Held::kOneShared:
      shared.push_back(*SharedGuard::try_acquire(flag));
      break;
    case Held::kExclusive:
      exclusive.emplace(*ExclusiveGuard::try_acquire(flag));
      break;
  }
  EXPECT_EQ(SharedGuard::try_acquire(flag).has_value(), c.shared_allowed);
  EXPECT_EQ(ExclusiveGuard::try_acquire(flag).has_value(), c.exclusive_allowed);

  // Whatever was tried above, dropping the held guards frees the flag.
  shared.clear();
  exclusive.reset();
  EXPECT_TRUE(flag.is_free());
  EXPECT_TRUE(ExclusiveGuard::try_acquire(flag).has_value());
}

INSTANTIATE_TEST_SUITE_P(Table, BorrowFlagTest,
                         testing::Values(Case{Held::kNothing, true, true},
                                         Case{Held::kOneShared, true, false},
                                         Case{Held::kTwoShared, true, false},
                                         Case{Held::kExclusive, false, false}));

TEST(BorrowFlag, MovedGuardReleasesOnce) {
  BorrowFlag flag;
  {
    auto first = ExclusiveGuard::try_acquire(flag);
    ASSERT_TRUE(first.has_value());
    ExclusiveGuard moved = std::move(*first);
    first.reset();  // the moved-from guard must not release the flag
    EXPECT_TRUE(flag.is_exclusive());
  }
  EXPECT_TRUE(flag.is_free());
  {
    auto a = SharedGuard::try_acquire(flag);
    auto b = SharedGuard::try_acquire(flag);
    ASSERT_TRUE(a && b);
    a.reset();
    // One reader still holds it: a change is still refused.
    EXPECT_FALSE(ExclusiveGuard::try_acquire(flag).has_value());
  }
  EXPECT_TRUE(flag.is_free());
}

}  // namespace
