// The tolerant reader beside the strict one on the same canonical document
// of 100,000 test cases, and the whole canonicalisation step of
// corvane._tolerant (tolerant read, then the serializer) that `load` adds
// before the strict read.
#include <benchmark/benchmark.h>

#include <expected>
#include <string>
#include <string_view>

#include "report_generator.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_read/tolerant_deserializer.hpp"
#include "xml_write/report_serializer.hpp"

namespace {

const std::string& document() {
  static const std::string text = *corvane::to_string(corvane::bench::generate_report());
  return text;
}

// The whole-document form of each reader; the tolerant one also has a form
// handing suites to a sink, so the function is named by its type.
using WholeRead = std::expected<corvane::Report, corvane::DeserializeError> (*)(std::string_view);

template <WholeRead Read>
void BM_Read(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto report = Read(text);
    if (!report) state.SkipWithError(report.error().text().c_str());
    benchmark::DoNotOptimize(report);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Read<corvane::deserialize_from_str>)
    ->Name("Strict100k")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read<corvane::deserialize_tolerant>)
    ->Name("Tolerant100k")
    ->Unit(benchmark::kMillisecond);

void BM_TolerantThenWrite100k(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto report = corvane::deserialize_tolerant(text);
    if (!report) state.SkipWithError(report.error().text().c_str());
    auto written = corvane::to_string(*report);
    benchmark::DoNotOptimize(written);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TolerantThenWrite100k)->Unit(benchmark::kMillisecond);

}  // namespace
