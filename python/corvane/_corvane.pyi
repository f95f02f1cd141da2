"""Type information for corvane._corvane, the extension module."""

import datetime
import uuid as _uuid
from collections.abc import Iterable, Iterator, Sequence
from typing import Any, ClassVar, Protocol, SupportsIndex, final

__all__ = [
    "NonSuccessKind",
    "RerunKind",
    "Property",
    "TestRerun",
    "Success",
    "Failure",
    "Error",
    "Skipped",
    "TestCase",
    "TestSuite",
    "Report",
    "CasesTable",
    "CorvaneError",
    "DeserializationError",
    "SerializationError",
]

# What Report.from_xml accepts: text, or UTF-8 bytes in any bytes-like form.
_XmlInput = str | bytes | bytearray | memoryview | Sequence[int]

class _Reader(Protocol):
    def read(self) -> _XmlInput: ...

class _Writer(Protocol):
    def write(self, text: str, /) -> object: ...

@final
class NonSuccessKind:
    FAILURE: ClassVar[NonSuccessKind]
    ERROR: ClassVar[NonSuccessKind]
    # Members compare equal to each other and to integers, and are unhashable.
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __int__(self) -> int: ...

@final
class RerunKind:
    FLAKY: ClassVar[RerunKind]
    RERUN: ClassVar[RerunKind]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __int__(self) -> int: ...

@final
class Property:
    name: str
    value: str
    def __new__(cls, name: str, value: str) -> Property: ...

@final
class TestRerun:
    kind: NonSuccessKind
    timestamp: datetime.datetime | None
    time: datetime.timedelta | None
    message: str | None
    type: str | None
    stack_trace: str | None
    system_out: str | None
    system_err: str | None
    description: str | None
    def __new__(
        cls,
        kind: NonSuccessKind,
        *,
        timestamp: datetime.datetime | None = None,
        time: datetime.timedelta | None = None,
        message: str | None = None,
        type: str | None = None,
        stack_trace: str | None = None,
        system_out: str | None = None,
        system_err: str | None = None,
        description: str | None = None,
    ) -> TestRerun: ...

@final
class Success:
    def __new__(cls, *, flaky_runs: Sequence[TestRerun] = ...) -> Success: ...
    @property
    def flaky_runs(self) -> tuple[TestRerun, ...]: ...
    def add_rerun(self, rerun: TestRerun) -> None: ...
    def add_reruns(self, reruns: Sequence[TestRerun]) -> None: ...

@final
class Failure:
    message: str | None
    type: str | None
    description: str | None
    rerun_kind: RerunKind
    def __new__(
        cls,
        message: str | None = None,
        *,
        type: str | None = None,
        description: str | None = None,
        reruns: Sequence[TestRerun] = ...,
        rerun_kind: RerunKind = ...,
    ) -> Failure: ...
    @property
    def kind(self) -> NonSuccessKind: ...
    @property
    def reruns(self) -> tuple[TestRerun, ...]: ...
    def add_rerun(self, rerun: TestRerun) -> None: ...
    def add_reruns(self, reruns: Sequence[TestRerun]) -> None: ...

@final
class Error:
    message: str | None
    type: str | None
    description: str | None
    rerun_kind: RerunKind
    def __new__(
        cls,
        message: str | None = None,
        *,
        type: str | None = None,
        description: str | None = None,
        reruns: Sequence[TestRerun] = ...,
        rerun_kind: RerunKind = ...,
    ) -> Error: ...
    @property
    def kind(self) -> NonSuccessKind: ...
    @property
    def reruns(self) -> tuple[TestRerun, ...]: ...
    def add_rerun(self, rerun: TestRerun) -> None: ...
    def add_reruns(self, reruns: Sequence[TestRerun]) -> None: ...

@final
class Skipped:
    message: str | None
    type: str | None
    description: str | None
    def __new__(
        cls,
        message: str | None = None,
        *,
        type: str | None = None,
        description: str | None = None,
    ) -> Skipped: ...

_Status = Success | Failure | Error | Skipped

