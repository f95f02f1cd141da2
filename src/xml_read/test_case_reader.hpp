// Reading a test case and everything inside it (outcome elements, properties,
// captured output), and the attribute values shared with suites. Both reader
// modes use it: they differ only in what they do with what a strict document
// does not allow (bad values, character references in text, missing names,
// several outcome elements), so the walk itself exists once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/report.hpp"
#include "xml_read/read_result.hpp"
#include "xml_read/status_elements.hpp"
#include "xml_read/xml_reader.hpp"

namespace corvane {

enum class ReadMode : std::uint8_t {
  // Every value must parse; the outcome elements must combine.
  Strict,
  // Bad values are dropped, missing names read as empty, character
  // references in text are resolved, outcome elements are reduced.
  Tolerant,
};

class TestCaseReader {
 public:
  // `known_utf8`: the whole document is valid UTF-8, so no value needs its
  // own check (the tolerant mode passes true: cleaning repairs what is not).
  TestCaseReader(XmlReader& reader, ReadMode mode, bool known_utf8) noexcept
      : reader_(reader), mode_(mode), known_utf8_(known_utf8) {}

  bool tolerant() const noexcept { return mode_ == ReadMode::Tolerant; }

  // The next event, as the XML reader gives it; see CORVANE_NEXT_EVENT.
  [[nodiscard]] std::expected<Event, ReaderError> next_event() { return reader_.next(); }
  // The next event other than character data, for the elements whose text
  // means nothing; see CORVANE_NEXT_MARKUP.
  [[nodiscard]] std::expected<Event, ReaderError> next_markup_event() {
    return reader_.next_skipping_text();
  }
  // What a failed next_event() is reported as: XmlError at `path`, keeping
  // the reader's reason and place as the (unshown) detail.
  [[gnu::cold, gnu::noinline]] DeserializeError reader_error(const ReaderError& error,
                                                             const ElementPath& path) const;
  // Skips the element `start` opened, with everything inside it.
  [[nodiscard]] ReadResult<void> skip(const Event& start, const ElementPath& path);

  // Reads the `testcase` element that `tag` opened into `test_case` (already
  // in place in its suite); `path` is the suite's and comes back unchanged.
  // Gives whether the case has an outcome of its own: an outcome element,
  // or (tolerant mode) a status saying the runner did not run it.
  [[nodiscard]] ReadResult<bool> read_test_case(const Event& tag, bool is_empty, ElementPath& path,
                                                std::size_t index, TestCase& test_case);
  // Reads an outcome element of `kind` that `tag` opened; `path` is its
  // parent's and comes back unchanged.
  [[nodiscard]] ReadResult<StatusElement> read_status_element(const Event& tag,
                                                              StatusElementKind kind, bool is_empty,
                                                              ElementPath& path);
  // Reads a `properties` element after its start tag; `path` is its parent's.
  [[nodiscard]] ReadResult<std::vector<Property>> read_properties(ElementPath& path);
  // Reads a text-only child (`system-out`, `system-err`, `stackTrace`)
  // after its start tag, at `path` plus `step`.
  [[nodiscard]] ReadResult<XmlString> read_child_text(std::string_view name, ElementPath& path,
                                                      PathElement step);

  // Reads a `system-out` or `system-err` child (`name`) after its start tag
  // into the matching one of `system_out` and `system_err`.
  [[nodiscard]] ReadResult<void> read_output(std::string_view name, ElementPath& path,
                                             OptionalText& system_out,
                                             OptionalText& system_err);
  static bool is_output(std::string_view name) noexcept {
    return name == "system-out" || name == "system-err";
  }

