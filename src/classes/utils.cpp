// The shared value conversions: see utils.hpp.
#include "utils.hpp"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>

#include "errors.hpp"
#include "model/utf8_check.hpp"
#include "py/convert.hpp"
#include "py/interned.hpp"
#include "py/raise.hpp"
#include "py/text.hpp"
#include "xml_read/deserialize_error.hpp"
#include "xml_read/report_deserializer.hpp"

namespace corvane {
namespace {

constexpr const char* kXmlInputType = "XML input must be str or bytes";
constexpr const char* kXmlInputUtf8 = "XML bytes must be valid UTF-8";
constexpr const char* kNegativeDuration = "a negative timedelta cannot be converted to a duration";
constexpr const char* kOutOfRangeDuration =
    "a timedelta whose seconds or microseconds are out of range cannot be converted to a duration";
constexpr const char* kOutOfRange = "out of range integral type conversion attempted";

constexpr std::uint64_t kSecondsPerDay = 86'400;
// timedelta takes its days as a C int.
constexpr std::uint64_t kMaxPythonSeconds = kSecondsPerDay << 31;
// The most microseconds whose nanoseconds still fit in 32 bits.
constexpr long kMaxMicroseconds = 4'294'967;
// Python 3.10's fromisoformat refuses longer fractions; later versions
// accept them and drop the extra digits, which is what we do for all.
constexpr std::size_t kMaxPythonFractionDigits = 6;
// Capacity hint cap for a byte sequence that claims a huge length.
constexpr std::size_t kMaxReserve = 1 << 16;

constexpr std::string_view kTimestampDocumentHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<testsuites name=\"timestamp\" tests=\"0\" failures=\"0\" errors=\"0\" timestamp=\"";
constexpr std::string_view kTimestampDocumentTail = "\"/>\n";

// Names looked up at every conversion, interned once.
constinit py::InternedName kDatetimeModule("datetime");
constinit py::InternedName kDatetimeClass("datetime");
constinit py::InternedName kTimedeltaClass("timedelta");
constinit py::InternedName kUuidModule("uuid");
constinit py::InternedName kUuidClass("UUID");
constinit py::InternedName kUtcoffset("utcoffset");
constinit py::InternedName kIsoformat("isoformat");
constinit py::InternedName kFromisoformat("fromisoformat");
constinit py::InternedName kDays("days");
constinit py::InternedName kSeconds("seconds");
constinit py::InternedName kMicroseconds("microseconds");

// `module.name`, importing the module at every call as the classes' values
// may come from whatever the running interpreter's module currently holds.
[[nodiscard]] py::Result<py::Ref> import_attr(py::InternedName& module, py::InternedName& name) {
  auto module_name = module.get();
  if (!module_name) return py::raised();
  py::Ref imported = py::Ref::steal(PyImport_Import(*module_name));
  if (!imported) return py::raised();
  auto attr_name = name.get();
  if (!attr_name) return py::raised();
  py::Ref attr = py::Ref::steal(PyObject_GetAttr(imported.get(), *attr_name));
  if (!attr) return py::raised();
  return attr;
}

// `object.name()`, with the name interned.
[[nodiscard]] py::Result<py::Ref> call_method(PyObject* object, py::InternedName& name) {
  auto method_name = name.get();
  if (!method_name) return py::raised();
  py::Ref result = py::Ref::steal(PyObject_CallMethodObjArgs(object, *method_name, nullptr));
  if (!result) return py::raised();
  return result;
}

[[nodiscard]] py::Result<std::string> str_to_string(PyObject* object) {
  auto text = py::to_str(object);
  if (!text) return py::raised();
  return std::string(*text);
}

// The items of a non-str sequence, each an int from 0 to 255. Any failure
// is reported by the caller with its own text, so the error is left as is.
bool append_byte_items(PyObject* object, std::string& out) {
  if (PyUnicode_Check(object) || !PySequence_Check(object)) return false;
  const Py_ssize_t length = PySequence_Size(object);
  if (length < 0) {
    PyErr_Clear();
  } else {
    out.reserve(std::min(static_cast<std::size_t>(length), kMaxReserve));
  }
  py::Ref iterator = py::Ref::steal(PyObject_GetIter(object));
  if (!iterator) return false;
  while (py::Ref item = py::Ref::steal(PyIter_Next(iterator.get()))) {
    py::Ref index = py::Ref::steal(PyNumber_Index(item.get()));
    if (!index) return false;
    const long value = PyLong_AsLong(index.get());
    if (value < 0 || value > 255) return false;
    out.push_back(static_cast<char>(value));
  }
  return !PyErr_Occurred();
}

// The bytes of a bytes-like object, or nothing (error possibly set): bytes
// and bytearray lend their own buffers, other sequences are copied.
std::optional<XmlText> read_bytes(PyObject* object) {
  if (PyBytes_Check(object)) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(object, &data, &size) < 0) return std::nullopt;
    return XmlText::borrowed(data, static_cast<std::size_t>(size));
  }
  if (PyByteArray_Check(object)) {
    const char* data = PyByteArray_AsString(object);
    const Py_ssize_t size = PyByteArray_Size(object);
    if (data == nullptr || size < 0) return std::nullopt;
    return XmlText::borrowed(data, static_cast<std::size_t>(size));
  }
  std::string bytes;
  if (!append_byte_items(object, bytes)) return std::nullopt;
  return XmlText::owned(std::move(bytes));
}