@final
class TestCase:
    name: str
    status: _Status
    classname: str | None
    timestamp: datetime.datetime | None
    time: datetime.timedelta | None
    system_out: str | None
    system_err: str | None
    # Read as a new dict; set from a dict only (None is refused).
    extra: dict[str, str]
    def __new__(
        cls,
        name: str,
        status: _Status,
        *,
        classname: str | None = None,
        assertions: SupportsIndex | None = None,
        timestamp: datetime.datetime | None = None,
        time: datetime.timedelta | None = None,
        system_out: str | None = None,
        system_err: str | None = None,
        extra: dict[str, str] | None = None,
        properties: Sequence[Property] = ...,
    ) -> TestCase: ...
    @property
    def assertions(self) -> int | None: ...
    @assertions.setter
    def assertions(self, value: SupportsIndex | None) -> None: ...
    @property
    def properties(self) -> tuple[Property, ...]: ...
    def add_property(self, property: Property) -> None: ...
    def add_properties(self, properties: Sequence[Property]) -> None: ...

@final
class TestSuite:
    name: str
    timestamp: datetime.datetime | None
    time: datetime.timedelta | None
    system_out: str | None
    system_err: str | None
    extra: dict[str, str]
    def __new__(
        cls,
        name: str,
        *,
        timestamp: datetime.datetime | None = None,
        time: datetime.timedelta | None = None,
        test_cases: Sequence[TestCase] = ...,
        properties: Sequence[Property] = ...,
        system_out: str | None = None,
        system_err: str | None = None,
        extra: dict[str, str] | None = None,
    ) -> TestSuite: ...
    @property
    def tests(self) -> int: ...
    @property
    def disabled(self) -> int: ...
    @property
    def failures(self) -> int: ...
    @property
    def errors(self) -> int: ...
    @property
    def test_cases(self) -> tuple[TestCase, ...]: ...
    @property
    def properties(self) -> tuple[Property, ...]: ...
    def add_test_case(self, test_case: TestCase) -> None: ...
    def add_test_cases(self, test_cases: Sequence[TestCase]) -> None: ...
    def add_property(self, property: Property) -> None: ...
    def add_properties(self, properties: Sequence[Property]) -> None: ...

@final
class Report:
    name: str
    uuid: _uuid.UUID | None
    timestamp: datetime.datetime | None
    time: datetime.timedelta | None
    def __new__(
        cls,
        name: str,
        *,
        uuid: _uuid.UUID | None = None,
        timestamp: datetime.datetime | None = None,
        time: datetime.timedelta | None = None,
    ) -> Report: ...
    @property
    def tests(self) -> int: ...
    @property
    def failures(self) -> int: ...
    @property
    def errors(self) -> int: ...
    @property
    def test_suites(self) -> tuple[TestSuite, ...]: ...
    def add_test_suite(self, test_suite: TestSuite) -> None: ...
    def add_test_suites(self, test_suites: Sequence[TestSuite]) -> None: ...
    def to_xml(self) -> str: ...
    def write_xml(self, writer: _Writer) -> None: ...
    @classmethod
    def from_xml(cls, xml: _XmlInput) -> Report: ...
    @classmethod
    def read_xml(cls, reader: _Reader) -> Report: ...

@final
class CasesTable:
    def __new__(
        cls,
        reports: Iterable[Report],
        sources: Iterable[str | None] | None = None,
        *,
        extras: Iterable[str] | None = None,
    ) -> CasesTable: ...
    @property
    def num_rows(self) -> int: ...
    @property
    def column_names(self) -> tuple[str, ...]: ...
    def __len__(self) -> int: ...
    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...
    def write_csv(self, file: _Writer) -> None: ...

class CorvaneError(Exception): ...
class DeserializationError(CorvaneError): ...
class SerializationError(CorvaneError): ...

# The engine of corvane.iter_suites; not published.
@final
class _SuiteStream(Iterator[TestSuite]):
    def __new__(cls, file: Any, strict: bool, *, chunk: int | None = None) -> _SuiteStream: ...
    def header(self) -> Report | None: ...
    def close(self) -> None: ...
    def __next__(self) -> TestSuite: ...

# corvane.loads's read: the tolerant reader's report, as from_xml would read its
# canonical document.
def _read_tolerant(xml: str | bytes | bytearray, /) -> Report: ...
