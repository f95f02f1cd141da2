"""Memory stays flat: every public operation, on its success path and on each
of its error paths, repeated thousands of times. A reference leaked per call
shows as a growing object count, as growing traced memory, or as a growing
reference count on an argument or on one of the module's classes."""

import copy
import datetime
import functools
import gc
import io
import pathlib
import pickle
import sys
import tracemalloc
import uuid

import pytest

from corvane import _corvane
from corvane._corvane import (
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
from corvane._corvane import TestCase as Case  # "Test" names would be collected by pytest
from corvane._corvane import TestRerun as Rerun
from corvane._corvane import TestSuite as Suite
from corvane.streaming import SuiteIterator

ROUNDS = 1500
WARM_UP = 200
# One leaked object per call costs at least 16 bytes; a leak therefore shows
# as ROUNDS * 16 bytes or more, far above what interpreter caches settle to.
MEMORY_TOLERANCE = ROUNDS * 8
OBJECT_TOLERANCE = ROUNDS // 20

UTC = datetime.timezone.utc
WHEN = datetime.datetime(2024, 5, 6, 7, 8, 9, 123000, tzinfo=UTC)
SECOND = datetime.timedelta(seconds=1)
ID = uuid.UUID(int=0x1234)
NAME = "leak-" + "n" * 40  # not interned, not immortal: its count is telling
TEXT = "leak-" + "t" * 40


@pytest.fixture(scope="module", autouse=True)
def traced():
    tracemalloc.start()
    yield
    tracemalloc.stop()


def expect(exc_type, fn, *args, **kwargs):
    try:
        fn(*args, **kwargs)
    except exc_type:
        return
    raise AssertionError(f"{fn!r} did not raise {exc_type.__name__}")


IMMORTAL_REFCOUNT = 1 << 30
# Every instance holds a reference to its class, and the instances live in
# the C heap, where traced memory does not see them: a leaked instance shows
# as a class's growing count.
MODULE_CLASSES = tuple(c for c in vars(_corvane).values() if isinstance(c, type))


# CPython's type attribute cache holds the name of every lookup it stores, in
# a slot chosen by the name's address. Pickle looks up class names it has just
# read, a new string each time, so over thousands of calls the cache fills
# with them; it is emptied before each measurement so that it cannot pass for
# a leak. Objects really leaked stay leaked.
clear_type_cache = getattr(sys, "_clear_internal_caches", None) or sys._clear_type_cache


def settle():
    gc.collect()
    clear_type_cache()


def assert_flat(op, *watched):
    """Runs op in two batches after a warm-up. Interpreter caches may grow
    once; a leak grows every batch, so only growth in both batches fails."""
    watched += MODULE_CLASSES
    for _ in range(WARM_UP):
        op()
    settle()
    counts = [sys.getrefcount(w) for w in watched]
    memory_growth, object_growth = [], []
    for _ in range(2):
        objects = len(gc.get_objects())
        memory = tracemalloc.get_traced_memory()[0]
        for _ in range(ROUNDS):
            op()
        settle()
        memory_growth.append(tracemalloc.get_traced_memory()[0] - memory)
        object_growth.append(len(gc.get_objects()) - objects)
    assert min(memory_growth) < MEMORY_TOLERANCE, f"traced memory grew by {memory_growth} bytes"
    assert min(object_growth) < OBJECT_TOLERANCE, f"{object_growth} more objects"
    # Shared objects such as None also gain and lose references elsewhere; a
    # leak per call would add 2 * ROUNDS of them.
    # Immortal objects (small ints, None from 3.12 on) report a fixed huge
    # count that says nothing about leaks, so they are not compared.
    for w, count in zip(watched, counts):
        if count >= IMMORTAL_REFCOUNT:
            continue
        assert sys.getrefcount(w) - count < OBJECT_TOLERANCE, f"references to {w!r} grew"


class Halfway:
    """A sequence whose iteration fails after its first item."""

    def __init__(self, item):
        self.item = item

    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i == 0:
            return self.item
        raise RuntimeError("halfway")


class BadLen(list):
    def __len__(self):
        raise RuntimeError("len")


class Writer:
    def __init__(self):
        self.parts = []

    def write(self, text):
        self.parts.append(len(text))


class RaisingWriter:
    def write(self, text):
        raise OSError("disk full")


class RaisingReader:
    def read(self):
        raise OSError("gone")


class NoneReader:
    def read(self):
        return None


class OddTimestamp(datetime.datetime):
    def isoformat(self, *args):
        return "not a timestamp"


class NonStrTimestamp(datetime.datetime):
    def isoformat(self, *args):
        return 42


def rerun():
    return Rerun(NonSuccessKind.FAILURE, timestamp=WHEN, time=SECOND, message=TEXT,
                 type=TEXT, stack_trace=TEXT, system_out=TEXT, system_err=TEXT,
                 description=TEXT)


def full_report():
    cases = [
        Case(NAME, Success(flaky_runs=[rerun()]), classname=TEXT, assertions=3,
             timestamp=WHEN, time=SECOND, system_out=TEXT, system_err=TEXT,
             extra={"k": TEXT}, properties=[Property(NAME, TEXT)]),
        Case(NAME, Failure(TEXT, type=TEXT, description=TEXT, reruns=[rerun()],
                           rerun_kind=RerunKind.FLAKY)),
        Case(NAME, Error(TEXT, reruns=[rerun()])),
        Case(NAME, Skipped(TEXT, type=TEXT, description=TEXT)),
        Case(NAME, Success()),  # the bare pass, which reading makes by its own path
    ]
    suite = Suite(NAME, timestamp=WHEN, time=SECOND, test_cases=cases,
                  properties=[Property(NAME, TEXT)], system_out=TEXT, system_err=TEXT,
                  extra={"host": TEXT})
    report = Report(NAME, uuid=ID, timestamp=WHEN, time=SECOND)
    report.add_test_suites([suite, suite])
    return report


# Objects shared by several tests are made when a test first needs them, not
# at import: a fault in making one then fails those tests, not the collection
# of every test module.
shared = functools.cache


@shared
def document():
    return full_report().to_xml()


@shared
def document_bytes():
    return document().encode()


def read_everything(report):
    report.name, report.uuid, report.timestamp, report.time
    report.tests, report.failures, report.errors
    for suite in report.test_suites:
        suite.name, suite.timestamp, suite.time, suite.system_out, suite.system_err
        suite.extra, suite.tests, suite.disabled, suite.failures, suite.errors
        for p in suite.properties:
            p.name, p.value
        for case in suite.test_cases:
            case.name, case.classname, case.assertions, case.timestamp, case.time
            case.system_out, case.system_err, case.extra, case.properties
            status = case.status
            for r in getattr(status, "reruns", getattr(status, "flaky_runs", ())):
                r.kind, r.timestamp, r.time, r.message, r.type, r.stack_trace
                r.system_out, r.system_err, r.description


# --- building and changing objects -----------------------------------------


def op_property():
    p = Property(NAME, TEXT)
    p.name = TEXT
    p.value = NAME
    p.name, p.value


def op_rerun():
    r = rerun()
    r.kind = NonSuccessKind.ERROR
    r.timestamp = WHEN
    r.time = SECOND
    r.message = None
    r.description = TEXT
    r.kind, r.timestamp, r.time, r.message, r.stack_trace


def op_statuses():
    s = Success()
    s.add_rerun(rerun())
    s.add_reruns([rerun(), rerun()])
    s.flaky_runs
    for cls in (Failure, Error):
        f = cls(TEXT, type=TEXT, description=TEXT)
        f.add_rerun(rerun())
        f.add_reruns((rerun(),))
        f.rerun_kind = RerunKind.RERUN
        f.message = TEXT
        f.kind, f.reruns, f.rerun_kind, f.message, f.type
    k = Skipped(TEXT, type=TEXT, description=TEXT)
    k.message = None
    k.type = TEXT
    k.description


def op_test_case():
    c = Case(NAME, Success(), classname=TEXT, assertions=7, timestamp=WHEN, time=SECOND,
             system_out=TEXT, system_err=TEXT, extra={"a": TEXT, "b": NAME},
             properties=[Property(NAME, TEXT)])
    c.add_property(Property(TEXT, NAME))
    c.add_properties([Property(TEXT, NAME)])
    c.status = Failure(TEXT)
    c.assertions = None
    c.extra = {"c": TEXT}
    c.time = None
    c.name, c.status, c.extra, c.properties, c.timestamp, c.time, c.assertions


def op_test_suite():
    s = Suite(NAME, timestamp=WHEN, time=SECOND, test_cases=[Case(NAME, Success())],
              properties=[Property(NAME, TEXT)], system_out=TEXT, extra={"a": TEXT})
    s.add_test_case(Case(NAME, Skipped()))
    s.add_test_cases([Case(NAME, Error())])
    s.add_property(Property(NAME, TEXT))
    s.add_properties([Property(NAME, TEXT)])
    s.extra = {"b": NAME}
    s.tests, s.failures, s.errors, s.disabled, s.test_cases, s.properties, s.extra


def op_report():
    r = Report(NAME, uuid=ID, timestamp=WHEN, time=SECOND)
    r.add_test_suite(Suite(NAME))
    r.add_test_suites([Suite(NAME)])
    r.uuid = None
    r.name = TEXT
    r.tests, r.failures, r.errors, r.test_suites, r.uuid, r.timestamp, r.time


def op_enums():
    int(NonSuccessKind.FAILURE), NonSuccessKind.ERROR == 1, RerunKind.FLAKY != RerunKind.RERUN


@shared
def report():
    return full_report()


def op_to_xml():
    report().to_xml()


def op_write_xml():
    report().write_xml(Writer())


def op_from_xml():
    read_everything(Report.from_xml(document()))


def op_pickle_and_copy():
    pickle.loads(pickle.dumps(report()))
    copy.copy(report()), copy.deepcopy(report())
    pickle.loads(pickle.dumps([NonSuccessKind.FAILURE, DeserializationError(NAME)], 0))


def op_from_bytes_forms():
    Report.from_xml(document_bytes())
    Report.from_xml(bytearray(document_bytes()))
    Report.from_xml(memoryview(document_bytes()))
    Report.from_xml(list(b'<testsuites name="x"/>'))


def op_read_xml():
    Report.read_xml(io.StringIO(document()))
    Report.read_xml(io.BytesIO(document_bytes()))


def op_iter_suites():
    # Small windows, so that steps are undone and run again.
    for strict in (True, False):
        stream = SuiteIterator(io.BytesIO(document_bytes()), strict=strict, _chunk=64)
        for suite in stream:
            suite.test_cases
        stream.name, stream.uuid, stream.timestamp, stream.time


SUCCESS_OPS = [op_property, op_rerun, op_statuses, op_test_case, op_test_suite,
               op_report, op_enums, op_to_xml, op_write_xml, op_from_xml, op_pickle_and_copy,
               op_from_bytes_forms, op_read_xml, op_iter_suites]


@pytest.mark.parametrize("op", SUCCESS_OPS, ids=lambda op: op.__name__)
def test_success_paths_do_not_leak(op):
    assert_flat(op, NAME, TEXT, WHEN, SECOND, ID, report())


# --- bad arguments -----------------------------------------------------------

suite = shared(lambda: Suite(NAME))
case = shared(lambda: Case(NAME, Success()))
failure = shared(lambda: Failure(TEXT))
success = shared(lambda: Success())

BAD_ARGUMENTS = [
    # (made when the test runs: callable, args, kwargs; exception)
    (lambda: (Property, (NAME,), {}), TypeError),
    (lambda: (Property, (NAME, 1), {}), TypeError),
    (lambda: (Property, (NAME, TEXT, TEXT), {}), TypeError),
    (lambda: (Property, (NAME, TEXT), {"bogus": TEXT}), TypeError),
    (lambda: (Property, (NAME,), {"name": TEXT, "value": TEXT}), TypeError),
    (lambda: (Rerun, (0,), {}), TypeError),
    (lambda: (Rerun, (NonSuccessKind.ERROR,), {"time": 1.5}), TypeError),
    (lambda: (Rerun, (NonSuccessKind.ERROR,), {"time": -SECOND}), ValueError),
    (lambda: (Rerun, (NonSuccessKind.ERROR,), {"timestamp": datetime.datetime(2024, 1, 1)}),
     ValueError),
    (lambda: (Rerun, (NonSuccessKind.ERROR,), {"timestamp": datetime.date(2024, 1, 1)}), TypeError),
    (lambda: (Rerun, (NonSuccessKind.ERROR,),
              {"timestamp": NonStrTimestamp(2024, 1, 1, tzinfo=UTC)}),
     TypeError),
    (lambda: (Rerun, (NonSuccessKind.ERROR,), {"message": b"x"}), TypeError),
    (lambda: (Success, (), {"flaky_runs": TEXT}), TypeError),
    (lambda: (Success, (), {"flaky_runs": [rerun(), NAME]}), TypeError),
    (lambda: (Success, (), {"flaky_runs": Halfway(rerun())}), RuntimeError),
    (lambda: (Success, (), {"flaky_runs": 5}), TypeError),
    (lambda: (Failure, (TEXT, TEXT), {}), TypeError),
    (lambda: (Failure, (), {"reruns": [rerun(), success()]}), TypeError),
    (lambda: (Failure, (), {"rerun_kind": 1}), TypeError),
    (lambda: (Error, (), {"reruns": Halfway(rerun())}), RuntimeError),
    (lambda: (Skipped, (), {"type": 1}), TypeError),
    (lambda: (Case, (NAME,), {}), TypeError),
    (lambda: (Case, (NAME, TEXT), {}), TypeError),
    (lambda: (Case, (NAME, success()), {"extra": {"k": 1}}), TypeError),
    (lambda: (Case, (NAME, success()), {"extra": {1: TEXT}}), TypeError),
    (lambda: (Case, (NAME, success()), {"extra": [("k", TEXT)]}), TypeError),
    (lambda: (Case, (NAME, success()), {"assertions": TEXT}), TypeError),
    (lambda: (Case, (NAME, success()), {"assertions": 2**70}), OverflowError),
    (lambda: (Case, (NAME, success()), {"properties": Halfway(Property(NAME, TEXT))}),
     RuntimeError),
    (lambda: (Case, (NAME, success()), {"properties": BadLen([Property(NAME, TEXT), 1])}),
     TypeError),
    (lambda: (Suite, (), {}), TypeError),
    (lambda: (Suite, (NAME,), {"test_cases": [case(), case(), suite()]}), TypeError),
    (lambda: (Suite, (NAME,), {"test_cases": Halfway(case())}), RuntimeError),
    (lambda: (Suite, (NAME,), {"time": datetime.timedelta(days=-1)}), ValueError),
    (lambda: (Report, (NAME,), {"uuid": str(ID)}), TypeError),
    (lambda: (Report, (NAME,), {"timestamp": WHEN, "time": TEXT}), TypeError),
    (lambda: (Report, (NAME, NAME), {}), TypeError),
    (lambda: (suite().add_test_case, (case(), case()), {}), TypeError),
    (lambda: (suite().add_test_cases, (Halfway(case()),), {}), RuntimeError),
    (lambda: (suite().add_properties, ([Property(NAME, TEXT), case()],), {}), TypeError),
    (lambda: (case().add_property, (suite(),), {}), TypeError),
    (lambda: (failure().add_reruns, (Halfway(rerun()),), {}), RuntimeError),
    (lambda: (failure().add_rerun, (failure(),), {}), TypeError),
    (lambda: (success().add_reruns, (TEXT,), {}), TypeError),
    (lambda: (Report(NAME).add_test_suites, ([suite(), case()],), {}), TypeError),
    (lambda: (Report(NAME).add_test_suite, (), {}), TypeError),
    (lambda: (case().__setstate__, ((TEXT,),), {}), TypeError),
    (lambda: (suite().__setstate__, (([case(), suite()], (), (), None, None, None, None),), {}),
     TypeError),
    (lambda: (failure().__setstate__, ((None, None, None, (), 1),), {}), TypeError),
]


@pytest.mark.parametrize("make, exc", BAD_ARGUMENTS)
def test_bad_arguments_do_not_leak(make, exc):
    fn, args, kwargs = make()
    assert_flat(lambda: expect(exc, fn, *args, **kwargs), NAME, TEXT, case(), suite())


def set_attr(obj, attr, value):
    setattr(obj, attr, value)


def del_attr(obj, attr):
    delattr(obj, attr)


BAD_SETTERS = [
    # (made when the test runs: object, attribute, value; exception)
    (lambda: (case(), "name", None), TypeError),
    (lambda: (case(), "status", suite()), TypeError),
    (lambda: (case(), "extra", None), TypeError),
    (lambda: (case(), "extra", {"k": 1}), TypeError),
    (lambda: (case(), "time", -SECOND), ValueError),
    (lambda: (case(), "assertions", -1), OverflowError),
    (lambda: (suite(), "timestamp", datetime.datetime(2024, 1, 1)), ValueError),
    (lambda: (suite(), "system_out", 1), TypeError),
    (lambda: (failure(), "rerun_kind", NonSuccessKind.FAILURE), TypeError),
    (lambda: (failure(), "message", 1), TypeError),
    (lambda: (report(), "uuid", 1), TypeError),
    (lambda: (report(), "tests", 1), AttributeError),
    (lambda: (report(), "bogus", 1), AttributeError),
]


@pytest.mark.parametrize("make, exc", BAD_SETTERS)
def test_refused_setters_do_not_leak(make, exc):
    obj, attr, value = make()
    assert_flat(lambda: expect(exc, set_attr, obj, attr, value), obj, value)


@pytest.mark.parametrize("owner, attr", [(case, "name"), (suite, "extra"), (report, "time"),
                                         (failure, "message")])
def test_refused_deletes_do_not_leak(owner, attr):
    obj = owner()
    assert_flat(lambda: expect(AttributeError, del_attr, obj, attr), obj)


# --- refused writes and failing callbacks -------------------------------------


def report_with(case):
    report = Report(NAME)
    report.add_test_suite(Suite(NAME, test_cases=[Case(NAME, Success()), case]))
    return report


bad_key_report = shared(lambda: report_with(Case(NAME, Success(), extra={"not a name": TEXT})))

REFUSED_WRITES = [
    # (made when the test runs: method, args; exception)
    (lambda: (bad_key_report().to_xml, ()), ValueError),
    (lambda: (report_with(Case(NAME, Success(), extra={"classname": TEXT})).to_xml, ()),
     ValueError),
    (lambda: (report_with(Case(NAME, Success(), timestamp=OddTimestamp(2024, 1, 1, tzinfo=UTC)))
              .to_xml, ()), ValueError),
    (lambda: (bad_key_report().write_xml, (Writer(),)), ValueError),
    (lambda: (report().write_xml, (RaisingWriter(),)), OSError),
    (lambda: (report().write_xml, (object(),)), AttributeError),
    # The calling mistakes that get a hint.
    (lambda: (report().write_xml, ("report.xml",)), AttributeError),
    (lambda: (report().write_xml, (io.BytesIO(),)), TypeError),
    (lambda: (report().write_xml, ()), TypeError),
]


@pytest.mark.parametrize("make, exc", REFUSED_WRITES)
def test_refused_writes_do_not_leak(make, exc):
    fn, args = make()
    assert_flat(lambda: expect(exc, fn, *args), report(), bad_key_report())


# --- reading errors ------------------------------------------------------------

BAD_DOCUMENTS = [
    ("<notxml", DeserializationError),
    ("<a/>", DeserializationError),
    ('<testsuites tests="x"/>', DeserializationError),
    ('<testsuites timestamp="2024-01-01"/>', DeserializationError),
    ('<testsuites uuid="1234"/>', DeserializationError),
    ('<testsuites time="-1"/>', DeserializationError),
    ("<testsuites><testsuite><testcase></testsuite></testsuites>", DeserializationError),
    # Fails at the very end, after the whole tree was built.
    (lambda: document().replace("</testsuites>", "</testsuitex>"), DeserializationError),
    (lambda: document().replace("</testsuites>", ""), DeserializationError),
    (b"\xff<testsuites/>", ValueError),
    ("\ud800<testsuites/>", TypeError),
    (42, TypeError),
    ([1, 2, 300], TypeError),
    (None, TypeError),
    # The calling mistakes that get a hint.
    ("report.xml", DeserializationError),
    (pathlib.Path("report.xml"), TypeError),
    (io.StringIO("<testsuites/>"), TypeError),
]


@pytest.mark.parametrize("doc, exc", BAD_DOCUMENTS, ids=range(len(BAD_DOCUMENTS)))
def test_deserialization_errors_do_not_leak(doc, exc):
    if callable(doc):
        doc = doc()
    assert_flat(lambda: expect(exc, Report.from_xml, doc), doc)


@pytest.mark.parametrize("reader, exc", [
    (RaisingReader(), OSError),
    (NoneReader(), TypeError),
    (io.StringIO("<testsuites"), DeserializationError),
    (object(), AttributeError),
    ("report.xml", AttributeError),
])
def test_failing_reads_do_not_leak(reader, exc):
    def op():
        if isinstance(reader, io.StringIO):
            reader.seek(0)
        expect(exc, Report.read_xml, reader)

    assert_flat(op, reader)


class RaisingFile:
    def read(self, size):
        raise OSError("gone")


@pytest.mark.parametrize("strict", [True, False])
@pytest.mark.parametrize("reader", [RaisingFile(), io.BytesIO(b"<testsuites name='r'><testsuite")])
def test_failing_suite_streams_do_not_leak(reader, strict):
    def op():
        if isinstance(reader, io.BytesIO):
            reader.seek(0)
        with pytest.raises((OSError, DeserializationError)):
            list(SuiteIterator(reader, strict=strict, _chunk=8))

    assert_flat(op, reader)


def test_documents_handed_over_in_pieces_do_not_leak():
    # Large documents reach Python a megabyte at a time; a piece left behind
    # per call would be a megabyte of traced memory each time.
    report = Report("r")
    report.add_test_suites([Suite(f"s{i}", system_out="x" * 400_000) for i in range(8)])
    assert len(report.to_xml()) > 3 * 2**20
    for _ in range(3):
        report.to_xml()
    gc.collect()
    memory = tracemalloc.get_traced_memory()[0]
    for _ in range(30):
        report.to_xml()
    gc.collect()
    assert tracemalloc.get_traced_memory()[0] - memory < 2**20
