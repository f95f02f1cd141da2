"""Walking a document larger than memory with corvane.iter_suites: a
generated document of --gigabytes (2 by default) is read suite by suite, by
the strict and the tolerant reader, each in a process of its own, and the
peak resident set of that process is reported beside the time.

    python bench/large_file.py                  # 2 GB, into a temporary file
    python bench/large_file.py --gigabytes 0.5 --keep /tmp/big.xml

The document is written a suite at a time (suites of 400 cases of
bench/dataset.py, copied under new names), so writing it needs little
memory either. The walk touches every case's status.
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
TARGET_PEAK_BYTES = 200 * 10**6


def write_document(path: pathlib.Path, size: int) -> tuple[int, int]:
    """Writes a document of at least `size` bytes; gives its suites and cases."""
    sys.path.insert(0, str(HERE))
    import contenders
    import dataset

    text = contenders.corvane_build(dataset.generate(4 * dataset.CASES_PER_SUITE)).to_xml()
    suites = re.findall(r"    <testsuite .*?\n    </testsuite>\n", text, flags=re.S)
    cases_per_copy = 4 * dataset.CASES_PER_SUITE
    written = copies = 0
    with open(path, "w", encoding="utf-8") as out:
        head = '<?xml version="1.0" encoding="UTF-8"?>\n<testsuites name="large">\n'
        written += out.write(head)
        while written < size:
            for index, suite in enumerate(suites):
                written += out.write(suite.replace('name="tests.', f'name="copy{copies}.tests.', 1))
            copies += 1
        written += out.write("</testsuites>\n")
    return copies * len(suites), copies * cases_per_copy


def walk(path: str, strict: bool) -> None:
    """Run in the child: the walk, then its figures as JSON on stdout."""
    import corvane

    start = time.perf_counter()
    suites = cases = 0
    with corvane.iter_suites(path, strict=strict) as stream:
        for suite in stream:
            suites += 1
            for case in suite.test_cases:
                case.status
                cases += 1
    seconds = time.perf_counter() - start
    peak_kib = next(int(line.split()[1]) for line in open("/proc/self/status")
                    if line.startswith("VmHWM:"))
    print(json.dumps({"seconds": seconds, "suites": suites, "cases": cases,
                      "peak_rss": peak_kib * 1024}))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--gigabytes", type=float, default=2.0)
    parser.add_argument("--keep", help="write the document here and keep it (reused if present)")
    parser.add_argument("--child", nargs=2, metavar=("PATH", "READER"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        walk(args.child[0], args.child[1] == "strict")
        return

    with tempfile.TemporaryDirectory() as scratch:
        path = pathlib.Path(args.keep) if args.keep else pathlib.Path(scratch) / "large.xml"
        size = int(args.gigabytes * 1e9)
        if not (args.keep and path.exists() and path.stat().st_size >= size):
            started = time.perf_counter()
            suites, cases = write_document(path, size)
            print(f"wrote {path.stat().st_size / 1e9:.2f} GB ({suites:,} suites, {cases:,} cases) "
                  f"in {time.perf_counter() - started:.0f} s", file=sys.stderr)
        document_bytes = path.stat().st_size
        rows = []
        for reader in ("strict", "tolerant"):
            done = subprocess.run([sys.executable, __file__, "--child", str(path), reader],
                                  check=True, capture_output=True, text=True)
            row = {"reader": reader, "document_bytes": document_bytes, **json.loads(done.stdout)}
            row["mb_per_s"] = document_bytes / row["seconds"] / 1e6
            row["met"] = row["peak_rss"] < TARGET_PEAK_BYTES
            rows.append(row)
            print(f"iter_suites {reader:<9} {document_bytes / 1e9:5.2f} GB {row['suites']:>8,} suites "
                  f"{row['seconds']:8.1f} s {row['mb_per_s']:7.1f} MB/s  peak RSS "
                  f"{row['peak_rss'] / 1e6:6.1f} MB ({'met' if row['met'] else 'MISSED'}: "
                  f"< {TARGET_PEAK_BYTES / 1e6:.0f} MB)")
    out = HERE.parent / "build" / "bench-large-file.json"
    out.parent.mkdir(exist_ok=True)
    out.write_text(json.dumps({"date": time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime()),
                               "load_average": os.getloadavg(), "rows": rows}, indent=2) + "\n")


if __name__ == "__main__":
    main()
