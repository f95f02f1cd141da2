"""One document's suites, read without holding the whole document.

``iter_suites`` reads a file a window at a time (a few megabytes, more only
for a suite larger than that), so its memory follows the largest suite, not
the file: a report of several gigabytes is walked in constant memory.
"""

from __future__ import annotations

import os
from typing import IO, TYPE_CHECKING, Any, Iterator, Optional, Union

from corvane._corvane import Report, TestSuite, _SuiteStream

if TYPE_CHECKING:  # not imported at run time: importing uuid is slow
    import datetime
    import uuid

__all__ = ["SuiteIterator", "iter_suites"]

Source = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]", IO[str], IO[bytes]]


class SuiteIterator:
    """The suites of one document, in order, each a new ``TestSuite`` as
    reading the whole document makes it. The report's own fields (``name``,
    ``uuid``, ``timestamp``, ``time``, and ``report``: a ``Report`` holding
    them and no suites) are read when the iterator is made.

    A path is opened here and closed at the end, at an error, or by
    ``close()`` / leaving a ``with`` block; a file object is read with its
    ``read(size)`` and left open."""

    def __init__(self, source: Source, *, strict: bool = False, _chunk: Optional[int] = None) -> None:
        self._owned: Optional[IO[bytes]] = None
        file: IO[Any]
        if isinstance(source, (str, bytes, os.PathLike)):
            self._owned = file = open(source, "rb")
        else:
            file = source
        try:
            self._stream = _SuiteStream(file, strict, chunk=_chunk)
            report = self._stream.header()
            # A stream ends without a root only by raising.
            assert report is not None
            self.report: Report = report
        except BaseException:
            self.close()
            raise

    @property
    def name(self) -> str:
        return self.report.name

    @property
    def uuid(self) -> Optional["uuid.UUID"]:
        return self.report.uuid

    @property
    def timestamp(self) -> Optional["datetime.datetime"]:
        return self.report.timestamp

    @property
    def time(self) -> Optional["datetime.timedelta"]:
        return self.report.time

    def __iter__(self) -> Iterator[TestSuite]:
        return self

    def __next__(self) -> TestSuite:
        try:
            return next(self._stream)
        except BaseException:
            self.close()
            raise

    def close(self) -> None:
        stream = getattr(self, "_stream", None)
        if stream is not None:
            stream.close()
        if self._owned is not None:
            self._owned.close()
            self._owned = None

    def __enter__(self) -> SuiteIterator:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()


def iter_suites(source: Source, *, strict: bool = False) -> SuiteIterator:
    """The suites of the document at `source` (a path, or a text or binary
    file object), read a window at a time: tolerantly, as ``corvane.load``
    reads, or with the strict reader of ``Report.from_xml`` when `strict` is
    true. Errors are raised as those reads raise them, when the iteration
    reaches them: suites before the error have been handed out already."""
    return SuiteIterator(source, strict=strict)
