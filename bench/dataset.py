"""Deterministic, realistic test-report data as plain Python values.

Every writer in the comparison builds its report from the same plain data,
and every reader parses the same document, so the figures compare like with
like. The shape follows what CI runs produce: suites of a few hundred cases,
real-length names and class names, 85% passes, failures and errors carrying
multi-line tracebacks, skips with messages, captured output with terminal
colour sequences, properties and extra attributes.

A second shape, `pytest`, follows what pytest writes: parametrised names
(`test_x[param-3]`), no extra attributes, two suite properties, 8% failures
with multi-line tracebacks and coloured standard error, and coloured output
on 10% of the passes. `generate` makes the first shape unless asked.
"""

from __future__ import annotations

import datetime
import dataclasses
import random
import re
from dataclasses import dataclass, field

CASES_PER_SUITE = 400
SHAPES = ("ci", "pytest")
DEFAULT_SHAPE = "ci"

_PACKAGES = ["core", "storage", "net", "auth", "billing", "search", "render", "scheduler"]
_VERBS = ["handles", "rejects", "parses", "retries", "serializes", "computes", "validates"]
_OBJECTS = ["empty_input", "unicode_names", "large_payload", "expired_token",
            "concurrent_writes", "missing_key", "negative_offset", "nested_groups"]
_START = datetime.datetime(2024, 5, 6, 7, 8, 9, tzinfo=datetime.timezone(datetime.timedelta(hours=2)))


@dataclass
class Case:
    name: str
    classname: str
    time: datetime.timedelta
    # "pass", "failure", "error" or "skipped"
    outcome: str = "pass"
    message: str | None = None
    type: str | None = None
    description: str | None = None
    system_out: str | None = None
    system_err: str | None = None
    extra: dict[str, str] = field(default_factory=dict)
    properties: list[tuple[str, str]] = field(default_factory=list)


@dataclass
class Suite:
    name: str
    timestamp: datetime.datetime
    time: datetime.timedelta
    hostname: str
    properties: list[tuple[str, str]]
    system_out: str | None
    cases: list[Case]


def _traceback(rng: random.Random, name: str) -> str:
    lines = ["Traceback (most recent call last):"]
    for i in range(rng.randint(3, 7)):
        lines.append(f'  File "/src/app/{rng.choice(_PACKAGES)}/module_{rng.randrange(50)}.py", '
                     f"line {rng.randrange(900)}, in {name if i == 0 else rng.choice(_VERBS)}")
        lines.append('    result = client.request("GET", url, timeout=5) if ready else None')
    lines.append("AssertionError: expected <Response [200]> but got <Response [503]> & retried")
    return "\n".join(lines)


def _captured(rng: random.Random, lines: int) -> str:
    # What a colouring runner leaves in captured output: SGR sequences around
    # the level names.
    out = []
    for _ in range(lines):
        level = rng.choice(["\x1b[32mINFO\x1b[0m", "\x1b[33mWARN\x1b[0m", "\x1b[1;34mDEBUG\x1b[0m"])
        out.append(f"2024-05-06 07:08:{10 + rng.randrange(50)} {level} worker-{rng.randrange(8)} "
                   f"processed batch {rng.randrange(100000)} in {rng.randrange(500)} ms")
    return "\n".join(out)


def _case(rng: random.Random, suite: int, index: int) -> Case:
    package = rng.choice(_PACKAGES)
    name = f"test_{rng.choice(_VERBS)}_{rng.choice(_OBJECTS)}_{index}"
    module = f"tests/{package}/test_module_{suite % 37}.py"
    case = Case(
        name=name,
        classname=f"tests.{package}.test_module_{suite % 37}.TestGroup{index % 11}",
        time=datetime.timedelta(microseconds=rng.randrange(30_000_000 if rng.randrange(20) == 0
                                                           else 250_000)),
        extra={"file": module, "line": str(10 + rng.randrange(2000))},
    )
    roll = rng.randrange(100)
    if roll < 7:
        case.outcome, case.message, case.type = "failure", "assert response.status == 200", "AssertionError"
        case.description = _traceback(rng, name)
    elif roll < 10:
        case.outcome, case.message, case.type = "error", "ConnectionResetError: peer closed", "ConnectionResetError"
        case.description = _traceback(rng, name)
    elif roll < 15:
        case.outcome, case.message = "skipped", "requires network access (set NET_TESTS=1)"
    if 15 <= roll < 20 or case.outcome in ("failure", "error"):
        case.system_out = _captured(rng, 3)
    if roll == 99:
        case.properties.append(("flaky", "true"))
    return case


