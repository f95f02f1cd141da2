"""TestCase: construction order, attributes, sharing, sanitising, borrowing."""

import datetime
import inspect

import pytest

from corvane._corvane import (
    Error,
    Failure,
    Property,
    Report,
    Skipped,
    Success,
)
from corvane._corvane import TestCase as Case  # a "Test" name would be collected by pytest
from corvane._corvane import TestSuite as Suite

UTC = datetime.timezone.utc
ESC = "\x1b[31m"


def written(case):
    """The <testcase> part of the document a one-case report writes."""
    report = Report("r")
    report.add_test_suite(Suite("s", test_cases=[case]))
    xml = report.to_xml()
    return xml[xml.index("<testcase") : xml.index("</testsuite>")]


def test_defaults():
    case = Case("t", Success())
    for attr in ("classname", "assertions", "timestamp", "time", "system_out", "system_err"):
        assert getattr(case, attr) is None
    assert case.extra == {}
    assert case.properties == ()
    assert str(inspect.signature(Case)) == (
        "(name, status, *, classname=None, assertions=None, timestamp=None, time=None, "
        "system_out=None, system_err=None, extra=None, properties=Ellipsis)"
    )
    assert Case.add_properties.__text_signature__ == "($self, properties)"


def test_every_value_is_stored_and_read_back():
    p = Property("k", "v")
    stamp = datetime.datetime(2024, 5, 1, 10, 20, 30, 123456, tzinfo=UTC)
    case = Case(
        name="t", status=Skipped(), classname="c", assertions=7, timestamp=stamp,
        time=datetime.timedelta(seconds=1, microseconds=5), system_out="o", system_err="e",
        extra={"file": "f.py"}, properties=(p,),
    )
    assert (case.name, case.classname, case.assertions) == ("t", "c", 7)
    assert case.timestamp == stamp and case.timestamp is not case.timestamp
    assert case.time == datetime.timedelta(seconds=1, microseconds=5)
    assert (case.system_out, case.system_err, case.extra) == ("o", "e", {"file": "f.py"})
    assert case.properties[0] is p


@pytest.mark.parametrize(
    "args, kwargs, exc_type, message, note",
    [
        (("t", "passed"), {}, TypeError, "status must be a Success, Failure, Error, or Skipped instance", None),
        (("t", None), {}, TypeError, "status must be a Success, Failure, Error, or Skipped instance", None),
        ((1, Success()), {}, TypeError, "'int' object is not an instance of 'str'", "name"),
        # Every argument's type is checked before the status is validated.
        (("t", "passed"), {"classname": 1}, TypeError, "'int' object is not an instance of 'str'", "classname"),
        (("t", "passed"), {"properties": None}, TypeError, "'None' is not an instance of 'Sequence'", "properties"),
        (("t", Success()), {"assertions": -1}, OverflowError, None, "assertions"),
        (("t", Success()), {"assertions": 2**64}, OverflowError, None, "assertions"),
        (("t", Success()), {"assertions": 1.5}, TypeError, None, "assertions"),
        (("t", Success()), {"time": 1.5}, TypeError, "'float' object is not an instance of 'timedelta'", "time"),
        (("t", Success()), {"time": datetime.timedelta(microseconds=-1)}, ValueError, None, "time"),
        (("t", Success()), {"system_err": b"x"}, TypeError, "'bytes' object is not an instance of 'str'", "system_err"),
        (("t", Success()), {"extra": []}, TypeError, "'list' object is not an instance of 'dict'", "extra"),
        (("t", Success()), {"extra": {"a": 1}}, TypeError, "'int' object is not an instance of 'str'", None),
        (("t", Success()), {"properties": "ab"}, TypeError, "Can't extract `str` to `Vec`", "properties"),
        (("t", Success()), {"properties": [Property("a", "b"), 3]}, TypeError, "'int' object is not an instance of 'Property'", "properties"),
        (("t", Success()), {"timestamp": datetime.date(2024, 1, 1)}, TypeError, "timestamp must be a datetime.datetime instance", None),
        (("t", Success()), {"timestamp": datetime.datetime(2024, 1, 1)}, ValueError, "timestamp must be timezone-aware", None),
    ],
)
def test_refusals(args, kwargs, exc_type, message, note, assert_note):
    with pytest.raises(exc_type) as excinfo:
        Case(*args, **kwargs)
    if message is not None:
        assert str(excinfo.value) == message
    if note is None:
        assert not hasattr(excinfo.value, "__notes__")
    else:
        assert_note(excinfo, note)


def test_accepted_edge_values():
    assert Case("t", Success(), assertions=True).assertions == 1
    assert Case("t", Success(), assertions=2**64 - 1).assertions == 2**64 - 1
    assert Case("t", Success(), properties=[]).properties == ()
    assert Case("t", Success(), extra=None).extra == {}


