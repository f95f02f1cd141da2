"""The command line, ``python -m corvane``: summarise, check, merge, render
as a web page, compare and tabulate JUnit XML reports. One function per command; what
they print is made in summary_render, diff_render and html_report. Every
error names its file and none prints a traceback."""

from __future__ import annotations

import argparse
import sys
from typing import Callable, Iterator, Sequence

from corvane import diff_render, html_report, summary_render
from corvane._corvane import CorvaneError, Report
from corvane.diff import compare
from corvane.loader import loads
from corvane.many import map_in_threads
from corvane.results import Counts, count, failing, iter_cases, total
from corvane.table import cases_table, write_parquet

STDIN = "-"

# Exit statuses: 1 is the answer ("there were failures", "a file is
# invalid"), 2 means a file could not be read or understood at all.
EXIT_ANSWER = 1
EXIT_UNREADABLE = 2

# Files read in parallel before their reports are handed on.
LOAD_BATCH = 64


class FileProblem(Exception):
    """A file that could not be read or understood, with its display name."""

    def __init__(self, name: str, message: str) -> None:
        super().__init__(f"{name}: {message}")


def explain(exc: BaseException) -> str:
    """The exception's message with its notes (a malformed document's note
    says why and on which line and column), on one line."""
    notes = getattr(exc, "__notes__", None) or []
    return str(exc) + "".join(f" ({note})" for note in notes)


class FileProblems(FileProblem):
    """Every file of a command that could not be read or understood."""

    def __init__(self, problems: list[FileProblem]) -> None:
        Exception.__init__(self, *(str(problem) for problem in problems))
        self.problems = problems


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


def reader_of(paths: Sequence[str], stdin_used: list[bool]) -> Callable[[int], bytes]:
    """The bytes of the file at each position of `paths`, for reading them
    in parallel. Standard input is read here, once, for the first '-' (when
    `stdin_used` says it was not read yet); any other '-' meets the usual
    problem when its turn comes."""
    first = list(paths).index(STDIN) if STDIN in paths else -1
    stdin_data = read_bytes(STDIN, stdin_used) if first >= 0 and not stdin_used[0] else None

    def read(index: int) -> bytes:
        if paths[index] != STDIN:
            return read_bytes(paths[index], [False])
        if index == first and stdin_data is not None:
            return stdin_data
        return read_bytes(STDIN, [True])

    return read


def load_each(
    paths: Sequence[str], stdin_used: list[bool] | None = None
) -> Iterator[tuple[str, Report]]:
    """Each file read tolerantly, in order. The files are read in parallel,
    one thread per core, a batch at a time so that a command that keeps only
    counts never holds every report. When files fail, FileProblems names
    each of them."""
    read = reader_of(paths, [False] if stdin_used is None else stdin_used)

    def load_one(index: int) -> Report:
        data = read(index)
        try:
            return loads(data)
        except (CorvaneError, ValueError, TypeError) as exc:
            raise FileProblem(display_name(paths[index]), explain(exc)) from None

    problems: list[FileProblem] = []
    for start in range(0, len(paths), LOAD_BATCH):
        batch = paths[start : start + LOAD_BATCH]
        reports, errors = map_in_threads(load_one, range(start, start + len(batch)))
        for error in errors:
            if isinstance(error, FileProblem):
                problems.append(error)
            elif error is not None:
                raise error
        if not problems:
            for path, report in zip(batch, reports):
                assert report is not None  # every file of the batch was read
                yield display_name(path), report
    if problems:
        raise FileProblems(problems)


def run_summary(args: argparse.Namespace) -> int:
    loaded = list(load_each(args.files))
    rows = [(name, count(report)) for name, report in loaded]
    totals = Counts()
    for _, counts in rows:
        totals.add(counts)
    failing_tests = failing(iter_cases(loaded))
    if args.format == "json":
        text = summary_render.json_summary(rows, totals, failing_tests)
    elif args.format == "markdown":
        text = "\n".join(summary_render.markdown_summary(totals, failing_tests, args.max_failures))
    else:
        lines = summary_render.text_table(rows, totals)
        if args.failures:
            lines += summary_render.text_failures(failing_tests)
        text = "\n".join(lines)
    print(text)
    if not args.no_fail and (totals.failures or totals.errors):
        return EXIT_ANSWER
    return 0


