// The growable byte buffer that a document is written into. Its storage is a
// std::string so the finished document can be handed over without a copy.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>


namespace corvane {

namespace output_buffer_detail {

// The `n` bytes at `in` (Half <= n <= 2 * Half) as two fixed-size halves
// that overlap unless n is 2 * Half; both are read before either is written.
template <std::size_t Half>
inline void copy_halves(char* out, const char* in, std::size_t n) noexcept {
  char first[Half];
  char last[Half];
  std::memcpy(first, in, Half);
  std::memcpy(last, in + n - Half, Half);
  std::memcpy(out, first, Half);
  std::memcpy(out + n - Half, last, Half);
}

}  // namespace output_buffer_detail

// Copies `bytes` to `out` with at most two fixed-size moves when they are at
// most 32 long, instead of a call to memcpy: names and markup are short, of
// lengths known only at run time. Returns the end of the copy.
inline char* put_bytes(char* out, std::string_view bytes) noexcept {
  using output_buffer_detail::copy_halves;
  const char* in = bytes.data();
  const std::size_t n = bytes.size();
  if (n > 32) {
    std::memcpy(out, in, n);
  } else if (n > 16) {
    copy_halves<16>(out, in, n);
  } else if (n >= 8) {
    copy_halves<8>(out, in, n);
  } else if (n >= 4) {
    copy_halves<4>(out, in, n);
  } else if (n > 0) {
    const char first = in[0];
    const char middle = in[n / 2];
    const char last = in[n - 1];
    out[0] = first;
    out[n / 2] = middle;
    out[n - 1] = last;
  }
  return out + n;
}

class OutputBuffer final {
 public:
  OutputBuffer() = default;
  OutputBuffer(const OutputBuffer&) = default;
  OutputBuffer& operator=(const OutputBuffer&) = default;
  // A moved-from buffer is empty and usable: the default moves would leave
  // its size behind with no storage, so the next append would write past
  // the end.
  OutputBuffer(OutputBuffer&& other) noexcept
      : storage_(std::move(other.storage_)), size_(std::exchange(other.size_, 0)) {}
  OutputBuffer& operator=(OutputBuffer&& other) noexcept {
    storage_ = std::move(other.storage_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }

  // Makes room for `capacity` bytes in total without changing the contents.
  void reserve(std::size_t capacity) {
    if (capacity > storage_.size()) grow_to(capacity);
  }

  void append(std::string_view bytes) {
    char* out = append_raw(bytes.size());
    // memcpy from an empty view's null pointer is undefined even for 0 bytes.
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    size_ += bytes.size();
  }

  void append(char byte) {
    *append_raw(1) = byte;
    ++size_;
  }

  // Room for at least `count` bytes after the contents, for formatting in
  // place (std::to_chars); `commit` then claims what was written.
  char* append_raw(std::size_t count) {
    if (storage_.size() - size_ < count) grow_for(count);
    return storage_.data() + size_;
  }

  // `end` lies within the room returned by the last append_raw.
  void commit(const char* end) noexcept { size_ = static_cast<std::size_t>(end - storage_.data()); }

  // Drops the contents and keeps the storage, so a reused buffer stops
  // allocating once it has reached its working size.
  void clear() noexcept { size_ = 0; }

  std::string_view view() const noexcept { return {storage_.data(), size_}; }
  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return storage_.size(); }
  bool empty() const noexcept { return size_ == 0; }

  // Moves the contents out; the buffer is left empty.
  std::string take() noexcept {
    storage_.resize(size_);  // a shrink: no reallocation, no copy
    size_ = 0;
    return std::move(storage_);
  }

 private:
  static constexpr std::size_t kMinimumCapacity = 256;

  void grow_for(std::size_t count);
  void grow_to(std::size_t capacity);

  // storage_.size() is the capacity; bytes past size_ are scratch.
  std::string storage_;
  std::size_t size_ = 0;
};

}  // namespace corvane