@pytest.mark.parametrize(
    "attr, value, exc_type, message, noted",
    [
        ("status", None, TypeError, "status must be a Success, Failure, Error, or Skipped instance", False),
        ("name", None, TypeError, "'None' is not an instance of 'str'", True),
        ("classname", 3, TypeError, "'int' object is not an instance of 'str'", True),
        ("assertions", -1, OverflowError, None, True),
        ("time", datetime.timedelta(days=-1), ValueError, None, True),
        ("timestamp", "2024-01-01", TypeError, "timestamp must be a datetime.datetime instance", False),
        ("extra", None, TypeError, "'None' is not an instance of 'dict'", True),
        ("extra", {"k": None}, TypeError, "'None' is not an instance of 'str'", False),
    ],
)
def test_refused_writes_keep_the_old_value(attr, value, exc_type, message, noted, assert_note):
    case = Case("t", Failure(), classname="c", assertions=2, time=datetime.timedelta(1),
                timestamp=datetime.datetime(2024, 1, 1, tzinfo=UTC), extra={"a": "b"})
    before = getattr(case, attr)
    with pytest.raises(exc_type) as excinfo:
        setattr(case, attr, value)
    if message is not None:
        assert str(excinfo.value) == message
    if noted:
        assert_note(excinfo, "value")
    else:
        assert not hasattr(excinfo.value, "__notes__")
    assert getattr(case, attr) == before


def test_writes_and_clears():
    case = Case("t", Success(), classname="c", assertions=1, system_out="o")
    error = Error()
    case.status = error
    assert case.status is error
    case.classname = None
    case.assertions = None
    case.system_out = None
    case.time = datetime.timedelta(seconds=3)
    assert (case.classname, case.assertions, case.system_out) == (None, None, None)
    assert case.time == datetime.timedelta(seconds=3)
    case.time = None
    assert case.time is None


@pytest.mark.parametrize("attr", ["name", "status", "classname", "assertions", "timestamp",
                                  "time", "system_out", "system_err", "extra"])
def test_attributes_cannot_be_deleted(attr):
    case = Case("t", Success())
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        delattr(case, attr)


def test_properties_is_read_only():
    case = Case("t", Success())
    with pytest.raises(AttributeError):
        case.properties = ()


def test_status_is_shared_and_its_changes_are_written():
    status = Failure("m")
    case = Case("t", status)
    assert case.status is status
    status.message = "changed"
    assert '<failure message="changed"/>' in written(case)


def test_properties_are_shared_and_appended_in_order():
    p, q = Property("a", "1"), Property("b", "2")
    case = Case("t", Success(), properties=[p])
    case.add_property(q)
    case.add_properties((p, q))
    assert case.properties == (p, q, p, q)
    assert all(x is y for x, y in zip(case.properties, (p, q, p, q)))
    p.value = "changed"
    assert '<property name="a" value="changed"/>' in written(case)


def test_add_properties_is_all_or_nothing(assert_note):
    p = Property("a", "1")
    case = Case("t", Success(), properties=[p])
    with pytest.raises(TypeError, match="'str' object is not an instance of 'Property'") as excinfo:
        case.add_properties([Property("b", "2"), "c"])
    assert_note(excinfo, "properties")
    with pytest.raises(TypeError, match="'int' object is not an instance of 'Property'") as excinfo:
        case.add_property(1)
    assert_note(excinfo, "property")
    assert case.properties == (p,)


def test_extra_reads_are_new_dicts_in_insertion_order():
    case = Case("t", Success(), extra={"b": "1", "a": "2"})
    first, second = case.extra, case.extra
    assert first == second and first is not second
    assert list(first) == ["b", "a"]
    first["c"] = "3"
    assert case.extra == {"b": "1", "a": "2"}


def test_extra_keys_equal_after_sanitising_keep_first_position_and_last_value():
    case = Case("t", Success(), extra={"k": "1", "x": "2", f"{ESC}k": "3"})
    assert case.extra == {"k": "3", "x": "2"}
    assert list(case.extra) == ["k", "x"]
    assert 'name="t" k="3" x="2"' in written(case)


@pytest.mark.parametrize("attr", ["name", "classname", "system_out", "system_err"])
def test_texts_are_sanitised_on_construction_and_write(attr):
    dirty, clean = f"a{ESC}b\x00c\x01d", "abcd"
    kwargs = {"name": "t", "status": Success(), attr: dirty}
    assert getattr(Case(**kwargs), attr) == clean
    case = Case("t", Success())
    setattr(case, attr, dirty)
    assert getattr(case, attr) == clean


def test_timestamp_with_a_zero_offset_reads_back_aware():
    doc = ('<testsuites name="r"><testsuite name="s">'
           '<testcase name="a" timestamp="2024-01-01T00:00:00Z"/><testcase name="b"/>'
           "</testsuite></testsuites>")
    a, b = Report.from_xml(doc).test_suites[0].test_cases
    assert a.timestamp == datetime.datetime(2024, 1, 1, tzinfo=UTC)
    assert a.timestamp.utcoffset() == datetime.timedelta(0)
    assert b.timestamp is None