def run_check(args: argparse.Namespace) -> int:
    status = 0
    read = reader_of(args.files, [False])

    def check_one(index: int) -> None:
        Report.from_xml(read(index))

    # The files are checked in parallel; the answers are printed in order.
    for start in range(0, len(args.files), LOAD_BATCH):
        batch = args.files[start : start + LOAD_BATCH]
        _, errors = map_in_threads(check_one, range(start, start + len(batch)))
        for path, error in zip(batch, errors):
            if isinstance(error, FileProblem):
                print(error, file=sys.stderr)
                status = max(status, EXIT_UNREADABLE)
            elif isinstance(error, (CorvaneError, ValueError)):
                print(f"{display_name(path)}: {explain(error)}")
                status = max(status, EXIT_ANSWER)
            elif error is not None:
                raise error
            else:
                print(f"{display_name(path)}: OK")
    return status

def run_merge(args: argparse.Namespace) -> int:
    loaded = list(load_each(args.files))
    name = args.name if args.name is not None else loaded[0][1].name
    merged = Report(name)
    for _, report in loaded:
        merged.add_test_suites(report.test_suites)
    write_output(args.output, merged.to_xml())
    return 0


def run_html(args: argparse.Namespace) -> int:
    write_output(args.output, html_report.render(list(load_each(args.files)), args.title))
    return 0


def run_diff(args: argparse.Namespace) -> int:
    # One pass over standard input, whichever side names it.
    stdin_used = [False]
    base = list(load_each(args.base, stdin_used))
    head = list(load_each(args.head, stdin_used))
    changes = compare(
        list(iter_cases(base)), list(iter_cases(head)), total(base), total(head),
        slowest=args.slowest, min_slowdown=args.min_slowdown, by_suite=not args.ignore_suite_names,
    )  # fmt: skip
    if args.format == "json":
        print(diff_render.json_diff(changes))
    elif args.format == "markdown":
        print("\n".join(diff_render.markdown_diff(changes, args.min_slowdown)))
    else:
        print("\n".join(diff_render.text_diff(changes, args.min_slowdown)))
    return EXIT_ANSWER if changes.new_failures else 0


def run_table(args: argparse.Namespace) -> int:
    fmt = args.format or ("csv" if args.output == STDIN or args.output.endswith(".csv") else "parquet")
    # Reports arrive a batch at a time (read in parallel) and each is dropped
    # once its rows are in the table.
    reports = (report for _, report in load_each(args.files))
    table = cases_table(reports, [display_name(path) for path in args.files], extras=args.extra)
    if fmt == "csv":
        if args.output == STDIN:
            table.write_csv(sys.stdout)
            return 0
        try:
            with open(args.output, "w", encoding="utf-8", newline="") as file:
                table.write_csv(file)
        except OSError as exc:
            raise FileProblem(args.output, exc.strerror or str(exc)) from None
        return 0
    try:
        write_parquet(table, sys.stdout.buffer if args.output == STDIN else args.output)
    except ImportError as exc:
        print(f"python -m corvane table: {exc}", file=sys.stderr)
        return EXIT_UNREADABLE
    except OSError as exc:
        raise FileProblem(args.output, exc.strerror or str(exc)) from None
    return 0


def write_output(path: str, text: str) -> None:
    """Write `text` to the file `path`, or to standard output for '-'."""
    if path == STDIN:
        sys.stdout.write(text)
        return
    try:
        with open(path, "w", encoding="utf-8", newline="") as file:
            file.write(text)
    except OSError as exc:
        raise FileProblem(path, exc.strerror or str(exc)) from None


