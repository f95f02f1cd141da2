// Pull parser over one in-memory UTF-8 XML document: each call gives the next
// event as a view into the input, with end-name checking and no recursion.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xml_read/attributes.hpp"

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
  // Start/Empty: the length of the name when the tag scan measured it on
  // its way (so name() needs no second search), else 0, which no name has.
  std::uint32_t name_size = 0;
  std::string_view bytes;

  // Start/Empty: the leading run of the content up to the first white space;
  // End: the name; other kinds: empty.
  std::string_view name() const noexcept {
    // Only Start and Empty events are measured.
    if (name_size != 0) return {bytes.data(), name_size};
    return unmeasured_name();
  }
  // name() of an event whose name the tag scan did not measure.
  std::string_view unmeasured_name() const noexcept;
  // The payload as described for each kind.
  std::string_view content() const noexcept { return bytes; }
};

// What the reader refused. The names and texts that explain it are found
// again from the input when the error is described, so that failing, and
// every event on the way there, costs no more than storing two words.
enum class ReaderProblem : std::uint8_t {
  BareAmpersand,        // '&' not closed by ';' before the next '&' or '<'
  LoneLessThan,         // '<' as the last byte of the input
  UnclosedComment,      // no "-->"
  UnclosedCData,        // no "]]>"
  UnclosedInstruction,  // no "?>"
  UnclosedTag,          // no '>' (or an unclosed quote) after '<'
  BadElementName,       // '<' followed by no element name
  UnclosedEndTag,       // no '>' after "</"
  UnmatchedEndTag,      // an end tag with no element open
  MismatchedEndTag,     // an end tag that does not close the innermost element
  UnknownMarkup,        // "<!" not opening a comment, CDATA or DOCTYPE
  BadDocType,           // a DOCTYPE that is malformed or not closed
  EofInElement,         // the input ends inside an element being skipped
};

// The reader's own failure: the offset of the construct that was refused
// (for a cut-off element, the end of the input) and why.
struct ReaderError {
  std::size_t offset = 0;
  ReaderProblem problem = ReaderProblem::UnclosedTag;
};

// A place in a document, as an error names it: lines and columns count from
// 1, a line break is LF, CR LF or a lone CR, and columns count characters.
struct TextPlace {
  std::size_t offset = 0;  // in bytes, from the start of the document
  std::size_t line = 1;
  std::size_t column = 1;
  bool after_cr = false;  // the byte before is a CR, so an LF next ends no new line
};

// The place after `text`, which follows `place` in the document (a byte
// order mark at its start takes no column).
TextPlace place_after(TextPlace place, std::string_view text) noexcept;

class XmlReader {
 public:
  // The document must outlive the reader and every event it hands out.
  explicit XmlReader(std::string_view document) noexcept;

  // The next event. Eof is returned at the end of the buffer whether or not
  // elements are still open, and again on every later call. After an error
  // every later call returns the same error.
  [[nodiscard]] std::expected<Event, ReaderError> next();
  // next() for a caller that throws character data away: a Text event
  // (nearly always the white space between tags) is passed over in place
  // rather than handed out, which is all next() would have done with it.
  [[nodiscard]] std::expected<Event, ReaderError> next_skipping_text();

  // Appends the character data at the current position to `out`, with the
  // references to the five predefined entities resolved in the same scan:
  // what a run of Text and Reference events would give, without an event
  // per piece. Stops before markup, at the end of the input, and before any
  // other reference or a bare '&', which next() then hands out as before.
  // The bytes are appended as they are: for input known to be valid UTF-8.
  // True when what was appended is known to hold only printable ASCII, line
  // feeds and tabs (text that cleaning keeps as it is); false when it may
  // hold anything else.
  bool append_text(std::string& out);

  // Called right after a Start event named `name`: discards events up to and
  // including the matching end tag. End of input first is an error.
  [[nodiscard]] std::expected<void, ReaderError> skip_element(std::string_view name);

  // The attributes of `tag` as the tag scan found them, when `tag` is the
  // last tag this reader read and is of the plain form nearly every
  // document is made of: key="value" or key='value' pairs, at most
  // kScannedAttributes of them, no key repeated. They are what an
  // AttributeIterator over its content gives. For any other tag the span's
  // data() is null: walk the content, which also explains what is wrong.
  std::span<const Attribute> scanned_attributes(const Event& tag) const noexcept {
    if (scanned_tag_.empty() || tag.bytes.data() != scanned_tag_.data() ||
        tag.bytes.size() != scanned_tag_.size()) {
      return {};
    }
    return {scanned_.data(), scanned_count_};
  }
  static constexpr std::size_t kScannedAttributes = 16;
  // How much room append_text makes at a time.
  static constexpr std::size_t kAppendStep = 4096;

  // Number of elements currently open.
  std::size_t depth() const noexcept { return open_.size(); }

  // The reason for `error`, the last error this reader gave, with its place,
  // e.g. "line 12, column 5: end tag </testcase> does not match <failure>".
  // Lines and columns count from 1; columns count characters.
  std::string describe(const ReaderError& error) const;

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
  // The next window starts at `offset` of this input: the lines and columns
  // before it are counted now, while the input is still there, so that the
  // errors met later name their place in the whole document.
  void count_place_before(std::size_t offset) noexcept;

 private:
  [[nodiscard]] std::expected<Event, ReaderError> read_markup();
  [[nodiscard]] std::expected<Event, ReaderError> read_text();
  // Moves past the character data at pos_, as read_text does.
  std::string_view pass_text() noexcept;
  [[nodiscard]] std::expected<Event, ReaderError> read_reference();
  [[nodiscard]] std::expected<Event, ReaderError> read_tag();
  // A start or empty-element tag that read_plain_tag did not take.
  [[nodiscard]] std::expected<Event, ReaderError> read_tag_by_general_rule();
  // Reads a tag of the plain form into `event`, finding its attributes on
  // the way; false, with nothing changed but the scanned attributes, for
  // any other tag, which read_tag then reads by the general rule.
  [[nodiscard]] bool read_plain_tag(Event& event);
  [[nodiscard]] std::expected<Event, ReaderError> read_end_tag();
  [[nodiscard]] std::expected<Event, ReaderError> read_question();
  [[nodiscard]] std::expected<Event, ReaderError> read_bang();
  [[nodiscard]] std::expected<Event, ReaderError> read_doctype();
  // Content up to `terminator` starting at `from`; the event spans from pos_.
  [[nodiscard]] std::expected<Event, ReaderError> read_delimited(EventKind kind, std::size_t from,
                                                                 std::string_view terminator);
  std::unexpected<ReaderError> fail(ReaderProblem problem);
  // A failure because the input ends inside the construct.
  std::unexpected<ReaderError> fail_at_end(ReaderProblem problem);

  std::string_view input_;
  // The offset of the input's last '>', which bounds the scans of plain tags.
  std::size_t last_gt_ = 0;
  std::size_t pos_ = 0;
  bool failed_ = false;
  ReaderError error_;
  std::vector<std::string_view> open_;
  // The content of the last tag read, when read_plain_tag read it, and its
  // attributes.
  std::string_view scanned_tag_;
  std::size_t scanned_count_ = 0;
  std::array<Attribute, kScannedAttributes> scanned_;
  bool reached_end_ = false;
  // Names of open elements that began before the current window.
  std::deque<std::string> kept_names_;
  // Where the current window starts in the document.
  TextPlace start_;
};

}  // namespace corvane
