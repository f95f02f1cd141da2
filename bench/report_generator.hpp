// A deterministic generator of realistic report models for benchmarks:
// suites of test cases with names, class names and times, about 10% failures
// carrying multi-line tracebacks, some captured output and some properties.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "model/report.hpp"

namespace corvane::bench {

struct ReportShape {
  std::size_t test_cases = 100'000;
  std::size_t cases_per_suite = 500;
  std::uint64_t seed = 42;
};

class ReportGenerator {
 public:
  explicit ReportGenerator(std::uint64_t seed) : state_(seed | 1) {}

  Report generate(const ReportShape& shape) {
    Report report("nightly regression run");
    report.timestamp = Timestamp{1'714'972'089, 123'000'000, 7200};
    Uuid uuid{};
    for (auto& byte : uuid) byte = static_cast<std::uint8_t>(next());
    report.uuid = uuid;
    std::uint64_t total_ms = 0;
    std::size_t made = 0;
    for (std::size_t s = 0; made < shape.test_cases; ++s) {
      TestSuite suite = make_suite(s);
      std::uint64_t suite_ms = 0;
      for (std::size_t c = 0; c < shape.cases_per_suite && made < shape.test_cases; ++c, ++made) {
        TestCase test_case = make_case(s, c);
        suite_ms += test_case.time->seconds * 1000 + test_case.time->nanoseconds / 1'000'000;
        suite.add_test_case(std::move(test_case));
      }
      suite.time =
          Duration{suite_ms / 1000, static_cast<std::uint32_t>(suite_ms % 1000) * 1'000'000};
      total_ms += suite_ms;
      report.add_test_suite(std::move(suite));
    }
    report.time =
        Duration{total_ms / 1000, static_cast<std::uint32_t>(total_ms % 1000) * 1'000'000};
    return report;
  }

 private:
  // xorshift64*: fast, deterministic, good enough for shaping test data.
  std::uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }

  static constexpr const char* kPackages[] = {"core",    "storage", "net",    "auth",
                                              "billing", "search",  "render", "scheduler"};
  static constexpr const char* kVerbs[] = {"handles",    "rejects",  "parses",    "retries",
                                           "serializes", "computes", "validates", "caches"};
  static constexpr const char* kObjects[] = {
      "empty_input",       "unicode_names", "large_payload",   "expired_token",
      "concurrent_writes", "missing_key",   "negative_offset", "nested_groups"};

  template <std::size_t N>
  const char* pick(const char* const (&words)[N]) {
    return words[below(N)];
  }

  TestSuite make_suite(std::size_t index) {
    TestSuite suite("tests." + std::string(pick(kPackages)) + ".suite_" + std::to_string(index));
    suite.timestamp = Timestamp{1'714'972'089 + static_cast<std::int64_t>(index) * 7,
                                static_cast<std::uint32_t>(below(1'000'000'000)), 7200};
    suite.properties.push_back({XmlString("python"), XmlString("3.12.3")});
    suite.properties.push_back({XmlString("platform"), XmlString("linux-x86_64")});
    suite.properties.push_back({XmlString("seed"), XmlString(std::to_string(next() % 100000))});
    suite.extra.insert(XmlString("hostname"), XmlString("ci-runner-" + std::to_string(index % 16)));
    if (below(4) == 0) suite.system_out = XmlString(captured_output(8));
    return suite;
  }

  TestCase make_case(std::size_t suite, std::size_t index) {
    const std::string name =
        "test_" + std::string(pick(kVerbs)) + "_" + pick(kObjects) + "_" + std::to_string(index);
    const std::uint64_t roll = below(100);
    TestCaseStatus status = TestCaseStatus::success();
    if (roll < 10) {
      status =
          TestCaseStatus::non_success(roll < 7 ? NonSuccessKind::Failure : NonSuccessKind::Error);
      status.set_message(roll < 7 ? "assert response.status == 200" : "ConnectionResetError");
      status.set_type(roll < 7 ? "AssertionError" : "builtins.ConnectionResetError");
      status.set_description(traceback(name));
      if (roll == 0) {
        TestRerun rerun;
        rerun.kind = NonSuccessKind::Failure;
        rerun.time = Duration{0, static_cast<std::uint32_t>(below(900'000'000))};
        rerun.message = XmlString("still failing after retry");
        rerun.stack_trace = XmlString(traceback(name));
        status.add_rerun(std::move(rerun));
      }
    } else if (roll < 13) {
      status = TestCaseStatus::skipped();
      status.set_message("requires network access");
    }
    TestCase test_case(name, std::move(status));
    test_case.classname =
        XmlString("tests." + std::string(pick(kPackages)) + ".test_module_" +
                  std::to_string(suite % 37) + ".TestGroup" + std::to_string(index % 11));
    // Mostly short times, now and then a slow one.
    test_case.time = below(20) == 0
                         ? Duration{below(30), static_cast<std::uint32_t>(below(1'000'000'000))}
                         : Duration{0, static_cast<std::uint32_t>(below(250'000'000))};
    if (roll >= 13 && roll < 18) test_case.system_out = XmlString(captured_output(3));
    if (roll == 99) test_case.properties.push_back({XmlString("flaky"), XmlString("true")});
    return test_case;
  }

  std::string traceback(const std::string& name) {
    std::string text = "Traceback (most recent call last):\n";
    const std::size_t frames = 3 + below(5);
    for (std::size_t i = 0; i < frames; ++i) {
      text += "  File \"/src/app/" + std::string(pick(kPackages)) + "/module_" +
              std::to_string(below(50)) + ".py\", line " + std::to_string(below(900)) + ", in " +
              (i == 0 ? name : std::string(pick(kVerbs))) + "\n";
      text += "    result = client.request(\"GET\", url, timeout=5) if ready else None\n";
    }
    text += "AssertionError: expected <Response [200]> but got <Response [503]> & retried\n";
    return text;
  }

  std::string captured_output(std::size_t lines) {
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
      text += "2024-05-06 07:08:" + std::to_string(10 + below(50)) + " INFO worker-" +
              std::to_string(below(8)) + " processed batch " + std::to_string(next() % 100000) +
              " in " + std::to_string(below(500)) + " ms\n";
    }
    return text;
  }

  std::uint64_t state_;
};

inline Report generate_report(const ReportShape& shape = {}) {
  return ReportGenerator(shape.seed).generate(shape);
}

}  // namespace corvane::bench
