"""The viewer's speed in the browser on a 50,000-reading survey: the first draw of the page
(from navigation to the pseudo-sections drawn, the survey's arrays fetched and parsed) and a
reading's panel after a click (from the click to its values, signal and decay drawn).

    cmake --build build --target ertkit-cli qc_probe      # with -DERTKIT_BUILD_BENCH=ON
    /usr/bin/python3 bench/view_bench.py build/tools/ertkit build/bench/qc_probe [--shots DIR]

Needs chromium, chromium-driver and python3-selenium (scripts/setup.sh installs them)."""

import argparse
import pathlib
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "python" / "tests"))
from view_browser import Browser, Viewer, browser_missing  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("tool")
parser.add_argument("probe")
parser.add_argument("--shots", help="folder for screenshots of the large survey")
parser.add_argument("--loads", type=int, default=5)
parser.add_argument("--clicks", type=int, default=20)
arguments = parser.parse_args()
if browser_missing():
    sys.exit(browser_missing())

with tempfile.TemporaryDirectory() as folder:
    survey = pathlib.Path(folder) / "large.binx"
    print(subprocess.run([arguments.probe, str(survey)], check=True, capture_output=True, text=True).stdout.strip())
    viewer = Viewer(arguments.tool, [survey])
    browser = Browser()
    try:
        draws = [browser.load(viewer.url) for _ in range(arguments.loads)]
        readings = browser.driver.execute_script("return window.__view.survey.files[0].x.length")
        panels = []
        for k in range(arguments.clicks):
            index = (k * 2503 + 17) % readings
            if not browser.driver.execute_script(f"return viewScreenPosition(0, {index})"):
                continue
            panels.append(browser.click_reading(0, index)[1])
        fetches = browser.driver.execute_script("return window.__view.times.panelFetch")
        if arguments.shots:
            browser.screenshot(arguments.shots, "large-survey.png")
    finally:
        browser.close()
        viewer.close()

print(f"{readings} readings")
print(f"first draw: median {statistics.median(draws):.0f} ms, worst {max(draws):.0f} ms over {len(draws)} loads (limit 1500 ms)")
print(f"reading's panel after a click: median {statistics.median(panels):.1f} ms, worst {max(panels):.1f} ms over {len(panels)} clicks "
      f"(limit 150 ms; the last one's answer from the server took {fetches:.1f} ms)")
