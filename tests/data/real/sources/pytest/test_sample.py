"""A small pytest suite with every outcome, used to produce the pytest files
of the real corpus (see ../../README.md)."""

import os
import sys

import pytest


class TestArithmetic:
    def test_adds(self):
        assert 1 + 1 == 2

    def test_fails(self):
        assert 2 * 3 == 7, "multiplication is off"


def test_prints_and_passes():
    print("to stdout")
    print("to stderr", file=sys.stderr)


@pytest.fixture
def broken():
    raise RuntimeError("fixture broke")


def test_errors_in_setup(broken):
    pass


@pytest.mark.skip(reason="not on this machine")
def test_skipped():
    pass


@pytest.mark.xfail(reason="known bug")
def test_expected_failure():
    assert False


@pytest.mark.parametrize("value", [1, 2])
def test_parametrized(value):
    assert value < 2


def test_control_characters_in_output():
    print("bell\x07 escape\x1b[31m red\x1b[0m")
    assert "\x01" == "", "raw \x01 in message"


# Counted in a file beside this one, so that reruns of the same test see the
# attempts before them.
COUNTER = os.environ.get("ATTEMPT_COUNTER", "")


def _attempt():
    if not COUNTER:
        return 1
    count = int(open(COUNTER).read()) + 1 if os.path.exists(COUNTER) else 1
    with open(COUNTER, "w") as f:
        f.write(str(count))
    return count


def test_flaky_passes_on_third_attempt():
    assert _attempt() >= 3, "not yet"


def test_always_fails_with_retries():
    raise ValueError("still broken")
