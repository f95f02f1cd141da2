"""The shared value conversions, through the classes that use them: XML input,
extra dicts, UUIDs, timestamps (both ways and through the reader's grammar)
and durations (both ways)."""

import array
import datetime as dt
import uuid

import pytest

import corvane._corvane as m

UTC = dt.timezone.utc
FAILURE = m.NonSuccessKind.FAILURE


def document(case_attributes=""):
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<testsuites name="r" tests="1" failures="0" errors="0">'
        '<testsuite name="s" tests="1" failures="0" errors="0">'
        f'<testcase name="c" {case_attributes}/>'
        "</testsuite></testsuites>"
    )


def read_case(case_attributes):
    return m.Report.from_xml(document(case_attributes)).test_suites[0].test_cases[0]


def write(timestamp=None, **rerun_kwargs):
    """Writes a report whose only test case fails with one rerun."""
    rerun = m.TestRerun(FAILURE, timestamp=timestamp, **rerun_kwargs)
    suite = m.TestSuite("s", test_cases=[m.TestCase("c", m.Failure(reruns=[rerun]))])
    report = m.Report("r")
    report.add_test_suite(suite)
    return report.to_xml()


# --- XML input -------------------------------------------------------------

DOC = document()


@pytest.mark.parametrize(
    "xml",
    [
        DOC,
        DOC.encode(),
        bytearray(DOC.encode()),
        list(DOC.encode()),
        tuple(DOC.encode()),
        memoryview(DOC.encode()),
        array.array("i", list(DOC.encode())),
        type("MyBytes", (bytes,), {})(DOC.encode()),
        type("MyStr", (str,), {})(DOC),
    ],
    ids=["str", "bytes", "bytearray", "list", "tuple", "memoryview", "array", "bytes-sub", "str-sub"],
)
def test_xml_input_forms_read_alike(xml):
    assert m.Report.from_xml(xml).to_xml() == m.Report.from_xml(DOC).to_xml()


@pytest.mark.parametrize(
    "xml",
    [42, None, 1.5, "<a/>\ud800", [60, 256], [60, -1], [60, "a"], [60, 1.0], {60: 1}, iter(b"<a/>"), object()],
    ids=["int", "None", "float", "surrogate", "256", "negative", "str-item", "float-item", "dict", "iterator", "object"],
)
def test_xml_input_type_errors(xml):
    with pytest.raises(TypeError) as excinfo:
        m.Report.from_xml(xml)
    assert str(excinfo.value) == "XML input must be str or bytes"
    assert excinfo.value.__cause__ is None and excinfo.value.__context__ is None
    assert not hasattr(excinfo.value, "__notes__")


@pytest.mark.parametrize("error", [KeyboardInterrupt, MemoryError, RuntimeError])
@pytest.mark.parametrize("where", ["__index__", "__len__"])
def test_xml_input_errors_other_than_conversion_failures_propagate(error, where):
    class Raising:
        def __index__(self):
            raise error("from an item")

    class Items(list):
        def __len__(self):
            raise error("from the length")

    xml = [60, Raising()] if where == "__index__" else Items([60, 97, 47, 62])
    with pytest.raises(error):
        m.Report.from_xml(xml)


@pytest.mark.parametrize("xml", [b"\xff", bytearray(b"<a>\xc3</a>"), [0xED, 0xA0, 0x80]])
def test_xml_bytes_must_be_utf8(xml):
    with pytest.raises(ValueError, match="^XML bytes must be valid UTF-8$"):
        m.Report.from_xml(xml)


# --- extra attribute dicts -------------------------------------------------


def test_extra_keeps_insertion_order():
    case = m.TestCase("c", m.Success(), extra={"b": "1", "a": "2"})
    assert list(case.extra.items()) == [("b", "1"), ("a", "2")]
    assert case.extra is not case.extra


@pytest.mark.parametrize("extra", [{1: "x"}, {"k": 1}, {"ok": "v", "k": 1}])
def test_extra_keys_and_values_must_be_str(extra):
    with pytest.raises(TypeError) as excinfo:
        m.TestCase("c", m.Success(), extra=extra)
    assert str(excinfo.value) == "'int' object is not an instance of 'str'"


