"""pickle, copy and deepcopy of every class, and reports sent between processes."""

import concurrent.futures
import copy
import datetime
import multiprocessing
import pathlib
import pickle

import pytest

import corvane
from corvane import (
    CorvaneError,
    DeserializationError,
    Error,
    Failure,
    NonSuccessKind,
    Property,
    Report,
    RerunKind,
    SerializationError,
    Skipped,
    Success,
)
from corvane import TestCase as Case  # "Test" names would be collected by pytest
from corvane import TestRerun as Rerun
from corvane import TestSuite as Suite

PROTOCOLS = range(pickle.HIGHEST_PROTOCOL + 1)
COPIES = {f"pickle-{p}": (lambda p: lambda o: pickle.loads(pickle.dumps(o, p)))(p) for p in PROTOCOLS}
COPIES.update({"copy": copy.copy, "deepcopy": copy.deepcopy})
REAL = pathlib.Path(__file__).resolve().parents[1] / "data" / "real"

# What no Python value carries: nine fraction digits, nanoseconds, a
# three-digit fraction, extra attributes out of alphabetical order.
READ = """<testsuites name="r" uuid="00000000-0000-0000-0000-0000000000ff"
 timestamp="2024-01-01T00:00:00.123456789+02:00" time="1.000000001">
<testsuite name="s" timestamp="2024-01-01T00:00:00.5-01:30" z="1" a="2">
<properties><property name="k" value="v"/></properties>
<testcase name="t" classname="C" assertions="3" time="0.000000007" y="1" b="2">
<failure message="m" type="T">d<flakyError message="x" time="2"/></failure>
<properties><property name="p" value="q"/></properties>
<system-out>out</system-out></testcase>
<testcase name="ok"><flakyFailure timestamp="2024-01-01T00:00:00.000000001+00:00"/></testcase>
<testcase name="e"><error/></testcase>
<testcase name="sk"><skipped message="later" type="S"/></testcase>
</testsuite></testsuites>"""


def fields(obj):
    """Every public attribute, children described in turn, dicts in order."""
    if isinstance(obj, dict):
        return list(obj.items())
    if isinstance(obj, tuple):
        return [fields(item) for item in obj]
    if not type(obj).__module__.startswith("corvane") or isinstance(obj, (NonSuccessKind, RerunKind)):
        return obj
    names = [n for n in dir(obj) if not n.startswith("_") and not callable(getattr(obj, n))]
    return {n: fields(getattr(obj, n)) for n in names}


def made():
    """One object of each class with every field set, as built from Python."""
    when = datetime.datetime(2024, 5, 6, 7, 8, 9, 10, tzinfo=datetime.timezone.utc)
    rerun = Rerun(NonSuccessKind.ERROR, timestamp=when, time=datetime.timedelta(1, 2, 3),
                  message="m", type="t", stack_trace="s", system_out="o", system_err="e",
                  description="d")
    prop = Property("k", "v")
    statuses = [Success(flaky_runs=[rerun]), Failure("m", type="t", description="d", reruns=[rerun],
                rerun_kind=RerunKind.FLAKY), Error(reruns=[rerun]), Skipped("m", type="t", description="d")]
    case = Case("c", statuses[1], classname="C", assertions=4, timestamp=when,
                time=datetime.timedelta(seconds=3), system_out="o", system_err="e",
                extra={"z": "1", "a": "2"}, properties=[prop, prop])
    suite = Suite("s", timestamp=when, time=datetime.timedelta(0), test_cases=[case, case],
                  properties=[prop], system_out="o", system_err="e", extra={"b": "1", "a": "2"})
    return [rerun, prop, *statuses, case, suite, Report("r", timestamp=when)]


@pytest.mark.parametrize("how", COPIES.values(), ids=COPIES.keys())
def test_every_object_comes_back_with_every_field(how):
    read = Report.from_xml(READ)
    read.add_test_suite(read.test_suites[0])
    for obj in made() + [read]:
        back = how(obj)
        assert type(back) is type(obj) and back is not obj
        assert fields(back) == fields(obj)
    back = how(read)
    assert back.to_xml() == read.to_xml()
    # Shared children come back shared once, deep copies or not.
    assert back.test_suites[0] is back.test_suites[1]
    assert (back.test_suites[0] is read.test_suites[0]) == (how is copy.copy)


def test_a_deep_copy_is_independent_and_a_shallow_one_shares_its_children():
    report = Report.from_xml(READ)
    deep, shallow = copy.deepcopy(report), copy.copy(report)
    written = report.to_xml()
    deep.test_suites[0].test_cases[0].status.message = "changed"
    deep.add_test_suite(Suite("more"))
    shallow.name = "other"
    assert report.to_xml() == written
    shallow.test_suites[0].name = "renamed"
    assert report.test_suites[0].name == "renamed"


@pytest.mark.parametrize("member", [NonSuccessKind.FAILURE, NonSuccessKind.ERROR, RerunKind.FLAKY,
                                    RerunKind.RERUN])
def test_enumeration_members_come_back_as_the_very_member(member):
    assert all(how(member) is member for how in COPIES.values())


@pytest.mark.parametrize("cls", [CorvaneError, DeserializationError, SerializationError])
def test_exceptions_come_back_with_their_class_arguments_and_notes(cls):
    error = cls("boom", 2)
    error.__notes__ = ["while reading"]  # what add_note does on 3.11+, also on 3.10
    for how in COPIES.values():
        back = how(error)
        assert type(back) is cls and back.args == ("boom", 2)
        assert back.__notes__ == ["while reading"]
    assert cls.__module__ == "_corvane"


@pytest.mark.parametrize("state, message", [
    ((), "Failure.__setstate__() takes a tuple of 5 items"),
    (("m", None, None, [Property("k", "v")], RerunKind.RERUN), "'Property' object is not an instance of 'TestRerun'"),
    (("m", None, None, (), 1), "'int' object is not an instance of 'RerunKind'"),
])
def test_a_malformed_state_changes_nothing(state, message):
    status = Failure("old")
    with pytest.raises(TypeError) as excinfo:
        status.__setstate__(state)
    assert str(excinfo.value) == message
    assert status.message == "old"
    case = Case("c", status)
    for bad in [(None, None, None, (-1, 0), None, None, (), ()), (None, None, None, (1, 10**9), None, None, (), ())]:
        with pytest.raises((ValueError, OverflowError)):
            case.__setstate__(bad)
    assert case.time is None


def test_reports_read_in_other_processes_write_as_the_parents_own_read():
    paths = sorted(str(p) for p in REAL.glob("*.xml"))
    assert paths
    context = multiprocessing.get_context("spawn")  # a fresh interpreter, as on macOS and Windows
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=context) as pool:
        reports = list(pool.map(corvane.load, paths))
        failed = pool.submit(Report.from_xml, "<nope/>").exception()
    assert [r.to_xml() for r in reports] == [corvane.load(p).to_xml() for p in paths]
    assert type(failed) is DeserializationError
