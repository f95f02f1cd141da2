// OptionalDuration: a duration that may be absent, in the 16 bytes of the
// duration instead of std::optional's 24. Every test case has one, and the
// eight bytes take a read test case object from 176 to 160 bytes. Absence
// is a nanosecond count no duration has (they stay below one second).
#pragma once

#include <cstdint>
#include <optional>

#include "model/values.hpp"

namespace corvane {

class OptionalDuration {
 public:
  OptionalDuration() noexcept = default;
  OptionalDuration(std::nullopt_t) noexcept {}
  OptionalDuration(Duration duration) noexcept : duration_(duration) {}
  OptionalDuration(const std::optional<Duration>& duration) noexcept {
    if (duration) duration_ = *duration;
  }

  bool has_value() const noexcept { return duration_.nanoseconds != kAbsentNanoseconds; }
  explicit operator bool() const noexcept { return has_value(); }

  // Like std::optional's: only for a duration that is there.
  const Duration& operator*() const noexcept { return duration_; }
  const Duration* operator->() const noexcept { return &duration_; }

  void reset() noexcept { duration_ = kAbsent; }

  friend bool operator==(const OptionalDuration&, const OptionalDuration&) = default;
  // Spelt out: std::optional's own comparison with a value would otherwise
  // be chosen, and would find an absent duration unequal to std::nullopt.
  friend bool operator==(const OptionalDuration& a, const std::optional<Duration>& b) noexcept {
    return a == OptionalDuration(b);
  }
  friend bool operator==(const OptionalDuration& a, const Duration& b) noexcept {
    return a == OptionalDuration(b);
  }

 private:
  static constexpr std::uint32_t kAbsentNanoseconds = ~std::uint32_t{0};
  static constexpr Duration kAbsent{0, kAbsentNanoseconds};

  Duration duration_ = kAbsent;
};

static_assert(sizeof(OptionalDuration) == sizeof(Duration));

}  // namespace corvane
