"""The `summary` command's outputs: the counts table and the failing tests
for a terminal, Markdown for a CI job summary or a pull-request comment, and
JSON for machines."""

from __future__ import annotations

import json
from itertools import groupby

from corvane.formatting import duration, indented, markdown_table, markdown_text
from corvane.results import CaseRef, Counts, headline

COLUMNS = ("suites", "tests", "passed", "failures", "errors", "skipped", "flaky", "time")
OUTCOME_WORDS = {"failed": "FAILED", "error": "ERROR"}


def format_row(name: str, counts: Counts, width: int) -> str:
    cells = [str(getattr(counts, column)) for column in COLUMNS[:-1]]
    cells.append(f"{counts.time:.3f}s")
    return f"{name:<{width}}" + "".join(f"{cell:>10}" for cell in cells)


def text_table(rows: list[tuple[str, Counts]], total: Counts) -> list[str]:
    width = max(len(name) for name in [*(name for name, _ in rows), "TOTAL", "FILE"]) + 2
    lines = [f"{'FILE':<{width}}" + "".join(f"{column:>10}" for column in COLUMNS)]
    lines += [format_row(name, counts, width) for name, counts in rows]
    if len(rows) > 1:
        lines.append(format_row("TOTAL", total, width))
    return lines


def text_failures(failing: list[CaseRef]) -> list[str]:
    """Every failing test with its whole message, grouped by suite."""
    if not failing:
        return ["", "No failing tests."]
    lines = ["", f"Failing tests: {len(failing)}"]
    for (file, suite), refs in groupby(failing, key=lambda ref: (ref.file, ref.suite)):
        lines += ["", f"{suite or '(unnamed suite)'}  ({file})"]
        for ref in refs:
            lines.append(f"  {OUTCOME_WORDS[ref.outcome]:<7}{ref.label}  ({duration(ref.time)})")
            status = ref.case.status
            message = status.message or headline(status)  # type: ignore[union-attr]
            lines += indented(message, "      ")
    return lines


def counts_dict(counts: Counts) -> dict[str, object]:
    return {**vars(counts), "time": round(counts.time, 6)}


def failure_dict(ref: CaseRef) -> dict[str, object]:
    status = ref.case.status
    return {
        "file": ref.file,
        "suite": ref.suite,
        "classname": ref.classname,
        "name": ref.name,
        "outcome": ref.outcome,
        "time": ref.time,
        "message": status.message,  # type: ignore[union-attr]
        "type": status.type,  # type: ignore[union-attr]
    }


def json_summary(rows: list[tuple[str, Counts]], total: Counts, failing: list[CaseRef]) -> str:
    document = {
        "files": [{"file": name, **counts_dict(counts)} for name, counts in rows],
        "total": counts_dict(total),
        "failing": [failure_dict(ref) for ref in failing],
    }
    return json.dumps(document, indent=2, ensure_ascii=False)


def verdict(counts: Counts) -> str:
    if counts.failures or counts.errors:
        errors = "error" if counts.errors == 1 else "errors"
        return f"{counts.failures} failed, {counts.errors} {errors} of {counts.tests} tests"
    if counts.skipped:
        return f"no failures in {counts.tests} tests ({counts.skipped} skipped)"
    return f"all {counts.tests} tests passed"


def markdown_summary(total: Counts, failing: list[CaseRef], limit: int) -> list[str]:
    lines = [f"### Test results: {verdict(total)}", ""]
    header = ["Tests", "Passed", "Failed", "Errors", "Skipped", "Flaky", "Time"]
    cells = [total.tests, total.passed, total.failures, total.errors, total.skipped, total.flaky]
    lines += markdown_table(header, [[*map(str, cells), duration(total.time)]], numeric=7)
    if failing:
        shown = failing if limit <= 0 else failing[:limit]
        rows = [
            [markdown_text(ref.suite), markdown_text(ref.label),
             markdown_text(headline(ref.case.status))]
            for ref in shown
        ]  # fmt: skip
        lines += ["", f"#### Failing tests ({len(failing)})", ""]
        lines += markdown_table(["Suite", "Test", "Message"], rows)
        if len(shown) < len(failing):
            lines += ["", f"... and {len(failing) - len(shown)} more failing tests."]
    return lines
