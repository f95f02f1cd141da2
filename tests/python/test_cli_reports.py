"""python -m corvane for people: summary --format/--failures, diff and html
(the page's data; the page itself is driven in test_html_browser.py)."""

import datetime
import json
import re
import subprocess
import sys
from pathlib import Path

import pytest

import corvane
from corvane import Failure, Skipped, Success
from corvane.cli import main
from corvane.html_report import page_data

REAL = Path(__file__).resolve().parents[1] / "data" / "real"
GTEST, SUREFIRE = str(REAL / "gtest.xml"), str(REAL / "surefire.xml")


def write_run(path, cases):
    """A report file of (suite, name, status, seconds) cases."""
    suites = {}
    for suite, name, status, seconds in cases:
        test = corvane.TestCase(name, status, classname="C",
                                time=datetime.timedelta(seconds=seconds))  # fmt: skip
        suites.setdefault(suite, corvane.TestSuite(suite)).add_test_case(test)
    report = corvane.Report(path.stem)
    report.add_test_suites(list(suites.values()))
    path.write_text(report.to_xml(), encoding="utf-8")
    return str(path)


def test_summary_markdown_and_json_on_real_documents(capsys):
    assert main(["summary", "--format", "markdown", GTEST, SUREFIRE]) == 1
    markdown = capsys.readouterr().out.splitlines()
    assert markdown[0] == "### Test results: 4 failed, 1 error of 13 tests"
    assert "| 13 | 5 | 4 | 1 | 3 | 1 | 0.076s |" in markdown
    assert markdown[markdown.index("#### Failing tests (5)") + 2 :] == [
        "| Suite | Test | Message |",
        "|---|---|---|",
        "| Arithmetic | FailsTwice | sample\\_test.cpp:10: Expected equality of these values: |",
        "| Arithmetic | SkipsAfterFailure | sample\\_test.cpp:15: Failed |",
        "| Values/Param | IsSmall/1 | sample\\_test.cpp:24: Expected: (GetParam()) \\< (2), actual: 2 vs 2 |",
        "| sample.SampleTest | fails | multiplication is off expected:\\<7\\> but was:\\<6\\> |",
        "| sample.SampleTest | throwsError | broken \\<state\\> \\& more |",
    ]  # fmt: skip
    assert main(["summary", "--format", "markdown", "--max-failures", "2", GTEST, SUREFIRE]) == 1
    assert capsys.readouterr().out.endswith("... and 3 more failing tests.\n")

    assert main(["summary", "--format", "json", "--no-fail", GTEST, SUREFIRE]) == 0
    document = json.loads(capsys.readouterr().out)
    assert [f["file"] for f in document["files"]] == [GTEST, SUREFIRE]
    assert document["total"] == {"suites": 4, "tests": 13, "passed": 5, "failures": 4,
                                 "errors": 1, "skipped": 3, "flaky": 1, "time": 0.076}  # fmt: skip
    assert document["failing"][-1] == {
        "file": SUREFIRE, "suite": "sample.SampleTest", "classname": "sample.SampleTest",
        "name": "throwsError", "outcome": "error", "time": 0.003,
        "message": "broken <state> & more", "type": "java.lang.IllegalStateException",
    }  # fmt: skip


def test_summary_failures_lists_messages_grouped_by_suite(capsys):
    assert main(["summary", "--failures", GTEST]) == 1
    out = capsys.readouterr().out
    listing = out[out.index("Failing tests: 3") :].splitlines()
    assert listing[2] == f"Arithmetic  ({GTEST})"
    assert listing[3] == "  FAILED FailsTwice  (0.000s)"
    assert listing[4:10] == ["      sample_test.cpp:10", "      Expected equality of these values:",
                             "        2 * 3", "          Which is: 6", "        7",
                             "      first check"]  # fmt: skip
    assert listing[-4:] == [f"Values/Param  ({GTEST})", "  FAILED IsSmall/1  (0.000s)",
                            "      sample_test.cpp:24",
                            "      Expected: (GetParam()) < (2), actual: 2 vs 2"]  # fmt: skip


@pytest.fixture
def runs(tmp_path):
    boom, ok = Failure("boom"), Success()
    base = write_run(tmp_path / "base.xml", [
        ("s", "steady", ok, 1.0), ("s", "breaks", ok, 0.1), ("s", "fixed", boom, 0.1),
        ("s", "still", Failure("old"), 0.1), ("s", "gone", ok, 0.1), ("s", "dup", boom, 0.1),
        ("s", "dup", ok, 0.1), ("s", "slower", ok, 0.1), ("s", "was skipped", Skipped(), 0),
    ])  # fmt: skip
    head = write_run(tmp_path / "head.xml", [
        ("s", "steady", ok, 1.05), ("s", "breaks", Failure("a | <b>\nmore"), 0.1),
        ("s", "fixed", ok, 0.1), ("s", "still", Failure("new"), 0.1), ("s", "dup", boom, 0.1),
        ("s", "dup", boom, 0.1), ("s", "slower", ok, 2.1), ("s", "was skipped", boom, 0),
        ("s", "new failing", boom, 0), ("s", "new passing", ok, 0),
    ])  # fmt: skip
    return base, head


