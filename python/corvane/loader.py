"""Tolerant loading of the JUnit XML that real test runners write.

``load`` and ``loads`` follow the conventions of Python's ``json`` module.
The tolerant reader in the C++ core (``corvane._tolerant``) rewrites any
document it understands as the canonical document, which the strict
``Report.from_xml`` then reads: the tolerance stays out of the strict reader,
and both return the same ``Report`` objects.
"""

from __future__ import annotations

import os
from typing import IO, Union

from corvane._corvane import Report
from corvane._tolerant import canonical_xml

__all__ = ["load", "loads"]

XmlSource = Union[str, bytes, bytearray, memoryview]


def loads(xml: XmlSource) -> Report:
    """Read a JUnit XML document held in memory (str or bytes-like).

    Raises DeserializationError when the document cannot be understood at all.
    """
    if isinstance(xml, memoryview):
        xml = xml.tobytes()
    return Report.from_xml(canonical_xml(xml))


def load(fp: Union[str, "os.PathLike[str]", "os.PathLike[bytes]", IO[str], IO[bytes]]) -> Report:
    """Read a JUnit XML document from a path (str or os.PathLike) or from a
    text or binary file object (anything with a ``read`` method).
    """
    if isinstance(fp, (str, os.PathLike)):
        with open(fp, "rb") as file:
            return loads(file.read())
    return loads(fp.read())
