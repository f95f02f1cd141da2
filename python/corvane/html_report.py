"""The `html` command's page: one self-contained file, the template
`report.html` beside this module with the run's data inlined as JSON.

The page's script draws everything from that data with text nodes only, so
no name, message or output is ever interpreted as markup. The JSON sits in a
`<script type="application/json">` element with `<`, `>`, `&` and the two
JavaScript line separators escaped, so no text in it can end the element.
"""

from __future__ import annotations

import datetime
import heapq
import json
from importlib import resources
from typing import Any

from corvane._corvane import Error, Failure, Success, TestRerun
from corvane.results import FAILING, Counts, Loaded, Status, headline, seconds, stated_time

TEMPLATE = "report.html"
DATA_MARKER = "{{ data }}"
SLOWEST = 20

# Outcomes as one letter each: 100,000 cases are 100,000 rows of data.
CODES = {"passed": "p", "flaky": "k", "failed": "f", "error": "e", "skipped": "s"}
FAILING_CODES = {CODES[name] for name in FAILING}


def _stamp(value: datetime.datetime | None) -> str | None:
    return None if value is None else value.isoformat(timespec="seconds")


def _attempts(status: Status) -> list[dict[str, Any]]:
    runs: tuple[TestRerun, ...] = ()
    if isinstance(status, Success):
        runs = status.flaky_runs
    elif isinstance(status, (Failure, Error)):
        runs = status.reruns
    return [
        {
            "kind": "error" if int(run.kind) else "failure",
            "time": seconds(run.time),
            "message": run.message,
            "type": run.type,
            "stackTrace": run.stack_trace,
            "description": run.description,
            "out": run.system_out,
            "err": run.system_err,
        }
        for run in runs
    ]


def _detail(suite: int, index: int, case: Any, code: str) -> dict[str, Any]:
    status = case.status
    detail: dict[str, Any] = {"suite": suite, "case": index, "headline": headline(status),
                              "out": case.system_out, "err": case.system_err,
                              "attempts": _attempts(status)}  # fmt: skip
    if code != "k":
        detail.update(message=status.message, type=status.type, description=status.description)
    if code in ("f", "e"):
        detail["rerunKind"] = "rerun" if int(status.rerun_kind) else "flaky"
    return detail


def page_data(loaded: Loaded, title: str | None = None) -> dict[str, Any]:
    """Everything the page shows, as JSON-ready values. Cases are rows
    `[class name, name, outcome code, seconds, detail index or -1]`; the
    details (messages, output, attempts) exist only for tests that did not
    simply pass, so a big green run stays small. One walk over the cases
    gathers all of it: the walk is most of the page's cost."""
    suites: list[dict[str, Any]] = []
    details: list[dict[str, Any]] = []
    failing: list[int] = []  # indexes into details
    sources = []
    totals = Counts()
    for file_index, (name, report) in enumerate(loaded):
        tally = dict.fromkeys(CODES.values(), 0)
        suite_times = []
        for suite in report.test_suites:
            suite_index = len(suites)
            rows = []
            case_times = 0.0
            for index, case in enumerate(suite.test_cases):
                status = case.status
                if isinstance(status, Success):
                    code = "k" if status.flaky_runs else "p"
                else:
                    kind = type(status)
                    code = "f" if kind is Failure else "e" if kind is Error else "s"
                tally[code] += 1
                delta = case.time
                time = None if delta is None else delta.total_seconds()
                if time:
                    case_times += time
                detail = -1
                if code != "p":
                    detail = len(details)
                    details.append(_detail(suite_index, index, case, code))
                    if code in FAILING_CODES:
                        failing.append(detail)
                rows.append([case.classname or "", case.name, code, time, detail])
            own_time = seconds(suite.time)
            suite_times.append((own_time, case_times))
            suites.append({"name": suite.name, "file": file_index, "time": own_time,
                           "cases": rows})  # fmt: skip
        counts = Counts(
            suites=len(report.test_suites), tests=sum(tally.values()),
            passed=tally["p"] + tally["k"], failures=tally["f"], errors=tally["e"],
            skipped=tally["s"], flaky=tally["k"],
            time=stated_time(seconds(report.time), suite_times),
        )  # fmt: skip
        totals.add(counts)
        sources.append({"file": name, "name": report.name, "timestamp": _stamp(report.timestamp),
                        "tests": counts.tests})  # fmt: skip
    slowest = heapq.nlargest(
        SLOWEST,
        ((s, i) for s, suite in enumerate(suites) for i, row in enumerate(suite["cases"]) if row[3]),
        key=lambda at: suites[at[0]]["cases"][at[1]][3],
    )
    return {
        "title": title or (loaded[0][1].name if len(loaded) == 1 else "") or "Test report",
        "generated": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
        "sources": sources,
        "totals": vars(totals),
        "failing": failing,
        "suites": suites,
        "details": details,
        "slowest": [list(at) for at in slowest],
    }


def script_json(data: Any) -> str:
    """JSON that can sit inside a script element whatever its strings hold.
    ASCII-only JSON already writes U+2028 and U+2029 as escapes; `<`, `>` and
    `&` occur only inside its strings, where the escapes mean the same."""
    text = json.dumps(data, ensure_ascii=True, separators=(",", ":"))
    return text.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")


def render(loaded: Loaded, title: str | None = None) -> str:
    template = resources.files("corvane").joinpath(TEMPLATE).read_text(encoding="utf-8")
    before, after = template.split(DATA_MARKER)
    return before + script_json(page_data(loaded, title)) + after

