// Exception notes: "while processing '<parameter>'" on the exception raised
// while one argument was converted, so the caller sees which argument was
// refused; any other text, such as a hint at the call that was meant, or the
// reason a document is malformed.
#pragma once

#include <string_view>

#include "py/result.hpp"

namespace py {

// Adds the note to the exception currently set. BaseException.add_note only
// exists from Python 3.11 on; where it is missing or fails, the exception is
// left as it was.
void add_note(const char* parameter) noexcept;

// Adds `text` as a note to the exception currently set, in the same way.
void add_text_note(const char* text) noexcept;

// Adds `note`, a reason such as why a document is malformed (UTF-8;
// undecodable bytes replaced), to the exception currently
// set. Where BaseException.add_note is missing (Python 3.10) the note is
// appended to the exception's `__notes__` list directly, so that code which
// prints notes finds it on every version. Nothing is added for an empty note.
void add_reason_note(std::string_view note) noexcept;

// Passes `result` through, adding the note for `parameter` when it failed.
template <class T>
[[nodiscard]] Result<T> noted(const char* parameter, Result<T> result) {
  if (!result) add_note(parameter);
  return result;
}

}  // namespace py
