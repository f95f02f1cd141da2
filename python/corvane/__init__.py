"""corvane: build, write and read JUnit XML reports."""

from corvane._corvane import (
    CasesTable,
    CorvaneError,
    DeserializationError,
    Error,
    Failure,
    NonSuccessKind,
    Property,
    Report,
    RerunKind,
    SerializationError,
    Skipped,
    Success,
    TestCase,
    TestRerun,
    TestSuite,
)

# The extension module's published names, in its own order, then the loaders.
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

# The exception classes pickle and copy once this is imported.
from corvane import _exceptions  # noqa: E402, F401

# Tolerant loading of what real test runners write (json-module conventions).
from corvane.loader import load, loads  # noqa: E402

__all__ += ["load", "loads"]

# Many files on every core; one document's suites without reading it whole.
from corvane.many import LoadManyError, load_many  # noqa: E402
from corvane.streaming import SuiteIterator, iter_suites  # noqa: E402

__all__ += ["load_many", "LoadManyError", "iter_suites", "SuiteIterator"]

# The test cases as a table for Arrow consumers (table.py).
from corvane.table import cases_table  # noqa: E402

__all__ += ["cases_table"]
