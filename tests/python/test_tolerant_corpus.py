"""corvane.load on the real corpus (tests/data/real/, made by the producers
themselves): suites, cases, outcomes, messages and attempts of each."""

from pathlib import Path

import pytest

import corvane
from corvane.cli import count

REAL = Path(__file__).resolve().parents[1] / "data" / "real"


def outcome(status):
    """'success', 'failure', 'error' or 'skipped', with '+N' for N attempts."""
    name = type(status).__name__.lower()
    attempts = ()
    if name == "success":
        attempts = status.flaky_runs
    elif name in ("failure", "error"):
        attempts = status.reruns
    return f"{name}+{len(attempts)}" if attempts else name


def outline(report):
    return [
        (suite.name, [(case.name, outcome(case.status)) for case in suite.test_cases])
        for suite in report.test_suites
    ]


def case(report, suite_name, case_name):
    (suite,) = [s for s in report.test_suites if s.name == suite_name]
    (found,) = [c for c in suite.test_cases if c.name == case_name]
    return found


PYTEST_CASES = [
    ("test_adds", "success"),
    ("test_fails", "failure"),
    ("test_prints_and_passes", "success"),
    ("test_errors_in_setup", "error"),
    ("test_skipped", "skipped"),
    ("test_expected_failure", "skipped"),
    ("test_parametrized[1]", "success"),
    ("test_parametrized[2]", "failure"),
    ("test_control_characters_in_output", "failure"),
    ("test_flaky_passes_on_third_attempt", "failure"),
    ("test_always_fails_with_retries", "failure"),
]

EXPECTED = {
    "pytest_xunit1.xml": ("pytest tests", [("sample", PYTEST_CASES)]),
    "pytest_xunit2.xml": ("pytest tests", [("sample", PYTEST_CASES)]),
    "pytest_reruns.xml": (
        "pytest tests",
        [
            (
                "pytest",
                [
                    ("test_adds", "success"),
                    ("test_flaky_passes_on_third_attempt", "success+2"),
                    ("test_always_fails_with_retries", "failure+3"),
                ],
            )
        ],
    ),
    "pytest_tabs.xml": (
        "pytest tests",
        [("tabs", [("test_prints_a_table", "success"), ("test_fails_with_tabs", "failure")])],
    ),
    "gtest.xml": (
        "AllTests",
        [
            (
                "Arithmetic",
                [
                    ("Adds", "success"),
                    ("FailsTwice", "failure"),
                    ("SkipsAfterFailure", "failure"),
                    ("Skips", "skipped"),
                    # Written with no outcome element, only status="notrun".
                    ("DISABLED_Disabled", "skipped"),
                ],
            ),
            ("Output", [("Prints", "success")]),
            ("Values/Param", [("IsSmall/0", "success"), ("IsSmall/1", "failure")]),
        ],
    ),
    "ctest.xml": (
        "(empty)",
        [
            (
                "(empty)",
                [
                    ("passes", "success"),
                    ("fails", "failure"),
                    ("skipped", "skipped"),
                    ("times_out", "failure"),
                    ("not_built", "skipped"),
                    ("control_chars", "success"),
                    ("disabled", "skipped"),
                ],
            )
        ],
    ),
    "catch2.xml": (
        "",
        [
            (
                "sample_test",
                [
                    ("adds", "success"),
                    ("fails twice", "failure"),
                    ("throws", "error"),
                    ("sections/first", "success"),
                    ("sections/second", "failure"),
                    ("prints", "success"),
                ],
            )
        ],
    ),
    "surefire.xml": (
        "sample.SampleTest",
        [
            (
                "sample.SampleTest",
                [
                    ("adds", "success"),
                    ("fails", "failure+2"),
                    ("throwsError", "error+2"),
                    ("passesOnSecondAttempt", "success+1"),
                    ("ignored", "skipped"),
                ],
            )
        ],
    ),
    "prove.xml": (
        "",
        [
            ("passes_t", [("1 - adds", "success"), ("2 - concatenates", "success")]),
            (
                "crashes_t",
                [
                    ("1 - starts", "success"),
                    ("2 - goes on", "success"),
                    # The script died: an <error> in the suite itself.
                    ("(suite error)", "error"),
                ],
            ),
        ],
    ),
    "xmlrunner.xml": (
        "",
        [
            (
                "test_sample.Arithmetic",
                [
                    # Run twice, passed twice.
                    ("test_adds", "success"),
                    ("test_adds", "success"),
                    ("test_prints", "success"),
                    ("test_fails", "failure"),
                    ("test_errors", "error"),
                    ("test_skipped", "skipped"),
                    ("test_expected_failure", "skipped"),
                ],
            ),
            ("unittest.suite._ErrorHolder", [("setUpClass (test_sample.BrokenSetUp)", "error")]),
        ],
    ),
    "nose2.xml": (
        "nose2-junit",
        [
            (
                "nose2-junit",
                [
                    ("test_adds", "success"),
                    ("test_errors", "error"),
                    ("test_expected_failure", "skipped"),
                    ("test_fails", "failure"),
                    ("test_prints", "success"),
                    ("test_skipped", "skipped"),
                    # nose2 splits "setUpClass (test_sample.BrokenSetUp)" at the dot.
                    ("BrokenSetUp)", "error"),
                ],
            )
        ],
    ),
    "node.xml": (
        "",
        [
            ("", [("top level passes", "success"), ("top level fails", "failure")]),
            ("outer", [("passes", "success"), ("is skipped", "skipped"), ("is todo", "skipped")]),
            ("outer/inner", [("throws", "failure"), ("passes too", "success")]),
            ("with subtests", [("sub passes", "success"), ("sub fails", "failure")]),
        ],
    ),
}


