"""TestSuite: construction order, live counts, sharing, refusals, borrowing."""

import datetime
import inspect
import xml.etree.ElementTree as ElementTree

import lxml.etree
import pytest

import corvane

from corvane._corvane import (
    Error,
    Failure,
    Property,
    Report,
    Skipped,
    Success,
)
from corvane._corvane import TestCase as Case  # a "Test" name would be collected by pytest
from corvane._corvane import TestSuite as Suite

UTC = datetime.timezone.utc


def counts(suite):
    return suite.tests, suite.failures, suite.errors, suite.disabled


def test_defaults():
    suite = Suite("s")
    assert counts(suite) == (0, 0, 0, 0)
    assert (suite.test_cases, suite.properties, suite.extra) == ((), (), {})
    for attr in ("timestamp", "time", "system_out", "system_err"):
        assert getattr(suite, attr) is None
    assert str(inspect.signature(Suite)) == (
        "(name, *, timestamp=None, time=None, test_cases=Ellipsis, properties=Ellipsis, "
        "system_out=None, system_err=None, extra=None)"
    )
    assert Suite.add_test_cases.__text_signature__ == "($self, test_cases)"


def test_counts_follow_the_current_status_of_each_case():
    cases = [Case(str(i), s) for i, s in enumerate([Success(), Failure(), Error(), Skipped(), Failure()])]
    suite = Suite("s", test_cases=cases)
    assert counts(suite) == (5, 2, 1, 1)
    cases[0].status = Skipped()
    assert counts(suite) == (5, 2, 1, 2)
    cases[1].status = Error()
    assert counts(suite) == (5, 1, 2, 2)


def test_a_case_added_twice_counts_and_is_written_twice():
    case = Case("t", Failure())
    suite = Suite("s")
    suite.add_test_case(case)
    suite.add_test_case(case)
    assert counts(suite) == (2, 2, 0, 0)
    assert suite.test_cases[0] is suite.test_cases[1] is case
    report = Report("r")
    report.add_test_suite(suite)
    xml = report.to_xml()
    assert xml.count('<testcase name="t">') == 2
    assert '<testsuite name="s" tests="2" skipped="0" errors="0" failures="2">' in xml


@pytest.mark.parametrize(
    "kwargs, exc_type, message, note",
    [
        ({"test_cases": None}, TypeError, "'None' is not an instance of 'Sequence'", "test_cases"),
        ({"test_cases": Case("t", Success())}, TypeError, "'TestCase' object is not an instance of 'Sequence'", "test_cases"),
        ({"test_cases": [Property("a", "b")]}, TypeError, "'Property' object is not an instance of 'TestCase'", "test_cases"),
        ({"properties": "ab"}, TypeError, "Can't extract `str` to `Vec`", "properties"),
        ({"time": -datetime.timedelta(seconds=1)}, ValueError, None, "time"),
        ({"system_out": 1}, TypeError, "'int' object is not an instance of 'str'", "system_out"),
        ({"extra": ["a"]}, TypeError, "'list' object is not an instance of 'dict'", "extra"),
        ({"extra": {"a": "1", "b": 2}}, TypeError, "'int' object is not an instance of 'str'", None),
        ({"timestamp": datetime.datetime(2024, 1, 1)}, ValueError, "timestamp must be timezone-aware", None),
        # Parsing (with notes) comes before validation (without).
        ({"timestamp": 1, "extra": 5}, TypeError, "'int' object is not an instance of 'dict'", "extra"),
        ({"timestamp": 1, "extra": {1: "x"}}, TypeError, "timestamp must be a datetime.datetime instance", None),
    ],
)
def test_refusals(kwargs, exc_type, message, note, assert_note):
    with pytest.raises(exc_type) as excinfo:
        Suite("s", **kwargs)
    if message is not None:
        assert str(excinfo.value) == message
    if note is None:
        assert not hasattr(excinfo.value, "__notes__")
    else:
        assert_note(excinfo, note)


def test_sequences_of_any_kind_are_accepted():
    case = Case("t", Success())
    for sequence in ((case,), [case]):
        assert Suite("s", test_cases=sequence).test_cases == (case,)
    assert Suite("s", extra=None).extra == {}


