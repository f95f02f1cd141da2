// The shared argument rule: see args.hpp. The checks run in CPython's own
// order: surplus positionals first, then each keyword, then what is missing.
#include "py/args.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "py/raise.hpp"

namespace py {
namespace {

std::size_t positional_count(std::span<const Param> params) {
  std::size_t n = 0;
  for (const Param& p : params) n += p.keyword_only ? 0 : 1;
  return n;
}

void raise_type_error(const std::string& message) { raise_text(PyExc_TypeError, message); }

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string name_list(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) {
      if (names.size() > 2) text += ',';
      text += (i + 1 == names.size()) ? " and " : " ";
    }
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

void raise_missing(const Signature& signature, const char* kind,
                   const std::vector<const char*>& names) {
  std::string message = signature.function;
  message += " missing " + std::to_string(names.size()) + " required " + kind +
             (names.size() == 1 ? " argument: " : " arguments: ") + name_list(names);
  raise_type_error(message);
}

void raise_too_many(const Signature& signature, std::size_t given) {
  std::size_t max = positional_count(signature.params);
  std::size_t min = 0;
  for (const Param& p : signature.params) min += (!p.keyword_only && p.required) ? 1 : 0;
  std::string message = signature.function;
  message += " takes ";
  if (min != max) message += "from " + std::to_string(min) + " to ";
  message += std::to_string(max) + " positional arguments but " + std::to_string(given) +
             (given == 1 ? " was given" : " were given");
  raise_type_error(message);
}

// The index of the parameter named `key`, or params.size() when none is.
// The key's UTF-8 form is fetched once (for the usual ASCII keyword it is
// the str's own buffer) and compared bytewise with each name, rather than
// decoding the key again for every parameter.
std::size_t find_param(std::span<const Param> params, PyObject* key) {
  if (!PyUnicode_Check(key)) return params.size();
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(key, &size);
  if (text == nullptr) {
    // Only a key holding surrogates has no UTF-8 form; it matches nothing.
    PyErr_Clear();
    return params.size();
  }
  const std::string_view wanted(text, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (wanted == params[i].name) return i;
  }
  return params.size();
}

}  // namespace

Result<void> parse_args(const Signature& signature, PyObject* args, PyObject* kwargs,
                        std::span<PyObject*> out) {
  const std::span<const Param> params = signature.params;
  for (PyObject*& slot : out) slot = nullptr;

  const Py_ssize_t given_signed = args == nullptr ? 0 : PyTuple_Size(args);
  if (given_signed < 0) return raised();
  const auto given = static_cast<std::size_t>(given_signed);
  const std::size_t positional = positional_count(params);
  if (given > positional) {
    raise_too_many(signature, given);
    return raised();
  }
  for (std::size_t i = 0; i < given; ++i) {
    out[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
    if (out[i] == nullptr) return raised();
  }

  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      const std::size_t index = find_param(params, key);
      if (index == params.size()) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'",
                     signature.function, key);
        return raised();
      }
      if (out[index] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                     signature.function, params[index].name.data());
        return raised();
      }
      out[index] = value;
    }
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (!params[i].keyword_only && params[i].required && out[i] == nullptr) {
      missing.push_back(params[i].name.data());
    }
  }
  if (!missing.empty()) {
    raise_missing(signature, "positional", missing);
    return raised();
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].keyword_only && params[i].required && out[i] == nullptr) {
      missing.push_back(params[i].name.data());
    }
  }
  if (!missing.empty()) {
    raise_missing(signature, "keyword", missing);
    return raised();
  }
  return {};
}

bool parse_interned(std::span<const Param> params, InternedParams& interned, PyObject* args,
                    PyObject* kwargs, std::span<PyObject*> out) noexcept {
  if (!interned.ready) {
    // A table too long for the mask is left to the general rule.
    if (params.size() > 64) return false;
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i].required) interned.required |= std::uint64_t{1} << i;
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (interned.names[i] != nullptr) continue;
      interned.names[i] = PyUnicode_InternFromString(params[i].name.data());
      if (interned.names[i] == nullptr) {
        // Out of memory: the general rule still works without the names.
        PyErr_Clear();
        return false;
      }
    }
    interned.ready = true;
  }
  const Py_ssize_t given = args == nullptr ? 0 : PyTuple_Size(args);
  if (given < 0) {
    PyErr_Clear();
    return false;
  }
  const auto positional = static_cast<std::size_t>(given);
  if (positional > params.size() || (positional > 0 && params[positional - 1].keyword_only)) {
    return false;
  }
  std::uint64_t given_mask = 0;
  for (std::size_t i = 0; i < positional; ++i) {
    out[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
    given_mask |= std::uint64_t{1} << i;
  }
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    // Keywords mostly come in the table's order, so each search starts
    // after the parameter the previous keyword named and wraps around.
    std::size_t next = positional;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      std::size_t index = next;
      std::size_t tried = 0;
      for (; tried < params.size(); ++tried) {
        if (index >= params.size()) index = 0;
        if (interned.names[index] == key) break;
        ++index;
      }
      if (tried == params.size() || out[index] != nullptr) return false;
      out[index] = value;
      given_mask |= std::uint64_t{1} << index;
      next = index + 1;
    }
  }
  return (given_mask & interned.required) == interned.required;
}

}  // namespace py