def test_every_corpus_file_is_checked():
    assert sorted(p.name for p in REAL.glob("*.xml")) == sorted(EXPECTED)


@pytest.mark.parametrize("name", sorted(EXPECTED))
def test_suites_cases_and_outcomes(name):
    report = corvane.load(REAL / name)
    report_name, suites = EXPECTED[name]
    assert report.name == report_name
    assert outline(report) == suites
    # Counts are the cases' own, whatever the document claimed.
    statuses = [c.status for s in report.test_suites for c in s.test_cases]
    assert report.tests == len(statuses)
    assert report.failures == sum(type(s).__name__ == "Failure" for s in statuses)
    assert report.errors == sum(type(s).__name__ == "Error" for s in statuses)


# What a person reading the runner's own console output counts, as
# (passed, failures, errors, skipped); `summary` counts the same.
CONSOLE_COUNTS = {
    # "Files=2, Tests=4", and crashes.t: "Dubious, test returned 2".
    "prove.xml": (4, 0, 1, 0),
    # "Ran 7 tests" (test_adds twice) "FAILED (failures=1, errors=2, skipped=1,
    # expected failures=1)"; one error is the class set-up's.
    "xmlrunner.xml": (3, 1, 2, 2),
    # "Ran 6 tests" "FAILED (failures=1, errors=2, skipped=1, expected failures=1)".
    "nose2.xml": (2, 1, 2, 2),
    # "PASSED 3 tests", "SKIPPED 1 test", "FAILED 3 tests", "1 DISABLED TEST".
    "gtest.xml": (3, 3, 0, 2),
    # "3 tests failed out of 6", "did not run: skipped, disabled". CTest's
    # console lists not_built among the failed ("Not Run"), but its document
    # writes it as skipped, which is what is read.
    "ctest.xml": (2, 2, 0, 3),
    # "1 failed, 2 passed, 5 rerun".
    "pytest_reruns.xml": (2, 1, 0, 0),
}


@pytest.mark.parametrize("name", sorted(CONSOLE_COUNTS))
def test_counts_are_the_runners_own(name):
    counts = count(corvane.load(REAL / name))
    assert (counts.passed, counts.failures, counts.errors, counts.skipped) == CONSOLE_COUNTS[name]


