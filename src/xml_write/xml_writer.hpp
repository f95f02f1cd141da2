// The event-driven XML writer: markup appended to a sink, with automatic
// indentation. It checks nothing about well-formedness; it writes what it is
// given, in the order given.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "xml_write/escape.hpp"
#include "xml_write/output_buffer.hpp"
#include "xml_write/sink.hpp"
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

template <Sink S>
class XmlWriter {
 public:
  using Result = std::expected<void, IoError>;

  static constexpr std::size_t kInitialIndentBytes = 128;

  XmlWriter(S& sink, std::optional<Indentation> indentation, EmptyElementStyle style)
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

  // "<" contents ">", then one level deeper.
  [[nodiscard]] Result start_tag(const StartTag& tag) {
    if (auto r = break_line_if_due(); !r) return r;
    if (auto r = write_tag(tag.contents(), ">"); !r) return r;
    if (indent_) {
      grow();
      indent_->after_markup = true;
    }
    return {};
  }

  // One level shallower, then (after the line break) "</" name ">".
  [[nodiscard]] Result end_tag(std::string_view name) {
    if (indent_) {
      indent_->current -= std::min(indent_->current, indent_->indent_size);
    }
    if (auto r = break_line_if_due(); !r) return r;
    if (auto r = sink_.write("</"); !r) return r;
    if (auto r = sink_.write(name); !r) return r;
    if (auto r = sink_.write(">"); !r) return r;
    if (indent_) indent_->after_markup = true;
    return {};
  }

  [[nodiscard]] Result empty_element(const StartTag& tag) {
    if (auto r = break_line_if_due(); !r) return r;
    if (auto r = write_tag(tag.contents(), style_ == EmptyElementStyle::Compact ? "/>" : " />");
        !r) {
      return r;
    }
    if (indent_) indent_->after_markup = true;
    return {};
  }

  // Character data already escaped by the caller. No line break before it,
  // and none after: markup that follows text stays on the text's line.
  [[nodiscard]] Result text(std::string_view escaped) {
    if (auto r = sink_.write(escaped); !r) return r;
    if (indent_) indent_->after_markup = false;
    return {};
  }

  // The text event for raw text, escaped straight into the sink.
  [[nodiscard]] Result escaped_text(std::string_view raw) {
    if constexpr (std::is_same_v<S, OutputBuffer>) {
      append_escaped(raw, sink_);  // memory cannot fail: the fast path
    } else {
      if (auto r = for_each_escaped_piece(
              raw, [this](std::string_view piece) { return sink_.write(piece); });
          !r) {
        return r;
      }
    }
    if (indent_) indent_->after_markup = false;
    return {};
  }

  [[nodiscard]] Result declaration(const Declaration& decl) {
    if (auto r = break_line_if_due(); !r) return r;
    for (std::string_view piece :
         {std::string_view("<?xml version=\""), decl.version, std::string_view("\"")}) {
      if (auto r = sink_.write(piece); !r) return r;
    }
    if (decl.encoding) {
      for (std::string_view piece :
           {std::string_view(" encoding=\""), *decl.encoding, std::string_view("\"")}) {
        if (auto r = sink_.write(piece); !r) return r;
      }
    }
    if (decl.standalone) {
      for (std::string_view piece :
           {std::string_view(" standalone=\""), *decl.standalone, std::string_view("\"")}) {
        if (auto r = sink_.write(piece); !r) return r;
      }
    }
    if (auto r = sink_.write("?>"); !r) return r;
    if (indent_) indent_->after_markup = true;
    return {};
  }

  // Writes nothing; markup after the end of a document would start a line.
  [[nodiscard]] Result end_of_document() {
    if (indent_) indent_->after_markup = true;
    return {};
  }

  // A line feed and the current indentation, whatever the line-break flag
  // says; the flag is left as it is. Without indentation, nothing.
  [[nodiscard]] Result write_indent() {
    if (!indent_) return {};
    return sink_.write(std::string_view(indent_->line_break).substr(0, 1 + indent_->current));
  }

  // Bytes of indentation in front of the next line.
  std::size_t indentation_length() const noexcept { return indent_ ? indent_->current : 0; }

 private:
  struct IndentState {
    char indent_char = ' ';
    std::size_t indent_size = 4;
    std::string line_break;  // "\n" followed by indent characters
    std::size_t current = 0;
    bool after_markup = false;  // the line-break flag
  };

  [[nodiscard]] Result break_line_if_due() {
    if (!indent_ || !indent_->after_markup) return {};
    return write_indent();
  }

  [[nodiscard]] Result write_tag(std::string_view contents, std::string_view close) {
    if (auto r = sink_.write("<"); !r) return r;
    if (auto r = sink_.write(contents); !r) return r;
    return sink_.write(close);
  }

  void grow() {
    indent_->current += indent_->indent_size;
    if (indent_->line_break.size() < 1 + indent_->current) {
      indent_->line_break.resize(std::max(1 + indent_->current, 2 * indent_->line_break.size() - 1),
                                 indent_->indent_char);
    }
  }

  S& sink_;
  std::optional<IndentState> indent_;
  EmptyElementStyle style_;
};

// The writer the serializer uses; compiled once in xml_writer.cpp.
extern template class XmlWriter<OutputBuffer>;
using BufferXmlWriter = XmlWriter<OutputBuffer>;

}  // namespace corvane
