// What every reading function returns, and the two early-return helpers the
// readers use to propagate a DeserializeError.
#pragma once

#include <expected>
#include <string>
#include <utility>

#include "xml_read/deserialize_error.hpp"

namespace corvane {

template <typename T>
using ReadResult = std::expected<T, DeserializeError>;

inline DeserializeError structure_error(const ElementPath& path, std::string detail) {
  return make_error(path, DeserializeErrorKind::InvalidStructure, std::move(detail));
}

}  // namespace corvane

// Early returns that propagate the error of an expression yielding
// std::expected: one binding its value, one for std::expected<void, E>.
#define CORVANE_TRY(var, expr)                                                \
  auto var##_result = (expr);                                                 \
  if (!var##_result) return std::unexpected(std::move(var##_result).error()); \
  auto&& var = *var##_result
#define CORVANE_CHECK(expr)                                    \
  do {                                                         \
    if (auto check_result = (expr); !check_result)             \
      return std::unexpected(std::move(check_result).error()); \
  } while (false)
