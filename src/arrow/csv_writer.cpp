// CSV writing: see csv_writer.hpp.
#include "arrow/csv_writer.hpp"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <string_view>

namespace corvane::arrow {
namespace {

void append_field(std::string_view text, std::string& out) {
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

template <class T>
void append_number(T value, std::string& out) {
  char digits[32];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

// "YYYY-MM-DDTHH:MM:SS[.ffffff]Z", the fraction only when there is one.
void append_timestamp(std::int64_t micros, std::string& out) {
  using namespace std::chrono;
  sys_time<microseconds> instant{microseconds{micros}};
  auto day = floor<days>(instant);
  year_month_day date{day};
  hh_mm_ss time{instant - day};
  char text[48];
  int length = std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()));
  out.append(text, static_cast<std::size_t>(length));
  if (auto fraction = time.subseconds().count(); fraction != 0) {
    length = std::snprintf(text, sizeof text, ".%06lld", static_cast<long long>(fraction));
    out.append(text, static_cast<std::size_t>(length));
  }
  out += 'Z';
}

void append_cell(const Column& column, std::int64_t row, std::string& out) {
  if (column.is_null(row)) return;
  switch (column.type()) {
    case ColumnType::Text:
      append_field(column.text_at(row), out);
      break;
    case ColumnType::Float64:
      append_number(column.value_at<double>(row), out);
      break;
    case ColumnType::Timestamp:
      append_timestamp(column.value_at<std::int64_t>(row), out);
      break;
    case ColumnType::Int32:
      append_number(column.value_at<std::int32_t>(row), out);
      break;
    case ColumnType::Outcome:
      out += kOutcomeNames[column.value_at<std::int8_t>(row)];
      break;
  }
}

}  // namespace

void append_csv_header(const CaseTable& table, std::string& out) {
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (i != 0) out += ',';
    append_field(table.columns[i].name(), out);
  }
  out += "\r\n";
}

void append_csv_rows(const CaseTable& table, std::int64_t begin, std::int64_t end,
                     std::string& out) {
  for (std::int64_t row = begin; row < end; ++row) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (i != 0) out += ',';
      append_cell(table.columns[i], row, out);
    }
    out += "\r\n";
  }
}

}  // namespace corvane::arrow
