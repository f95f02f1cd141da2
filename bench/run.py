"""corvane's benchmark suite: reading and writing JUnit XML from Python,
side by side with ElementTree, lxml, junitparser and junit-xml, plus the C++
core's own throughput and the peak memory of the largest size.

    pip install ".[bench]"
    python bench/run.py                 # full run, both shapes, writes build/bench-results.json
    python bench/run.py --sizes 1000 20000 --shape ci --no-core --no-memory   # quick look

Every figure is a median of several runs in this one process (the memory
rows come from one child process per measurement), so the ratios printed
compare libraries under the same machine load.
"""

from __future__ import annotations

import argparse
import ctypes
import gc
import json
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import tempfile
import time

import contenders
import core
import dataset

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_SIZES = [1_000, 20_000, 200_000, 1_000_000]


def repeats_for(size: int, requested: int | None) -> int:
    if requested:
        return requested
    # Small sizes are cheap and the most disturbed by other load: more runs.
    return 25 if size <= 1_000 else 9 if size <= 20_000 else 5 if size <= 200_000 else 3


def _c_heap_settler():
    """A call that makes the C allocator finish the work a teardown defers.

    glibc keeps freed small blocks unmerged until the next large request, so
    part of dropping one run's result (some 340,000 blocks for lxml's tree at
    20,000 cases) would be timed in the run after it. One large request made
    outside the timed region does that work there."""
    try:
        libc = ctypes.CDLL(None)
        libc.malloc.restype, libc.malloc.argtypes = ctypes.c_void_p, [ctypes.c_size_t]
        libc.free.restype, libc.free.argtypes = None, [ctypes.c_void_p]
    except (OSError, AttributeError):
        return lambda: None
    return lambda: libc.free(libc.malloc(1 << 16))


settle_c_heap = _c_heap_settler()


def median_seconds(function, argument, repeats: int) -> float:
    # One untimed run first. On the virtual machines this runs on, the first
    # touch of a page the process has not used before cost about ten times
    # that of a page it freed and took again (11 against 0.9 us a fault,
    # reading 1,000,000 cases), so whichever run first needed more memory
    # than the process had used paid for all of it, which at 1,000,000 cases
    # could move the median of three. After the warm-up every timed run
    # finds the process as the one before it left it.
    function(argument)
    times = []
    while len(times) < repeats:
        gc.collect()
        settle_c_heap()
        start = time.perf_counter()
        result = function(argument)
        times.append(time.perf_counter() - start)
        # Freed outside the timed region: teardown is not the operation.
        del result
        # A contender taking seconds a run (the quadratic ones) gets three.
        if times[0] > 2.0:
            repeats = min(repeats, 3)
    return statistics.median(times)


def time_size(size: int, repeats: int, document_path: pathlib.Path,
              shape: str = dataset.DEFAULT_SHAPE) -> list[dict]:
    data = dataset.generate(size, shape=shape)
    report = contenders.corvane_build(data)
    text = report.to_xml()
    document = text.encode()
    document_path.write_bytes(document)
    inputs = {"data": data, "clean_data": dataset.without_escapes(data), "report": report,
              "bytes": document, "str": text}
    rows = []
    for contender in contenders.CONTENDERS:
        if not contenders.available(contender) or (contender.cap and size > contender.cap):
            continue
        seconds = median_seconds(contender.run, inputs[contender.input], repeats)
        rows.append({"name": contender.name, "kind": contender.kind, "shape": shape,
                     "test_cases": size,
                     "document_bytes": len(document), "seconds": seconds,
                     "mb_per_s": len(document) / seconds / 1e6,
                     "us_per_case": seconds / size * 1e6, "repeats": repeats})
        print(f"  {shape:<6} {size:>9,} {contender.name:<42} {seconds * 1e3:10.1f} ms",
              file=sys.stderr)
    for key, names in (("vs_elementtree", contenders.BASELINE), ("vs_lxml", contenders.PEER)):
        for kind, name in names.items():
            base = next((r for r in rows if r["name"] == name), None)
            for row in rows:
                if row["kind"] == kind and base:
                    row[key] = base["seconds"] / row["seconds"]
    return rows


MEMORY_ROWS = ["corvane from_xml(bytes) + walk", "corvane load(bytes) + walk",
               "ElementTree fromstring + iter",
               "corvane build + to_xml", "corvane to_xml (built report)",
               "ElementTree build + tostring"]


