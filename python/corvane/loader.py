"""Tolerant loading of the JUnit XML that real test runners write.

``load`` and ``loads`` follow the conventions of Python's ``json`` module.
The tolerant reader in the C++ core understands what real runners write
and gives the report that its canonical document (``corvane._tolerant``)
would give to the strict ``Report.from_xml``, without writing that document
and reading it again: the tolerance stays out of the strict reader, and both
routes give the same ``Report`` objects.
"""

from __future__ import annotations

import codecs
import os
import re
from typing import IO, Union

from corvane._corvane import DeserializationError, Report, _read_tolerant

__all__ = ["load", "loads"]

XmlSource = Union[str, bytes, bytearray, memoryview]

# The encoding named by an XML declaration at the very start of a document.
_DECLARED_ENCODING = re.compile(
    rb"""\A(?:\xef\xbb\xbf)?<\?xml[ \t\r\n][^>]*?encoding[ \t\r\n]*=[ \t\r\n]*["']([A-Za-z0-9._-]+)["']"""
)


def _decode_declared(xml: bytes) -> Union[str, bytes]:
    """Bytes in the legacy encoding their declaration names, as text. Bytes
    declared as a Unicode encoding, or as one Python does not know, stay
    bytes, for the reader to take as UTF-8: a document whose declaration
    could be read as ASCII is not UTF-16, whatever it says."""
    match = _DECLARED_ENCODING.match(xml)
    if match is None:
        return xml
    try:
        codec = codecs.lookup(match.group(1).decode("ascii"))
    except LookupError:
        return xml
    if codec.name.startswith("utf"):
        return xml
    return xml.decode(codec.name, errors="replace")


# Notes for the usual mistakes, added to the error without changing it.
_USE_LOAD_FOR_PATH = "to read the file at a path, use corvane.load(path) or Report.read_xml(file)"
_USE_LOAD_FOR_FILE = "to read a file object, use corvane.load(file)"


def _looks_like_path(xml: object) -> bool:
    """Text with no markup that names a file, or looks like the name of one."""
    if isinstance(xml, os.PathLike):
        return True
    if not isinstance(xml, str) or not xml or "<" in xml or "\0" in xml:
        return False
    return xml.lower().endswith(".xml") or (len(xml) < 4096 and os.path.exists(xml))


def _add_hint(error: Exception, xml: object) -> None:
    """Notes what to call instead when `xml` is a path or a file object
    (where Python has notes: 3.11 on)."""
    add_note = getattr(error, "add_note", None)
    if add_note is None:
        return
    if _looks_like_path(xml):
        add_note(_USE_LOAD_FOR_PATH)
    elif isinstance(error, TypeError) and hasattr(xml, "read"):
        add_note(_USE_LOAD_FOR_FILE)


def loads(xml: XmlSource) -> Report:
    """Read a JUnit XML document held in memory (str or bytes-like).

    Raises DeserializationError when the document cannot be understood at all.
    """
    try:
        if isinstance(xml, (bytes, bytearray, memoryview)):
            xml = _decode_declared(bytes(xml))
        return _read_tolerant(xml)
    except (DeserializationError, TypeError) as error:
        _add_hint(error, xml)
        raise


def load(fp: Union[str, "os.PathLike[str]", "os.PathLike[bytes]", IO[str], IO[bytes]]) -> Report:
    """Read a JUnit XML document from a path (str or os.PathLike) or from a
    text or binary file object (anything with a ``read`` method).
    """
    if isinstance(fp, (str, os.PathLike)):
        with open(fp, "rb") as file:
            return loads(file.read())
    return loads(fp.read())
