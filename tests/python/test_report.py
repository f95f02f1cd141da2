"""Report: construction, attributes, live counts, to_xml and write_xml."""

import datetime
import inspect
import io
import uuid

import pytest

from corvane._corvane import (
    Error,
    Failure,
    Report,
    Skipped,
)
from corvane._corvane import TestCase as Case  # a "Test" name would be collected by pytest
from corvane._corvane import TestSuite as Suite

UTC = datetime.timezone.utc
EMPTY = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<testsuites name="r" tests="0" skipped="0" failures="0" errors="0">\n'
    "</testsuites>\n"
)


def test_defaults_and_empty_document():
    report = Report("r")
    assert (report.uuid, report.timestamp, report.time) == (None, None, None)
    assert (report.tests, report.failures, report.errors, report.test_suites) == (0, 0, 0, ())
    assert report.to_xml() == EMPTY
    assert str(inspect.signature(Report)) == "(name, *, uuid=None, timestamp=None, time=None)"
    assert Report.to_xml.__text_signature__ == "($self)"
    assert Report.write_xml.__text_signature__ == "($self, writer)"
    assert not hasattr(report, "skipped") and not hasattr(report, "disabled")


@pytest.mark.parametrize(
    "args, kwargs, exc_type, message, note",
    [
        ((), {}, TypeError, "Report.__new__() missing 1 required positional argument: 'name'", None),
        ((1,), {}, TypeError, "'int' object is not an instance of 'str'", "name"),
        (("r",), {"uuid": str(uuid.UUID(int=1))}, TypeError, "uuid must be a uuid.UUID instance", None),
        (("r",), {"timestamp": datetime.datetime(2024, 1, 1)}, ValueError, "timestamp must be timezone-aware", None),
        (("r",), {"time": datetime.timedelta(seconds=-1)}, ValueError, None, "time"),
        (("r",), {"time": 1.5}, TypeError, "'float' object is not an instance of 'timedelta'", "time"),
        # `time` is parsed before `uuid` is validated.
        (("r",), {"uuid": "x", "time": 1}, TypeError, "'int' object is not an instance of 'timedelta'", "time"),
        (("r",), {"uuid": "x", "timestamp": "y"}, TypeError, "uuid must be a uuid.UUID instance", None),
    ],
)
def test_refusals(args, kwargs, exc_type, message, note, assert_note):
    with pytest.raises(exc_type) as excinfo:
        Report(*args, **kwargs)
    if message is not None:
        assert str(excinfo.value) == message
    if note is None:
        assert not hasattr(excinfo.value, "__notes__")
    else:
        assert_note(excinfo, note)


def test_values_read_back_as_new_objects_and_can_be_cleared():
    ident = uuid.UUID("12345678-1234-5678-1234-567812345678")
    stamp = datetime.datetime(2024, 1, 1, 12, tzinfo=UTC)
    report = Report("r", uuid=ident, timestamp=stamp, time=datetime.timedelta(seconds=2))
    assert report.uuid == ident and report.uuid is not report.uuid
    assert report.timestamp == stamp and report.timestamp is not report.timestamp
    assert report.time == datetime.timedelta(seconds=2)
    report.uuid = None
    report.timestamp = None
    report.time = None
    assert (report.uuid, report.timestamp, report.time) == (None, None, None)
    with pytest.raises(TypeError):
        report.uuid = "12345678-1234-5678-1234-567812345678"
    assert report.uuid is None


def test_name_is_sanitised():
    assert Report("a\x1b[1mb\x07").name == "ab"
    report = Report("r")
    report.name = "\x1b[31mred\x1b[0m\x0b"
    assert report.name == "red"


def test_attribute_rules():
    report = Report("r")
    with pytest.raises(AttributeError):
        report.tests = 3
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        del report.name


def test_counts_are_live_and_sum_over_shared_suites():
    suite = Suite("s", test_cases=[Case("a", Failure()), Case("b", Error()), Case("c", Skipped())])
    report = Report("r")
    report.add_test_suite(suite)
    assert report.test_suites[0] is suite
    assert (report.tests, report.failures, report.errors) == (3, 1, 1)
    suite.add_test_case(Case("d", Failure()))
    report.add_test_suites([suite])
    assert (report.tests, report.failures, report.errors) == (8, 4, 2)


def test_add_test_suites_accepts_sequences_only_and_is_all_or_nothing(assert_note):
    s1, s2 = Suite("1"), Suite("2")
    report = Report("r")
    report.add_test_suites((s1, s2))
    report.add_test_suites([s2])
    assert report.test_suites == (s1, s2, s2)
    for bad, message in ((s1, "'TestSuite' object is not an instance of 'Sequence'"),
                         ([s1, 3], "'int' object is not an instance of 'TestSuite'")):
        with pytest.raises(TypeError) as excinfo:
            report.add_test_suites(bad)
        assert str(excinfo.value) == message
        assert_note(excinfo, "test_suites")
    assert report.test_suites == (s1, s2, s2)


def test_a_uuid_whose_text_is_not_a_uuid_fails_the_write():
    class Odd(uuid.UUID):
        def __str__(self):
            return "not-a-uuid"

    report = Report("r", uuid=Odd(int=5))
    with pytest.raises(ValueError, match="not-a-uuid"):
        report.to_xml()


def test_write_xml_calls_write_once_with_the_document():
    report = Report("r", uuid=uuid.UUID(int=255))
    calls = []

    class Writer:
        def write(self, text):
            calls.append(text)
            return 12345  # ignored

    assert report.write_xml(Writer()) is None
    assert calls == [report.to_xml()]
    buffer = io.StringIO()
    report.write_xml(writer=buffer)
    assert buffer.getvalue() == report.to_xml()
    assert 'uuid="00000000-0000-0000-0000-0000000000ff"' in buffer.getvalue()


def test_write_xml_builds_the_document_before_looking_for_write():
    with pytest.raises(AttributeError):
        Report("r").write_xml(object())
    bad = Report("r")
    bad.add_test_suite(Suite("s", extra={"": "v"}))
    with pytest.raises(ValueError):
        bad.write_xml(object())  # the document fails first


def test_a_document_of_many_megabytes_is_the_sum_of_its_suites():
    # Documents past 32 MiB reach Python in several pieces; the pieces must
    # join up exactly, also where a piece widens the str's character size
    # (the first piece, over 32 MiB, is plain ASCII).
    letters = ["a"] * 20 + ["é", "€", "😀", "a"]
    suites = [
        Suite(f"s{i}", system_out=f"{i} {letter}\n" * 360_000) for i, letter in enumerate(letters)
    ]
    report = Report("r")
    report.add_test_suites(suites)
    document = report.to_xml()
    assert len(document.encode()) > 32 * 2**20
    head, tail = EMPTY[: -len("</testsuites>\n")], "</testsuites>\n"
    parts = []
    for suite in suites:
        alone = Report("r")
        alone.add_test_suite(suite)
        text = alone.to_xml()
        assert text.startswith(head) and text.endswith(tail)
        parts.append(text[len(head) : -len(tail)])
    assert document == head + "".join(parts) + tail
    # Writing reuses its buffer: nothing of the large document may show in
    # the next one.
    assert Report("r").to_xml() == EMPTY
