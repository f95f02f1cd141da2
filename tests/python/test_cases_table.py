"""The test cases as a table: its columns and values as Arrow consumers read
them through __arrow_c_stream__, CSV, the argument rules, the command line's
`table`, and memory released on every path."""

import csv
import datetime as dt
import gc
import io
import os
import pathlib
import sys
import tracemalloc

import pytest

import corvane
from corvane import Error, Failure, NonSuccessKind, Report, Skipped, Success, cases_table
from corvane import TestCase as Case  # "Test" names would be collected by pytest
from corvane import TestRerun as Rerun
from corvane import TestSuite as Suite
from corvane.cli import main

pa = pytest.importorskip("pyarrow", reason="pyarrow is a test dependency (.[test])")

REAL = pathlib.Path(__file__).parent.parent / "data" / "real"
UTC = dt.timezone.utc
WHEN = dt.datetime(2024, 5, 6, 7, 8, 9, 123456, tzinfo=dt.timezone(dt.timedelta(hours=2)))
FLAKY = Rerun(NonSuccessKind.FAILURE, message="first try")


def sample_report() -> Report:
    suite = Suite("unit", timestamp=WHEN, test_cases=[
        Case("adds", Success(), classname="calc.T", time=dt.timedelta(milliseconds=250),
                 extra={"file": "calc.py", "line": "10"}),
        Case("retried", Success(flaky_runs=[FLAKY, FLAKY]), timestamp=WHEN,
                 extra={"line": "20", "source": "gen"}),
        Case("divides", Failure("1 / 0, \"boom\"", type="ZeroDivisionError",
                                    reruns=[FLAKY]), classname="calc.T"),
        Case("io", Error(None, type="OSError")),
        Case("later", Skipped(""), extra={"file": "later.py"}),
    ])
    report = Report("r")
    report.add_test_suite(suite)
    report.add_test_suite(Suite("empty"))
    return report


EXPECTED_TYPES = {
    "source": pa.string(), "suite": pa.string(), "classname": pa.string(), "name": pa.string(),
    "outcome": pa.dictionary(pa.int8(), pa.string()), "time": pa.float64(),
    "timestamp": pa.timestamp("us", tz="UTC"), "suite_timestamp": pa.timestamp("us", tz="UTC"),
    "message": pa.string(), "type": pa.string(), "flaky_runs": pa.int32(), "reruns": pa.int32(),
    # Extras in order of first appearance; one named like a fixed column is prefixed.
    "file": pa.string(), "line": pa.string(), "extra.source": pa.string(),
}
SUITE_TIME = WHEN.astimezone(UTC)
EXPECTED_ROWS = [
    ("x.xml", "unit", "calc.T", "adds", "passed", 0.25, None, SUITE_TIME, None, None, 0, 0,
     "calc.py", "10", None),
    ("x.xml", "unit", None, "retried", "flaky", None, SUITE_TIME, SUITE_TIME, None, None, 2, 0,
     None, "20", "gen"),
    ("x.xml", "unit", "calc.T", "divides", "failed", None, None, SUITE_TIME, '1 / 0, "boom"',
     "ZeroDivisionError", 0, 1, None, None, None),
    ("x.xml", "unit", None, "io", "error", None, None, SUITE_TIME, None, "OSError", 0, 0,
     None, None, None),
    ("x.xml", "unit", None, "later", "skipped", None, None, SUITE_TIME, "", None, 0, 0,
     "later.py", None, None),
]


def rows_of(table):
    arrow = pa.table(table)
    return [tuple(row.values()) for row in arrow.to_pylist()]


def test_columns_types_and_values():
    table = cases_table(sample_report(), "x.xml")
    arrow = pa.table(table)
    assert dict(zip(arrow.column_names, arrow.schema.types)) == EXPECTED_TYPES
    assert list(table.column_names) == list(EXPECTED_TYPES)
    assert table.num_rows == len(table) == 5
    assert rows_of(table) == EXPECTED_ROWS
    assert [f.name for f in arrow.schema if not f.nullable] == [
        "suite", "name", "outcome", "flaky_runs", "reruns"]
    assert repr(table) == "<CasesTable: 5 rows, 15 columns>"


def by_duckdb(cases):
    duckdb = pytest.importorskip("duckdb")
    return duckdb.sql("SELECT name, outcome, time, file FROM cases").fetchall()


def by_polars(table):
    polars = pytest.importorskip("polars")
    frame = polars.DataFrame(table)
    return list(frame.select("name", polars.col("outcome").cast(str), "time", "file").iter_rows())


@pytest.mark.parametrize("read", [by_duckdb, by_polars])
def test_other_consumers_read_the_same_rows(read):
    table = cases_table(sample_report(), "x.xml")
    assert read(table) == [(r[3], r[4], r[5], r[12]) for r in EXPECTED_ROWS]


def test_streams_are_independent_and_outlive_the_table():
    table = cases_table(sample_report())
    unread = table.__arrow_c_stream__()  # dropped unread: its capsule releases it
    first, second = pa.table(table), pa.RecordBatchReader.from_stream(table).read_all()
    del table, unread
    gc.collect()
    assert first.equals(second)
    assert first.column("name").to_pylist()[-1] == "later"
    assert first.column("source").null_count == 5


