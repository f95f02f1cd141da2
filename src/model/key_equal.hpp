// Equality of short keys (attribute names, extra keys), which mostly differ
// in length or first byte: checking those first spares a library call to
// compare the rest.
#pragma once

#include <string_view>

namespace corvane {

inline bool keys_equal(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && (a.empty() || a.front() == b.front()) && a == b;
}

}  // namespace corvane
