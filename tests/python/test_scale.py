"""Many files on every core (load_many) and one document a suite at a time
(iter_suites): both must give what the one-document reads give, errors
included."""

import io
from pathlib import Path

import pytest

import corvane
from corvane.streaming import SuiteIterator

REAL = Path(__file__).resolve().parents[1] / "data" / "real"
REAL_FILES = sorted(REAL.glob("*.xml"))

# A malformed end tag lines down, past CR LF pairs a tiny window splits.
MALFORMED_LATE = (
    b'<testsuites name="r">\r\n<testsuite name="\xc3\xa9">\r\r\n\n'
    b'  <testcase name="\xc3\xbc"><failure>\n  x</testcase></testsuite></testsuites>'
)

# Documents whose suites cross window ends in every way when read with tiny
# windows: a BOM, a DOCTYPE whose comment holds "]>", wrappers, loose and
# nested tolerant suites, references, multi-byte text, and errors.
DOCUMENTS = [
    b'\xef\xbb\xbf<?xml version="1.0"?><!DOCTYPE x [<!-- ]> -->]>'
    b'<testsuites name="r\xc3\xa9"><!-- c --><w><testsuite name="a">'
    b'<testcase name="x"><failure message="m">tb &amp; \xe2\x82\xac</failure></testcase>'
    b'</testsuite></w><testsuite name="b"/></testsuites>',
    b'<testsuites name="r"><testcase name="loose"/><testsuite name="a">'
    b'<testsuite name="n"><testcase name="y"/></testsuite><testcase name="z"/></testsuite>'
    b'<testcase name="loose2"/></testsuites>',
    b'<testsuite name="root"><testsuite name="c"><testcase name="q"/></testsuite></testsuite>',
    b'<testsuites name="r"><testsuite name="a"><testcase name="x" time="1,5"/></testsuite>'
    b"</testsuites>",
    b'<testsuites name="r"><testsuite name="a"><testcase name="\xff"/></testsuite></testsuites>',
    b'<testsuites name="r"><testsuite name="a"><testcase name="x">',
    b"<results/>",
    MALFORMED_LATE,
] + [path.read_bytes() for path in REAL_FILES]


def outcome(read):
    """The report's fields and each suite as a document, or the error."""
    try:
        fields, suites = read()
    except (corvane.CorvaneError, ValueError) as exc:
        # With the malformed markup's place ("line L, column C: ...").
        places = [n for n in getattr(exc, "__notes__", []) if n.startswith("line ")]
        return type(exc), str(exc), places
    documents = []
    for suite in suites:
        holder = corvane.Report("holder")
        holder.add_test_suite(suite)
        documents.append(holder.to_xml())
    return (fields.name, fields.uuid, fields.timestamp, fields.time), documents


def whole(document, strict):
    report = corvane.Report.from_xml(document) if strict else corvane.loads(document)
    return report, report.test_suites


def streamed(document, strict, chunk):
    stream = SuiteIterator(io.BytesIO(document), strict=strict, _chunk=chunk)
    return stream, list(stream)


@pytest.mark.parametrize("strict", [True, False], ids=["strict", "tolerant"])
@pytest.mark.parametrize("index", range(len(DOCUMENTS)))
def test_iter_suites_reads_as_a_whole_read_does(index, strict):
    document = DOCUMENTS[index]
    expected = outcome(lambda: whole(document, strict))
    for chunk in (1, 3, 64, None):
        assert outcome(lambda: streamed(document, strict, chunk)) == expected, chunk
    if document is MALFORMED_LATE and strict:
        assert expected[2] == ["line 6, column 4: end tag </testcase> does not match <failure>"]


@pytest.mark.parametrize("strict", [True, False], ids=["strict", "tolerant"])
def test_iter_suites_from_a_path_or_a_text_file(tmp_path, strict):
    path = REAL / "gtest.xml"
    expected = outcome(lambda: whole(path.read_bytes(), strict))
    assert outcome(lambda: streamed_source(path, strict)) == expected
    with open(path, encoding="utf-8") as text:
        assert outcome(lambda: streamed_source(text, strict)) == expected
        assert not text.closed


def streamed_source(source, strict):
    with corvane.iter_suites(source, strict=strict) as stream:
        return stream, list(stream)


def test_iter_suites_refuses_a_later_root_once_suites_are_out():
    # A whole read keeps only the later root's suites; suites handed out
    # cannot be taken back.
    document = b'<testsuites name="r"><testsuite name="a"/><testsuites name="b"/></testsuites>'
    stream = SuiteIterator(io.BytesIO(document), strict=True)
    assert next(stream).name == "a"
    with pytest.raises(corvane.DeserializationError, match="second <testsuites>"):
        next(stream)


def write_files(tmp_path):
    paths = []
    for index, source in enumerate(REAL_FILES):
        path = tmp_path / f"{index}.xml"
        path.write_bytes(source.read_bytes())
        paths.append(path)
    return paths


@pytest.mark.parametrize("workers", [1, 2, 5])
@pytest.mark.parametrize("strict", [True, False], ids=["strict", "tolerant"])
def test_load_many_gives_each_report_in_order(tmp_path, workers, strict):
    paths = write_files(tmp_path) * 3
    read = corvane.Report.read_xml if strict else corvane.load
    expected = []
    for path in paths:
        with open(path, "rb") as file:
            expected.append(outcome(lambda: (lambda r: (r, r.test_suites))(read(file))))
    if any(isinstance(e[0], type) for e in expected):
        with pytest.raises(corvane.LoadManyError):
            corvane.load_many(paths, workers=workers, strict=strict)
        return
    reports = corvane.load_many(paths, workers=workers, strict=strict)
    assert [outcome(lambda: (r, r.test_suites)) for r in reports] == expected


def test_load_many_names_every_failed_file_and_keeps_the_rest(tmp_path):
    good = tmp_path / "good.xml"
    good.write_bytes((REAL / "gtest.xml").read_bytes())
    bad = tmp_path / "bad.xml"
    bad.write_text("<results/>")
    missing = tmp_path / "missing.xml"
    with pytest.raises(corvane.LoadManyError) as caught:
        corvane.load_many([bad, good, missing, good], workers=2)
    error = caught.value
    assert isinstance(error, corvane.CorvaneError)
    assert [path for path, _ in error.failures] == [bad, missing]
    assert isinstance(error.failures[1][1], FileNotFoundError)
    assert str(error).splitlines() == [
        "2 of 4 files could not be read:",
        f"{bad}: invalid structure: missing <testsuites> or <testsuite> element",
        f"{missing}: {error.failures[1][1]}",
    ]
    assert error.reports[0] is None and error.reports[2] is None
    assert [r.name for r in (error.reports[1], error.reports[3])] == ["AllTests", "AllTests"]
    with pytest.raises(ValueError, match="at least 1"):
        corvane.load_many([good], workers=0)