def measure_memory(size: int, document_path: pathlib.Path,
                   shape: str = dataset.DEFAULT_SHAPE) -> list[dict]:
    rows = []
    for name in MEMORY_ROWS:
        completed = subprocess.run([sys.executable, str(HERE / "memory.py"), name, str(size),
                                    str(document_path), shape],
                                   check=True, capture_output=True, text=True)
        measured = json.loads(completed.stdout)
        rows.append({"name": name, "shape": shape, "test_cases": size,
                     "document_bytes": document_path.stat().st_size, **measured})
        print(f"  memory {shape:<6} {name:<42} {measured['peak_growth'] / 1e6:10.1f} MB", file=sys.stderr)
    return rows


def machine() -> dict:
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                  if line.startswith("model name")), platform.processor())
    import corvane
    return {"cpu": model, "cpus": os.cpu_count(), "python": platform.python_version(),
            "platform": platform.platform(), "load_average": os.getloadavg(),
            "corvane": getattr(corvane, "__version__", "?"),
            "date": time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime())}


def _row(results: dict, name: str, shape: str, size: int) -> dict | None:
    return next((r for r in results["python"]
                 if r["name"] == name and r["shape"] == shape and r["test_cases"] == size), None)


READ = "corvane from_xml(bytes) + walk"
BUILD_WRITE = "corvane build + to_xml"


def check_size(check, results: dict, shape: str, size: int) -> None:
    """The targets measured at one size of one shape."""
    at = f"{shape} {size:,}"
    read = _row(results, READ, shape, size)
    if read and "vs_elementtree" in read:
        check(f"from_xml(bytes)+walk vs ElementTree, {at} (x)", read["vs_elementtree"], 6.0)
    if read and "vs_lxml" in read:
        check(f"from_xml(bytes)+walk vs lxml, {at} (x)", read["vs_lxml"], 4.0)
    peer = _row(results, "junitparser fromstring + iterate", shape, size)
    if read and peer:
        check(f"from_xml(bytes)+walk vs junitparser, {at} (x)", peer["seconds"] / read["seconds"], 6.0)
    load = _row(results, "corvane load(bytes) + walk", shape, size)
    if read and load:
        check(f"load / from_xml time, {at}", load["seconds"] / read["seconds"], 1.3,
              higher_is_better=False)
    write = _row(results, BUILD_WRITE, shape, size)
    if write and "vs_elementtree" in write:
        check(f"build+to_xml vs ElementTree, {at} (x)", write["vs_elementtree"], 3.5)
    alone = _row(results, "corvane to_xml (built report)", shape, size)
    if alone:
        check(f"to_xml alone, {at} (MB/s)", alone["mb_per_s"], 1000.0)


def check_targets(results: dict) -> list[dict]:
    """The project's performance targets, each with the figure measured in
    this run; a target whose rows were not run is left out."""
    checks = []

    def check(what: str, value: float, limit: float, higher_is_better: bool = True) -> None:
        met = value >= limit if higher_is_better else value <= limit
        checks.append({"target": what, "measured": round(value, 3), "limit": limit, "met": met})

    for shape in results["shapes"]:
        sizes = sorted({r["test_cases"] for r in results["python"] if r["shape"] == shape})
        for size in sizes:
            check_size(check, results, shape, size)
        if 20_000 in sizes and 1_000_000 in sizes:
            for name in (READ, BUILD_WRITE):
                small = _row(results, name, shape, 20_000)
                large = _row(results, name, shape, 1_000_000)
                if small and large:
                    check(f"{shape}: {name}: time per case 1M / 20k",
                          large["us_per_case"] / small["us_per_case"], 1.2, higher_is_better=False)
    core_targets = {"deserialize": 1000.0, "BM_to_string": 2000.0, "PlainText": 2000.0}
    for row in results["core"]:
        for key, limit in core_targets.items():
            if key in row["name"]:
                check(f"core {row['name']} (MB/s)", row["mb_per_s"], limit)
    for shape in results["shapes"]:
        memory = {row["name"]: row for row in results["memory"] if row["shape"] == shape}
        if {READ, "ElementTree fromstring + iter"} <= memory.keys():
            check(f"{shape}: reading peak / ElementTree's peak",
                  memory[READ]["peak_growth"] / memory["ElementTree fromstring + iter"]["peak_growth"],
                  0.5, higher_is_better=False)
        alone = memory.get("corvane to_xml (built report)")
        if alone and alone["output_length"]:
            check(f"{shape}: to_xml peak / output size",
                  alone["peak_growth"] / alone["output_length"], 2.0, higher_is_better=False)
    return checks


