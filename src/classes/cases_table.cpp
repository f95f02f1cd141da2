// The Python class CasesTable: see cases_table.hpp. Only the conversion of
// each suite's objects to the model needs the GIL; filling the columns from
// the model, formatting CSV and everything an Arrow consumer does with the
// exported stream run without it.
#include "cases_table.hpp"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arrow/case_table.hpp"
#include "arrow/csv_writer.hpp"
#include "arrow/stream_export.hpp"
#include "errors.hpp"
#include "py/args.hpp"
#include "py/entry.hpp"
#include "py/convert.hpp"
#include "py/gil.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/ref.hpp"
#include "py/type_cache.hpp"
#include "report.hpp"
#include "suite.hpp"

namespace corvane {
namespace {

using arrow::CaseTable;
using arrow::CaseTableBuilder;

struct CasesTableState {
  std::shared_ptr<const CaseTable> table;
};

PyObject* type_cache = nullptr;

const CaseTable& table_of(PyObject* self) { return *py::state_of<CasesTableState>(self).table; }

// Runs `work` (C++ only, touching no Python object) with the GIL released.
// An exception it throws leaves with the GIL held again, for the entry
// adapter to raise as MemoryError or SystemError.
template <class Work>
void without_gil(Work&& work) {
  py::GilReleased released;
  work();
}

void raise_value_error(const std::string& message) {
  PyErr_SetString(PyExc_ValueError, message.c_str());
}

// The next item of `iterator`, or an empty Ref at its end (check
// PyErr_Occurred for a failure).
py::Ref next_item(PyObject* iterator) { return py::Ref::steal(PyIter_Next(iterator)); }

// An iterable of names, not a str: a str would iterate as its characters.
[[nodiscard]] py::Result<py::Ref> iterate_names(PyObject* names, const char* parameter) {
  if (PyUnicode_Check(names)) {
    PyErr_Format(PyExc_TypeError, "%s must be an iterable of str, not a str", parameter);
    return py::raised();
  }
  py::Ref iterator = py::Ref::steal(PyObject_GetIter(names));
  if (!iterator) return py::raised();
  return iterator;
}

[[nodiscard]] py::Result<std::optional<std::vector<std::string>>> chosen_extras(PyObject* extras) {
  if (extras == nullptr || extras == Py_None) return std::nullopt;
  auto iterator = iterate_names(extras, "extras");
  if (!iterator) return py::raised();
  std::vector<std::string> names;
  while (py::Ref name = next_item(iterator->get())) {
    auto text = py::noted("extras", py::to_str(name.get()));
    if (!text) return py::raised();
    names.emplace_back(*text);
  }
  if (PyErr_Occurred()) return py::raised();
  return names;
}

// Adds every test case of `report` to the table, suite by suite: each
// suite's model is made with the GIL, its rows are added without it.
[[nodiscard]] py::Result<void> add_report(CaseTableBuilder& builder, PyObject* report,
                                          const std::optional<std::string>& source) {
  auto suite_type = test_suite_type();
  if (!suite_type) return py::raised();
  py::Ref suites = py::Ref::steal(PyObject_GetAttrString(report, "test_suites"));
  if (!suites) return py::raised();
  py::Ref iterator = py::Ref::steal(PyObject_GetIter(suites.get()));
  if (!iterator) return py::raised();
  while (py::Ref suite = next_item(iterator.get())) {
    if (!py::is_instance(suite.get(), py::as_type(*suite_type))) {
      py::raise_not_instance(suite.get(), "TestSuite");
      return py::raised();
    }
    auto model = test_suite_to_model(suite.get());
    if (!model) return py::raised();
    std::expected<void, std::string> added;
    without_gil([&] {
      added = builder.add_suite(*model, source);
      TestSuite dropped = std::move(*model);
    });
    if (!added) {
      raise_value_error(added.error());
      return py::raised();
    }
  }
  if (PyErr_Occurred()) return py::raised();
  return {};
}

// The source of the next report: the next item of `sources` (a str or
// None), or None when there are no sources.
[[nodiscard]] py::Result<std::optional<std::string>> next_source(PyObject* sources) {
  if (sources == nullptr) return std::nullopt;
  py::Ref source = next_item(sources);
  if (!source) {
    if (!PyErr_Occurred()) raise_value_error("sources has fewer items than reports");
    return py::raised();
  }
  auto text = py::noted("sources", py::to_optional_str(source.get()));
  if (!text) return py::raised();
  if (!*text) return std::nullopt;
  return std::string(**text);
}

constexpr std::array kNewParams = {
    py::required("reports"),
    py::optional("sources"),
    py::keyword("extras"),
};

PyObject* make_cases_table(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("CasesTable.__new__()", kNewParams, args, kwargs);
  if (!parsed) return nullptr;
  auto [reports_argument, sources_argument, extras_argument] = *parsed;
  auto report_class = report_type();
  if (!report_class) return nullptr;
  auto extras = chosen_extras(extras_argument);
  if (!extras) return nullptr;
  py::Ref reports = py::Ref::steal(PyObject_GetIter(reports_argument));
  if (!reports) return nullptr;
  py::Ref sources;
  if (sources_argument != nullptr && sources_argument != Py_None) {
    auto iterator = iterate_names(sources_argument, "sources");
    if (!iterator) return nullptr;
    sources = std::move(*iterator);
  }
  CaseTableBuilder builder(std::move(*extras));
  while (py::Ref report = next_item(reports.get())) {
    if (!py::is_instance(report.get(), py::as_type(*report_class))) {
      py::raise_not_instance(report.get(), "Report");
      return nullptr;
    }
    auto source = next_source(sources.get());
    if (!source) return nullptr;
    if (!add_report(builder, report.get(), *source)) return nullptr;
  }
  if (PyErr_Occurred()) return nullptr;
  if (sources && next_item(sources.get())) {
    raise_value_error("sources has more items than reports");
    return nullptr;
  }
  if (PyErr_Occurred()) return nullptr;
  CasesTableState stored{std::make_shared<const CaseTable>(std::move(builder).finish())};
  auto self = py::new_object(type, std::move(stored));
  if (!self) return nullptr;
  return self->release();
}

constexpr const char* kStreamCapsuleName = "arrow_array_stream";

void release_stream_capsule(PyObject* capsule) {
  auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, kStreamCapsuleName));
  if (stream == nullptr) {
    PyErr_Clear();
    return;
  }
  // A consumer that took the stream over cleared its release.
  if (stream->release != nullptr) stream->release(stream);
  delete stream;
}

