// The Python class Report: see report.hpp. Writing drives the serializer
// straight from the Python objects' stored values; reading runs the
// deserializer and builds new Python objects from the model it returns.
#include "report.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "call_hints.hpp"
#include "child_list.hpp"
#include "durations.hpp"
#include "errors.hpp"
#include "field_access.hpp"
#include "model/report.hpp"
#include "model/xml_string.hpp"
#include "pickling.hpp"
#include "py/args.hpp"
#include "py/borrow.hpp"
#include "py/convert.hpp"
#include "py/entry.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/raise.hpp"
#include "py/ref.hpp"
#include "py/sequence.hpp"
#include "py/str_builder.hpp"
#include "py/text.hpp"
#include "py/type_cache.hpp"
#include "suite.hpp"
#include "timestamps.hpp"
#include "uuids.hpp"
#include "xml_input.hpp"
#include "xml_read/report_deserializer.hpp"
#include "xml_read/value_parsers.hpp"
#include "xml_write/report_serializer.hpp"
#include "xml_write/text_forms.hpp"

namespace corvane {
namespace {

struct ReportState {
  py::BorrowFlag borrow;
  XmlString name;
  // The caller's suites themselves, so later changes to them show here.
  ChildList test_suites;
  std::optional<std::string> uuid;
  std::optional<std::string> timestamp;
  OptionalDuration time;
};

PyObject* type_cache = nullptr;

ReportState& state(PyObject* self) { return py::state_of<ReportState>(self); }

[[nodiscard]] py::Result<ChildList> to_test_suites(PyObject* object) {
  auto type = test_suite_type();
  if (!type) return py::raised();
  return py::extract_sequence(object, py::as_type(*type), "TestSuite");
}

constexpr std::array kNewParams = {
    py::required("name"),
    py::keyword("uuid"),
    py::keyword("timestamp"),
    py::keyword("time"),
};

PyObject* report_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("Report.__new__()", kNewParams, args, kwargs);
  if (!parsed) return nullptr;
  const auto& arguments = *parsed;
  auto name = py::noted("name", py::to_str(arguments[0]));
  if (!name) return nullptr;
  auto time = py::noted("time", extract_optional_duration(arguments[3]));
  if (!time) return nullptr;