@pytest.mark.parametrize("name", sorted(EXPECTED))
def test_canonical_form_is_strictly_readable_and_stable(name):
    report = corvane.load(REAL / name)
    text = report.to_xml()
    assert corvane.Report.from_xml(text).to_xml() == text
    assert corvane.loads(text).to_xml() == text


@pytest.mark.parametrize("family", ["xunit1", "xunit2"])
def test_pytest_messages(family):
    report = corvane.load(REAL / f"pytest_{family}.xml")
    failed = case(report, "sample", "test_fails")
    assert failed.classname == "test_sample.TestArithmetic"
    assert failed.status.message == "AssertionError: multiplication is off\nassert (2 * 3) == 7"
    assert "E       AssertionError: multiplication is off" in failed.status.description
    errored = case(report, "sample", "test_errors_in_setup").status
    assert errored.message == 'failed on setup with "RuntimeError: fixture broke"'
    assert case(report, "sample", "test_skipped").status.message == "not on this machine"
    xfail = case(report, "sample", "test_expected_failure").status
    assert (xfail.type, xfail.message) == ("pytest.xfail", "known bug")
    # pytest writes the raw \x01 as the text "#x01"; the escape sequences
    # printed by the test never reach the report in either family.
    control = case(report, "sample", "test_control_characters_in_output").status
    assert control.message.startswith("AssertionError: raw #x01 in message")
    if family == "xunit1":
        assert set(failed.extra) == {"file", "line"}
    else:
        assert failed.extra == {}


def test_pytest_reruns_become_attempts():
    report = corvane.load(REAL / "pytest_reruns.xml")
    flaky = case(report, "pytest", "test_flaky_passes_on_third_attempt").status
    assert [run.kind for run in flaky.flaky_runs] == [corvane.NonSuccessKind.FAILURE] * 2
    failing = case(report, "pytest", "test_always_fails_with_retries").status
    assert failing.rerun_kind == corvane.RerunKind.RERUN
    assert failing.message == "ValueError: still broken"
    assert all(run.message is None for run in failing.reruns)


def test_pytest_tabs_survive():
    report = corvane.load(REAL / "pytest_tabs.xml")
    printed = case(report, "tabs", "test_prints_a_table").system_out
    assert printed.endswith("---\nname\tvalue\t42\nother\tvalue\t7")
    failed = case(report, "tabs", "test_fails_with_tabs")
    # pytest writes the message's tabs and line feeds as references.
    assert failed.status.message == (
        "AssertionError: expected\ta tab\nassert 'a\\tb' == 'a b'\n  \n  - a b\n  + a\tb")
    assert "E       AssertionError: expected\ta tab\n" in failed.status.description
    assert failed.system_err.endswith("\ncolumn\tto\tstderr")


def test_prove_crashed_script_keeps_why_and_its_output():
    report = corvane.load(REAL / "prove.xml")
    crashed = case(report, "crashes_t", "(suite error)")
    assert crashed.classname == "crashes_t"
    assert crashed.status.message == "Dubious, test returned 2 (wstat 512, 0x200)"
    # The script's TAP stream and prove's verdict, the only output there is.
    assert crashed.system_out == "1..3\nok 1 - starts\nok 2 - goes on"
    assert crashed.system_err == "Dubious, test returned 2 (wstat 512, 0x200)"


def test_not_run_tests_are_skipped_with_the_runners_reason():
    gtest = case(corvane.load(REAL / "gtest.xml"), "Arithmetic", "DISABLED_Disabled").status
    assert (gtest.message, gtest.type) == (None, None)
    ctest = case(corvane.load(REAL / "ctest.xml"), "(empty)", "disabled").status
    assert ctest.message == "Disabled"