def test_extra_sanitised_keys_that_collide_keep_the_first_position():
    case = m.TestCase("c", m.Success(), extra={"k\x1b[0m": "1", "z": "2", "k": "3\x07"})
    assert list(case.extra.items()) == [("k", "3"), ("z", "2")]


def test_extra_walks_the_dict_itself_not_overridden_iteration():
    class Sneaky(dict):
        def items(self):
            return [("x", "y")]

        def __iter__(self):
            return iter(["x"])

    case = m.TestCase("c", m.Success(), extra=Sneaky(a="b"))
    assert case.extra == {"a": "b"}


# --- UUIDs -----------------------------------------------------------------


@pytest.mark.parametrize("value", ["00000000-0000-0000-0000-000000000000", 0, b"\0" * 16])
def test_uuid_must_be_a_uuid(value):
    with pytest.raises(TypeError) as excinfo:
        m.Report("r", uuid=value)
    assert str(excinfo.value) == "uuid must be a uuid.UUID instance"
    assert not hasattr(excinfo.value, "__notes__")


def test_uuid_round_trip():
    zero = uuid.UUID(int=0)
    report = m.Report("r", uuid=zero)
    assert report.uuid == zero and report.uuid is not zero
    assert 'uuid="00000000-0000-0000-0000-000000000000"' in report.to_xml()
    assert m.Report("r", uuid=None).uuid is None


# --- timestamps --------------------------------------------------------------


def with_iso(text):
    """An aware datetime whose isoformat returns `text`."""

    class Iso(dt.datetime):
        def isoformat(self, *args, **kwargs):
            return text

    return Iso(2024, 1, 1, tzinfo=UTC)


def test_timestamp_text_is_the_isoformat():
    when = dt.datetime(2024, 5, 1, 10, 20, 30, 123456, tzinfo=dt.timezone(dt.timedelta(hours=2)))
    xml = write(timestamp=when)
    assert 'timestamp="2024-05-01T10:20:30.123+02:00"' in xml
    assert m.TestRerun(FAILURE, timestamp=when).timestamp == when


@pytest.mark.parametrize(
    "timestamp, exc_type, message",
    [
        (with_iso(42), TypeError, "'int' object is not an instance of 'str'"),
        ("2024-01-01T00:00:00+00:00", TypeError, "timestamp must be a datetime.datetime instance"),
        (dt.date(2024, 1, 1), TypeError, "timestamp must be a datetime.datetime instance"),
        (dt.datetime(2024, 1, 1), ValueError, "timestamp must be timezone-aware"),
    ],
)
def test_timestamp_refusals_have_no_note(timestamp, exc_type, message):
    with pytest.raises(exc_type) as excinfo:
        m.TestRerun(FAILURE, timestamp=timestamp)
    assert str(excinfo.value) == message
    assert not hasattr(excinfo.value, "__notes__")


@pytest.mark.parametrize(
    "text",
    [
        "2024-01-01T00:00:00",  # no offset
        "yesterday",
        "",
        # Quotes, tags and references would smuggle markup into the small
        # document the text is read from; they are refused as they are.
        '2024-01-01T00:00:00+00:00" name="x',
        "2024-01-01T00:00:00+00:00<",
        "2024-01-01T00:00:00&#43;00:00",
        "2024-01-01T00:00:00\0+00:00",
    ],
)
def test_stored_timestamp_is_checked_by_the_reader_when_written(text):
    rerun = m.TestRerun(FAILURE, timestamp=with_iso(text))  # stored unchecked
    suite = m.TestSuite("s", test_cases=[m.TestCase("c", m.Failure(reruns=[rerun]))])
    report = m.Report("r")
    report.add_test_suite(suite)
    with pytest.raises(ValueError) as excinfo:
        report.to_xml()
    if "\0" not in text:
        assert str(excinfo.value) == f"at testsuites/@timestamp: invalid timestamp: {text}"


@pytest.mark.parametrize(
    "written, stored",
    [
        ("2024-01-01T00:00:00Z", dt.datetime(2024, 1, 1, tzinfo=UTC)),
        ("2024-01-01T00:00:00.5-01:30", dt.datetime(2024, 1, 1, 0, 0, 0, 500000,
                                                     tzinfo=dt.timezone(-dt.timedelta(hours=1, minutes=30)))),
        # Nine fraction digits: the digits below the microsecond are dropped.
        ("2024-01-01T00:00:00.123456789+05:30", dt.datetime(2024, 1, 1, 0, 0, 0, 123456,
                                                            tzinfo=dt.timezone(dt.timedelta(hours=5, minutes=30)))),
    ],
)
def test_timestamp_read_from_a_document(written, stored):
    case = read_case(f'timestamp="{written}"')
    assert case.timestamp == stored
    assert case.timestamp.utcoffset() == stored.utcoffset()