  // Validation after parsing: these errors carry no note.
  ReportState stored;
  stored.name = XmlString(*name);
  auto uuid = normalize_uuid(arguments[1]);
  if (!uuid) return nullptr;
  auto timestamp = normalize_timestamp(arguments[2]);
  if (!timestamp) return nullptr;
  stored.uuid = std::move(*uuid);
  stored.timestamp = std::move(*timestamp);
  stored.time = *time;
  auto self = py::new_object(type, std::move(stored));
  if (!self) return nullptr;
  return self->release();
}

PyObject* get_uuid(PyObject* self, void*) {
  auto text = field::copied(self, &ReportState::uuid);
  if (!text) return nullptr;
  auto uuid = uuid_to_python(*text);
  if (!uuid) return nullptr;
  return uuid->release();
}

// Normalising runs Python code (isinstance, str), which may touch this very
// report: it is done before the report is taken.
py::Result<void> set_uuid(PyObject* self, PyObject* value) {
  auto uuid = normalize_uuid(value);
  if (!uuid) return py::raised();
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return py::raised();
  state(self).uuid = std::move(*uuid);
  return {};
}

// The sum over the suites, in order, of one of their counts; a suite held
// twice counts twice.
template <std::uint64_t SuiteCounts::* Count>
PyObject* get_count(PyObject* self, void*) {
  auto guard = py::borrow(state(self).borrow);
  if (!guard) return nullptr;
  std::uint64_t total = 0;
  for (const py::Ref& suite : state(self).test_suites) {
    auto counts = suite_counts(suite.get());
    if (!counts) return nullptr;
    total += (*counts).*Count;
  }
  return PyLong_FromUnsignedLongLong(total);
}

constexpr std::array kAddSuiteParams = {py::required("test_suite")};

PyObject* add_test_suite(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("Report.add_test_suite()", kAddSuiteParams, args, kwargs);
  if (!parsed) return nullptr;
  auto type = test_suite_type();
  if (!type) return nullptr;
  auto suite =
      py::noted("test_suite", py::to_instance((*parsed)[0], py::as_type(*type), "TestSuite"));
  if (!suite) return nullptr;
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return nullptr;
  state(self).test_suites.push_back(py::Ref::borrow(*suite));
  Py_RETURN_NONE;
}

constexpr std::array kAddSuitesParams = {py::required("test_suites")};

// The sequence is iterated (running its Python code, which may touch this
// very report) before the report is taken, as list.extend does.
PyObject* add_test_suites(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("Report.add_test_suites()", kAddSuitesParams, args, kwargs);
  if (!parsed) return nullptr;
  auto suites = py::noted("test_suites", to_test_suites((*parsed)[0]));
  if (!suites) return nullptr;
  auto guard = py::borrow_mut(state(self).borrow);
  if (!guard) return nullptr;
  append_children(state(self).test_suites, std::move(*suites));
  Py_RETURN_NONE;
}

// The root of the model report of a report the caller holds shared: name
// first, then the identifier and the timestamp (so a bad stored value is
// reported before any suite is converted), then the counts of its suites'
// current statuses, each suite's also kept in `suite_counts`; the suites
// themselves are left out.
[[nodiscard]] py::Result<Report> report_header(const ReportState& stored,
                                               std::vector<SuiteCounts>& suite_counts_of) {
  Report model(stored.name.view());
  if (stored.uuid) {
    // The stored text is normally a uuid.UUID's own; only a subclass with a
    // different __str__ gets here with something else.
    auto uuid = parse_uuid_text(*stored.uuid);
    if (!uuid) {
      py::raise_text(PyExc_ValueError, "invalid uuid '" + *stored.uuid + "': " + uuid.error());
      return py::raised();
    }
    model.uuid = *uuid;
  }
  auto timestamp = timestamp_to_model(stored.timestamp);
  if (!timestamp) return py::raised();
  model.timestamp = *timestamp;
  model.time = stored.time;
  suite_counts_of.reserve(stored.test_suites.size());
  for (const py::Ref& suite : stored.test_suites) {
    auto counts = suite_counts(suite.get());
    if (!counts) return py::raised();
    suite_counts_of.push_back(*counts);
    model.tests += counts->tests;
    model.failures += counts->failures;
    model.errors += counts->errors;
    model.skipped += counts->disabled;
  }
  return model;
}

// A large document goes to Python in pieces of about this size, each at the
// end of a suite, so the whole of it never exists twice: the bytes written
// so far and the str grown from them.
constexpr std::size_t kHandOverBytes = std::size_t{1} << 20;
// A document up to about this size is decoded in one go instead, from a
// buffer that is then kept for the next write. Appending to the str copies
// each piece twice (decoded, then appended), and a str that outgrows its
// heap block is moved, each move a fresh copy of all of it; one decode
// into memory that the allocator hands back write after write costs one
// copy and no page faults, about twice as fast for a document of several
// megabytes. The price is a buffer of up to this size kept per thread.
// A larger document's str starts as this much: glibc maps every block of
// 32 MiB or more by itself, and grows a mapped block by remapping its pages,
// where a smaller block in the heap is moved and copied whenever what lies
// above it blocks its growth (after a large read and write, to_xml of 38 MB
// took 41 ms with a first piece of 16 MiB, 33 ms with 32).
constexpr std::size_t kWholeDocumentBytes = 32 * kHandOverBytes;

// The output buffer of one write, reused by the next write on this thread:
// a small document written into fresh memory pays about as much in page
// faults as in writing. The buffer is taken out while in use, so a nested
// write (Python code run by a conversion may write another report) makes
// its own; one grown well past the whole-document size is not kept.
class ReusedBuffer {
 public:
  ReusedBuffer() : buffer_(std::exchange(spare(), OutputBuffer())) { buffer_.clear(); }
  ~ReusedBuffer() {
    if (buffer_.capacity() <= kKeptBytes) spare() = std::move(buffer_);
  }
  ReusedBuffer(const ReusedBuffer&) = delete;
  ReusedBuffer& operator=(const ReusedBuffer&) = delete;

  OutputBuffer& get() noexcept { return buffer_; }

 private:
  static constexpr std::size_t kKeptBytes = kWholeDocumentBytes + 4 * kHandOverBytes;