def _pytest_traceback(rng: random.Random, name: str, module: str) -> str:
    # pytest's long form: the failing source with its marker lines, then the
    # place of the failure.
    lines = [f"    def {name.split('[')[0]}(client, payload):",
             '        response = client.post("/api/v1/items", json=payload)',
             ">       assert response.status_code == 201",
             f"E       assert {rng.choice([400, 409, 500, 503])} == 201",
             "E        +  where 503 = <Response [503]>.status_code",
             "",
             f"{module}:{10 + rng.randrange(900)}: AssertionError"]
    return "\n".join(lines)


def _pytest_case(rng: random.Random, suite: int, index: int) -> Case:
    package = rng.choice(_PACKAGES)
    module = f"tests/{package}/test_module_{suite % 37}.py"
    param = rng.choice(["param", "empty", "unicode", "large", "negative"])
    name = f"test_{rng.choice(_VERBS)}_{rng.choice(_OBJECTS)}[{param}-{index % 12}]"
    case = Case(
        name=name,
        classname=f"tests.{package}.test_module_{suite % 37}",
        time=datetime.timedelta(microseconds=rng.randrange(5_000_000 if rng.randrange(20) == 0
                                                           else 50_000)),
    )
    roll = rng.randrange(100)
    if roll < 8:
        case.outcome, case.message = "failure", "assert 503 == 201"
        case.type = "AssertionError"
        case.description = _pytest_traceback(rng, name, module)
        case.system_err = _captured(rng, 4)
    elif rng.randrange(10) == 0:
        case.system_out = _captured(rng, 2)
    return case


_ESCAPE = re.compile(r"\x1b\[[0-9;]*m")


def without_escapes(suites: list[Suite]) -> list[Suite]:
    """A copy with the colour sequences taken out of captured output, for
    writers that refuse control characters and leave cleaning to the user."""
    def clean(text: str | None) -> str | None:
        return None if text is None else _ESCAPE.sub("", text)

    return [dataclasses.replace(suite, system_out=clean(suite.system_out),
                                cases=[dataclasses.replace(case, system_out=clean(case.system_out),
                                                           system_err=clean(case.system_err))
                                       for case in suite.cases])
            for suite in suites]


def generate(test_cases: int, seed: int = 42, shape: str = DEFAULT_SHAPE) -> list[Suite]:
    """Suites holding `test_cases` cases in all, of one of `SHAPES`, the same
    for the same seed and shape."""
    if shape not in SHAPES:
        raise ValueError(f"unknown shape {shape!r}; known: {', '.join(SHAPES)}")
    pytest_like = shape == "pytest"
    make_case = _pytest_case if pytest_like else _case
    rng = random.Random(seed)
    suites = []
    made = 0
    index = 0
    while made < test_cases:
        count = min(CASES_PER_SUITE, test_cases - made)
        cases = [make_case(rng, index, i) for i in range(count)]
        suites.append(Suite(
            name=f"tests.{rng.choice(_PACKAGES)}.suite_{index}",
            timestamp=_START + datetime.timedelta(seconds=7 * index, microseconds=rng.randrange(10**6)),
            time=sum((case.time for case in cases), datetime.timedelta()),
            hostname=f"ci-runner-{index % 16}",
            properties=[("python", "3.12.3"), ("platform", "linux-x86_64")] if pytest_like
            else [("python", "3.12.3"), ("platform", "linux-x86_64"),
                  ("seed", str(rng.randrange(100000)))],
            system_out=_captured(rng, 8) if index % 4 == 0 and not pytest_like else None,
            cases=cases,
        ))
        made += count
        index += 1
    return suites
