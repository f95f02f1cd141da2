// The growable byte buffer that a document is written into. Its storage is a
// std::string so the finished document can be handed over without a copy.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace corvane {

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
