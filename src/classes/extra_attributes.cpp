// Extra attributes into and out of the model: see extra_attributes.hpp.
#include "extra_attributes.hpp"

#include <Python.h>

#include <string>

#include "py/raise.hpp"

namespace corvane {
namespace {

std::string_view reason(ExtraKeyProblem problem) {
  return problem == ExtraKeyProblem::NotAName ? "not an XML name"
                                              : "the element already has an attribute of that name";
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

ExtraPairs extra_from_model(ExtraMap&& map) { return std::move(map).take_entries(); }

}  // namespace corvane
