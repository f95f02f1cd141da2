// Timestamps between Python's aware datetime and the text the classes
// store, and from that text to the model's timestamp.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>

#include "model/report.hpp"
#include "model/values.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"

namespace corvane {

// NULL or None give no value; otherwise an aware datetime.datetime as its
// isoformat() text, converted to UTC first when its offset is not a whole
// number of minutes (the instant stays exact; documents hold minutes).
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

}  // namespace corvane
