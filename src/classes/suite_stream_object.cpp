// corvane._corvane._SuiteStream, the engine of corvane.iter_suites (which is
// its documented face): one document read from a file object a suite at a
// time. Each step runs without the GIL; the GIL is taken back to read the
// next chunk from the file and to make each suite's objects.
#include "suite_stream_object.hpp"

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "canonical/canonical_stream.hpp"
#include "errors.hpp"
#include "py/args.hpp"
#include "py/entry.hpp"
#include "py/gil.hpp"
#include "py/note.hpp"
#include "py/object.hpp"
#include "py/ref.hpp"
#include "py/type_cache.hpp"
#include "report.hpp"
#include "suite.hpp"
#include "xml_input.hpp"
#include "xml_read/suite_stream.hpp"

namespace corvane {
namespace {

// The file's read(size), called with the GIL taken back. A text file's
// characters are taken as UTF-8, whose bytes may outnumber the size asked
// for: the rest waits in `spill_`.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(PyObject* file) : file_(py::Ref::borrow(file)) {}

  void set_released(const py::GilReleased* released) { released_ = released; }

  std::optional<std::size_t> read(char* into, std::size_t size) override {
    if (spill_.empty()) {
      py::GilReleased::Reacquired gil(*released_);
      if (!read_chunk(size)) return std::nullopt;
    }
    const std::size_t taken = std::min(size, spill_.size() - spilled_);
    std::memcpy(into, spill_.data() + spilled_, taken);
    spilled_ += taken;
    if (spilled_ == spill_.size()) {
      spill_.clear();
      spilled_ = 0;
    }
    return taken;
  }

 private:
  bool read_chunk(std::size_t size) {
    py::Ref chunk = py::Ref::steal(PyObject_CallMethod(
        file_.get(), "read", "n", static_cast<Py_ssize_t>(std::min<std::size_t>(size, 1 << 24))));
    if (!chunk) return false;
    const char* data = nullptr;
    Py_ssize_t length = 0;
    if (PyBytes_Check(chunk.get())) {
      char* bytes = nullptr;
      if (PyBytes_AsStringAndSize(chunk.get(), &bytes, &length) < 0) return false;
      data = bytes;
    } else if (PyUnicode_Check(chunk.get())) {
      data = PyUnicode_AsUTF8AndSize(chunk.get(), &length);
      if (data == nullptr) return false;
    } else {
      PyErr_SetString(PyExc_TypeError, "read() must return str or bytes");
      return false;
    }
    spill_.assign(data, static_cast<std::size_t>(length));
    return true;
  }

