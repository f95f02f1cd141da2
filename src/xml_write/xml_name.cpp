// Attribute-name checks for `extra` keys: see xml_name.hpp.
#include "xml_write/xml_name.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <span>

namespace corvane {
namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// XML 1.0 fifth edition, production [4] NameStartChar.
constexpr std::array kNameStartRanges = {
    Range{':', ':'},       Range{'A', 'Z'},       Range{'_', '_'},       Range{'a', 'z'},
    Range{0xC0, 0xD6},     Range{0xD8, 0xF6},     Range{0xF8, 0x2FF},    Range{0x370, 0x37D},
    Range{0x37F, 0x1FFF},  Range{0x200C, 0x200D}, Range{0x2070, 0x218F}, Range{0x2C00, 0x2FEF},
    Range{0x3001, 0xD7FF}, Range{0xF900, 0xFDCF}, Range{0xFDF0, 0xFFFD}, Range{0x10000, 0xEFFFF},
};

// Production [4a] NameChar, beyond the NameStartChar ranges.
constexpr std::array kNameOnlyRanges = {
    Range{'-', '-'},   Range{'.', '.'},     Range{'0', '9'},
    Range{0xB7, 0xB7}, Range{0x300, 0x36F}, Range{0x203F, 0x2040},
};

template <std::size_t N>
constexpr bool in_ranges(const std::array<Range, N>& ranges, char32_t c) noexcept {
  for (const Range& range : ranges) {
    if (c >= range.first && c <= range.last) return true;
  }
  return false;
}

// ASCII answers from one table built from the ranges, since nearly every key
// is plain ASCII: bit 0 set for a name-start character, bit 1 for a name
// character.
constexpr std::array<unsigned char, 128> kAsciiNameClass = [] {
  std::array<unsigned char, 128> table{};
  for (char32_t c = 0; c < 128; ++c) {
    if (in_ranges(kNameStartRanges, c)) table[c] |= 1 | 2;
    if (in_ranges(kNameOnlyRanges, c)) table[c] |= 2;
  }
  return table;
}();

// The same for every byte value, bytes from 0x80 up in no class: the first
// test of a key, which then holds ASCII only.
constexpr std::array<unsigned char, 256> kByteNameClass = [] {
  std::array<unsigned char, 256> table{};
  for (std::size_t c = 0; c < 128; ++c) table[c] = kAsciiNameClass[c];
  return table;
}();

// The code point starting at `text[pos]`, advancing `pos` past it; none for
// a malformed, overlong, surrogate or out-of-range sequence.
std::optional<char32_t> next_code_point(std::string_view text, std::size_t& pos) noexcept {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - pos < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if ((byte & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += length;
  return value;
}

constexpr std::array<std::string_view, 8> kSuiteAttributes = {
    "name", "tests", "skipped", "errors", "failures", "disabled", "timestamp", "time",
};
constexpr std::array<std::string_view, 5> kTestCaseAttributes = {
    "name", "classname", "assertions", "timestamp", "time",
};

constexpr std::string_view kDeclarationPrefix = "xmlns";
constexpr std::string_view kReservedPrefix = "xml";

// Whether `map` holds a usable declaration `xmlns:<prefix>`.
bool declares(std::span<const ExtraMap::Entry> map, std::string_view prefix) noexcept {
  for (const auto& [key, value] : map) {
    const std::string_view k = key.view();
    if (k.size() == kDeclarationPrefix.size() + 1 + prefix.size() &&
        k.starts_with(kDeclarationPrefix) && k[kDeclarationPrefix.size()] == ':' &&
        k.ends_with(prefix) && !value.view().empty()) {
      return true;
    }
  }
  return false;
}

bool prefix_is_bound(std::string_view key, std::string_view value,
                     std::span<const ExtraMap::Entry> own,
                     std::span<const ExtraMap::Entry> parent) noexcept {
  const std::size_t colon = key.find(':');
  if (colon == std::string_view::npos) return true;
  const std::string_view prefix = key.substr(0, colon);
  const std::string_view local = key.substr(colon + 1);
  if (prefix.empty() || local.empty() || local.find(':') != std::string_view::npos) return false;
  if (prefix == kDeclarationPrefix) {
    return !value.empty() && local != kReservedPrefix && local != kDeclarationPrefix;
  }
  if (prefix == kReservedPrefix) return true;
  return declares(own, prefix) || declares(parent, prefix);
}

}  // namespace

std::optional<std::string_view> find_unbound_prefix(
    std::span<const ExtraMap::Entry> own, std::span<const ExtraMap::Entry> parent) noexcept {
  for (const auto& [key, value] : own) {
    if (!prefix_is_bound(key.view(), value.view(), own, parent)) return key.view();
  }
  return std::nullopt;
}

std::optional<std::string_view> find_unbound_prefix(const ExtraMap& own,
                                                    const ExtraMap* parent) noexcept {
  return find_unbound_prefix(own.entries(), parent != nullptr ? std::span(parent->entries())
                                                              : std::span<const ExtraMap::Entry>());
}

bool is_name_start_char(char32_t code_point) noexcept {
  return in_ranges(kNameStartRanges, code_point);
}

bool is_name_char(char32_t code_point) noexcept {
  return in_ranges(kNameStartRanges, code_point) || in_ranges(kNameOnlyRanges, code_point);
}

namespace {

// is_xml_name for keys that are not plain ASCII names, code point by code
// point; apart, so that the common case keeps no frame of its own.
[[gnu::noinline]] bool is_xml_name_by_code_points(std::string_view text) noexcept {
  std::size_t pos = 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) {
    if ((kAsciiNameClass[lead] & 1) == 0) return false;
    pos = 1;
  } else {
    const auto first = next_code_point(text, pos);
    if (!first || !is_name_start_char(*first)) return false;
  }
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      if ((kAsciiNameClass[byte] & 2) == 0) return false;
      ++pos;
      continue;
    }
    const auto next = next_code_point(text, pos);
    if (!next || !is_name_char(*next)) return false;
  }
  return true;
}

}  // namespace

bool is_xml_name(std::string_view text) noexcept {
  if (text.empty()) return false;
  // Nearly every key is an ASCII name, settled by one table look-up a byte;
  // only a key that leaves ASCII is walked code point by code point.
  const auto* byte = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = byte + text.size();
  unsigned char name_class = kByteNameClass[*byte];
  if ((name_class & 1) == 0) return *byte >= 0x80 && is_xml_name_by_code_points(text);
  while (++byte != end) {
    name_class = kByteNameClass[*byte];
    if ((name_class & 2) == 0) return *byte >= 0x80 && is_xml_name_by_code_points(text);
  }
  return true;
}

std::string_view element_name(ExtraElement element) noexcept {
  return element == ExtraElement::TestSuite ? "testsuite" : "testcase";
}

bool is_standard_attribute(ExtraElement element, std::string_view key) noexcept {
  if (element == ExtraElement::TestSuite) {
    for (std::string_view name : kSuiteAttributes) {
      if (key == name) return true;
    }
    return false;
  }
  for (std::string_view name : kTestCaseAttributes) {
    if (key == name) return true;
  }
  return false;
}

ExtraKeyProblem check_extra_key(ExtraElement element, std::string_view key) noexcept {
  if (!is_xml_name(key)) return ExtraKeyProblem::NotAName;
  if (is_standard_attribute(element, key)) return ExtraKeyProblem::StandardAttribute;
  return ExtraKeyProblem::None;
}

}  // namespace corvane
