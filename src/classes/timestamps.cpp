// Timestamps between Python and the classes: see timestamps.hpp.
#include "timestamps.hpp"

#include <cstddef>
#include <utility>

#include "py/interned.hpp"
#include "py/lookup.hpp"
#include "py/raise.hpp"
#include "py/text.hpp"
#include "xml_read/deserialize_error.hpp"
#include "xml_read/report_deserializer.hpp"

namespace corvane {
namespace {

// Python 3.10's fromisoformat refuses longer fractions; later versions
// accept them and drop the extra digits, which is what we do for all.
constexpr std::size_t kMaxPythonFractionDigits = 6;

constexpr std::string_view kTimestampDocumentHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<testsuites name=\"timestamp\" tests=\"0\" failures=\"0\" errors=\"0\" timestamp=\"";
constexpr std::string_view kTimestampDocumentTail = "\"/>\n";

// Names looked up at every conversion, interned once.
constinit py::InternedName kDatetimeModule("datetime");
constinit py::InternedName kDatetimeClass("datetime");
constinit py::InternedName kUtcoffset("utcoffset");
constinit py::InternedName kIsoformat("isoformat");
constinit py::InternedName kFromisoformat("fromisoformat");
constinit py::InternedName kSeconds("seconds");
constinit py::InternedName kMicroseconds("microseconds");
constinit py::InternedName kTimezoneClass("timezone");
constinit py::InternedName kUtc("utc");
constinit py::InternedName kAstimezone("astimezone");

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

// One integer attribute of the offset (a timedelta), read through __index__.
[[nodiscard]] py::Result<long> long_attribute(PyObject* object, py::InternedName& name) {
  auto attr_name = name.get();
  if (!attr_name) return py::raised();
  py::Ref value = py::Ref::steal(PyObject_GetAttr(object, *attr_name));
  if (!value) return py::raised();
  py::Ref index = py::Ref::steal(PyNumber_Index(value.get()));
  if (!index) return py::raised();
  const long number = PyLong_AsLong(index.get());
  if (number == -1 && PyErr_Occurred()) return py::raised();
  return number;
}

// `timestamp` itself when its UTC offset (`offset`, a timedelta) is whole
// minutes, else the same instant converted to UTC. Documents carry offsets in
// minutes; zoneinfo gives offsets with seconds for historic dates (Amsterdam
// was +00:19:32 in 1900), which rounding would move to another instant. The
// conversion's own error (a date pushed out of datetime's range) propagates.
[[nodiscard]] py::Result<py::Ref> with_whole_minute_offset(PyObject* timestamp, PyObject* offset) {
  auto seconds = long_attribute(offset, kSeconds);
  if (!seconds) return py::raised();
  auto microseconds = long_attribute(offset, kMicroseconds);
  if (!microseconds) return py::raised();
  if (*seconds % 60 == 0 && *microseconds == 0) return py::Ref::borrow(timestamp);
  auto utc = py::import_attr(kDatetimeModule, kTimezoneClass);
  if (!utc) return py::raised();
  auto utc_name = kUtc.get();
  if (!utc_name) return py::raised();
  py::Ref utc_zone = py::Ref::steal(PyObject_GetAttr(utc->get(), *utc_name));
  if (!utc_zone) return py::raised();
  auto method = kAstimezone.get();
  if (!method) return py::raised();
  py::Ref converted =
      py::Ref::steal(PyObject_CallMethodObjArgs(timestamp, *method, utc_zone.get(), nullptr));
  if (!converted) return py::raised();
  return converted;
}

}  // namespace

py::Result<std::optional<std::string>> normalize_timestamp(PyObject* obj_or_null) {
  if (obj_or_null == nullptr || obj_or_null == Py_None) return std::optional<std::string>();
  auto datetime_class = py::import_attr(kDatetimeModule, kDatetimeClass);
  if (!datetime_class) return py::raised();
  const int is_datetime = PyObject_IsInstance(obj_or_null, datetime_class->get());
  if (is_datetime < 0) return py::raised();
  if (is_datetime == 0) {
    PyErr_SetString(PyExc_TypeError, "timestamp must be a datetime.datetime instance");
    return py::raised();
  }
  auto offset = py::call_method(obj_or_null, kUtcoffset);
  if (!offset) return py::raised();
  if (offset->get() == Py_None) {
    PyErr_SetString(PyExc_ValueError, "timestamp must be timezone-aware");
    return py::raised();
  }
  auto in_whole_minutes = with_whole_minute_offset(obj_or_null, offset->get());
  if (!in_whole_minutes) return py::raised();
  auto text = py::call_method(in_whole_minutes->get(), kIsoformat);
  if (!text) return py::raised();
  auto result = py::str_to_string(text->get());
  if (!result) return py::raised();
  return std::optional<std::string>(std::move(*result));
}

py::Result<py::Ref> timestamp_to_python(const std::optional<std::string>& text) {
  if (!text) return py::Ref::borrow(Py_None);
  auto datetime_class = py::import_attr(kDatetimeModule, kDatetimeClass);
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

}  // namespace corvane
