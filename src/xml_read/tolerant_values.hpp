// Value rules of the tolerant reader: the strict grammars first, then the few
// well-known deviations real producers write. Each returns nothing for a
// value it cannot understand, which the tolerant reader then drops.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "model/values.hpp"
#include "xml_read/escape.hpp"

namespace corvane {

// A duration as the strict grammar reads it, or a number grouped by commas
// in thousands with a decimal point ("1,234.5"). A comma without a decimal
// point is ambiguous (a decimal comma reads the same) and gives nothing.
std::optional<Duration> tolerant_duration(std::string_view text);

// An RFC 3339 timestamp, or the same without an offset, which is read as UTC.
std::optional<Timestamp> tolerant_timestamp(std::string_view text);

// An unsigned count, or nothing.
std::optional<std::uint64_t> tolerant_count(std::string_view text) noexcept;

// Appends the character that the reference `&payload;` in character data
// stands for: one of the five predefined entities or a decimal or
// hexadecimal character reference. Other names, and character references
// that name no character, are errors.
[[nodiscard]] std::expected<void, EscapeError> append_reference(std::string_view payload,
                                                                std::string& out);

}  // namespace corvane
