"""What loaded reports hold, as people ask about it: each test's outcome, the
counts, and the failing tests. Shared by the summaries, the HTML page and the
diff, so that all of them count and name a test the same way."""

from __future__ import annotations

import datetime
import re
from dataclasses import dataclass, fields
from typing import Iterable, Iterator, Sequence, Union

from corvane._corvane import Error, Failure, Report, Skipped, Success, TestCase

# One outcome per test case. A flaky test passed after failed attempts; it
# counts among the passed as well.
PASSED, FLAKY, FAILED, ERROR, SKIPPED = "passed", "flaky", "failed", "error", "skipped"
FAILING = (FAILED, ERROR)

Status = Union[Success, Failure, Error, Skipped]
Loaded = Sequence[tuple[str, Report]]  # (display name of the file, its report)


def outcome(status: Status) -> str:
    kind = type(status)
    if kind is Success:
        return FLAKY if status.flaky_runs else PASSED  # type: ignore[union-attr]
    if kind is Failure:
        return FAILED
    if kind is Error:
        return ERROR
    return SKIPPED


def seconds(value: datetime.timedelta | None) -> float | None:
    return None if value is None else value.total_seconds()


@dataclass
class Counts:
    suites: int = 0
    tests: int = 0
    passed: int = 0
    failures: int = 0
    errors: int = 0
    skipped: int = 0
    flaky: int = 0
    time: float = 0.0

    def add(self, other: Counts) -> None:
        for field in fields(self):
            setattr(self, field.name, getattr(self, field.name) + getattr(other, field.name))


def stated_time(report_time: float | None, suites: Iterable[tuple[float | None, float]]) -> float:
    """The most complete time a report states: its own, else the sum of its
    suites' times, taking for a suite without one the sum of its cases'.
    `suites` gives, per suite, (its own time, its cases' summed time)."""
    if report_time is not None:
        return report_time
    return sum((case_times if own is None else own for own, case_times in suites), 0.0)


def count(report: Report) -> Counts:
    counts = Counts(suites=len(report.test_suites))
    suite_times = []
    for suite in report.test_suites:
        case_times = 0.0
        for case in suite.test_cases:
            counts.tests += 1
            status = case.status
            if isinstance(status, Success):
                counts.passed += 1
                counts.flaky += bool(status.flaky_runs)
            elif isinstance(status, Failure):
                counts.failures += 1
            elif isinstance(status, Error):
                counts.errors += 1
            elif isinstance(status, Skipped):
                counts.skipped += 1
            case_times += seconds(case.time) or 0.0
        suite_times.append((seconds(suite.time), case_times))
    counts.time = stated_time(seconds(report.time), suite_times)
    return counts


def total(loaded: Loaded) -> Counts:
    counts = Counts()
    for _, report in loaded:
        counts.add(count(report))
    return counts


@dataclass(frozen=True)
class CaseRef:
    """One test case with where it was found and its outcome."""

    file: str
    suite: str
    case: TestCase
    outcome: str

    @property
    def classname(self) -> str:
        return self.case.classname or ""

    @property
    def name(self) -> str:
        return self.case.name

    @property
    def time(self) -> float | None:
        return seconds(self.case.time)

    @property
    def label(self) -> str:
        """The test as people name it: its class name joins its name unless
        the class name only repeats the suite's (Surefire, CTest...)."""
        classname = self.classname
        if classname and classname != self.suite:
            return f"{classname}.{self.name}"
        return self.name


def iter_cases(loaded: Loaded) -> Iterator[CaseRef]:
    for file, report in loaded:
        for suite in report.test_suites:
            name = suite.name
            for case in suite.test_cases:
                yield CaseRef(file, name, case, outcome(case.status))


def failing(cases: Iterable[CaseRef]) -> list[CaseRef]:
    return [ref for ref in cases if ref.outcome in FAILING]


def first_line(text: str | None) -> str:
    if not text:
        return ""
    for line in text.splitlines():
        if line.strip():
            return line.strip()
    return ""


# A first line that only says where ("sample_test.cpp:10", as GoogleTest
# writes): the line after it says what.
_LOCATION_ONLY = re.compile(r"\S+:\d+:?")


def headline(status: Status) -> str:
    """One line that says why: the message, else the type, else the first
    line of the description (some runners give only a stack trace)."""
    if isinstance(status, Success):
        return ""
    message = (status.message or "").strip()
    line = first_line(message)
    if _LOCATION_ONLY.fullmatch(line):
        rest = first_line(message[len(line) :])
        return f"{line.rstrip(':')}: {rest}" if rest else line
    return line or (status.type or "") or first_line(status.description)
