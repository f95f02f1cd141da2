// The C stream export: see stream_export.hpp.
#include "arrow/stream_export.hpp"

#include <cerrno>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace corvane::arrow {
namespace {

// ---- Schemas --------------------------------------------------------------

// Releases the exported structs still held: a consumer may have moved some
// out (clearing their release), and a failed export leaves some unfilled.
template <class Struct>
void release_held(std::vector<Struct>& children, std::unique_ptr<Struct>& dictionary) noexcept {
  for (Struct& child : children) {
    if (child.release) child.release(&child);
  }
  if (dictionary && dictionary->release) dictionary->release(dictionary.get());
}

// What one exported schema owns: its texts and its children.
struct SchemaOwner {
  const char* format = "";  // a literal
  std::string name;
  std::vector<ArrowSchema> children;
  std::vector<ArrowSchema*> child_pointers;
  std::unique_ptr<ArrowSchema> dictionary;

  ~SchemaOwner() { release_held(children, dictionary); }
};

void release_schema(ArrowSchema* schema) noexcept {
  delete static_cast<SchemaOwner*>(schema->private_data);
  schema->release = nullptr;
}

// The owner is made first and filled in; `out` is written only at the end,
// so a failed allocation leaves it untouched and nothing held.
void fill_schema(std::unique_ptr<SchemaOwner> owner, std::int64_t flags, ArrowSchema* out) {
  owner->child_pointers.reserve(owner->children.size());
  for (ArrowSchema& child : owner->children) owner->child_pointers.push_back(&child);
  SchemaOwner* held = owner.release();
  *out = ArrowSchema{
      held->format,
      held->name.c_str(),
      nullptr,
      flags,
      static_cast<std::int64_t>(held->children.size()),
      held->child_pointers.empty() ? nullptr : held->child_pointers.data(),
      held->dictionary.get(),
      &release_schema,
      held,
  };
}

const char* format_of(const Column& column) {
  switch (column.type()) {
    case ColumnType::Text:
      return column.wide_offsets() ? "U" : "u";
    case ColumnType::Float64:
      return "g";
    case ColumnType::Timestamp:
      return "tsu:UTC";
    case ColumnType::Int32:
      return "i";
    case ColumnType::Outcome:
      return "c";  // int8 indices of a dictionary
  }
  return "n";
}

void export_column_schema(const Column& column, ArrowSchema* out) {
  auto owner = std::make_unique<SchemaOwner>();
  owner->format = format_of(column);
  owner->name = column.name();
  if (column.type() == ColumnType::Outcome) {
    auto values = std::make_unique<SchemaOwner>();
    values->format = "u";
    owner->dictionary = std::make_unique<ArrowSchema>();
    fill_schema(std::move(values), ARROW_FLAG_NULLABLE, owner->dictionary.get());
  }
  fill_schema(std::move(owner), column.nullable() ? ARROW_FLAG_NULLABLE : 0, out);
}

// ---- Arrays ---------------------------------------------------------------

// What one exported array owns: a share of the table (whose buffers it
// points into), its buffer pointer list and its children.
struct ArrayOwner {
  std::shared_ptr<const CaseTable> table;
  std::vector<const void*> buffers;
  std::vector<ArrowArray> children;
  std::vector<ArrowArray*> child_pointers;
  std::unique_ptr<ArrowArray> dictionary;

