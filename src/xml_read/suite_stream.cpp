// The window a stream reads, and the two readers driven over it one step at
// a time. A step (one event, or one element read whole) that runs into the
// end of the window while the source has more is undone and run again over
// a window holding more of the document, which starts where the step did.
#include "xml_read/suite_stream.hpp"

#include <algorithm>
#include <utility>

#include "model/utf8_check.hpp"
#include "xml_read/strict_deserializer.hpp"
#include "xml_read/tolerant_deserializer.hpp"

namespace corvane {
namespace {

// The length of the prefix of `text` that does not end inside a multi-byte
// UTF-8 sequence.
std::size_t whole_characters(std::string_view text) {
  std::size_t lead = text.size();
  for (std::size_t back = 0; back < 4 && lead > 0; ++back) {
    const auto byte = static_cast<unsigned char>(text[--lead]);
    if ((byte & 0xC0) != 0x80) {
      const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return lead + length <= text.size() ? text.size() : lead;
    }
  }
  return text.size();
}

// A larger chunk asked for is taken as this one.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

class Window {
 public:
  Window(ByteSource& source, std::size_t chunk, bool check_utf8)
      : source_(source),
        chunk_(std::clamp<std::size_t>(chunk, 1, kMaxChunk)),
        check_utf8_(check_utf8) {}

  std::string_view view() const noexcept { return buffer_; }
  bool exhausted() const noexcept { return exhausted_; }

  // Drops the first `consumed` bytes, then reads until the window holds
  // twice what it kept (and at least a chunk), or the source ends.
  [[nodiscard]] StreamResult<void> advance(std::size_t consumed) {
    buffer_.erase(0, consumed);
    checked_ -= std::min(checked_, consumed);
    std::size_t filled = buffer_.size();
    buffer_.resize(std::max(chunk_, 2 * filled));
    while (filled < buffer_.size()) {
      auto read = source_.read(buffer_.data() + filled, buffer_.size() - filled);
      if (!read) {
        buffer_.resize(filled);
        return std::unexpected(StreamFailure{StreamFailure::Kind::Source, {}, {}});
      }
      if (*read == 0) {
        exhausted_ = true;
        break;
      }
      filled += *read;
    }
    buffer_.resize(filled);
    if (check_utf8_) {
      const std::size_t end = exhausted_ ? filled : whole_characters(buffer_);
      if (!is_valid_utf8(std::string_view(buffer_).substr(checked_, end - checked_))) {
        return std::unexpected(StreamFailure{StreamFailure::Kind::InvalidUtf8, {}, {}});
      }
      checked_ = end;
    }
    return {};
  }

 private:
  ByteSource& source_;
  std::size_t chunk_;
  bool check_utf8_;
  std::string buffer_;
  std::size_t checked_ = 0;
  bool exhausted_ = false;
};

StreamFailure document_failure(const DeserializeError& error) {
  return {StreamFailure::Kind::Document, error.text(), std::string(error.reader_reason())};
}

// Runs `step` (which gives a ReadResult) until it gets through without
// running into the end of a window that the source can still extend;
// `undo` restores what a step cut short had changed.
template <typename Step, typename Undo>
auto run_step(Window& window, XmlReader& reader, Step step, Undo undo)
    -> StreamResult<typename decltype(step())::value_type> {
  for (;;) {
    const std::size_t offset = reader.offset();
    const std::size_t depth = reader.depth();
    auto result = step();
    if (!reader.reached_end() || window.exhausted()) {
      if (!result) return std::unexpected(document_failure(result.error()));
      return std::move(*result);
    }
    undo();
    reader.keep_open_names(depth);
    reader.count_place_before(offset);
    if (auto advanced = window.advance(offset); !advanced) {
      return std::unexpected(std::move(advanced).error());
    }
    reader.resume(window.view());
  }
}

class StrictStream final : public SuiteStream {
 public:
  StrictStream(ByteSource& source, std::size_t chunk) : window_(source, chunk, true) {}

  StreamResult<const Report*> header() override {
    while (!header_ && !done_) {
      auto suite = next_read();
      if (!suite) return std::unexpected(std::move(suite).error());
      if (*suite) pending_ = std::move(*suite);
    }
    return header_ ? &*header_ : nullptr;
  }

  StreamResult<std::optional<TestSuite>> next() override {
    if (pending_) return std::exchange(pending_, std::nullopt);
    return next_read();
  }

