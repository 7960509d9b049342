#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A browser joins a session through zaplo-server's web port, beside a window and a raw peer.

Run inside an X server that has no window manager yet, for example:
    xvfb-run -a -s "-screen 0 2100x1400x24" python3 browser_e2e.py <zaplo> <zaplo-server>
        [--shots DIR]

zaplo-server hosts with --web; a copy of the program joins with --join (its window driven and
read through the window system, as in session_e2e.py); a raw TCP peer joins and speaks the
protocol by hand; headless Chromium (chromium-driver, python3-selenium) opens the page and joins.
A stroke drawn in the page with pointer actions (mouse, touch and pen) reaches the window and
the window's reaches the page, and the two canvases are compared pixel for pixel (the page's read
with getImageData, the window's from a screenshot); chat goes both ways; peer text stays text; a
long unbreakable line and a flood leave the page bounded and responsive; the user lists and the
departure when the page closes. With --password-file the page answers the session's challenge
and asks again after a refusal.
"""

import argparse
import base64
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import session_e2e  # noqa: E402
from session_e2e import (CHAT_BOX, CHAT_INPUT, GREEN_SWATCH, STATUS_BOX, Failure,  # noqa: E402
                         Run, drive, free_port)

# A browser, a window and a second host take longer than the three windows alone.
session_e2e.TOTAL_TIMEOUT = 420.0

CANVAS_W, CANVAS_H = 248, 353
RED = (255, 0, 0)
GREEN = (1, 215, 70)


class RawPeer:
    """A participant that speaks the protocol itself over TCP: what it receives is kept line by
    line."""

    def __init__(self, port, nick):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.lines = []
        self.lock = threading.Lock()
        self.closed = False
        threading.Thread(target=self._read, daemon=True).start()
        self.send("{2}" + nick)

    def _read(self):
        buf = b""
        try:
            while True:
                data = self.sock.recv(65536)
                if not data:
                    break
                buf += data
                *done, buf = buf.split(b"\r\n")
                with self.lock:
                    self.lines.extend(line.decode("utf-8", "replace") for line in done)
        except OSError:
            pass
        self.closed = True

    def send(self, line):
        self.sock.sendall(line.encode("utf-8") + b"\r\n")

    def received(self):
        with self.lock:
            return list(self.lines)

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


class BrowserRun(Run):
    def __init__(self, zaplo, server, shots):
        super().__init__(zaplo, shots, server)
        self.driver = None
        self.drivers = []

    # ---- the browser ----------------------------------------------------------------------

    def browser(self, url):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service

        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=700,640",
                    "--disable-dev-shm-usage", "--force-device-scale-factor=1",
                    "--no-first-run", "--disable-extensions"):
            options.add_argument(arg)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver",
                          log_output=os.path.join(self.work, "chromedriver.log"))
        driver = webdriver.Chrome(service=service, options=options)
        driver.set_script_timeout(20)
        driver.set_page_load_timeout(30)
        self.drivers.append(driver)
        driver.get(url)
        return driver

    def js(self, script, *args, driver=None):
        return (driver or self.driver).execute_script(script, *args)

    def page_lines(self, box, driver=None):
        return self.js(f"return [...document.getElementById('{box}').children]"
                       ".map(row => row.textContent);", driver=driver)

    def page_users(self, driver=None):
        return self.page_lines("listUsers", driver=driver)

    def expect_page(self, what, box, wanted_top, driver=None):
        seen = []

        def probe():
            seen[:] = self.page_lines(box, driver=driver)
            return seen[:len(wanted_top)] == wanted_top

        try:
            self.wait_for(f"the page's {what}", probe)
        except Failure:
            raise Failure(f"the page's {what} shows {seen[:8]}, expected to start with "
                          f"{wanted_top}")
        cut = lambda line: line if len(line) < 90 else line[:60] + f"... ({len(line)} characters)"
        print(f"  page {what}: {[cut(line) for line in seen[:4]]}")
        return seen

    def expect_page_users(self, wanted, driver=None):
        seen = []

        def probe():
            seen[:] = self.page_users(driver=driver)
            return seen == wanted

        try:
            self.wait_for("the page's user list", probe)
        except Failure:
            raise Failure(f"the page's user list shows {seen}, expected {wanted}")
        print(f"  page users: {seen}")

    def page_canvas(self):
        """The page's canvas read back with getImageData, as RGB bytes row by row."""
        data = self.js("""
            const canvas = document.getElementById('picCanvas');
            const d = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            let s = '';
            for (let i = 0; i < d.length; i += 4) {
                s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
            }
            return [canvas.width, canvas.height, btoa(s)];""")
        if data[:2] != [CANVAS_W, CANVAS_H]:
            raise Failure(f"the page's canvas is {data[0]} x {data[1]}")
        return base64.b64decode(data[2])

    def canvas_origin(self):
        """Viewport position of the page canvas's top-left pixel."""
        rect = self.js("const r = document.getElementById('picCanvas').getBoundingClientRect();"
                       "return [r.left, r.top, r.width, r.height];")
        if rect[2:] != [CANVAS_W, CANVAS_H]:
            raise Failure(f"the page's canvas shows at {rect[2]} x {rect[3]} CSS pixels")
        return rect[0], rect[1]

    def page_stroke(self, points, kind="mouse"):
        """Presses at the first point and moves through the others with a mouse, a finger or a
        pen, in canvas pixels (points outside the canvas are fine)."""
        from selenium.webdriver.common.actions import interaction
        from selenium.webdriver.common.actions.action_builder import ActionBuilder
        from selenium.webdriver.common.actions.pointer_input import PointerInput

        left, top = self.canvas_origin()
        kinds = {"mouse": interaction.POINTER_MOUSE, "touch": interaction.POINTER_TOUCH,
                 "pen": interaction.POINTER_PEN}
        device = PointerInput(kinds[kind], kind)
        actions = ActionBuilder(self.driver, mouse=device, duration=0)
        at = lambda p: (int(left + p[0]), int(top + p[1]))
        actions.pointer_action.move_to_location(*at(points[0]))
        actions.pointer_action.pointer_down()
        for p in points[1:]:
            actions.pointer_action.move_to_location(*at(p))
        actions.pointer_action.pointer_up()
        actions.perform()

    def page_click(self, element_id):
        self.driver.find_element("id", element_id).click()

    def page_type(self, element_id, text, enter=True):
        from selenium.webdriver.common.keys import Keys

        box = self.driver.find_element("id", element_id)
        box.send_keys(text + (Keys.ENTER if enter else ""))

    def responsive(self, what):
        """The page answers a script within a few seconds: its thread is not stuck."""
        started = time.monotonic()
        self.js("return 1;")
        took = time.monotonic() - started
        if took > 5:
            raise Failure(f"the page took {took:.1f} s to answer after {what}")
        return took

    def csp_violations(self, driver):
        try:
            logs = driver.get_log("browser")
        except Exception:  # a driver without the log: nothing to report
            return []
        return [entry["message"] for entry in logs
                if "Content Security Policy" in entry.get("message", "")
                or "Refused to" in entry.get("message", "")]

    # ---- the session ----------------------------------------------------------------------

    def start_server(self, name, port, web_port, more=()):
        out_path = os.path.join(self.work, f"{name}.out")
        self.procs[name] = self.spawn(
            [self.server, "--port", str(port), "--nick", "hub", "--listen", "127.0.0.1",
             "--web", str(web_port), *more],
            stdout=open(out_path, "wb"),
            stderr=open(os.path.join(self.work, f"zaplo_{name}.log"), "wb"))
        self.wait_for(f"{name} to listen",
                      lambda: "Waiting for a client to join..." in open(out_path).read())

        def web_up():
            try:
                with socket.create_connection(("127.0.0.1", web_port), timeout=2):
                    return True
            except OSError:
                return False

        self.wait_for(f"{name}'s web port", web_up)

    def canvases_equal(self, who, what):
        seen = {}

        def probe():
            seen["page"] = self.page_canvas()
            seen["window"] = self.canvas_area(who)
            return seen["page"] == seen["window"]

        try:
            self.wait_for(what, probe, pause=0.5)
        except Failure:
            page, window = seen["page"], seen["window"]
            differ = [i // 3 for i in range(0, len(page), 3) if page[i:i + 3] != window[i:i + 3]]
            first = differ[0] if differ else 0
            raise Failure(f"{what}: {len(differ)} pixels differ, the first at "
                          f"({first % CANVAS_W}, {first // CANVAS_W}): page "
                          f"{tuple(page[first * 3:first * 3 + 3])}, window "
                          f"{tuple(window[first * 3:first * 3 + 3])}")
        return seen["page"]

    @staticmethod
    def count(canvas, colour):
        return sum(1 for i in range(0, len(canvas), 3) if tuple(canvas[i:i + 3]) == colour)

    def run(self):
        port, web_port = free_port(), free_port()
        print(f"port {port}, web port {web_port}")
        self.start_server("server", port, web_port)

        self.say("a window and a raw peer join")
        self.start_joined("D", "wendy", f"127.0.0.1:{port}")
        self.expect_lines("D", STATUS_BOX, "status log", ["wendy has joined!", "Connecting..."])
        rex = RawPeer(port, "rex")
        self.wait_for("rex's join to be answered", lambda: "{8}hub;wendy;rex;" in rex.received())

        self.say("the browser joins")
        self.driver = self.browser(f"http://127.0.0.1:{web_port}/")
        title = self.driver.title
        if title != "Zaplo\u00ae BETA - draw and chat together":
            raise Failure(f"the page's title is {title!r}")
        self.page_type("txtNick", "pat", enter=False)
        self.page_click("btnOK")
        self.expect_page("status log", "txtStatus", ["pat has joined!", "Connecting..."])
        self.expect_page_users(["hub", "wendy", "rex", "pat"])
        if self.driver.title != "Zaplo\u00ae BETA - draw and chat together - pat (Client)":
            raise Failure(f"the page's title is {self.driver.title!r} once joined")
        self.expect_lines("D", STATUS_BOX, "status log", ["pat has joined!"])
        self.expect_users("D", ["hub", "wendy", "rex", "pat"])
        self.wait_for("rex to see pat join", lambda: "{2}pat" in rex.received())

        self.say("the page draws")
        blank = self.page_canvas()
        if blank != bytes([255]) * (CANVAS_W * CANVAS_H * 3):
            raise Failure("the page's canvas does not start white")
        self.page_click("picCol_10")  # red
        # From inside to beyond the left edge and back: the part outside leaves no mark.
        stroke = [(30 + 9 * i, 60 + (i * 13) % 40) for i in range(20)] + [(-40, 120), (20, 140)]
        self.page_stroke(stroke)
        # A finger and a pen draw as the mouse does.
        self.page_stroke([(40 + 6 * i, 200 + (i % 4) * 5) for i in range(15)], kind="touch")
        self.page_stroke([(200 - 7 * i, 250 + i * 3) for i in range(20)], kind="pen")
        shown = self.canvases_equal("D", "the page's strokes on the window's canvas")
        reds = self.count(shown, RED)
        if reds < 300:
            raise Failure(f"only {reds} red pixels after the page's strokes")
        print(f"  the window's canvas equals the page's pixel for pixel ({reds} red pixels)")
        records = [line for line in rex.received() if line.startswith("{10}")]
        if not any(line.startswith("{10}") and ";-40;120;255;" in line for line in records):
            raise Failure(f"rex got no segment to (-40, 120): {records[:5]}...")
        print(f"  rex got the page's {len(records)} segments, the one beyond the edge too")

        self.say("the window draws")
        self.click_client("D", GREEN_SWATCH)
        self.drag("D", [(20 + 11 * i, 300 - (i * 17) % 60) for i in range(20)] + [(260, 330)])
        # A raw record from far outside across the canvas: the clipping of both sides.
        rex.send("{10}-32768;5;32767;300;16711680;")
        rex.send("{10}100;-30000;140;32000;0;")
        shown = self.canvases_equal("D", "the window's stroke on the page's canvas")
        if self.count(shown, GREEN) < 150:
            raise Failure("the window's green stroke is not on the page's canvas")
        print("  the page's canvas equals the window's pixel for pixel")

        self.say("chatting")
        self.page_type("txtChatSend", "hello from the page")
        self.expect_page("chat box", "txtChatBox", ["{pat}hello from the page"])
        self.expect_lines("D", CHAT_BOX, "chat box", ["{pat}hello from the page"])
        self.wait_for("rex to get the page's line",
                      lambda: "{1}{pat}hello from the page" in rex.received())
        self.activate(self.windows["D"])
        self.click_client("D", CHAT_INPUT)
        self.type("hi browser")
        self.key("Return")
        self.expect_page("chat box", "txtChatBox", ["{wendy}hi browser"])
        markup = "<b>bold?</b><img src=x onerror=alert(1)>&amp;"
        rex.send("{1}{rex}" + markup)
        self.expect_page("chat box", "txtChatBox", ["{rex}" + markup])
        if self.js("return document.querySelector('#txtChatBox b, #txtChatBox img') !== null;"):
            raise Failure("peer text became markup in the page")
        print("  peer text shows as text, never as markup")

        if self.shots:
            self.picture()

        self.say("a long line and a flood")
        rex.send("{1}{rex}" + "W" * 200000)
        self.expect_page("chat box", "txtChatBox",
                         ["{rex}" + "W" * 1995 + "\u2069\u202c \u2026 [198005 more characters]"])
        self.responsive("a 200,000-character line")
        for i in range(3000):
            rex.send(f"{{1}}{{rex}}flood line {i} " + "x" * 60)
        self.expect_page("chat box", "txtChatBox", ["{rex}flood line 2999 " + "x" * 60])
        took = self.responsive("3,000 chat lines")
        rows = len(self.page_lines("txtChatBox"))
        if rows > 1000:
            raise Failure(f"the page shows {rows} chat lines, more than 1,000")
        print(f"  the page shows the newest {rows} lines and answered within {took:.2f} s")

        violations = self.csp_violations(self.driver)
        if violations:
            raise Failure(f"the page broke its content security policy: {violations}")

        self.say("the page closes")
        self.driver.quit()
        self.drivers.remove(self.driver)
        self.driver = None
        self.expect_lines("D", STATUS_BOX, "status log", ["pat has been disconnected!"])
        self.expect_users("D", ["hub", "wendy", "rex"])
        self.wait_for("rex to see pat leave",
                      lambda: "{9}pat has been disconnected!" in rex.received())
        rex.close()

        self.password_join()

    def picture(self):
        """The page beside the window, each as it shows on its own screen."""
        page_png = os.path.join(self.work, "page.png")
        window_png = os.path.join(self.work, "window.png")
        self.driver.save_screenshot(page_png)
        self.x("import", "-frame", "-window", self.windows["D"], window_png)
        out = os.path.join(self.shots, "browser.png")
        self.x("convert", "(", page_png, "-crop", "650x472+0+0", "+repage", ")", window_png,
               "-background", "#202020", "-gravity", "north", "+append", out)
        print(f"  picture: {out}")

    def password_join(self):
        """At a host with a password the page answers the challenge, and asks again after a
        refusal."""
        help_text = subprocess.run([self.server, "--help"], capture_output=True, text=True,
                                   timeout=20).stdout
        if "--password-file" not in help_text:
            print("  zaplo-server has no --password-file: the password join is not tried")
            return
        self.say("the password join")
        secret = os.path.join(self.work, "password")
        with open(secret, "w") as f:
            f.write("s\u00e9same ouvre-toi\n")
        port, web_port = free_port(), free_port()
        self.start_server("pwserver", port, web_port, more=["--password-file", secret])
        url = f"http://127.0.0.1:{web_port}/"

        # The right password: answered at once, joined.
        self.driver = self.browser(url)
        self.page_type("txtNick", "pia", enter=False)
        self.page_type("txtPassword", "s\u00e9same ouvre-toi")
        self.expect_page("status log", "txtStatus", ["pia has joined!", "Connecting..."])
        self.expect_page_users(["hub", "pia"])

        # No password: refused, and asked for one.
        other = self.browser(url)
        self.page_type_in(other, "txtNick", "quin")
        self.wait_for("the password prompt", lambda: self.js(
            "return !document.getElementById('dlgPassword').hidden;", driver=other))
        if self.js("return document.getElementById('lblWrongPassword').hidden;", driver=other) \
                is not True:
            raise Failure("the first prompt says the password was wrong")
        # The log shows its lines at its own pace, perhaps after the prompt came up.
        self.wait_for("the refusal in the status log", lambda: "This session needs a password."
                      in self.page_lines("txtStatus", driver=other))
        # A wrong one: refused again, and the prompt says so.
        self.page_type_in(other, "txtSessionPassword", "sesame")
        self.wait_for("the prompt after a wrong password", lambda: self.js(
            "return !document.getElementById('dlgPassword').hidden &&"
            " !document.getElementById('lblWrongPassword').hidden;", driver=other))
        self.wait_for("the wrong password's refusal in the status log",
                      lambda: "Wrong password." in self.page_lines("txtStatus", driver=other))
        # The right one through the prompt: joined.
        self.page_type_in(other, "txtSessionPassword", "s\u00e9same ouvre-toi")
        self.expect_page("status log", "txtStatus", ["quin has joined!", "Connecting..."],
                         driver=other)
        self.expect_page_users(["hub", "pia", "quin"])
        print("  the page answers the challenge, and asks again after a refusal")

    def page_type_in(self, driver, element_id, text):
        from selenium.webdriver.common.keys import Keys

        driver.find_element("id", element_id).send_keys(text + Keys.ENTER)

    def cleanup(self):
        for driver in self.drivers:
            try:
                driver.quit()
            except Exception:
                pass
        super().cleanup()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("zaplo")
    parser.add_argument("server")
    parser.add_argument("--shots", help="folder for the README picture")
    args = parser.parse_args()
    for tool in ("xdotool", "xwininfo", "xprop", "import", "convert", "xclip", "openbox",
                 "chromium", "chromedriver"):
        if not shutil.which(tool):
            print(f"missing tool: {tool}")
            return 1
    try:
        import selenium  # noqa: F401
    except ImportError:
        print("missing python3-selenium")
        return 1
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)

    run = BrowserRun(os.path.abspath(args.zaplo), os.path.abspath(args.server), args.shots)

    def no_sanitizer_faults():
        for name in ("D", "server", "pwserver"):
            path = os.path.join(run.work, f"zaplo_{name}.log")
            if os.path.exists(path):
                text = open(path, errors="replace").read()
                if re.search(r"ERROR: (Address|Leak)Sanitizer|runtime error:", text):
                    raise Failure(f"{name} reported a sanitizer fault:\n{text[-3000:]}")

    return drive(run, "zaplo_browser", after=no_sanitizer_faults)


if __name__ == "__main__":
    sys.exit(main())
