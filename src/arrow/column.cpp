// Column: see column.hpp.
#include "arrow/column.hpp"

#include <cstring>
#include <new>
#include <utility>

namespace corvane::arrow {
namespace {

std::size_t width_of(ColumnType type) {
  switch (type) {
    case ColumnType::Float64:
    case ColumnType::Timestamp:
      return 8;
    case ColumnType::Int32:
    case ColumnType::Text:
      return 4;
    case ColumnType::Outcome:
      return 1;
  }
  return 8;
}

}  // namespace

Column::Column(std::string name, ColumnType type, bool nullable, std::size_t narrow_limit)
    : name_(std::move(name)), type_(type), nullable_(nullable), narrow_limit_(narrow_limit) {
  // A text column's offsets start with the start of its first value, so
  // even an empty column has one. Every buffer gets memory, so none is
  // exported as a null pointer.
  values_.reserve(8);
  text_.reserve(8);
  validity_.reserve(8);
  if (type_ == ColumnType::Text) values_.append_value(std::int32_t{0});
}

void Column::mark_valid() {
  // Bits are set only once a bitmap exists; before the first null none is
  // kept, and making it sets every bit before that row.
  if (null_count_ != 0) {
    if (length_ % 8 == 0) validity_.append_value(std::uint8_t{0});
    validity_.data()[length_ / 8] |= static_cast<char>(1u << (length_ % 8));
  }
  ++length_;
}

void Column::append_null() {
  if (null_count_ == 0) {
    // The bitmap so far: every row valid.
    std::size_t bytes = static_cast<std::size_t>(length_ + 7) / 8;
    char* bits = validity_.append_raw(bytes);
    std::memset(bits, 0xFF, bytes);
    if (length_ % 8 != 0) bits[bytes - 1] = static_cast<char>((1u << (length_ % 8)) - 1);
  }
  if (length_ % 8 == 0) validity_.append_value(std::uint8_t{0});
  ++null_count_;
  ++length_;
  // A null still takes a value slot (zero), or repeats the last offset.
  if (type_ == ColumnType::Text) {
    append_offset();
  } else {
    std::memset(values_.append_raw(width_of(type_)), 0, width_of(type_));
  }
}

void Column::fill_nulls_to(std::int64_t rows) {
  while (length_ < rows) append_null();
}

void Column::append_text(std::string_view text) {
  text_.append(text.data(), text.size());
  append_offset();
  mark_valid();
}

void Column::append_offset() {
  std::size_t end = text_.size();
  if (!wide_offsets_ && end > narrow_limit_) widen_offsets();
  if (wide_offsets_) {
    values_.append_value(static_cast<std::int64_t>(end));
  } else {
    values_.append_value(static_cast<std::int32_t>(end));
  }
}

// Past 2 GiB of text the column becomes large_utf8: its 32-bit offsets so
// far are rewritten as 64-bit ones.
void Column::widen_offsets() {
  std::size_t count = values_.size() / sizeof(std::int32_t);
  GrowableBuffer wide;
  for (std::size_t i = 0; i < count; ++i) {
    std::int32_t offset;
    std::memcpy(&offset, values_.data() + i * sizeof(offset), sizeof(offset));
    wide.append_value(static_cast<std::int64_t>(offset));
  }
  values_ = std::move(wide);
  wide_offsets_ = true;
}

void Column::shrink_to_fit() noexcept {
  validity_.shrink_to_fit();
  values_.shrink_to_fit();
  text_.shrink_to_fit();
}

bool Column::is_null(std::int64_t row) const noexcept {
  if (null_count_ == 0) return false;
  return ((static_cast<unsigned char>(validity_.data()[row / 8]) >> (row % 8)) & 1u) == 0;
}

std::string_view Column::text_at(std::int64_t row) const noexcept {
  std::int64_t start, end;
  if (wide_offsets_) {
    start = value_at<std::int64_t>(row);
    end = value_at<std::int64_t>(row + 1);
  } else {
    start = value_at<std::int32_t>(row);
    end = value_at<std::int32_t>(row + 1);
  }
  return {text_.data() + start, static_cast<std::size_t>(end - start)};
}

}  // namespace corvane::arrow
