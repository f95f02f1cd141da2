"""The `diff` command's outputs: text for a terminal, Markdown for a CI job
summary or a pull-request comment, JSON for machines."""

from __future__ import annotations

import json

from corvane.diff import Change, RunDiff
from corvane.formatting import duration, indented, markdown_table, markdown_text
from corvane.results import CaseRef, Counts, headline

# (title, attribute of RunDiff), in the order people look for them.
SECTIONS = (
    ("New failures", "new_failures"),
    ("Fixed", "fixed"),
    ("Still failing", "still_failing"),
    ("Added tests", "added"),
    ("Removed tests", "removed"),
)


def counts_line(counts: Counts) -> str:
    return (
        f"tests {counts.tests}, failed {counts.failures}, errors {counts.errors}, "
        f"skipped {counts.skipped}, time {duration(counts.time)}"
    )


def test_name(ref: CaseRef) -> str:
    return f"{ref.suite} :: {ref.label}" if ref.suite else ref.label


def outcome_change(change: Change) -> str:
    if change.base is None:
        return f"{change.ref.outcome} (new test)"
    if change.head is None:
        return f"was {change.base.outcome}"
    if change.base.outcome == change.head.outcome:
        return change.head.outcome
    return f"{change.base.outcome} -> {change.head.outcome}"


def slowdown_cells(change: Change) -> tuple[str, str, str]:
    base, head = change.base, change.head
    return (duration(base.time if base else None), duration(head.time if head else None),
            f"+{change.slowdown:.3f}s")  # fmt: skip


def text_diff(diff: RunDiff, min_slowdown: float) -> list[str]:
    lines = [f"base: {counts_line(diff.base_counts)}", f"head: {counts_line(diff.head_counts)}"]
    for title, attribute in SECTIONS:
        changes: list[Change] = getattr(diff, attribute)
        lines += ["", f"{title}: {len(changes)}"]
        for change in changes:
            lines.append(f"  {test_name(change.ref)}  [{outcome_change(change)}]")
            if attribute in ("new_failures", "still_failing"):
                lines += indented(headline(change.ref.case.status), "      ")
    lines += ["", f"Slowdowns of {min_slowdown:.3f}s or more: {len(diff.slowdowns)}"]
    for change in diff.slowdowns:
        before, after, delta = slowdown_cells(change)
        lines.append(f"  {delta:>10}  {before} -> {after}  {test_name(change.ref)}")
    return lines


def markdown_diff(diff: RunDiff, min_slowdown: float) -> list[str]:
    new = len(diff.new_failures)
    verdict = f"{new} new failure{'' if new == 1 else 's'}" if new else "no new failures"
    lines = [f"### Test changes: {verdict}", ""]
    header = ["Run", "Tests", "Failed", "Errors", "Skipped", "Time"]
    rows = [
        [name, str(c.tests), str(c.failures), str(c.errors), str(c.skipped), duration(c.time)]
        for name, c in (("base", diff.base_counts), ("head", diff.head_counts))
    ]
    lines += markdown_table(header, rows, numeric=5)
    summary = ", ".join(f"{title.lower()}: {len(getattr(diff, a))}" for title, a in SECTIONS)
    lines += ["", markdown_text(summary[0].upper() + summary[1:]) + "."]
    for title, attribute in SECTIONS:
        changes: list[Change] = getattr(diff, attribute)
        if not changes:
            continue
        rows = [
            [markdown_text(c.ref.suite), markdown_text(c.ref.label),
             markdown_text(outcome_change(c)), markdown_text(headline(c.ref.case.status))]
            for c in changes
        ]  # fmt: skip
        lines += ["", f"#### {title} ({len(changes)})", ""]
        lines += markdown_table(["Suite", "Test", "Outcome", "Message"], rows)
    if diff.slowdowns:
        rows = [
            [markdown_text(c.ref.suite), markdown_text(c.ref.label), *slowdown_cells(c)]
            for c in diff.slowdowns
        ]
        lines += ["", f"#### Slowdowns of {min_slowdown:.3f}s or more ({len(rows)})", ""]
        lines += markdown_table(["Suite", "Test", "Base", "Head", "Slower by"], rows, numeric=3)
    return lines


def ref_dict(ref: CaseRef | None) -> dict[str, object] | None:
    if ref is None:
        return None
    return {"file": ref.file, "outcome": ref.outcome, "time": ref.time,
            "message": headline(ref.case.status) or None}  # fmt: skip


def change_dict(change: Change) -> dict[str, object]:
    ref = change.ref
    return {
        "suite": ref.suite,
        "classname": ref.classname,
        "name": ref.name,
        "base": ref_dict(change.base),
        "head": ref_dict(change.head),
    }


def json_diff(diff: RunDiff) -> str:
    document: dict[str, object] = {
        "base": {**vars(diff.base_counts)},
        "head": {**vars(diff.head_counts)},
    }
    for _, attribute in SECTIONS:
        document[attribute] = [change_dict(c) for c in getattr(diff, attribute)]
    document["slowdowns"] = [
        {**change_dict(c), "slower_by": round(c.slowdown, 6)} for c in diff.slowdowns
    ]
    return json.dumps(document, indent=2, ensure_ascii=False)
