// The fuzz targets' byte source for suite streams: the input handed over a
// few bytes at a time, with a window chunk taken from the input itself, so
// that reading window by window is checked at every cut.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

#include "xml_read/suite_stream.hpp"

class StringSource final : public corvane::ByteSource {
 public:
  explicit StringSource(std::string_view text) : text_(text) {}

  std::optional<std::size_t> read(char* into, std::size_t size) override {
    const std::size_t taken = std::min({size, text_.size() - at_, std::size_t{5}});
    std::memcpy(into, text_.data() + at_, taken);
    at_ += taken;
    return taken;
  }

  // A chunk from 1 to 16 bytes, chosen by the input.
  std::size_t chunk() const {
    return text_.empty() ? 1 : 1 + static_cast<unsigned char>(text_.back()) % 16;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// The stream's report: its own fields and every suite, or the error text
// with the XML reader's reason and place ("text | note").
inline std::optional<corvane::Report> read_stream(corvane::SuiteStream& stream,
                                                  std::string& error) {
  auto header = stream.header();
  if (!header) {
    error = header.error().text + " | " + header.error().note;
    return std::nullopt;
  }
  std::optional<corvane::Report> report;
  if (*header != nullptr) report = **header;
  for (;;) {
    auto suite = stream.next();
    if (!suite) {
      error = suite.error().text + " | " + suite.error().note;
      return std::nullopt;
    }
    if (!*suite) break;
    if (!report) std::abort();  // a suite before the root
    report->test_suites.push_back(std::move(**suite));
  }
  if (!report) std::abort();  // a complete document without a root
  return report;
}
