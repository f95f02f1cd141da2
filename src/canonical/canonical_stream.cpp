// Each suite the tolerant stream gives, and the report's own fields, go the
// way of the canonical document: unwritable extra keys dropped, written, and
// read back with the strict reader, in a document of their own.
#include "canonical/canonical_stream.hpp"

#include <optional>
#include <string>
#include <utility>

#include "canonical/canonical_document.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_write/report_serializer.hpp"

namespace corvane {
namespace {

// The report's own fields only: what the canonical root carries.
Report root_of(const Report& report) {
  Report root(report.name.view());
  root.uuid = report.uuid;
  root.timestamp = report.timestamp;
  root.time = report.time;
  return root;
}

class CanonicalStream final : public SuiteStream {
 public:
  CanonicalStream(ByteSource& source, std::size_t chunk)
      : tolerant_(tolerant_suite_stream(source, chunk)) {}

  StreamResult<const Report*> header() override {
    if (header_) return &*header_;
    auto header = tolerant_->header();
    if (!header) return std::unexpected(std::move(header).error());
    if (*header == nullptr) return nullptr;
    auto read = round_trip(root_of(**header), std::nullopt);
    if (!read) return std::unexpected(std::move(read).error());
    root_ = root_of(**header);
    header_ = std::move(*read);
    return &*header_;
  }

  StreamResult<std::optional<TestSuite>> next() override {
    if (auto header_read = header(); !header_read) {
      return std::unexpected(std::move(header_read).error());
    }
    auto suite = tolerant_->next();
    if (!suite) return std::unexpected(std::move(suite).error());
    if (!*suite) return std::nullopt;
    keep_writable_extra_keys(**suite);
    auto read = round_trip(*root_, std::move(**suite));
    if (!read) return std::unexpected(std::move(read).error());
    return std::move(read->test_suites.front());
  }

 private:
  // The document of `root` with `suite`, written and read back.
  static StreamResult<Report> round_trip(const Report& root, std::optional<TestSuite> suite) {
    Report report = root_of(root);
    if (suite) report.add_test_suite(std::move(*suite));
    auto document = to_string(report);
    if (!document) {
      return std::unexpected(StreamFailure{
          StreamFailure::Kind::Document, std::string(document.error().message()), {}});
    }
    auto read = deserialize_from_str(*document);
    if (!read) {
      return std::unexpected(StreamFailure{StreamFailure::Kind::Document, read.error().text(),
                                           std::string(read.error().reader_reason())});
    }
    return std::move(*read);
  }

  std::unique_ptr<SuiteStream> tolerant_;
  std::optional<Report> root_;
  std::optional<Report> header_;
};

}  // namespace

std::unique_ptr<SuiteStream> canonical_suite_stream(ByteSource& source, std::size_t chunk) {
  return std::make_unique<CanonicalStream>(source, chunk);
}

}  // namespace corvane
