// Throughput of the XML event reader over a large JUnit-shaped document:
// events alone, events with every attribute iterated and unescaped, and
// skipping whole suites.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "xml_read/attributes.hpp"
#include "xml_read/escape.hpp"
#include "xml_read/xml_reader.hpp"

namespace {

// About 1.2 MB: suites of test cases with attributes, entity references in
// values and text, failures with stack traces and captured output in CDATA.
const std::string& report_document() {
  static const std::string document = [] {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"all\">\n";
    for (int suite = 0; suite < 100; ++suite) {
      text += "  <testsuite name=\"suite_" + std::to_string(suite) +
              "\" tests=\"100\" failures=\"10\" time=\"12.345\" "
              "timestamp=\"2024-06-11T10:20:30.123+02:00\">\n";
      for (int test = 0; test < 100; ++test) {
        text += "    <testcase name=\"test_&quot;" + std::to_string(test) +
                "&quot;\" classname=\"pkg.module.Class\" time=\"0.012\" file=\"src/a.py\"";
        if (test % 10 == 0) {
          text +=
              ">\n      <failure message=\"expected 1 &lt; 2\" type=\"AssertionError\">"
              "Traceback (most recent call last):\n  File &quot;src/a.py&quot;, line 12\n"
              "AssertionError: x &amp; y</failure>\n"
              "      <system-out><![CDATA[captured <output> & more\n]]></system-out>\n"
              "    </testcase>\n";
        } else {
          text += "/>\n";
        }
      }
      text += "  </testsuite>\n";
    }
    text += "</testsuites>\n";
    return text;
  }();
  return document;
}

void BM_Events(benchmark::State& state) {
  const std::string& document = report_document();
  for (auto _ : state) {
    corvane::XmlReader reader(document);
    std::size_t events = 0;
    for (;;) {
      auto event = reader.next();
      if (!event || event->kind == corvane::EventKind::Eof) break;
      ++events;
    }
    benchmark::DoNotOptimize(events);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_Events);

void BM_EventsWithAttributes(benchmark::State& state) {
  const std::string& document = report_document();
  std::string scratch;
  for (auto _ : state) {
    corvane::XmlReader reader(document);
    std::size_t bytes = 0;
    for (;;) {
      auto event = reader.next();
      if (!event || event->kind == corvane::EventKind::Eof) break;
      if (event->kind != corvane::EventKind::Start && event->kind != corvane::EventKind::Empty) {
        continue;
      }
      corvane::AttributeIterator it(event->content());
      while (auto attribute = it.next()) {
        if (!attribute->has_value()) break;
        auto value = corvane::unescape((*attribute)->value, scratch);
        if (value) bytes += value->size();
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_EventsWithAttributes);

void BM_SkipSuites(benchmark::State& state) {
  const std::string& document = report_document();
  for (auto _ : state) {
    corvane::XmlReader reader(document);
    for (;;) {
      auto event = reader.next();
      if (!event || event->kind == corvane::EventKind::Eof) break;
      if (event->kind == corvane::EventKind::Start && event->name() == "testsuite" &&
          !reader.skip_element("testsuite")) {
        break;
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_SkipSuites);

}  // namespace
