// The value conversions shared by the Python classes: XML input, extra
// attribute dicts, UUIDs, timestamps and durations between Python objects
// and the forms the classes store. Each returns its result, or a Python
// error that is already set and that the caller raises as it is.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/report.hpp"
#include "model/values.hpp"
#include "model/xml_string.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// The UTF-8 text of an XML input: a view of the str's or bytes' own buffer
// where the object has one and it cannot change (valid while the object
// lives), else bytes copied out (a bytearray, which another thread could
// resize while the read runs without the GIL, or another sequence).
class XmlText {
 public:
  static XmlText borrowed(const char* data, std::size_t size) { return XmlText(data, size, {}); }
  static XmlText owned(std::string bytes) { return XmlText(nullptr, 0, std::move(bytes)); }

  std::string_view view() const noexcept {
    return data_ != nullptr ? std::string_view(data_, size_) : std::string_view(owned_);
  }
  // Whether the bytes are still to be checked as UTF-8 (a str's never are).
  bool needs_utf8_check() const noexcept { return needs_utf8_check_; }
  void set_needs_utf8_check(bool needed) noexcept { needs_utf8_check_ = needed; }

 private:
  XmlText(const char* data, std::size_t size, std::string owned)
      : data_(data), size_(size), owned_(std::move(owned)) {}

  const char* data_;
  std::size_t size_;
  std::string owned_;
  bool needs_utf8_check_ = false;
};

// A str, or bytes-like UTF-8 (bytes, bytearray, or any non-str sequence of
// ints 0..255), as UTF-8 text. TypeError "XML input must be str or bytes";
// ValueError "XML bytes must be valid UTF-8".
[[nodiscard]] py::Result<XmlText> extract_xml(PyObject* obj);
// As extract_xml, leaving the UTF-8 check of bytes to the caller, who can
// make it without the GIL (see XmlText::needs_utf8_check) and then raise
// the same ValueError with raise_invalid_xml_utf8.
[[nodiscard]] py::Result<XmlText> extract_xml_unchecked(PyObject* obj);
void raise_invalid_xml_utf8();

// Sanitised (key, value) pairs in the dict's insertion order, duplicates
// kept. NULL gives no pairs. TypeError for a key or value that is not a str.
using ExtraPairs = std::vector<std::pair<XmlString, XmlString>>;
[[nodiscard]] py::Result<ExtraPairs> extract_extra(PyObject* dict_or_null);
// A new dict of the pairs: a later pair with the same key overwrites the
// value and keeps the first position.
[[nodiscard]] py::Result<py::Ref> extra_to_dict(const ExtraPairs& pairs);

// NULL or None give no value; otherwise a uuid.UUID instance as its str().
[[nodiscard]] py::Result<std::optional<std::string>> normalize_uuid(PyObject* obj_or_null);
// A new uuid.UUID, or None when absent.
[[nodiscard]] py::Result<py::Ref> uuid_to_python(const std::optional<std::string>& text);

// NULL or None give no value; otherwise an aware datetime.datetime as its
// isoformat() text.
[[nodiscard]] py::Result<std::optional<std::string>> normalize_timestamp(PyObject* obj_or_null);
// A new aware datetime.datetime, or None when absent.
[[nodiscard]] py::Result<py::Ref> timestamp_to_python(const std::optional<std::string>& text);

// A small document whose root carries `text` as its timestamp, read by the
// report deserializer, so stored timestamps obey exactly the reader's
// grammar. ValueError with the deserializer's message on failure.
[[nodiscard]] py::Result<Report> report_with_timestamp(std::string_view text);
// The model timestamp of a stored text (absent stays absent).
[[nodiscard]] py::Result<std::optional<Timestamp>> timestamp_to_model(
    const std::optional<std::string>& text);

// A non-negative datetime.timedelta as a duration. TypeError "'<type>'
// object is not an instance of 'timedelta'"; ValueError when negative.
[[nodiscard]] py::Result<Duration> extract_duration(PyObject* obj);
// NULL or None give no value; otherwise extract_duration. The caller adds
// the note for its parameter.
[[nodiscard]] py::Result<std::optional<Duration>> extract_optional_duration(PyObject* obj_or_null);
// A new datetime.timedelta (sub-microsecond parts dropped), or None when
// absent.
[[nodiscard]] py::Result<py::Ref> duration_to_python(const std::optional<Duration>& duration);

}  // namespace corvane