 private:
  StreamResult<std::optional<TestSuite>> next_read() {
    if (!reader_) {
      if (auto advanced = window_.advance(0); !advanced) {
        return std::unexpected(std::move(advanced).error());
      }
      reader_.emplace(window_.view(), /*known_utf8=*/true);
    }
    while (!done_) {
      const std::size_t path_size = path_.size();
      auto suite = run_step(
          window_, reader_->reader(), [&] { return step(); },
          [&] {
            path_.erase(path_.begin() + static_cast<std::ptrdiff_t>(path_size), path_.end());
            // Set by an end of input that turned out to be a window's.
            done_ = false;
          });
      if (!suite) return std::unexpected(std::move(suite).error());
      if (*suite) {
        ++yielded_;
        return std::move(*suite);
      }
    }
    return std::nullopt;
  }

  // What the whole-document read does with one top-level event.
  ReadResult<std::optional<TestSuite>> step() {
    CORVANE_NEXT_MARKUP(event, reader_->cases(), path_);
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty: {
        const bool is_empty = event.kind == EventKind::Empty;
        const std::string_view name = event.name();
        if (name == "testsuites") {
          // The whole read keeps only the suites of a later root; those
          // handed out already cannot be taken back.
          if (yielded_ > 0) {
            return std::unexpected(
                structure_error(path_, "a second <testsuites> element after suites were read"));
          }
          CORVANE_TRY(parsed, reader_->parse_testsuites_element(event, path_));
          header_ = std::move(parsed);
          suites_read_ = 0;
          complete_ = is_empty;
        } else if (name == "testsuite" && header_) {
          CORVANE_TRY(suite, reader_->deserialize_test_suite(event, is_empty, path_, suites_read_));
          ++suites_read_;
          return std::move(suite);
        }
        return std::nullopt;
      }
      case EventKind::End:
        if (event.name() == "testsuites") {
          if (!header_) return std::unexpected(structure_error({}, "missing <testsuites> element"));
          done_ = true;
        }
        return std::nullopt;
      case EventKind::Eof:
        if (!header_) return std::unexpected(structure_error({}, "missing <testsuites> element"));
        if (!complete_) {
          return std::unexpected(
              structure_error(path_, "unexpected EOF, <testsuites> not properly closed"));
        }
        done_ = true;
        return std::nullopt;
      default:
        return std::nullopt;
    }
  }

  Window window_;
  std::optional<StrictDeserializer> reader_;
  ElementPath path_{PathElement(PathStep::TestSuites)};
  std::optional<Report> header_;
  std::optional<TestSuite> pending_;
  std::size_t suites_read_ = 0;
  std::size_t yielded_ = 0;
  bool complete_ = false;
  bool done_ = false;
};

class TolerantStream final : public SuiteStream {
 public:
  TolerantStream(ByteSource& source, std::size_t chunk) : window_(source, chunk, false) {}

  StreamResult<const Report*> header() override {
    if (auto started = start(); !started) return std::unexpected(std::move(started).error());
    while (reader_->header() == nullptr && !complete_) {
      if (auto stepped = step(); !stepped) return std::unexpected(std::move(stepped).error());
    }
    return reader_->header();
  }

  StreamResult<std::optional<TestSuite>> next() override {
    if (auto started = start(); !started) return std::unexpected(std::move(started).error());
    for (;;) {
      if (auto suite = reader_->take_ready()) return suite;
      if (complete_) return std::nullopt;
      if (auto stepped = step(); !stepped) return std::unexpected(std::move(stepped).error());
    }
  }

 private:
  StreamResult<void> start() {
    if (reader_) return {};
    if (auto advanced = window_.advance(0); !advanced) {
      return std::unexpected(std::move(advanced).error());
    }
    reader_.emplace(window_.view());
    return {};
  }

  StreamResult<void> step() {
    const TolerantStepReader::Mark mark = reader_->mark();
    auto complete = run_step(
        window_, reader_->reader(), [&] { return reader_->step(); },
        [&] { reader_->rollback(mark); });
    if (!complete) return std::unexpected(std::move(complete).error());
    if (*complete) {
      complete_ = true;
      reader_->close_loose();
    }
    return {};
  }

  Window window_;
  std::optional<TolerantStepReader> reader_;
  bool complete_ = false;
};

}  // namespace

std::unique_ptr<SuiteStream> strict_suite_stream(ByteSource& source, std::size_t chunk) {
  return std::make_unique<StrictStream>(source, chunk);
}

std::unique_ptr<SuiteStream> tolerant_suite_stream(ByteSource& source, std::size_t chunk) {
  return std::make_unique<TolerantStream>(source, chunk);
}

}  // namespace corvane