def parser() -> argparse.ArgumentParser:
    top = argparse.ArgumentParser(
        prog="python -m corvane",
        description="Summarise, check, merge, render, compare and tabulate JUnit XML reports. "
        "FILE may be '-' for standard input.",
        epilog="Exit status: 0 on success, 1 for failing tests (summary), invalid files "
        "(check) or new failures (diff), 2 when a file cannot be read or understood at all.",
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
    summary.add_argument(
        "--format",
        choices=("text", "markdown", "json"),
        default="text",
        help="text: the table (default); markdown: the totals and a table of failing tests, "
        "for a CI job summary or a pull-request comment; json: per file, in total and every "
        "failing test",
    )
    summary.add_argument(
        "--failures",
        action="store_true",
        help="text: also list every failing test with its message, grouped by suite "
        "(markdown and json always list them)",
    )
    summary.add_argument(
        "--max-failures",
        type=int,
        default=100,
        metavar="N",
        help="markdown: list at most N failing tests (default 100, 0 for all)",
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

    html = commands.add_parser(
        "html",
        help="render reports as one self-contained web page",
        description="Read each report tolerantly and write one HTML page of them all: the "
        "totals, the failures and errors with their messages, stack traces and output, "
        "flaky tests, the slowest tests, and every suite with a search box and an outcome "
        "filter. The page needs no network and opens from disk.",
    )
    html.add_argument("files", nargs="+", metavar="FILE")
    html.add_argument(
        "-o", "--output", required=True, metavar="OUT", help="the page to write ('-': stdout)"
    )
    html.add_argument(
        "--title", help="the page's title (default: the report's name, for one file)"
    )
    html.set_defaults(run=run_html)

    diff = commands.add_parser(
        "diff",
        usage="python -m corvane diff [options] BASE... -- HEAD...",
        help="what changed between two runs",
        description="Compare a base run with a head run, each one or more reports, and "
        "print the new failures, fixed tests, tests still failing, added and removed tests "
        "and the largest slowdowns. Tests are matched by suite, class name and name; a name "
        "that occurs several times is matched in order of occurrence; a renamed suite's "
        "tests read as removed and added (see --ignore-suite-names). Exits with status 1 "
        "if there are new failures "
        "(a failing test that passed, was skipped or did not exist in the base run).",
    )
    diff.add_argument("base", nargs="+", metavar="BASE")
    diff.add_argument(
        "--head",
        nargs="+",
        required=True,
        metavar="HEAD",
        help="the head run's files; '--' before them says the same",
    )
    diff.add_argument(
        "--format",
        choices=("text", "markdown", "json"),
        default="text",
        help="text for a terminal (default), markdown for a CI job summary or a pull-request "
        "comment, json for machines",
    )
    diff.add_argument(
        "--ignore-suite-names",
        action="store_true",
        help="match tests by class name and name only (for runs that name their suites "
        "differently)",
    )
    diff.add_argument(
        "--slowest", type=int, default=10, metavar="N", help="list at most N slowdowns (default 10)"
    )
    diff.add_argument(
        "--min-slowdown",
        type=float,
        default=0.1,
        metavar="SECONDS",
        help="list only tests slower by at least this much (default 0.1)",
    )
    diff.set_defaults(run=run_diff)

    table = commands.add_parser(
        "table",
        help="every test case as a row of a Parquet or CSV table",
        description="Read each report tolerantly and write one table of all their test cases, "
        "one row each: source (the file), suite, classname, name, outcome, time (seconds), "
        "timestamp, suite_timestamp, message, type, flaky_runs, reruns, then one column per "
        "extra attribute (such as file and line). Parquet needs pyarrow "
        "(pip install \"corvane[parquet]\"); CSV needs nothing.",
    )
    table.add_argument("files", nargs="+", metavar="FILE")
    table.add_argument(
        "-o", "--output", required=True, metavar="OUT",
        help="the table to write ('-': stdout)",
    )  # fmt: skip
    table.add_argument(
        "--format",
        choices=("parquet", "csv"),
        help="default: csv when OUT ends in .csv or is '-', else parquet",
    )
    table.add_argument(
        "--extra",
        action="append",
        metavar="NAME",
        help="make a column of this extra attribute only (repeatable; default: every one, "
        "at most 64)",
    )
    table.set_defaults(run=run_table)
    return top


def head_separator(argv: list[str]) -> list[str]:
    """`diff BASE... -- HEAD...` as `diff BASE... --head HEAD...`: argparse
    would drop a bare '--' between two lists of files."""
    if argv[:1] == ["diff"] and "--" in argv:
        at = argv.index("--")
        return [*argv[:at], "--head", *argv[at + 1 :]]
    return argv


def main(argv: Sequence[str] | None = None) -> int:
    args = parser().parse_args(head_separator(list(sys.argv[1:] if argv is None else argv)))
    # Test names and messages may hold any character; a terminal that cannot
    # show one gets an escape rather than a traceback.
    if hasattr(sys.stdout, "reconfigure"):
        sys.stdout.reconfigure(errors="backslashreplace")
    try:
        return args.run(args)
    except FileProblem as problem:
        for each in getattr(problem, "problems", [problem]):
            print(f"python -m corvane {args.command}: {each}", file=sys.stderr)
        return EXIT_UNREADABLE
    except BrokenPipeError:
        return EXIT_UNREADABLE
