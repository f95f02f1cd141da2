// The four status classes a test case's outcome is one of: Success (with its
// flaky runs), Failure and Error (with message, type, description, reruns
// and the rerun kind) and Skipped; and the operations test cases use on them.
#pragma once

#include <Python.h>

#include <optional>
#include <span>
#include <string_view>

#include "model/kinds.hpp"
#include "model/test_case_status.hpp"
#include "py/borrow_flag.hpp"
#include "py/ref.hpp"
#include "py/result.hpp"
#include "xml_write/report_serializer.hpp"

namespace corvane {

// The class objects, created on first use.
[[nodiscard]] py::Result<PyObject*> success_type();
[[nodiscard]] py::Result<PyObject*> failure_type();
[[nodiscard]] py::Result<PyObject*> error_type();
[[nodiscard]] py::Result<PyObject*> skipped_type();

// TypeError "status must be a Success, Failure, Error, or Skipped instance"
// for any other object.
[[nodiscard]] py::Result<void> ensure_status(PyObject* object);

// The model status of a status object, its reruns converted in order; the
// TypeError of ensure_status for any other object. A status in the middle of
// a change is an internal failure.
[[nodiscard]] py::Result<TestCaseStatus> status_to_model(PyObject* object);

// Whether the object is a Success with no flaky runs, whose model status is
// always the same: the writer then needs no conversion. False for one in the
// middle of a change, which status_to_model reports.
[[nodiscard]] py::Result<bool> is_plain_success(PyObject* object);

// For writing: when the object is a failure or error without reruns, or a
// skip, `texts` set to its stored texts and a guard holding it shared, to be
// kept while they are written; nullopt for any other object, which
// status_to_model then converts (or rejects). A status in the middle of a
// change is the internal failure of status_to_model.
[[nodiscard]] py::Result<std::optional<py::SharedGuard>> status_texts_in_place(PyObject* object,
                                                                               StatusTexts& texts);

// The shared half of status_to_model for failures and errors; `reruns` are
// TestRerun instances.
[[nodiscard]] py::Result<TestCaseStatus> non_success_to_model(
    NonSuccessKind kind, const OptionalText& message,
    const OptionalText& type, const OptionalText& description,
    RerunKind rerun_kind, std::span<const py::Ref> reruns);

// A new status object of the class matching the model's variant, with new
// TestRerun objects; the model's texts are taken as they are.
[[nodiscard]] py::Result<py::Ref> status_from_model(TestCaseStatus&& status);

}  // namespace corvane
