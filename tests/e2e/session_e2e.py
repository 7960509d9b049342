#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Three copies of Zaplo, driven only through the X window system; then two more that meet at a
headless zaplo-server, one that joins it over TLS, and two that come to one with a password.

Run inside an X server that has no window manager yet, for example:
    xvfb-run -a -s "-screen 0 2100x1400x24" python3 session_e2e.py <zaplo> [--shots DIR]
        [--server <zaplo-server>]

Copy A hosts, B and C join. The script clicks, types and drags with xdotool, takes screenshots
with ImageMagick's import and checks their pixels. Texts of the chat box, the status log and the
user list are read from the widgets themselves: the script focuses the widget, presses Ctrl+A and
Ctrl+C there (the user list: Ctrl+C on each row in turn) and reads the X clipboard with xclip.
Window titles come from the window system. The program has no hook for any of this.
"""

import argparse
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

STEP_TIMEOUT = 40.0  # seconds for any single expected change
TOTAL_TIMEOUT = 240.0  # the whole run

# Client-area positions of the main window's controls (the window's fixed layout).
CHAT_BOX = (100, 200)
CHAT_INPUT = (180, 414)
USER_LIST_FIRST_ROW = (290, 28)
STATUS_BOX = (290, 365)
CLEAR_BUTTON = (413, 390)
CANVAS_INNER = (378, 21)  # top-left pixel inside the canvas's 1-pixel border
SEPARATOR_X = 212  # the first blue separator line, which starts at y 5
RED_SWATCH = (452 + 22 * 2 + 10, 378 + 21 + 10)  # swatch 10, the lower row's third
GREEN_SWATCH = (452 + 22 * 3 + 10, 378 + 10)  # swatch 3, (1, 215, 70)
RED = (255, 0, 0)
GREEN = (1, 215, 70)

# Where each main window is moved, so that no window covers another one.
PLACES = {"A": (0, 40), "B": (700, 40), "C": (1400, 40), "D": (0, 40), "E": (0, 600),
          "F": (700, 600), "G": (1400, 600), "H": (1400, 600)}


class Failure(Exception):
    pass


class Run:
    def __init__(self, zaplo, shots, server=None):
        self.zaplo = zaplo
        self.server = server
        self.shots = shots
        self.started = time.monotonic()
        self.children = []
        self.procs = {}
        self.windows = {}
        self.menu_height = {}
        self.work = None

    def say(self, what):
        print(f"[{time.monotonic() - self.started:5.1f} s] {what}", flush=True)

    # ---- processes ------------------------------------------------------------------------

    def spawn(self, args, **kw):
        # Each child gets a runtime directory of its own, so a server's default control socket
        # meets no other server's, in this run or in a test running beside it.
        if "env" not in kw and self.work:
            runtime = tempfile.mkdtemp(prefix="runtime-", dir=self.work)
            kw["env"] = dict(os.environ, XDG_RUNTIME_DIR=runtime)
            kw["env"].pop("RUNTIME_DIRECTORY", None)
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, start_new_session=True, **kw)
        self.children.append(proc)
        return proc

    def cleanup(self):
        for proc in reversed(self.children):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        deadline = time.monotonic() + 5
        for proc in self.children:
            try:
                proc.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                proc.wait()

    def x(self, *args, check=True):
        """Runs an X tool and returns its standard output."""
        try:
            result = subprocess.run(args, capture_output=True, text=True, timeout=15)
        except subprocess.TimeoutExpired:
            raise Failure(f"{' '.join(args)} did not finish")
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout

    def wait_for(self, what, probe, timeout=STEP_TIMEOUT, pause=0.2):
        """Calls probe until it returns something true; returns that value."""
        deadline = time.monotonic() + timeout
        last = None
        while True:
            if time.monotonic() - self.started > TOTAL_TIMEOUT:
                raise Failure(f"the whole run took too long, while waiting for {what}")
            last = probe()
            if last:
                return last
            if time.monotonic() > deadline:
                raise Failure(f"timed out waiting for {what}")
            time.sleep(pause)

    # ---- windows --------------------------------------------------------------------------

    def find_window(self, who, title_regex):
        """The visible window of copy `who` whose title matches."""

        def probe():
            out = self.x("xdotool", "search", "--onlyvisible", "--pid", str(self.procs[who].pid),
                         "--name", title_regex, check=False)
            ids = out.split()
            return ids[0] if ids else None

        return self.wait_for(f"{who}'s window '{title_regex}'", probe)

    def visible_windows(self, who):
        out = self.x("xdotool", "search", "--onlyvisible", "--pid", str(self.procs[who].pid),
                     check=False)
        return out.split()

    def title(self, window):
        return self.x("xdotool", "getwindowname", window).strip()

    def geometry(self, window):
        """Absolute position and size of the window's own area, as X reports it."""
        info = self.x("xwininfo", *(["-root"] if window == "root" else ["-id", window]))
        value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        return (value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                value("Height"))

    def click(self, window, x, y, button=1):
        self.x("xdotool", "mousemove", "--window", window, str(x), str(y))
        self.x("xdotool", "click", str(button))

    def activate(self, window):
        self.x("xdotool", "windowactivate", "--sync", window, check=False)

    def key(self, *keys):
        self.x("xdotool", "key", "--clearmodifiers", *keys)

    def type(self, text):
        self.x("xdotool", "type", "--delay", "15", text)

    # ---- pixels ---------------------------------------------------------------------------

    def screenshot(self, window, path=None):
        """The window's pixels as (width, height, rgb bytes)."""
        path = path or os.path.join(self.work, "shot.png")
        self.x("import", "-window", window, path)
        ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True,
                             timeout=15, check=True).stdout
        match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        if not match:
            raise Failure("unreadable screenshot")
        return int(match.group(1)), int(match.group(2)), ppm[match.end():]

    @staticmethod
    def pixel(shot, x, y):
        width, height, data = shot
        if not (0 <= x < width and 0 <= y < height):
            raise Failure(f"pixel {x},{y} outside a {width}x{height} screenshot")
        i = (y * width + x) * 3
        return tuple(data[i:i + 3])

    def client_top(self, who):
        """Height of the menu bar: the client area starts below it. Found from the blue
        separator line, whose top end is 5 pixels below the client area's top."""
        if who not in self.menu_height:
            shot = self.screenshot(self.windows[who])
            for y in range(shot[1]):
                if self.pixel(shot, SEPARATOR_X, y) == (0, 0, 255):
                    self.menu_height[who] = y - 5
                    break
            else:
                raise Failure(f"no separator line in {who}'s window")
        return self.menu_height[who]

    def click_client(self, who, pos, button=1):
        self.click(self.windows[who], pos[0], pos[1] + self.client_top(who), button)

    def canvas_pixels(self, who, points):
        shot = self.screenshot(self.windows[who])
        top = self.client_top(who)
        return [self.pixel(shot, CANVAS_INNER[0] + px, CANVAS_INNER[1] + top + py)
                for px, py in points]

    # ---- text through the clipboard ---------------------------------------------------------

    def clipboard(self):
        out = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                             timeout=10)
        return out.stdout.decode("utf-8", "replace") if out.returncode == 0 else None

    def copy_from(self, keys):
        """Presses `keys` in the focused widget and returns what it put on the clipboard, or None
        when it put nothing there."""
        sentinel = f"<nothing copied {random.random()}>"
        # xclip keeps the selection until another client takes it; the copy below does.
        holder = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-i"],
                                  stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, start_new_session=True)
        self.children.append(holder)
        holder.stdin.write(sentinel.encode())
        holder.stdin.close()
        self.wait_for("the clipboard sentinel", lambda: self.clipboard() == sentinel, timeout=5,
                      pause=0.05)
        self.key(*keys)

        def copied():
            text = self.clipboard()
            return text if text not in (None, sentinel) else None

        try:
            return self.wait_for("copied text", copied, timeout=3, pause=0.05)
        except Failure:
            return None  # an empty widget copies nothing

    def box_lines(self, who, pos):
        """The lines of a multi-line box (chat box or status log), newest first."""
        self.activate(self.windows[who])
        self.click_client(who, pos)
        text = self.copy_from(["ctrl+a", "ctrl+c"])
        # A click elsewhere in the box takes the selection away again (far enough from the first
        # click not to count as a double click).
        self.click_client(who, (pos[0] - 60, pos[1] + 25))
        text = text or ""
        return [line for line in text.replace("\r", "").split("\n") if line]

    def user_list(self, who):
        """The user list's rows in order: Ctrl+C copies the current row; Down steps on."""
        self.activate(self.windows[who])
        self.click_client(who, USER_LIST_FIRST_ROW)
        self.key("Home")
        rows = []
        for _ in range(10):
            row = self.copy_from(["ctrl+c"])
            if row is None or (rows and row == rows[-1]):
                break
            rows.append(row)
            self.key("Down")
        return rows

    def expect_lines(self, who, pos, what, wanted_top):
        """Waits until the box shows `wanted_top` as its first lines."""
        seen = []

        def probe():
            seen[:] = self.box_lines(who, pos)
            return seen[:len(wanted_top)] == wanted_top

        try:
            self.wait_for(f"{who}'s {what}", probe)
        except Failure:
            raise Failure(f"{who}'s {what} shows {seen}, expected to start with {wanted_top}")
        print(f"  {who} {what}: {seen}")
        return list(seen)

    def expect_users(self, who, wanted):
        seen = []

        def probe():
            seen[:] = self.user_list(who)
            return seen == wanted

        try:
            self.wait_for(f"{who}'s user list", probe)
        except Failure:
            raise Failure(f"{who}'s user list shows {seen}, expected {wanted}")
        print(f"  {who} users: {seen}")

    # ---- the session ----------------------------------------------------------------------

    def start_copy(self, who):
        env = dict(os.environ)
        env["QT_QPA_PLATFORM"] = "xcb"
        log = open(os.path.join(self.work, f"zaplo_{who}.log"), "wb")
        self.procs[who] = self.spawn([self.zaplo], env=env, stdout=log, stderr=log)
        return self.find_window(who, "Starup$")

    def start_joined(self, who, nick, address, more=(), env=None, before=None):
        """A copy started with --join and --nick: straight to its main window, no dialog.
        `before` plays what comes between (a certificate prompt)."""
        env = dict(env or os.environ)
        env["QT_QPA_PLATFORM"] = "xcb"
        log = open(os.path.join(self.work, f"zaplo_{who}.log"), "wb")
        self.procs[who] = self.spawn([self.zaplo, *more, "--join", address, "--nick", nick],
                                     env=env, stdout=log, stderr=log)
        if before:
            before()
        title = re.escape(f" - {nick} (Client)") + "$"
        window = self.find_window(who, title)
        if before:
            # Windows of the same name may come and go while the prompt closes: the one that
            # stays shown.
            def shown():
                for found in self.x("xdotool", "search", "--onlyvisible", "--pid",
                                    str(self.procs[who].pid), "--name", title,
                                    check=False).split():
                    if "IsViewable" in self.x("xwininfo", "-id", found, check=False):
                        return found
                return None

            time.sleep(0.5)
            window = self.wait_for(f"{who}'s main window to stay", shown)
        self.windows[who] = window
        self.x("xdotool", "windowmove", "--sync", window, *map(str, PLACES[who]), check=False)
        return window

    def settings(self, who, nick, port, server_ip=None):
        dialog = self.find_window(who, "^Connection Settings$")
        # Like the start screen, the dialog opens with its client area centred on the screen.
        x, y, width, height = self.geometry(dialog)
        _, _, screen_w, screen_h = self.geometry("root")
        off = (x + width // 2 - screen_w // 2, y + height // 2 - screen_h // 2)
        if max(map(abs, off)) > 1:
            raise Failure(f"{who}'s dialog opens {off} pixels away from the screen's centre")
        self.activate(dialog)
        self.click(dialog, 130, 25)  # nickname box
        self.key("ctrl+a")
        self.type(nick)
        if server_ip is not None:
            self.click(dialog, 130, 49)  # address box
            self.key("ctrl+a")
            self.type(server_ip)
        self.click(dialog, 70, 81)  # port box
        self.key("ctrl+a")
        self.type(str(port))
        if self.shots:
            name = "dialog_client.png" if server_ip is not None else "dialog_server.png"
            self.x("import", "-frame", "-window", dialog, os.path.join(self.shots, name))
        self.click(dialog, 136, 88)  # OK
        role = "Client" if server_ip is not None else "Server"
        window = self.find_window(who, re.escape(f" - {nick} ({role})") + "$")
        self.windows[who] = window
        self.x("xdotool", "windowmove", "--sync", window, *map(str, PLACES[who]), check=False)
        return window

    def drag(self, who, points):
        window = self.windows[who]
        top = self.client_top(who)
        at = lambda p: [str(CANVAS_INNER[0] + p[0]), str(CANVAS_INNER[1] + top + p[1])]
        self.activate(window)
        self.x("xdotool", "mousemove", "--window", window, *at(points[0]))
        self.x("xdotool", "mousedown", "1")
        for p in points[1:]:
            self.x("xdotool", "mousemove", "--window", window, *at(p))
            time.sleep(0.02)
        self.x("xdotool", "mouseup", "1")

    def menu(self, who, item):
        """Opens the File menu with the pointer and clicks Reset (first) or Exit (last)."""
        window = self.windows[who]
        self.activate(window)
        self.click(window, 15, self.client_top(who) // 2)
        popup = self.wait_for("the File menu", lambda: next(
            (w for w in self.visible_windows(who) if w != window), None))
        _, _, width, height = self.geometry(popup)
        self.click(popup, width // 2, 11 if item == "Reset" else height - 11)

    def run(self):
        port = free_port()
        print(f"port {port}")

        start_a = self.start_copy("A")
        if self.shots:
            time.sleep(2.5)  # let the intro run a little for the picture
            self.x("import", "-frame", "-window", start_a, os.path.join(self.shots, "start.png"))
        self.click(start_a, 56 + 62, 120 + 20)  # Server
        self.settings("A", "alice", port)
        self.expect_lines("A", STATUS_BOX, "status log", ["Waiting for a client to join..."])

        for who, nick in (("B", "bob"), ("C", "carol")):
            start = self.start_copy(who)
            self.click(start, 56 + 62, 168 + 20)  # Client
            self.settings(who, nick, port, server_ip="127.0.0.1")

        self.say("joined")
        self.expect_lines("A", STATUS_BOX, "status log",
                          ["carol has joined!", "bob has joined!",
                           "Waiting for a client to join..."])
        self.expect_lines("B", STATUS_BOX, "status log",
                          ["carol has joined!", "bob has joined!", "Connecting..."])
        self.expect_lines("C", STATUS_BOX, "status log", ["carol has joined!", "Connecting..."])
        # B draws a red stroke: a press, then moves across the canvas with the button held.
        self.say("drawing")
        self.click_client("B", RED_SWATCH)
        stroke = [(30 + 10 * i, 80) for i in range(18)]  # x 30 to 200 on row 80
        self.drag("B", stroke)
        on_line = [(x, 80) for x in range(30, 200, 7)]
        beside = [(x, 82) for x in range(30, 200, 7)] + [(20, 80), (215, 80)]
        for who in "ABC":
            def stroke_shown(who=who):
                got = self.canvas_pixels(who, on_line + beside)
                return (all(p == RED for p in got[:len(on_line)])
                        and not any(p == RED for p in got[len(on_line):]))
            self.wait_for(f"B's stroke on {who}'s canvas", stroke_shown)
        print("  the stroke shows red on row 80 from x 30 to 200 on all three canvases")

        # A draws too, in green, so that the session picture shows two users drawing.
        self.click_client("A", GREEN_SWATCH)
        self.drag("A", [(40 + 8 * i, 150 + (i % 5) * 6) for i in range(24)])

        # A's chat line: shown at once on A, echoed by the server to B and C.
        self.say("chatting")
        self.activate(self.windows["A"])
        self.click_client("A", CHAT_INPUT)
        self.type("hello from alice")
        self.key("Return")
        for who in "ABC":
            self.expect_lines(who, CHAT_BOX, "chat box", ["{alice}hello from alice"])

        for who in "ABC":
            self.wait_for(f"A's green stroke on {who}'s canvas",
                          lambda who=who: GREEN in self.canvas_pixels(
                              who, [(40 + 8 * i, 150 + (i % 5) * 6) for i in range(23)]))
        if self.shots:
            self.session_picture()
        for who in "ABC":
            self.expect_users(who, ["alice", "bob", "carol"])

        # C clears: every canvas is blank again.
        self.say("clearing")
        self.activate(self.windows["C"])
        self.click_client("C", CLEAR_BUTTON)
        for who in "ABC":
            self.wait_for(f"a blank canvas on {who}", lambda who=who: not any(
                p in (RED, GREEN) for p in self.canvas_pixels(who, on_line + [
                    (40 + 8 * i, 150 + (i % 5) * 6) for i in range(23)])))
        print("  all three canvases are blank")

        # B resets: back to its start screen; A and C see it leave.
        self.say("resetting B")
        self.menu("B", "Reset")
        self.find_window("B", "Starup$")
        self.expect_lines("A", STATUS_BOX, "status log", ["bob has been disconnected!"])
        self.expect_lines("C", STATUS_BOX, "status log", ["bob has been disconnected!"])
        for who in "AC":
            self.expect_users(who, ["alice", "carol"])

        self.late_joiner_and_removal(port)

        # A exits: its process ends and C loses the server.
        self.say("A exits")
        self.menu("A", "Exit")
        try:
            code = self.procs["A"].wait(STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("A's process did not end after Exit")
        print(f"  A's process ended with status {code}")
        self.expect_lines("C", STATUS_BOX, "status log", ["Lost connection to server!"])

        if self.server:
            self.headless()
            self.tls_join()
            self.protected()

        # In a sanitizer build every copy reports memory and undefined-behaviour faults in its
        # log; B and C are still running, so only what they found so far counts.
        for who in [w for w in "ABCDEFGH" if w in self.procs] + [
                s for s in ("server", "tlsserver", "pwserver") if s in self.procs]:
            with open(os.path.join(self.work, f"zaplo_{who}.log"), errors="replace") as log:
                text = log.read()
            if re.search(r"ERROR: (Address|Leak)Sanitizer|runtime error:", text):
                raise Failure(f"{who} reported a sanitizer fault:\n{text[-3000:]}")

    def headless(self):
        """D and E, started from the command line, meet at a headless zaplo-server, chat, and
        lose it when it is told to end."""
        self.say("headless host")
        port = free_port()
        out_path = os.path.join(self.work, "server.out")
        server = self.spawn([self.server, "--port", str(port), "--nick", "hub", "--listen",
                             "127.0.0.1"], stdout=open(out_path, "wb"),
                            stderr=open(os.path.join(self.work, "zaplo_server.log"), "wb"))
        self.procs["server"] = server

        def printed():
            """The server's lines without their time stamps."""
            with open(out_path, errors="replace") as out:
                lines = out.read().splitlines()
            if not all(re.match(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ", l) for l in lines):
                raise Failure(f"a server line without a time stamp: {lines}")
            return [l[20:] for l in lines]

        self.wait_for("the server to listen",
                      lambda: printed() == ["Waiting for a client to join..."])
        self.start_joined("D", "dave", f"127.0.0.1:{port}")
        self.expect_lines("D", STATUS_BOX, "status log", ["dave has joined!", "Connecting..."])
        self.start_joined("E", "erin", f"127.0.0.1:{port}")
        self.expect_lines("E", STATUS_BOX, "status log", ["erin has joined!", "Connecting..."])
        self.expect_users("D", ["hub", "dave", "erin"])

        self.activate(self.windows["D"])
        self.click_client("D", CHAT_INPUT)
        self.type("hi from dave")
        self.key("Return")
        for who in "DE":
            self.expect_lines(who, CHAT_BOX, "chat box", ["{dave}hi from dave"])

        server.send_signal(signal.SIGTERM)
        try:
            code = server.wait(STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("zaplo-server did not end on SIGTERM")
        if code != 0:
            raise Failure(f"zaplo-server ended with status {code} on SIGTERM")
        print("  zaplo-server ended with status 0 on SIGTERM")
        for who in "DE":
            self.expect_lines(who, STATUS_BOX, "status log", ["Lost connection to server!"])
        # Its status lines and nothing else: no chat line.
        lines = printed()
        if lines != ["Waiting for a client to join...", "dave has joined!", "erin has joined!"]:
            raise Failure(f"zaplo-server printed {lines}")
        print(f"  zaplo-server printed {lines}")

    def tls_join(self):
        """F joins a zaplo-server that requires TLS and shows a certificate of its own: the
        prompt shows the certificate's fingerprint, F accepts it, joins over TLS, and the
        certificate is remembered in F's data folder (nowhere else)."""
        if not shutil.which("openssl"):
            print("  no openssl command: the TLS join is not tried")
            return
        self.say("TLS join through the certificate prompt")
        cert, key = os.path.join(self.work, "cert.pem"), os.path.join(self.work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:P-256", "-days", "2", "-nodes", "-subj", "/CN=e2e",
                        "-keyout", key, "-out", cert], check=True, capture_output=True)
        shown = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint",
                                "-sha256"], check=True, capture_output=True, text=True)
        fingerprint = shown.stdout.strip().split("=", 1)[1]
        port = free_port()
        out_path = os.path.join(self.work, "tlsserver.out")
        self.procs["tlsserver"] = self.spawn(
            [self.server, "--port", str(port), "--nick", "hub", "--listen", "127.0.0.1",
             "--tls-cert", cert, "--tls-key", key, "--require-tls"],
            stdout=open(out_path, "wb"),
            stderr=open(os.path.join(self.work, "zaplo_tlsserver.log"), "wb"))
        self.wait_for("the TLS server to listen",
                      lambda: "Waiting for a client to join..." in open(out_path).read())
        data = os.path.join(self.work, "data")
        env = dict(os.environ, XDG_DATA_HOME=data)

        def accept():
            prompt = self.find_window("F", "^Zaplo$")
            self.activate(prompt)
            # The fingerprint box has the focus: what the user compares, copied out of it.
            got = self.copy_from(["ctrl+a", "ctrl+c"])
            if got != fingerprint:
                raise Failure(f"the prompt shows {got!r}, the certificate is {fingerprint}")
            print(f"  the prompt shows the fingerprint {fingerprint[:23]}...")
            self.key("alt+a")
            # The dialog goes at the key's press: its release must not leave Alt held.
            self.x("xdotool", "keyup", "alt", check=False)

        self.start_joined("F", "fay", f"127.0.0.1:{port}", more=["--tls"], env=env,
                          before=accept)
        self.expect_lines("F", STATUS_BOX, "status log", ["fay has joined!", "Connecting..."])
        self.expect_users("F", ["hub", "fay"])
        with open(os.path.join(data, "Zaplo", "known_hosts")) as known:
            kept = known.read()
        if kept != f"127.0.0.1:{port} {fingerprint}\n":
            raise Failure(f"known_hosts holds {kept!r}")
        print("  the accepted certificate is remembered for 127.0.0.1:" + str(port))

    def shown_main_window(self, who, title, old=None):
        """The main window of `who` with this title that stays viewable, other than `old`."""
        def shown():
            for found in self.x("xdotool", "search", "--onlyvisible", "--pid",
                                str(self.procs[who].pid), "--name", title, check=False).split():
                if found != old and "IsViewable" in self.x("xwininfo", "-id", found, check=False):
                    return found
            return None

        window = self.wait_for(f"{who}'s main window", shown)
        self.windows[who] = window
        self.menu_height.pop(who, None)
        self.x("xdotool", "windowmove", "--sync", window, *map(str, PLACES[who]), check=False)
        return window

    def password_dialog(self, who):
        """The password dialog of `who`, active, its password box focused."""
        def probe():
            # The search matches the main window too (by its class name): the one titled so.
            for found in self.visible_windows(who):
                if self.x("xdotool", "getwindowname", found, check=False).strip() == "Zaplo":
                    return found
            return None

        dialog = self.wait_for(f"{who}'s password dialog", probe)
        self.activate(dialog)
        return dialog

    def protected(self):
        """A zaplo-server with a password: H joins without it, is refused, is asked and cancels;
        G is asked too, types the password into the dialog and joins. The password never shows
        in a command line: the server reads it from a file."""
        self.say("a session with a password")
        secret = "s3cret pass"
        password_path = os.path.join(self.work, "password")
        with open(password_path, "w") as out:
            out.write(secret + "\n")
        port = free_port()
        out_path = os.path.join(self.work, "pwserver.out")
        self.procs["pwserver"] = self.spawn(
            [self.server, "--port", str(port), "--nick", "hub", "--listen", "127.0.0.1",
             "--password-file", password_path],
            stdout=open(out_path, "wb"),
            stderr=open(os.path.join(self.work, "zaplo_pwserver.log"), "wb"))
        self.wait_for("the protected server to listen",
                      lambda: "Waiting for a client to join..." in open(out_path).read())

        # H has no password: refused with the host's reason, asked, and Cancel leaves it there.
        self.start_joined("H", "hana", f"127.0.0.1:{port}")
        self.password_dialog("H")
        self.key("Escape")
        self.wait_for("H's password dialog to close", lambda: len(self.visible_windows("H")) == 1)
        self.windows["H"] = self.find_window("H", re.escape(" - hana (Client)") + "$")
        self.expect_lines("H", STATUS_BOX, "status log",
                          ["Lost connection to server!", "This session needs a password.",
                           "Connecting..."])
        self.expect_users("H", [])
        self.say("H exits")
        self.menu("H", "Exit")
        try:
            self.procs["H"].wait(STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("H's process did not end after Exit")

        # G is asked as well, types the password, and its new session joins.
        first = self.start_joined("G", "gina", f"127.0.0.1:{port}")
        self.password_dialog("G")
        self.type(secret)
        self.key("Return")
        self.shown_main_window("G", re.escape(" - gina (Client)") + "$", old=first)
        self.expect_lines("G", STATUS_BOX, "status log", ["gina has joined!", "Connecting..."])
        self.expect_users("G", ["hub", "gina"])
        with open(out_path, errors="replace") as out:
            printed = [line[20:] for line in out.read().splitlines()]
        if "hana has joined!" in printed or "gina has joined!" not in printed:
            raise Failure(f"the protected server printed {printed}")
        print(f"  the protected server printed {printed}")

    # ---- the picture for a late joiner, and the host removing a participant ----------------

    def canvas_area(self, who):
        """The canvas's inner 248 x 353 pixels, row by row, as bytes."""
        shot = self.screenshot(self.windows[who])
        width, top = shot[0], CANVAS_INNER[1] + self.client_top(who)
        left = CANVAS_INNER[0]
        return b"".join(shot[2][((top + y) * width + left) * 3:((top + y) * width + left + 248) * 3]
                        for y in range(353))

    def late_joiner_and_removal(self, port):
        """A draws and turns on Send Picture to Newcomers; B joins again and its canvas comes to
        equal A's. Then A disconnects B from its user list (Delete on B's row, then Disconnect),
        which everyone sees as B's departure."""
        self.say("late joiner")
        self.click_client("A", RED_SWATCH)
        self.drag("A", [(20 + 9 * i, 40 + (i * 37) % 90) for i in range(24)])
        self.click(self.windows["A"], 15, self.client_top("A") // 2)  # the File menu
        self.wait_for("A's File menu", lambda: len(self.visible_windows("A")) > 1)
        self.key("p")  # Send &Picture to Newcomers
        self.wait_for("A's File menu to close", lambda: len(self.visible_windows("A")) == 1)
        self.click(self.find_window("B", "Starup$"), 56 + 62, 168 + 20)  # Client
        self.settings("B", "bob", port, server_ip="127.0.0.1")
        hosts = self.canvas_area("A")
        if not any(hosts[i:i + 3] == bytes(RED) for i in range(0, len(hosts), 3)):
            raise Failure("A's stroke is not on A's canvas")
        self.wait_for("B's canvas equal to A's",
                      lambda: self.canvas_area("B") == self.canvas_area("A"), pause=0.5)
        print("  B's canvas equals A's pixel for pixel")
        if self.shots:
            self.session_picture("late_joiner.png")
        for who in "AC":
            self.expect_users(who, ["alice", "carol", "bob"])

        self.say("A disconnects B")
        window = self.windows["A"]
        self.activate(window)
        self.click_client("A", USER_LIST_FIRST_ROW)
        self.key("End")  # bob's row
        self.key("Delete")
        self.wait_for("A's user list menu", lambda: len(self.visible_windows("A")) > 1)
        if self.shots:
            x, y, _, _ = self.geometry(window)
            self.x("import", "-window", "root", "-crop", f"260x200+{x + 200}+{y}", "+repage",
                   os.path.join(self.shots, "disconnect.png"))
        self.key("Down", "Return")
        for who in "AC":
            self.expect_lines(who, STATUS_BOX, "status log", ["bob has been disconnected!"])
            self.expect_users(who, ["alice", "carol"])
        self.expect_lines("B", STATUS_BOX, "status log", ["Lost connection to server!"])

    def session_picture(self, name="session.png"):
        """A and B side by side, frames included, cut from the screen."""
        ax, ay, aw, ah = self.geometry(self.windows["A"])
        bx, by, bw, bh = self.geometry(self.windows["B"])
        left, top = max(0, ax - 4), max(0, ay - 26)
        right, bottom = bx + bw + 4, max(ay + ah, by + bh) + 4
        self.x("import", "-window", "root", "-crop",
               f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
               os.path.join(self.shots, name))


def free_port():
    """A port above 1023 that nothing listens on, and that the program's 16-bit port holds."""
    for _ in range(50):
        port = random.randint(20000, 32000)
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
            try:
                probe.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise Failure("no free port")


def drive(run, prefix, after=None):
    """Starts the window manager, runs run.run() and then after(), and tells how it went: 0 when
    it passed, 1 (with the programs' logs) when it did not."""
    run.work = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"{prefix}_{os.getpid()}")
    os.makedirs(run.work, exist_ok=True)
    # Any signal ends the run through the cleanup below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(2))
    try:
        wm_log = open(os.path.join(run.work, "openbox.log"), "w")
        wm = run.spawn(["openbox", "--sm-disable"], stdout=wm_log, stderr=subprocess.STDOUT)

        def wm_ready():
            if wm.poll() is not None:
                raise Failure(f"openbox ended with status {wm.returncode}: "
                              + open(wm_log.name).read()[-2000:])
            return "window id" in run.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                        check=False)

        # A loaded machine can take a while to start the window manager.
        run.wait_for("the window manager", wm_ready, timeout=90.0)
        run.run()
        if after:
            after()
        print(f"passed in {time.monotonic() - run.started:.1f} s")
        return 0
    except Failure as failure:
        print(f"FAILED: {failure}")
        for name in sorted(os.listdir(run.work)):
            if name.endswith(".log") or name.endswith(".out"):
                with open(os.path.join(run.work, name), errors="replace") as log:
                    text = log.read().strip()
                if text:
                    print(f"--- {name}\n{text[-2000:]}")
        return 1
    finally:
        run.cleanup()
        shutil.rmtree(run.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("zaplo")
    parser.add_argument("--shots", help="folder for the README pictures")
    parser.add_argument("--server", help="zaplo-server, for the run at a headless host")
    args = parser.parse_args()
    for tool in ("xdotool", "xwininfo", "xprop", "import", "convert", "xclip", "openbox"):
        if not shutil.which(tool):
            print(f"missing tool: {tool}")
            return 1
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)

    run = Run(os.path.abspath(args.zaplo), args.shots,
              os.path.abspath(args.server) if args.server else None)
    return drive(run, "zaplo_e2e")


if __name__ == "__main__":
    sys.exit(main())