// One attribute of a timedelta as a C int, with the overflow text of the
// other integer conversions.
[[nodiscard]] py::Result<long> int32_attribute(PyObject* object, py::InternedName& name) {
  auto attr_name = name.get();
  if (!attr_name) return py::raised();
  py::Ref value = py::Ref::steal(PyObject_GetAttr(object, *attr_name));
  if (!value) return py::raised();
  // An int (what timedelta gives) is read as it is; anything else through
  // __index__. Both read the same number from an int subclass.
  if (!PyLong_Check(value.get())) {
    value = py::Ref::steal(PyNumber_Index(value.get()));
    if (!value) return py::raised();
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value.get(), &overflow);
  if (number == -1 && PyErr_Occurred()) return py::raised();
  if (overflow != 0 || number < INT32_MIN || number > INT32_MAX) {
    PyErr_SetString(PyExc_OverflowError, kOutOfRange);
    return py::raised();
  }
  return static_cast<long>(number);
}

// The text with its fraction cut to what every supported Python parses.
std::string truncate_fraction(std::string_view text) {
  std::string out(text);
  const std::size_t point = out.find('.');
  if (point == std::string::npos) return out;
  std::size_t end = point + 1;
  while (end < out.size() && out[end] >= '0' && out[end] <= '9') ++end;
  const std::size_t digits = end - point - 1;
  if (digits > kMaxPythonFractionDigits) {
    out.erase(point + 1 + kMaxPythonFractionDigits, digits - kMaxPythonFractionDigits);
  }
  return out;
}

}  // namespace

// The document is read in place: nothing between here and the end of the
// read runs Python code that could change or free the object's buffer.
py::Result<XmlText> extract_xml(PyObject* obj) {
  if (PyUnicode_Check(obj)) {
    Py_ssize_t size = 0;
    if (const char* text = PyUnicode_AsUTF8AndSize(obj, &size)) {
      return XmlText::borrowed(text, static_cast<std::size_t>(size));
    }
    // Lone surrogates: a str is never read as a byte sequence, so this
    // ends in the type error below.
    PyErr_Clear();
  }
  std::optional<XmlText> bytes;
  if (!PyUnicode_Check(obj)) bytes = read_bytes(obj);
  if (!bytes) {
    PyErr_Clear();
    PyErr_SetString(PyExc_TypeError, kXmlInputType);
    return py::raised();
  }
  if (!is_valid_utf8(bytes->view())) {
    PyErr_SetString(PyExc_ValueError, kXmlInputUtf8);
    return py::raised();
  }
  return std::move(*bytes);
}

py::Result<ExtraPairs> extract_extra(PyObject* dict_or_null) {
  ExtraPairs pairs;
  if (dict_or_null == nullptr) return pairs;
  auto dict = py::to_dict(dict_or_null);
  if (!dict) return py::raised();
  const Py_ssize_t size = PyDict_Size(*dict);
  pairs.reserve(static_cast<std::size_t>(size));
  Py_ssize_t position = 0;
  PyObject* key = nullptr;    // borrowed
  PyObject* value = nullptr;  // borrowed
  // The walk runs no Python code (text conversion of a str does not), so
  // the dict cannot change under it.
  while (PyDict_Next(*dict, &position, &key, &value)) {
    auto key_text = py::to_str(key);
    if (!key_text) return py::raised();
    auto value_text = py::to_str(value);
    if (!value_text) return py::raised();
    // Made in place: moved in from temporaries, the strings just stored
    // would be reloaded in wider pieces than they were written in.
    pairs.emplace_back(std::piecewise_construct, std::forward_as_tuple(*key_text),
                       std::forward_as_tuple(*value_text));
  }
  if (PyDict_Size(*dict) != size || pairs.size() != static_cast<std::size_t>(size)) {
    raise_internal_failure("dictionary changed size during iteration");
    return py::raised();
  }
  return pairs;
}

