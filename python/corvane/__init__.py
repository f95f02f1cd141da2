"""corvane: build, write and read JUnit XML reports."""

from corvane._corvane import (
    CorvaneError,
    DeserializationError,
    SerializationError,
)

__all__ = [
    "CorvaneError",
    "DeserializationError",
    "SerializationError",
]
