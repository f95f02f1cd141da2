// State items of the model classes: see pickling.hpp.
#include "pickling.hpp"

namespace corvane::pickling {
namespace {

constexpr std::uint32_t kNanosecondsPerSecond = 1'000'000'000;

py::Result<py::Ref> none() { return py::Ref::borrow(Py_None); }

// A str item as it is (no sanitising).
[[nodiscard]] py::Result<std::string> raw_text(PyObject* item) {
  auto text = py::to_str(item);
  if (!text) return py::raised();
  return std::string(*text);
}

// The two items of a (seconds, nanoseconds) or (key, value) pair.
[[nodiscard]] py::Result<std::pair<PyObject*, PyObject*>> pair_of(PyObject* item) {
  if (!PyTuple_Check(item) || PyTuple_Size(item) != 2) {
    PyErr_SetString(PyExc_TypeError, "a state pair must be a tuple of two items");
    return py::raised();
  }
  return std::pair(PyTuple_GetItem(item, 0), PyTuple_GetItem(item, 1));
}

}  // namespace

py::Result<py::Ref> steal(PyObject* object) {
  py::Ref owned = py::Ref::steal(object);
  if (!owned) return py::raised();
  return owned;
}

py::Result<py::Ref> to_python(const XmlString& text) { return steal(py::new_str(text.view())); }

py::Result<py::Ref> to_python(const OptionalText& text) {
  return steal(py::new_optional_str(text));
}

py::Result<py::Ref> to_python(const std::optional<std::string>& text) {
  if (!text) return none();
  return steal(py::new_str(*text));
}

py::Result<py::Ref> to_python(const OptionalDuration& duration) {
  if (!duration) return none();
  return steal(Py_BuildValue("(KI)", static_cast<unsigned long long>(duration->seconds),
                             static_cast<unsigned int>(duration->nanoseconds)));
}

py::Result<py::Ref> to_python(const std::optional<std::uint64_t>& count) {
  if (!count) return none();
  return steal(PyLong_FromUnsignedLongLong(*count));
}

py::Result<py::Ref> to_python(const ExtraPairs& pairs) {
  py::Ref tuple = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(pairs.size())));
  if (!tuple) return py::raised();
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    auto key = to_python(pairs[i].first);
    if (!key) return py::raised();
    auto value = to_python(pairs[i].second);
    if (!value) return py::raised();
    py::Ref pair = py::Ref::steal(PyTuple_Pack(2, key->get(), value->get()));
    if (!pair || PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(i), pair.release()) < 0) {
      return py::raised();
    }
  }
  return tuple;
}

py::Result<py::Ref> to_python(const ChildList& children) { return tuple_of(children); }

py::Result<py::Ref> to_python(const BoxedChildList& children) { return tuple_of(children.list()); }

py::Result<py::Ref> to_python(const py::Ref& object) { return py::Ref::borrow(object.get()); }

py::Result<py::Ref> to_python(NonSuccessKind kind) { return non_success_kind_member(kind); }

py::Result<py::Ref> to_python(RerunKind kind) { return rerun_kind_member(kind); }

py::Result<void> from_python(PyObject* item, OptionalText& text) {
  auto converted = py::to_optional_text(item);
  if (!converted) return py::raised();
  text = std::move(*converted);
  return {};
}

py::Result<void> from_python(PyObject* item, std::optional<std::string>& text) {
  if (item == Py_None) {
    text.reset();
    return {};
  }
  auto converted = raw_text(item);
  if (!converted) return py::raised();
  text = std::move(*converted);
  return {};
}

py::Result<void> from_python(PyObject* item, OptionalDuration& duration) {
  if (item == Py_None) {
    duration.reset();
    return {};
  }
  auto pair = pair_of(item);
  if (!pair) return py::raised();
  auto seconds = py::to_u64(pair->first);
  if (!seconds) return py::raised();
  auto nanoseconds = py::to_u64(pair->second);
  if (!nanoseconds) return py::raised();
  if (*nanoseconds >= kNanosecondsPerSecond) {
    PyErr_SetString(PyExc_ValueError, "nanoseconds must be below one second");
    return py::raised();
  }
  duration = Duration{*seconds, static_cast<std::uint32_t>(*nanoseconds)};
  return {};
}

py::Result<void> from_python(PyObject* item, std::optional<std::uint64_t>& count) {
  if (item == Py_None) {
    count.reset();
    return {};
  }
  auto converted = py::to_u64(item);
  if (!converted) return py::raised();
  count = *converted;
  return {};
}

py::Result<void> from_python(PyObject* item, ExtraPairs& pairs) {
  if (!PyTuple_Check(item)) {
    py::raise_not_instance(item, "tuple");
    return py::raised();
  }
  const Py_ssize_t size = PyTuple_Size(item);
  ExtraPairs converted;
  converted.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    auto pair = pair_of(PyTuple_GetItem(item, i));
    if (!pair) return py::raised();
    auto key = py::to_str(pair->first);
    if (!key) return py::raised();
    auto value = py::to_str(pair->second);
    if (!value) return py::raised();
    converted.emplace_back(XmlString(*key), XmlString(*value));
  }
  pairs = std::move(converted);
  return {};
}

py::Result<void> from_python(PyObject* item, RerunKind& kind) {
  auto converted = extract_rerun_kind(item);
  if (!converted) return py::raised();
  kind = *converted;
  return {};
}

py::Result<void> check_state(PyObject* state, const char* function, std::size_t size) {
  if (PyTuple_Check(state) && static_cast<std::size_t>(PyTuple_Size(state)) == size) return {};
  PyErr_Format(PyExc_TypeError, "%s takes a tuple of %zu items", function, size);
  return py::raised();
}

}  // namespace corvane::pickling
