// The names the module publishes, in publication order: the twelve classes,
// then the three exception classes. This table is the one place that order
// is kept.
#pragma once

#include <Python.h>

#include <span>

#include "py/result.hpp"

namespace corvane {

struct PublishedName {
  const char* name;
  // Returns the (process-wide) object, creating it on first use.
  py::Result<PyObject*> (*object)();
};

std::span<const PublishedName> published_names();

// Names the module sets but does not publish: the engines of the package's
// own Python functions.
std::span<const PublishedName> internal_names();

}  // namespace corvane
