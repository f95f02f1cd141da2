// The test case walk of both reader modes: one function per element kind,
// each consuming its element's events up to its end tag. Where the modes
// part, the strict branch is the documented error and the tolerant branch
// the rule in docs/reading.md.
#include "xml_read/test_case_reader.hpp"

#include <utility>

#include "model/key_equal.hpp"
#include "model/utf8_check.hpp"
#include "xml_read/attribute_walk.hpp"
#include "xml_read/escape.hpp"
#include "xml_read/tolerant_outcome.hpp"
#include "xml_read/tolerant_values.hpp"
#include "xml_read/unicode_trim.hpp"
#include "xml_read/value_parsers.hpp"
#include "xml_read/xml_bytes.hpp"
#include "xml_write/xml_name.hpp"

namespace corvane {

namespace {

// `field`: a T or an optional one.
template <typename Field, typename T>
ReadResult<void> assign(Field& field, ReadResult<T> parsed) {
  if (!parsed) return std::unexpected(std::move(parsed).error());
  field = std::move(*parsed);
  return {};
}

// A test the runner did not run, written with no outcome element: GoogleTest
// marks its disabled tests `status="notrun"`, CTest its disabled ones
// `status="disabled"`. They read as skipped, never as passed. CTest writes
// its reason ("Disabled") as the test's output, which becomes the message.
bool read_not_run(TestCase& test_case) {
  for (const auto& [key, value] : test_case.extra) {
    if (key.view() != "status") continue;
    if (value.view() != "notrun" && value.view() != "disabled") return false;
    Skipped skipped;
    skipped.message = test_case.system_out;
    test_case.status = TestCaseStatus(std::move(skipped));
    return true;
  }
  return false;
}

}  // namespace

DeserializeError TestCaseReader::reader_error(const ReaderError& error,
                                              const ElementPath& path) const {
  return make_error(path, DeserializeErrorKind::XmlError, reader_.describe(error));
}

ReadResult<void> TestCaseReader::skip(const Event& start, const ElementPath& path) {
  if (auto skipped = reader_.skip_element(start.name()); !skipped) {
    return std::unexpected(reader_error(skipped.error(), path));
  }
  return {};
}

ReadResult<XmlString> TestCaseReader::read_string(std::string_view raw, const ElementPath& path,
                                                  std::string_view key) const {
  // Plain values, nearly all of them, are stored here without a call.
  if (xml_bytes::is_plain_ascii_without_references(raw)) [[likely]] {
    return ReadResult<XmlString>(std::in_place, XmlString::PrintableAscii{}, raw, arena_);
  }
  return parse_xml_string(raw, path, key, known_utf8_, &arena_);
}

template <typename Field>
[[gnu::noinline]] bool TestCaseReader::store_if_plain(Field& field, std::string_view raw) const {
  if (!xml_bytes::is_plain_ascii_without_references(raw)) [[unlikely]] {
    return false;
  }
  field.assign(XmlString::PrintableAscii{}, raw, arena_);
  return true;
}

// Inline into the attribute walks: a plain value, nearly every one, then
// costs a call that answers in a register, rather than one that builds a
// result in memory for the walk to test.
template <typename Field>
[[gnu::always_inline]] inline ReadResult<void> TestCaseReader::read_string_into(
    Field& field, std::string_view raw, const ElementPath& path, std::string_view key) const {
  if (store_if_plain(field, raw)) [[likely]] {
    return {};
  }
  return assign(field, parse_xml_string(raw, path, key, known_utf8_, &arena_));
}

ReadResult<void> TestCaseReader::read_timestamp(std::optional<Timestamp>& field,
                                                std::string_view raw, const ElementPath& path,
                                                std::string_view key) const {
  if (tolerant()) {
    field = tolerant_timestamp(raw);
    return {};
  }
  return assign(field, parse_timestamp(raw, path, key));
}

ReadResult<void> TestCaseReader::read_duration(OptionalDuration& field, std::string_view raw,
                                               const ElementPath& path,
                                               std::string_view key) const {
  if (tolerant()) {
    field = tolerant_duration(raw);
    return {};
  }
  // A valid time, nearly every one, is stored without an error's room.
  if (const auto parsed = parse_duration_text(raw)) [[likely]] {
    field = *parsed;
    return {};
  }
  return assign(field, parse_duration(raw, path, key));
}

ReadResult<void> TestCaseReader::read_count(std::optional<std::uint64_t>& field,
                                            std::string_view raw, const ElementPath& path,
                                            std::string_view key) const {
  if (tolerant()) {
    field = tolerant_count(raw);
    return {};
  }
  return assign(field, parse_usize(raw, path, key));
}

ReadResult<void> TestCaseReader::check_unknown_key(const Event& tag, std::string_view key,
                                                   const ElementPath& path) const {
  if (tolerant() || is_xml_name(key)) [[likely]] {
    return {};
  }
  const auto position = static_cast<std::size_t>(key.data() - tag.content().data());
  return std::unexpected(make_error(
      path, DeserializeErrorKind::AttrError,
      "position " + std::to_string(position) + ": `" + std::string(key) + "` is not an XML name"));
}

ReadResult<void> TestCaseReader::read_extra(ExtraMap& extra, std::string_view key,
                                            std::string_view raw, const ElementPath& path) const {
  CORVANE_TRY(extra_key, read_string(key, path, {}));
  CORVANE_TRY(extra_value, read_string(raw, path, {}));
  extra.insert(std::move(extra_key), std::move(extra_value), &arena_);
  return {};
}

void TestCaseReader::add_unknown_attribute(ExtraMap& extra, XmlString&& key,
                                           XmlString&& value) const {
  // A tag repeats no key, and the strict mode takes only XML names, which
  // reading keeps as they are, so its keys stay distinct and need no
  // search; the tolerant mode's may meet once resolved.
  if (tolerant()) {
    extra.insert(std::move(key), std::move(value), &arena_);
  } else {
    extra.append_new(std::move(key), std::move(value), &arena_);
  }
}

ReadResult<void> TestCaseReader::read_unknown_attribute(const Event& tag, ExtraMap& extra,
                                                        std::string_view key, std::string_view raw,
                                                        const ElementPath& path) {
  for (std::size_t i = 0; i < known_key_count_; ++i) {
    if (keys_equal(known_keys_[i].raw, key)) {
      // A plain value, nearly every one, is made right where it is passed.
      if (xml_bytes::is_plain_ascii_without_references(raw)) [[likely]] {
        add_unknown_attribute(extra, XmlString(known_keys_[i].key),
                              XmlString(XmlString::PrintableAscii{}, raw, arena_));
        return {};
      }
      CORVANE_TRY(extra_value, read_string(raw, path, {}));
      add_unknown_attribute(extra, XmlString(known_keys_[i].key), std::move(extra_value));
      return {};
    }
  }
  CORVANE_CHECK(check_unknown_key(tag, key, path));
  CORVANE_TRY(extra_key, read_string(key, path, {}));
  if (known_key_count_ < kKnownKeys) {
    known_keys_[known_key_count_++] = KnownKey{std::string(key), extra_key};
  }
  CORVANE_TRY(extra_value, read_string(raw, path, {}));
  add_unknown_attribute(extra, std::move(extra_key), std::move(extra_value));
  return {};
}

ReadResult<bool> TestCaseReader::read_test_case(const Event& tag, bool is_empty, ElementPath& path,
                                                std::size_t index, TestCase& test_case) {
  path.push_back(PathElement::test_case(index));
  bool has_name = false;
  CORVANE_CHECK(for_each_attribute(
      reader_, tag, path, [&](std::string_view key, std::string_view value) -> ReadResult<void> {
        if (key == "name") {
          has_name = true;
          return read_string_into(test_case.name, value, path, key);
        }
        if (key == "classname") return read_string_into(test_case.classname, value, path, key);
        if (key == "assertions") return read_count(test_case.assertions, value, path, key);
        if (key == "timestamp") return read_timestamp(test_case.timestamp, value, path, key);
        if (key == "time") return read_duration(test_case.time, value, path, key);
        return read_unknown_attribute(tag, test_case.extra, key, value, path);
      }));
  if (!has_name && !tolerant()) return std::unexpected(require_attribute(path, "name"));
  if (is_empty) {
    path.pop_back();
    return tolerant() && read_not_run(test_case);
  }

  // The path borrows the name while the children are read.
  path.back() = PathElement::test_case(index, std::move(test_case.name));
  std::vector<StatusElement> status_elements;
  for (;;) {
    CORVANE_NEXT_MARKUP(event, *this, path);
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty: {
        const bool empty = event.kind == EventKind::Empty;
        const std::string_view name = event.name();
        if (auto kind = status_element_kind(name)) {
          CORVANE_TRY(element, read_status_element(event, *kind, empty, path));
          status_elements.push_back(std::move(element));
        } else if (empty) {
          // Empty elements such as <system-out/> carry nothing.
        } else if (name == "properties") {
          CORVANE_TRY(properties, read_properties(path));
          test_case.properties = std::move(properties);
        } else if (TestCaseReader::is_output(name)) {
          CORVANE_CHECK(read_output(name, path, test_case.system_out, test_case.system_err));
        } else {
          CORVANE_CHECK(skip(event, path));
        }
        break;
      }
      case EventKind::End:
        if (event.name() == "testcase") {
          const bool not_run = status_elements.empty() && tolerant() && read_not_run(test_case);
          const bool had_outcome = not_run || !status_elements.empty();
          if (!not_run) {
            auto status = tolerant() ? build_tolerant_status(std::move(status_elements), path)
                                     : build_test_case_status(std::move(status_elements), path);
            if (!status) return std::unexpected(std::move(status).error());
            test_case.status = std::move(*status);
          }
          test_case.name = *path.back().take_name();
          path.pop_back();
          return had_outcome;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path, "unexpected EOF in <testcase>"));
      default:
        break;
    }
  }
}

