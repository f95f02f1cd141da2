// CaseTableBuilder: see case_table.hpp.
#include "arrow/case_table.hpp"

#include <algorithm>
#include <limits>
#include <utility>
#include <variant>

namespace corvane::arrow {
namespace {

enum Fixed : std::size_t {
  kSource,
  kSuite,
  kClassname,
  kName,
  kOutcome,
  kTime,
  kTimestamp,
  kSuiteTimestamp,
  kMessage,
  kType,
  kFlakyRuns,
  kReruns,
  kFixedCount,
};
static_assert(std::size(kFixedColumns) == kFixedCount);

ColumnType type_of(std::size_t fixed) {
  switch (fixed) {
    case kOutcome:
      return ColumnType::Outcome;
    case kTime:
      return ColumnType::Float64;
    case kTimestamp:
    case kSuiteTimestamp:
      return ColumnType::Timestamp;
    case kFlakyRuns:
    case kReruns:
      return ColumnType::Int32;
    default:
      return ColumnType::Text;
  }
}

bool nullable(std::size_t fixed) {
  return fixed != kSuite && fixed != kName && fixed != kOutcome && fixed != kFlakyRuns &&
         fixed != kReruns;
}

bool is_fixed_name(std::string_view name) {
  return std::ranges::find(kFixedColumns, name) != std::end(kFixedColumns);
}

// A leap second (held as second 59 with a second's worth of nanoseconds
// more) stays within second 59, as its last microsecond.
std::int64_t micros_of(const Timestamp& timestamp) {
  std::int64_t micros = std::min<std::uint32_t>(timestamp.nanoseconds, 999'999'999) / 1000;
  return timestamp.utc_seconds * 1'000'000 + micros;
}

double seconds_of(const Duration& duration) {
  return static_cast<double>(duration.seconds) + duration.nanoseconds * 1e-9;
}

std::int32_t count_of(std::size_t count) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(count, std::numeric_limits<std::int32_t>::max()));
}

void append_optional_text(Column& column, const OptionalText& text) {
  if (text) {
    column.append_text(text->view());
  } else {
    column.append_null();
  }
}

void append_optional_timestamp(Column& column, const std::optional<Timestamp>& timestamp) {
  if (timestamp) {
    column.append_timestamp(micros_of(*timestamp));
  } else {
    column.append_null();
  }
}

// An extra name that is also a fixed column's, or an earlier column's,
// takes the prefix "extra." until it is free.
std::string column_name_for(std::string_view key, const std::vector<Column>& columns) {
  std::string name(key);
  auto taken = [&](const std::string& candidate) {
    return is_fixed_name(candidate) || std::ranges::any_of(columns, [&](const Column& column) {
             return column.name() == candidate;
           });
  };
  while (taken(name)) name = "extra." + name;
  return name;
}

}  // namespace

CaseTableBuilder::CaseTableBuilder(std::optional<std::vector<std::string>> chosen_extras)
    : every_extra_(!chosen_extras) {
  for (std::size_t i = 0; i < kFixedCount; ++i) {
    table_.columns.emplace_back(std::string(kFixedColumns[i]), type_of(i), nullable(i));
  }
  if (chosen_extras) {
    for (const std::string& key : *chosen_extras) {
      if (!extra_index_.contains(key)) add_extra_column(key);
    }
  }
}

std::expected<void, std::string> CaseTableBuilder::add_suite(
    const TestSuite& suite, std::optional<std::string_view> source) {
  for (const TestCase& test_case : suite.test_cases) {
    add_case(test_case, suite, source);
    if (auto added = add_extras(test_case.extra); !added) return added;
    ++table_.rows;
    // Extra columns the case has no value for.
    for (std::size_t i = kFixedCount; i < table_.columns.size(); ++i) {
      column(i).fill_nulls_to(table_.rows);
    }
  }
  return {};
}

void CaseTableBuilder::add_case(const TestCase& test_case, const TestSuite& suite,
                                std::optional<std::string_view> source) {
  if (source) {
    column(kSource).append_text(*source);
  } else {
    column(kSource).append_null();
  }
  column(kSuite).append_text(suite.name.view());
  append_optional_text(column(kClassname), test_case.classname);
  column(kName).append_text(test_case.name.view());
  if (test_case.time) {
    column(kTime).append_float64(seconds_of(*test_case.time));
  } else {
    column(kTime).append_null();
  }
  append_optional_timestamp(column(kTimestamp), test_case.timestamp);
  append_optional_timestamp(column(kSuiteTimestamp), suite.timestamp);

  const auto& status = test_case.status.value();
  const OptionalText* message = nullptr;
  const OptionalText* type = nullptr;
  std::size_t flaky_runs = 0, reruns = 0;
  Outcome outcome = Outcome::Passed;
  if (const auto* success = std::get_if<Success>(&status)) {
    flaky_runs = success->flaky_runs.size();
    if (flaky_runs != 0) outcome = Outcome::Flaky;
  } else if (const auto* non_success = std::get_if<NonSuccess>(&status)) {
    outcome = non_success->kind == NonSuccessKind::Failure ? Outcome::Failed : Outcome::Error;
    message = &non_success->message;
    type = &non_success->type;
    reruns = non_success->reruns.size();
  } else if (const auto* skipped = std::get_if<Skipped>(&status)) {
    outcome = Outcome::Skipped;
    message = &skipped->message;
    type = &skipped->type;
  }
  column(kOutcome).append_outcome(outcome);
  if (message) {
    append_optional_text(column(kMessage), *message);
    append_optional_text(column(kType), *type);
  } else {
    column(kMessage).append_null();
    column(kType).append_null();
  }
  column(kFlakyRuns).append_int32(count_of(flaky_runs));
  column(kReruns).append_int32(count_of(reruns));
}

std::expected<void, std::string> CaseTableBuilder::add_extras(const ExtraMap& extra) {
  for (const auto& [key, value] : extra) {
    auto target = extra_column(key.view());
    if (!target) return std::unexpected(std::move(target.error()));
    // A map holds each key once, so a column gets at most one value a row.
    if (*target) (*target)->append_text(value.view());
  }
  return {};
}

std::expected<Column*, std::string> CaseTableBuilder::extra_column(std::string_view key) {
  std::size_t slot;
  if (next_guess_ < extra_keys_.size() && extra_keys_[next_guess_] == key) {
    slot = next_guess_;
  } else if (auto found = extra_index_.find(key); found != extra_index_.end()) {
    slot = found->second;
  } else if (!every_extra_) {
    return nullptr;
  } else {
    if (extra_keys_.size() == kMaxExtraColumns) {
      return std::unexpected("more than " + std::to_string(kMaxExtraColumns) +
                             " distinct extra attribute names; choose the ones to keep as "
                             "columns with extras=[...]");
    }
    slot = add_extra_column(key);
    column(kFixedCount + slot).fill_nulls_to(table_.rows);
  }
  next_guess_ = slot + 1;
  return &column(kFixedCount + slot);
}

std::size_t CaseTableBuilder::add_extra_column(std::string_view key) {
  table_.columns.emplace_back(column_name_for(key, table_.columns), ColumnType::Text, true);
  extra_keys_.emplace_back(key);
  extra_index_.emplace(std::string(key), extra_keys_.size() - 1);
  return extra_keys_.size() - 1;
}

CaseTable CaseTableBuilder::finish() && {
  for (Column& column : table_.columns) column.shrink_to_fit();
  return std::move(table_);
}

}  // namespace corvane::arrow
