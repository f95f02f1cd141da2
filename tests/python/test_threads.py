"""Concurrent access. Every operation runs the Python code it needs (user
sequences, tzinfo methods, UUID.__str__, a writer's write) while it holds no
object, so code that touches the same objects meanwhile, re-entrant or on
another thread, simply works."""

import datetime
import sys
import threading
import time
import uuid
import xml.etree.ElementTree as ET

import pytest

from corvane._corvane import (
    Failure,
    NonSuccessKind,
    Property,
    Report,
    Skipped,
    Success,
)
from corvane._corvane import TestCase as Case  # "Test" names would be collected by pytest
from corvane._corvane import TestRerun as Rerun
from corvane._corvane import TestSuite as Suite

WHEN = datetime.datetime(2024, 1, 2, 3, 4, 5, 678000, tzinfo=datetime.timezone.utc)


@pytest.fixture(autouse=True)
def frequent_switches():
    # Switch threads as often as the interpreter allows, so that a thread is
    # interrupted inside every Python callback an operation makes.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


class Sequence:
    """A Python-level sequence whose item access first runs `touch`."""

    def __init__(self, items, touch=lambda: None):
        self.items, self.touch = list(items), touch

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        item = self.items[i]  # IndexError ends the iteration
        self.touch()
        return item


class Offset(datetime.tzinfo):
    """A pure-Python zone: every utcoffset() runs bytecode, and `touch`."""

    def __init__(self, touch=lambda: None):
        self.touch = touch

    def utcoffset(self, dt):
        self.touch()
        return datetime.timedelta(hours=2)

    def dst(self, dt):
        return None


def graph():
    rerun = Rerun(NonSuccessKind.ERROR, message="m")
    status = Failure("m", reruns=[rerun])
    case = Case("c", status)
    suite = Suite("s", test_cases=[case])
    report = Report("r")
    report.add_test_suite(suite)
    return report, suite, case, status, rerun


def touching_uuid(touch):
    class Touching(uuid.UUID):
        def __str__(self):
            touch()
            return super().__str__()

    return Touching(int=7)


class Writer:
    def __init__(self, touch):
        self.touch, self.documents = touch, []

    def write(self, document):
        self.touch()
        self.documents.append(document)


# Each row: the object of the graph whose `name` (or `message`) the user code
# changes, and an operation on that object which runs the user code `touch`.
REENTRANT = {
    "add_test_suites": (0, lambda g, t: g[0].add_test_suites(Sequence([Suite("n")], t))),
    "uuid": (0, lambda g, t: setattr(g[0], "uuid", touching_uuid(t))),
    "write_xml": (0, lambda g, t: g[0].write_xml(Writer(t))),
    "report timestamp": (0, lambda g, t: setattr(g[0], "timestamp", WHEN.replace(tzinfo=Offset(t)))),
    "add_test_cases": (1, lambda g, t: g[1].add_test_cases(Sequence([Case("n", Success())], t))),
    "suite add_properties": (1, lambda g, t: g[1].add_properties(Sequence([Property("k", "v")], t))),
    "case add_properties": (2, lambda g, t: g[2].add_properties(Sequence([Property("k", "v")], t))),
    "case timestamp": (2, lambda g, t: setattr(g[2], "timestamp", WHEN.replace(tzinfo=Offset(t)))),
    "add_reruns": (3, lambda g, t: g[3].add_reruns(Sequence([Rerun(NonSuccessKind.FAILURE)], t))),
    "rerun timestamp": (4, lambda g, t: setattr(g[4], "timestamp", WHEN.replace(tzinfo=Offset(t)))),
}


@pytest.mark.parametrize("target, operation", REENTRANT.values(), ids=REENTRANT.keys())
def test_code_run_by_an_operation_may_read_and_change_the_same_objects(target, operation):
    g = graph()
    obj = g[target]
    attr = "name" if target < 3 else "message"
    documents = []

    def touch():
        # Reads and changes the very object under operation, and writes the
        # report that holds it (which reads every object of the graph).
        setattr(obj, attr, getattr(obj, attr) + "!")
        documents.append(g[0].to_xml())

    operation(g, touch)
    assert documents and getattr(obj, attr).endswith("!" * len(documents))
    written = g[0].to_xml()
    assert Report.from_xml(written).to_xml() == written


def test_threads_changing_writing_and_reading_shared_objects_meet_no_error():
    report, suite, case, status, rerun = graph()
    report.uuid = uuid.UUID(int=1)
    zone = Offset()
    errors, documents = [], []
    deadline = time.monotonic() + 1.5
    added = 100  # per adding thread, so that writing stays cheap

    class SlowWriter:
        def write(self, document):
            time.sleep(0.001)  # like a socket: the thread lets others run
            documents.append(document)

    def set_timestamps(i):
        when = WHEN.replace(tzinfo=zone) + datetime.timedelta(seconds=i)
        report.timestamp = suite.timestamp = case.timestamp = rerun.timestamp = when

    def add(i):
        if i < added:
            suite.add_test_cases(Sequence([Case(f"c{i}", Skipped() if i % 2 else Success())]))
            report.add_test_suite(Suite(f"s{i}", test_cases=Sequence([Case("n", Success())])))
            report.name = f"r{i}"
        if i < 10:  # the shared case is written once per suite holding it
            status.add_reruns(Sequence([Rerun(NonSuccessKind.FAILURE, timestamp=WHEN)]))

    def write(i):
        report.write_xml(SlowWriter())

    def read(i):
        report.uuid, report.timestamp, report.tests, report.failures, report.test_suites
        suite.test_cases, suite.disabled, case.timestamp, case.properties, status.reruns
        rerun.timestamp, rerun.kind, status.rerun_kind

    def body(work):
        i = 0
        while time.monotonic() < deadline:
            try:
                work(i)
            except BaseException as e:  # noqa: BLE001 - every failure counts
                errors.append(e)
                return
            i += 1

    threads = [threading.Thread(target=body, args=(w,)) for w in (set_timestamps, add, add, write, read)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    assert documents
    for document in documents + [report.to_xml()]:
        ET.fromstring(document.encode())  # well-formed
        assert Report.from_xml(document).to_xml() == document


def test_unshared_reports_round_trip_in_every_thread():
    errors = []

    def work(worker):
        try:
            for i in range(100):
                rerun = Rerun(NonSuccessKind.ERROR, timestamp=WHEN, message=f"m{i}")
                cases = [Case(f"c{worker}-{i}", Success(flaky_runs=[rerun])),
                         Case("f", Failure("boom", reruns=Sequence([rerun]))),
                         Case("s", Skipped("later"), properties=Sequence([Property("k", "v")]))]
                suite = Suite(f"s{worker}", test_cases=Sequence(cases), extra={"host": f"h{worker}"})
                report = Report(f"r{worker}", uuid=uuid.UUID(int=i), timestamp=WHEN)
                report.add_test_suites(Sequence([suite]))
                written = report.to_xml()
                again = Report.from_xml(written.encode())
                assert again.to_xml() == written
                assert again.uuid == uuid.UUID(int=i) and again.timestamp == WHEN
        except BaseException as e:  # noqa: BLE001 - every failure counts
            errors.append(e)

    threads = [threading.Thread(target=work, args=(w,)) for w in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
