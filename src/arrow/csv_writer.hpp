// The case table as CSV (RFC 4180): a header of column names, then one line
// per row. A null is an empty field and an empty text a quoted one, so the
// two stay apart; timestamps are RFC 3339 in UTC, times shortest decimals.
#pragma once

#include <cstdint>
#include <string>

#include "arrow/case_table.hpp"

namespace corvane::arrow {

void append_csv_header(const CaseTable& table, std::string& out);
// Rows [begin, end), each ending in CRLF.
void append_csv_rows(const CaseTable& table, std::int64_t begin, std::int64_t end,
                     std::string& out);

}  // namespace corvane::arrow
