// The notes for the usual calling mistakes: see call_hints.hpp.
#include "call_hints.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>

#include "canonical/canonical_document.hpp"
#include "errors.hpp"
#include "py/note.hpp"

namespace corvane {
namespace {

constexpr const char* kUseLoadForPath =
    "to read the file at a path, use corvane.load(path) or Report.read_xml(file)";
constexpr const char* kUseReadXml =
    "to read a file object, use Report.read_xml(file) or corvane.load(file)";
constexpr const char* kUseLoadForRunners =
    "corvane.load reads what test runners write, this document included; "
    "Report.from_xml and Report.read_xml read only the strict form";
constexpr const char* kReadXmlTakesFile =
    "read_xml takes a file object: to read the file at a path, use corvane.load(path) "
    "or Report.read_xml(open(path, 'rb'))";
constexpr const char* kWriteXmlTakesTextFile =
    "write_xml takes a file object open for writing text, such as "
    "open(path, 'w', encoding='utf-8'); to_xml() returns the document as str";
constexpr const char* kWriteXmlWritesStr =
    "write_xml writes str: open the file in text mode (open(path, 'w', encoding='utf-8')), "
    "or write report.to_xml().encode() to the binary file";

// Whether `object` has the attribute, leaving the exception being reported
// as it is (looking an attribute up clears it).
bool has_attribute(PyObject* object, const char* name) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  const bool found = PyObject_HasAttrString(object, name);
  PyErr_Restore(type, value, traceback);
  return found;
}

bool is_path_like(PyObject* object) {
  return PyUnicode_Check(object) || has_attribute(object, "__fspath__");
}

bool ends_with_xml(std::string_view text) {
  constexpr std::string_view kSuffix = ".xml";
  return text.size() >= kSuffix.size() &&
         std::ranges::equal(text.substr(text.size() - kSuffix.size()), kSuffix,
                            [](char a, char b) { return std::tolower(a) == b; });
}

// Text with no markup that names a file, or looks like the name of one.
bool looks_like_path(std::string_view text) {
  if (text.empty() || text.find_first_of(std::string_view("<\0", 2)) != std::string_view::npos) {
    return false;
  }
  if (ends_with_xml(text)) return true;
  std::error_code error;
  return text.size() < 4096 && std::filesystem::exists(std::string(text), error);
}

}  // namespace

void hint_from_xml_argument(PyObject* xml) {
  // A str refused here holds a lone surrogate: it is no path.
  if (!PyErr_ExceptionMatches(PyExc_TypeError) || PyUnicode_Check(xml)) return;
  if (has_attribute(xml, "__fspath__")) {
    py::add_text_note(kUseLoadForPath);
  } else if (has_attribute(xml, "read")) {
    py::add_text_note(kUseReadXml);
  }
}

void hint_refused_document(PyObject* xml, std::string_view text) {
  auto error_type = deserialization_error_type();
  if (!error_type || !PyErr_ExceptionMatches(*error_type)) return;
  if (xml != nullptr && PyUnicode_Check(xml) && looks_like_path(text)) {
    py::add_text_note(kUseLoadForPath);
  } else if (canonical_document(text)) {
    py::add_text_note(kUseLoadForRunners);
  }
}

void hint_read_xml_argument(PyObject* reader) {
  if (PyErr_ExceptionMatches(PyExc_AttributeError) && is_path_like(reader)) {
    py::add_text_note(kReadXmlTakesFile);
  }
}

void hint_write_xml_argument(PyObject* writer) {
  if (PyErr_ExceptionMatches(PyExc_AttributeError) && is_path_like(writer)) {
    py::add_text_note(kWriteXmlTakesTextFile);
  } else if (PyErr_ExceptionMatches(PyExc_TypeError)) {
    py::add_text_note(kWriteXmlWritesStr);
  }
}

}  // namespace corvane