py::Result<py::Ref> extra_to_dict(const ExtraPairs& pairs) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return py::raised();
  for (const auto& [key, value] : pairs) {
    py::Ref key_object = py::Ref::steal(py::new_str(key.view()));
    if (!key_object) return py::raised();
    py::Ref value_object = py::Ref::steal(py::new_str(value.view()));
    if (!value_object) return py::raised();
    if (PyDict_SetItem(dict.get(), key_object.get(), value_object.get()) < 0) return py::raised();
  }
  return dict;
}

py::Result<std::optional<std::string>> normalize_uuid(PyObject* obj_or_null) {
  if (obj_or_null == nullptr || obj_or_null == Py_None) return std::optional<std::string>();
  auto uuid_class = import_attr(kUuidModule, kUuidClass);
  if (!uuid_class) return py::raised();
  const int is_uuid = PyObject_IsInstance(obj_or_null, uuid_class->get());
  if (is_uuid < 0) return py::raised();
  if (is_uuid == 0) {
    PyErr_SetString(PyExc_TypeError, "uuid must be a uuid.UUID instance");
    return py::raised();
  }
  py::Ref text = py::Ref::steal(PyObject_Str(obj_or_null));
  if (!text) return py::raised();
  auto result = str_to_string(text.get());
  if (!result) return py::raised();
  return std::optional<std::string>(std::move(*result));
}

py::Result<py::Ref> uuid_to_python(const std::optional<std::string>& text) {
  if (!text) return py::Ref::borrow(Py_None);
  auto uuid_class = import_attr(kUuidModule, kUuidClass);
  if (!uuid_class) return py::raised();
  py::Ref argument = py::Ref::steal(py::new_str(*text));
  if (!argument) return py::raised();
  py::Ref uuid =
      py::Ref::steal(PyObject_CallFunctionObjArgs(uuid_class->get(), argument.get(), nullptr));
  if (!uuid) return py::raised();
  return uuid;
}

py::Result<std::optional<std::string>> normalize_timestamp(PyObject* obj_or_null) {
  if (obj_or_null == nullptr || obj_or_null == Py_None) return std::optional<std::string>();
  auto datetime_class = import_attr(kDatetimeModule, kDatetimeClass);
  if (!datetime_class) return py::raised();
  const int is_datetime = PyObject_IsInstance(obj_or_null, datetime_class->get());
  if (is_datetime < 0) return py::raised();
  if (is_datetime == 0) {
    PyErr_SetString(PyExc_TypeError, "timestamp must be a datetime.datetime instance");
    return py::raised();
  }
  auto offset = call_method(obj_or_null, kUtcoffset);
  if (!offset) return py::raised();
  if (offset->get() == Py_None) {
    PyErr_SetString(PyExc_ValueError, "timestamp must be timezone-aware");
    return py::raised();
  }
  auto text = call_method(obj_or_null, kIsoformat);
  if (!text) return py::raised();
  auto result = str_to_string(text->get());
  if (!result) return py::raised();
  return std::optional<std::string>(std::move(*result));
}

py::Result<py::Ref> timestamp_to_python(const std::optional<std::string>& text) {
  if (!text) return py::Ref::borrow(Py_None);
  auto datetime_class = import_attr(kDatetimeModule, kDatetimeClass);
  if (!datetime_class) return py::raised();
  py::Ref argument = py::Ref::steal(py::new_str(truncate_fraction(*text)));
  if (!argument) return py::raised();
  auto fromisoformat = kFromisoformat.get();
  if (!fromisoformat) return py::raised();
  py::Ref timestamp = py::Ref::steal(
      PyObject_CallMethodObjArgs(datetime_class->get(), *fromisoformat, argument.get(), nullptr));
  if (!timestamp) return py::raised();
  return timestamp;
}

