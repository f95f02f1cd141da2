// Which texts can be written as attribute names: the XML 1.0 `Name`
// production, and the attribute names the serializer already writes on a
// `testsuite` or `testcase` element (an `extra` key equal to one of them would
// repeat the attribute). Checked before a report is written, since the writer
// itself copies attribute names unchecked.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// True when `text` is well-formed UTF-8 and matches XML 1.0 (fifth edition)
// `Name`: one NameStartChar followed by any number of NameChar, judged by
// code point. The empty text is not a name.
bool is_xml_name(std::string_view text) noexcept;

bool is_name_start_char(char32_t code_point) noexcept;
bool is_name_char(char32_t code_point) noexcept;

// The elements that carry `extra` attributes.
enum class ExtraElement : std::uint8_t { TestSuite, TestCase };

// The element name as written ("testsuite", "testcase").
std::string_view element_name(ExtraElement element) noexcept;

// True when the serializer writes an attribute called `key` on `element`
// (whether or not the value that would fill it is present).
bool is_standard_attribute(ExtraElement element, std::string_view key) noexcept;

// Why an `extra` key cannot be written on an element.
enum class ExtraKeyProblem : std::uint8_t { None, NotAName, StandardAttribute };

ExtraKeyProblem check_extra_key(ExtraElement element, std::string_view key) noexcept;

}  // namespace corvane
