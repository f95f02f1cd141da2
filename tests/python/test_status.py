"""Success, Failure, Error and Skipped: construction, attributes, reruns, borrowing."""


import pytest

from corvane._corvane import Error, Failure, NonSuccessKind, RerunKind, Report, Skipped, Success
from corvane._corvane import TestCase as Case  # "Test" names would be collected by pytest
from corvane._corvane import TestSuite as Suite
from corvane._corvane import TestRerun as Rerun  # a "Test" name would be collected by pytest

NON_SUCCESS = [(Failure, NonSuccessKind.FAILURE), (Error, NonSuccessKind.ERROR)]
TEXT_HOLDERS = [Failure, Error, Skipped]
# (class, name of its rerun list)
RERUN_HOLDERS = [(Success, "flaky_runs"), (Failure, "reruns"), (Error, "reruns")]


def rerun(kind=NonSuccessKind.FAILURE):
    return Rerun(kind)


@pytest.mark.parametrize("cls, kind", NON_SUCCESS)
def test_non_success_defaults(cls, kind):
    status = cls()
    assert (status.message, status.type, status.description) == (None, None, None)
    assert status.reruns == ()
    assert status.kind is kind
    assert status.rerun_kind is RerunKind.RERUN


def test_success_and_skipped_defaults():
    assert Success().flaky_runs == ()
    s = Skipped()
    assert (s.message, s.type, s.description) == (None, None, None)


@pytest.mark.parametrize(
    "cls, signature",
    [
        (Success, "(*, flaky_runs=...)"),
        (Failure, "(message=None, *, type=None, description=None, reruns=..., rerun_kind=...)"),
        (Error, "(message=None, *, type=None, description=None, reruns=..., rerun_kind=...)"),
        (Skipped, "(message=None, *, type=None, description=None)"),
    ],
)
def test_docstrings_are_the_signatures(cls, signature):
    assert cls.__doc__ == ""
    assert cls.__text_signature__ == signature
    if cls is not Skipped:
        assert cls.add_rerun.__text_signature__ == "($self, rerun)"
        assert cls.add_reruns.__text_signature__ == "($self, reruns)"


@pytest.mark.parametrize("cls", TEXT_HOLDERS)
def test_texts_by_position_and_keyword(cls):
    status = cls("m", type="T", description="d")
    assert (status.message, status.type, status.description) == ("m", "T", "d")
    with pytest.raises(TypeError, match=r"takes from 0 to 1 positional arguments but 2 were given$"):
        cls("m", "T")


@pytest.mark.parametrize(
    "cls, kwargs, parameter, message",
    [
        (Success, {"flaky_runs": None}, "flaky_runs", "'None' is not an instance of 'Sequence'"),
        (Success, {"flaky_runs": "ab"}, "flaky_runs", "Can't extract `str` to `Vec`"),
        (Success, {"flaky_runs": [1]}, "flaky_runs", "'int' object is not an instance of 'TestRerun'"),
        (Failure, {"reruns": None}, "reruns", "'None' is not an instance of 'Sequence'"),
        (Failure, {"reruns": {rerun()}}, "reruns", "'set' object is not an instance of 'Sequence'"),
        (Error, {"reruns": (rerun(), NonSuccessKind.ERROR)}, "reruns", "'NonSuccessKind' object is not an instance of 'TestRerun'"),
        (Failure, {"rerun_kind": None}, "rerun_kind", "'None' is not an instance of 'RerunKind'"),
        (Failure, {"rerun_kind": 1}, "rerun_kind", "'int' object is not an instance of 'RerunKind'"),
        (Error, {"rerun_kind": NonSuccessKind.ERROR}, "rerun_kind", "'NonSuccessKind' object is not an instance of 'RerunKind'"),
        (Failure, {"message": 1}, "message", "'int' object is not an instance of 'str'"),
        (Error, {"type": b"T"}, "type", "'bytes' object is not an instance of 'str'"),
        (Skipped, {"description": 1.0}, "description", "'float' object is not an instance of 'str'"),
        # Signature order decides which refusal is reported.
        (Failure, {"rerun_kind": None, "reruns": None, "description": 1}, "description", "'int' object is not an instance of 'str'"),
        (Error, {"rerun_kind": None, "reruns": None}, "reruns", "'None' is not an instance of 'Sequence'"),
        (Skipped, {"description": 1, "message": 2}, "message", "'int' object is not an instance of 'str'"),
    ],
)
def test_refused_arguments(cls, kwargs, parameter, message, assert_note):
    with pytest.raises(TypeError) as excinfo:
        cls(**kwargs)
    assert str(excinfo.value) == message
    assert_note(excinfo, parameter)


