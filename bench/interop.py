"""Interoperability check against junitparser, a peer JUnit library: for
random reports drawn with the property tests' strategies, every document
to_xml writes must give junitparser the same numbers of tests, failures,
errors and skips that the report holds, both from the counting attributes
and from the outcome elements of each test case.

    pip install ".[test,bench]"
    python bench/interop.py [--examples N]

Exits non-zero on the first disagreement, printing the document.
"""

from __future__ import annotations

import argparse
import pathlib
import sys

from hypothesis import HealthCheck, given, settings

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))
from report_strategies import ANY_REPORTS, CLEAN_REPORTS  # noqa: E402

from corvane import Skipped  # noqa: E402

COUNTS = ("tests", "failures", "errors", "skipped")


def junitparser_counts(document: bytes) -> tuple[dict, dict]:
    """What junitparser reads: the root's counting attributes, and the
    counts made by walking every case's result elements."""
    import junitparser

    xml = junitparser.JUnitXml.fromstring(document)
    stated = {name: int(getattr(xml, name) or 0) for name in COUNTS}
    walked = dict.fromkeys(COUNTS, 0)
    for suite in xml:
        for case in suite:
            walked["tests"] += 1
            kinds = {type(result) for result in case.result}
            walked["failures"] += junitparser.Failure in kinds
            walked["errors"] += junitparser.Error in kinds
            walked["skipped"] += junitparser.Skipped in kinds
    return stated, walked


checked = 0


def check(report) -> None:
    global checked
    try:
        written = report.to_xml()
    except ValueError:
        return  # an extra key that cleaning made unwritable; nothing was written
    expected = {"tests": report.tests, "failures": report.failures, "errors": report.errors,
                "skipped": sum(isinstance(case.status, Skipped) for suite in report.test_suites
                               for case in suite.test_cases)}
    stated, walked = junitparser_counts(written.encode())
    if stated != expected or walked != expected:
        print(written, file=sys.stderr)
        raise AssertionError(f"report holds {expected}, junitparser read {stated} from the "
                             f"attributes and {walked} from the elements")
    checked += 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--examples", type=int, default=2_000,
                        help="random reports drawn per strategy (default 2000)")
    args = parser.parse_args()
    run_settings = settings(max_examples=args.examples, deadline=None, database=None,
                            suppress_health_check=list(HealthCheck))
    for name, strategy in (("clean texts", CLEAN_REPORTS), ("any texts", ANY_REPORTS)):
        before = checked
        run_settings(given(strategy)(check))()
        print(f"{name}: junitparser agreed on {checked - before} documents")
    return 0


if __name__ == "__main__":
    sys.exit(main())
