"""The test cases of a directory of JUnit XML reports, read in parallel with
Dask into one Parquet dataset, then queried with DuckDB: the flakiest tests
and the slowest suites.

    pip install "corvane[parquet]" "dask[distributed]" duckdb
    python examples/dask_cases.py REPORTS_DIR DATASET_DIR          # a local cluster
    python examples/dask_cases.py REPORTS_DIR DATASET_DIR --scheduler tcp://host:8786

Each task reads a batch of reports on a worker and writes their cases as one
Parquet file: only file names travel to the workers and only row counts come
back, never report objects. On a real cluster, REPORTS_DIR and DATASET_DIR
must be on storage every worker sees (a shared file system), and this file
importable by the workers (``client.upload_file``). Nothing else changes.
"""

from __future__ import annotations

import argparse
import pathlib

import corvane
from corvane.table import write_parquet

FILES_PER_TASK = 16


def report_files(directory: pathlib.Path) -> list[pathlib.Path]:
    return sorted(path for path in directory.rglob("*.xml") if path.is_file())


def convert_batch(index: int, paths: list[str], root: str, dataset: str) -> int:
    """On a worker: one Parquet file of every case of `paths`; the source
    column names each report by its path under `root`."""
    names = [str(pathlib.PurePath(path).relative_to(root)) for path in paths]
    # A generator: each report is dropped once its rows are in the table.
    table = corvane.cases_table((corvane.load(path) for path in paths), names)
    write_parquet(table, pathlib.Path(dataset) / f"part-{index:05d}.parquet")
    return table.num_rows


def build_dataset(client, reports: pathlib.Path, dataset: pathlib.Path,
                  files_per_task: int = FILES_PER_TASK) -> int:
    """Converts every report under `reports` into `dataset` (made empty of
    earlier parts first); returns the number of rows written."""
    dataset.mkdir(parents=True, exist_ok=True)
    for old in dataset.glob("part-*.parquet"):
        old.unlink()
    files = [str(path) for path in report_files(reports)]
    batches = [files[at:at + files_per_task] for at in range(0, len(files), files_per_task)]
    futures = client.map(convert_batch, range(len(batches)), batches,
                         root=str(reports), dataset=str(dataset))
    return sum(client.gather(futures))


def _query(dataset: pathlib.Path, sql: str, limit: int) -> list[tuple]:
    import duckdb

    # Parts differ in their extra attribute columns: matched by name.
    parts = str(dataset / "*.parquet")
    with duckdb.connect() as connection:
        connection.read_parquet(parts, union_by_name=True).create_view("cases")
        return connection.execute(sql, [limit]).fetchall()


def flakiest(dataset: pathlib.Path, limit: int = 10) -> list[tuple]:
    """(suite, classname, name, flaky runs, retried attempts, runs): tests
    that passed only after retrying, or were retried, most often first."""
    return _query(dataset, """
        SELECT suite, classname, name,
               count(*) FILTER (WHERE outcome = 'flaky') AS flaky,
               sum(flaky_runs + reruns) AS retries,
               count(*) AS runs
        FROM cases
        GROUP BY suite, classname, name
        HAVING retries > 0
        ORDER BY flaky DESC, retries DESC, suite, classname, name
        LIMIT ?""", limit)


def slowest_suites(dataset: pathlib.Path, limit: int = 10) -> list[tuple]:
    """(suite, seconds per run, runs, tests): the summed case time of each
    suite, averaged over the reports it appears in, slowest first."""
    return _query(dataset, """
        SELECT suite,
               sum(coalesce(time, 0)) / count(DISTINCT coalesce(source, '')) AS seconds,
               count(DISTINCT coalesce(source, '')) AS runs,
               count(*) AS tests
        FROM cases
        GROUP BY suite
        ORDER BY seconds DESC, suite
        LIMIT ?""", limit)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("reports", type=pathlib.Path, help="directory of JUnit XML files")
    parser.add_argument("dataset", type=pathlib.Path, help="directory for the Parquet files")
    parser.add_argument("--scheduler", help="a Dask scheduler's address (default: a local cluster)")
    parser.add_argument("--limit", type=int, default=10, help="rows per query (default 10)")
    args = parser.parse_args()

    from dask.distributed import Client, LocalCluster

    if args.scheduler:
        client = Client(args.scheduler)
    else:
        client = Client(LocalCluster(n_workers=2, threads_per_worker=1))
    with client:
        rows = build_dataset(client, args.reports.resolve(), args.dataset.resolve())
    print(f"{rows} test cases written to {args.dataset}")
    print("\nFlakiest tests (suite, classname, name, flaky runs, retries, runs):")
    for row in flakiest(args.dataset, args.limit):
        print("  ", row)
    print("\nSlowest suites (suite, seconds per run, runs, tests):")
    for row in slowest_suites(args.dataset, args.limit):
        print("  ", row)


if __name__ == "__main__":
    main()
