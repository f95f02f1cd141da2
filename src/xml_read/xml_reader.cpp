// The XML event reader: one forward scan over the input buffer, bulk byte
// searches between markup, and a vector of open element names instead of
// recursion so that nesting depth costs memory, never stack.
#include "xml_read/xml_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "model/key_equal.hpp"
#include "xml_read/xml_bytes.hpp"

namespace corvane {
namespace {

using xml_bytes::find_flag;
using xml_bytes::kDtdStop;
using xml_bytes::kNameStart;
using xml_bytes::kWhite;

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kCommentOpen = "<!--";
constexpr std::string_view kCDataOpen = "<![CDATA[";
constexpr std::string_view kDocTypeOpen = "<!DOCTYPE";

constexpr std::size_t kNotFound = std::string_view::npos;

// The element name of a start or empty-element tag's content: its leading
// run up to the first white space.
std::string_view tag_name(std::string_view content) noexcept {
  return content.substr(0, xml_bytes::find_white(content, 0));
}

// The length, ';' included, of the reference to a predefined entity that
// `rest` starts with (after its '&'), or 0 for anything else: matched as
// whole words, which settles both the name and its closing ';' at once.
std::size_t predefined_entity_length(std::string_view rest) noexcept {
  if (rest.size() >= 3 && rest[2] == ';' && rest[1] == 't' && (rest[0] == 'l' || rest[0] == 'g')) {
    return 3;
  }
  if (rest.starts_with("amp;")) return 4;
  if (rest.starts_with("quot;") || rest.starts_with("apos;")) return 5;
  return 0;
}

// The character of the predefined entity whose name starts with `first`
// and `second` ("amp" and "apos" differ in the second letter).
char predefined_entity_character(char first, char second) noexcept {
  switch (first) {
    case 'l':
      return '<';
    case 'g':
      return '>';
    case 'q':
      return '"';
    default:
      return second == 'm' ? '&' : '\'';
  }
}

// The four bytes at `p` as a word, and the word of four characters.
std::uint32_t word_at(const char* p) noexcept {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
constexpr std::uint32_t word_of(char a, char b, char c, char d) noexcept {
  return std::bit_cast<std::uint32_t>(std::array<char, 4>{a, b, c, d});
}

// predefined_entity_length and predefined_entity_character at once. While
// five bytes can be read, they are matched as words: a load and a compare
// or two instead of a byte at a time.
std::size_t predefined_entity(std::string_view rest, char& character) noexcept {
  if (rest.size() >= 5) {
    const std::uint32_t word = word_at(rest.data());
    const std::uint32_t first_three = word & word_of('\xFF', '\xFF', '\xFF', 0);
    if (first_three == word_of('l', 't', ';', 0)) {
      character = '<';
      return 3;
    }
    if (first_three == word_of('g', 't', ';', 0)) {
      character = '>';
      return 3;
    }
    if (word == word_of('a', 'm', 'p', ';')) {
      character = '&';
      return 4;
    }
    if (rest[4] != ';') return 0;
    if (word == word_of('q', 'u', 'o', 't')) {
      character = '"';
      return 5;
    }
    if (word == word_of('a', 'p', 'o', 's')) {
      character = '\'';
      return 5;
    }
    return 0;
  }
  const std::size_t length = predefined_entity_length(rest);
  if (length != 0) character = predefined_entity_character(rest[0], rest[1]);
  return length;
}

// The offset of the last '>' of `input`, or 0 when there is none (a tag
// there could not end before it anyway).
std::size_t last_gt(std::string_view input) noexcept {
  const std::size_t at = input.rfind('>');
  return at == kNotFound ? 0 : at;
}

}  // namespace

std::string_view Event::unmeasured_name() const noexcept {
  switch (kind) {
    case EventKind::Start:
    case EventKind::Empty:
      return tag_name(bytes);
    case EventKind::End:
      return bytes;
    default:
      return {};
  }
}

XmlReader::XmlReader(std::string_view document) noexcept
    : input_(document), last_gt_(last_gt(document)) {
  if (input_.starts_with(kBom)) pos_ = kBom.size();
}

std::unexpected<ReaderError> XmlReader::fail(ReaderProblem problem) {
  failed_ = true;
  error_ = ReaderError{pos_, problem};
  return std::unexpected(error_);
}

std::unexpected<ReaderError> XmlReader::fail_at_end(ReaderProblem problem) {
  reached_end_ = true;
  return fail(problem);
}

void XmlReader::keep_open_names(std::size_t depth) {
  open_.resize(depth);
  std::deque<std::string> kept;
  for (std::string_view& name : open_) name = kept.emplace_back(name);
  // Moving a deque keeps its elements where they are.
  kept_names_ = std::move(kept);
}

void XmlReader::count_place_before(std::size_t offset) noexcept {
  start_ = place_after(start_, input_.substr(0, offset));
}

void XmlReader::resume(std::string_view window) {
  input_ = window;
  last_gt_ = last_gt(window);
  pos_ = 0;
  scanned_tag_ = {};
  failed_ = false;
  reached_end_ = false;
}

std::expected<Event, ReaderError> XmlReader::next() {
  if (failed_) return std::unexpected(error_);
  if (pos_ >= input_.size()) {
    reached_end_ = true;
    return Event{.kind = EventKind::Eof, .bytes = {}};
  }
  switch (input_[pos_]) {
    case '<':
      return read_markup();
    case '&':
      return read_reference();
    default:
      return read_text();
  }
}

inline std::string_view XmlReader::pass_text() noexcept {
  // Text ends at the first '<', or sooner at a '&'.
  const std::size_t end = xml_bytes::find_any<'<', '&'>(input_, pos_);
  // More input could make the text longer.
  if (end == input_.size()) reached_end_ = true;
  const std::string_view text = input_.substr(pos_, end - pos_);
  pos_ = end;
  return text;
}

std::expected<Event, ReaderError> XmlReader::next_skipping_text() {
  if (failed_) return std::unexpected(error_);
  if (pos_ < input_.size() && input_[pos_] != '<' && input_[pos_] != '&') pass_text();
  // What next() does with markup, nearly always what comes.
  if (pos_ < input_.size() && input_[pos_] == '<') return read_markup();
  return next();
}

std::expected<Event, ReaderError> XmlReader::read_text() {
  return Event{.kind = EventKind::Text, .bytes = pass_text()};
}

bool XmlReader::append_text(std::string& out) {
  if (failed_ || pos_ == input_.size() || input_[pos_] == '<') return true;
  // The five entities stand for printable characters: only the copied
  // bytes can make the text other than plain.
  xml_bytes::PlainTextWatch watch;
  const char* const input_end = input_.data() + input_.size();
  const char* from = input_.data() + pos_;
  // The text's end is found by the scan that copies it, into room for the
  // next kAppendStep bytes of the input at a time: resolving references
  // only shortens what is copied, and copy_until needs 15 bytes of slack.
  // A reference is matched against the input whole, as none of the five
  // holds a '<', even where it reaches past the step.
  for (bool done = false; !done;) {
    const std::size_t step = std::min<std::size_t>(kAppendStep, input_end - from);
    const char* const step_end = from + step;
    const std::size_t kept = out.size();
    out.resize_and_overwrite(kept + step + 15, [&](char* buffer, std::size_t) {
      char* to = buffer + kept;
      while (from < step_end) {
        const std::size_t copied =
            xml_bytes::copy_until<'&', '<'>(from, step_end, input_end, to, watch);
        to += copied;
        from += copied;
        if (from == step_end) break;
        char character;
        const std::size_t length =
            *from == '&'
                ? predefined_entity(std::string_view(from + 1, input_end - from - 1), character)
                : 0;
        if (length == 0) {
          // A '<', or a reference that next() hands out.
          done = true;
          break;
        }
        *to++ = character;
        from += 1 + length;
      }
      return static_cast<std::size_t>(to - buffer);
    });
    if (from == input_end) done = true;
  }
  pos_ = static_cast<std::size_t>(from - input_.data());
  // More input could make the text longer.
  if (pos_ == input_.size()) reached_end_ = true;
  return watch.all_plain();
}

std::expected<Event, ReaderError> XmlReader::read_reference() {
  // pos_ is at '&'. The reference must close with ';' before any other '&'
  // or '<', which would mean a bare ampersand in character data. References
  // are a few bytes long, so one byte loop looking for all three beats a
  // bulk search for ';' followed by a second look at the payload.
  const std::size_t start = pos_ + 1;
  for (std::size_t i = start; i < input_.size(); ++i) {
    const char c = input_[i];
    if (c == ';') {
      pos_ = i + 1;
      return Event{.kind = EventKind::Reference, .bytes = input_.substr(start, i - start)};
    }
    if (c == '&' || c == '<') return fail(ReaderProblem::BareAmpersand);
  }
  return fail_at_end(ReaderProblem::BareAmpersand);
}

// Inline into next() and next_skipping_text(), as is read_tag: most events
// are tags, and each call would copy the event out once more.
[[gnu::always_inline]] inline std::expected<Event, ReaderError> XmlReader::read_markup() {
  if (pos_ + 1 >= input_.size()) return fail_at_end(ReaderProblem::LoneLessThan);
  switch (input_[pos_ + 1]) {
    case '/':
      return read_end_tag();
    case '?':
      return read_question();
    case '!':
      return read_bang();
    default:
      return read_tag();
  }
}

std::expected<Event, ReaderError> XmlReader::read_delimited(EventKind kind, std::size_t from,
                                                            std::string_view terminator) {
  const std::size_t end = input_.find(terminator, from);
  if (end == kNotFound) {
    return fail_at_end(kind == EventKind::Comment ? ReaderProblem::UnclosedComment
                       : kind == EventKind::CData ? ReaderProblem::UnclosedCData
                                                  : ReaderProblem::UnclosedInstruction);
  }
  pos_ = end + terminator.size();
  return Event{.kind = kind, .bytes = input_.substr(from, end - from)};
}

// The plain form: '<', a name, then attributes, each white space (none is
// needed after a value), a key, '=' and a quoted value, white space around
// '=' allowed; then '>' or "/>". Names and keys hold no white space, '>',
// '/', quote or '=' (nor, to keep their scan cheap, any other byte that
// xml_bytes::ends_plain_name takes: such a name leaves an empty key or a
// missing '=' behind it, so the tag goes to the general rule). Read so, a
// tag ends where the general rule below ends it (outside the values there
// is no quote or '>' before its end, and a value is closed by the same
// search), its content ends with '/' exactly when it is an empty-element
// tag, and each key and value is what the attribute walk finds: so one
// scan does the work of both. Inline, like read_tag, its one caller: its
// frame cost every tag as much as a short key's scan.
[[gnu::always_inline]] inline bool XmlReader::read_plain_tag(Event& event) {
  // Every scan below stops at a '>' (it is no white space, name byte, '='
  // or quote), so while it starts before the input's last '>' none needs a
  // bound of its own; only a value may end past it.
  if (pos_ + 1 >= last_gt_) return false;
  const char* const begin = input_.data();
  const char* p = begin + pos_ + 1;
  if (!xml_bytes::has(*p, kNameStart)) return false;
  const char* const end = begin + input_.size();
  p = xml_bytes::skip_plain_name(p + 1, end);
  const char* const name_end = p;
  std::size_t count = 0;
  // One bit per (first byte, length) class of the keys met, as the
  // attribute walk keeps them: a key whose bit is clear repeats none.
  std::uint64_t seen_classes = 0;
  for (;;) {
    while (xml_bytes::has(*p, kWhite)) ++p;
    if (*p == '>' || *p == '/') break;
    const char* const key_start = p;
    p = xml_bytes::skip_plain_name(p, end);
    // An empty key: a byte after the name that is none of the above.
    if (p == key_start || count == kScannedAttributes) return false;
    const std::string_view key(key_start, static_cast<std::size_t>(p - key_start));
    const std::uint64_t key_class =
        std::uint64_t{1} << ((static_cast<unsigned char>(key.front()) ^ (key.size() << 3)) & 63);
    if ((seen_classes & key_class) != 0) {
      for (std::size_t i = 0; i < count; ++i) {
        if (keys_equal(scanned_[i].key, key)) return false;
      }
    }
    seen_classes |= key_class;
    std::size_t value_start;
    std::size_t value_end;
    // Nearly every value follows its key as ="...": that takes two bytes
    // compared (the '=' is no '>', so the byte after it can be read).
    if (p[0] == '=' && p[1] == '"') {
      ++p;
      value_start = static_cast<std::size_t>(p + 1 - begin);
      value_end = xml_bytes::find_any<'"'>(input_, value_start);
    } else {
      while (xml_bytes::has(*p, kWhite)) ++p;
      if (*p != '=') return false;
      while (xml_bytes::has(*++p, kWhite)) {
      }
      if (*p != '"' && *p != '\'') return false;
      value_start = static_cast<std::size_t>(p + 1 - begin);
      value_end = xml_bytes::find_closing_quote(input_, value_start, *p);
    }
    if (value_end >= last_gt_) return false;
    scanned_[count++] =
        Attribute{key, std::string_view(begin + value_start, value_end - value_start)};
    p = begin + value_end + 1;
  }
  const bool empty = *p == '/';
  if (empty && p[1] != '>') return false;
  // A '/' lies before the last '>', so the byte after it can be read.
  std::string_view content(begin + pos_ + 1, static_cast<std::size_t>(p - begin) - pos_ - 1);
  // The name ends at white space or with the content, as tag_name finds it.
  const auto name_size = static_cast<std::size_t>(name_end - begin) - pos_ - 1;
  const auto measured = static_cast<std::uint32_t>(name_size <= UINT32_MAX ? name_size : 0);
  if (empty) {
    event = Event{.kind = EventKind::Empty, .name_size = measured, .bytes = content};
    pos_ = static_cast<std::size_t>(p - begin) + 2;
  } else {
    open_.emplace_back(begin + pos_ + 1, name_size);
    event = Event{.kind = EventKind::Start, .name_size = measured, .bytes = content};
    pos_ = static_cast<std::size_t>(p - begin) + 1;
  }
  scanned_tag_ = content;
  scanned_count_ = count;
  return true;
}

[[gnu::always_inline]] inline std::expected<Event, ReaderError> XmlReader::read_tag() {
  if (Event event; read_plain_tag(event)) return event;
  return read_tag_by_general_rule();
}

std::expected<Event, ReaderError> XmlReader::read_tag_by_general_rule() {
  scanned_tag_ = {};
  // A '>' inside a quoted attribute value does not end the tag.
  std::size_t at = pos_ + 1;
  for (;;) {
    at = xml_bytes::find_any<'>', '"', '\''>(input_, at);
    if (at == input_.size()) return fail_at_end(ReaderProblem::UnclosedTag);
    if (input_[at] == '>') break;
    const std::size_t close = xml_bytes::find_closing_quote(input_, at + 1, input_[at]);
    if (close == input_.size()) return fail_at_end(ReaderProblem::UnclosedTag);
    at = close + 1;
  }
  std::string_view content = input_.substr(pos_ + 1, at - pos_ - 1);
  EventKind kind = EventKind::Start;
  if (content.ends_with('/')) {
    kind = EventKind::Empty;
    content.remove_suffix(1);
  }
  if (content.empty() || !xml_bytes::has(content.front(), kNameStart)) {
    return fail(ReaderProblem::BadElementName);
  }
  std::uint32_t measured = 0;
  if (kind == EventKind::Start) {
    const std::string_view name = tag_name(content);
    open_.push_back(name);
    if (name.size() <= UINT32_MAX) measured = static_cast<std::uint32_t>(name.size());
  }
  pos_ = at + 1;
  // Made in place: a named event, copied out, was reloaded in wider pieces
  // than it had just been stored in, which stalls.
  return Event{.kind = kind, .name_size = measured, .bytes = content};
}

std::expected<Event, ReaderError> XmlReader::read_end_tag() {
  // End tags are short: an inline search beats a library call.
  const std::size_t at = xml_bytes::find_any<'>'>(input_, pos_ + 2);
  if (at == input_.size()) return fail_at_end(ReaderProblem::UnclosedEndTag);
  std::string_view name = input_.substr(pos_ + 2, at - pos_ - 2);
  while (!name.empty() && xml_bytes::has(name.back(), kWhite)) name.remove_suffix(1);
  if (open_.empty()) return fail(ReaderProblem::UnmatchedEndTag);
  if (open_.back() != name) return fail(ReaderProblem::MismatchedEndTag);
  open_.pop_back();
  pos_ = at + 1;
  return Event{.kind = EventKind::End, .bytes = name};
}

std::expected<Event, ReaderError> XmlReader::read_question() {
  auto event = read_delimited(EventKind::ProcessingInstruction, pos_ + 2, "?>");
  if (!event) return event;
  const std::string_view content = event->bytes;
  if (content.starts_with("xml") && (content.size() == 3 || xml_bytes::has(content[3], kWhite))) {
    event->kind = EventKind::Declaration;
  }
  return event;
}

std::expected<Event, ReaderError> XmlReader::read_bang() {
  const std::string_view rest = input_.substr(pos_);
  if (rest.starts_with(kCommentOpen)) {
    return read_delimited(EventKind::Comment, pos_ + kCommentOpen.size(), "-->");
  }
  if (rest.starts_with(kCDataOpen)) {
    return read_delimited(EventKind::CData, pos_ + kCDataOpen.size(), "]]>");
  }
  if (rest.starts_with(kDocTypeOpen)) return read_doctype();
  // "<!-", say, at the end: more input may make it an opening.
  for (std::string_view open : {kCommentOpen, kCDataOpen, kDocTypeOpen}) {
    if (open.starts_with(rest)) return fail_at_end(ReaderProblem::UnknownMarkup);
  }
  return fail(ReaderProblem::UnknownMarkup);
}

std::expected<Event, ReaderError> XmlReader::read_doctype() {
  std::size_t at = pos_ + kDocTypeOpen.size();
  // The keyword must be followed by white space before the root name.
  if (at >= input_.size()) return fail_at_end(ReaderProblem::BadDocType);
  if (!xml_bytes::has(input_[at], kWhite)) return fail(ReaderProblem::BadDocType);
  const std::size_t content_start = xml_bytes::skip_flag(input_, at, kWhite);
  at = content_start;
  bool in_subset = false;
  for (;;) {
    at = find_flag(input_, at, kDtdStop);
    if (at == input_.size()) return fail_at_end(ReaderProblem::BadDocType);
    const char c = input_[at];
    std::size_t resume = at + 1;
    if (c == '"' || c == '\'') {
      const std::size_t close = input_.find(c, at + 1);
      if (close == kNotFound) return fail_at_end(ReaderProblem::BadDocType);
      resume = close + 1;
    } else if (c == '[') {
      in_subset = true;
    } else if (c == ']') {
      in_subset = false;
    } else if (c == '<' && in_subset) {
      // Comments and processing instructions inside the internal subset
      // may hold quotes, brackets and '>' that mean nothing there.
      const std::string_view rest = input_.substr(at);
      std::string_view close;
      if (rest.starts_with(kCommentOpen)) {
        close = "-->";
        resume = at + kCommentOpen.size();
      } else if (rest.starts_with("<?")) {
        close = "?>";
        resume = at + 2;
      }
      if (!close.empty()) {
        const std::size_t end = input_.find(close, resume);
        if (end == kNotFound) return fail_at_end(ReaderProblem::BadDocType);
        resume = end + close.size();
      }
    } else if (c == '>' && !in_subset) {
      pos_ = at + 1;
      return Event{.kind = EventKind::DocType,
                   .bytes = input_.substr(content_start, at - content_start)};
    }
    at = resume;
  }
}

std::expected<void, ReaderError> XmlReader::skip_element(std::string_view name) {
  std::size_t depth = 0;
  for (;;) {
    auto event = next();
    if (!event) return std::unexpected(event.error());
    switch (event->kind) {
      case EventKind::Start:
        if (event->name() == name) ++depth;
        break;
      case EventKind::End:
        if (event->bytes == name) {
          if (depth == 0) return {};
          --depth;
        }
        break;
      case EventKind::Eof:
        return fail(ReaderProblem::EofInElement);
      default:
        break;
    }
  }
}

}  // namespace corvane
