"""Shared fixtures for the Python tests of corvane._corvane."""

import sys

import pytest

HAS_NOTES = sys.version_info >= (3, 11)


@pytest.fixture
def assert_note():
    """Checks the argument note where Python supports notes (3.11+)."""

    def check(excinfo, parameter):
        exc = excinfo.value
        if HAS_NOTES:
            assert exc.__notes__ == [f"while processing '{parameter}'"]
        else:
            assert not hasattr(exc, "__notes__")

    return check