def test_empty_sequences_and_shared_reruns():
    r1, r2 = rerun(), rerun(NonSuccessKind.ERROR)
    assert Success(flaky_runs=[]).flaky_runs == ()
    f = Failure(reruns=[r1, r2, r1], rerun_kind=RerunKind.FLAKY)
    assert f.rerun_kind is RerunKind.FLAKY
    assert len(f.reruns) == 3
    assert all(a is b for a, b in zip(f.reruns, (r1, r2, r1)))
    # Later changes to a shared rerun show through every holder.
    s = Success(flaky_runs=(r1,))
    r1.message = "changed"
    assert f.reruns[0].message == s.flaky_runs[0].message == "changed"


@pytest.mark.parametrize("cls, attr", RERUN_HOLDERS)
def test_add_rerun_appends_the_object(cls, attr, assert_note):
    status = cls()
    r = rerun(NonSuccessKind.ERROR)
    assert status.add_rerun(r) is None
    assert status.add_rerun(rerun=r) is None
    assert getattr(status, attr) == (r, r)
    assert getattr(status, attr)[0] is r
    assert getattr(status, attr) is not getattr(status, attr)
    with pytest.raises(TypeError) as excinfo:
        status.add_rerun(None)
    assert str(excinfo.value) == "'None' is not an instance of 'TestRerun'"
    assert_note(excinfo, "rerun")
    assert len(getattr(status, attr)) == 2


@pytest.mark.parametrize("cls, attr", RERUN_HOLDERS)
def test_add_reruns_is_all_or_nothing(cls, attr, assert_note):
    first = rerun()
    status = cls(**{attr: [first]})
    more = [rerun(), rerun(NonSuccessKind.ERROR)]
    assert status.add_reruns(more) is None
    assert getattr(status, attr) == (first, *more)
    with pytest.raises(TypeError) as excinfo:
        status.add_reruns([rerun(), "not a rerun"])
    assert str(excinfo.value) == "'str' object is not an instance of 'TestRerun'"
    assert_note(excinfo, "reruns")
    with pytest.raises(TypeError) as excinfo:
        status.add_reruns(x for x in more)
    assert str(excinfo.value) == "'generator' object is not an instance of 'Sequence'"
    assert getattr(status, attr) == (first, *more)


@pytest.mark.parametrize("cls", TEXT_HOLDERS)
@pytest.mark.parametrize("name", ["message", "type", "description"])
def test_text_attributes(cls, name, assert_note):
    status = cls(**{name: "\x1b[32mgreen\x1b[0m text\x01"})
    assert getattr(status, name) == "green text"
    setattr(status, name, "new\x1b[Kvalue")
    assert getattr(status, name) == "newvalue"
    with pytest.raises(TypeError) as excinfo:
        setattr(status, name, ["x"])
    assert str(excinfo.value) == "'list' object is not an instance of 'str'"
    assert_note(excinfo, "value")
    assert getattr(status, name) == "newvalue"
    setattr(status, name, None)
    assert getattr(status, name) is None
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        delattr(status, name)


@pytest.mark.parametrize("cls, kind", NON_SUCCESS)
def test_rerun_kind_and_kind_attributes(cls, kind, assert_note):
    f = cls(rerun_kind=RerunKind.FLAKY)
    f.rerun_kind = RerunKind.RERUN
    assert f.rerun_kind is RerunKind.RERUN
    for bad in (None, 0, NonSuccessKind.FAILURE):
        with pytest.raises(TypeError) as excinfo:
            f.rerun_kind = bad
        assert_note(excinfo, "value")
    assert f.rerun_kind is RerunKind.RERUN
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        del f.rerun_kind
    with pytest.raises(AttributeError):
        f.kind = kind
    with pytest.raises(AttributeError):
        f.reruns = ()
    with pytest.raises(AttributeError):
        Success().flaky_runs = ()
    assert f.kind is kind


