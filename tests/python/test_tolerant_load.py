"""corvane.load / corvane.loads: the input forms of Python's json module, the
errors, and the separation from the strict module."""

import io
import pathlib
import pickle

import pytest

import corvane
import corvane._corvane
import corvane._tolerant

DOC = (
    '<testsuite name="s" tests="9"><testcase name="a" time="1,234.5"/>'
    '<testcase name="b"><failure message="m"/><failure message="n"/></testcase></testsuite>'
)


def check(report):
    assert report.name == "s"
    (suite,) = report.test_suites
    assert [c.name for c in suite.test_cases] == ["a", "b"]
    assert suite.tests == 2 and suite.failures == 1
    assert suite.test_cases[0].time.total_seconds() == 1234.5
    assert suite.test_cases[1].status.description == "failure: n"


@pytest.mark.parametrize(
    "make",
    [
        lambda p: str(p),
        lambda p: p,
        lambda p: io.BytesIO(p.read_bytes()),
        lambda p: io.StringIO(p.read_text(encoding="utf-8")),
    ],
    ids=["str path", "PathLike", "binary file", "text file"],
)
def test_load_accepts_paths_and_file_objects(tmp_path, make):
    path = tmp_path / "r.xml"
    path.write_text(DOC, encoding="utf-8")
    check(corvane.load(make(path)))


def test_load_reads_an_open_file(tmp_path):
    path = tmp_path / "r.xml"
    path.write_text(DOC, encoding="utf-8")
    with open(path, "rb") as binary, open(path, encoding="utf-8") as text:
        check(corvane.load(binary))
        check(corvane.load(text))


@pytest.mark.parametrize(
    "convert",
    [str, str.encode, lambda d: bytearray(d.encode()), lambda d: memoryview(d.encode())],
    ids=["str", "bytes", "bytearray", "memoryview"],
)
def test_loads_accepts_text_and_bytes(convert):
    check(corvane.loads(convert(DOC)))


@pytest.mark.parametrize("value", [None, 12, ["<testsuite/>"]])
def test_loads_refuses_other_types(value):
    with pytest.raises(TypeError, match="XML input must be str or bytes"):
        corvane.loads(value)


@pytest.mark.parametrize(
    "doc, message",
    [
        ("", "invalid structure: missing <testsuites> or <testsuite> element"),
        ("<testsuite name='s'><testcase name='c'>", 'at testsuites/testsuite[0]("s")/testcase[0]("c"): '
         "invalid structure: unexpected EOF in <testcase>"),
        ("<testsuites><testsuite name='a' name='b'/></testsuites>",
         "at testsuites/testsuite[0]: attribute error: position 19: duplicated attribute, "
         "previous declaration at position 10"),
    ],
)  # fmt: skip
def test_documents_not_understood_raise_with_the_path(doc, message):
    with pytest.raises(corvane.DeserializationError) as excinfo:
        corvane.loads(doc)
    assert str(excinfo.value) == message
    assert isinstance(excinfo.value, corvane.CorvaneError)


def test_load_missing_path_raises_oserror(tmp_path):
    with pytest.raises(FileNotFoundError):
        corvane.load(tmp_path / "missing.xml")


def test_invalid_utf8_is_repaired_not_refused():
    report = corvane.loads(b'<testsuite name="caf\xe9"><testcase name="\xff"/></testsuite>')
    assert report.name == "caf\ufffd"
    assert report.test_suites[0].test_cases[0].name == "\ufffd"


@pytest.mark.parametrize(
    "encoding, declared, name",
    [
        ("latin-1", "ISO-8859-1", "café"),
        ("cp1252", "windows-1252", "café €"),
        ("utf-8", "UTF-8", "café €"),
        # A declaration that cannot be true of bytes it was read from.
        ("utf-8", "UTF-16", "café €"),
        ("utf-8", "no-such-codec", "café €"),
    ],
)
def test_declared_encoding_of_bytes(encoding, declared, name):
    doc = f'<?xml version="1.0" encoding="{declared}"?>\n<testsuite name="{name}"/>'
    assert corvane.loads(doc.encode(encoding)).name == name


def test_error_quoting_bytes_that_are_not_utf8():
    with pytest.raises(corvane.DeserializationError) as excinfo:
        corvane.loads(b'<testsuite name="&\xff;"/>')
    assert str(excinfo.value) == (
        "at testsuites/testsuite[0]/@name: XML unescape error: at 1..2: "
        "unrecognized entity `\ufffd`"
    )


def test_canonical_xml_is_what_the_strict_reader_reads():
    canonical = corvane._tolerant.canonical_xml(DOC)
    assert isinstance(canonical, str)
    assert canonical.startswith('<?xml version="1.0" encoding="UTF-8"?>\n<testsuites name="s"')
    assert corvane.Report.from_xml(canonical).to_xml() == canonical
    # Strict reading of the original document refuses it.
    with pytest.raises(corvane.DeserializationError, match="missing <testsuites> element"):
        corvane.Report.from_xml(DOC)


REAL = sorted((pathlib.Path(__file__).parents[1] / "data" / "real").glob("*.xml"))
# Precision beyond what the writer keeps, in every place that has a time.
FINE_TIMES = (
    '<testsuite name="s" time="1.23456789" timestamp="2024-01-02T03:04:05.123456789+05:30">'
    '<testcase name="a" time="0.0015" timestamp="2024-01-02T03:04:05.9999Z">'
    '<failure message="m"/><rerunFailure time="2.0005" timestamp="2024-01-02T03:04:05.5555Z"/>'
    "</testcase></testsuite>"
)


@pytest.mark.parametrize("document", [path.read_bytes() for path in REAL] + [FINE_TIMES],
                         ids=[path.stem for path in REAL] + ["fine_times"])
def test_loads_gives_what_the_canonical_document_reads_as(document):
    # loads makes its objects without writing the canonical document; every
    # field must still be what reading that document gives.
    text = corvane.loader._decode_declared(document) if isinstance(document, bytes) else document
    expected = corvane.Report.from_xml(corvane._tolerant.canonical_xml(text))
    assert pickle.dumps(corvane.loads(document)) == pickle.dumps(expected)


def test_unwritable_extra_keys_are_dropped():
    report = corvane.loads('<testsuite name="s" ok="1" a&lt;b="2"><testcase name="c"/></testsuite>')
    assert report.test_suites[0].extra == {"ok": "1"}


def test_strict_module_gains_no_names():
    names = set(dir(corvane._corvane))
    assert not names & {"load", "loads", "canonical_xml"}
    assert "load" not in corvane._corvane.__all__ and "loads" not in corvane._corvane.__all__
    assert corvane.load.__module__ == corvane.loads.__module__ == "corvane.loader"
    assert corvane._tolerant.canonical_xml.__text_signature__ == "($module, xml, /)"
