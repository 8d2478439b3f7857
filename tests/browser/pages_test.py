#!/usr/bin/python3
"""The web pages in a real browser: headless chromium driven through chromedriver.

A headless recorder on emulated units records a few calls and keeps one in progress; lvsvr
serves its folder on a free port of 127.0.0.1; three users log in. The test logs in, searches a
number, plays a call to its end (the bytes served equal pvtool convert's WAV), seeks in it,
changes a text and deletes a call as a supervisor and sees the recorder's list change, finds no
edit or delete controls for a listener, manages a user as an administrator, watches the lines
(and the recorder stopping), and logs out, after which the old cookie no longer works.
Screenshots of every page at desktop (1280 x 800) and phone (360 x 740) width are left in the
artefacts folder.

Exit status 0 passed, 1 failed, 77 skipped (no chromium, chromedriver or selenium).
"""

import argparse
import http.client
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback

SKIP = 77
CHROMIUM = os.environ.get("PARVOLIN_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("PARVOLIN_CHROMEDRIVER", "/usr/bin/chromedriver")

try:
    from selenium import webdriver
    from selenium.common.exceptions import TimeoutException, WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    webdriver = None

# Calls of about three seconds that end at once (one unanswered, one caller number with "<"),
# and a long call on port 4 that is still recording while the test runs, in which a digit is
# pressed every second (its line's detail grows).
SCENARIO = """unit PV0001
0.5 1/1 ring
+0.2 1/1 callerid A 5551234
+0.3 1/1 answer
+0 1/1 talk 3 speech:1
+3 1/1 callend 5551234
0.5 1/2 dialout 0301234567
+3.5 1/2 talk 3 speech:2
+3 1/2 calloutend 0301234567
1 1/3 ring
+0.2 1/3 callerid A 0891234
+0.3 1/3 answer
+0 1/3 talk 2 speech:3
+2 1/3 callend 0891234
4 1/3 ring
+0.2 1/3 callerid B 0179876543
+4 1/3 callend 0179876543
9 1/1 ring
+0.2 1/1 callerid A 555<0P?
+0.3 1/1 answer
+0 1/1 talk 2 speech:4
+2 1/1 callend 555<0P?
2 1/4 ring
+0.3 1/4 answer
+0 1/4 talk 900 speech:5
+900 1/4 callend 777
""" + "".join(f"{t} 1/4 digit {t % 9 + 1}\n" for t in range(3, 600))  # one a second on line 4
KEPT_CALLS = 5
PASSWORDS = {"anna": "anna-admin-pw-1", "sam": "sam-supervisor-pw", "lee": "lee-listener-pw"}
ROLES = {"anna": "admin", "sam": "supervisor", "lee": "listener"}
WAIT = 30  # seconds for anything that involves the recorder or a page load on a loaded machine


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def wait_until(condition, what, timeout=WAIT, interval=0.1):
    end = time.monotonic() + timeout
    last = None
    while time.monotonic() < end:
        try:
            last = condition()
            if last:
                return last
        except (Failure, OSError, ValueError, KeyError) as e:
            last = e
        time.sleep(interval)
    raise Failure(f"{what} (after {timeout} s; last: {last!r})")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Setup:
    """The folders, the recorder, the users and lvsvr of one run."""

    def __init__(self, args):
        self.args = args
        self.root = tempfile.mkdtemp(prefix="parvolin-browser-")
        self.home = os.path.join(self.root, "home")
        self.work = os.path.join(self.root, "work")
        self.runtime = os.path.join(self.root, "runtime")
        self.state = os.path.join(self.root, "web-state")
        self.folder = os.path.join(self.work, "rec")
        for d in (self.home, self.work, self.runtime):
            os.makedirs(d)
        os.chmod(self.runtime, 0o700)
        self.env = dict(os.environ)
        self.env.update({
            "HOME": self.home,
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_STATE_HOME": os.path.join(self.home, "state"),
            "XDG_RUNTIME_DIR": self.runtime,
            "RUNTIME_DIRECTORY": "",
            "DISPLAY": "",
            "WAYLAND_DISPLAY": "",
        })
        self.recorder = None
        self.server = None
        self.port = 0
        self.list_file = None

    def log(self, name):
        return open(os.path.join(self.root, name), "ab")

    def pvtool(self, *args, stdin=None, check_status=True):
        run = subprocess.run([self.args.pvtool, *args], input=stdin, capture_output=True,
                             env=self.env, cwd=self.work, timeout=120)
        if check_status and run.returncode != 0:
            raise Failure(f"pvtool {' '.join(args)}: status {run.returncode}: "
                          f"{run.stdout.decode(errors='replace')}"
                          f"{run.stderr.decode(errors='replace')}")
        return run

    def status(self):
        run = self.pvtool("status", "--folder", self.folder, "--json", check_status=False)
        return json.loads(run.stdout) if run.returncode == 0 else None

    def start_recorder(self):
        scenario = os.path.join(self.work, "calls.scn")
        with open(scenario, "w") as f:
            f.write(SCENARIO)
        self.recorder = subprocess.Popen(
            [self.args.parvolin, "--headless", "--simulate=" + scenario, "--config",
             os.path.join(self.work, "p.conf"), "--folder", self.folder],
            env=self.env, cwd=self.work, stdout=self.log("recorder-out.txt"),
            stderr=self.log("recorder-err.txt"))

        def recorded():
            s = self.status()
            return s if (s and s["capacity"]["loggedItems"] == KEPT_CALLS and
                         s["lines"][3]["inCall"]) else None
        status = wait_until(recorded, "the recorder kept its calls and records the long one",
                            timeout=90)
        self.list_file = status["list"]
        wait_until(lambda: self.list_rows() == KEPT_CALLS, "the rows reach the list file")

    def stop_recorder(self):
        if self.recorder and self.recorder.poll() is None:
            self.recorder.send_signal(signal.SIGTERM)
            try:
                self.recorder.wait(30)
            except subprocess.TimeoutExpired:
                self.recorder.kill()
                self.recorder.wait()

    def list_text(self):
        with open(self.list_file, "rb") as f:
            return f.read().decode("latin-1")

    def list_rows(self):
        return self.list_text().count("<tr><td>")

    def add_users(self):
        for name, role in ROLES.items():
            self.pvtool("web-user", "add", name, "--role", role, "--state", self.state,
                        stdin=(PASSWORDS[name] + "\n").encode())

    def start_server(self):
        for _ in range(3):
            self.port = free_port()
            self.server = subprocess.Popen(
                [self.args.lvsvr, "--folder", self.folder, "--listen",
                 f"127.0.0.1:{self.port}", "--state", self.state, "--config",
                 os.path.join(self.work, "p.conf")],
                env=self.env, cwd=self.work, stdout=self.log("lvsvr-out.txt"),
                stderr=self.log("lvsvr-err.txt"))
            try:
                wait_until(lambda: self.request("GET", "/login")[0] == 200 or
                           self.server.poll() is not None, "lvsvr answers", timeout=20)
            except Failure:
                pass
            if self.server.poll() is None:
                return
        raise Failure("lvsvr did not start: " + self.read("lvsvr-err.txt"))

    def stop_server(self):
        if self.server and self.server.poll() is None:
            self.server.send_signal(signal.SIGTERM)
            try:
                self.server.wait(15)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()

    def read(self, name):
        try:
            with open(os.path.join(self.root, name), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def request(self, method, path, cookie=None, headers=None, body=None):
        """(status, headers, bytes) of one request to lvsvr."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        try:
            all_headers = dict(headers or {})
            if cookie:
                all_headers["Cookie"] = "pvsession=" + cookie
            connection.request(method, path, body=body, headers=all_headers)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def base(self):
        return f"http://127.0.0.1:{self.port}"

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class Browser:
    def __init__(self, artefacts):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  "--window-size=1280,800", "--hide-scrollbars", "--mute-audio",
                  "--autoplay-policy=no-user-gesture-required", "--lang=en-US",
                  "--disable-extensions", "--no-first-run", "--password-store=basic"):
            options.add_argument(a)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_page_load_timeout(WAIT)
        self.artefacts = artefacts
        self.console = []
        self.width, self.height = 1280, 800

    def quit(self):
        try:
            self.driver.quit()
        except WebDriverException:
            pass

    def size(self, width, height):
        self.width, self.height = width, height
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})

    def go(self, url):
        self.driver.get(url)

    def find(self, selector, timeout=WAIT):
        return WebDriverWait(self.driver, timeout).until(
            lambda d: d.find_element(By.CSS_SELECTOR, selector))

    def all(self, selector):
        return self.driver.find_elements(By.CSS_SELECTOR, selector)

    def visible(self, selector):
        return any(e.is_displayed() for e in self.all(selector))

    def text(self, selector):
        return self.find(selector).text

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait_text(self, selector, pattern, what, timeout=WAIT):
        regex = re.compile(pattern)

        def matches():
            nodes = self.all(selector)
            return nodes and regex.search(nodes[0].text)
        try:
            WebDriverWait(self.driver, timeout, poll_frequency=0.1).until(lambda d: matches())
        except TimeoutException:
            nodes = self.all(selector)
            raise Failure(f"{what}: {selector} shows {nodes[0].text if nodes else None!r}, "
                          f"not /{pattern}/")
        return self.all(selector)[0].text

    def shot(self, name, full_page=False):
        """A screenshot at the current width; a phone's of the whole page's length."""
        time.sleep(0.4)  # fonts and the last layout
        if full_page:
            height = int(self.js("return document.documentElement.scrollHeight"))
            self.size(self.width, max(self.height, min(height, 6000)))
            time.sleep(0.3)
        path = os.path.join(self.artefacts, name + ".png")
        self.driver.save_screenshot(path)
        if full_page:
            self.size(self.width, 740 if self.width < 600 else 800)
        return path

    def collect_console(self):
        self.console.extend(self.driver.get_log("browser"))

    def cookie(self):
        c = self.driver.get_cookie("pvsession")
        return c["value"] if c else None


def phone_and_desktop(browser, url, name, ready, full_page=True):
    """Screenshots of a page at both widths; `ready` waits for its content."""
    for width, height, tag in ((1280, 800, "desktop"), (360, 740, "phone")):
        browser.size(width, height)
        browser.go(url)
        ready()
        wide = browser.js("return document.documentElement.scrollWidth")
        check(wide <= width, f"{url} is {wide} px wide in a window of {width} px")
        browser.shot(f"{name}-{tag}", full_page and tag == "phone")
    browser.size(1280, 800)


def log_in(browser, setup, name, password=None):
    browser.go(setup.base() + "/login")
    browser.find("#name").clear()
    browser.find("#name").send_keys(name)
    browser.find("#password").send_keys(password or PASSWORDS[name])
    browser.find("#login-button").click()
    WebDriverWait(browser.driver, WAIT).until(lambda d: d.current_url.endswith("/calls"))
    browser.wait_text("#who-name", "^" + re.escape(name) + "$", "the page names the user")


def log_out(browser, setup):
    old = browser.cookie()
    check(old, "a session cookie while logged in")
    browser.find("#logout").click()
    WebDriverWait(browser.driver, WAIT).until(lambda d: "/login" in d.current_url)
    status = setup.request("GET", "/api/session", cookie=old)[0]
    check(status == 401, f"the old cookie after logging out gets {status}, not 401")
    status, headers, _ = setup.request("GET", "/calls", cookie=old)
    check(status == 303 and headers.get("Location", "").endswith("/login"),
          f"/calls with the old cookie answers {status} {headers.get('Location')}")


def rows(browser):
    return browser.all("#call-rows tr")


def row_of(browser, text):
    for tr in rows(browser):
        if text in tr.find_element(By.CSS_SELECTOR, "td.text").text:
            return tr
    raise Failure(f"no call row with {text!r}: " + " | ".join(r.text for r in rows(browser)))


def wait_rows(browser, count_pattern):
    browser.wait_text("#result-count", count_pattern, "the calls page counts its calls")
    WebDriverWait(browser.driver, WAIT).until(
        lambda d: d.find_element(By.ID, "calls").get_attribute("aria-busy") is None)


def test_login_page(browser, setup):
    phone_and_desktop(browser, setup.base() + "/login", "login",
                      lambda: browser.find("#login-button"), full_page=False)
    browser.go(setup.base() + "/login")
    browser.find("#name").send_keys("sam")
    browser.find("#password").send_keys("not the password")
    browser.find("#password").send_keys(Keys.ENTER)
    text = browser.wait_text("#login-error", r"\S", "a wrong password is told")
    check("Wrong name or password." in text, f"wrong password message: {text!r}")
    browser.shot("login-wrong-password-desktop")

    # Wrong again and again, until the server asks for a wait: the page counts it down, then
    # lets the user try once more.
    for _ in range(15):
        if "Too many" in browser.text("#login-error"):
            break
        browser.find("#password").send_keys("still not it")
        browser.find("#password").send_keys(Keys.ENTER)
        WebDriverWait(browser.driver, WAIT).until(lambda d: d.execute_script(
            "return document.getElementById('password').value === '' &&"
            " !document.getElementById('login-error').hidden"))
    text = browser.text("#login-error")
    check(re.search(r"Too many failed attempts\. Try again in \d+ seconds?\.", text),
          f"the wait is told: {text!r}")
    check(not browser.find("#login-button").is_enabled(), "Log in waits")
    browser.shot("login-wait-desktop")
    browser.wait_text("#login-error", r"You may try again now\.", "the wait ends", timeout=70)
    check(browser.find("#login-button").is_enabled(), "Log in is back")
    status = setup.request("GET", "/calls")[0]
    check(status == 303, f"/calls without a session answers {status}, not 303")


def test_supervisor(browser, setup, artefacts):
    log_in(browser, setup, "sam")
    wait_rows(browser, rf"^1–{KEPT_CALLS} of {KEPT_CALLS}$")
    shown = [r.find_element(By.CSS_SELECTOR, "td.date").text + " " +
             r.find_element(By.CSS_SELECTOR, "td.time").text for r in rows(browser)]
    check(shown == sorted(shown, reverse=True), f"newest first: {shown}")

    # A caller number with "<" is text, never markup.
    odd = row_of(browser, "555<0P?")
    check(not odd.find_elements(By.CSS_SELECTOR, "td.text *:not(span)"), "the number is text")

    # Search a number.
    browser.find("#q").send_keys("5551234")
    browser.find("#q").send_keys(Keys.ENTER)
    wait_rows(browser, r"^1–1 of 1 matching call$")
    check("q=5551234" in browser.driver.current_url, "the search is in the page's address")
    tr = row_of(browser, "5551234")
    call_id = tr.get_attribute("data-id")

    # Play it to its end: the element reached its end without an error.
    tr.find_element(By.CSS_SELECTOR, "button[data-action=play]").click()
    WebDriverWait(browser.driver, WAIT).until(
        lambda d: d.execute_script("const a = document.getElementById('player');"
                                   "return a.ended || !!a.error;"))
    error = browser.js("const e = document.getElementById('player').error;"
                       "return e ? e.code + ' ' + e.message : null;")
    check(error is None, f"the player failed: {error}")
    duration = browser.js("return document.getElementById('player').duration")
    check(2.5 < duration < 4.5, f"the call plays {duration} s, not about 3")
    browser.shot("calls-playing-desktop")

    # Seek back into it (the browser asks for a byte range) and play to the end again.
    browser.js("const a = document.getElementById('player'); a.currentTime = 1.0; a.play();")
    WebDriverWait(browser.driver, WAIT).until(
        lambda d: d.execute_script("const a = document.getElementById('player');"
                                   "return !a.ended && a.currentTime >= 1.0 || !!a.error;"))
    WebDriverWait(browser.driver, WAIT).until(
        lambda d: d.execute_script("return document.getElementById('player').ended"))

    # The bytes served are pvtool convert's WAV, whole and in a range.
    cookie = browser.cookie()
    status, headers, served = setup.request("GET", f"/api/calls/{call_id}/audio", cookie=cookie)
    check(status == 200 and headers.get("Content-Type", "").startswith("audio/wav"),
          f"audio answers {status} {headers.get('Content-Type')}")
    call = json.loads(setup.request("GET", f"/api/calls/{call_id}", cookie=cookie)[2])
    recording = os.path.join(setup.folder, call["file"])
    converted = os.path.join(setup.root, "converted.wav")
    setup.pvtool("convert", "-o", converted, recording)
    with open(converted, "rb") as f:
        expected = f.read()
    with open(os.path.join(artefacts, "served.wav"), "wb") as f:
        f.write(served)
    check(served == expected, f"served WAV ({len(served)} bytes) differs from pvtool convert's "
                              f"({len(expected)} bytes)")
    status, headers, part = setup.request("GET", f"/api/calls/{call_id}/audio", cookie=cookie,
                                          headers={"Range": "bytes=1000-1999"})
    check(status == 206 and part == expected[1000:2000],
          f"a range answers {status} with {len(part)} bytes")
    link = tr.find_element(By.CSS_SELECTOR, "a.download").get_attribute("href")
    status, headers, downloaded = setup.request("GET", link.replace(setup.base(), ""),
                                                cookie=cookie)
    check(status == 200 and downloaded == expected and
          "attachment" in headers.get("Content-Disposition", ""),
          f"the WAV link answers {status} {headers.get('Content-Disposition')}")

    # Change a text: the page shows it once the recorder applied it, and the list has it.
    browser.find("#clear-button").click()
    wait_rows(browser, rf"^1–{KEPT_CALLS} of {KEPT_CALLS}$")
    tr = row_of(browser, "0301234567")
    tr.find_element(By.CSS_SELECTOR, "button[data-action=edit]").click()
    field = browser.find("#call-rows form.edit-form input")
    check(browser.js("return document.activeElement === arguments[0]", field),
          "the text field has the focus")
    field.send_keys(Keys.CONTROL, "a")
    field.send_keys("Supplier order 42")
    browser.shot("calls-editing-desktop")
    field.send_keys(Keys.ENTER)
    browser.wait_text("#action-message", r"saved", "the edit is told")
    row_of(browser, "Supplier order 42")
    wait_until(lambda: "Supplier order 42" in setup.list_text(), "the recorder's list has the text")

    # Delete a call after confirming it; the recorder's list loses its row.
    tr = row_of(browser, "0891234")
    tr.find_element(By.CSS_SELECTOR, "button[data-action=delete]").click()
    dialog = browser.find("#delete-dialog[open]")
    check("0891234" in dialog.text, f"the question names the call: {dialog.text!r}")
    browser.shot("calls-delete-question-desktop")
    browser.find("#delete-cancel").click()
    check(not browser.all("#delete-dialog[open]"), "Keep it closes the question")
    check(len(rows(browser)) == KEPT_CALLS, "Keep it deletes nothing")
    row_of(browser, "0891234").find_element(By.CSS_SELECTOR, "button[data-action=delete]").click()
    browser.find("#delete-dialog[open]")
    browser.find("#delete-confirm").click()
    browser.wait_text("#action-message", r"deleted", "the delete is told")
    wait_rows(browser, rf"^1–{KEPT_CALLS - 1} of {KEPT_CALLS - 1}$")
    check(all("0891234" not in r.text for r in rows(browser)), "the deleted call is gone")
    wait_until(lambda: setup.list_rows() == KEPT_CALLS - 1 and
               "0891234" not in setup.list_text(), "the recorder's list lost the row")

    # Every page of a supervisor; no Admin link, and the admin page says why.
    phone_and_desktop(browser, setup.base() + "/calls", "calls",
                      lambda: wait_rows(browser, r"of \d"))
    check(not browser.visible(".site-nav a[href='/admin']"), "no Admin link for a supervisor")
    # The admin page is refused: by the server (403, or back to the calls), or by the page.
    status = setup.request("GET", "/admin", cookie=browser.cookie())[0]
    check(status in (200, 303, 403), f"/admin for a supervisor answers {status}")
    if status == 200:
        browser.go(setup.base() + "/admin")
        browser.wait_text("#not-admin", "Only administrators", "the admin page refuses")
    browser.go(setup.base() + "/calls?q=nothing-like-this")
    wait_rows(browser, r"^No calls match\.$")
    browser.shot("calls-no-match-desktop")
    log_out(browser, setup)


def test_lines(browser, setup):
    log_in(browser, setup, "lee")
    status = setup.status()
    check(status is not None, "pvtool status answers")

    def ready():
        browser.wait_text("#summary", r"^Recorder running: 1 of 4 lines in a call\.$",
                          "the lines page sums up the lines")
    phone_and_desktop(browser, setup.base() + "/lines", "lines", ready)
    browser.go(setup.base() + "/lines")
    ready()
    for i in range(16):
        item = browser.find(f"#line-{i + 1}")
        shown = item.find_element(By.CSS_SELECTOR, ".line-status").get_attribute("textContent")
        if i == 3:  # in a call: the recorder's two lines take turns with every audio block
            check(re.fullmatch(r" Port:  4 +(Recording|-+)", shown), f"line 4 shows {shown!r}")
        else:
            check(shown == status["lines"][i]["status"],
                  f"line {i + 1} shows {shown!r}, the recorder {status['lines'][i]['status']!r}")
        detail = item.find_element(By.CSS_SELECTOR, ".line-detail").get_attribute("textContent")
        check(i == 3 or detail == status["lines"][i]["detail"],
              f"line {i + 1}'s detail {detail!r}, the recorder's {status['lines'][i]['detail']!r}")
        in_call = "in-call" in item.get_attribute("class")
        check(in_call == (i == 3), f"line {i + 1} in a call: {in_call}")
        served = "unserved" not in item.get_attribute("class")
        check(served == (i < 4), f"line {i + 1} served: {served}")
    check("Logged Items" in browser.text("#calls-text"), "the capacity is shown")
    # The page follows the recorder: the digit pressed every second on line 4 shows within
    # about a second (twice, so that a change just before the first look does not count).
    for _ in range(2):
        first = browser.find("#line-4 .line-detail").get_attribute("textContent")
        wait_until(lambda: browser.find("#line-4 .line-detail").get_attribute("textContent")
                   != first, "line 4's detail follows the digits pressed", timeout=2.5,
                   interval=0.05)


def test_listener(browser, setup):
    # Still lee, from test_lines.
    browser.go(setup.base() + "/calls")
    wait_rows(browser, r"of \d")
    check(browser.all("#call-rows button[data-action=play]"), "a listener can play")
    check(not browser.all("#call-rows [data-action=edit], #call-rows [data-action=delete]"),
          "a listener has no edit or delete controls")
    check(not browser.visible(".site-nav a[href='/admin']"), "no Admin link for a listener")

    # With the keyboard alone: Tab reaches a Play button, whose focus shows, and Enter plays.
    browser.find("#q").click()
    for _ in range(40):
        browser.driver.switch_to.active_element.send_keys(Keys.TAB)
        if browser.js("return document.activeElement.dataset.action === 'play'"):
            break
    else:
        raise Failure("Tab never reaches a Play button")
    outline = browser.js("const s = getComputedStyle(document.activeElement);"
                         "return s.outlineStyle + ' ' + s.outlineWidth;")
    check(not outline.startswith("none"), f"the focused Play button shows no ring: {outline}")
    browser.shot("calls-keyboard-focus-desktop")
    browser.driver.switch_to.active_element.send_keys(Keys.ENTER)
    WebDriverWait(browser.driver, WAIT).until(lambda d: d.execute_script(
        "const a = document.getElementById('player'); return a.currentTime > 0 || !!a.error;"))
    check(browser.js("return document.getElementById('player').error") is None, "Enter plays")
    browser.js("document.getElementById('player').pause()")

    browser.size(360, 740)
    browser.go(setup.base() + "/calls")
    wait_rows(browser, r"of \d")
    browser.shot("calls-listener-phone", full_page=True)
    width = browser.js("return document.documentElement.scrollWidth")
    check(width <= 360, f"the calls page is {width} px wide at a phone's 360 px")
    browser.size(1280, 800)
    log_out(browser, setup)


def test_admin(browser, setup):
    log_in(browser, setup, "anna")
    check(browser.visible(".site-nav a[href='/admin']"), "an administrator has the Admin link")

    def ready():
        browser.wait_text("#audit-count", r"newest first", "the audit log is read")
        browser.find("#user-rows tr[data-name=lee]")
    phone_and_desktop(browser, setup.base() + "/admin", "admin", ready)
    browser.go(setup.base() + "/admin")
    ready()
    seen = set()
    for r in browser.all("#audit-rows tr"):
        cells = [c.get_attribute("textContent") for c in r.find_elements(By.CSS_SELECTOR, "td")]
        seen.add((cells[1], cells[2]))
    for needed in (("sam", "login"), ("sam", "play"), ("sam", "edit"), ("sam", "delete"),
                   ("sam", "logout")):
        check(needed in seen, f"the audit log shows {needed}: {sorted(seen)}")

    # Add a listener, who then logs in; remove them after confirming.
    browser.find("#new-name").send_keys("kim")
    browser.find("#new-password").send_keys("kim-listener-pw")
    browser.find("#new-password-2").send_keys("kim-listener-pw")
    browser.find("#add-button").click()
    browser.wait_text("#user-message", r"kim added", "the new user is told")
    browser.find("#user-rows tr[data-name=kim]")
    row = browser.find("#user-rows tr[data-name=kim]")
    row.find_element(By.CSS_SELECTOR, "button[data-action=remove]").click()
    browser.find("#remove-dialog[open]")
    browser.shot("admin-remove-question-desktop")
    browser.find("#remove-confirm").click()
    browser.wait_text("#user-message", r"kim removed", "the removal is told")
    check(not browser.all("#user-rows tr[data-name=kim]"), "kim is gone")
    log_out(browser, setup)


def test_recorder_stopped(browser, setup):
    log_in(browser, setup, "lee")
    browser.go(setup.base() + "/lines")
    browser.wait_text("#summary", r"^Recorder running", "the recorder runs")
    setup.stop_recorder()
    browser.wait_text("#summary", r"^The recorder is not running\.$",
                      "the lines page tells that the recorder stopped", timeout=15)
    check("notice" in browser.find("#summary").get_attribute("class"), "the summary stands out")
    check(not browser.visible("#line-1"), "no line's state is shown without the recorder")
    browser.shot("lines-recorder-stopped-desktop")
    browser.size(360, 740)
    browser.shot("lines-recorder-stopped-phone")
    browser.size(1280, 800)
    # A change now is refused in words.
    log_out(browser, setup)
    log_in(browser, setup, "sam")
    wait_rows(browser, r"of \d")
    row_of(browser, "5551234").find_element(By.CSS_SELECTOR,
                                            "button[data-action=edit]").click()
    field = browser.find("#call-rows form.edit-form input")
    field.send_keys(" x")
    field.send_keys(Keys.ENTER)
    browser.wait_text("#action-message", r"not running", "an edit without the recorder is told")
    browser.shot("calls-recorder-stopped-desktop")
    log_out(browser, setup)


def check_console(browser):
    """No script error and no refused inline script or style, in any page."""
    bad = [e for e in browser.console
           if e.get("source") in ("javascript", "security") or
           "Content Security Policy" in e.get("message", "") or
           ("Uncaught" in e.get("message", ""))]
    check(not bad, "the browser reported: " + json.dumps(bad, indent=1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lvsvr", required=True)
    parser.add_argument("--pvtool", required=True)
    parser.add_argument("--parvolin", required=True)
    parser.add_argument("--artefacts", required=True)
    args = parser.parse_args()
    for name in ("lvsvr", "pvtool", "parvolin", "artefacts"):
        setattr(args, name, os.path.abspath(getattr(args, name)))

    if webdriver is None:
        print("SKIP: python3-selenium is not installed")
        return SKIP
    for program in (CHROMIUM, CHROMEDRIVER):
        if not os.access(program, os.X_OK):
            print(f"SKIP: {program} is not installed")
            return SKIP

    artefacts = args.artefacts
    os.makedirs(artefacts, exist_ok=True)
    for name in os.listdir(artefacts):
        if name.endswith((".png", ".txt", ".wav")):
            os.remove(os.path.join(artefacts, name))

    setup = Setup(args)
    browser = None
    status = 1
    step = "setting up"
    try:
        setup.start_recorder()
        setup.add_users()
        setup.start_server()
        step = "starting chromium"
        try:
            browser = Browser(artefacts)
        except WebDriverException as e:
            print(f"SKIP: chromium does not start under chromedriver: {e.msg}")
            return SKIP
        for test in (test_login_page, test_supervisor, test_lines, test_listener, test_admin,
                     test_recorder_stopped):
            step = test.__name__
            print(f"-- {step}", flush=True)
            if test is test_supervisor:
                test(browser, setup, artefacts)
            else:
                test(browser, setup)
            browser.collect_console()
        step = "checking the browser's console"
        check_console(browser)
        status = 0
        print(f"passed; screenshots in {artefacts}")
    except (Failure, WebDriverException, subprocess.SubprocessError, OSError) as e:
        print(f"FAILED in {step}: {e}")
        traceback.print_exc()
        if browser:
            try:
                browser.shot("failure")
                browser.collect_console()
                with open(os.path.join(artefacts, "failure-page.txt"), "w") as f:
                    f.write(browser.driver.current_url + "\n" + browser.driver.page_source)
            except WebDriverException:
                pass
    finally:
        if browser:
            with open(os.path.join(artefacts, "console.txt"), "w") as f:
                json.dump(browser.console, f, indent=1)
            browser.quit()
        setup.stop_server()
        setup.stop_recorder()
        for name in ("lvsvr-err.txt", "lvsvr-out.txt", "recorder-err.txt"):
            text = setup.read(name)
            with open(os.path.join(artefacts, name), "w") as f:
                f.write(text)
            if status != 0 and text:
                print(f"--- {name}:\n{text[-4000:]}")
        setup.remove()
    return status


if __name__ == "__main__":
    sys.exit(main())