def test_diff_sorts_every_change_and_gates_on_new_failures(runs, capsys):
    assert main(["diff", "--format", "json", runs[0], "--", runs[1]]) == 1
    document = json.loads(capsys.readouterr().out)
    names = {key: [c["name"] for c in value] for key, value in document.items()
             if isinstance(value, list)}  # fmt: skip
    assert names == {
        # Repeated names pair in order: the first "dup" still fails, the second broke.
        "new_failures": ["breaks", "dup", "was skipped", "new failing"],
        "fixed": ["fixed"],
        "still_failing": ["still", "dup"],
        "added": ["new failing", "new passing"],
        "removed": ["gone"],
        "slowdowns": ["slower"],  # "steady" is 0.05 s slower, under the 0.1 s default
    }
    assert document["still_failing"][0]["base"]["message"] == "old"
    assert document["still_failing"][0]["head"]["message"] == "new"
    assert document["slowdowns"][0]["slower_by"] == pytest.approx(2.0)
    assert document["head"]["failures"] == 6


@pytest.mark.parametrize(
    "form, expected",
    [
        ("text", ["New failures: 4", "  s :: C.breaks  [passed -> failed]", "      a | <b>",
                  "Slowdowns of 0.100s or more: 1"]),
        ("markdown", ["### Test changes: 4 new failures",
                      "| s | C.breaks | passed -\\> failed | a \\| \\<b\\> |",
                      "| s | C.new failing | failed (new test) | boom |",
                      "| s | C.slower | 0.100s | 2.100s | +2.000s |"]),
    ],
)  # fmt: skip
def test_diff_text_and_markdown(runs, capsys, form, expected):
    assert main(["diff", "--format", form, runs[0], "--head", runs[1]]) == 1
    lines = capsys.readouterr().out.splitlines()
    assert all(line in lines for line in expected), lines


def test_diff_of_real_runs_from_standard_input():
    result = subprocess.run(
        [sys.executable, "-m", "corvane", "diff", "-", "--", str(REAL / "pytest_xunit2.xml")],
        input=(REAL / "pytest_xunit1.xml").read_bytes(), capture_output=True, check=False,
    )  # fmt: skip
    assert result.returncode == 0, result.stderr
    out = result.stdout.decode()
    assert "New failures: 0" in out and "Still failing: 6" in out and "Added tests: 0" in out


def test_diff_can_match_across_suite_names(capsys):
    # The same pytest tests, written under the suite names "sample" and "pytest".
    base, head = str(REAL / "pytest_xunit2.xml"), str(REAL / "pytest_reruns.xml")
    assert main(["diff", "--format", "json", base, "--", head]) == 1
    assert len(json.loads(capsys.readouterr().out)["removed"]) == 11
    assert main(["diff", "--format", "json", "--ignore-suite-names", base, "--", head]) == 0
    document = json.loads(capsys.readouterr().out)
    assert [c["name"] for c in document["fixed"]] == ["test_flaky_passes_on_third_attempt"]
    assert [c["name"] for c in document["still_failing"]] == ["test_always_fails_with_retries"]
    assert (len(document["added"]), len(document["removed"])) == (0, 8)


HOSTILE = "<img src=x onerror=alert(1)></script><!--\u2028&amp;"


def test_html_embeds_data_that_cannot_end_its_script_element(tmp_path):
    hostile = tmp_path / "hostile.xml"
    write_run(hostile, [(HOSTILE, HOSTILE, Failure(HOSTILE), 1.5)])
    page = tmp_path / "page.html"
    assert main(["html", GTEST, SUREFIRE, str(hostile), "-o", str(page), "--title", HOSTILE]) == 0
    text = page.read_text(encoding="utf-8")
    block = re.search(r'<script type="application/json" id="report-data">(.*?)</script>', text, re.S)
    assert not re.search("[<>&\u2028\u2029]", block.group(1))
    data = json.loads(block.group(1))
    loaded = [(path, corvane.load(path)) for path in (GTEST, SUREFIRE, str(hostile))]
    expected = page_data(loaded, HOSTILE)
    assert {**data, "generated": None} == {**expected, "generated": None}
    assert data["suites"][-1]["name"] == HOSTILE and data["details"][-1]["message"] == HOSTILE
    assert data["totals"]["tests"] == 14 and len(data["failing"]) == 6
    # Everything outside the data block is the template, unchanged.
    assert text.count("<script") == 2 and "{{ data }}" not in text


def test_html_to_standard_output(capsys):
    assert main(["html", str(REAL / "node.xml"), "-o", "-"]) == 0
    assert capsys.readouterr().out.startswith("<!doctype html>")