def test_extra_setter_refuses_none_and_keeps_the_old_value(assert_note):
    suite = Suite("s", extra={"a": "1"})
    with pytest.raises(TypeError) as excinfo:
        suite.extra = None
    assert str(excinfo.value) == "'None' is not an instance of 'dict'"
    assert_note(excinfo, "value")
    assert suite.extra == {"a": "1"}
    suite.extra = {"b": "2"}
    assert suite.extra == {"b": "2"}


def test_reads_give_new_dicts_and_tuples_of_the_same_objects():
    p = Property("a", "b")
    case = Case("t", Success())
    suite = Suite("s", test_cases=[case], properties=[p], extra={"k": "v"})
    assert suite.extra == suite.extra and suite.extra is not suite.extra
    assert suite.test_cases == suite.test_cases
    assert suite.test_cases[0] is case and suite.properties[0] is p


def test_add_methods_append_in_order_or_not_at_all(assert_note):
    a, b, c = (Case(n, Success()) for n in "abc")
    suite = Suite("s", test_cases=[a])
    suite.add_test_cases([b, c])
    with pytest.raises(TypeError) as excinfo:
        suite.add_test_cases([a, None])
    assert_note(excinfo, "test_cases")
    with pytest.raises(TypeError, match="'TestSuite' object is not an instance of 'TestCase'") as excinfo:
        suite.add_test_case(suite)
    assert_note(excinfo, "test_case")
    assert suite.test_cases == (a, b, c)
    p = Property("k", "v")
    suite.add_property(p)
    suite.add_properties((p,))
    assert suite.properties == (p, p)


@pytest.mark.parametrize("attr", ["tests", "disabled", "failures", "errors", "test_cases", "properties"])
def test_read_only_attributes(attr):
    with pytest.raises(AttributeError):
        setattr(Suite("s"), attr, 1)


def test_writable_attributes_refuse_deletion():
    suite = Suite("s")
    for attr in ("name", "timestamp", "time", "system_out", "system_err", "extra"):
        with pytest.raises(AttributeError, match="^property has no deleter$"):
            delattr(suite, attr)


def test_disabled_in_the_document_is_not_the_suite_count():
    doc = ('<testsuites name="r"><testsuite name="s" disabled="3">'
           '<testcase name="t"/></testsuite></testsuites>')
    suite = Report.from_xml(doc).test_suites[0]
    assert counts(suite) == (1, 0, 0, 0)


NS = "urn:example"


@pytest.mark.parametrize("suite_extra, case_extra, refused", [
    ({"xmlns:xsi": NS, "xsi:noNamespaceSchemaLocation": "s.xsd"}, {}, None),  # Surefire's
    ({"xmlns:a": NS}, {"a:b": "v"}, None),
    ({}, {"xmlns:a": NS, "a:b": "v", "xml:lang": "en"}, None),
    ({}, {"a:b": "v"}, "a:b"),
    ({"a:b": "v"}, {"xmlns:a": NS}, "a:b"),
    ({"xmlns:a": ""}, {}, "xmlns:a"),
    ({"xmlns:a": NS}, {"a:b:c": "v"}, "a:b:c"),
])
def test_prefixed_extra_keys_are_written_only_where_namespace_aware_readers_take_them(
        suite_extra, case_extra, refused):
    suite = Suite("s", extra=suite_extra)
    suite.add_test_case(Case("c", Success(), extra=case_extra))
    report = Report("r")
    report.add_test_suite(suite)
    if refused is not None:
        with pytest.raises(ValueError, match=f"^invalid extra attribute name '{refused}' on "):
            report.to_xml()
        return
    text = report.to_xml()
    ElementTree.fromstring(text.encode())
    lxml.etree.fromstring(text.encode())
    assert Report.from_xml(text).to_xml() == text


def test_the_tolerant_reader_drops_keys_whose_prefix_is_not_declared():
    report = corvane.loads('<testsuites><testsuite name="s" xmlns:a="u" b:c="1">'
                           '<testcase name="c" a:d="2" e:f="3"/></testsuite></testsuites>')
    suite = report.test_suites[0]
    assert (suite.extra, suite.test_cases[0].extra) == ({"xmlns:a": "u"}, {"a:d": "2"})
