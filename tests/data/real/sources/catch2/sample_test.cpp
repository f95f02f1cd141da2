// A small Catch2 (v2) program with every outcome it can report, used to
// produce catch2.xml of the real corpus (see ../../README.md).
#define CATCH_CONFIG_MAIN
#include <catch2/catch.hpp>

#include <iostream>
#include <stdexcept>

TEST_CASE("adds", "[math]") { CHECK(1 + 1 == 2); }

TEST_CASE("fails twice", "[math]") {
  CHECK(2 * 3 == 7);
  CHECK(std::string("a<b") == "a&b");
}

TEST_CASE("throws", "[math]") { throw std::runtime_error("unexpected exception"); }

TEST_CASE("sections", "[math]") {
  SECTION("first") { REQUIRE(1 == 1); }
  SECTION("second") { REQUIRE(1 == 2); }
}

TEST_CASE("prints", "[output]") {
  std::cout << "to stdout\n";
  std::cerr << "to stderr\n";
  WARN("a warning");
}

TEST_CASE("hidden", "[.]") { CHECK(false); }
