// XmlString: the only text type of the report model. Text is cleaned once,
// when it is made (terminal escape sequences, XML-illegal control
// characters and the noncharacters U+FFFE and U+FFFF removed), and never
// changes afterwards.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace corvane {

class XmlString {
 public:
  XmlString() = default;
  // Cleans `text`. Any byte sequence is accepted: outside an escape sequence
  // a byte that does not start a well-formed UTF-8 character is dropped if it
  // lies in 0x80 to 0x9F and becomes one U+FFFD otherwise, so the result is
  // always valid UTF-8.
  explicit XmlString(std::string_view text);
  explicit XmlString(const char* text) : XmlString(std::string_view(text)) {}

  std::string_view view() const noexcept { return text_; }
  const std::string& str() const noexcept { return text_; }
  const char* data() const noexcept { return text_.data(); }
  std::size_t size() const noexcept { return text_.size(); }
  bool empty() const noexcept { return text_.empty(); }

  bool operator==(const XmlString&) const = default;
  auto operator<=>(const XmlString&) const = default;

 private:
  // `kept`: how long a start of `text` cleaning keeps as it is.
  XmlString(std::string_view text, std::size_t kept);

  std::string text_;
};

// Appends the cleaned form of `text` to `out`; what XmlString's constructor
// does, exposed for callers that clean into a buffer they reuse.
void append_sanitised(std::string_view text, std::string& out);

}  // namespace corvane

template <>
struct std::hash<corvane::XmlString> {
  std::size_t operator()(const corvane::XmlString& s) const noexcept {
    return std::hash<std::string_view>{}(s.view());
  }
};
