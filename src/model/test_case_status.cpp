#include "model/test_case_status.hpp"

namespace corvane {

namespace {

// The three optional texts live on NonSuccess and Skipped alike.
template <typename Select>
void set_text(TestCaseStatus::Variant& value, XmlString text, Select select) {
  if (auto* s = std::get_if<NonSuccess>(&value)) {
    select(*s) = std::move(text);
  } else if (auto* k = std::get_if<Skipped>(&value)) {
    select(*k) = std::move(text);
  }
}

constexpr auto kMessage = [](auto& s) -> OptionalText& { return s.message; };
constexpr auto kType = [](auto& s) -> OptionalText& { return s.type; };
constexpr auto kDescription = [](auto& s) -> OptionalText& { return s.description; };

}  // namespace

void TestCaseStatus::set_message(std::string_view text) {
  set_text(value_, XmlString(text), kMessage);
}
void TestCaseStatus::set_type(std::string_view text) { set_text(value_, XmlString(text), kType); }
void TestCaseStatus::set_description(std::string_view text) {
  set_text(value_, XmlString(text), kDescription);
}

void TestCaseStatus::set_message(XmlString text) { set_text(value_, std::move(text), kMessage); }
void TestCaseStatus::set_type(XmlString text) { set_text(value_, std::move(text), kType); }
void TestCaseStatus::set_description(XmlString text) {
  set_text(value_, std::move(text), kDescription);
}

void TestCaseStatus::set_rerun_kind(RerunKind kind) {
  if (auto* s = std::get_if<NonSuccess>(&value_)) s->rerun_kind = kind;
}

void TestCaseStatus::add_rerun(TestRerun rerun) {
  if (auto* s = std::get_if<Success>(&value_)) {
    s->flaky_runs.push_back(std::move(rerun));
  } else if (auto* n = std::get_if<NonSuccess>(&value_)) {
    n->reruns.push_back(std::move(rerun));
  }
}

}  // namespace corvane
