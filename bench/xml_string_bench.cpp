// Throughput of XmlString construction over 1 MB texts: plain test output
// with no escape sequence, and coloured output dense with SGR sequences.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "model/xml_string.hpp"

namespace {

constexpr std::size_t kSize = 1 << 20;

// Repeats `pieces` in turn until the text holds at least kSize bytes.
std::string repeat(std::initializer_list<std::string_view> pieces) {
  std::string text;
  text.reserve(kSize + 256);
  while (text.size() < kSize) {
    for (std::string_view piece : pieces) text.append(piece);
  }
  return text;
}

// Log lines as a test runner captures them, mostly ASCII with some accented
// letters, symbols and an emoji.
const std::string& plain_text() {
  static const std::string text = repeat({
      "test_parse_header (tests.test_reader.ReaderTests) ... ok\n",
      "    assert result == expected, f\"unexpected value: {result!r}\"\n",
      "Ünïcödé naïve café — résumé → done ✓ 日本語のテキスト 🚀\n",
      "  File \"/home/ci/project/src/module/submodule.py\", line 1234, in function\n",
  });
  return text;
}

// Output of a colouring test runner: a sequence every few bytes.
const std::string& coloured_text() {
  static const std::string text = repeat({
      "\x1b[1m\x1b[32mPASSED\x1b[0m tests/test_a.py::test_one \x1b[32m[ 10%]\x1b[0m\n",
      "\x1b[1m\x1b[31mFAILED\x1b[0m tests/test_b.py::test_two - \x1b[31mAssertionError\x1b[0m\n",
      "\x1b[33mwarning\x1b[39m: \x1b[2mdeprecated call\x1b[22m "
      "\x1b]8;;file:///x\x1b\\link\x1b]8;;\x1b\\\n",
      "\x1b[38;5;208m\xe2\x96\x88\x1b[48;2;10;20;30m \x1b[0m\x1b[K\r\x1b[2K\x1b[1G progress\n",
  });
  return text;
}

void run(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    corvane::XmlString cleaned(text);
    benchmark::DoNotOptimize(cleaned.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void BM_XmlStringPlainText(benchmark::State& state) { run(state, plain_text()); }
void BM_XmlStringColouredText(benchmark::State& state) { run(state, coloured_text()); }

// Pure ASCII, the common case of names and short messages grown large.
void BM_XmlStringAscii(benchmark::State& state) {
  static const std::string text = repeat({"abcdefghijklmnopqrstuvwxyz 0123456789 ABCDEF.\n"});
  run(state, text);
}

}  // namespace

BENCHMARK(BM_XmlStringPlainText);
BENCHMARK(BM_XmlStringColouredText);
BENCHMARK(BM_XmlStringAscii);
