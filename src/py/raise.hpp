// The one way the module raises an exception with a text of its own making.
// Texts may echo what a caller or a document held (a key, a timestamp, bytes
// of a document that is not UTF-8), so they are decoded with replacement:
// building the message never fails because of its contents.
#pragma once

#include <Python.h>

#include <string_view>

namespace py {

// Sets an exception of class `type` whose one argument is `message`, read as
// UTF-8 with each invalid byte replaced by U+FFFD. When even that str cannot
// be made (memory), the error of that failure is left set instead.
void raise_text(PyObject* type, std::string_view message) noexcept;

}  // namespace py
