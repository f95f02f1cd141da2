// Throughput of writing a realistic 100,000-case report as JUnit XML,
// in bytes of document produced per second.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "report_generator.hpp"
#include "xml_write/report_serializer.hpp"

namespace corvane {
namespace {

const Report& model_report() {
  static const Report report = bench::generate_report();
  return report;
}

// The whole public path: fresh buffer, document, UTF-8 check, string out.
void BM_to_string(benchmark::State& state) {
  const Report& report = model_report();
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto document = to_string(report);
    if (!document) std::abort();
    bytes = document->size();
    benchmark::DoNotOptimize(document->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["document_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_to_string)->Unit(benchmark::kMillisecond);

// The serializer alone, into a buffer reused across iterations (no page
// faults, no growth, no validation).
void BM_serialize_report_reused_buffer(benchmark::State& state) {
  const Report& report = model_report();
  OutputBuffer buffer;
  for (auto _ : state) {
    buffer.clear();
    serialize_report(report, buffer);
    benchmark::DoNotOptimize(buffer.view().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}
BENCHMARK(BM_serialize_report_reused_buffer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
