// Attaches "while processing '<parameter>'" to the exception raised while one
// argument was converted, so the caller sees which argument was refused; or
// any other text, such as a hint at the call that was meant.
#pragma once

#include "py/result.hpp"

namespace py {

// Adds the note to the exception currently set. BaseException.add_note only
// exists from Python 3.11 on; where it is missing or fails, the exception is
// left as it was.
void add_note(const char* parameter) noexcept;

// Adds `text` as a note to the exception currently set, in the same way.
void add_text_note(const char* text) noexcept;

// Passes `result` through, adding the note for `parameter` when it failed.
template <class T>
[[nodiscard]] Result<T> noted(const char* parameter, Result<T> result) {
  if (!result) add_note(parameter);
  return result;
}

}  // namespace py
