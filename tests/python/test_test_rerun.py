"""TestRerun: construction, argument order, attributes, sanitising, borrowing."""

import datetime as dt

import pytest

from corvane._corvane import NonSuccessKind, RerunKind
from corvane._corvane import TestRerun as Rerun  # a "Test" name would be collected by pytest

UTC = dt.timezone.utc
TEXTS = ("message", "type", "stack_trace", "system_out", "system_err", "description")
FAILURE = NonSuccessKind.FAILURE


def test_defaults_are_none():
    r = Rerun(FAILURE)
    assert r.kind is FAILURE
    for name in ("timestamp", "time") + TEXTS:
        assert getattr(r, name) is None


def test_every_parameter_by_keyword():
    when = dt.datetime(2024, 5, 1, 10, 20, 30, 123456, tzinfo=dt.timezone(dt.timedelta(hours=2)))
    texts = {name: f"<{name}>" for name in TEXTS}
    r = Rerun(kind=NonSuccessKind.ERROR, timestamp=when, time=dt.timedelta(seconds=1.5), **texts)
    assert r.kind is NonSuccessKind.ERROR
    assert r.timestamp == when and r.timestamp.utcoffset() == dt.timedelta(hours=2)
    assert r.time == dt.timedelta(seconds=1, microseconds=500000)
    assert {name: getattr(r, name) for name in TEXTS} == texts


def test_docstring_is_the_signature():
    assert Rerun.__doc__ == ""
    assert Rerun.__text_signature__ == (
        "(kind, *, timestamp=None, time=None, message=None, type=None, "
        "stack_trace=None, system_out=None, system_err=None, description=None)"
    )


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "TestRerun.__new__() missing 1 required positional argument: 'kind'"),
        ((FAILURE, "m"), {}, "TestRerun.__new__() takes 1 positional arguments but 2 were given"),
        ((FAILURE,), {"kind": FAILURE}, "TestRerun.__new__() got multiple values for argument 'kind'"),
        ((FAILURE,), {"stacktrace": "s"}, "TestRerun.__new__() got an unexpected keyword argument 'stacktrace'"),
    ],
)
def test_argument_matching(args, kwargs, message):
    with pytest.raises(TypeError) as excinfo:
        Rerun(*args, **kwargs)
    assert str(excinfo.value) == message


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


@pytest.mark.parametrize(
    "timestamp, exc_type, message",
    [
        ("2024-01-01T00:00:00+00:00", TypeError, "timestamp must be a datetime.datetime instance"),
        (dt.date(2024, 1, 1), TypeError, "timestamp must be a datetime.datetime instance"),
        (dt.datetime(2024, 1, 1), ValueError, "timestamp must be timezone-aware"),
    ],
)
def test_refused_timestamp_has_no_note(timestamp, exc_type, message):
    with pytest.raises(exc_type) as excinfo:
        Rerun(FAILURE, timestamp=timestamp)
    assert str(excinfo.value) == message
    assert not hasattr(excinfo.value, "__notes__")


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


def test_sanitised_on_construction():
    r = Rerun(FAILURE, message="a\x1b[31mred\x1b[0m\x07b", system_out="x\x0cy")
    assert r.message == "aredb"
    assert r.system_out == "xy"


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


class Reentrant(dt.datetime):
    """A datetime whose isoformat touches the rerun being changed."""

    target = None

    def isoformat(self, *args, **kwargs):
        _ = Reentrant.target.message
        return super().isoformat(*args, **kwargs)


def test_timestamp_write_holds_the_rerun():
    r = Rerun(FAILURE, message="m")
    Reentrant.target = r
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        r.timestamp = Reentrant(2024, 1, 1, tzinfo=UTC)
    assert r.timestamp is None
    # The same object is fine when nothing else holds the rerun.
    r2 = Rerun(FAILURE, timestamp=Reentrant(2024, 1, 1, tzinfo=UTC))
    assert r2.timestamp == dt.datetime(2024, 1, 1, tzinfo=UTC)
