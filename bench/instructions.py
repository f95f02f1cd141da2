"""Instructions per test case of one operation, counted by callgrind, which
gives the same count whatever else the machine is doing.

    python bench/instructions.py read 2000 --shape pytest

The operation runs in a child process under `valgrind --tool=callgrind`
twice and zero times, after the same preparation; the difference of the
two totals, halved and divided by the number of cases, is printed.
Operations: read (`from_xml` + walk), load (`corvane.loads` + walk), build
(objects from plain data), to_xml (of a report built beforehand).
"""

from __future__ import annotations

import argparse
import os
import re
import subprocess
import sys

import dataset

OPERATIONS = ("read", "load", "build", "to_xml")


def child(operation: str, cases: int, shape: str, runs: int) -> None:
    import contenders

    data = dataset.generate(cases, shape=shape)
    report = contenders.corvane_build(data)
    document = report.to_xml().encode()
    run = {"read": lambda: contenders.corvane_read(document),
           "load": lambda: contenders.corvane_load(document),
           "build": lambda: contenders.corvane_build(data),
           "to_xml": report.to_xml}[operation]
    for _ in range(runs):
        result = run()
        del result


def collected(operation: str, cases: int, shape: str, runs: int) -> int:
    completed = subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", sys.executable,
         __file__, "--child", str(runs), operation, str(cases), "--shape", shape],
        check=True, capture_output=True, text=True,
        # A fixed hash seed: the count then depends on the code alone.
        env={**os.environ, "PYTHONHASHSEED": "0"})
    return int(re.search(r"Collected : (\d+)", completed.stderr).group(1))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("operation", choices=OPERATIONS)
    parser.add_argument("cases", type=int)
    parser.add_argument("--shape", choices=dataset.SHAPES, default=dataset.DEFAULT_SHAPE)
    parser.add_argument("--child", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child is not None:
        child(args.operation, args.cases, args.shape, args.child)
        return
    twice = collected(args.operation, args.cases, args.shape, 2)
    never = collected(args.operation, args.cases, args.shape, 0)
    print(f"{args.operation} {args.shape} {args.cases:,} cases: "
          f"{(twice - never) / 2 / args.cases:,.0f} instructions per case")


if __name__ == "__main__":
    main()