constexpr std::array kStreamParams = {py::optional("requested_schema")};

// The requested schema is not followed: the table has one layout, which a
// consumer that asked for another casts as it needs.
PyObject* arrow_c_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("CasesTable.__arrow_c_stream__()", kStreamParams, args, kwargs);
  if (!parsed) return nullptr;
  auto stream = std::unique_ptr<ArrowArrayStream>(new (std::nothrow) ArrowArrayStream{});
  if (!stream) return PyErr_NoMemory();
  arrow::export_stream(py::state_of<CasesTableState>(self).table, stream.get());
  py::Ref capsule =
      py::Ref::steal(PyCapsule_New(stream.get(), kStreamCapsuleName, &release_stream_capsule));
  if (!capsule) {
    stream->release(stream.get());
    return nullptr;
  }
  stream.release();
  return capsule.release();
}

// CSV goes to the file in pieces of this many rows, each formatted without
// the GIL, so the whole text never exists at once.
constexpr std::int64_t kCsvRowsPerWrite = 8192;

constexpr std::array kWriteCsvParams = {py::required("file")};

PyObject* write_csv(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("CasesTable.write_csv()", kWriteCsvParams, args, kwargs);
  if (!parsed) return nullptr;
  py::Ref write = py::Ref::steal(PyObject_GetAttrString((*parsed)[0], "write"));
  if (!write) return nullptr;
  const CaseTable& table = table_of(self);
  std::string text;
  for (std::int64_t begin = -1; begin < table.rows; begin += kCsvRowsPerWrite) {
    without_gil([&] {
      text.clear();
      if (begin < 0) {
        arrow::append_csv_header(table, text);
        begin = 0;
      }
      arrow::append_csv_rows(table, begin, std::min(begin + kCsvRowsPerWrite, table.rows), text);
    });
    // The table holds only valid UTF-8.
    py::Ref piece = py::Ref::steal(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
    if (!piece) return nullptr;
    py::Ref written =
        py::Ref::steal(PyObject_CallFunctionObjArgs(write.get(), piece.get(), nullptr));
    if (!written) return nullptr;
  }
  Py_RETURN_NONE;
}

PyObject* get_num_rows(PyObject* self, void*) { return PyLong_FromLongLong(table_of(self).rows); }

PyObject* get_column_names(PyObject* self, void*) {
  const CaseTable& table = table_of(self);
  py::Ref names = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(table.columns.size())));
  if (!names) return nullptr;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const std::string& name = table.columns[i].name();
    PyObject* text =
        PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()), "strict");
    if (text == nullptr) return nullptr;
    PyTuple_SetItem(names.get(), static_cast<Py_ssize_t>(i), text);
  }
  return names.release();
}

Py_ssize_t length(PyObject* self) { return static_cast<Py_ssize_t>(table_of(self).rows); }

PyObject* repr(PyObject* self) {
  const CaseTable& table = table_of(self);
  return PyUnicode_FromFormat("<CasesTable: %lld rows, %zd columns>",
                              static_cast<long long>(table.rows),
                              static_cast<Py_ssize_t>(table.columns.size()));
}

PyGetSetDef getset[] = {
    py::getter<&get_num_rows>("num_rows"),
    py::getter<&get_column_names>("column_names"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    py::method<&arrow_c_stream>("__arrow_c_stream__", py::kKeywords,
                                "__arrow_c_stream__($self, requested_schema=None)\n--\n\n"),
    py::method<&write_csv>("write_csv", py::kKeywords, "write_csv($self, file)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("CasesTable(reports, sources=None, *, extras=None)\n--\n\n")},
    {Py_tp_new, py::slot<&make_cases_table>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<CasesTableState>>()},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {Py_sq_length, py::slot<&length>()},
    {Py_tp_repr, py::slot<&repr>()},
    {0, nullptr},
};

PyType_Spec spec = {
    "corvane._corvane.CasesTable",
    static_cast<int>(sizeof(py::Object<CasesTableState>)),
    0,
    py::kClassFlags,
    slots,
};

}  // namespace

py::Result<PyObject*> cases_table_type() {
  return py::create_once(type_cache, [] { return py::type_from_spec(spec); });
}

}  // namespace corvane