ReadResult<StatusElement> TestCaseReader::read_status_element(const Event& tag,
                                                              StatusElementKind kind, bool is_empty,
                                                              ElementPath& path) {
  path.push_back(PathElement(status_element_step(kind)));
  StatusElement element{kind, {}};
  StatusElementData& data = element.data;
  CORVANE_CHECK(for_each_attribute(
      reader_, tag, path, [&](std::string_view key, std::string_view value) -> ReadResult<void> {
        if (key == "message") return read_string_into(data.message, value, path, key);
        if (key == "type") return read_string_into(data.type, value, path, key);
        if (key == "timestamp") return read_timestamp(data.timestamp, value, path, key);
        if (key == "time") return read_duration(data.time, value, path, key);
        return check_unknown_key(tag, key, path);
      }));
  if (is_empty) {
    path.pop_back();
    return element;
  }

  std::string& description = description_buffer_;
  description.clear();
  // Whether the reader's scan found the description plain (see clean_and_trim).
  bool plain = true;
  for (;;) {
    // Text and the predefined entities are gathered in the reader's own
    // scan (its bytes need no check of their own in a valid document); the
    // rest (markup, CDATA, other references, errors) comes as events.
    if (known_utf8_) plain = reader_.append_text(description) && plain;
    CORVANE_NEXT_EVENT(event, *this, path);
    switch (event.kind) {
      case EventKind::Text:
      case EventKind::CData:
      case EventKind::Reference: {
        plain = false;
        CORVANE_CHECK(append_character_data(event, path, description));
        break;
      }
      case EventKind::Start: {
        const std::string_view name = event.name();
        if (name == "stackTrace") {
          CORVANE_TRY(text, read_child_text(name, path, PathElement::attribute("stackTrace")));
          data.stack_trace = std::move(text);
        } else if (TestCaseReader::is_output(name)) {
          CORVANE_CHECK(read_output(name, path, data.system_out, data.system_err));
        } else {
          CORVANE_CHECK(skip(event, path));
        }
        break;
      }
      case EventKind::End:
        if (is_status_element(event.name())) {
          if (XmlString text = clean_and_trim(description, &arena_, plain); !text.empty()) {
            data.description = std::move(text);
          }
          path.pop_back();
          return element;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path, "unexpected EOF in status element"));
      default:
        break;
    }
  }
}

