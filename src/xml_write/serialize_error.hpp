// The one error of the report serializer, wrapping its cause: a failed write
// of the output sink, or output that is not valid UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "xml_write/sink.hpp"

namespace corvane {

enum class SerializeErrorKind : std::uint8_t { Io, Encoding };

inline constexpr std::size_t kSerializeErrorKindCount = 2;

// A fixed description of each cause kind.
std::string_view describe(SerializeErrorKind kind) noexcept;

class SerializeError {
 public:
  static constexpr std::string_view kText = "error serializing JUnit report";

  // Implicit, so a writer's I/O error propagates out of serializer steps.
  SerializeError(IoError cause) noexcept : kind_(SerializeErrorKind::Io), io_(cause) {}  // NOLINT

  static SerializeError encoding() noexcept { return SerializeError(SerializeErrorKind::Encoding); }

  // The display text, the same whatever the cause.
  std::string_view message() const noexcept { return kText; }

  // The inner error.
  SerializeErrorKind cause() const noexcept { return kind_; }
  std::string_view cause_message() const noexcept {
    return kind_ == SerializeErrorKind::Io && !io_.reason.empty() ? io_.reason : describe(kind_);
  }

  bool operator==(const SerializeError&) const = default;

 private:
  explicit SerializeError(SerializeErrorKind kind) noexcept : kind_(kind) {}

  SerializeErrorKind kind_;
  IoError io_{};
};

}  // namespace corvane
