// Notes for the usual mistakes in calling Report's reading and writing
// methods: a path where text or a file is taken, a file where text is taken,
// a binary file where a text file is taken, and a strict read of what only
// the tolerant reader reads. Each adds a note saying what to call instead to
// the exception already set, which stays as it is; each runs only once the
// call has failed, so a call that succeeds pays nothing.
#pragma once

#include <Python.h>

#include <string_view>

namespace corvane {

// Report.from_xml's argument was neither text nor bytes.
void hint_from_xml_argument(PyObject* xml);

// The strict reader refused `text`, read from `xml` (from_xml's argument, or
// nullptr when read_xml's reader returned it).
void hint_refused_document(PyObject* xml, std::string_view text);

// Report.read_xml's argument had no read method.
void hint_read_xml_argument(PyObject* reader);

// Report.write_xml's writer had no write method, or refused the str.
void hint_write_xml_argument(PyObject* writer);

}  // namespace corvane
