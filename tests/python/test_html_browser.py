"""The page of `python -m corvane html` in headless Chromium: the totals, the
failing tests and the search filter read through the DOM, hostile names and
output run nothing, and a screenshot is left for a person to look at
(build/test-artifacts/html-report.png)."""

import os
import shutil
import time
from pathlib import Path

import pytest

import corvane
from corvane.cli import main
from corvane.results import FAILING, iter_cases, total

ROOT = Path(__file__).resolve().parents[2]
REAL = ROOT / "tests" / "data" / "real"
SCREENSHOT = ROOT / "build" / "test-artifacts" / "html-report.png"

webdriver = pytest.importorskip(
    "selenium.webdriver", reason="selenium is not installed (pip install selenium)"
)
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver")
pytestmark = pytest.mark.skipif(
    not (CHROMIUM and DRIVER),
    reason="headless Chromium is not installed (Debian: apt-get install chromium chromium-driver)",
)

# Each way in flips window.pwned if the page ever interprets it as markup.
HOSTILE = "<img src=x onerror=window.pwned=1>"
HOSTILE_XML = f"""<testsuites name="hostile">
<testsuite name="&lt;/script&gt;&lt;script&gt;window.pwned=2&lt;/script&gt;">
<testcase name="{HOSTILE.replace('<', '&lt;').replace('>', '&gt;')}" classname="&lt;b&gt;x&lt;/b&gt;">
<failure message="&lt;/script&gt;&lt;svg onload=window.pwned=3&gt;">&lt;script&gt;window.pwned=4&lt;/script&gt;</failure>
<system-out>&lt;/script&gt;&lt;iframe src=javascript:window.parent.pwned=5&gt;&#x2028;</system-out>
</testcase></testsuite></testsuites>"""


@pytest.fixture(scope="module")
def browser():
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service

    options = Options()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1100,1000"):
        options.add_argument(argument)
    # The browser is not ours to sanitize: a preloaded sanitizer runtime
    # (scripts/sanitize-python) would stop it from starting.
    sanitizer = ("LD_PRELOAD", "ASAN_", "LSAN_", "UBSAN_")
    env = {k: v for k, v in os.environ.items() if not k.startswith(sanitizer)}
    driver = webdriver.Chrome(options=options, service=Service(DRIVER, env=env))
    yield driver
    driver.quit()


def until(check, seconds=10.0):
    deadline = time.monotonic() + seconds
    while not check():
        assert time.monotonic() < deadline, "the page did not get there in time"
        time.sleep(0.05)


def test_page_in_chromium(browser, tmp_path, monkeypatch):
    hostile = tmp_path / "hostile.xml"
    hostile.write_text(HOSTILE_XML, encoding="utf-8")
    monkeypatch.chdir(ROOT)  # short file names in the page and the screenshot
    real = sorted(str(path.relative_to(ROOT)) for path in REAL.glob("*.xml"))
    files = [*real, str(hostile)]
    page = tmp_path / "report.html"
    assert main(["html", *files, "-o", str(page), "--title", "Real runners"]) == 0
    loaded = [(path, corvane.load(path)) for path in files]

    browser.get(page.as_uri())
    until(lambda: browser.execute_script("return document.body.dataset.ready") == "true")
    SCREENSHOT.parent.mkdir(parents=True, exist_ok=True)
    assert browser.save_screenshot(str(SCREENSHOT)) and SCREENSHOT.stat().st_size > 10_000
    js = browser.execute_script

    # The totals, against the same counting as `summary`.
    counts = total(loaded)
    shown = js("return Object.fromEntries([...document.querySelectorAll('#stats .stat')]"
               ".map(s => [s.dataset.stat, s.querySelector('.value').textContent]))")  # fmt: skip
    for stat in ("tests", "passed", "failures", "errors", "skipped", "flaky"):
        assert shown[stat] == str(getattr(counts, stat)), stat

    # Every failing test has its card, in document order, the hostile one as plain text.
    failing = [ref.name for ref in iter_cases(loaded) if ref.outcome in FAILING]
    cards = "return [...document.querySelectorAll('#failures .test-name')].map(e => e.textContent)"
    assert js(cards) == failing
    assert failing[-1] == HOSTILE
    assert js("return window.pwned") is None
    assert js("return document.querySelectorAll('img, b, iframe, svg').length") == 1  # the chart
    assert js("return document.scripts.length") == 2

    # Search by name, then by outcome too; a hostile case opened shows its output as text.
    search = browser.find_element("id", "search")
    search.send_keys("issmall")
    # A row's name is its own text node, beside the class name and message spans.
    names = (
        "return [...document.querySelectorAll('#suites .case-row .case-name')]"
        ".map(e => [...e.childNodes].find(n => n.nodeType === 3).textContent)"
    )
    until(lambda: js(names) == ["IsSmall/0", "IsSmall/1"])
    browser.find_element("css selector", '#outcome-filter [data-outcome="f"]').click()
    assert js(names) == ["IsSmall/1"]
    match_count = js("return document.getElementById('match-count').textContent")
    assert match_count == "1 test in 1 suite match"
    search.clear()
    search.send_keys("onerror")
    until(lambda: js(names) == [HOSTILE])
    js("document.querySelector('#suites details.case').open = true")
    until(lambda: js("return document.querySelectorAll('#suites .case-detail pre').length") > 0)
    texts = js(
        "return [...document.querySelectorAll('#suites .case-detail pre')].map(p => p.textContent)"
    )
    assert texts[0] == "</script><svg onload=window.pwned=3>"
    assert "<script>window.pwned=4</script>" in texts
    assert js("return window.pwned") is None
