// Feeds arbitrary bytes to the XML event reader, iterating the attributes of
// every tag and unescaping every value and text: nothing may crash, read out
// of bounds, hand out a view outside the input, or run past one event per byte.
// The reader's text scan is checked against its events on the same bytes, and
// its shortcut for plain tags against the general tag rule and the walk.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "xml_read/attributes.hpp"
#include "xml_read/escape.hpp"
#include "xml_read/xml_reader.hpp"

namespace {

void check_inside(std::string_view part, std::string_view whole) {
  if (part.empty()) return;
  if (part.data() < whole.data() || part.data() + part.size() > whole.data() + whole.size()) {
    std::abort();
  }
}

// The reader's text scan must give what its events give: text and the
// predefined entities appended, then the same next event, at the same offset.
void check_text_scan(std::string_view input) {
  corvane::XmlReader by_events(input);
  corvane::XmlReader scanning(input);
  std::string expected;
  std::string text;
  for (std::size_t i = 0; i <= input.size() + 1; ++i) {
    scanning.append_text(text);
    auto event = by_events.next();
    for (; event; event = by_events.next()) {
      if (event->kind == corvane::EventKind::Text) {
        expected += event->bytes;
        continue;
      }
      const auto entity = event->kind == corvane::EventKind::Reference
                              ? corvane::resolve_xml_entity(event->bytes)
                              : std::nullopt;
      if (!entity) break;
      expected += *entity;
    }
    const auto after = scanning.next();
    if (text != expected || after.has_value() != event.has_value() ||
        scanning.offset() != by_events.offset() ||
        scanning.reached_end() != by_events.reached_end()) {
      std::abort();
    }
    if (!after) return;
    if (after->kind != event->kind || after->bytes != event->bytes) std::abort();
    if (after->kind == corvane::EventKind::Eof) return;
  }
  std::abort();
}

// The content of the tag at `start` by the general rule: up to the first '>'
// outside quotes, without the '/' of an empty-element tag.
std::string_view general_tag_content(std::string_view input, std::size_t start) {
  std::size_t at = start + 1;
  while (at < input.size() && input[at] != '>') {
    if (input[at] == '"' || input[at] == '\'') {
      at = input.find(input[at], at + 1);
      if (at == std::string_view::npos) std::abort();
    }
    ++at;
  }
  if (at >= input.size()) std::abort();
  std::string_view content = input.substr(start + 1, at - start - 1);
  if (content.ends_with('/')) content.remove_suffix(1);
  return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_text_scan(input);
  // The first byte chooses whether start tags are skipped whole, so both the
  // event loop and skip_element see every shape of input.
  const bool skip = size > 0 && (data[0] & 1) != 0;
  corvane::XmlReader reader(input);
  std::string scratch;
  for (std::size_t i = 0; i <= size + 1; ++i) {
    const std::size_t start = reader.offset();
    auto event = reader.next();
    if (!event) {
      // Every error can be described, with its place and a reason.
      if (!reader.describe(event.error()).starts_with("line ")) std::abort();
      return 0;
    }
    check_inside(event->bytes, input);
    switch (event->kind) {
      case corvane::EventKind::Eof:
        return 0;
      case corvane::EventKind::Start:
      case corvane::EventKind::Empty: {
        if (event->name().empty()) std::abort();
        const std::string_view content = general_tag_content(input, start);
        if (content.data() != event->bytes.data() || content.size() != event->bytes.size()) {
          std::abort();
        }
        // Attributes the tag scan found are exactly those the walk yields.
        const auto scanned = reader.scanned_attributes(*event);
        std::size_t walked = 0;
        corvane::AttributeIterator it(event->content());
        for (std::size_t n = 0; n <= event->content().size(); ++n) {
          auto attribute = it.next();
          if (!attribute) break;
          if (!attribute->has_value()) {
            if (attribute->error().text.empty() || scanned.data() != nullptr) std::abort();
            break;
          }
          if (scanned.data() != nullptr &&
              (walked >= scanned.size() || scanned[walked].key.data() != (*attribute)->key.data() ||
               scanned[walked].key.size() != (*attribute)->key.size() ||
               scanned[walked].value.data() != (*attribute)->value.data() ||
               scanned[walked].value.size() != (*attribute)->value.size())) {
            std::abort();
          }
          ++walked;
          check_inside((*attribute)->key, event->content());
          check_inside((*attribute)->value, event->content());
          (void)corvane::unescape((*attribute)->value, scratch);
        }
        if (scanned.data() != nullptr && walked != scanned.size()) std::abort();
        if (skip && event->kind == corvane::EventKind::Start) {
          if (auto skipped = reader.skip_element(event->name()); !skipped) {
            if (!reader.describe(skipped.error()).starts_with("line ")) std::abort();
            return 0;
          }
        }
        break;
      }
      default:
        (void)corvane::unescape(event->bytes, scratch);
        break;
    }
  }
  std::abort();  // more events than input bytes: the reader did not advance
}
