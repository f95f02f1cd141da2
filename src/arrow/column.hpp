// One typed column of the case table, built by appending one value (or a
// null) per row: the Arrow layout itself (a validity bitmap made only once
// a null appears, then fixed-width values, or offsets and text bytes), so
// exporting it is handing out pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "arrow/growable_buffer.hpp"

namespace corvane::arrow {

enum class ColumnType : std::uint8_t {
  Text,       // utf8, or large_utf8 once the bytes outgrow 32-bit offsets
  Float64,    // seconds
  Timestamp,  // microseconds since the epoch, UTC
  Int32,
  Outcome,  // int8 index into kOutcomeNames, exported as a dictionary
};

// The outcomes of a test case, in dictionary order.
enum class Outcome : std::int8_t { Passed, Flaky, Failed, Error, Skipped };
inline constexpr std::string_view kOutcomeNames[] = {"passed", "flaky", "failed", "error",
                                                     "skipped"};

class Column {
 public:
  // A text column's bytes up to `narrow_limit` keep 32-bit offsets (a
  // lower limit lets tests reach the widening).
  Column(std::string name, ColumnType type, bool nullable,
         std::size_t narrow_limit = std::numeric_limits<std::int32_t>::max());

  void append_text(std::string_view text);
  void append_float64(double value) { append_fixed(value); }
  void append_timestamp(std::int64_t micros) { append_fixed(micros); }
  void append_int32(std::int32_t value) { append_fixed(value); }
  void append_outcome(Outcome outcome) { append_fixed(static_cast<std::int8_t>(outcome)); }
  void append_null();
  // Nulls until the column holds `rows` rows.
  void fill_nulls_to(std::int64_t rows);
  void shrink_to_fit() noexcept;

  const std::string& name() const noexcept { return name_; }
  ColumnType type() const noexcept { return type_; }
  bool nullable() const noexcept { return nullable_; }
  bool wide_offsets() const noexcept { return wide_offsets_; }
  std::int64_t length() const noexcept { return length_; }
  std::int64_t null_count() const noexcept { return null_count_; }
  bool is_null(std::int64_t row) const noexcept;
  // The validity bitmap, or null while there is no null.
  const void* validity() const noexcept { return null_count_ ? validity_.data() : nullptr; }
  // Fixed-width values, or the offsets of a text column.
  const void* values() const noexcept { return values_.data(); }
  const void* text_bytes() const noexcept { return text_.data(); }
  std::string_view text_at(std::int64_t row) const noexcept;
  template <class T>
  T value_at(std::int64_t row) const noexcept {
    T value;
    __builtin_memcpy(&value, values_.data() + row * sizeof(T), sizeof(T));
    return value;
  }

 private:
  template <class T>
  void append_fixed(T value) {
    values_.append_value(value);
    mark_valid();
  }
  void mark_valid();
  void append_offset();
  void widen_offsets();

  std::string name_;
  ColumnType type_;
  bool nullable_;
  std::size_t narrow_limit_;
  bool wide_offsets_ = false;
  std::int64_t length_ = 0;
  std::int64_t null_count_ = 0;
  GrowableBuffer validity_;
  GrowableBuffer values_;
  GrowableBuffer text_;
};

}  // namespace corvane::arrow
