// Hands a case table to Arrow consumers through the C stream interface: one
// record batch (a struct array of every column), its schema, and release
// callbacks that free what each exported struct owns. The buffers are the
// table's own, shared, not copied: every exported array keeps the table
// alive until the consumer releases it, in any order.
#pragma once

#include <memory>

#include "arrow/arrow_c_abi.hpp"
#include "arrow/case_table.hpp"

namespace corvane::arrow {

// Fills `out` with a new stream over `table`. Throws std::bad_alloc, leaving
// `out` untouched; the stream's own callbacks never throw.
void export_stream(std::shared_ptr<const CaseTable> table, ArrowArrayStream* out);

// The same table's schema and record batch on their own (what the stream's
// callbacks give), for consumers of the plain data interface.
void export_schema(const CaseTable& table, ArrowSchema* out);
void export_batch(std::shared_ptr<const CaseTable> table, ArrowArray* out);

}  // namespace corvane::arrow
