#include "model/extra_map.hpp"

#include <functional>

#include "model/key_equal.hpp"

namespace corvane {

ExtraMap::Entry* ExtraMap::find(const XmlString& key) {
  if (entries_.size() <= kLinearSearchLimit) {
    for (Entry& e : entries_) {
      if (keys_equal(e.first.view(), key.view())) return &e;
    }
    return nullptr;
  }
  if (!index_) {
    index_ = std::make_unique<std::unordered_multimap<std::size_t, std::size_t>>();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      index_->emplace(std::hash<XmlString>{}(entries_[i].first), i);
    }
  }
  auto [first, last] = index_->equal_range(std::hash<XmlString>{}(key));
  for (auto it = first; it != last; ++it) {
    if (entries_[it->second].first == key) return &entries_[it->second];
  }
  return nullptr;
}

void ExtraMap::insert(XmlString key, XmlString value, TextArena* arena) {
  if (Entry* found = find(key)) {
    found->second = std::move(value);
    return;
  }
  append_new(std::move(key), std::move(value), arena);
}

void ExtraMap::append_indexed(XmlString&& key, XmlString&& value, TextArena* arena) {
  const auto entry = index_->emplace(std::hash<XmlString>{}(key), entries_.size());
  try {
    entries_.emplace_back(std::move(key), std::move(value), arena);
  } catch (...) {
    index_->erase(entry);
    throw;
  }
}

}  // namespace corvane
