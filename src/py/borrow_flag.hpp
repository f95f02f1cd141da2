// The borrow counter every instance carries: a number of shared readers, or
// one exclusive writer. It is plain C++ so its rules can be tested without an
// interpreter; py/borrow.hpp turns a refusal into the Python RuntimeError.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace py {

class BorrowFlag {
 public:
  bool is_free() const noexcept { return count_ == 0; }
  bool is_exclusive() const noexcept { return count_ == kExclusive; }

 private:
  friend class SharedGuard;
  friend class ExclusiveGuard;
  static constexpr std::int32_t kExclusive = -1;
  // > 0: that many shared holders; kExclusive: one exclusive holder.
  std::int32_t count_ = 0;
};

// Held while an operation reads an instance.
class SharedGuard {
 public:
  // Refused while the instance is held exclusively.
  [[nodiscard]] static std::optional<SharedGuard> try_acquire(BorrowFlag& flag) noexcept {
    if (flag.count_ == BorrowFlag::kExclusive) return std::nullopt;
    ++flag.count_;
    return SharedGuard(flag);
  }
  SharedGuard(SharedGuard&& other) noexcept : flag_(std::exchange(other.flag_, nullptr)) {}
  SharedGuard(const SharedGuard&) = delete;
  SharedGuard& operator=(const SharedGuard&) = delete;
  SharedGuard& operator=(SharedGuard&&) = delete;
  ~SharedGuard() {
    if (flag_ != nullptr) --flag_->count_;
  }

 private:
  explicit SharedGuard(BorrowFlag& flag) noexcept : flag_(&flag) {}
  BorrowFlag* flag_;
};

// Held while an operation changes an instance.
class ExclusiveGuard {
 public:
  // Refused while the instance is held in any way.
  [[nodiscard]] static std::optional<ExclusiveGuard> try_acquire(BorrowFlag& flag) noexcept {
    if (flag.count_ != 0) return std::nullopt;
    flag.count_ = BorrowFlag::kExclusive;
    return ExclusiveGuard(flag);
  }
  ExclusiveGuard(ExclusiveGuard&& other) noexcept : flag_(std::exchange(other.flag_, nullptr)) {}
  ExclusiveGuard(const ExclusiveGuard&) = delete;
  ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;
  ExclusiveGuard& operator=(ExclusiveGuard&&) = delete;
  ~ExclusiveGuard() {
    if (flag_ != nullptr) flag_->count_ = 0;
  }

 private:
  explicit ExclusiveGuard(BorrowFlag& flag) noexcept : flag_(&flag) {}
  BorrowFlag* flag_;
};

}  // namespace py
