"""Thread stress: several threads build, change, write and read reports, some
shared between them and some their own. Nothing may crash; the only errors
allowed are the borrow conflicts a thread meets when another thread's Python
code runs in the middle of an operation on a shared object."""

import datetime
import re
import sys
import threading
import uuid

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

THREADS = 6
ROUNDS = 150
BORROW_CONFLICTS = ("Already borrowed", "Already mutably borrowed")
# A parent that meets a child in the middle of a change (another thread's)
# refuses to go on with an internal failure, a BaseException.
CHILD_CONFLICT = re.compile(r"(TestSuite|TestCase|TestRerun|Property|status) is being changed "
                            r"while it is (read|converted)")
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
    """A Python-level sequence: iterating it runs bytecode, where the
    interpreter may switch to another thread mid-operation."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


def own_report(worker, i):
    rerun = Rerun(NonSuccessKind.ERROR, timestamp=WHEN, message=f"m{i}")
    cases = [Case(f"c{worker}-{i}", Success(flaky_runs=[rerun])),
             Case("f", Failure("boom", reruns=Sequence([rerun]))),
             Case("s", Skipped("later"), properties=Sequence([Property("k", "v")]))]
    suite = Suite(f"s{worker}", test_cases=Sequence(cases), extra={"host": f"h{worker}"})
    report = Report(f"r{worker}", uuid=uuid.UUID(int=i), timestamp=WHEN)
    report.add_test_suites(Sequence([suite]))
    return report


def run_threads(work):
    errors = []
    start = threading.Barrier(THREADS)

    def body(worker):
        start.wait()
        for i in range(ROUNDS):
            try:
                work(worker, i)
            except RuntimeError as e:
                if str(e) not in BORROW_CONFLICTS:
                    errors.append(e)
            except BaseException as e:  # noqa: BLE001 - report every other failure
                if type(e).__name__ != "InternalFailure" or not CHILD_CONFLICT.fullmatch(str(e)):
                    errors.append(e)

    threads = [threading.Thread(target=body, args=(w,)) for w in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []


def test_unshared_reports_round_trip_in_every_thread():
    def work(worker, i):
        report = own_report(worker, i)
        written = report.to_xml()
        again = Report.from_xml(written.encode())
        assert again.to_xml() == written
        assert again.uuid == uuid.UUID(int=i) and again.timestamp == WHEN

    run_threads(work)


def test_shared_objects_changed_written_and_read_from_every_thread():
    shared_case = Case("shared", Success())
    shared_suite = Suite("shared", test_cases=[shared_case])
    shared = Report("shared", uuid=uuid.UUID(int=1), timestamp=WHEN)
    shared.add_test_suite(shared_suite)

    def work(worker, i):
        step = (worker + i) % 6
        if step == 0:
            shared_suite.add_test_cases(Sequence([Case(f"w{worker}", Skipped()), shared_case]))
        elif step == 1:
            shared_case.status = Failure(f"{worker}-{i}") if i % 2 else Success()
            shared_case.properties, shared_case.extra
        elif step == 2:
            shared.add_test_suite(Suite(f"w{worker}", test_cases=Sequence([shared_case])))
        elif step == 3:
            # Reading uuid and timestamp calls Python code under a shared borrow.
            shared.uuid, shared.timestamp, shared.tests, shared.failures
            shared.name = f"shared-{worker}"
        else:
            written = shared.to_xml()
            assert Report.from_xml(written).tests == written.count("<testcase ")

    run_threads(work)
    # Whatever interleaving happened, the objects are whole and consistent.
    written = shared.to_xml()
    assert Report.from_xml(written).to_xml() == written
    assert shared.tests == sum(len(s.test_cases) for s in shared.test_suites)
