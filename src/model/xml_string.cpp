// XmlString construction: text is cleaned in one pass and stored at its
// exact size.
//
// Cleaning has two stages: removal of escape sequences and control
// characters, then removal of the characters that XML 1.0 forbids: the C0
// controls and the two noncharacters U+FFFE and U+FFFF, which the Char
// production leaves out just the same (a report holding them would be
// written as a document no XML parser accepts). The second stage is folded
// into the first rather than run as its own pass: plain text keeps an ASCII
// byte only if both stages keep it (byte_class.hpp builds one table from
// both rules), the ground-text scan drops U+FFFE and U+FFFF where it drops
// the C1 controls, and the only other bytes ever output are the line feed or
// tab a sequence executes and U+FFFD, all legal in XML. The checks below hold
// the ASCII part of that reasoning to the tables at compile time.
//
// Any bytes are accepted, not only UTF-8: outside escape sequences a byte
// that does not start a well-formed character is dropped if it lies in 0x80
// to 0x9F and replaced by U+FFFD otherwise, so the stored text is always
// valid UTF-8.
#include "model/xml_string.hpp"

#include <cstring>
#include <new>

#include "model/byte_class.hpp"
#include "model/escape_sequence_remover.hpp"
#include "model/ground_text.hpp"

namespace corvane {

namespace {

constexpr bool xml_filter_is_folded_in() {
  for (int b = 0; b < 0x80; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    if (byte_class::forbidden_in_xml(byte) && byte_class::has(byte, byte_class::kKeptInText)) {
      return false;
    }
  }
  return !byte_class::forbidden_in_xml('\n') && !byte_class::forbidden_in_xml('\t');
}
static_assert(xml_filter_is_folded_in(), "plain text must never keep an XML-forbidden control");

}  // namespace

void append_sanitised(std::string_view text, std::string& out) {
  remove_escape_sequences(text, out);
}

// Most text is clean already: one scan finds out, and one copy stores it,
// made in place (a string made aside and moved in was reloaded in wider
// pieces than it had just been stored in, which stalls).
XmlString::XmlString(std::string_view text)
    : XmlString(text, kept_prefix_length(text), nullptr) {}

XmlString::XmlString(std::string_view text, TextArena& arena)
    : XmlString(text, kept_prefix_length(text), &arena) {}

XmlString::XmlString(std::string_view text, std::size_t kept, TextArena* arena) {
  if (kept == text.size()) {
    store(text, arena);
  } else {
    store_cleaned(text, kept, arena);
  }
}

// Apart from the constructor, so that storing clean text (nearly all of it)
// pays nothing for the thread's buffer.
[[gnu::noinline]] void XmlString::store_cleaned(std::string_view text, std::size_t kept,
                                                 TextArena* arena) {
  // Cleaned text is made in a buffer this thread keeps, then stored at its
  // exact size; a buffer grown by an unusually long text is not kept.
  constexpr std::size_t kKeptCleaningBytes = std::size_t{1} << 16;
  thread_local std::string cleaned;
  cleaned.clear();
  // The kept start holds no ESC, so cleaning resumes after it in plain text.
  cleaned.append(text.substr(0, kept));
  append_sanitised(text.substr(kept), cleaned);
  store(cleaned, arena);
  if (cleaned.capacity() > kKeptCleaningBytes) std::string().swap(cleaned);
}

void XmlString::release_block(Block* block) noexcept {
  // A sole owner frees without the locked decrement: nobody else holds a
  // reference through which to take another.
  if (block->references.load(std::memory_order_acquire) != 1 &&
      block->references.fetch_sub(1, std::memory_order_acq_rel) != 1) {
    return;
  }
  ArenaChunk* const chunk = block->chunk;
  block->~Block();
  TextArena::free_block(block, chunk);
}

}  // namespace corvane
