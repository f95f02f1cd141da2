// OptionalText: a text that may be absent, as std::optional<XmlString>
// would hold it, in the 32 bytes of the text instead of 40. A model test
// case holds several, and reading a large document is bound by the memory
// it fills, so the eight bytes count. Absence is a size no text has.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "model/xml_string.hpp"

namespace corvane {

class OptionalText {
 public:
  OptionalText() noexcept : text_(XmlString::Absent{}) {}
  OptionalText(std::nullopt_t) noexcept : OptionalText() {}
  OptionalText(XmlString text) noexcept : text_(std::move(text)) {}

  bool has_value() const noexcept { return !text_.is_absent(); }
  explicit operator bool() const noexcept { return has_value(); }

  // Like std::optional's: only for a text that is there.
  const XmlString& operator*() const noexcept { return text_; }
  XmlString& operator*() noexcept { return text_; }
  const XmlString* operator->() const noexcept { return &text_; }
  XmlString* operator->() noexcept { return &text_; }
  XmlString value_or(XmlString fallback) const {
    return has_value() ? text_ : std::move(fallback);
  }

  template <class... Args>
  XmlString& emplace(Args&&... args) {
    text_ = XmlString(std::forward<Args>(args)...);
    return text_;
  }
  // XmlString::assign, in place whether a text is there or not: a reader
  // sets nearly every case's class name this way. Absent if the text's
  // block cannot be had.
  void assign(XmlString::PrintableAscii, std::string_view text, TextArena& arena) {
    text_.assign_plain(text, arena, XmlString::kAbsentSize);
  }
  void reset() noexcept { text_ = XmlString(XmlString::Absent{}); }

  friend bool operator==(const OptionalText& a, const OptionalText& b) noexcept {
    if (!a.has_value() || !b.has_value()) return a.has_value() == b.has_value();
    return a.text_ == b.text_;
  }

 private:
  XmlString text_;
};

static_assert(sizeof(OptionalText) == sizeof(XmlString));

// The optional form of a model value, for code written for any of them:
// OptionalText for a text, std::optional otherwise.
template <class T>
struct optional_of {
  using type = std::optional<T>;
};
template <>
struct optional_of<XmlString> {
  using type = OptionalText;
};
template <class T>
using Optional = typename optional_of<T>::type;

}  // namespace corvane
