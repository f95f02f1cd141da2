"""The usual calling mistakes keep their error as it was and get a note that
says what to call instead (where Python has notes: 3.11 on)."""

import io
import pathlib
import sys

import pytest

import corvane
from corvane import DeserializationError, Report

USE_LOAD_FOR_PATH = "to read the file at a path, use corvane.load(path) or Report.read_xml(file)"
USE_READ_XML = "to read a file object, use Report.read_xml(file) or corvane.load(file)"
USE_LOAD_FOR_FILE = "to read a file object, use corvane.load(file)"
USE_LOAD_FOR_RUNNERS = (
    "corvane.load reads what test runners write, this document included; "
    "Report.from_xml and Report.read_xml read only the strict form"
)
READ_XML_TAKES_FILE = (
    "read_xml takes a file object: to read the file at a path, use corvane.load(path) "
    "or Report.read_xml(open(path, 'rb'))"
)
WRITE_XML_TAKES_TEXT_FILE = (
    "write_xml takes a file object open for writing text, such as "
    "open(path, 'w', encoding='utf-8'); to_xml() returns the document as str"
)
WRITE_XML_WRITES_STR = (
    "write_xml writes str: open the file in text mode (open(path, 'w', encoding='utf-8')), "
    "or write report.to_xml().encode() to the binary file"
)

NO_ROOT = "invalid structure: missing <testsuites> element"
NO_ROOT_TOLERANT = "invalid structure: missing <testsuites> or <testsuite> element"
NOT_XML = "XML input must be str or bytes"
write_xml = Report("r").write_xml


@pytest.mark.parametrize("call, argument, error, message, note", [
    (Report.from_xml, "report.xml", DeserializationError, NO_ROOT, USE_LOAD_FOR_PATH),
    (Report.from_xml, __file__, DeserializationError, NO_ROOT, USE_LOAD_FOR_PATH),
    (Report.from_xml, pathlib.Path("report.xml"), TypeError, NOT_XML, USE_LOAD_FOR_PATH),
    (corvane.loads, "out/REPORT.XML", DeserializationError, NO_ROOT_TOLERANT, USE_LOAD_FOR_PATH),
    (corvane.loads, pathlib.Path("report.xml"), TypeError, NOT_XML, USE_LOAD_FOR_PATH),
    (Report.from_xml, io.StringIO('<testsuites name="r"/>'), TypeError, NOT_XML, USE_READ_XML),
    (corvane.loads, io.BytesIO(b'<testsuites name="r"/>'), TypeError, NOT_XML, USE_LOAD_FOR_FILE),
    # What test runners write: a bare suite, no report name, a naive timestamp.
    (Report.from_xml, '<testsuite name="s"/>', DeserializationError, NO_ROOT,
     USE_LOAD_FOR_RUNNERS),
    (Report.from_xml, b'<testsuites><testsuite name="s"/></testsuites>', DeserializationError,
     "at testsuites/@name: missing required attribute: name", USE_LOAD_FOR_RUNNERS),
    (Report.read_xml, io.StringIO('<testsuites name="r" timestamp="2020-01-01T00:00:00"/>'),
     DeserializationError, "at testsuites/@timestamp: invalid timestamp: 2020-01-01T00:00:00",
     USE_LOAD_FOR_RUNNERS),
    (Report.read_xml, "report.xml", AttributeError, "'str' object has no attribute 'read'",
     READ_XML_TAKES_FILE),
    (write_xml, "report.xml", AttributeError, "'str' object has no attribute 'write'",
     WRITE_XML_TAKES_TEXT_FILE),
    (write_xml, io.BytesIO(), TypeError, "a bytes-like object is required, not 'str'",
     WRITE_XML_WRITES_STR),
    # Other mistakes get no hint: plain words, objects of no kind the hints
    # know. (A malformed document's note is the reader's reason instead; see
    # test_reading.py.)
    (Report.from_xml, "plain words", DeserializationError, NO_ROOT, None),
    (corvane.loads, "plain words", DeserializationError, NO_ROOT_TOLERANT, None),
    (Report.from_xml, None, TypeError, NOT_XML, None),
    (Report.read_xml, None, AttributeError, "'NoneType' object has no attribute 'read'", None),
    (write_xml, None, AttributeError, "'NoneType' object has no attribute 'write'", None),
])
def test_mistake_keeps_its_error_and_gets_a_note(call, argument, error, message, note):
    with pytest.raises(error) as excinfo:
        call(argument)
    assert str(excinfo.value) == message
    notes = [note] if note is not None and sys.version_info >= (3, 11) else None
    assert getattr(excinfo.value, "__notes__", None) == notes
