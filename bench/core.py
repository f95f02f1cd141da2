"""The C++ core's Google Benchmark programs: built with CMake in a build
directory of their own, run with JSON output, and reduced to MB/s rows."""

from __future__ import annotations

import json
import pathlib
import shutil
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent
PROGRAMS = ["deserialize_bench", "serialize_bench", "xml_string_bench"]


def build(build_dir: pathlib.Path) -> None:
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), *generator,
                    "-DCMAKE_BUILD_TYPE=Release", "-DCORVANE_BUILD_MODULE=OFF",
                    "-DCORVANE_BUILD_TESTS=OFF", "-DCORVANE_BUILD_BENCH=ON"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build_dir), "--target", *PROGRAMS],
                   check=True, stdout=subprocess.DEVNULL)


def run(build_dir: pathlib.Path, repetitions: int) -> list[dict]:
    """One row per benchmark: its name and median throughput in MB/s."""
    rows = []
    for program in PROGRAMS:
        completed = subprocess.run(
            [str(build_dir / program), "--benchmark_format=json",
             f"--benchmark_repetitions={repetitions}", "--benchmark_report_aggregates_only=true"],
            check=True, capture_output=True, text=True)
        for benchmark in json.loads(completed.stdout)["benchmarks"]:
            if benchmark.get("aggregate_name") != "median" or "bytes_per_second" not in benchmark:
                continue
            rows.append({
                "name": f"{program}: {benchmark['run_name']}",
                "seconds": benchmark["real_time"] * _TIME_UNIT[benchmark["time_unit"]],
                "mb_per_s": benchmark["bytes_per_second"] / 1e6,
            })
    return rows


_TIME_UNIT = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