py::Result<Report> report_with_timestamp(std::string_view text) {
  // The text goes into the document unescaped; a quote, a tag start or a
  // reference could make the reader see other markup than one attribute
  // value, so such a text is refused as the reader would refuse any other
  // text that is not a timestamp.
  if (text.find_first_of("\"<&") != std::string_view::npos) {
    const DeserializeError error =
        make_attribute_error({PathElement(PathStep::TestSuites)}, "timestamp",
                             DeserializeErrorKind::InvalidTimestamp, std::string(text));
    py::raise_text(PyExc_ValueError, error.text());
    return py::raised();
  }
  std::string document;
  document.reserve(kTimestampDocumentHead.size() + text.size() + kTimestampDocumentTail.size());
  document.append(kTimestampDocumentHead).append(text).append(kTimestampDocumentTail);
  auto report = deserialize_from_str(document);
  if (!report) {
    py::raise_text(PyExc_ValueError, report.error().text());
    return py::raised();
  }
  return std::move(*report);
}

py::Result<std::optional<Timestamp>> timestamp_to_model(const std::optional<std::string>& text) {
  if (!text) return std::optional<Timestamp>();
  auto report = report_with_timestamp(*text);
  if (!report) return py::raised();
  return report->timestamp;
}

py::Result<Duration> extract_duration(PyObject* obj) {
  auto timedelta_class = import_attr(kDatetimeModule, kTimedeltaClass);
  if (!timedelta_class) return py::raised();
  const int is_timedelta = PyObject_IsInstance(obj, timedelta_class->get());
  if (is_timedelta < 0) return py::raised();
  if (is_timedelta == 0) {
    py::raise_not_instance(obj, "timedelta");
    return py::raised();
  }
  auto days = int32_attribute(obj, kDays);
  if (!days) return py::raised();
  auto seconds = int32_attribute(obj, kSeconds);
  if (!seconds) return py::raised();
  auto microseconds = int32_attribute(obj, kMicroseconds);
  if (!microseconds) return py::raised();
  // CPython keeps seconds and microseconds non-negative, so the sign of a
  // timedelta is the sign of its days.
  if (*days < 0) {
    PyErr_SetString(PyExc_ValueError, kNegativeDuration);
    return py::raised();
  }
  // Only a subclass overriding the attributes gets here: a value error of
  // the caller's, not a broken invariant of this module.
  if (*seconds < 0 || *microseconds < 0 || *microseconds > kMaxMicroseconds) {
    PyErr_SetString(PyExc_ValueError, kOutOfRangeDuration);
    return py::raised();
  }
  const std::uint64_t nanoseconds = static_cast<std::uint64_t>(*microseconds) * 1'000;
  Duration duration;
  duration.seconds = static_cast<std::uint64_t>(*days) * kSecondsPerDay +
                     static_cast<std::uint64_t>(*seconds) + nanoseconds / 1'000'000'000;
  duration.nanoseconds = static_cast<std::uint32_t>(nanoseconds % 1'000'000'000);
  return duration;
}

py::Result<std::optional<Duration>> extract_optional_duration(PyObject* obj_or_null) {
  if (obj_or_null == nullptr || obj_or_null == Py_None) return std::optional<Duration>();
  auto duration = extract_duration(obj_or_null);
  if (!duration) return py::raised();
  return std::optional<Duration>(*duration);
}

py::Result<py::Ref> duration_to_python(const std::optional<Duration>& duration) {
  if (!duration) return py::Ref::borrow(Py_None);
  if (duration->seconds >= kMaxPythonSeconds) {
    PyErr_SetString(PyExc_ValueError, kOutOfRange);
    return py::raised();
  }
  auto timedelta_class = import_attr(kDatetimeModule, kTimedeltaClass);
  if (!timedelta_class) return py::raised();
  const auto days = static_cast<long long>(duration->seconds / kSecondsPerDay);
  const auto seconds = static_cast<long long>(duration->seconds % kSecondsPerDay);
  const auto microseconds = static_cast<long long>(duration->nanoseconds / 1'000);
  py::Ref delta = py::Ref::steal(
      PyObject_CallFunction(timedelta_class->get(), "LLL", days, seconds, microseconds));
  if (!delta) return py::raised();
  return delta;
}

}  // namespace corvane