def print_table(results: dict) -> None:
    print(f"\nMachine: {results['machine']['cpu']} x{results['machine']['cpus']}, "
          f"Python {results['machine']['python']}, load {results['machine']['load_average']}, "
          f"shapes {', '.join(results['shapes'])}")
    for kind in ("read", "write"):
        print(f"\n{kind.upper():<44} {'shape':<6} {'cases':>9} {'doc MB':>7} {'median s':>9} "
              f"{'MB/s':>7} {'us/case':>8} {'vs ET':>6} {'vs lxml':>7}")
        for row in results["python"]:
            if row["kind"] != kind:
                continue
            ratios = [f"{row[key]:5.2f}x" if key in row else "" for key in ("vs_elementtree", "vs_lxml")]
            print(f"{row['name']:<44} {row['shape']:<6} {row['test_cases']:>9,} "
                  f"{row['document_bytes'] / 1e6:7.1f} {row['seconds']:9.4f} {row['mb_per_s']:7.1f} "
                  f"{row['us_per_case']:8.2f} {ratios[0]:>6} {ratios[1]:>7}")
    if results["core"]:
        print(f"\n{'CORE (Google Benchmark, median)':<60} {'ms':>9} {'MB/s':>8}")
        for row in results["core"]:
            print(f"{row['name']:<60} {row['seconds'] * 1e3:9.2f} {row['mb_per_s']:8.0f}")
    if results["memory"]:
        print(f"\n{'PEAK MEMORY (RSS growth)':<44} {'shape':<6} {'cases':>9} {'doc MB':>7} "
              f"{'peak MB':>8} {'out MB':>7}")
        for row in results["memory"]:
            out = row["output_length"]
            print(f"{row['name']:<44} {row['shape']:<6} {row['test_cases']:>9,} "
                  f"{row['document_bytes'] / 1e6:7.1f} {row['peak_growth'] / 1e6:8.1f} {out / 1e6 if out else 0:7.1f}")
    if results["targets"]:
        print(f"\n{'TARGETS':<60} {'measured':>9} {'limit':>7}")
        for row in results["targets"]:
            print(f"{row['target']:<60} {row['measured']:9.2f} {row['limit']:7.1f}  "
                  f"{'met' if row['met'] else 'MISSED'}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=DEFAULT_SIZES,
                        help="numbers of test cases (default: %(default)s)")
    parser.add_argument("--repeats", type=int, help="runs per median (default: 25, 9, 5 or 3 by size)")
    parser.add_argument("--json", default=str(core.ROOT / "build" / "bench-results.json"),
                        help="where to write the results (default: %(default)s)")
    parser.add_argument("--core-build-dir", default=str(core.ROOT / "build" / "bench"),
                        help="CMake build directory for the core benchmarks")
    parser.add_argument("--no-core", action="store_true", help="skip the C++ core benchmarks")
    parser.add_argument("--no-memory", action="store_true", help="skip the peak memory rows")
    parser.add_argument("--shape", choices=dataset.SHAPES, nargs="+", default=list(dataset.SHAPES),
                        help="the generated documents' shapes (default: %(default)s)")
    args = parser.parse_args()

    results = {"machine": machine(), "shapes": args.shape, "python": [], "core": [], "memory": []}
    with tempfile.TemporaryDirectory() as scratch:
        # One file per shape, holding the document of its largest size (the
        # one written last) for the memory rows.
        documents = {shape: pathlib.Path(scratch) / f"report-{shape}.xml" for shape in args.shape}
        for shape in args.shape:
            for size in sorted(args.sizes):
                results["python"] += time_size(size, repeats_for(size, args.repeats),
                                               documents[shape], shape)
        # After every timed row: the measuring processes each take up to
        # gigabytes, and in the runs that measured between the shapes, writing
        # 200,000 pytest-shape cases right after them took 41 ms where it
        # takes 28 to 30 without them before it.
        if not args.no_memory:
            for shape in args.shape:
                results["memory"] += measure_memory(max(args.sizes), documents[shape], shape)
    if not args.no_core:
        build_dir = pathlib.Path(args.core_build_dir)
        core.build(build_dir)
        results["core"] = core.run(build_dir, repetitions=5)
    results["machine"]["load_average_end"] = os.getloadavg()
    results["targets"] = check_targets(results)
    pathlib.Path(args.json).write_text(json.dumps(results, indent=2) + "\n")
    print_table(results)
    print(f"\nResults written to {args.json}")


if __name__ == "__main__":
    main()
