// Stored sanitised text to and from Python str, shared by every class that
// keeps texts: optional texts read back as None when absent, and a None
// argument means "no text".
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "model/optional_text.hpp"
#include "model/text_arena.hpp"
#include "model/xml_string.hpp"
#include "py/convert.hpp"
#include "py/result.hpp"

namespace py {

namespace text_detail {

template <class Word>
Word load(const char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Whether every byte from `p` to `p + n` (n at least one Word) lies in 0x20
// to 0x7F, a word at a time: no byte has its top bit set, and each gets it
// from adding 0x60 (which carries into the next byte only from a byte that
// has its top bit set already). The last word overlaps the one before it.
template <class Word>
bool printable_words(const char* p, std::size_t n) {
  constexpr auto kTop = static_cast<Word>(0x8080808080808080);
  constexpr auto kLift = static_cast<Word>(0x6060606060606060);
  Word seen = 0;
  Word lifted = static_cast<Word>(~Word{0});
  for (std::size_t i = 0; i + sizeof(Word) < n; i += sizeof(Word)) {
    const Word word = load<Word>(p + i);
    seen |= word;
    lifted &= word + kLift;
  }
  const Word last = load<Word>(p + n - sizeof(Word));
  seen |= last;
  lifted &= last + kLift;
  return (seen & kTop) == 0 && (lifted & kTop) == kTop;
}

inline bool printable_ascii(std::string_view text) {
  const char* p = text.data();
  const std::size_t n = text.size();
  if (n >= 8) return printable_words<std::uint64_t>(p, n);
  if (n >= 4) return printable_words<std::uint32_t>(p, n);
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(p[i] - 0x20) >= 0x60) return false;
  }
  return true;
}

}  // namespace text_detail

// Where the texts given to the classes keep their bytes. Building a report
// makes several texts too long to be stored inline for every test case
// (names, class names, attribute values); carved out of shared chunks they
// cost no allocation each and lie together, as a read's texts do. One per
// thread, so no two calls ever carve from it at once.
inline corvane::TextArena& text_arena() noexcept {
  thread_local corvane::TextArena arena;
  return arena;
}

// Sanitised text. A short text of printable ASCII only, as names, class
// names and attribute values mostly are, is stored without the block scan:
// for so few bytes the check above costs a fraction of it. Anything else is
// cleaned as usual.
// A caller cleaning several texts passes the arena, fetched once: each
// fetch of a thread-local costs a call.
inline corvane::XmlString clean_text(std::string_view text, corvane::TextArena& arena) {
  constexpr std::size_t kShort = 64;
  if (text.size() <= kShort && text_detail::printable_ascii(text)) {
    return corvane::XmlString(corvane::XmlString::PrintableAscii{}, text, arena);
  }
  return corvane::XmlString(text, arena);
}

inline corvane::XmlString clean_text(std::string_view text) {
  return clean_text(text, text_arena());
}

// A new str of UTF-8 text, or NULL with the error set; the raw form suits a
// getter, which hands its result straight to CPython.
inline PyObject* new_str(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// As new_str, with None for an absent text.
inline PyObject* new_optional_str(const corvane::OptionalText& text) {
  if (!text) return Py_NewRef(Py_None);
  return new_str(text->view());
}

// NULL (omitted) or None give no text; a str is sanitised; anything else is
// the TypeError of py::to_str. Callers add the note for their parameter.
[[nodiscard]] inline Result<corvane::OptionalText> to_optional_text(PyObject* object) {
  auto text = to_optional_str(object);
  if (!text) return raised();
  if (!*text) return corvane::OptionalText();
  return corvane::OptionalText(clean_text(**text));
}

}  // namespace py
