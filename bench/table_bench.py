"""The case table at scale: `corvane.cases_table` handed to pyarrow, beside
the same table built with pandas from ElementTree, and the peak memory of
the export.

    pip install ".[bench]" && python bench/table_bench.py          # 1,000,000 test cases
    python bench/table_bench.py --sizes 20000 200000 --repeats 3

Rows (each a median of several runs in this process; garbage collected and
the result dropped outside the timed region):
  corvane cases_table + pyarrow.table (report)   the table from a Report read beforehand
  corvane from_xml + cases_table + pyarrow.table the same from the document's bytes
  pandas DataFrame from corvane objects          a Python walk of the Report into columns
  ElementTree + pandas DataFrame                 fromstring(bytes), a walk, then pandas
The peak memory row runs in a child process: a report is read, then the
growth of the peak resident set during the export is set beside the
exported table's own size (pyarrow's nbytes).
"""

from __future__ import annotations

import argparse
import datetime
import gc
import json
import statistics
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

import contenders
import dataset

import corvane

SOURCE = "report.xml"
FIXED = ["source", "suite", "classname", "name", "outcome", "time", "timestamp",
         "suite_timestamp", "message", "type", "flaky_runs", "reruns"]
OUTCOMES = ["passed", "flaky", "failed", "error", "skipped"]
CASE_ATTRIBUTES = {"name", "classname", "time", "timestamp", "assertions"}


def corvane_from_report(report):
    import pyarrow
    return pyarrow.table(corvane.cases_table(report, SOURCE))


def corvane_from_bytes(document: bytes):
    import pyarrow
    return pyarrow.table(corvane.cases_table(corvane.Report.from_xml(document), SOURCE))


class Columns:
    """Column lists with a column per extra name, nulls filled in for rows
    that lack it: what a careful pandas user builds."""

    def __init__(self):
        self.data = {name: [] for name in FIXED}
        self.rows = 0

    def add(self, values: dict, extra: dict) -> None:
        for name, value in values.items():
            self.data[name].append(value)
        for name, value in extra.items():
            column = self.data.get(name)
            if column is None:
                column = self.data[name] = [None] * self.rows
            column.append(value)
        self.rows += 1
        for column in self.data.values():
            if len(column) < self.rows:
                column.append(None)

    def frame(self):
        import pandas
        frame = pandas.DataFrame(self.data)
        frame["outcome"] = pandas.Categorical(frame["outcome"], categories=OUTCOMES)
        for name in ("timestamp", "suite_timestamp"):
            frame[name] = pandas.to_datetime(frame[name], utc=True, format="ISO8601")
        frame["time"] = frame["time"].astype("float64")
        return frame


def pandas_from_report(report):
    from corvane import Error, Failure, Skipped, Success
    columns = Columns()
    for suite in report.test_suites:
        suite_timestamp = suite.timestamp.isoformat() if suite.timestamp else None
        for case in suite.test_cases:
            status = case.status
            kind = type(status)
            flaky = len(status.flaky_runs) if kind is Success else 0
            reruns = len(status.reruns) if kind in (Failure, Error) else 0
            outcome = ("flaky" if flaky else "passed") if kind is Success else (
                "failed" if kind is Failure else "error" if kind is Error else "skipped")
            columns.add({
                "source": SOURCE, "suite": suite.name, "classname": case.classname,
                "name": case.name, "outcome": outcome,
                "time": case.time.total_seconds() if case.time else None,
                "timestamp": case.timestamp.isoformat() if case.timestamp else None,
                "suite_timestamp": suite_timestamp,
                "message": None if kind is Success else status.message,
                "type": None if kind is Success else status.type,
                "flaky_runs": flaky, "reruns": reruns,
            }, case.extra)
    return columns.frame()


