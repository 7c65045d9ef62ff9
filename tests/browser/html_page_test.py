#!/usr/bin/python3
"""Opens pages that `wbkdeck --html` writes in headless Chromium and checks them
as a person would use them: the players play, the search and the keys work,
hostile names stay text, and nothing is loaded from anywhere else.

Usage: html_page_test.py WBKDECK PULSEAUDIO SCREENSHOT_DIR

Exits 77 (a skip) when PULSEAUDIO is no program or the browser cannot start,
unless CI is set: there it must run.
"""
import math
import os
import random
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import traceback

SKIP = 77
WBKDECK, PULSEAUDIO, SHOTS = sys.argv[1:4]

# Names that would run code or break the markup if they were not text.
HOSTILE = [b"<script>alert(1)", b"<svg onload=x()>", b'"onerror="x()', b"</svg><b>x\x01\x1b"]


def bank_entry(kind, name, rate, data):
    return bytes([kind]) + name.ljust(16, b"\0")[:16] + struct.pack("<HI", rate, len(data)) + data


def bank_bytes(author, entries):
    return b"WBK\0\0\0\0\0" + author.ljust(32, b"\0") + b"".join(bank_entry(*e) for e in entries)


def tone(count, frequency, rate, amplitude=100):
    return bytes(int(amplitude * math.sin(2 * math.pi * frequency * k / rate)) & 0xFF for k in range(count))


def noise(count, seed):
    return random.Random(seed).randbytes(count)


# (type, name, rate, data): 8-bit and ADPCM at the odd rates, the hostile
# names, and two entries without a player.
SMALL = [
    (0, b"voice.pc8", 16540, tone(16540, 440, 16540)),
    (1, "ばくはつ.pcm".encode("cp932"), 11025, noise(6000, 1)),
    (3, b"Voice2", 22050, noise(3001, 2)),
    *[(0, name, 8000, tone(1999 + k, 300, 8000, 127)) for k, name in enumerate(HOSTILE)],
    (0, b"rate-zero", 0, tone(800, 200, 8000)),
    (0, b"no-data", 8000, b""),
]


def decoded_size(kind, data):
    return 2 * len(data) if kind in (1, 3) else len(data)


def shown_name(name):
    """A name as the page shows it: Shift-JIS as text, control bytes as \\xHH."""
    text = name.decode("cp932")
    return "".join(c if ord(c) >= 0x20 and c != "\x7f" else "\\x%02x" % ord(c) for c in text)


class PulseServer:
    """A PulseAudio server of the test's own with one null sink."""

    def __init__(self, folder):
        self.socket = os.path.join(folder, "native")
        env = {k: v for k, v in os.environ.items() if k not in ("PULSE_SERVER", "XDG_CONFIG_HOME", "DBUS_SESSION_BUS_ADDRESS")}
        for sub in ("home", "run"):
            os.makedirs(os.path.join(folder, sub), mode=0o700)
        env.update(HOME=os.path.join(folder, "home"), XDG_RUNTIME_DIR=os.path.join(folder, "run"))
        self.log = open(os.path.join(folder, "server.log"), "wb")
        self.process = subprocess.Popen(
            [PULSEAUDIO, "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--log-target=stderr",
             "-L", "module-null-sink sink_name=s0", "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + self.socket],
            env=env, stdout=subprocess.DEVNULL, stderr=self.log)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self.process.poll() is None:
            try:
                with socket.socket(socket.AF_UNIX) as probe:
                    probe.connect(self.socket)
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("PulseAudio did not start; see " + self.log.name)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.log.close()


def start_browser(pulse_socket, folder):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--autoplay-policy=no-user-gesture-required", "--window-size=1280,800",
                     "--user-data-dir=" + os.path.join(folder, "profile")):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    # Chromium plays into the test's own sound server.
    os.environ["PULSE_SERVER"] = "unix:" + pulse_socket
    service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    return webdriver.Chrome(service=service, options=options)


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, what):
        if not condition:
            self.failures.append(what)
            print("FAILED:", what, flush=True)


def eventually(driver, script, wanted, seconds=5):
    """What the script returns once it returns `wanted`, or after `seconds`: the
    media events that follow a key come later, the more so on a loaded machine."""
    deadline = time.monotonic() + seconds
    while True:
        value = driver.execute_script(script)
        if value == wanted or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