  py::Ref file_;
  const py::GilReleased* released_ = nullptr;
  std::string spill_;
  std::size_t spilled_ = 0;
};

struct StreamState {
  std::unique_ptr<FileSource> source;
  std::unique_ptr<SuiteStream> stream;
  // Set while a step runs without the GIL, so that another thread (or the
  // file's own read) cannot drive the same stream meanwhile.
  bool busy = false;
};

PyObject* type_cache = nullptr;

StreamState& state(PyObject* self) { return py::state_of<StreamState>(self); }

void raise_failure(const StreamFailure& failure) {
  switch (failure.kind) {
    case StreamFailure::Kind::Document:
      raise_deserialization_error(failure.text);
      py::add_reason_note(failure.note);
      break;
    case StreamFailure::Kind::InvalidUtf8:
      raise_invalid_xml_utf8();
      break;
    case StreamFailure::Kind::Source:
      break;  // the file's own exception is set
  }
}

// Runs `work` on the stream without the GIL; a failure ends the stream.
template <typename Work>
[[nodiscard]] auto run_unlocked(PyObject* self, Work work) -> std::optional<decltype(work())> {
  StreamState& stored = state(self);
  if (stored.busy) {
    PyErr_SetString(PyExc_RuntimeError, "the suite stream is already being read");
    return std::nullopt;
  }
  if (!stored.stream) {
    PyErr_SetString(PyExc_ValueError, "the suite stream is closed");
    return std::nullopt;
  }
  std::optional<decltype(work())> result;
  {
    // Cleared also when a C++ exception leaves the work.
    struct Busy {
      StreamState& stored;
      ~Busy() {
        stored.source->set_released(nullptr);
        stored.busy = false;
      }
    } busy{stored};
    stored.busy = true;
    py::GilReleased released;
    stored.source->set_released(&released);
    result.emplace(work());
  }
  if (!*result) {
    raise_failure(result->error());
    stored.stream.reset();
    return std::nullopt;
  }
  return result;
}

// `chunk`: the bytes read at least per refill (small ones let tests cross
// window ends often).
constexpr std::array kNewParams = {py::required("file"), py::required("strict"),
                                   py::keyword("chunk")};

PyObject* stream_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  auto parsed = py::parse_args("_SuiteStream.__new__()", kNewParams, args, kwargs);
  if (!parsed) return nullptr;
  const int strict = PyObject_IsTrue((*parsed)[1]);
  if (strict < 0) return nullptr;
  std::size_t chunk = kStreamChunk;
  if (PyObject* given = (*parsed)[2]; given != nullptr && given != Py_None) {
    chunk = PyLong_AsSize_t(given);
    if (chunk == static_cast<std::size_t>(-1) && PyErr_Occurred()) return nullptr;
  }
  StreamState stored;
  stored.source = std::make_unique<FileSource>((*parsed)[0]);
  stored.stream = strict ? strict_suite_stream(*stored.source, chunk)
                         : canonical_suite_stream(*stored.source, chunk);
  auto self = py::new_object(type, std::move(stored));
  if (!self) return nullptr;
  return self->release();
}

// A Report holding the document's own fields and no suites.
PyObject* header(PyObject* self, PyObject*) {
  auto header = run_unlocked(self, [&] {
    auto read = state(self).stream->header();
    return read ? StreamResult<std::optional<Report>>(*read ? std::optional<Report>(**read)
                                                            : std::nullopt)
                : std::unexpected(std::move(read).error());
  });
  if (!header) return nullptr;
  if (!**header) Py_RETURN_NONE;
  Report fields = std::move(***header);
  fields.test_suites.clear();
  auto report = report_from_model(std::move(fields), {});
  if (!report) return nullptr;
  return report->release();
}

PyObject* iter_self(PyObject* self) { return py::Ref::borrow(self).release(); }

PyObject* iter_next(PyObject* self) {
  auto suite = run_unlocked(self, [&] { return state(self).stream->next(); });
  if (!suite) return nullptr;
  if (!**suite) {
    state(self).stream.reset();
    return nullptr;  // StopIteration
  }
  auto made = test_suite_from_model(std::move(***suite));
  if (!made) return nullptr;
  return made->release();
}

PyObject* close(PyObject* self, PyObject*) {
  if (state(self).busy) {
    PyErr_SetString(PyExc_RuntimeError, "the suite stream is already being read");
    return nullptr;
  }
  state(self).stream.reset();
  Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    py::method<&header>("header", METH_NOARGS, "header($self)\n--\n\n"),
    py::method<&close>("close", METH_NOARGS, "close($self)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("_SuiteStream(file, strict, *, chunk=None)\n--\n\n")},
    {Py_tp_new, py::slot<&stream_new>()},
    {Py_tp_dealloc, py::slot<&py::dealloc_object<StreamState>>()},
    {Py_tp_iter, py::slot<&iter_self>()},
    {Py_tp_iternext, py::slot<&iter_next>()},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "corvane._corvane._SuiteStream",
    static_cast<int>(sizeof(py::Object<StreamState>)),
    0,
    py::kClassFlags,
    slots,
};

}  // namespace

py::Result<PyObject*> suite_stream_type() {
  return py::create_once(type_cache, [] { return py::type_from_spec(spec); });
}

}  // namespace corvane