ReadResult<std::vector<Property>> TestCaseReader::read_properties(ElementPath& path) {
  path.push_back(PathElement(PathStep::Properties));
  std::vector<Property> properties;
  for (;;) {
    CORVANE_NEXT_MARKUP(event, *this, path);
    switch (event.kind) {
      case EventKind::Start:
      case EventKind::Empty:
        // The strict reader takes only empty-element `property` tags; a
        // producer that writes start and end tags still means a property.
        if (event.name() == "property" && (event.kind == EventKind::Empty || tolerant())) {
          path.push_back(PathElement::property(properties.size()));
          CORVANE_TRY(property, read_property(event, path));
          properties.push_back(std::move(property));
          path.pop_back();
        }
        break;
      case EventKind::End:
        if (event.name() == "properties") {
          path.pop_back();
          return properties;
        }
        break;
      case EventKind::Eof:
        return std::unexpected(structure_error(path, "unexpected EOF in <properties>"));
      default:
        break;
    }
  }
}

ReadResult<Property> TestCaseReader::read_property(const Event& tag, const ElementPath& path) {
  OptionalText name;
  OptionalText value;
  CORVANE_CHECK(for_each_attribute(
      reader_, tag, path, [&](std::string_view key, std::string_view raw) -> ReadResult<void> {
        if (key == "name") return read_string_into(name, raw, path, key);
        if (key == "value") return read_string_into(value, raw, path, key);
        return check_unknown_key(tag, key, path);
      }));
  if (!tolerant()) {
    if (!name) return std::unexpected(require_attribute(path, "name"));
    if (!value) return std::unexpected(require_attribute(path, "value"));
  }
  return Property{name.value_or(XmlString()), value.value_or(XmlString())};
}

