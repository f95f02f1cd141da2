// Argument parsing for every constructor and method: each callable declares
// its parameters once, as a table, and gets CPython-style TypeError texts for
// missing, unknown, duplicated and surplus arguments from one place.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "py/result.hpp"

namespace py {

struct Param {
  // Made from a string literal, so name.data() is also a C string.
  std::string_view name;
  // Positional-or-keyword parameters come first in a table, then the
  // keyword-only ones (those after "*" in the text signature).
  bool keyword_only = false;
  bool required = false;
};

inline constexpr Param required(const char* name) { return Param{name, false, true}; }
inline constexpr Param optional(const char* name) { return Param{name, false, false}; }
inline constexpr Param keyword(const char* name) { return Param{name, true, false}; }
inline constexpr Param required_keyword(const char* name) { return Param{name, true, true}; }

struct Signature {
  // As quoted in messages: "Property.__new__()", "Report.add_test_suite()".
  const char* function;
  std::span<const Param> params;
};

// Matches (args, kwargs) of a METH_VARARGS | METH_KEYWORDS call (or tp_new)
// against the signature. On success out[i] holds the borrowed argument for
// params[i], or NULL when it was omitted. `kwargs` may be NULL. `out` must
// have exactly one slot per parameter.
[[nodiscard]] Result<void> parse_args(const Signature& signature, PyObject* args, PyObject* kwargs,
                                      std::span<PyObject*> out);

// The usual form: a parameter table declared as a constexpr std::array, one
// borrowed argument (or NULL) per parameter back.
template <std::size_t N>
[[nodiscard]] Result<std::array<PyObject*, N>> parse_args(const char* function,
                                                          const std::array<Param, N>& params,
                                                          PyObject* args, PyObject* kwargs) {
  std::array<PyObject*, N> out{};
  if (!parse_args(Signature{function, params}, args, kwargs, out)) return raised();
  return out;
}

// The keyword names of a table as interned str objects, made on the first
// call and kept for the life of the process.
struct InternedParams {
  std::span<PyObject*> names;
  bool ready = false;
  // Bit i set for each required params[i], so that what is missing is
  // found with one comparison instead of a walk of the table.
  std::uint64_t required = 0;
};

// The common call decided without text comparisons: positionals within the
// table, every keyword one of the table's interned names (a keyword written
// in a call is interned by the compiler, so it is that very object), none
// twice and none required missing. Returns false, with no error set and
// `out` to be discarded, for any other call: the general rule above decides
// it, with its messages.
[[nodiscard]] bool parse_interned(std::span<const Param> params, InternedParams& interned,
                                  PyObject* args, PyObject* kwargs,
                                  std::span<PyObject*> out) noexcept;

// As parse_args above, for a table known at compile time: the usual call
// costs a pointer comparison per keyword instead of a UTF-8 conversion and
// string comparisons; results and errors are the same.
template <const auto& Params>
[[nodiscard]] Result<std::array<PyObject*, Params.size()>> parse_args(const char* function,
                                                                      PyObject* args,
                                                                      PyObject* kwargs) {
  constexpr std::size_t N = Params.size();
  static std::array<PyObject*, N> names{};
  static InternedParams interned{names};
  std::array<PyObject*, N> out{};
  if (parse_interned(Params, interned, args, kwargs, out)) return out;
  if (!parse_args(Signature{function, Params}, args, kwargs, out)) return raised();
  return out;
}

}  // namespace py