  // Attribute values of `path`'s element, read by the mode's rules.
  [[nodiscard]] ReadResult<XmlString> read_string(std::string_view raw, const ElementPath& path,
                                                  std::string_view key) const;
  // read_string straight into `field` (an XmlString or an optional one).
  template <typename Field>
  [[nodiscard]] ReadResult<void> read_string_into(Field& field, std::string_view raw,
                                                  const ElementPath& path,
                                                  std::string_view key) const;
  [[nodiscard]] ReadResult<void> read_timestamp(std::optional<Timestamp>& field,
                                                std::string_view raw, const ElementPath& path,
                                                std::string_view key) const;
  [[nodiscard]] ReadResult<void> read_duration(OptionalDuration& field, std::string_view raw,
                                               const ElementPath& path, std::string_view key) const;
  [[nodiscard]] ReadResult<void> read_count(std::optional<std::uint64_t>& field,
                                            std::string_view raw, const ElementPath& path,
                                            std::string_view key) const;
  // An attribute of `tag` that is not known must, in strict mode, have a name
  // the writer could write back (an XML name); else an attribute error at
  // `path`. The tolerant mode keeps such keys, to be dropped before writing.
  [[nodiscard]] ReadResult<void> check_unknown_key(const Event& tag, std::string_view key,
                                                   const ElementPath& path) const;
  // One attribute that is not known, kept in `extra`.
  [[nodiscard]] ReadResult<void> read_extra(ExtraMap& extra, std::string_view key,
                                            std::string_view raw, const ElementPath& path) const;
  // check_unknown_key, then read_extra: what a test case or suite does with
  // an attribute it does not know.
  [[nodiscard]] ReadResult<void> read_unknown_attribute(const Event& tag, ExtraMap& extra,
                                                        std::string_view key, std::string_view raw,
                                                        const ElementPath& path);

 private:
  // What read_string_into does with a plain value (see
  // xml_bytes::is_plain_ascii_without_references); false, with `field` as
  // it was, for any other. Out of line, so that read_string_into stays
  // small where it is inlined.
  template <typename Field>
  bool store_if_plain(Field& field, std::string_view raw) const;
  // Keeps one attribute that is not known, read, in `extra`.
  void add_unknown_attribute(ExtraMap& extra, XmlString&& key, XmlString&& value) const;
  [[nodiscard]] ReadResult<Property> read_property(const Event& tag, const ElementPath& path);
  [[nodiscard]] ReadResult<XmlString> read_text_content(std::string_view name,
                                                        const ElementPath& path);
  // Appends one piece of character data (text, CDATA or a reference).
  [[nodiscard]] ReadResult<void> append_character_data(const Event& event, const ElementPath& path,
                                                       std::string& out);

  XmlReader& reader_;
  ReadMode mode_;
  bool known_utf8_;
  // Character data is gathered here and copied out once per element, so the
  // buffers reach their working size early and are reused from then on. A
  // status element's description and a text child inside it are gathered at
  // the same time, hence two.
  std::string description_buffer_;
  std::string text_buffer_;
  // Keys of unknown attributes met before, checked and read: producers add
  // the same few to every case, so each is checked and read once. A key's
  // outcome depends on its bytes alone, and only keys that passed are kept.
  struct KnownKey {
    std::string raw;
    XmlString key;
  };
  static constexpr std::size_t kKnownKeys = 4;
  std::array<KnownKey, kKnownKeys> known_keys_;
  std::size_t known_key_count_ = 0;
  // Where the texts read are stored. Carving memory changes nothing that
  // the reading depends on, so the const value readers use it too.
  mutable TextArena arena_;
};

}  // namespace corvane

// Binds `var` to the next event of the TestCaseReader `cases`, or returns its
// reader error at `path`. The event is used where the XML reader wrote it,
// not copied out: a copy made right after the reader's stores reloads them
// in wider pieces than they were written in, which stalls on every event.
#define CORVANE_NEXT_EVENT(var, cases, path) CORVANE_NEXT_EVENT_BY(next_event, var, cases, path)
// The same, passing over character data: for elements whose text is ignored.
#define CORVANE_NEXT_MARKUP(var, cases, path) \
  CORVANE_NEXT_EVENT_BY(next_markup_event, var, cases, path)
#define CORVANE_NEXT_EVENT_BY(next, var, cases, path)                         \
  auto var##_result = (cases).next();                                         \
  if (!var##_result) [[unlikely]]                                             \
    return std::unexpected((cases).reader_error(var##_result.error(), path)); \
  const Event& var = *var##_result
