// Extra attributes into and out of the model: see extra_attributes.hpp.
#include "extra_attributes.hpp"

#include <Python.h>

#include <string>

#include "py/ref.hpp"

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
  // From the whole buffer, not a C string: the key is the caller's text.
  py::Ref text = py::Ref::steal(
      PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
}

}  // namespace

py::Result<void> insert_extra(const ExtraPairs& pairs, ExtraElement element, std::string_view owner,
                              ExtraMap& map) {
  map.reserve(map.size() + pairs.size());
  // The stored pairs are clean already: copies are what cleaning again would give.
  for (const auto& [key, value] : pairs) {
    if (auto problem = check_extra_key(element, key.view()); problem != ExtraKeyProblem::None) {
      raise_bad_key(key.view(), element, owner, problem);
      return py::raised();
    }
    map.insert(key, value);
  }
  return {};
}

py::Result<void> check_extra_prefixes(const ExtraMap& map, const ExtraMap* parent,
                                      ExtraElement element, std::string_view owner) {
  if (auto key = find_unbound_prefix(map, parent)) {
    raise_bad_key(*key, element, owner, ExtraKeyProblem::UnboundPrefix);
    return py::raised();
  }
  return {};
}

ExtraPairs extra_from_model(ExtraMap&& map) { return std::move(map).take_entries(); }

}  // namespace corvane
