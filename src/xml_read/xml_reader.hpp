// Pull parser over one in-memory UTF-8 XML document: each call gives the next
// event as a view into the input, with end-name checking and no recursion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

enum class EventKind : std::uint8_t {
  Start,                  // <name attributes>        bytes: the tag's content
  End,                    // </name>                  bytes: the name, trailing space removed
  Empty,                  // <name attributes/>       bytes: the content without the '/'
  Text,                   // character data           bytes: raw, untrimmed
  CData,                  // <![CDATA[...]]>          bytes: verbatim content
  Comment,                // <!--...-->               bytes: content
  Declaration,            // <?xml ...?>              bytes: between "<?" and "?>"
  ProcessingInstruction,  // <?target ...?>           bytes: between "<?" and "?>"
  DocType,                // <!DOCTYPE ...>           bytes: after the keyword's white space
  Reference,              // &name; &#n; &#xh;        bytes: between '&' and ';'
  Eof,                    // end of the buffer        bytes: empty
};

struct Event {
  EventKind kind = EventKind::Eof;
  std::string_view bytes;

  // Start/Empty: the leading run of the content up to the first white space;
  // End: the name; other kinds: empty.
  std::string_view name() const noexcept;
  // The payload as described for each kind.
  std::string_view content() const noexcept { return bytes; }
};

// The reader's own failure. Its text is never shown to users, so it carries
// only the input offset of the construct that was refused, for debugging.
struct ReaderError {
  std::size_t offset = 0;
};

class XmlReader {
 public:
  // The document must outlive the reader and every event it hands out.
  explicit XmlReader(std::string_view document) noexcept;

  // The next event. Eof is returned at the end of the buffer whether or not
  // elements are still open, and again on every later call. After an error
  // every later call returns the same error.
  [[nodiscard]] std::expected<Event, ReaderError> next();

  // Called right after a Start event named `name`: discards events up to and
  // including the matching end tag. End of input first is an error.
  [[nodiscard]] std::expected<void, ReaderError> skip_element(std::string_view name);

  // Number of elements currently open.
  std::size_t depth() const noexcept { return open_.size(); }

  // Reading a document a window at a time (see suite_stream.hpp).
  // The offset in the input of the next event.
  std::size_t offset() const noexcept { return pos_; }
  // Whether an event or an error came from the end of the input: Eof, text
  // that runs to the end, or a construct that the input ends inside of:
  // what more input could extend or finish.
  bool reached_end() const noexcept { return reached_end_; }
  // Closes all but the first `depth` open elements and keeps copies of
  // their names, so that the input may go away; then resume.
  void keep_open_names(std::size_t depth);
  // Goes on in `window`, which holds the document from this reader's
  // offset on; the errors and the end met since are forgotten.
  void resume(std::string_view window);

 private:
  [[nodiscard]] std::expected<Event, ReaderError> read_markup();
  [[nodiscard]] std::expected<Event, ReaderError> read_text();
  [[nodiscard]] std::expected<Event, ReaderError> read_reference();
  [[nodiscard]] std::expected<Event, ReaderError> read_tag();
  [[nodiscard]] std::expected<Event, ReaderError> read_end_tag();
  [[nodiscard]] std::expected<Event, ReaderError> read_question();
  [[nodiscard]] std::expected<Event, ReaderError> read_bang();
  [[nodiscard]] std::expected<Event, ReaderError> read_doctype();
  // Content up to `terminator` starting at `from`; the event spans from pos_.
  [[nodiscard]] std::expected<Event, ReaderError> read_delimited(EventKind kind, std::size_t from,
                                                                 std::string_view terminator);
  std::unexpected<ReaderError> fail();
  // A failure because the input ends inside the construct.
  std::unexpected<ReaderError> fail_at_end();

  std::string_view input_;
  std::size_t pos_ = 0;
  bool failed_ = false;
  ReaderError error_;
  std::vector<std::string_view> open_;
  bool reached_end_ = false;
  // Names of open elements that began before the current window.
  std::deque<std::string> kept_names_;
};

}  // namespace corvane
