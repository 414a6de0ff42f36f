"""The viewer (ertkit view) driven by Debian's headless chromium through Selenium, for the
browser tests and the viewer's benchmark."""

import os
import shutil
import subprocess


def browser_missing():
    """Why the browser tests cannot run here, or None."""
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "python3-selenium is not installed"
    if not shutil.which("chromedriver") and not os.path.exists("/usr/bin/chromedriver"):
        return "chromium-driver is not installed"
    if not shutil.which("chromium"):
        return "chromium is not installed"
    return None


class Viewer:
    """`ertkit view ARGS` running, its URL read from its first line; stopped on close."""

    def __init__(self, tool, args, cwd=None):
        self.process = subprocess.Popen([tool, "view", *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, cwd=cwd)
        self.url = self.process.stdout.readline().strip()
        if not self.url.startswith("http://127.0.0.1:"):
            self.close()
            raise RuntimeError("ertkit view printed no URL: " + self.process.stderr.read())

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=30)


class Browser:
    """Headless chromium on a page, with what the tests and the benchmark ask of the viewer."""

    def __init__(self, width=1500, height=1100):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", f"--window-size={width},{height}"]:
            options.add_argument(argument)
        options.binary_location = shutil.which("chromium")
        driver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
        # The browser is no program of ours: a sanitizer preloaded for the extension under
        # test must not reach it.
        env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
        self.driver = webdriver.Chrome(service=Service(driver, env=env), options=options)

    def close(self):
        self.driver.quit()

    def wait(self, script, timeout=60):
        """The first true value `script` returns, polled; raises after `timeout` seconds."""
        from selenium.webdriver.support.ui import WebDriverWait
        return WebDriverWait(self.driver, timeout, poll_frequency=0.02).until(lambda d: d.execute_script(script))

    def load(self, url):
        self.driver.get(url)
        self.wait("return document.body.dataset.ready === '1'")
        return self.driver.execute_script("return window.__view.times.firstDraw")

    def click_reading(self, file, index):
        """Clicks where reading `index` is drawn and waits for a reading's panel; gives the
        reading shown (another one drawn at the same place may be the one nearest the click)
        and the time from the click to its panel (ms)."""
        from selenium.webdriver.common.action_chains import ActionChains
        where = self.driver.execute_script(f"return viewScreenPosition({file}, {index})")
        canvas = self.driver.find_element("id", where["canvas"])
        self.driver.execute_script("arguments[0].scrollIntoView({block: 'center'}); window.__view.times.panel = null;", canvas)
        # Offsets are from the element's centre.
        ActionChains(self.driver).move_to_element_with_offset(canvas, round(where["x"] - where["width"] / 2),
                                                              round(where["y"] - where["height"] / 2)).click().perform()
        self.wait("return window.__view.times.panel !== null")
        shown = int(self.driver.find_element("id", "reading-title").get_attribute("data-index"))
        return shown, self.driver.execute_script("return window.__view.times.panel")

    def wait_reading(self, index):
        self.wait(f"const t = document.getElementById('reading-title'); return t && t.dataset.index === '{index}'")

    def panel_values(self):
        """The values the reading's panel shows, by key, as the page holds them."""
        return self.driver.execute_script(
            "const v = {}; for (const td of document.querySelectorAll('#reading td[data-key]'))"
            " v[td.dataset.key] = td.dataset.value === '' ? null : Number(td.dataset.value); return v;")

    def screenshot(self, folder, name):
        if folder:
            os.makedirs(folder, exist_ok=True)
            self.driver.save_screenshot(os.path.join(folder, name))

