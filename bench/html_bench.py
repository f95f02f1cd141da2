"""The HTML page of `python -m corvane html` at scale: how long making the page
takes beside `corvane.loads` of the same document, and how long headless
Chromium takes to make it usable and to answer a click.

    pip install ".[test]" && python bench/html_bench.py            # 100,000 test cases
    python bench/html_bench.py --sizes 1000 20000 --page build/page.html

Needs Chromium and its driver (Debian: chromium, chromium-driver) and
selenium from PyPI for the browser figures; without them only the
generation figures are printed.
"""

from __future__ import annotations

import argparse
import pathlib
import shutil
import statistics
import tempfile
import time

import contenders
import dataset

import corvane
from corvane import html_report


def best_of(repeats: int, work):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        result = work()
        times.append(time.perf_counter() - start)
    return statistics.median(times), result


def browser_figures(page: pathlib.Path) -> dict[str, float]:
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service

    options = Options()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000"):
        options.add_argument(argument)
    driver = webdriver.Chrome(options=options, service=Service(shutil.which("chromedriver")))
    try:
        start = time.perf_counter()
        driver.get(page.as_uri())  # returns once the page has loaded and its script has run
        wall = time.perf_counter() - start
        ready = driver.execute_script(
            "const n = performance.getEntriesByType('navigation')[0];"
            "return document.body.dataset.ready === 'true' ? n.domContentLoadedEventEnd : -1;"
        )
        # Each interaction is synchronous: the time between its start and the
        # end of drawing (the next frame would show it).
        timing = (
            "const t0 = performance.now(); %s; "
            "document.body.offsetHeight; return performance.now() - t0;"
        )
        open_suite = driver.execute_script(timing % "document.querySelector('.suite-head').click()")
        filter_failed = driver.execute_script(
            timing % "document.querySelector('#outcome-filter [data-outcome=\"f\"]').click()"
        )
        clear_filter = driver.execute_script(
            timing % "document.querySelector('#outcome-filter [data-outcome=\"\"]').click()"
        )
        return {"load_wall_s": wall, "interactive_ms": ready, "open_suite_ms": open_suite,
                "filter_failed_ms": filter_failed, "clear_filter_ms": clear_filter}  # fmt: skip
    finally:
        driver.quit()


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[100_000])
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--page", type=pathlib.Path, help="keep the largest page here")
    parser.add_argument("--no-browser", action="store_true")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        for size in args.sizes:
            document = contenders.corvane_build_write(dataset.generate(size)).encode()
            load_s, report = best_of(args.repeats, lambda: corvane.loads(document))
            loaded = [("bench.xml", report)]
            render_s, page_text = best_of(args.repeats, lambda: html_report.render(loaded))
            page = args.page or pathlib.Path(scratch) / "page.html"
            write_s, _ = best_of(args.repeats, lambda: page.write_text(page_text, encoding="utf-8"))
            sizes = f"XML {len(document) / 1e6:6.1f} MB  page {len(page_text.encode()) / 1e6:6.1f} MB"
            times = "  ".join(f"{name} {seconds * 1e3:7.1f} ms" for name, seconds in
                              (("load", load_s), ("render", render_s), ("write", write_s)))
            print(f"{size:>9,} cases  {sizes}  {times}")
            if not args.no_browser and shutil.which("chromedriver"):
                figures = browser_figures(page)
                print("           browser: " + "  ".join(f"{k} {v:.1f}" for k, v in figures.items()))


if __name__ == "__main__":
    main()
