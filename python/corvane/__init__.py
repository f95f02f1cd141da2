"""corvane: build, write and read JUnit XML reports."""

from corvane._corvane import (
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

# The extension module's published names, in its own order.
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
    "CorvaneError",
    "DeserializationError",
    "SerializationError",
]

# Tolerant loading of what real test runners write (json-module conventions).
# Not in __all__, which lists the extension module's names; the redundant
# aliases mark them as re-exports for type checkers.
from corvane.loader import load as load, loads as loads  # noqa: E402