ReadResult<void> TestCaseReader::append_character_data(const Event& event, const ElementPath& path,
                                                       std::string& out) {
  const std::string_view bytes = event.content();
  if (!known_utf8_ && !is_valid_utf8(bytes)) {
    return std::unexpected(make_error(path, DeserializeErrorKind::InvalidUtf8));
  }
  if (event.kind != EventKind::Reference) {
    // Text and CDATA are both taken as they are: the reader hands
    // references out as events of their own, so text never holds a '&'
    // for unescaping to act on.
    out.append(bytes);
    return {};
  }
  if (tolerant()) {
    auto done = append_reference(bytes, out);
    if (!done) {
      return std::unexpected(
          make_error(path, DeserializeErrorKind::EscapeError, std::move(done.error().text)));
    }
    return {};
  }
  auto resolved = resolve_xml_entity(bytes);
  if (!resolved) {
    return std::unexpected(structure_error(path, "unrecognized entity: " + std::string(bytes)));
  }
  out.append(*resolved);
  return {};
}

ReadResult<XmlString> TestCaseReader::read_text_content(std::string_view name,
                                                        const ElementPath& path) {
  std::string& text = text_buffer_;
  text.clear();
  bool plain = true;
  for (;;) {
    if (known_utf8_) plain = reader_.append_text(text) && plain;
    CORVANE_NEXT_EVENT(event, *this, path);
    switch (event.kind) {
      case EventKind::Text:
      case EventKind::CData:
      case EventKind::Reference: {
        plain = false;
        CORVANE_CHECK(append_character_data(event, path, text));
        break;
      }
      case EventKind::End:
        if (event.name() == name) {
          return clean_and_trim(text, &arena_, plain);
        }
        break;
      case EventKind::Eof:
        return std::unexpected(
            structure_error(path, "unexpected EOF in <" + std::string(name) + ">"));
      default:
        break;
    }
  }
}

ReadResult<void> TestCaseReader::read_output(std::string_view name, ElementPath& path,
                                             OptionalText& system_out,
                                             OptionalText& system_err) {
  const bool is_out = name == "system-out";
  CORVANE_TRY(
      text,
      read_child_text(name, path, PathElement(is_out ? PathStep::SystemOut : PathStep::SystemErr)));
  (is_out ? system_out : system_err) = std::move(text);
  return {};
}

ReadResult<XmlString> TestCaseReader::read_child_text(std::string_view name, ElementPath& path,
                                                      PathElement step) {
  path.push_back(std::move(step));
  auto text = read_text_content(name, path);
  path.pop_back();
  return text;
}

}  // namespace corvane
