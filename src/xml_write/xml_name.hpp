// Which texts can be written as attribute names: the XML 1.0 `Name`
// production, and the attribute names the serializer already writes on a
// `testsuite` or `testcase` element (an `extra` key equal to one of them would
// repeat the attribute). Checked before a report is written, since the writer
// itself copies attribute names unchecked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "model/extra_map.hpp"

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
enum class ExtraKeyProblem : std::uint8_t { None, NotAName, StandardAttribute, UnboundPrefix };

ExtraKeyProblem check_extra_key(ExtraElement element, std::string_view key) noexcept;

// The first key of `own` (the `extra` of one element; `parent` is the suite's
// for a test case, else null) whose namespace prefix a namespace-aware reader
// would refuse, or none. A key with a colon must be `prefix:local` (one
// colon, neither side empty) and then either declare a prefix (`xmlns:p`
// with a non-empty value, p being neither `xml` nor `xmlns`), use the
// reserved prefix `xml`, or use a prefix declared by an `xmlns:p` key of
// `own` or `parent`. Other declarations on the document's way down are not
// known here, so they do not count.
std::optional<std::string_view> find_unbound_prefix(const ExtraMap& own,
                                                    const ExtraMap* parent) noexcept;
// The same over entries kept elsewhere (an element without a parent passes
// no entries for it).
std::optional<std::string_view> find_unbound_prefix(
    std::span<const ExtraMap::Entry> own, std::span<const ExtraMap::Entry> parent) noexcept;

}  // namespace corvane
