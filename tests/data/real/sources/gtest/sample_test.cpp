// A small GoogleTest program with every outcome, used to produce gtest.xml
// of the real corpus (see ../../README.md).
#include <gtest/gtest.h>

#include <iostream>

TEST(Arithmetic, Adds) { EXPECT_EQ(1 + 1, 2); }

TEST(Arithmetic, FailsTwice) {
  EXPECT_EQ(2 * 3, 7) << "first check";
  EXPECT_TRUE(false) << "second check with <markup> & \"quotes\"";
}

TEST(Arithmetic, SkipsAfterFailure) {
  ADD_FAILURE() << "failed before skipping";
  GTEST_SKIP() << "skipped at run time";
}

TEST(Arithmetic, Skips) { GTEST_SKIP() << "not on this machine"; }

TEST(Arithmetic, DISABLED_Disabled) {}

class Param : public testing::TestWithParam<int> {};
TEST_P(Param, IsSmall) { EXPECT_LT(GetParam(), 2); }
INSTANTIATE_TEST_SUITE_P(Values, Param, testing::Values(1, 2));

TEST(Output, Prints) {
  std::cout << "to stdout\n";
  RecordProperty("build", "42");
}
