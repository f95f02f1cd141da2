"""What changed between two runs, each one or more reports.

A test is known by its suite's name, its class name and its name, whatever
file it came from. When a run holds the same key more than once (a test
repeated under parameters with equal names, or the same suite in two files),
the first occurrence in the base run is matched with the first in the head
run, the second with the second, and so on; the ones left over count as
added or removed. A renamed suite is not guessed at: its tests read as
removed under the old name and added under the new one, unless suite
names are left out of the key (`by_suite=False`), for runs that name their
suites differently.
"""

from __future__ import annotations

from collections import defaultdict
from dataclasses import dataclass, field

from corvane.results import FAILING, CaseRef, Counts

Key = tuple[str, str, str]


def key(ref: CaseRef, by_suite: bool = True) -> Key:
    return (ref.suite if by_suite else "", ref.classname, ref.name)


@dataclass(frozen=True)
class Change:
    base: CaseRef | None
    head: CaseRef | None

    @property
    def ref(self) -> CaseRef:
        """The head's view of the test, else the base's (a removed test)."""
        return self.head if self.head is not None else self.base  # type: ignore[return-value]

    @property
    def slowdown(self) -> float:
        base = self.base.time if self.base is not None else None
        head = self.head.time if self.head is not None else None
        return 0.0 if base is None or head is None else head - base


@dataclass
class RunDiff:
    base_counts: Counts
    head_counts: Counts
    new_failures: list[Change] = field(default_factory=list)
    fixed: list[Change] = field(default_factory=list)
    still_failing: list[Change] = field(default_factory=list)
    added: list[Change] = field(default_factory=list)
    removed: list[Change] = field(default_factory=list)
    slowdowns: list[Change] = field(default_factory=list)


def compare(
    base: list[CaseRef],
    head: list[CaseRef],
    base_counts: Counts,
    head_counts: Counts,
    slowest: int = 10,
    min_slowdown: float = 0.0,
    by_suite: bool = True,
) -> RunDiff:
    """Tests in head order (removed ones in base order); slowdowns largest
    first, at most `slowest` of them, each at least `min_slowdown` seconds."""
    waiting: dict[Key, list[CaseRef]] = defaultdict(list)
    for ref in reversed(base):
        waiting[key(ref, by_suite)].append(ref)  # popped from the end: first occurrence first
    result = RunDiff(base_counts, head_counts)
    matched = []
    for ref in head:
        queue = waiting.get(key(ref, by_suite))
        before = queue.pop() if queue else None
        change = Change(before, ref)
        failing_now = ref.outcome in FAILING
        failing_before = before is not None and before.outcome in FAILING
        if before is None:
            result.added.append(change)
        else:
            matched.append(change)
        if failing_now and not failing_before:
            result.new_failures.append(change)
        elif failing_now:
            result.still_failing.append(change)
        elif failing_before:
            result.fixed.append(change)
    left = {id(ref) for queue in waiting.values() for ref in queue}
    result.removed = [Change(ref, None) for ref in base if id(ref) in left]
    slower = [c for c in matched if c.slowdown > 0 and c.slowdown >= min_slowdown]
    slower.sort(key=lambda change: change.slowdown, reverse=True)
    result.slowdowns = slower[: max(slowest, 0)]
    return result
