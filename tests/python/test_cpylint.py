"""Source-level rules for the classes of the extension module.

References in class code are owned by py::Ref, and arguments go through the
one parameter-table parser in src/py, so neither bare reference decrements
nor CPython's own argument parsers may appear there. Every function handed
to CPython goes through the entry adapter of src/py, which keeps C++
exceptions out of CPython, so no table entry names a function of ours bare.
"""

import pathlib
import re

import pytest

SRC = pathlib.Path(__file__).resolve().parents[2] / "src"
CLASS_SOURCES = (sorted(SRC.glob("classes/*.?pp")) + sorted(SRC.glob("tolerant/*.cpp"))
                 + [SRC / "module.cpp"])

FORBIDDEN = {
    "bare reference decrement": re.compile(r"\bPy_X?DECREF\b|\bPy_CLEAR\b"),
    "CPython argument parser": re.compile(r"\bPyArg_Parse\w*"),
    # CPython's own functions (PyObject_HashNotImplemented) are given as they are.
    "entry bypassing the adapter": re.compile(
        r"reinterpret_cast<(void\*|PyCFunction)>\((reinterpret_cast<[^>]*>\()?&(?!PyObject_)"
        r"|^\s*\{\"\w+\",\s*&"),
}


@pytest.mark.skipif(not SRC.is_dir(), reason="needs the source tree")
@pytest.mark.parametrize("rule", sorted(FORBIDDEN))
def test_class_code_avoids(rule):
    assert CLASS_SOURCES, "no class sources found"
    pattern = FORBIDDEN[rule]
    offending = [
        f"{path.name}:{number}: {line.strip()}"
        for path in CLASS_SOURCES
        for number, line in enumerate(path.read_text().splitlines(), 1)
        if pattern.search(line)
    ]
    assert offending == []