def test_nine_fraction_digits_from_isoformat_are_read_back():
    rerun = m.TestRerun(FAILURE, timestamp=with_iso("2024-01-01T00:00:00.987654321+00:00"))
    assert rerun.timestamp == dt.datetime(2024, 1, 1, 0, 0, 0, 987654, tzinfo=UTC)
    # The stored text keeps every digit; the writer shows milliseconds.
    assert 'timestamp="2024-01-01T00:00:00.987+00:00"' in write(timestamp=with_iso("2024-01-01T00:00:00.987654321+00:00"))


# --- durations -------------------------------------------------------------


@pytest.mark.parametrize(
    "delta, written",
    [
        (dt.timedelta(days=1, seconds=2, microseconds=3), 'time="86402.000"'),
        (dt.timedelta(0), 'time="0.000"'),
        (dt.timedelta(milliseconds=1500), 'time="1.500"'),
    ],
)
def test_duration_written(delta, written):
    assert written in write(time=delta)


@pytest.mark.parametrize("delta", [dt.timedelta(microseconds=-1), dt.timedelta(days=-1, seconds=86399), dt.timedelta.min])
def test_negative_durations_are_refused(delta, assert_note):
    with pytest.raises(ValueError) as excinfo:
        m.TestRerun(FAILURE, time=delta)
    assert str(excinfo.value) == "a negative timedelta cannot be converted to a duration"
    assert_note(excinfo, "time")


def test_largest_timedelta_round_trips():
    assert m.TestRerun(FAILURE, time=dt.timedelta.max).time == dt.timedelta.max


def forged(days=0, seconds=0, microseconds=0):
    """A timedelta subclass whose attributes read as given."""

    class Forged(dt.timedelta):
        pass

    Forged.days = property(lambda self: days)
    Forged.seconds = property(lambda self: seconds)
    Forged.microseconds = property(lambda self: microseconds)
    return Forged(0)


@pytest.mark.parametrize(
    "delta, result",
    [
        (forged(seconds=1, microseconds=1_500_000), dt.timedelta(seconds=2, microseconds=500000)),
        (forged(microseconds=4_294_967), dt.timedelta(seconds=4, microseconds=294967)),
    ],
)
def test_forged_microseconds_carry_into_seconds(delta, result):
    assert m.TestRerun(FAILURE, time=delta).time == result


@pytest.mark.parametrize(
    "delta",
    [forged(seconds=-1), forged(microseconds=-1), forged(microseconds=4_294_968)],
    ids=["negative-seconds", "negative-microseconds", "microseconds-overflow"],
)
def test_forged_attributes_out_of_range_are_value_errors(delta):
    with pytest.raises(ValueError, match="^a timedelta whose seconds or microseconds are out of range"):
        m.TestRerun(FAILURE, time=delta)


@pytest.mark.parametrize(
    "delta, exc_type, message",
    [
        (forged(days=2**31), OverflowError, "out of range integral type conversion attempted"),
        (forged(seconds=-(2**31) - 1), OverflowError, "out of range integral type conversion attempted"),
        (forged(days=1.0), TypeError, "'float' object cannot be interpreted as an integer"),
    ],
)
def test_forged_attributes_that_are_no_int32(delta, exc_type, message, assert_note):
    with pytest.raises(exc_type) as excinfo:
        m.TestRerun(FAILURE, time=delta)
    assert str(excinfo.value) == message
    assert_note(excinfo, "time")


@pytest.mark.parametrize(
    "written, result",
    [
        ("90061.0000015", dt.timedelta(days=1, seconds=3661, microseconds=1)),
        ("0.0000009", dt.timedelta(0)),
        ("86399999913600", dt.timedelta(days=999_999_999)),
        ("86399999999999.984", dt.timedelta.max - dt.timedelta(microseconds=15624)),
    ],
)
def test_duration_read_from_a_document(written, result):
    assert read_case(f'time="{written}"').time == result
