// Text forms of deserialization errors, their kinds and their path steps.
#include "xml_read/deserialize_error.hpp"

#include <array>
#include <charconv>
#include <utility>

namespace corvane {
namespace {

struct KindText {
  std::string_view label;
  bool shows_detail;
};

// Indexed by DeserializeErrorKind; the static_assert below keeps the two in step.
constexpr std::array<KindText, kDeserializeErrorKindCount> kKindTexts{{
    {"error parsing XML", false},
    {"invalid UTF-8", false},
    {"invalid integer: ", true},
    {"invalid timestamp: ", true},
    {"invalid duration: ", true},
    {"invalid UUID: ", true},
    {"missing required attribute: ", true},
    {"invalid structure: ", true},
    {"attribute error: ", true},
    {"XML unescape error: ", true},
}};
static_assert(kKindTexts.size() == kDeserializeErrorKindCount);

// Indexed by PathStep: the step's name as printed.
constexpr std::array<std::string_view, 15> kStepNames{
    "testsuites",   "testsuite",  "testcase",   "properties",   "property",
    "failure",      "error",      "skipped",    "flakyFailure", "flakyError",
    "rerunFailure", "rerunError", "system-out", "system-err",   "@",
};
static_assert(kStepNames.size() == static_cast<std::size_t>(PathStep::Attribute) + 1);

void append_decimal(std::size_t value, std::string& out) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

}  // namespace

void PathElement::append_text(std::string& out) const {
  out += kStepNames[static_cast<std::size_t>(step_)];
  switch (step_) {
    case PathStep::TestSuite:
    case PathStep::TestCase:
    case PathStep::Property:
      out += '[';
      append_decimal(index_, out);
      out += ']';
      // Names are printed as they are: a quotation mark inside one is not
      // escaped, so `a"b` shows as ("a"b").
      if (name_) {
        out += "(\"";
        out += name_->view();
        out += "\")";
      }
      break;
    case PathStep::Attribute:
      if (name_) out += name_->view();
      break;
    default:
      break;
  }
}

std::string PathElement::text() const {
  std::string out;
  append_text(out);
  return out;
}

std::string_view kind_label(DeserializeErrorKind kind) noexcept {
  return kKindTexts[static_cast<std::size_t>(kind)].label;
}

bool kind_shows_detail(DeserializeErrorKind kind) noexcept {
  return kKindTexts[static_cast<std::size_t>(kind)].shows_detail;
}

void append_kind_text(DeserializeErrorKind kind, std::string_view detail, std::string& out) {
  const KindText& entry = kKindTexts[static_cast<std::size_t>(kind)];
  out += entry.label;
  if (entry.shows_detail) out += detail;
}

std::string kind_text(DeserializeErrorKind kind, std::string_view detail) {
  std::string out;
  append_kind_text(kind, detail, out);
  return out;
}

void append_path_text(const ElementPath& path, std::string& out) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i != 0) out += '/';
    path[i].append_text(out);
  }
}

std::string DeserializeError::text() const {
  std::string out;
  if (!path.empty()) {
    out += "at ";
    append_path_text(path, out);
    out += ": ";
  }
  append_kind_text(kind, detail, out);
  return out;
}

DeserializeError make_error(const ElementPath& path, DeserializeErrorKind kind,
                            std::string detail) {
  return DeserializeError{path, kind, std::move(detail)};
}

DeserializeError make_attribute_error(const ElementPath& path, std::string_view attribute,
                                      DeserializeErrorKind kind, std::string detail) {
  DeserializeError error{{}, kind, std::move(detail)};
  error.path.reserve(path.size() + 1);
  error.path = path;
  if (!attribute.empty()) error.path.push_back(PathElement::attribute(attribute));
  return error;
}

DeserializeError require_attribute(const ElementPath& path, std::string_view name) {
  return make_attribute_error(path, name, DeserializeErrorKind::MissingAttribute,
                              std::string(name));
}

}  // namespace corvane