  ~ArrayOwner() { release_held(children, dictionary); }
};

void release_array(ArrowArray* array) noexcept {
  delete static_cast<ArrayOwner*>(array->private_data);
  array->release = nullptr;
}

void fill_array(std::unique_ptr<ArrayOwner> owner, std::int64_t length, std::int64_t null_count,
                ArrowArray* out) {
  owner->child_pointers.reserve(owner->children.size());
  for (ArrowArray& child : owner->children) owner->child_pointers.push_back(&child);
  ArrayOwner* held = owner.release();
  *out = ArrowArray{
      length,
      null_count,
      0,
      static_cast<std::int64_t>(held->buffers.size()),
      static_cast<std::int64_t>(held->children.size()),
      held->buffers.data(),
      held->child_pointers.empty() ? nullptr : held->child_pointers.data(),
      held->dictionary.get(),
      &release_array,
      held,
  };
}

// The outcome names as a utf8 array in static storage.
constexpr std::int32_t kOutcomeOffsets[] = {0, 6, 11, 17, 22, 29};
constexpr char kOutcomeBytes[] = "passedflakyfailederrorskipped";
static_assert(std::size(kOutcomeOffsets) == std::size(kOutcomeNames) + 1);
static_assert(sizeof(kOutcomeBytes) - 1 == kOutcomeOffsets[std::size(kOutcomeNames)]);

void export_outcome_names(ArrowArray* out) {
  auto owner = std::make_unique<ArrayOwner>();
  owner->buffers = {nullptr, kOutcomeOffsets, kOutcomeBytes};
  fill_array(std::move(owner), std::size(kOutcomeNames), 0, out);
}

void export_column(const std::shared_ptr<const CaseTable>& table, const Column& column,
                   ArrowArray* out) {
  auto owner = std::make_unique<ArrayOwner>();
  owner->table = table;
  owner->buffers = {column.validity(), column.values()};
  if (column.type() == ColumnType::Text) owner->buffers.push_back(column.text_bytes());
  if (column.type() == ColumnType::Outcome) {
    owner->dictionary = std::make_unique<ArrowArray>();
    export_outcome_names(owner->dictionary.get());
  }
  fill_array(std::move(owner), column.length(), column.null_count(), out);
}

// ---- The stream -----------------------------------------------------------

struct StreamOwner {
  std::shared_ptr<const CaseTable> table;
  bool batch_given = false;
  std::string last_error;
};

StreamOwner& stream_owner(ArrowArrayStream* stream) {
  return *static_cast<StreamOwner*>(stream->private_data);
}

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) noexcept {
  try {
    export_schema(*stream_owner(stream).table, out);
    return 0;
  } catch (const std::bad_alloc&) {
    stream_owner(stream).last_error = "out of memory";
    return ENOMEM;
  }
}

// The whole table is one batch; after it, the end of the stream (a
// released array).
int stream_get_next(ArrowArrayStream* stream, ArrowArray* out) noexcept {
  StreamOwner& owner = stream_owner(stream);
  if (owner.batch_given) {
    out->release = nullptr;
    return 0;
  }
  try {
    export_batch(owner.table, out);
    owner.batch_given = true;
    return 0;
  } catch (const std::bad_alloc&) {
    owner.last_error = "out of memory";
    return ENOMEM;
  }
}

const char* stream_last_error(ArrowArrayStream* stream) noexcept {
  const std::string& error = stream_owner(stream).last_error;
  return error.empty() ? nullptr : error.c_str();
}

void stream_release(ArrowArrayStream* stream) noexcept {
  delete static_cast<StreamOwner*>(stream->private_data);
  stream->release = nullptr;
}

}  // namespace

void export_schema(const CaseTable& table, ArrowSchema* out) {
  auto owner = std::make_unique<SchemaOwner>();
  owner->format = "+s";
  // Zeroed first: on a failure part-way the owner releases the children
  // already filled and skips the rest.
  owner->children.resize(table.columns.size());
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    export_column_schema(table.columns[i], &owner->children[i]);
  }
  fill_schema(std::move(owner), 0, out);
}

void export_batch(std::shared_ptr<const CaseTable> table, ArrowArray* out) {
  auto owner = std::make_unique<ArrayOwner>();
  owner->buffers = {nullptr};
  owner->children.resize(table->columns.size());
  for (std::size_t i = 0; i < table->columns.size(); ++i) {
    export_column(table, table->columns[i], &owner->children[i]);
  }
  std::int64_t rows = table->rows;
  owner->table = std::move(table);
  fill_array(std::move(owner), rows, 0, out);
}

void export_stream(std::shared_ptr<const CaseTable> table, ArrowArrayStream* out) {
  auto owner = std::make_unique<StreamOwner>();
  owner->table = std::move(table);
  *out = ArrowArrayStream{&stream_get_schema, &stream_get_next, &stream_last_error, &stream_release,
                          owner.release()};
}

}  // namespace corvane::arrow
