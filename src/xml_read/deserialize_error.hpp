// The one error value of report reading: what went wrong (a kind with its
// detail) and where (the element path, outermost step first). Its text form
// is the whole message the user sees, so every character of it is fixed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/optional_text.hpp"
#include "model/xml_string.hpp"

namespace corvane {

// The kinds of step an element path is made of.
enum class PathStep : std::uint8_t {
  TestSuites,
  TestSuite,  // index, optional name
  TestCase,   // index, optional name
  Properties,
  Property,  // index
  Failure,
  Error,
  Skipped,
  FlakyFailure,
  FlakyError,
  RerunFailure,
  RerunError,
  SystemOut,
  SystemErr,
  Attribute,  // name; also stands for the `stackTrace` child element
};

// One step of an element path. Steps without payload are made with the
// PathStep alone; the factories below make the steps that carry one.
class PathElement {
 public:
  explicit PathElement(PathStep step) noexcept : step_(step) {}

  static PathElement test_suite(std::size_t index, OptionalText name = std::nullopt) {
    return PathElement(PathStep::TestSuite, index, std::move(name));
  }
  static PathElement test_case(std::size_t index, OptionalText name = std::nullopt) {
    return PathElement(PathStep::TestCase, index, std::move(name));
  }
  static PathElement property(std::size_t index) {
    return PathElement(PathStep::Property, index, std::nullopt);
  }
  static PathElement attribute(XmlString name) {
    return PathElement(PathStep::Attribute, 0, std::move(name));
  }
  static PathElement attribute(std::string_view name) { return attribute(XmlString(name)); }

  PathStep step() const noexcept { return step_; }
  std::size_t index() const noexcept { return index_; }
  const OptionalText& name() const noexcept { return name_; }
  // Hands the name back to its owner: a reader lends an element's name to the
  // path while it reads the element's children, without copying it.
  OptionalText take_name() noexcept { return std::move(name_); }

  // Appends the step's text form, e.g. `testsuite[0]("unit")` or `@time`.
  void append_text(std::string& out) const;
  std::string text() const;

  bool operator==(const PathElement&) const = default;

 private:
  PathElement(PathStep step, std::size_t index, OptionalText name)
      : step_(step), index_(index), name_(std::move(name)) {}

  PathStep step_;
  std::size_t index_ = 0;
  OptionalText name_;
};

using ElementPath = std::vector<PathElement>;

// What went wrong. The detail that goes with a kind is kept in the error
// beside it; some kinds keep it without showing it.
enum class DeserializeErrorKind : std::uint8_t {
  XmlError,          // detail: the event reader's reason and place (not shown)
  InvalidUtf8,       // detail: not shown
  InvalidInteger,    // detail: the integer-parse reason
  InvalidTimestamp,  // detail: the attribute text as written
  InvalidDuration,   // detail: the attribute text as written
  InvalidUuid,       // detail: the UUID error text
  MissingAttribute,  // detail: the attribute name
  InvalidStructure,  // detail: a description
  AttrError,         // detail: the attribute iterator's error text
  EscapeError,       // detail: the unescaper's error text
};

inline constexpr std::size_t kDeserializeErrorKindCount =
    static_cast<std::size_t>(DeserializeErrorKind::EscapeError) + 1;

// The fixed text of a kind: the whole text for kinds whose detail is not
// shown, otherwise the part before the detail (e.g. "invalid duration: ").
std::string_view kind_label(DeserializeErrorKind kind) noexcept;
// Whether the kind's text form ends with its detail.
bool kind_shows_detail(DeserializeErrorKind kind) noexcept;

// Text form of a kind with its detail, e.g. "invalid duration: 1,5".
void append_kind_text(DeserializeErrorKind kind, std::string_view detail, std::string& out);
std::string kind_text(DeserializeErrorKind kind, std::string_view detail);

// Text form of a path: the steps' text forms joined by "/".
void append_path_text(const ElementPath& path, std::string& out);

struct DeserializeError {
  ElementPath path;
  DeserializeErrorKind kind = DeserializeErrorKind::XmlError;
  std::string detail;

  // The user-visible message: the kind's text alone for an empty path,
  // otherwise "at <path>: <kind text>".
  std::string text() const;
  // For an XmlError, the event reader's reason with its line and column
  // (e.g. "line 12, column 5: end tag </testcase> does not match <failure>"),
  // which text() leaves out; empty for every other kind.
  std::string_view reader_reason() const noexcept {
    return kind == DeserializeErrorKind::XmlError ? std::string_view(detail) : std::string_view();
  }

  bool operator==(const DeserializeError&) const = default;
};

// An error at a copy of `path`.
DeserializeError make_error(const ElementPath& path, DeserializeErrorKind kind,
                            std::string detail = {});

// An error at a copy of `path` extended by the step `@attribute`; with an
// empty attribute name the path is taken as it is (`extra` keys and values
// are reported at their element).
DeserializeError make_attribute_error(const ElementPath& path, std::string_view attribute,
                                      DeserializeErrorKind kind, std::string detail = {});

// The error for a required attribute that is absent: kind MissingAttribute
// naming it, at `path` extended by `@name`.
DeserializeError require_attribute(const ElementPath& path, std::string_view name);

}  // namespace corvane
