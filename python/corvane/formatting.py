"""Small text helpers shared by the terminal, Markdown and JSON renderers."""

from __future__ import annotations

import re
from typing import Sequence

# Markdown punctuation that could start emphasis, code, links, HTML or a
# table cell boundary: escaped so that names and messages read literally.
_MARKDOWN_SPECIAL = re.compile(r"([\\`*_\[\]<>|&~#!])")


def duration(value: float | None) -> str:
    return "-" if value is None else f"{value:.3f}s"


def markdown_text(text: str) -> str:
    """Text for one Markdown table cell or line: one line, read literally."""
    return _MARKDOWN_SPECIAL.sub(r"\\\1", " ".join(text.split()))


def markdown_table(
    header: Sequence[str], rows: Sequence[Sequence[str]], numeric: int = 0
) -> list[str]:
    """A table whose last `numeric` columns are right-aligned; cells are
    taken as already escaped."""
    align = ["---"] * (len(header) - numeric) + ["---:"] * numeric
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join(align) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return lines


def indented(text: str, prefix: str) -> list[str]:
    return [prefix + line for line in text.splitlines() if line.strip()]
