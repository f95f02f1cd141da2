"""TestRerun: construction, argument order, attributes, sanitising, borrowing."""

import datetime as dt

import pytest

from corvane._corvane import Failure, NonSuccessKind, Report, RerunKind
from corvane._corvane import TestCase as Case  # "Test" names would be collected by pytest
from corvane._corvane import TestSuite as Suite
from corvane._corvane import TestRerun as Rerun  # a "Test" name would be collected by pytest

UTC = dt.timezone.utc
TEXTS = ("message", "type", "stack_trace", "system_out", "system_err", "description")
FAILURE = NonSuccessKind.FAILURE


def test_defaults_are_none():
    r = Rerun(FAILURE)
    assert r.kind is FAILURE
    for name in ("timestamp", "time") + TEXTS:
        assert getattr(r, name) is None


def test_docstring_is_the_signature():
    assert Rerun.__doc__ == ""
    assert Rerun.__text_signature__ == (
        "(kind, *, timestamp=None, time=None, message=None, type=None, "
        "stack_trace=None, system_out=None, system_err=None, description=None)"
    )


@pytest.mark.parametrize(
    "kwargs, parameter, exc_type, message",
    [
        ({"kind": "failure"}, "kind", TypeError, "'str' object is not an instance of 'NonSuccessKind'"),
        ({"kind": 0}, "kind", TypeError, "'int' object is not an instance of 'NonSuccessKind'"),
        ({"kind": RerunKind.FLAKY}, "kind", TypeError, "'RerunKind' object is not an instance of 'NonSuccessKind'"),
        ({"kind": None}, "kind", TypeError, "'None' is not an instance of 'NonSuccessKind'"),
        ({"kind": FAILURE, "time": 1.5}, "time", TypeError, "'float' object is not an instance of 'timedelta'"),
        ({"kind": FAILURE, "time": dt.timedelta(microseconds=-1)}, "time", ValueError, None),
        ({"kind": FAILURE, "message": 1}, "message", TypeError, "'int' object is not an instance of 'str'"),
        ({"kind": FAILURE, "description": b"d"}, "description", TypeError, "'bytes' object is not an instance of 'str'"),
        ({"kind": FAILURE, "system_err": "\ud800"}, "system_err", UnicodeEncodeError, None),
        # Parameters are converted in signature order; the first failure wins.
        ({"kind": None, "message": 1}, "kind", TypeError, "'None' is not an instance of 'NonSuccessKind'"),
        ({"kind": FAILURE, "time": 1, "message": 1}, "time", TypeError, "'int' object is not an instance of 'timedelta'"),
        ({"kind": FAILURE, "stack_trace": 1, "system_out": 2}, "stack_trace", TypeError, "'int' object is not an instance of 'str'"),
        # The timestamp is only normalised once every argument was converted.
        ({"kind": FAILURE, "timestamp": "2024", "type": 1}, "type", TypeError, "'int' object is not an instance of 'str'"),
    ],
)
def test_refused_arguments_carry_their_note(kwargs, parameter, exc_type, message, assert_note):
    with pytest.raises(exc_type) as excinfo:
        Rerun(**kwargs)
    if message is not None:
        assert str(excinfo.value) == message
    assert_note(excinfo, parameter)


def test_kind_is_read_write():
    r = Rerun(FAILURE)
    r.kind = NonSuccessKind.ERROR
    assert r.kind is NonSuccessKind.ERROR


@pytest.mark.parametrize("bad", [None, 1, RerunKind.RERUN, "ERROR"])
def test_refused_kind_write_keeps_the_old_kind(bad, assert_note):
    r = Rerun(NonSuccessKind.ERROR)
    with pytest.raises(TypeError) as excinfo:
        r.kind = bad
    assert_note(excinfo, "value")
    assert r.kind is NonSuccessKind.ERROR


@pytest.mark.parametrize("name", TEXTS)
def test_text_attributes_write_sanitise_and_clear(name, assert_note):
    r = Rerun(FAILURE, **{name: "first"})
    setattr(r, name, "\x1b[1mbold\x1b[0m\x00!")
    assert getattr(r, name) == "bold!"
    with pytest.raises(TypeError) as excinfo:
        setattr(r, name, 3)
    assert str(excinfo.value) == "'int' object is not an instance of 'str'"
    assert_note(excinfo, "value")
    assert getattr(r, name) == "bold!"
    setattr(r, name, None)
    assert getattr(r, name) is None


@pytest.mark.parametrize("name", ("kind", "timestamp", "time") + TEXTS)
def test_no_attribute_can_be_deleted(name):
    r = Rerun(FAILURE, message="m")
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        delattr(r, name)


def test_timestamp_and_time_writes():
    r = Rerun(FAILURE)
    when = dt.datetime(2001, 2, 3, 4, 5, 6, tzinfo=UTC)
    r.timestamp = when
    r.time = dt.timedelta(minutes=2)
    assert (r.timestamp, r.time) == (when, dt.timedelta(minutes=2))
    with pytest.raises(ValueError, match="^timestamp must be timezone-aware$"):
        r.timestamp = dt.datetime(2001, 1, 1)
    with pytest.raises(ValueError) as excinfo:
        r.time = -dt.timedelta(days=1)
    assert "negative timedelta" in str(excinfo.value)
    assert (r.timestamp, r.time) == (when, dt.timedelta(minutes=2))
    r.timestamp = None
    r.time = None
    assert (r.timestamp, r.time) == (None, None)


def test_each_read_makes_a_new_object():
    r = Rerun(FAILURE, timestamp=dt.datetime(2024, 1, 1, tzinfo=UTC), time=dt.timedelta(1))
    assert r.timestamp is not r.timestamp
    assert r.time is not r.time


def round_trip(rerun):
    """The rerun read back from a written report that holds it."""
    report = Report("r")
    report.add_test_suite(Suite("s", test_cases=[Case("c", Failure(reruns=[rerun]))]))
    return Report.from_xml(report.to_xml()).test_suites[0].test_cases[0].status.reruns[0]


@pytest.mark.parametrize(
    "when",
    [
        dt.datetime(2024, 2, 29, 23, 59, 59, 999000, tzinfo=dt.timezone(-dt.timedelta(hours=9, minutes=30))),
        dt.datetime(1999, 12, 31, tzinfo=UTC),
    ],
)
def test_every_field_reads_back(when):
    texts = {name: f"{name} <&> \u00e9" for name in TEXTS}
    original = Rerun(NonSuccessKind.ERROR, timestamp=when, time=dt.timedelta(seconds=3, milliseconds=250), **texts)
    back = round_trip(original)
    assert back is not original
    assert back.kind is NonSuccessKind.ERROR
    assert back.timestamp == when and back.timestamp.utcoffset() == when.utcoffset()
    assert back.time == dt.timedelta(seconds=3, milliseconds=250)
    assert {name: getattr(back, name) for name in TEXTS} == texts


def test_timestamp_is_written_to_the_millisecond():
    back = round_trip(Rerun(FAILURE, timestamp=dt.datetime(2024, 1, 1, 0, 0, 0, 123999, tzinfo=UTC)))
    assert back.timestamp == dt.datetime(2024, 1, 1, 0, 0, 0, 123000, tzinfo=UTC)
    assert all(getattr(back, name) is None for name in ("time",) + TEXTS)
