"""Report.from_xml and Report.read_xml: inputs, errors, new objects per read."""

import datetime
import io
import uuid

import pytest

import corvane

from corvane._corvane import (
    CorvaneError,
    DeserializationError,
    Error,
    Failure,
    NonSuccessKind,
    Property,
    Report,
    RerunKind,
    Skipped,
    Success,
)

DOC = """<?xml version="1.0" encoding="UTF-8"?>
<testsuites name="r" tests="99" failures="7" errors="0" uuid="6BA7B810-9DAD-11D1-80B4-00C04FD430C8" timestamp="2024-01-01T00:00:00Z" time="1.250">
    <testsuite name="s" tests="2" skipped="0" errors="0" failures="1" disabled="3" host="ci">
        <properties>
            <property name="os" value="linux"/>
        </properties>
        <testcase name="a" classname="c" assertions="4" time="0.500"/>
        <testcase name="b">
            <failure message="m" type="T">d</failure>
            <rerunError message="again"/>
        </testcase>
        <testcase name="c"><skipped message="later"/></testcase>
        <testcase name="d"><flakyFailure/></testcase>
        <system-out>out</system-out>
    </testsuite>
</testsuites>
"""


@pytest.mark.parametrize("convert", [lambda d: d, str.encode, lambda d: bytearray(d.encode()),
                                     lambda d: memoryview(d.encode()), lambda d: list(d.encode())])
def test_every_input_kind_reads_the_same_report(convert):
    assert Report.from_xml(convert(DOC)).to_xml() == Report.from_xml(DOC).to_xml()


def test_values_are_read_into_new_python_objects():
    report = Report.from_xml(xml=DOC)
    assert type(report) is Report
    assert report.name == "r"
    assert report.uuid == uuid.UUID("6ba7b810-9dad-11d1-80b4-00c04fd430c8")
    assert report.timestamp == datetime.datetime(2024, 1, 1, tzinfo=datetime.timezone.utc)
    assert report.time == datetime.timedelta(seconds=1, milliseconds=250)
    # The document's counts are dropped; these are computed from the cases.
    assert (report.tests, report.failures, report.errors) == (4, 1, 0)
    (suite,) = report.test_suites
    assert (suite.tests, suite.failures, suite.errors, suite.disabled) == (4, 1, 0, 1)
    assert suite.extra == {"host": "ci"} and suite.system_out == "out"
    (prop,) = suite.properties
    assert type(prop) is Property and (prop.name, prop.value) == ("os", "linux")
    a, b, c, d = suite.test_cases
    assert (a.classname, a.assertions, a.time) == ("c", 4, datetime.timedelta(milliseconds=500))
    assert type(a.status) is Success and a.status.flaky_runs == ()
    assert type(b.status) is Failure
    assert (b.status.message, b.status.type, b.status.description) == ("m", "T", "d")
    assert b.status.rerun_kind is RerunKind.RERUN
    (rerun,) = b.status.reruns
    assert rerun.kind is NonSuccessKind.ERROR and rerun.message == "again"
    assert type(c.status) is Skipped and c.status.message == "later"
    assert [r.kind for r in d.status.flaky_runs] == [NonSuccessKind.FAILURE]


def test_uuid_is_written_back_in_lowercase_and_z_as_an_offset():
    xml = Report.from_xml(DOC).to_xml()
    assert 'uuid="6ba7b810-9dad-11d1-80b4-00c04fd430c8"' in xml
    assert 'timestamp="2024-01-01T00:00:00.000+00:00"' in xml


def test_every_read_builds_a_new_tree():
    first, second = Report.from_xml(DOC), Report.from_xml(DOC)
    assert first is not second
    assert first.test_suites[0] is not second.test_suites[0]
    a1, a2 = first.test_suites[0].test_cases[1], second.test_suites[0].test_cases[1]
    assert a1 is not a2 and a1.status is not a2.status
    assert a1.status.reruns[0] is not a2.status.reruns[0]


def test_called_on_an_instance_reads_a_new_report_and_leaves_the_instance():
    instance = Report("mine")
    read = instance.from_xml(DOC)
    assert read is not instance and read.name == "r"
    assert instance.name == "mine" and instance.test_suites == ()


@pytest.mark.parametrize(
    "xml, exc_type, message",
    [
        (123, TypeError, "XML input must be str or bytes"),
        (None, TypeError, "XML input must be str or bytes"),
        ("<a/>\ud800", TypeError, "XML input must be str or bytes"),
        (b"\xff", ValueError, "XML bytes must be valid UTF-8"),
        ("<a/>", DeserializationError, "invalid structure: missing <testsuites> element"),
        ('<testsuites name="r"><testsuite name="u"><testcase name="t" time="1,5"/></testsuite></testsuites>',
         DeserializationError, 'at testsuites/testsuite[0]("u")/testcase[0]/@time: invalid duration: 1,5'),
        ('<testsuites name="r" uuid="nope"/>', DeserializationError, None),
    ],
)
def test_refused_input(xml, exc_type, message):
    with pytest.raises(exc_type) as excinfo:
        Report.from_xml(xml)
    if message is not None:
        assert str(excinfo.value) == message
        assert excinfo.value.args == (message,)
    # No note names the argument (the hints at a better call: test_call_hints.py).
    assert not any("while processing" in note for note in getattr(excinfo.value, "__notes__", []))


MALFORMED = [
    ("<notxml", "at testsuites: error parsing XML", "line 1, column 1: tag <notxml> not closed by '>'"),
    ('<testsuites name="r">\n  <testsuite name="s">\n    <testcase name="t"><failure>\n    </testcase>',
     'at testsuites/testsuite[0]("s")/testcase[0]("t")/failure: error parsing XML',
     "line 4, column 5: end tag </testcase> does not match <failure>"),
    ('<testsuites name="r"><testsuite name="s"><x>\u00e9 & </x>',
     'at testsuites/testsuite[0]("s"): error parsing XML',
     "line 1, column 47: '&' does not start a reference closed by ';'"),
]


