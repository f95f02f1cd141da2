"""Property tests over random reports built from Python: what to_xml writes
is well-formed for independent XML parsers, its counts agree with its
elements, and reading it back and writing again gives the same text; and
over real runners' documents with text inserted: once read, a document
writes bytes that read and write back unchanged."""

import xml.etree.ElementTree as ET
from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from report_strategies import ANY_REPORTS, CLEAN_REPORTS

import corvane
from corvane._corvane import DeserializationError, Report

SETTINGS = settings(max_examples=100, deadline=None,
                    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])


def element_counts(root):
    """The counts of a document, from its elements alone."""
    totals = {"tests": 0, "failures": 0, "errors": 0, "skipped": 0}
    for suite in root.findall("testsuite"):
        cases = suite.findall("testcase")
        counts = {"tests": len(cases),
                  "failures": sum(c.find("failure") is not None for c in cases),
                  "errors": sum(c.find("error") is not None for c in cases),
                  "skipped": sum(c.find("skipped") is not None for c in cases)}
        assert {k: int(suite.get(k)) for k in counts} == counts
        for k in totals:
            totals[k] += counts[k]
    return totals


def check_document(report, written):
    root = ET.fromstring(written.encode())
    totals = element_counts(root)
    assert {k: int(root.get(k)) for k in totals} == totals
    assert (report.tests, report.failures, report.errors) == (
        totals["tests"], totals["failures"], totals["errors"])
    return root


@SETTINGS
@given(CLEAN_REPORTS)
def test_clean_reports_round_trip_exactly(report):
    written = report.to_xml()
    check_document(report, written)
    again = Report.from_xml(written)
    assert again.to_xml() == written
    assert again.name == report.name
    assert [s.name for s in again.test_suites] == [s.name for s in report.test_suites]


@SETTINGS
@given(ANY_REPORTS)
def test_any_report_writes_well_formed_xml_and_settles_after_one_read(report):
    try:
        written = report.to_xml()
    except ValueError as e:
        # An extra key that cleaning turned into a standard attribute name.
        assert "invalid extra attribute name" in str(e)
        return
    check_document(report, written)
    settled = Report.from_xml(written).to_xml()
    assert Report.from_xml(settled).to_xml() == settled
    # Reading only trims and drops; it never adds a suite or a case.
    assert element_counts(ET.fromstring(settled)) == element_counts(ET.fromstring(written))


@SETTINGS
@given(ANY_REPORTS)
def test_lxml_reads_every_written_document(report):
    etree = pytest.importorskip("lxml.etree")
    try:
        written = report.to_xml()
    except ValueError:
        return
    root = etree.fromstring(written.encode())
    assert root.tag == "testsuites"
    assert len(root.findall("testsuite/testcase")) == report.tests


# The canonical form of each real document (tests/data/real), which the
# strict reader accepts, and the places where inserted text lands at either
# end of text content or of an attribute value.
REAL_DOCUMENTS = [corvane.load(path).to_xml()
                  for path in sorted((Path(__file__).resolve().parents[1] / "data" / "real")
                                     .glob("*.xml"))]


def insertion_points(doc):
    points = []
    for i, c in enumerate(doc):
        if c == ">" and doc[i + 1:i + 2] != "\n":
            points.append(i + 1)
        elif c == "<" and doc[i - 1] not in " \n":
            points.append(i)
        elif c == '"':
            points.append(i + 1 if doc[i - 1] == "=" else i)
    return points


INSERTION_POINTS = [insertion_points(doc) for doc in REAL_DOCUMENTS]
# Mostly white space and what cleaning removes, the mix where the order of
# cleaning and trimming shows.
PIECES = [" ", "\t", "\n", "\u2003", "\xa0", "\x16", "\r", "\x1b[0m", "\x85", "\x1b]0;t\x07",
          "a", "é", "&amp;", "&#10;", "&#9;", "&#x1B;", "<x/>", "<![CDATA[ \t]]>"]


@settings(SETTINGS, max_examples=300)
@given(st.data())
def test_real_documents_with_text_inserted_read_the_same_after_one_write(data):
    index = data.draw(st.integers(0, len(REAL_DOCUMENTS) - 1))
    document = REAL_DOCUMENTS[index]
    points = data.draw(st.lists(st.sampled_from(INSERTION_POINTS[index]), min_size=1, max_size=6,
                                unique=True))
    for at in sorted(points, reverse=True):
        text = "".join(data.draw(st.lists(st.sampled_from(PIECES), min_size=1, max_size=6)))
        document = document[:at] + text + document[at:]
    try:
        written = Report.from_xml(document).to_xml()
    except DeserializationError:
        return
    assert Report.from_xml(written).to_xml() == written
