// What the XML writer needs from the place it writes to: an append-only byte
// sink whose writes may fail with an I/O error.
#pragma once

#include <concepts>
#include <expected>
#include <string_view>

namespace corvane {

// A failed write of the output sink. `reason` is a fixed text chosen by the
// sink; it is carried, never built, so reporting a failure cannot fail.
struct IoError {
  std::string_view reason;

  bool operator==(const IoError&) const = default;
};

template <typename S>
concept Sink = requires(S& sink, std::string_view bytes) {
  { sink.write(bytes) } -> std::same_as<std::expected<void, IoError>>;
};

}  // namespace corvane