@pytest.mark.parametrize("xml, message, note", MALFORMED)
@pytest.mark.parametrize("read", [Report.from_xml, lambda xml: Report.read_xml(io.StringIO(xml)),
                                  corvane.loads], ids=["from_xml", "read_xml", "loads"])
def test_malformed_markup_keeps_the_message_and_notes_why_and_where(read, xml, message, note):
    with pytest.raises(DeserializationError) as excinfo:
        read(xml)
    assert excinfo.value.args == (message,)
    assert excinfo.value.__notes__ == [note]


def test_suites_made_while_reading_follow_the_document():
    # Suites become objects as they are read: a later root still drops the
    # suites before it, and an error after a good suite still refuses all.
    report = Report.from_xml(
        '<testsuites name="a"><testsuite name="dropped"/>'
        '<testsuites name="b"><testsuite name="kept"/></testsuites></testsuites>')
    assert report.name == "b"
    assert [suite.name for suite in report.test_suites] == ["kept"]
    with pytest.raises(DeserializationError) as excinfo:
        Report.from_xml('<testsuites name="r"><testsuite name="fine"><testcase name="t"/>'
                        '</testsuite><testsuite name="bad"><testcase/></testsuite></testsuites>')
    assert str(excinfo.value) == (
        'at testsuites/testsuite[1]("bad")/testcase[0]/@name: missing required attribute: name')


def test_deserialization_error_is_a_corvane_error():
    with pytest.raises(CorvaneError) as excinfo:
        Report.from_xml("<a/>")
    assert isinstance(excinfo.value, DeserializationError)
    assert isinstance(excinfo.value, Exception)


class CountingReader:
    def __init__(self, content):
        self.content = content
        self.calls = 0

    def read(self, *args):
        assert args == ()
        self.calls += 1
        return self.content


@pytest.mark.parametrize("content", [DOC, DOC.encode()])
def test_read_xml_calls_read_once(content):
    reader = CountingReader(content)
    assert Report.read_xml(reader).to_xml() == Report.from_xml(DOC).to_xml()
    assert reader.calls == 1


def test_read_xml_file_objects_and_refusals():
    assert Report.read_xml(io.StringIO(DOC)).name == "r"
    assert Report.read_xml(reader=io.BytesIO(DOC.encode())).name == "r"
    with pytest.raises(AttributeError):
        Report.read_xml(object())
    with pytest.raises(TypeError, match="^XML input must be str or bytes$"):
        Report.read_xml(CountingReader(None))

    class Broken:
        def read(self):
            raise OSError("disk gone")

    with pytest.raises(OSError, match="disk gone"):
        Report.read_xml(Broken())


def test_nine_fraction_digits_read_back_as_microseconds():
    doc = ('<testsuites name="r" timestamp="2024-05-06T07:08:09.123456789+02:00">'
           '<testsuite name="s" timestamp="2024-05-06T07:08:09.000000001-05:30"/></testsuites>')
    report = Report.from_xml(doc)
    plus2 = datetime.timezone(datetime.timedelta(hours=2))
    assert report.timestamp == datetime.datetime(2024, 5, 6, 7, 8, 9, 123456, tzinfo=plus2)
    minus = datetime.timezone(-datetime.timedelta(hours=5, minutes=30))
    assert report.test_suites[0].timestamp == datetime.datetime(2024, 5, 6, 7, 8, 9, tzinfo=minus)
    # The stored text keeps every digit; the document gets the milliseconds.
    assert 'timestamp="2024-05-06T07:08:09.123+02:00"' in report.to_xml()


def one_case(attributes):
    return (f'<testsuites name="r"><testsuite name="s"><testcase name="t" {attributes}/>'
            '</testsuite></testsuites>')


@pytest.mark.parametrize("attribute, error", [
    ('timestamp="2016-12-31T23:59:60Z"', "@timestamp: invalid timestamp: 2016-12-31T23:59:60Z"),
    ('timestamp="0000-06-01T00:00:00Z"', "@timestamp: invalid timestamp: 0000-06-01T00:00:00Z"),
    ('time="1e19"', "@time: invalid duration: 1e19"),
    ('time="86400000000000"', "@time: invalid duration: 86400000000000"),
])
def test_values_no_getter_could_return_are_refused_strictly_and_dropped_tolerantly(attribute, error):
    with pytest.raises(DeserializationError) as excinfo:
        Report.from_xml(one_case(attribute))
    assert str(excinfo.value) == 'at testsuites/testsuite[0]("s")/testcase[0]/' + error
    case = corvane.loads(one_case(attribute)).test_suites[0].test_cases[0]
    assert (case.timestamp, case.time) == (None, None)


def test_the_extreme_values_a_setter_takes_write_and_read_back():
    first = datetime.datetime(1, 1, 1, tzinfo=datetime.timezone(datetime.timedelta(hours=23, minutes=59)))
    last = datetime.datetime(9999, 12, 31, 23, 59, 59, 999000, tzinfo=datetime.timezone.utc)
    suite = corvane.TestSuite("s", timestamp=last)
    suite.add_test_case(corvane.TestCase("t", Success(), timestamp=first, time=datetime.timedelta.max))
    report = Report("r")
    report.add_test_suite(suite)
    back = Report.from_xml(report.to_xml()).test_suites[0]
    assert (back.timestamp, back.test_cases[0].timestamp) == (last, first)
    # The longest time is written as the longest a double below it can say.
    assert back.test_cases[0].time == datetime.timedelta.max - datetime.timedelta(microseconds=15624)
