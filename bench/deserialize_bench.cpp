// Deserializer throughput: the serializer's output for a realistic report of
// 100,000 test cases, read back into a model.
#include <benchmark/benchmark.h>

#include <string>
#include <utility>

#include "report_generator.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_write/report_serializer.hpp"

namespace {

const std::string& document() {
  static const std::string text = *corvane::to_string(corvane::bench::generate_report());
  return text;
}

void BM_Deserialize100k(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto report = corvane::deserialize_from_str(text);
    if (!report) state.SkipWithError(report.error().text().c_str());
    benchmark::DoNotOptimize(report);
    // Dropped untimed, as the Python rows drop their results: freeing the
    // model is not reading it.
    state.PauseTiming();
    { auto dropped = std::move(report); }
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Deserialize100k)->Unit(benchmark::kMillisecond);

}  // namespace
