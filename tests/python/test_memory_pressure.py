"""Running out of memory inside the module raises MemoryError and leaves the
interpreter running, whichever kind of entry point was called. Each case
runs in a child process, so a fault ends that child rather than the test
run."""

import os
import subprocess
import sys
import textwrap

import pytest

BIG = 100_000_000
PRELUDE = f"""
import datetime, resource
UTC = datetime.timezone.utc
from corvane._corvane import Report, Success, TestCase, TestSuite
import corvane._tolerant as tolerant

BIG = "x" * {BIG}
DOCUMENT = ('<testsuites name="r"><testsuite name="s"><system-out>' + BIG
            + '</system-out></testsuite></testsuites>')

class LongIsoformat(datetime.datetime):
    def isoformat(self, *args):
        return "2024-01-01T00:00:00." + "1" * {BIG} + "+00:00"

def limit_memory():
    # The input exists already; what the call itself copies cannot fit.
    for line in open("/proc/self/status"):
        if line.startswith("VmSize:"):
            size = int(line.split()[1]) * 1024 + 50 * 2**20
    resource.setrlimit(resource.RLIMIT_AS, (size, resource.RLIM_INFINITY))
"""


def run_child(code):
    return subprocess.run([sys.executable, "-c", PRELUDE + textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=120)


# (entry kind, objects made before the limit, the call, what holds afterwards)
CASES = [
    ("constructor", "", 'TestCase("t", Success(), system_out=BIG)', "True"),
    ("setter", 'case = TestCase("t", Success())', "case.system_out = BIG",
     "case.system_out is None"),
    ("getter", "report = Report('r', timestamp=LongIsoformat(2024, 1, 1, tzinfo=UTC))",
     "report.timestamp", 'report.name == "r"'),
    ("method", 'report = Report("r"); report.add_test_suite(TestSuite("s", system_out=BIG))',
     "report.to_xml()", "len(report.test_suites) == 1"),
    ("class method", "", "Report.from_xml(DOCUMENT)", "True"),
    ("module function", "", "tolerant.canonical_xml(DOCUMENT)", "True"),
]


# A sanitizer's allocator reports an allocation past the limit and stops the
# process instead of failing it as the system's allocator does.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc and RLIMIT_AS")
@pytest.mark.skipif(SANITIZED, reason="allocations past the limit stop a sanitized process")
@pytest.mark.parametrize("kind, setup, call, after", CASES, ids=[c[0] for c in CASES])
def test_memory_limit_raises_memory_error(kind, setup, call, after):
    child = run_child(f"""
{setup}
limit_memory()
try:
    {call}
except MemoryError:
    print("MemoryError", {after})
""")
    assert (child.returncode, child.stdout) == (0, "MemoryError True\n"), child.stderr


SWEEP = """
import _testcapi, datetime
from corvane._corvane import *
import corvane._tolerant as tolerant

UTC = datetime.timezone.utc
WHEN = datetime.datetime(2024, 5, 6, 7, 8, 9, tzinfo=UTC)
rerun = TestRerun(NonSuccessKind.ERROR, timestamp=WHEN, message="m")
case = TestCase("t", Failure("f", reruns=[rerun]), timestamp=WHEN, extra={"k": "v"},
                properties=[Property("n", "v")], time=datetime.timedelta(seconds=1))
suite = TestSuite("s", test_cases=[case, TestCase("u", Skipped())], extra={"h": "x"})
report = Report("r", timestamp=WHEN)
report.add_test_suite(suite)
document = report.to_xml()

def set_fields():
    case.name = "t2"
    case.extra = {"a": "b"}
    case.timestamp = WHEN
    suite.add_test_cases([case])

OPS = [
    lambda: Report("r", timestamp=WHEN, time=datetime.timedelta(seconds=2)),
    lambda: TestCase("t", Success(flaky_runs=[rerun]), extra={"k": "v"}),
    set_fields,
    lambda: (case.extra, case.timestamp, case.time, suite.failures, report.tests),
    lambda: repr(NonSuccessKind.FAILURE) and RerunKind.FLAKY == 0,
    report.to_xml,
    lambda: Report.from_xml(document).test_suites[0].test_cases[0].status.reruns,
    lambda: tolerant.canonical_xml(document),
]

for op in OPS:
    for start in range(10_000):
        _testcapi.set_nomemory(start, 0)
        try:
            op()
        except MemoryError:
            continue
        finally:
            _testcapi.remove_mem_hooks()
        break
    else:
        raise AssertionError(f"{op} never finished")
print("done")
"""


def test_every_failed_allocation_is_a_memory_error():
    if not hasattr(pytest.importorskip("_testcapi"), "set_nomemory"):
        pytest.skip("this Python cannot make allocations fail")
    child = subprocess.run([sys.executable, "-c", SWEEP], capture_output=True, text=True,
                           timeout=300)
    assert (child.returncode, child.stdout) == (0, "done\n"), child.stderr[-3000:]
