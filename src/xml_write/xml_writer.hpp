// The event-driven XML writer: markup appended to an output buffer, with
// automatic indentation. It checks nothing about well-formedness; it writes
// what it is given, in the order given. Writing into memory cannot fail.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "model/short_copy.hpp"
#include "xml_write/escape.hpp"
#include "xml_write/output_buffer.hpp"
#include "xml_write/start_tag.hpp"

namespace corvane {

struct Indentation {
  char indent_char = ' ';
  std::size_t indent_size = 4;
};

enum class EmptyElementStyle : std::uint8_t {
  Compact,  // "<a/>"
  Spaced,   // "<a />"
};

// The contents of an XML declaration; absent parts are left out.
struct Declaration {
  std::string_view version = "1.0";
  std::optional<std::string_view> encoding;
  std::optional<std::string_view> standalone;
};

namespace xml_writer_detail {

// Declared outside the writer: a nested class's member defaults are not
// usable inside its enclosing class, where the writer keeps an optional one.
struct IndentState {
  char indent_char = ' ';
  std::size_t indent_size = 4;
  std::string line_break;  // "\n" followed by indent characters
  std::size_t current = 0;
  bool after_markup = false;  // the line-break flag
};

}  // namespace xml_writer_detail

class XmlWriter {
 public:
  static constexpr std::size_t kInitialIndentBytes = 128;
  static constexpr std::size_t kShortLine = 32;
  static_assert(1 + kInitialIndentBytes >= kShortLine);

  XmlWriter(OutputBuffer& sink, std::optional<Indentation> indentation, EmptyElementStyle style)
      : sink_(sink), style_(style) {
    if (indentation) {
      indent_.emplace();
      indent_->indent_char = indentation->indent_char;
      indent_->indent_size = indentation->indent_size;
      // The line feed is kept in front of the indent characters so that a
      // whole line break is one write of a prefix.
      indent_->line_break.assign(1 + kInitialIndentBytes, indentation->indent_char);
      indent_->line_break[0] = '\n';
    }
  }

  // A start tag written in place: the line break if one is due, then "<"
  // name; its attributes are appended through the value returned, and
  // close_start_tag or close_empty_element ends it. Nothing else may be
  // written in between. A tag written in place is not copied afterwards.
  TagAttributes open_tag(std::string_view name) {
    write_markup("<", name, {});
    return TagAttributes(sink_);
  }

  // ">", then one level deeper.
  void close_start_tag() {
    sink_.append('>');
    if (indent_) {
      grow();
      indent_->after_markup = true;
    }
  }

  void close_empty_element() {
    sink_.append(style_ == EmptyElementStyle::Compact ? std::string_view("/>")
                                                      : std::string_view(" />"));
    if (indent_) indent_->after_markup = true;
  }

  // "<" contents ">", then one level deeper.
  void start_tag(const StartTag& tag) {
    open_tag(tag.contents());
    close_start_tag();
  }

  // One level shallower, then (after the line break) "</" name ">".
  void end_tag(std::string_view name) {
    if (indent_) {
      indent_->current -= std::min(indent_->current, indent_->indent_size);
    }
    write_markup("</", name, ">");
    if (indent_) indent_->after_markup = true;
  }

  void empty_element(const StartTag& tag) {
    open_tag(tag.contents());
    close_empty_element();
  }

  // Character data already escaped by the caller. No line break before it,
  // and none after: markup that follows text stays on the text's line.
  void text(std::string_view escaped) {
    sink_.append(escaped);
    if (indent_) indent_->after_markup = false;
  }

  // The text event for raw text, escaped straight into the sink.
  void escaped_text(std::string_view raw) {
    append_escaped(raw, sink_);
    if (indent_) indent_->after_markup = false;
  }

  void declaration(const Declaration& decl) {
    break_line_if_due();
    for (std::string_view piece :
         {std::string_view("<?xml version=\""), decl.version, std::string_view("\"")}) {
      sink_.append(piece);
    }
    if (decl.encoding) {
      for (std::string_view piece :
           {std::string_view(" encoding=\""), *decl.encoding, std::string_view("\"")}) {
        sink_.append(piece);
      }
    }
    if (decl.standalone) {
      for (std::string_view piece :
           {std::string_view(" standalone=\""), *decl.standalone, std::string_view("\"")}) {
        sink_.append(piece);
      }
    }
    sink_.append("?>");
    if (indent_) indent_->after_markup = true;
  }

  // Writes nothing; markup after the end of a document would start a line.
  void end_of_document() {
    if (indent_) indent_->after_markup = true;
  }

  // A line feed and the current indentation, whatever the line-break flag
  // says; the flag is left as it is. Without indentation, nothing.
  void write_indent() {
    if (!indent_) return;
    sink_.append(std::string_view(indent_->line_break).substr(0, 1 + indent_->current));
  }

  // Bytes of indentation in front of the next line.
  std::size_t indentation_length() const noexcept { return indent_ ? indent_->current : 0; }

 private:
  using IndentState = xml_writer_detail::IndentState;

  void break_line_if_due() {
    if (!indent_ || !indent_->after_markup) return;
    write_indent();
  }

  // The line break if one is due, then `open` `body` `close`, in room
  // claimed once: markup is most of what is written, in short pieces.
  void write_markup(std::string_view open, std::string_view body, std::string_view close) {
    const bool break_due = indent_ && indent_->after_markup;
    const std::size_t line_size = break_due ? 1 + indent_->current : 0;
    char* out = sink_.append_raw(std::max(line_size, kShortLine) + open.size() + body.size() +
                                 close.size());
    if (break_due) {
      // A line break of the usual depth is copied as one fixed-size block
      // (the indent string is never shorter); what it writes past the break
      // is overwritten next or left as scratch past the contents.
      if (line_size <= kShortLine) {
        std::memcpy(out, indent_->line_break.data(), kShortLine);
      } else {
        std::memcpy(out, indent_->line_break.data(), line_size);
      }
      out += line_size;
    }
    for (std::string_view piece : {open, body, close}) {
      out = copy_short(out, piece.data(), piece.size());
    }
    sink_.commit(out);
  }

  void grow() {
    indent_->current += indent_->indent_size;
    if (indent_->line_break.size() < 1 + indent_->current) {
      indent_->line_break.resize(std::max(1 + indent_->current, 2 * indent_->line_break.size() - 1),
                                 indent_->indent_char);
    }
  }

  OutputBuffer& sink_;
  std::optional<IndentState> indent_;
  EmptyElementStyle style_;
};

}  // namespace corvane
