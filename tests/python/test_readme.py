"""The README's getting-started example runs as written and prints what it says."""

import contextlib
import io
import pathlib
import re

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"


def test_getting_started_example_runs(tmp_path, monkeypatch):
    text = README.read_text(encoding="utf-8")
    section = text.split("## Getting started", 1)[1]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    monkeypatch.chdir(tmp_path)
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        exec(compile(code, "README.md", "exec"), {})
    lines = out.getvalue().splitlines()
    assert lines[0] == "3 1 0"
    assert lines[1:4] == ["unit adds Success", "unit divides Failure", "unit later Skipped"]
    assert lines[4] == 'at testsuites/testsuite[0]("unit")/testcase[0]/@time: invalid duration: 1,5'
    assert "\x1b" not in (tmp_path / "report.xml").read_text(encoding="utf-8")
