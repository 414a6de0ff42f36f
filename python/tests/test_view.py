"""ertkit view in a headless browser: the page loads, a clicked reading shows the library's
values, the keyboard moves between readings, rules change the counts, and a rejected reading
is saved where the library reads it back ignored. Skipped without chromium, its driver or
Selenium. ERTKIT_VIEW_SCREENSHOTS names a folder for a screenshot of each step."""

import math
import os
import shutil

import pytest

import ertkit
from conftest import program
from view_browser import Browser, Viewer, browser_missing

SHOTS = os.environ.get("ERTKIT_VIEW_SCREENSHOTS")
COLUMNS = {"rhoa": "rhoa_ohm_m", "m": "m_mV_V", "r": "r_ohm", "vp": "vp_mV", "i": "i_mA", "k": "k_m"}


@pytest.fixture
def survey(sample_survey, tmp_path):
    """A copy of the sample's first line with its recordings, which saving may write beside."""
    for path in sample_survey.iterdir():
        if path.name == "line1.binx" or path.suffix in (".vmn", ".iab"):
            shutil.copy(path, tmp_path / path.name)
    return tmp_path


@pytest.fixture
def browser():
    reason = browser_missing()
    if reason:
        pytest.skip(reason)
    b = Browser()
    yield b
    b.close()


@pytest.fixture
def viewer(survey):
    v = Viewer(program("ERTKIT_CLI"), [survey / "line1.binx", "--edit"])
    yield v
    v.close()


def test_a_clicked_reading_shows_the_librarys_values_and_its_signals(browser, viewer, survey):
    browser.load(viewer.url)
    browser.screenshot(SHOTS, "1-loaded.png")
    records = ertkit.open(survey / "line1.binx")
    for index in (5, 30):
        assert browser.click_reading(0, index)[0] == index
        shown = browser.panel_values()
        for key, column in COLUMNS.items():
            expected = getattr(records[index], column)
            assert math.isclose(shown[key], expected, rel_tol=1e-12), (index, key, shown[key], expected)
    browser.screenshot(SHOTS, "2-reading.png")
    # The panel holds the stacked signal, the decay with its gates and both sides of the injection.
    panel = browser.driver.find_element("id", "reading")
    assert len(panel.find_elements("css selector", "svg")) == 4
    assert panel.find_elements("css selector", "svg rect.gate")
    assert "vp123-4567@061423_083000.vmn" in panel.text and "in124-4568@061423_083000.iab" in panel.text
    assert "Quality control:" in panel.text
    # Reading 12's injection holds an overloaded sample, marked on its voltage trace.
    browser.click_reading(0, 12)
    assert "overload" in browser.driver.find_element("id", "qc-reasons").text
    assert len(browser.driver.find_elements("css selector", "#reading svg path.overload")) == 1
    assert browser.driver.find_elements("css selector", "#reading svg path.pps")


def test_arrow_keys_move_between_readings_and_rules_change_the_counts(browser, viewer):
    browser.load(viewer.url)
    assert browser.click_reading(0, 10)[0] == 10
    body = browser.driver.find_element("tag name", "body")
    body.send_keys("\ue014")  # right arrow
    browser.wait_reading(11)
    body.send_keys("\ue012")  # left arrow
    body.send_keys("\ue012")
    browser.wait_reading(9)
    def counts():
        return {e.get_attribute("data-reason"): int(e.text.split()[-1]) for e in browser.driver.find_elements("css selector", "#counts span")}
    assert sum(counts().values()) > 0
    # Every rule switched off gives no reason; settings that are no rule have no switch.
    for box in browser.driver.find_elements("css selector", "#rules input[type=checkbox]"):
        if box.is_displayed() and box.is_selected():
            box.click()
    browser.wait("return document.getElementById('qccount').textContent.startsWith('— 0 of')")
    assert sum(counts().values()) == 0
    browser.screenshot(SHOTS, "3-rules-off.png")


def test_a_rejected_reading_is_saved_and_read_back_ignored(browser, viewer, survey):
    browser.load(viewer.url)
    before = [r.ignore for r in ertkit.open(survey / "line1.binx")]
    assert browser.click_reading(0, 7)[0] == 7
    browser.driver.find_element("id", "reject").click()
    browser.wait("return document.getElementById('choices').textContent.startsWith('1 rejected')")
    browser.screenshot(SHOTS, "4-rejected.png")
    browser.driver.find_element("id", "save").click()
    browser.wait("return document.getElementById('saved').textContent.startsWith('written')")
    browser.screenshot(SHOTS, "5-saved.png")
    saved = [r.ignore for r in ertkit.open(survey / "line1-qc.binx")]
    assert saved == [True if i == 7 else ignore for i, ignore in enumerate(before)]
    # The input is untouched.
    original = (survey / "line1.binx").read_bytes()
    assert [r.ignore for r in ertkit.open(survey / "line1.binx")] == before
    # In place, after a backup; the page then shows the file as written, the choice made.
    browser.driver.find_element("id", "inplace").click()
    browser.driver.find_element("id", "save").click()
    browser.wait("return document.getElementById('saved').textContent.includes('.bak')")
    browser.wait("return document.getElementById('choices').textContent.startsWith('0 rejected')")
    assert [r.ignore for r in ertkit.open(survey / "line1.binx")] == saved
    assert (survey / "line1.binx.bak").read_bytes() == original
    assert browser.driver.execute_script("return window.__view.survey.files[0].ignore[7]") == 1


def test_a_read_only_viewer_hides_saving(browser, survey):
    # The server's refusal to save is the C++ tests' (ViewCommandTest).
    viewer = Viewer(program("ERTKIT_CLI"), [survey / "line1.binx"])
    try:
        browser.load(viewer.url)
        assert not browser.driver.find_element("id", "save").is_displayed()
    finally:
        viewer.close()
