"""The test cases of reports as a table, for analytics.

``cases_table`` gives a ``CasesTable``: one row per test case in typed
columns, built in the C++ core and read by any Arrow consumer through the
Arrow PyCapsule stream interface (``pyarrow.table(t)``,
``polars.DataFrame(t)``, DuckDB's ``FROM t``), with no Arrow library needed
by corvane itself. ``write_parquet`` needs pyarrow (``pip install
"corvane[parquet]"``); ``CasesTable.write_csv`` needs nothing.
"""

from __future__ import annotations

import os
from typing import IO, Iterable, Optional, Union

from corvane._corvane import CasesTable, Report

__all__ = ["cases_table", "write_parquet", "CasesTable"]


def cases_table(
    reports: Union[Report, Iterable[Report]],
    source: Union[str, None, Iterable[Optional[str]]] = None,
    *,
    extras: Optional[Iterable[str]] = None,
) -> CasesTable:
    """One row per test case of a report, or of several in order.

    ``source`` fills the ``source`` column: for one report a str (or None),
    for several an iterable with one str or None per report, consumed in
    step with ``reports`` (which may be a generator: each report can be
    dropped once its rows are in). ``extras`` names the extra attributes
    that become columns, in that order; by default every name met does, in
    order of first appearance (at most 64, else ValueError).
    """
    if isinstance(reports, Report):
        return CasesTable([reports], [source], extras=extras)
    if isinstance(source, str):
        raise TypeError("source must be one str or None per report when reports are several")
    return CasesTable(reports, source, extras=extras)


def write_parquet(table: CasesTable, where: Union[str, "os.PathLike[str]", IO[bytes]]) -> None:
    """Write the table as one Parquet file (a path or a binary file)."""
    try:
        import pyarrow
        import pyarrow.parquet
    except ImportError:
        raise ImportError(
            'Parquet output needs pyarrow: pip install "corvane[parquet]"'
        ) from None
    pyarrow.parquet.write_table(pyarrow.table(table), where)