def wait_until(driver, script, what, seconds=10):
    if eventually(driver, script, True, seconds) is not True:
        raise AssertionError("timed out waiting for " + what)


def play_for_a_while(driver, selector):
    """Starts the player and waits, at most 5 s, for it to pass 0.1 s (the sound
    server's first stream takes a moment); where it stands then, and whether it plays."""
    return driver.execute_async_script("""
        const [selector, done] = arguments;
        const audio = document.querySelector(selector);
        const start = performance.now();
        const look = () => {
            if (audio.currentTime > 0.1 || performance.now() - start > 5000) done([audio.currentTime, !audio.paused]);
            else setTimeout(look, 20);
        };
        audio.play().then(look, (error) => done([-1, String(error)]));
    """, selector)


def check_players(driver, checks, entries):
    wait_until(driver, "return [...document.querySelectorAll('audio')].every(a => a.readyState >= 1)", "metadata")
    players = driver.execute_script(
        "return [...document.querySelectorAll('#entries tbody tr')].map(r => {"
        "  const a = r.querySelector('audio'); return [Number(r.dataset.index), a ? a.duration : null]; })")
    checks.expect(len(players) == len(entries), f"{len(players)} rows for {len(entries)} entries")
    for (index, duration), (kind, name, rate, data) in zip(players, entries):
        playable = rate != 0 and len(data) != 0
        checks.expect((duration is not None) == playable, f"entry {index}: a player only when it can play")
        if playable and duration is not None:
            wanted = decoded_size(kind, data) / rate
            checks.expect(abs(duration - wanted) <= 1 / rate, f"entry {index}: duration {duration} for {wanted}")


def check_requests(driver, checks, folder):
    import json
    allowed = "file://" + folder + "/"
    own = 0
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] != "Network.requestWillBeSent":
            continue
        # Chromium's own pages (its new tab page) are none of the test's.
        if message["params"].get("documentURL", "").startswith("chrome:"):
            continue
        url = message["params"]["request"]["url"]
        checks.expect(url.startswith("data:") or url.startswith(allowed), "a request elsewhere: " + url[:120])
        own += url.startswith(allowed)
    # The pages and the linked files: the log did see the requests.
    checks.expect(own >= 3, f"{own} requests of the pages' own files logged")


def check_console(driver, checks):
    for entry in driver.get_log("browser"):
        checks.expect(entry["level"] not in ("SEVERE", "WARNING"), "console: " + entry["message"][:300])


def check_small_page(driver, checks, page):
    driver.get("file://" + page)
    check_players(driver, checks, SMALL)

    names = driver.execute_script("return [...document.querySelectorAll('td.name')].map(c => c.textContent)")
    checks.expect(names == [shown_name(e[1]) for e in SMALL], f"names shown as text: {names}")
    checks.expect(driver.execute_script(
        "return document.scripts.length === 1 && !document.querySelector('tbody b, tbody script, [onload], [onerror]')"),
        "hostile names added no element")

    time_now, playing = play_for_a_while(driver, "tr[data-index='1'] audio")
    checks.expect(playing is True and time_now > 0.1, f"play() of the 11025 Hz ADPCM entry: {time_now}, {playing}")

    search = driver.find_element("id", "search")
    search.send_keys("VOICE")
    visible = driver.execute_script("return [...document.querySelectorAll('tbody tr')].filter(r => !r.hidden)"
                                    ".map(r => Number(r.dataset.index))")
    checks.expect(visible == [0, 2], f"search VOICE shows rows 0 and 2, not {visible}")
    driver.save_screenshot(os.path.join(SHOTS, "html-search.png"))
    search.clear()
    driver.execute_script("document.getElementById('search').dispatchEvent(new Event('input'))")
    check_keys(driver, checks)


def press(driver, key):
    from selenium.webdriver.common.action_chains import ActionChains
    ActionChains(driver).send_keys(key).perform()


