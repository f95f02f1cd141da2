// XmlString: the only text type of the report model. Text is cleaned once,
// when it is made (terminal escape sequences, XML-illegal control
// characters and the noncharacters U+FFFE and U+FFFF removed), and never
// changes afterwards.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <string_view>

#include "model/short_copy.hpp"
#include "model/text_arena.hpp"

namespace corvane {

class OptionalText;

class XmlString {
 public:
  XmlString() noexcept : data_(storage_.chars), size_(0) {}
  // Cleans `text`. Any byte sequence is accepted: outside an escape sequence
  // a byte that does not start a well-formed UTF-8 character is dropped if it
  // lies in 0x80 to 0x9F and becomes one U+FFFD otherwise, so the result is
  // always valid UTF-8.
  explicit XmlString(std::string_view text);
  explicit XmlString(const char* text) : XmlString(std::string_view(text)) {}
  // For text the caller has found to hold only printable ASCII (0x20 to
  // 0x7F), line feeds and tabs, which cleaning keeps as they are: stored
  // without the scan.
  struct PrintableAscii {};
  XmlString(PrintableAscii, std::string_view text) : XmlString() { store(text, nullptr); }
  // The same, with a longer text's block carved out of `arena`.
  XmlString(std::string_view text, TextArena& arena);
  XmlString(PrintableAscii, std::string_view text, TextArena& arena) : XmlString() {
    store(text, &arena);
  }
  // What assigning XmlString(PrintableAscii{}, text, arena) does, without
  // the object made aside and moved in.
  void assign(PrintableAscii, std::string_view text, TextArena& arena) {
    assign_plain(text, arena, 0);
  }

  XmlString(const XmlString& other) noexcept { copy_from(other); }
  XmlString(XmlString&& other) noexcept { take_from(other); }
  XmlString& operator=(const XmlString& other) noexcept {
    if (this != &other) {
      release();
      copy_from(other);
    }
    return *this;
  }
  XmlString& operator=(XmlString&& other) noexcept {
    if (this != &other) {
      release();
      take_from(other);
    }
    return *this;
  }
  ~XmlString() { release(); }

  std::string_view view() const noexcept { return {data_, size_}; }
  const char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

  friend bool operator==(const XmlString& a, const XmlString& b) noexcept {
    return a.view() == b.view();
  }
  friend auto operator<=>(const XmlString& a, const XmlString& b) noexcept {
    return a.view() <=> b.view();
  }

 private:
  friend class OptionalText;

  // The size that marks an OptionalText holding no text: no text is this
  // long. Such an object is inline, so copying, moving and releasing it
  // need no case of their own.
  static constexpr std::size_t kAbsentSize = ~std::size_t{0};
  struct Absent {};
  explicit XmlString(Absent) noexcept : data_(storage_.chars), size_(kAbsentSize) {}
  bool is_absent() const noexcept { return size_ == kAbsentSize; }
  // assign(PrintableAscii, ...), leaving the size `failed_size` (the empty
  // text, or absent) if no block can be had for the text.
  void assign_plain(std::string_view text, TextArena& arena, std::size_t failed_size) {
    release();
    data_ = storage_.chars;
    size_ = failed_size;
    store(text, &arena);
  }

  // Texts up to this long are stored in the object itself.
  static constexpr std::size_t kInlineCapacity = 16;

  // A longer text lives in one heap block, its reference count followed by
  // its bytes. The text never changes, so copies share the block: writing a
  // report copies every text of the objects into a model, and a count is
  // far cheaper than an allocation and a copy of each. A block carved out
  // of an arena names its chunk, released with the block.
  struct Block {
    std::atomic<std::size_t> references;
    ArenaChunk* chunk;
    char* chars() noexcept { return reinterpret_cast<char*>(this + 1); }
  };

  union Storage {
    char chars[kInlineCapacity];
    Block* block;
  };

  // `kept`: how long a start of `text` cleaning keeps as it is.
  XmlString(std::string_view text, std::size_t kept, TextArena* arena);

  bool is_inline() const noexcept { return data_ == storage_.chars; }
  // Stores `clean` as it is, in `arena` if one is given; the object holds
  // nothing yet. Inline: storing a plain text is most of what reading does
  // with it.
  // The size is set last, so that an object whose block could not be had
  // (assign() may then leave it) is still the empty text.
  void store(std::string_view clean, TextArena* arena) {
    const std::size_t size = clean.size();
    if (size <= kInlineCapacity) {
      copy_short(storage_.chars, clean.data(), size);
      data_ = storage_.chars;
      size_ = size;
      return;
    }
    ArenaChunk* chunk = nullptr;
    void* memory = TextArena::allocate_block(arena, sizeof(Block) + size, chunk);
    Block* block = new (memory) Block{1, chunk};
    copy_short(block->chars(), clean.data(), size);
    storage_.block = block;
    data_ = block->chars();
    size_ = size;
  }
  // Stores `text` cleaned, the first `kept` bytes of which cleaning keeps.
  void store_cleaned(std::string_view text, std::size_t kept, TextArena* arena);
  // Takes `other`'s text as this object's own: the inline bytes, or the
  // same block. Callers settle who holds the block's reference.
  void adopt_layout(const XmlString& other) noexcept {
    size_ = other.size_;
    storage_ = other.storage_;
    data_ = other.is_inline() ? storage_.chars : other.data_;
  }
  void copy_from(const XmlString& other) noexcept {
    adopt_layout(other);
    if (!is_inline()) storage_.block->references.fetch_add(1, std::memory_order_relaxed);
  }
  void take_from(XmlString& other) noexcept {
    adopt_layout(other);
    other.data_ = other.storage_.chars;
    other.size_ = 0;
  }
  void release() noexcept {
    if (!is_inline()) release_block(storage_.block);
  }
  static void release_block(Block* block) noexcept;

  // The text wherever it lives, so view() needs no branch; it points into
  // storage_ exactly when the text is inline.
  const char* data_;
  std::size_t size_;
  Storage storage_{};
};

// Appends the cleaned form of `text` to `out`; what XmlString's constructor
// does, exposed for callers that clean into a buffer they reuse.
void append_sanitised(std::string_view text, std::string& out);

}  // namespace corvane

template <>
struct std::hash<corvane::XmlString> {
  std::size_t operator()(const corvane::XmlString& s) const noexcept {
    return std::hash<std::string_view>{}(s.view());
  }
};
