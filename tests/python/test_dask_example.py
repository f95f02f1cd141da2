"""examples/dask_cases.py end to end: two copies of the real reports read on
a local Dask cluster into one Parquet dataset, whose DuckDB answers match
what the report objects say."""

import collections
import importlib.util
import pathlib
import shutil

import pytest

import corvane
from corvane.results import outcome

pytest.importorskip("pyarrow", reason="pyarrow is a test dependency (.[test])")
pytest.importorskip("duckdb", reason="duckdb is a test dependency (.[test])")
distributed = pytest.importorskip("dask.distributed", reason="dask is a test dependency (.[test])")

ROOT = pathlib.Path(__file__).parent.parent.parent
REAL = ROOT / "tests" / "data" / "real"


def load_example():
    spec = importlib.util.spec_from_file_location("dask_cases", ROOT / "examples" / "dask_cases.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def expected_answers(reports):
    """Per test: flaky runs, retries and runs; per suite: summed time and the
    reports it is in, from the objects."""
    tests = collections.defaultdict(lambda: [0, 0, 0])
    suites = collections.defaultdict(lambda: [0.0, set()])
    for source, report in reports:
        for suite in report.test_suites:
            suites[suite.name][1].add(source)
            for case in suite.test_cases:
                status = case.status
                counts = tests[(suite.name, case.classname, case.name)]
                counts[0] += outcome(status) == "flaky"
                counts[1] += len(getattr(status, "flaky_runs", ()) or getattr(status, "reruns", ()))
                counts[2] += 1
                suites[suite.name][0] += case.time.total_seconds() if case.time else 0.0
    flaky = sorted(((*key, *counts) for key, counts in tests.items() if counts[1]),
                   key=lambda row: (-row[3], -row[4], row[0], row[1] or "", row[2]))
    slow = {name: total / len(sources) for name, (total, sources) in suites.items()}
    return flaky, slow


def test_reports_to_parquet_on_a_local_cluster_then_duckdb(tmp_path):
    example = load_example()
    reports = tmp_path / "reports"
    for run in ("run1", "run2"):
        shutil.copytree(REAL, reports / run, ignore=shutil.ignore_patterns("sources", "*.md"))
    loaded = [(str(path.relative_to(reports)), corvane.load(path))
              for path in example.report_files(reports)]
    dataset = tmp_path / "dataset"
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            # Three files a task: several tasks, on both workers.
            rows = example.build_dataset(client, reports, dataset, files_per_task=3)
    assert rows == sum(report.tests for _, report in loaded)
    assert len(list(dataset.glob("part-*.parquet"))) == -(-len(loaded) // 3)

    flaky, slow = expected_answers(loaded)
    assert example.flakiest(dataset, limit=100) == flaky
    slowest = example.slowest_suites(dataset, limit=3)
    assert [name for name, *_ in slowest] == sorted(slow, key=lambda n: (-slow[n], n))[:3]
    assert [seconds for _, seconds, *_ in slowest] == pytest.approx(sorted(slow.values())[::-1][:3])
