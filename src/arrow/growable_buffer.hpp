// A byte buffer that grows with realloc: a large block is then moved by
// remapping its pages rather than copied, and the capacity not yet written
// costs no resident memory, so a column of hundreds of megabytes never
// exists twice while it is built.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace corvane::arrow {

class GrowableBuffer {
 public:
  GrowableBuffer() = default;
  GrowableBuffer(const GrowableBuffer&) = delete;
  GrowableBuffer& operator=(const GrowableBuffer&) = delete;
  GrowableBuffer(GrowableBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  GrowableBuffer& operator=(GrowableBuffer&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  ~GrowableBuffer() { std::free(data_); }

  // Room for `count` more bytes at the end, which the caller then writes.
  char* append_raw(std::size_t count) {
    if (capacity_ - size_ < count) grow(count);
    char* at = data_ + size_;
    size_ += count;
    return at;
  }
  void append(const void* bytes, std::size_t count) {
    if (count != 0) std::memcpy(append_raw(count), bytes, count);
  }
  template <class T>
  void append_value(T value) {
    std::memcpy(append_raw(sizeof(T)), &value, sizeof(T));
  }
  void reserve(std::size_t count) {
    if (capacity_ - size_ < count) grow(count);
  }
  // Drops the unused capacity (cheap for a remapped block).
  void shrink_to_fit() noexcept {
    if (size_ == 0 || size_ == capacity_) return;
    if (void* smaller = std::realloc(data_, size_)) {
      data_ = static_cast<char*>(smaller);
      capacity_ = size_;
    }
  }

  char* data() noexcept { return data_; }
  const char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }

 private:
  void grow(std::size_t count) {
    std::size_t wanted = capacity_ < 64 ? 64 : capacity_ * 2;
    if (wanted - size_ < count) wanted = size_ + count;
    void* grown = std::realloc(data_, wanted);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(grown);
    capacity_ = wanted;
  }

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace corvane::arrow
