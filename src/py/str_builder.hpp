// A str grown from pieces of UTF-8 text, so that a long text made in a byte
// buffer can be handed to Python a piece at a time instead of all at once.
#pragma once

#include <string_view>

#include "py/ref.hpp"
#include "py/result.hpp"

namespace py {

class StrBuilder {
 public:
  // Appends `piece`, which must end on a character boundary (a piece is
  // decoded on its own). False, with nothing appended and no exception set,
  // when the piece is not valid UTF-8: decoding checks it anyway, so the
  // caller needs no check of its own.
  [[nodiscard]] Result<bool> append(std::string_view piece);

  // The text appended so far, "" if none; the builder is left empty.
  [[nodiscard]] Result<Ref> finish();

 private:
  Ref text_;
};

}  // namespace py
