// Unescaping of attribute values and text: the five predefined entities and
// decimal or hexadecimal character references.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// An unescaping failure; `text` is the full user-visible text, for example
// "at 2..5: unrecognized entity `foo`".
struct EscapeError {
  std::string text;
};

// `lt`, `gt`, `amp`, `apos`, `quot` give their character; any other name none.
std::optional<std::string_view> resolve_xml_entity(std::string_view name) noexcept;

// Returns `raw` itself when it holds no '&'; otherwise writes the unescaped
// text into `out` (cleared first) and returns a view of `out`.
[[nodiscard]] std::expected<std::string_view, EscapeError> unescape(std::string_view raw,
                                                                    std::string& out);

}  // namespace corvane
