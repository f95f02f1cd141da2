// Extra attributes into and out of the model: see extra_attributes.hpp.
#include "extra_attributes.hpp"

#include <Python.h>

#include <string>

#include <tuple>

#include "errors.hpp"
#include "py/convert.hpp"
#include "py/raise.hpp"
#include "py/text.hpp"

namespace corvane {
namespace {

std::string_view reason(ExtraKeyProblem problem) {
  switch (problem) {
    case ExtraKeyProblem::NotAName:
      return "not an XML name";
    case ExtraKeyProblem::UnboundPrefix:
      return "its namespace prefix is not declared by an xmlns: key of the element or its suite";
    default:
      return "the element already has an attribute of that name";
  }
}

void raise_bad_key(std::string_view key, ExtraElement element, std::string_view owner,
                   ExtraKeyProblem problem) {
  std::string message = "invalid extra attribute name '";
  message += key;
  message += "' on ";
  message += element_name(element);
  message += " '";
  message += owner;
  message += "': ";
  message += reason(problem);
  py::raise_text(PyExc_ValueError, message);
}

// Raises the ValueError of the first key that cannot be written on `element`.
py::Result<void> check_keys(const ExtraPairs& pairs, ExtraElement element, std::string_view owner) {
  for (const auto& [key, value] : pairs) {
    if (auto problem = check_extra_key(element, key.view()); problem != ExtraKeyProblem::None) {
      raise_bad_key(key.view(), element, owner, problem);
      return py::raised();
    }
  }
  return {};
}

// The stored pairs are clean already: copies are what cleaning again would give.
void merge_into(const ExtraPairs& pairs, ExtraMap& map) {
  map.reserve(map.size() + pairs.size());
  for (const auto& [key, value] : pairs) map.insert(key, value);
}

// Whether no two keys are equal, decided for the few keys an element
// normally has; more than that are left to the map, whose index keeps a
// hostile number of keys linear.
bool keys_distinct(const ExtraPairs& pairs) noexcept {
  constexpr std::size_t kPairwiseLimit = 8;
  if (pairs.size() > kPairwiseLimit) return false;
  for (std::size_t i = 1; i < pairs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (pairs[i].first == pairs[j].first) return false;
    }
  }
  return true;
}

}  // namespace

py::Result<ExtraPairs> extract_extra(PyObject* dict_or_null) {
  ExtraPairs pairs;
  if (dict_or_null == nullptr) return pairs;
  auto dict = py::to_dict(dict_or_null);
  if (!dict) return py::raised();
  const Py_ssize_t size = PyDict_Size(*dict);
  TextArena& arena = py::text_arena();
  pairs.reserve(static_cast<std::size_t>(size), &arena);
  Py_ssize_t position = 0;
  PyObject* key = nullptr;    // borrowed
  PyObject* value = nullptr;  // borrowed
  // The walk runs no Python code (text conversion of a str does not), so
  // the dict cannot change under it.
  while (PyDict_Next(*dict, &position, &key, &value)) {
    auto key_text = py::to_str(key);
    if (!key_text) return py::raised();
    auto value_text = py::to_str(value);
    if (!value_text) return py::raised();
    pairs.emplace_back(py::clean_text(*key_text, arena), py::clean_text(*value_text, arena));
  }
  if (PyDict_Size(*dict) != size || pairs.size() != static_cast<std::size_t>(size)) {
    raise_internal_failure("dictionary changed size during iteration");
    return py::raised();
  }
  return pairs;
}

py::Result<py::Ref> extra_to_dict(const ExtraPairs& pairs) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return py::raised();
  for (const auto& [key, value] : pairs) {
    py::Ref key_object = py::Ref::steal(py::new_str(key.view()));
    if (!key_object) return py::raised();
    py::Ref value_object = py::Ref::steal(py::new_str(value.view()));
    if (!value_object) return py::raised();
    if (PyDict_SetItem(dict.get(), key_object.get(), value_object.get()) < 0) return py::raised();
  }
  return dict;
}

py::Result<void> insert_extra(const ExtraPairs& pairs, ExtraElement element, std::string_view owner,
                              ExtraMap& map) {
  // Inserting never fails, so checking every key first raises what checking
  // each before its insertion would.
  if (!check_keys(pairs, element, owner)) return py::raised();
  merge_into(pairs, map);
  return {};
}

py::Result<std::span<const ExtraMap::Entry>> checked_extra(const ExtraPairs& pairs,
                                                           ExtraElement element,
                                                           std::string_view owner,
                                                           ExtraMap& merged) {
  const std::span<const ExtraMap::Entry> entries(pairs.entries());
  if (pairs.known_writable(element)) return entries;
  if (!check_keys(pairs, element, owner)) return py::raised();
  if (keys_distinct(pairs)) {
    pairs.remember_writable(element);
    return entries;
  }
  merged = ExtraMap();
  merge_into(pairs, merged);
  return std::span<const ExtraMap::Entry>(merged.entries());
}

py::Result<void> check_extra_prefixes(std::span<const ExtraMap::Entry> own,
                                      std::span<const ExtraMap::Entry> parent, ExtraElement element,
                                      std::string_view owner) {
  if (auto key = find_unbound_prefix(own, parent)) {
    raise_bad_key(*key, element, owner, ExtraKeyProblem::UnboundPrefix);
    return py::raised();
  }
  return {};
}

}  // namespace corvane
