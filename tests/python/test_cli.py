"""python -m corvane: summary, check and merge, their exit statuses, standard
input, and errors that name the file without a traceback."""

import subprocess
import sys
from pathlib import Path

import pytest

import corvane
from corvane.cli import main

REAL = Path(__file__).resolve().parents[1] / "data" / "real"

PASSING = (
    '<testsuites name="ok"><testsuite name="s" time="1.5">'
    '<testcase name="a"/><testcase name="b"><flakyFailure/></testcase>'
    '<testcase name="c"><skipped/></testcase></testsuite></testsuites>'
)


def run(*args, stdin=b""):
    return subprocess.run(
        [sys.executable, "-m", "corvane", *map(str, args)],
        input=stdin,
        capture_output=True,
        check=False,
    )


def rows(text):
    """The summary table as {first cell: the other cells}."""
    return {line.split()[0]: line.split()[1:] for line in text.splitlines()[1:]}


def test_summary_counts_per_file_and_in_total(capsys):
    status = main(["summary", str(REAL / "gtest.xml"), str(REAL / "surefire.xml")])
    out = capsys.readouterr().out
    assert out.splitlines()[0].split() == [
        "FILE", "suites", "tests", "passed", "failures", "errors", "skipped", "flaky", "time",
    ]  # fmt: skip
    table = rows(out)
    # The disabled test did not run: skipped, not passed.
    assert table[str(REAL / "gtest.xml")][:7] == ["3", "8", "3", "3", "0", "2", "0"]
    assert table[str(REAL / "surefire.xml")][:7] == ["1", "5", "2", "1", "1", "1", "1"]
    assert table["TOTAL"][:7] == ["4", "13", "5", "4", "1", "3", "1"]
    assert status == 1


@pytest.mark.parametrize(
    "args, expected",
    [(["summary"], 0), (["summary", "--no-fail"], 0)],
)
def test_summary_exit_status_without_failures(tmp_path, capsys, args, expected):
    path = tmp_path / "ok.xml"
    path.write_text(PASSING)
    assert main([*args, str(path)]) == expected
    (row,) = rows(capsys.readouterr().out).values()
    # One file: no total line; the suite's time stands in for the report's.
    assert row == ["1", "3", "2", "0", "0", "1", "1", "1.500s"]


def test_crashed_script_is_red_in_summary_and_merge(tmp_path, capsys):
    # prove.xml: only passing tests, and a script that died.
    assert main(["summary", str(REAL / "prove.xml")]) == 1
    (row,) = rows(capsys.readouterr().out).values()
    assert row[:6] == ["2", "5", "4", "0", "1", "0"]
    out = tmp_path / "merged.xml"
    assert main(["merge", str(REAL / "prove.xml"), "-o", str(out)]) == 0
    merged = corvane.Report.from_xml(out.read_bytes())
    assert merged.errors == 1
    assert merged.test_suites[1].test_cases[2].name == "(suite error)"


def test_summary_no_fail_with_failures(capsys):
    assert main(["summary", "--no-fail", str(REAL / "node.xml")]) == 0


def test_check_reports_ok_or_the_strict_error(tmp_path, capsys):
    canonical = tmp_path / "canonical.xml"
    canonical.write_text(corvane.load(REAL / "gtest.xml").to_xml())
    malformed = tmp_path / "malformed.xml"
    malformed.write_text('<testsuites name="r">\n<testsuite name="s"></testcase>')
    status = main(["check", str(canonical), str(REAL / "gtest.xml"), str(REAL / "ctest.xml"),
                   str(malformed)])
    lines = capsys.readouterr().out.splitlines()
    assert lines[0] == f"{canonical}: OK"
    assert lines[1].startswith(f"{REAL / 'gtest.xml'}: at testsuites/@timestamp: invalid timestamp")
    # Followed, from Python 3.11 on, by the hint note that names corvane.load.
    assert lines[2].startswith(f"{REAL / 'ctest.xml'}: invalid structure: missing <testsuites> element")
    assert lines[3] == (f'{malformed}: at testsuites/testsuite[0]("s"): error parsing XML'
                        " (line 2, column 21: end tag </testcase> does not match <testsuite>)")
    assert status == 1


def test_check_all_valid(tmp_path, capsys):
    path = tmp_path / "ok.xml"
    path.write_text(PASSING)
    assert main(["check", str(path)]) == 0


def test_merge_keeps_suites_in_order(tmp_path):
    out = tmp_path / "merged.xml"
    sources = [REAL / "ctest.xml", REAL / "node.xml", REAL / "surefire.xml"]
    assert main(["merge", *map(str, sources), "-o", str(out), "--name", "all"]) == 0
    merged = corvane.Report.from_xml(out.read_bytes())
    assert merged.name == "all"
    expected = [s.name for path in sources for s in corvane.load(path).test_suites]
    assert [s.name for s in merged.test_suites] == expected
    assert merged.tests == sum(corvane.load(path).tests for path in sources)


def test_merge_default_name_and_stdout(capsys):
    assert main(["merge", str(REAL / "gtest.xml"), "-o", "-"]) == 0
    merged = corvane.Report.from_xml(capsys.readouterr().out)
    assert merged.name == "AllTests"


def extra_arguments(command, tmp_path):
    if command in ("merge", "html"):
        return ["-o", str(tmp_path / "out.xml")]
    return ["--", str(REAL / "gtest.xml")] if command == "diff" else []


@pytest.mark.parametrize("command", ["summary", "check", "merge", "html", "diff"])
def test_unreadable_file_is_named_without_traceback(tmp_path, command):
    missing = tmp_path / "missing.xml"
    extra = extra_arguments(command, tmp_path)
    result = run(command, missing, *extra)
    assert result.returncode == 2
    assert str(missing).encode() in result.stderr
    assert b"Traceback" not in result.stderr


@pytest.mark.parametrize("command", ["summary", "merge", "html", "diff"])
def test_document_not_understood_is_named_without_traceback(tmp_path, command):
    bad = tmp_path / "bad.xml"
    bad.write_text("<results/>")
    extra = extra_arguments(command, tmp_path)
    result = run(command, bad, *extra)
    assert result.returncode == 2
    assert result.stderr.decode().strip() == (
        f"python -m corvane {command}: {bad}: "
        "invalid structure: missing <testsuites> or <testsuite> element"
    )
    assert not (tmp_path / "out.xml").exists()


def test_standard_input():
    result = run("summary", "-", stdin=(REAL / "catch2.xml").read_bytes())
    assert result.returncode == 1
    assert rows(result.stdout.decode())["<stdin>"][:7] == ["1", "6", "3", "2", "1", "0", "0"]
    checked = run("check", "-", stdin=PASSING.encode())
    assert (checked.returncode, checked.stdout) == (0, b"<stdin>: OK\n")


def test_help_names_the_commands():
    result = run("--help")
    assert result.returncode == 0
    for command in (b"summary", b"check", b"merge", b"html", b"diff"):
        assert command in result.stdout


def test_every_file_not_understood_is_named(tmp_path):
    bad = [tmp_path / "a.xml", tmp_path / "b.xml"]
    for path in bad:
        path.write_text("<results/>")
    result = run("summary", bad[0], REAL / "gtest.xml", bad[1])
    assert result.returncode == 2
    assert result.stderr.decode().splitlines() == [
        f"python -m corvane summary: {path}: "
        "invalid structure: missing <testsuites> or <testsuite> element"
        for path in bad
    ]