def test_several_reports_from_a_generator_with_sources():
    names = iter(["a.xml", None])
    table = cases_table((sample_report() for _ in range(2)), names, extras=["line", "absent"])
    assert table.column_names[12:] == ("line", "absent")
    arrow = pa.table(table)
    assert arrow.column("source").to_pylist() == ["a.xml"] * 5 + [None] * 5
    assert arrow.column("line").to_pylist() == ["10", "20", None, None, None] * 2
    assert arrow.column("absent").null_count == 10


def test_real_reports():
    files = sorted(REAL.glob("*.xml"))
    reports = [corvane.load(path) for path in files]
    arrow = pa.table(cases_table(reports, [path.name for path in files]))
    assert arrow.num_rows == sum(r.tests for r in reports)
    import pyarrow.compute as pc

    pytest_rows = arrow.filter(pc.equal(arrow["source"], "pytest_xunit1.xml"))
    assert None not in pytest_rows.column("file").to_pylist()
    assert set(arrow.column("outcome").to_pylist()) == {"passed", "flaky", "failed", "error",
                                                       "skipped"}


@pytest.mark.parametrize("call, error, text", [
    (lambda: cases_table([object()]), TypeError, "Report"),
    (lambda: cases_table(sample_report(), 1), TypeError, "str"),
    (lambda: cases_table([sample_report()], "a.xml"), TypeError, "one str or None per report"),
    (lambda: cases_table([sample_report()], []), ValueError, "fewer items"),
    (lambda: cases_table([sample_report()], ["a", "b"]), ValueError, "more items"),
    (lambda: cases_table(sample_report(), extras=[1]), TypeError, "str"),
    (lambda: cases_table(sample_report(), extras="file"), TypeError, "not a str"),
    (lambda: corvane.CasesTable([sample_report()], "a"), TypeError, "not a str"),
    (lambda: cases_table(too_many_extras()), ValueError,
     "more than 64 distinct extra attribute names"),
    (lambda: cases_table(failing_reports()), RuntimeError, "halfway"),
])
def test_refused_arguments(call, error, text):
    with pytest.raises(error, match=text):
        call()


def too_many_extras() -> Report:
    suite = Suite("s", test_cases=[
        Case(f"c{i}", Success(), extra={f"k{i}": "v"}) for i in range(65)])
    report = Report("r")
    report.add_test_suite(suite)
    return report


def failing_reports():
    yield sample_report()
    raise RuntimeError("halfway")


def test_csv():
    out = io.StringIO(newline="")
    cases_table(sample_report(), "x.xml", extras=["file"]).write_csv(out)
    text = out.getvalue()
    lines = text.split("\r\n")
    assert lines[0] == ("source,suite,classname,name,outcome,time,timestamp,suite_timestamp,"
                        "message,type,flaky_runs,reruns,file")
    assert lines[1] == "x.xml,unit,calc.T,adds,passed,0.25,,2024-05-06T05:08:09.123456Z,,,0,0,calc.py"
    # A null is an empty field, an empty text a quoted one.
    assert lines[5] == "x.xml,unit,,later,skipped,,,2024-05-06T05:08:09.123456Z,\"\",,0,0,later.py"
    assert list(csv.reader(io.StringIO(text)))[3][8] == '1 / 0, "boom"'
    assert lines[6:] == [""]


@pytest.mark.parametrize("fmt", ["csv", "parquet"])
def test_command_line_table(tmp_path, fmt, capsys):
    pytest.importorskip("pyarrow.parquet")
    out = tmp_path / f"cases.{fmt}"
    files = [str(REAL / "surefire.xml"), str(REAL / "pytest_reruns.xml")]
    assert main(["table", *files, "-o", str(out), "--extra", "file"]) == 0
    if fmt == "csv":
        import pyarrow.csv
        # An empty field is a null, a quoted empty one an empty text.
        read = pyarrow.csv.read_csv(out, convert_options=pyarrow.csv.ConvertOptions(
            strings_can_be_null=True, quoted_strings_can_be_null=False))
    else:
        import pyarrow.parquet
        read = pyarrow.parquet.read_table(out)
    expected = pa.table(cases_table([corvane.load(f) for f in files], files, extras=["file"]))
    assert read.column_names == expected.column_names
    for name in ("source", "name", "message"):
        assert read.column(name).to_pylist() == expected.column(name).to_pylist()


def test_memory_is_released():
    """Each round builds a table of about 1 MB and consumes or drops its
    stream: a buffer, stream or reference kept per round would grow the
    process by hundreds of megabytes, Python objects or the report's count."""
    report = Report("r")
    report.add_test_suite(Suite("s", test_cases=[
        Case("c" * 1000, Failure("m" * 1000)) for _ in range(500)]))

    def round_trip():
        table = cases_table(report)
        pa.table(table)
        table.__arrow_c_stream__()
        table.write_csv(io.StringIO())

    def resident() -> int:
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * 4096

    for _ in range(20):
        round_trip()
    gc.collect()
    refs, rss = sys.getrefcount(report), resident()
    tracemalloc.start()
    try:
        traced = tracemalloc.get_traced_memory()[0]
        for _ in range(300):
            round_trip()
        gc.collect()
        assert tracemalloc.get_traced_memory()[0] - traced < 100_000
    finally:
        tracemalloc.stop()
    # Under AddressSanitizer (scripts/sanitize-python) freed memory is held
    # in quarantine, so the resident set says nothing; its leak run checks
    # this test instead.
    if "asan" not in os.environ.get("LD_PRELOAD", ""):
        assert resident() - rss < 100 * 2**20
    assert sys.getrefcount(report) == refs