def test_gtest_several_outcomes_and_naive_timestamps():
    report = corvane.load(REAL / "gtest.xml")
    twice = case(report, "Arithmetic", "FailsTwice").status
    assert twice.message == (
        "sample_test.cpp:10\nExpected equality of these values:\n  2 * 3\n"
        "    Which is: 6\n  7\nfirst check"
    )
    # The second failure is appended to the description, not lost; its text
    # repeats its message, so it appears once.
    assert twice.description.endswith(
        "\n\nfailure: sample_test.cpp:11\nValue of: false\n  Actual: false\nExpected: true\n"
        'second check with <markup> & "quotes"'
    )
    both = case(report, "Arithmetic", "SkipsAfterFailure").status
    assert both.message == "sample_test.cpp:15\nFailed\nfailed before skipping"
    assert both.description.endswith("skipped: sample_test.cpp:16\nskipped at run time")
    adds = case(report, "Arithmetic", "Adds")
    assert adds.timestamp.utcoffset().total_seconds() == 0
    assert adds.extra["status"] == "run"
    prints = case(report, "Output", "Prints")
    assert [(p.name, p.value) for p in prints.properties] == [("build", "42")]
    assert report.timestamp is not None


def test_ctest_bare_suite_and_control_characters():
    report = corvane.load(REAL / "ctest.xml")
    suite = report.test_suites[0]
    assert suite.time is not None
    fails = case(report, "(empty)", "fails")
    assert fails.status.message == "Failed"
    assert fails.system_out == "bad <value> & more\noops"
    assert case(report, "(empty)", "skipped").status.message == "SKIP_RETURN_CODE=77"
    assert case(report, "(empty)", "times_out").status.message == "Timeout"
    # CTest replaces raw control bytes by markers of its own, kept as text.
    control = case(report, "(empty)", "control_chars").system_out
    assert control == "bell[NON-XML-CHAR-0x7] esc[NON-XML-CHAR-0x1B][31mred[NON-XML-CHAR-0x1B][0m"


def test_catch2_several_failures_and_errors():
    report = corvane.load(REAL / "catch2.xml")
    twice = case(report, "sample_test", "fails twice").status
    assert (twice.type, twice.message) == ("CHECK", "2 * 3 == 7")
    assert 'failure: std::string("a<b") == "a&b"' in twice.description
    throws = case(report, "sample_test", "throws").status
    assert throws.type == "TEST_CASE"
    assert "unexpected exception" in throws.description
    prints = case(report, "sample_test", "prints")
    assert (prints.system_out, prints.system_err) == ("to stdout", "to stderr")
    assert report.test_suites[0].timestamp is not None


def test_node_nesting_loose_cases_and_control_characters():
    report = corvane.load(REAL / "node.xml")
    top = case(report, "", "top level fails")
    assert top.status.type == "testCodeFailure"
    assert top.status.message == "Expected values to be strictly equal:6 !== 7"
    throws = case(report, "outer/inner", "throws")
    assert throws.status.message == "boom  with control"
    assert "\x01" not in throws.status.description
    todo = case(report, "outer", "is todo").status
    assert (todo.type, todo.message) == ("todo", "later")


def test_surefire_bare_root_reruns_and_flaky_runs():
    report = corvane.load(REAL / "surefire.xml")
    suite = report.test_suites[0]
    assert suite.extra["xmlns:xsi"] == "http://www.w3.org/2001/XMLSchema-instance"
    assert {p.name for p in suite.properties} >= {"java.version", "os.name"}
    fails = case(report, "sample.SampleTest", "fails").status
    assert fails.rerun_kind == corvane.RerunKind.RERUN
    assert fails.message == "multiplication is off expected:<7> but was:<6>"
    assert [r.kind for r in fails.reruns] == [corvane.NonSuccessKind.FAILURE] * 2
    assert fails.reruns[0].stack_trace.startswith("java.lang.AssertionError: multiplication")
    errors = case(report, "sample.SampleTest", "throwsError").status
    assert errors.type == "java.lang.IllegalStateException"
    assert [r.kind for r in errors.reruns] == [corvane.NonSuccessKind.ERROR] * 2
    (flaky_run,) = case(report, "sample.SampleTest", "passesOnSecondAttempt").status.flaky_runs
    assert flaky_run.message == "not yet expected:<2> but was:<1>"
    assert flaky_run.system_out == "attempt 1"
    ignored = case(report, "sample.SampleTest", "ignored").status
    assert ignored.message == "not on this machine"