def check_keys(driver, checks):
    from selenium.webdriver.common.keys import Keys
    # From the start: row 1, played before, must not end while the test looks.
    driver.execute_script("document.activeElement.blur();"
                          "for (const a of document.querySelectorAll('audio')) { a.pause(); a.currentTime = 0; }")
    selected = "return Number(document.querySelector('tr.selected')?.dataset.index ?? -1)"
    press(driver, "j")
    press(driver, "j")
    checks.expect(driver.execute_script(selected) == 1, "j, j selects row 1")
    press(driver, Keys.ARROW_DOWN)
    press(driver, "k")
    press(driver, Keys.ARROW_UP)
    checks.expect(driver.execute_script(selected) == 0, "↓, k, ↑ come back to row 0")
    paused = "return [...document.querySelectorAll('audio')].slice(0, 2).map(a => a.paused)"
    press(driver, " ")
    checks.expect(eventually(driver, paused, [False, True]) == [False, True], "Space plays the selected row")
    press(driver, "j")
    press(driver, " ")
    time.sleep(0.3)  # for a late event to stop what it should not
    states = eventually(driver, paused, [True, False])
    checks.expect(states == [True, False], f"playing row 1 stops row 0: paused {states}")
    driver.save_screenshot(os.path.join(SHOTS, "html-light.png"))
    press(driver, " ")
    checks.expect(eventually(driver, paused, [True, True]) == [True, True], "Space again pauses")
    press(driver, "/")
    checks.expect(driver.execute_script("return document.activeElement.id") == "search", "/ focuses the search")


def save_looks(driver):
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    driver.save_screenshot(os.path.join(SHOTS, "html-dark.png"))
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})
    driver.save_screenshot(os.path.join(SHOTS, "html-phone-dark.png"))
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": [{"name": "prefers-color-scheme", "value": "light"}]})
    driver.save_screenshot(os.path.join(SHOTS, "html-phone.png"))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def check_big_page(driver, checks, folder):
    # 33 MiB of ADPCM decode to 66 MiB: more than a page embeds.
    entries = [(1, b"long.pcm", 16540, noise(33 << 20, 3)), (0, b"short.pc8", 11025, tone(11025, 600, 11025))]
    with open(os.path.join(folder, "big.wbk"), "wb") as bank:
        bank.write(bank_bytes(b"tester", entries))
    page = os.path.join(folder, "big.html")
    run = subprocess.run([WBKDECK, "--html", page, os.path.join(folder, "big.wbk")], capture_output=True, text=True)
    checks.expect(run.returncode == 0 and run.stdout.count("\n") == 1, f"big bank: {run.returncode} {run.stdout!r} {run.stderr!r}")
    driver.get("file://" + page)
    check_players(driver, checks, entries)
    sources = driver.execute_script("return [...document.querySelectorAll('audio')].map(a => a.getAttribute('src'))")
    checks.expect(sources == ["big.html.files/000000.wav", "big.html.files/000001.wav"], f"linked files: {sources}")
    time_now, playing = play_for_a_while(driver, "tr[data-index='0'] audio")
    checks.expect(playing is True and time_now > 0.1, f"play() of a linked file: {time_now}, {playing}")


def cannot_run(why):
    """The exit status when the test cannot run: a failure in CI, else a skip."""
    if os.environ.get("CI"):
        print(why + ": in CI the test must run")
        return 1
    print("skipped: " + why)
    return SKIP


def main():
    if not (os.path.isfile(PULSEAUDIO) and os.access(PULSEAUDIO, os.X_OK)):
        return cannot_run(f"no PulseAudio ({PULSEAUDIO})")
    os.makedirs(SHOTS, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="wbk-html-")
    pulse = PulseServer(folder)
    try:
        try:
            driver = start_browser(pulse.socket, folder)
        except Exception:
            traceback.print_exc()
            return cannot_run("the browser cannot start")
        checks = Checks()
        try:
            with open(os.path.join(folder, "small.wbk"), "wb") as bank:
                bank.write(bank_bytes("テスト".encode("cp932"), SMALL))
            page = os.path.join(folder, "small.html")
            run = subprocess.run([WBKDECK, "--html", page, os.path.join(folder, "small.wbk")], capture_output=True)
            checks.expect(run.returncode == 0 and run.stdout == b"" and run.stderr == b"", f"small bank: {run}")
            check_small_page(driver, checks, page)
            save_looks(driver)
            check_big_page(driver, checks, folder)
            check_console(driver, checks)
            check_requests(driver, checks, folder)
        finally:
            driver.quit()
    finally:
        pulse.stop()
        shutil.rmtree(folder, ignore_errors=True)
    print(f"{'passed' if not checks.failures else 'FAILED'}: {len(checks.failures)} failure(s); screenshots in {SHOTS}")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
