"""Reading many documents at once, on every core.

The C++ reader parses without holding the GIL (it takes it back only to make
each batch of Python objects), so plain threads read documents in parallel:
no process pool, and no report pickled back and forth.
"""

from __future__ import annotations

import itertools
import os
import threading
from typing import Callable, List, Optional, Sequence, Tuple, TypeVar, Union

from corvane._corvane import CorvaneError, Report

__all__ = ["LoadManyError", "load_many", "map_in_threads", "default_workers"]

Item = TypeVar("Item")
Result = TypeVar("Result")
PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def default_workers() -> int:
    """The cores this process may run on."""
    try:
        return len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        return os.cpu_count() or 1


def map_in_threads(
    function: Callable[[Item], Result], items: Sequence[Item], workers: Optional[int] = None
) -> Tuple[List[Optional[Result]], List[Optional[Exception]]]:
    """`function` applied to every item by `workers` threads (default: one
    per core). Gives the results and the exceptions, both in input order,
    with None where an item has none: one item's failure stops nothing."""
    if workers is None:
        workers = default_workers()
    if workers < 1:
        raise ValueError(f"workers must be at least 1, not {workers}")
    results: List[Optional[Result]] = [None] * len(items)
    errors: List[Optional[Exception]] = [None] * len(items)
    # Each thread takes the next item as it finishes one, so a large file
    # holds up only its own thread; next() on a count is atomic under the GIL.
    next_index = itertools.count().__next__

    def work() -> None:
        while (index := next_index()) < len(items):
            try:
                results[index] = function(items[index])
            except Exception as exc:  # reported per item, with its name
                errors[index] = exc

    threads = [threading.Thread(target=work) for _ in range(min(workers, len(items)) - 1)]
    for thread in threads:
        thread.start()
    work()
    for thread in threads:
        thread.join()
    return results, errors


class LoadManyError(CorvaneError):
    """Some of the files given to load_many could not be read.

    ``failures`` holds (path, exception) for each of them and ``reports``
    every file's report in input order, None where the file failed, so that
    nothing read is lost. The message names every failed file."""

    def __init__(self, reports: List[Optional[Report]], failures: List[Tuple[PathLike, Exception]]):
        self.reports = reports
        self.failures = failures
        lines = [f"{os.fsdecode(path)}: {exc}" for path, exc in failures]
        super().__init__(
            f"{len(failures)} of {len(reports)} files could not be read:\n" + "\n".join(lines)
        )


def load_many(
    paths: Sequence[PathLike], *, workers: Optional[int] = None, strict: bool = False
) -> List[Report]:
    """Read every file in `paths`, on `workers` threads (default: one per
    core), and give their reports in input order.

    Each file is read as ``corvane.load`` reads it, or with the strict
    ``Report.from_xml`` when `strict` is true. When any file cannot be opened
    or read, LoadManyError is raised once every file has been tried."""
    from corvane.loader import loads

    def load_one(path: PathLike) -> Report:
        with open(path, "rb") as file:
            data = file.read()
        return Report.from_xml(data) if strict else loads(data)

    paths = list(paths)
    reports, errors = map_in_threads(load_one, paths, workers)
    failures = [(path, exc) for path, exc in zip(paths, errors) if exc is not None]
    if failures:
        raise LoadManyError(reports, failures)
    return reports  # type: ignore[return-value]
