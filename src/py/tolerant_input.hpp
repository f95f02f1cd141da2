// The input of a tolerant read: a str as its UTF-8 form, bytes and bytearray
// as they are (the tolerant reader repairs invalid UTF-8 by the usual text
// cleaning). Shared by corvane.loads's read and corvane._tolerant.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>

namespace py {

// Sets `out` to the input's bytes. A bytearray, which another thread could
// resize while the read runs without the GIL, is copied into `copy`; str and
// bytes cannot change. TypeError "XML input must be str or bytes" for
// anything else; false with the exception set.
bool tolerant_input(PyObject* xml, std::string_view& out, std::string& copy);

}  // namespace py
