// Cost of the attribute value parsers on the values a typical report holds:
// one call per attribute, so the figure to watch is time per call.
#include <benchmark/benchmark.h>

#include <string_view>

#include "xml_read/value_parsers.hpp"

namespace {

const corvane::ElementPath& case_path() {
  static const corvane::ElementPath path = {corvane::PathElement(corvane::PathStep::TestSuites),
                                            corvane::PathElement::test_suite(0),
                                            corvane::PathElement::test_case(0)};
  return path;
}

void BM_ParseUsize(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvane::parse_usize("1234", case_path(), "tests"));
  }
}
BENCHMARK(BM_ParseUsize);

void BM_ParseDuration(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvane::parse_duration("0.123", case_path(), "time"));
  }
}
BENCHMARK(BM_ParseDuration);

void BM_ParseTimestamp(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        corvane::parse_timestamp("2024-05-01T10:20:30.123+02:00", case_path(), "timestamp"));
  }
}
BENCHMARK(BM_ParseTimestamp);

void BM_ParseUuid(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        corvane::parse_uuid("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", case_path(), "uuid"));
  }
}
BENCHMARK(BM_ParseUuid);

void BM_ParseXmlString(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        corvane::parse_xml_string("tests.test_reader.ReaderTests", case_path(), "classname"));
  }
}
BENCHMARK(BM_ParseXmlString);

// The error path: the element path is copied and the message composed.
void BM_DurationErrorText(benchmark::State& state) {
  for (auto _ : state) {
    const auto result = corvane::parse_duration("1,5", case_path(), "time");
    benchmark::DoNotOptimize(result.error().text());
  }
}
BENCHMARK(BM_DurationErrorText);

}  // namespace
