"""The command line, ``python -m corvane``: summarise, check and merge JUnit
XML reports. Every error names its file and none prints a traceback."""

from __future__ import annotations

import argparse
import datetime
import sys
from dataclasses import dataclass, fields
from typing import Iterator, Sequence

from corvane._corvane import CorvaneError, Failure, Error, Report, Skipped, Success
from corvane.loader import loads

STDIN = "-"

# Exit statuses: 1 is the answer ("there were failures", "a file is
# invalid"), 2 means a file could not be read or understood at all.
EXIT_ANSWER = 1
EXIT_UNREADABLE = 2


class FileProblem(Exception):
    """A file that could not be read or understood, with its display name."""

    def __init__(self, name: str, message: str) -> None:
        super().__init__(f"{name}: {message}")


def display_name(path: str) -> str:
    return "<stdin>" if path == STDIN else path


def read_bytes(path: str, stdin_used: list[bool]) -> bytes:
    if path == STDIN:
        if stdin_used[0]:
            raise FileProblem(display_name(path), "standard input can be read only once")
        stdin_used[0] = True
        return sys.stdin.buffer.read()
    try:
        with open(path, "rb") as file:
            return file.read()
    except OSError as exc:
        raise FileProblem(path, exc.strerror or str(exc)) from None


def load_each(paths: Sequence[str]) -> Iterator[tuple[str, Report]]:
    """Each file read tolerantly, in order."""
    stdin_used = [False]
    for path in paths:
        data = read_bytes(path, stdin_used)
        try:
            yield display_name(path), loads(data)
        except (CorvaneError, ValueError, TypeError) as exc:
            raise FileProblem(display_name(path), str(exc)) from None


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


def seconds(value: datetime.timedelta | None) -> float | None:
    return None if value is None else value.total_seconds()


def count(report: Report) -> Counts:
    counts = Counts(suites=len(report.test_suites))
    suite_times = 0.0
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
        suite_time = seconds(suite.time)
        suite_times += case_times if suite_time is None else suite_time
    report_time = seconds(report.time)
    # The most complete time the report states: its own, else its suites'
    # (each its own, else its cases').
    counts.time = suite_times if report_time is None else report_time
    return counts


COLUMNS = ("suites", "tests", "passed", "failures", "errors", "skipped", "flaky", "time")


def format_row(name: str, counts: Counts, width: int) -> str:
    cells = [str(getattr(counts, column)) for column in COLUMNS[:-1]]
    cells.append(f"{counts.time:.3f}s")
    return f"{name:<{width}}" + "".join(f"{cell:>10}" for cell in cells)


def run_summary(args: argparse.Namespace) -> int:
    rows = [(name, count(report)) for name, report in load_each(args.files)]
    total = Counts()
    for _, counts in rows:
        total.add(counts)
    width = max(len(name) for name in [*(name for name, _ in rows), "TOTAL", "FILE"]) + 2
    print(f"{'FILE':<{width}}" + "".join(f"{column:>10}" for column in COLUMNS))
    for name, counts in rows:
        print(format_row(name, counts, width))
    if len(rows) > 1:
        print(format_row("TOTAL", total, width))
    if not args.no_fail and (total.failures or total.errors):
        return EXIT_ANSWER
    return 0


def run_check(args: argparse.Namespace) -> int:
    status = 0
    stdin_used = [False]
    for path in args.files:
        name = display_name(path)
        try:
            Report.from_xml(read_bytes(path, stdin_used))
        except FileProblem as problem:
            print(problem, file=sys.stderr)
            status = max(status, EXIT_UNREADABLE)
            continue
        except (CorvaneError, ValueError) as exc:
            print(f"{name}: {exc}")
            status = max(status, EXIT_ANSWER)
            continue
        print(f"{name}: OK")
    return status


def run_merge(args: argparse.Namespace) -> int:
    loaded = list(load_each(args.files))
    name = args.name if args.name is not None else loaded[0][1].name
    merged = Report(name)
    for _, report in loaded:
        merged.add_test_suites(report.test_suites)
    text = merged.to_xml()
    if args.output == STDIN:
        sys.stdout.write(text)
        return 0
    try:
        with open(args.output, "w", encoding="utf-8", newline="") as file:
            file.write(text)
    except OSError as exc:
        raise FileProblem(args.output, exc.strerror or str(exc)) from None
    return 0


def parser() -> argparse.ArgumentParser:
    top = argparse.ArgumentParser(
        prog="python -m corvane",
        description="Summarise, check and merge JUnit XML reports. "
        "FILE may be '-' for standard input.",
        epilog="Exit status: 0 on success, 1 for failing tests (summary) or invalid "
        "files (check), 2 when a file cannot be read or understood at all.",
    )
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")

    summary = commands.add_parser(
        "summary",
        help="count suites, tests and outcomes per file and in total",
        description="Read each report tolerantly (as corvane.load does) and print, per file "
        "and in total: suites, tests, passed, failures, errors, skipped, flaky (passed "
        "after retries) and time. Exits with status 1 if any test failed or errored.",
    )
    summary.add_argument("files", nargs="+", metavar="FILE")
    summary.add_argument(
        "--no-fail", action="store_true", help="exit with status 0 even if tests failed"
    )
    summary.set_defaults(run=run_summary)

    check = commands.add_parser(
        "check",
        help="validate files with the strict reader",
        description="Read each file with the strict reader (Report.from_xml) and print OK "
        "or the error naming where the problem lies. Exits with status 1 if any file is "
        "invalid.",
    )
    check.add_argument("files", nargs="+", metavar="FILE")
    check.set_defaults(run=run_check)

    merge = commands.add_parser(
        "merge",
        help="merge reports into one",
        description="Read each report tolerantly and write one report holding all their "
        "suites, in order.",
    )
    merge.add_argument("files", nargs="+", metavar="FILE")
    merge.add_argument(
        "-o", "--output", required=True, metavar="OUT", help="the file to write ('-': stdout)"
    )
    merge.add_argument(
        "--name", help="the merged report's name (default: the first report's name)"
    )
    merge.set_defaults(run=run_merge)
    return top


def main(argv: Sequence[str] | None = None) -> int:
    args = parser().parse_args(argv)
    try:
        return args.run(args)
    except FileProblem as problem:
        print(f"python -m corvane {args.command}: {problem}", file=sys.stderr)
        return EXIT_UNREADABLE
    except BrokenPipeError:
        return EXIT_UNREADABLE
