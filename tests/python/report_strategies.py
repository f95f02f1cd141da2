"""Hypothesis strategies for random reports built from Python, shared by the
property tests and the interoperability check in bench/."""

import datetime

from hypothesis import strategies as st

from corvane._corvane import (
    Error,
    Failure,
    NonSuccessKind,
    Property,
    Report,
    RerunKind,
    Skipped,
    Success,
)
from corvane._corvane import TestCase as Case  # "Test" names would be collected by pytest
from corvane._corvane import TestRerun as Rerun
from corvane._corvane import TestSuite as Suite

# Texts that cleaning leaves as they are: no controls, surrogates or
# noncharacters. Texts kept as element content are also free of white space
# at either end, which reading trims; with both, a round trip is exact.
CLEAN = st.text(st.characters(blacklist_categories=("Cc", "Cs", "Cn")), max_size=12)
CONTENT = CLEAN.map(str.strip)
DESCRIPTION = st.none() | CONTENT.filter(bool)
# Anything a str can hold but a lone surrogate: escapes, controls, C1,
# U+FFFE and U+FFFF included.
ANY = st.text(st.characters(blacklist_categories=("Cs",)), max_size=12) | st.sampled_from(
    ["\x1b[31mred\x1b[0m", "\ufffe\uffff", "\x85\x9b31m", " \t\r\n ", "]]>&<'\"", "\x00\x1f"])

OFFSETS = st.integers(-1439, 1439).map(lambda m: datetime.timezone(datetime.timedelta(minutes=m)))
TIMESTAMPS = st.none() | st.builds(
    lambda when, tz: when.replace(tzinfo=tz),
    st.datetimes(min_value=datetime.datetime(1, 1, 2), max_value=datetime.datetime(9999, 12, 30)),
    OFFSETS)
TIMES = st.none() | st.timedeltas(min_value=datetime.timedelta(0),
                                  max_value=datetime.timedelta(days=10**6))
# Extra keys hold no colon: XML 1.0 names may, and the writer accepts them,
# but both parsers used here process namespaces and refuse a key such as
# "a:b" whose prefix is not declared.
NAME_START = "abcXYZ_é"
NAME_CHARS = NAME_START + "-.09·"
EXTRA_KEYS = st.builds(lambda a, b: "x" + a + b, st.sampled_from(NAME_START),
                       st.text(st.sampled_from(NAME_CHARS), max_size=6))


def strategies(text, content, description):
    def optional(s):
        return st.none() | s

    reruns = st.lists(st.builds(
        Rerun, st.sampled_from([NonSuccessKind.FAILURE, NonSuccessKind.ERROR]),
        timestamp=TIMESTAMPS, time=TIMES, message=optional(text), type=optional(text),
        stack_trace=optional(content), system_out=optional(content),
        system_err=optional(content), description=description), max_size=2)
    statuses = st.one_of(
        st.builds(Success, flaky_runs=reruns),
        *[st.builds(cls, optional(text), type=optional(text), description=description,
                    reruns=reruns, rerun_kind=st.sampled_from([RerunKind.FLAKY, RerunKind.RERUN]))
          for cls in (Failure, Error)],
        st.builds(Skipped, optional(text), type=optional(text), description=description))
    properties = st.lists(st.builds(Property, text, text), max_size=2)
    extra = st.dictionaries(EXTRA_KEYS, text, max_size=2)
    cases = st.lists(st.builds(
        Case, text, statuses, classname=optional(text),
        assertions=st.none() | st.integers(0, 2**64 - 1), timestamp=TIMESTAMPS, time=TIMES,
        system_out=optional(content), system_err=optional(content), extra=extra,
        properties=properties), max_size=4)
    suites = st.lists(st.builds(
        Suite, text, timestamp=TIMESTAMPS, time=TIMES, test_cases=cases, properties=properties,
        system_out=optional(content), system_err=optional(content), extra=extra), max_size=3)

    def report(name, uuid, timestamp, time, suites):
        r = Report(name, uuid=uuid, timestamp=timestamp, time=time)
        r.add_test_suites(suites)
        return r

    return st.builds(report, text, st.none() | st.uuids(), TIMESTAMPS, TIMES, suites)


CLEAN_REPORTS = strategies(CLEAN, CONTENT, DESCRIPTION)
ANY_REPORTS = strategies(ANY, ANY, st.none() | ANY)