def pandas_from_elementtree(document: bytes):
    columns = Columns()
    root = ET.fromstring(document)
    for suite in root.iter("testsuite"):
        suite_name, suite_timestamp = suite.get("name"), suite.get("timestamp")
        for case in suite.iter("testcase"):
            attributes = case.attrib
            outcome, message, kind, flaky, reruns = "passed", None, None, 0, 0
            for child in case:
                tag = child.tag
                if tag in ("failure", "error", "skipped"):
                    outcome = {"failure": "failed", "error": "error", "skipped": "skipped"}[tag]
                    message, kind = child.get("message"), child.get("type")
                elif tag in ("flakyFailure", "flakyError"):
                    flaky += 1
                elif tag in ("rerunFailure", "rerunError"):
                    reruns += 1
            if outcome == "passed" and flaky:
                outcome = "flaky"
            time_text = attributes.get("time")
            columns.add({
                "source": SOURCE, "suite": suite_name, "classname": attributes.get("classname"),
                "name": attributes.get("name"), "outcome": outcome,
                "time": float(time_text) if time_text is not None else None,
                "timestamp": attributes.get("timestamp"), "suite_timestamp": suite_timestamp,
                "message": message, "type": kind, "flaky_runs": flaky, "reruns": reruns,
            }, {k: v for k, v in attributes.items() if k not in CASE_ATTRIBUTES})
    return columns.frame()


ROWS = [
    ("corvane cases_table + pyarrow.table (report)", corvane_from_report, "report"),
    ("corvane from_xml + cases_table + pyarrow.table", corvane_from_bytes, "bytes"),
    ("pandas DataFrame from corvane objects", pandas_from_report, "report"),
    ("ElementTree + pandas DataFrame", pandas_from_elementtree, "bytes"),
]


def median_seconds(function, argument, repeats: int) -> float:
    times = []
    for _ in range(repeats):
        gc.collect()
        start = time.perf_counter()
        result = function(argument)
        times.append(time.perf_counter() - start)
        del result
    return statistics.median(times)


def document_of(size: int) -> bytes:
    return contenders.corvane_build(dataset.generate(size)).to_xml().encode()


def memory_child(size: int) -> None:
    """Peak resident growth while a read report is exported, and the size
    of the table exported."""
    import pyarrow
    report = corvane.Report.from_xml(document_of(size))
    # Warmed up on a small table, so loading pyarrow's own code and the first
    # use of its allocator are not counted as the export's.
    pyarrow.table(corvane.cases_table(corvane.Report.from_xml(document_of(100))))
    gc.collect()
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")
    before = _status_kib("VmRSS")
    table = pyarrow.table(corvane.cases_table(report, SOURCE))
    peak = _status_kib("VmHWM")
    print(json.dumps({"peak_growth": (peak - before) * 1024, "table_bytes": table.nbytes}))


def _status_kib(field: str) -> int:
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"{field} missing from /proc/self/status")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[1_000_000])
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--memory-child", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.memory_child:
        memory_child(args.memory_child)
        return
    import pandas  # noqa: F401  (imported before any run is timed)
    import pyarrow  # noqa: F401
    print(f"{'':<46} {'cases':>9} {'median s':>9} {'vs ET+pandas':>13}")
    for size in args.sizes:
        document = document_of(size)
        inputs = {"bytes": document, "report": corvane.Report.from_xml(document)}
        check = corvane_from_report(inputs["report"])
        assert check.num_rows == size and check.column_names[-2:] == ["file", "line"]
        del check
        seconds = {name: median_seconds(run, inputs[kind], args.repeats)
                   for name, run, kind in ROWS}
        baseline = seconds["ElementTree + pandas DataFrame"]
        for name, value in seconds.items():
            print(f"{name:<46} {size:>9,} {value:9.3f} {baseline / value:12.2f}x")
        del inputs, document
        completed = subprocess.run([sys.executable, __file__, "--memory-child", str(size)],
                                   check=True, capture_output=True, text=True)
        memory = json.loads(completed.stdout)
        print(f"{'peak growth of the export / table size':<46} {size:>9,} "
              f"{memory['peak_growth'] / 1e6:8.1f} MB / {memory['table_bytes'] / 1e6:.1f} MB "
              f"= {memory['peak_growth'] / memory['table_bytes']:.2f}")
    print(f"\n{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC, "
          f"load average {' '.join(f'{x:.2f}' for x in __import__('os').getloadavg())}")


if __name__ == "__main__":
    main()
