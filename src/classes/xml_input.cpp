// XML input from Python: see xml_input.hpp.
#include "xml_input.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "model/utf8_check.hpp"
#include "py/ref.hpp"

namespace corvane {
namespace {

constexpr const char* kXmlInputType = "XML input must be str or bytes";
constexpr const char* kXmlInputUtf8 = "XML bytes must be valid UTF-8";
// Capacity hint cap for a byte sequence that claims a huge length.
constexpr std::size_t kMaxReserve = 1 << 16;

// The items of a non-str sequence, each an int from 0 to 255. Any failure
// is reported by the caller with its own text, so the error is left as is.
bool append_byte_items(PyObject* object, std::string& out) {
  if (PyUnicode_Check(object) || !PySequence_Check(object)) return false;
  const Py_ssize_t length = PySequence_Size(object);
  if (length < 0) {
    // A length that cannot be had only costs the reservation, unless it
    // is an error the caller must see (see extract_xml_unchecked).
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError) &&
        !PyErr_ExceptionMatches(PyExc_OverflowError)) {
      return false;
    }
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
// lend their own buffer, a bytearray (which another thread could resize
// while the read runs without the GIL) and other sequences are copied.
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
    return XmlText::owned(std::string(data, static_cast<std::size_t>(size)));
  }
  std::string bytes;
  if (!append_byte_items(object, bytes)) return std::nullopt;
  return XmlText::owned(std::move(bytes));
}

}  // namespace

// The document is read in place only from immutable objects (a str's UTF-8
// form, bytes), which the caller holds while the read runs without the GIL.
py::Result<XmlText> extract_xml_unchecked(PyObject* obj) {
  std::optional<XmlText> bytes;
  if (PyUnicode_Check(obj)) {
    Py_ssize_t size = 0;
    if (const char* text = PyUnicode_AsUTF8AndSize(obj, &size)) {
      return XmlText::borrowed(text, static_cast<std::size_t>(size));
    }
    // Lone surrogates: a str is never read as a byte sequence, so this
    // ends in the type error below.
  } else {
    bytes = read_bytes(obj);
  }
  if (!bytes) {
    // Only what says the input is not text or bytes becomes the type error
    // (lone surrogates, an item that is no int or out of range); anything
    // else, such as KeyboardInterrupt or MemoryError, is raised as it is.
    if (PyErr_Occurred() != nullptr && !PyErr_ExceptionMatches(PyExc_TypeError) &&
        !PyErr_ExceptionMatches(PyExc_ValueError) && !PyErr_ExceptionMatches(PyExc_OverflowError)) {
      return py::raised();
    }
    PyErr_Clear();
    PyErr_SetString(PyExc_TypeError, kXmlInputType);
    return py::raised();
  }
  bytes->set_needs_utf8_check(true);
  return std::move(*bytes);
}

void raise_invalid_xml_utf8() { PyErr_SetString(PyExc_ValueError, kXmlInputUtf8); }

py::Result<XmlText> extract_xml(PyObject* obj) {
  auto text = extract_xml_unchecked(obj);
  if (!text) return py::raised();
  if (text->needs_utf8_check() && !is_valid_utf8(text->view())) {
    raise_invalid_xml_utf8();
    return py::raised();
  }
  text->set_needs_utf8_check(false);
  return text;
}

}  // namespace corvane