# --- Writing and reading -----------------------------------------------------


def report_of(status):
    report = Report("r")
    report.add_test_suite(Suite("s", test_cases=[Case("c", status)]))
    return report


def written_case(status):
    """The lines inside the one test case element written for `status`."""
    lines = [line.strip() for line in report_of(status).to_xml().splitlines()]
    return lines[lines.index('<testcase name="c">') + 1 : lines.index("</testcase>")]


def element_names(lines):
    """The names of the elements that start on these lines."""
    return [line[1:].split(" ")[0].split(">")[0].rstrip("/") for line in lines if line[:2] not in ("</", "")]


def round_trip(status):
    return Report.from_xml(report_of(status).to_xml())


@pytest.mark.parametrize(
    "status, names",
    [
        (Success(flaky_runs=[rerun(NonSuccessKind.ERROR)]), ["flakyError"]),
        (Success(flaky_runs=[rerun(), rerun(NonSuccessKind.ERROR)]), ["flakyFailure", "flakyError"]),
        (Failure(reruns=[rerun(), rerun(NonSuccessKind.ERROR)]), ["failure", "rerunFailure", "rerunError"]),
        (Failure(reruns=[rerun(), rerun(NonSuccessKind.ERROR)], rerun_kind=RerunKind.FLAKY),
         ["failure", "flakyFailure", "flakyError"]),
        (Error(reruns=[rerun(NonSuccessKind.ERROR)]), ["error", "rerunError"]),
        (Skipped("why"), ["skipped"]),
    ],
    ids=["success-error", "success-both", "failure-rerun", "failure-flaky", "error-rerun", "skipped"],
)
def test_written_elements(status, names):
    assert element_names(written_case(status)) == names


def test_texts_written_and_read_back_sanitised():
    status = Failure("\x1b[31mred\x1b[0m", type="T\x0b", description="  body  ")
    lines = written_case(status)
    assert lines[0] == '<failure message="red" type="T">  body  </failure>'
    back = round_trip(status).test_suites[0].test_cases[0].status
    assert (back.message, back.type, back.description) == ("red", "T", "body")


@pytest.mark.parametrize(
    "status",
    [
        Success(flaky_runs=[rerun(), rerun(NonSuccessKind.ERROR)]),
        Failure("m", type="T", description="d", reruns=[rerun(NonSuccessKind.ERROR)], rerun_kind=RerunKind.FLAKY),
        Error("m", reruns=[rerun(), rerun()]),
        Skipped("m", type="T", description="d"),
    ],
    ids=["success", "failure", "error", "skipped"],
)
def test_read_back_gives_new_objects_of_the_same_class(status):
    first = round_trip(status).test_suites[0].test_cases[0].status
    second = round_trip(status).test_suites[0].test_cases[0].status
    assert type(first) is type(status) and first is not status and first is not second
    for name in ("message", "type", "description", "rerun_kind", "kind"):
        assert getattr(first, name, None) == getattr(status, name, None)
    original = getattr(status, "flaky_runs", getattr(status, "reruns", ()))
    back = getattr(first, "flaky_runs", getattr(first, "reruns", ()))
    assert [r.kind for r in back] == [r.kind for r in original]
    assert not set(map(id, back)) & set(map(id, original))


def test_flaky_kind_without_reruns_reads_back_as_rerun():
    back = round_trip(Failure(rerun_kind=RerunKind.FLAKY)).test_suites[0].test_cases[0].status
    assert back.rerun_kind is RerunKind.RERUN


@pytest.mark.parametrize("bad", [object(), "failure", None, NonSuccessKind.FAILURE, rerun()])
def test_only_status_objects_are_accepted(bad):
    with pytest.raises(TypeError) as excinfo:
        Case("c", bad)
    assert str(excinfo.value) == "status must be a Success, Failure, Error, or Skipped instance"
    assert not hasattr(excinfo.value, "__notes__")
