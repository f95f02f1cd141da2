// A str grown from pieces of UTF-8 text, so that a long text made in a byte
// buffer can be handed to Python a piece at a time instead of all at once.
#pragma once

#include <string_view>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

class StrBuilder {
 public:
  // Appends `piece`, which must be valid UTF-8 and end on a character
  // boundary (a piece is decoded on its own).
  [[nodiscard]] Result<void> append(std::string_view piece);

  // The text appended so far, "" if none; the builder is left empty.
  [[nodiscard]] Result<Ref> finish();

 private:
  Ref text_;
};

}  // namespace py
