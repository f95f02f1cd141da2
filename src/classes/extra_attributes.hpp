// The `extra` attributes of suites and test cases: a dict's pairs as the
// classes store them and back, and on their way into the model the stored
// pairs inserted into the model's ordered map, each key checked first,
// because the writer copies keys unchecked as attribute names.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "model/extra_map.hpp"
#include "model/pair_array.hpp"
#include "model/text_arena.hpp"
#include "model/xml_string.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"
#include "xml_write/xml_name.hpp"

namespace corvane {

// Sanitised (key, value) pairs in a dict's insertion order, duplicates
// kept, as suites and test cases store them. They are only ever added to or
// replaced whole, so whether their keys can be written as they are is
// remembered (checked_extra) until they next change: a report is often
// written more than once, and its test cases outnumber everything else.
class ExtraPairs {
 public:
  using Pair = PairArray::Pair;

  ExtraPairs() = default;
  explicit ExtraPairs(PairArray&& pairs) noexcept : pairs_(std::move(pairs)) {}

  void reserve(std::size_t count, TextArena* arena = nullptr) { pairs_.reserve(count, arena); }
  void emplace_back(XmlString&& key, XmlString&& value, TextArena* arena = nullptr) {
    pairs_.emplace_back(std::move(key), std::move(value), arena);
    writable_on_ = kUnknown;
  }

  const PairArray& entries() const noexcept { return pairs_; }
  std::size_t size() const noexcept { return pairs_.size(); }
  bool empty() const noexcept { return pairs_.empty(); }
  const Pair& operator[](std::size_t i) const noexcept { return pairs_[i]; }
  auto begin() const noexcept { return pairs_.begin(); }
  auto end() const noexcept { return pairs_.end(); }

  // Whether every key was found writable on `element` and no two keys equal.
  bool known_writable(ExtraElement element) const noexcept {
    return writable_on_ == static_cast<std::uint8_t>(element);
  }
  // Whether that was found and no key has a namespace prefix either, so none
  // can be unbound.
  bool known_unprefixed(ExtraElement element) const noexcept {
    return known_writable(element) && !prefixed_;
  }
  // Set while the holder is held shared: the holder's pairs do not change
  // then, and the verdict is a function of them alone.
  void remember_writable(ExtraElement element) const noexcept {
    writable_on_ = static_cast<std::uint8_t>(element);
    prefixed_ = false;
    for (const auto& [key, value] : pairs_) {
      prefixed_ = prefixed_ || key.view().find(':') != std::string_view::npos;
    }
  }

 private:
  static constexpr std::uint8_t kUnknown = 0xFF;

  PairArray pairs_;
  mutable std::uint8_t writable_on_ = kUnknown;
  mutable bool prefixed_ = false;
};

// The pairs of a dict. NULL gives no pairs. TypeError for a key or value
// that is not a str.
[[nodiscard]] py::Result<ExtraPairs> extract_extra(PyObject* dict_or_null);
// A new dict of the pairs: a later pair with the same key overwrites the
// value and keeps the first position.
[[nodiscard]] py::Result<py::Ref> extra_to_dict(const ExtraPairs& pairs);

// Inserts every pair, in order, with key and value built into XmlString
// again (a repeated key keeps its first position and takes the later
// value). A key that is not an XML Name, or that is a standard attribute of
// `element`, is refused with a ValueError naming the key and the element
// (`owner` is the element's `name`); the map is then left partly filled and
// the caller discards it.
[[nodiscard]] py::Result<void> insert_extra(const ExtraPairs& pairs, ExtraElement element,
                                            std::string_view owner, ExtraMap& map);

// The attributes the pairs make on `element`, for writing: every key checked
// as insert_extra checks it (the same ValueError); the pairs themselves when
// their keys are distinct, as they nearly always are, else the pairs merged
// into `merged` as insert_extra merges them. The result lives as long as
// both `pairs` and `merged` stay unchanged.
[[nodiscard]] py::Result<std::span<const ExtraMap::Entry>> checked_extra(const ExtraPairs& pairs,
                                                                         ExtraElement element,
                                                                         std::string_view owner,
                                                                         ExtraMap& merged);

// Refuses, with the same ValueError, the first key of `own` whose namespace
// prefix a namespace-aware reader would find undeclared (find_unbound_prefix);
// `parent` is the suite's attributes for a test case, else empty.
[[nodiscard]] py::Result<void> check_extra_prefixes(std::span<const ExtraMap::Entry> own,
                                                    std::span<const ExtraMap::Entry> parent,
                                                    ExtraElement element, std::string_view owner);

// The model map's entries as stored pairs, in map order; the map is consumed
// (a read builds each Python object from a model that is discarded next).
// Inline: a read makes one per test case, nearly all of them empty.
inline ExtraPairs extra_from_model(ExtraMap&& map) {
  return ExtraPairs(std::move(map).take_entries());
}

}  // namespace corvane
