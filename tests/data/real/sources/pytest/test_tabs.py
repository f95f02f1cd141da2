"""Tests that print tab-separated output and fail with tabs in their
messages, used to produce pytest_tabs.xml of the real corpus (see
../../README.md)."""

import sys


def test_prints_a_table():
    print("name\tvalue\t42")
    print("other\tvalue\t7")


def test_fails_with_tabs():
    print("column\tto\tstderr", file=sys.stderr)
    assert "a\tb" == "a b", "expected\ta tab"
