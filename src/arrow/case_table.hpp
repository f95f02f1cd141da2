// The test cases of reports as a table, one row per case, built from the
// report model with no Python involved: fixed columns first (kFixedColumns),
// then one text column per extra attribute name.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "arrow/column.hpp"
#include "model/report.hpp"

namespace corvane::arrow {

inline constexpr std::string_view kFixedColumns[] = {
    "source",    "suite",           "classname", "name", "outcome",    "time",
    "timestamp", "suite_timestamp", "message",   "type", "flaky_runs", "reruns",
};

// Without a chosen list, this many distinct extra attribute names at most
// become columns: each costs every row a slot, so a document inventing a
// new name per case must not multiply the table by its rows.
inline constexpr std::size_t kMaxExtraColumns = 64;

struct CaseTable {
  std::int64_t rows = 0;
  std::vector<Column> columns;
};

class CaseTableBuilder {
 public:
  // `chosen_extras`: the extra attribute names that become columns, in this
  // order; nullopt: every name met, in order of first appearance.
  explicit CaseTableBuilder(std::optional<std::vector<std::string>> chosen_extras = std::nullopt);

  // One row per test case of `suite`; `source` names where the report came
  // from (nullopt: a null). Fails, with a message, when the extra names
  // exceed kMaxExtraColumns; the builder must then be dropped.
  [[nodiscard]] std::expected<void, std::string> add_suite(const TestSuite& suite,
                                                           std::optional<std::string_view> source);

  // The table; the builder is left empty.
  CaseTable finish() &&;

 private:
  struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };

  void add_case(const TestCase& test_case, const TestSuite& suite,
                std::optional<std::string_view> source);
  [[nodiscard]] std::expected<void, std::string> add_extras(const ExtraMap& extra);
  // The column of an extra name, made when every name is taken; null when
  // the name is not one of the chosen ones.
  [[nodiscard]] std::expected<Column*, std::string> extra_column(std::string_view key);
  // Appends an empty column for `key`; returns its place among the extras.
  std::size_t add_extra_column(std::string_view key);
  Column& column(std::size_t index) { return table_.columns[index]; }

  CaseTable table_;
  bool every_extra_;
  // The extra names with a column, in column order, and each one's place.
  std::vector<std::string> extra_keys_;
  std::unordered_map<std::string, std::size_t, StringHash, std::equal_to<>> extra_index_;
  // Cases of one producer carry the same names in the same order: the
  // extra after the last one used is tried before the map.
  std::size_t next_guess_ = 0;
};

}  // namespace corvane::arrow