  static OutputBuffer& spare() {
    thread_local OutputBuffer kept;
    return kept;
  }

  OutputBuffer buffer_;
};

// The whole document as a str, for a report the caller holds shared. Each
// suite is written straight from its objects, with no model of it made, so
// writing holds the document alone. The suites' start tags, like the root,
// written first, carry counts taken from the statuses; no Python code runs
// while the suites are converted, so the counts of the converted statuses
// must agree, and are checked to.
[[nodiscard]] py::Result<py::Ref> document_of(const ReportState& stored) {
  std::vector<SuiteCounts> suite_counts_of;
  auto header = report_header(stored, suite_counts_of);
  if (!header) return py::raised();
  ReusedBuffer reused;
  OutputBuffer& buffer = reused.get();
  // A document that may pass the whole-document size gets all the room it
  // can use at once: grown by doubling, its buffer would end too large to
  // keep, and every large write would fault in a fresh one. Room not yet
  // written costs no memory.
  const std::size_t estimate = estimate_document_size(stored.test_suites.size(), header->tests);
  buffer.reserve(estimate >= kWholeDocumentBytes / 2 ? kWholeDocumentBytes + kHandOverBytes
                                                     : estimate);
  ReportWriter writer(buffer);
  py::StrBuilder text;
  // Writing into memory cannot fail, only the encoding check can; its error
  // is raised after every suite converted, as conversion errors come first.
  writer.begin(*header);
  bool valid = true;
  // Moves the written bytes into `text`. Every piece ends with a whole
  // element, hence on a character boundary; decoding is the encoding check.
  bool handed_over = false;
  auto hand_over = [&]() -> py::Result<void> {
    if (!valid) return {};
    auto appended = text.append(buffer.view());
    if (!appended) return py::raised();
    valid = *appended;
    handed_over = true;
    buffer.clear();
    return {};
  };
  bool counts_agree = true;
  for (std::size_t i = 0; i < stored.test_suites.size(); ++i) {
    const SuiteCounts& expected = suite_counts_of[i];
    auto counted =
        write_test_suite(stored.test_suites[i].get(), expected, valid ? &writer : nullptr);
    if (!counted) return py::raised();
    counts_agree = counts_agree && counted->tests == expected.tests &&
                   counted->failures == expected.failures && counted->errors == expected.errors &&
                   counted->disabled == expected.disabled;
    if (buffer.size() >= (handed_over ? kHandOverBytes : kWholeDocumentBytes)) {
      PY_TRY(hand_over());
    }
  }
  if (valid) writer.finish();
  if (!counts_agree) {
    raise_internal_failure("report counts changed while the report was written");
    return py::raised();
  }
  PY_TRY(hand_over());
  if (!valid) {
    raise_serialization_error(SerializeError::kText);
    return py::raised();
  }
  return text.finish();
}

// The whole document, built while the report is held for reading.
[[nodiscard]] py::Result<py::Ref> held_document(PyObject* self) {
  auto guard = py::borrow(state(self).borrow);
  if (!guard) return py::raised();
  return document_of(state(self));
}

PyObject* to_xml(PyObject* self, PyObject*) {
  auto document = held_document(self);
  if (!document) return nullptr;
  return document->release();
}

constexpr std::array kWriteParams = {py::required("writer")};

// The document is whole before writer.write() runs, so the report is free
// again by then: a slow writer keeps no other thread from changing it, and a
// writer may change it too (the document already written stays as it was).
PyObject* write_xml(PyObject* self, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("Report.write_xml()", kWriteParams, args, kwargs);
  if (!parsed) return nullptr;
  auto document = held_document(self);
  if (!document) return nullptr;
  PyObject* writer = (*parsed)[0];
  py::Ref write = py::Ref::steal(PyObject_GetAttrString(writer, "write"));
  py::Ref written;
  if (write) {
    written = py::Ref::steal(PyObject_CallFunctionObjArgs(write.get(), document->get(), nullptr));
  }
  if (!written) {
    hint_write_xml_argument(writer);
    return nullptr;
  }
  Py_RETURN_NONE;
}

constexpr std::array kFromXmlParams = {py::required("xml")};

PyObject* from_xml(PyObject*, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("Report.from_xml()", kFromXmlParams, args, kwargs);
  if (!parsed) return nullptr;
  auto report = read_document((*parsed)[0], (*parsed)[0]);
  if (!report) return nullptr;
  return report->release();
}

constexpr std::array kReadXmlParams = {py::required("reader")};

PyObject* read_xml(PyObject*, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("Report.read_xml()", kReadXmlParams, args, kwargs);
  if (!parsed) return nullptr;
  py::Ref read = py::Ref::steal(PyObject_GetAttrString((*parsed)[0], "read"));
  if (!read) {
    hint_read_xml_argument((*parsed)[0]);
    return nullptr;
  }
  py::Ref content = py::Ref::steal(PyObject_CallNoArgs(read.get()));
  if (!content) return nullptr;
  auto report = read_document(content.get(), nullptr);
  if (!report) return nullptr;
  return report->release();
}

PyGetSetDef getset[] = {
    field::text<ReportState, &ReportState::name>("name"),
    py::getset<&get_uuid, &set_uuid>("uuid"),
    field::timestamp<ReportState, &ReportState::timestamp>("timestamp"),
    field::time<ReportState, &ReportState::time>("time"),
    py::getter<&get_count<&SuiteCounts::tests>>("tests"),
    py::getter<&get_count<&SuiteCounts::failures>>("failures"),
    py::getter<&get_count<&SuiteCounts::errors>>("errors"),
    py::getter<&field::get_children<ReportState, &ReportState::test_suites>>("test_suites"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// pickle and copy: the name is the constructor's argument, the rest the state.
constexpr char kSuiteName[] = "TestSuite";
constexpr char kSetState[] = "Report.__setstate__()";
using PickleArgs = pickling::Fields<pickling::Field<&ReportState::name>>;
using PickleState =
    pickling::Fields<pickling::Children<&ReportState::test_suites, &test_suite_type, kSuiteName>,
                     pickling::Field<&ReportState::uuid>, pickling::Field<&ReportState::timestamp>,
                     pickling::Field<&ReportState::time>>;

PyMethodDef methods[] = {
    py::method<&add_test_suite>("add_test_suite", py::kKeywords,
                                "add_test_suite($self, test_suite)\n--\n\n"),
    py::method<&add_test_suites>("add_test_suites", py::kKeywords,
                                 "add_test_suites($self, test_suites)\n--\n\n"),
    py::method<&to_xml>("to_xml", METH_NOARGS, "to_xml($self)\n--\n\n"),
    py::method<&write_xml>("write_xml", py::kKeywords, "write_xml($self, writer)\n--\n\n"),
    py::method<&from_xml>("from_xml", py::kKeywords | METH_CLASS, "from_xml($cls, xml)\n--\n\n"),
    py::method<&read_xml>("read_xml", py::kKeywords | METH_CLASS, "read_xml($cls, reader)\n--\n\n"),
    py::method<&pickling::reduce<ReportState, PickleArgs, PickleState>>("__reduce__", METH_NOARGS,
                                                                        pickling::kReduceDoc),
    py::method<&pickling::setstate<ReportState, PickleState, kSetState>>("__setstate__", METH_O,
                                                                         pickling::kSetStateDoc),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("Report(name, *, uuid=None, timestamp=None, time=None)\n--\n\n")},
    {Py_tp_new, py::slot<&report_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<ReportState>>()},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "corvane._corvane.Report",
    static_cast<int>(sizeof(py::Object<ReportState>)),
    0,
    py::kClassFlags,
    slots,
};

}  // namespace

py::Result<py::Ref> report_from_model(Report&& report, ChildList&& suites) {
  auto type = report_type();
  if (!type) return py::raised();
  ReportState stored;
  stored.test_suites = std::move(suites);
  if (report.uuid) stored.uuid = format_uuid(*report.uuid);
  if (report.timestamp) stored.timestamp = to_rfc3339(*report.timestamp);
  // The name is already sanitised; the document's counts are dropped, since
  // a report computes its own.
  stored.name = std::move(report.name);
  stored.time = report.time;
  return py::new_object(py::as_type(*type), std::move(stored));
}

py::Result<PyObject*> report_type() {
  return py::create_once(type_cache, [] { return py::type_from_spec(spec); });
}

}  // namespace corvane
