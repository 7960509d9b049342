# SPDX-License-Identifier: MIT
"""The servers and the bot runs of relay_bench.py and relay_ab.py, and how their figures are told."""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import time

import procs


class Server:
    """One server process: the program's server window ("program"), the program's headless
    server ("headless"), the bare relay or the MQTT broker."""

    def __init__(self, kind, build, tmpdir, tls=None, password=None):
        """tls: (certificate file, key file) for a program server that also serves TLS; the
        bots run against it join over TLS."""
        self.kind = kind
        self.tls = tls
        # Only the program's server takes a session password; the bots answer its challenge.
        self.password = password if kind in ("program", "headless") else None
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.drain = None
        if kind == "headless":
            self.port = procs.free_low_port()
            cmd = [os.path.join(build, "server", "zaplo-server"), "--port", str(self.port),
                   "--nick", "benchhost", "--listen", "127.0.0.1",
                   # Every bot comes from 127.0.0.1: no cap on connections from one address.
                   "--max-per-address", "0"]
            if tls:
                cmd += ["--tls-cert", tls[0], "--tls-key", tls[1]]
            if self.password:
                cmd += ["--password", self.password]
        elif kind == "program":
            cmd = [os.path.join(build, "bench", "zaplo_bench_window"), "server"]
            if tls:
                cmd += ["--tls-cert", tls[0], "--tls-key", tls[1]]
            if self.password:
                cmd += ["--password", self.password]
        elif kind == "bare":
            cmd = [os.path.join(build, "bench", "zaplo_bench_relay")]
        else:
            self.port = procs.free_low_port()
            conf = os.path.join(tmpdir, f"mosquitto-{self.port}.conf")
            with open(conf, "w") as f:
                f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\n"
                        "persistence false\nlog_type none\n")
            cmd = [mosquitto_path(), "-c", conf]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     env=env)
        if kind == "mqtt":
            self._wait_listening()
        elif kind == "headless":
            line = procs.read_line(self.proc.stdout, 20)
            if not line or not line.endswith("Waiting for a client to join..."):
                self.stop()
                raise RuntimeError(f"zaplo-server did not start: {line}")
            # Keeps the status lines' pipe drained: every join prints one.
            self.drain = subprocess.Popen(["cat"], stdin=self.proc.stdout,
                                          stdout=subprocess.DEVNULL)
        else:
            line = procs.read_line(self.proc.stdout, 20)
            if not line or not line.isdigit():
                self.stop()
                raise RuntimeError(f"{kind} server did not report its port")
            self.port = int(line)

    def _wait_listening(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    return
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("mosquitto did not start listening")

    def hwm(self):
        return procs.proc_mb(self.proc.pid, "VmHWM")

    def cpu_seconds(self):
        return procs.cpu_seconds(self.proc.pid)

    def rss(self):
        return procs.proc_mb(self.proc.pid, "VmRSS")

    def stop(self):
        procs.stop(self.proc)
        if self.drain is not None:
            self.drain.wait(timeout=10)


def mosquitto_path():
    return shutil.which("mosquitto") or ("/usr/sbin/mosquitto"
                                         if os.access("/usr/sbin/mosquitto", os.X_OK) else None)


def parse_result(line):
    """The fields of the bot program's RESULT line: numbers where they are numbers."""
    out = {}
    for field in line.split()[1:]:
        key, _, value = field.partition("=")
        try:
            out[key] = float(value)
        except ValueError:
            out[key] = value
    return out


def run_bots(build, server, clients, mode, seconds, rate=100, window=None, records=None,
             tls=None, readers=None):
    """tls: bots over TLS; by default when the server serves TLS. readers (paced): how many of
    the clients read and time what arrives; the rest drain their sockets unread."""
    cmd = [os.path.join(build, "bench", "zaplo_bench_bot"), "--port", str(server.port),
           "--proto", "mqtt" if server.kind == "mqtt" else "line", "--mode", mode,
           "--clients", str(clients), "--seconds", str(seconds), "--rate", str(rate)]
    if server.tls if tls is None else tls:
        cmd += ["--tls", "1"]
    if server.password:
        cmd += ["--password", server.password]
    if window is not None:
        cmd += ["--window", str(window)]
    if records is not None:
        cmd += ["--records", str(records)]
    if readers is not None and mode == "paced":
        cmd += ["--readers", str(min(readers, clients))]
    cpu_before = server.cpu_seconds()
    try:
        res = subprocess.run(cmd, capture_output=True, timeout=seconds + 120)
    except subprocess.TimeoutExpired:
        print(f"  ! {server.kind} C={clients} {mode}: bots timed out", file=sys.stderr)
        return None
    lines = [l for l in res.stdout.decode().splitlines() if l.startswith("RESULT ")]
    if res.returncode != 0 or not lines:
        err = res.stderr.decode().strip().splitlines()
        print(f"  ! {server.kind} C={clients} {mode}: bots failed ({err[-1] if err else res.returncode})",
              file=sys.stderr)
        return None
    out = parse_result(lines[-1])
    cpu_after = server.cpu_seconds()
    if cpu_before is not None and cpu_after is not None and out.get("delivered"):
        # What the server's CPU costs per delivered record: unlike the rate it hardly depends on
        # what else the machine runs.
        out["cpu_ns"] = (cpu_after - cpu_before) * 1e9 / out["delivered"]
    return out


def median(results, key):
    values = [r[key] for r in results if r and key in r]
    return statistics.median(values) if values else None


def fmt_rate(v):
    return "-" if v is None else f"{v / 1e6:.2f}M"


def fmt(v, digits=2):
    return "-" if v is None else f"{v:.{digits}f}"


def ratio(num, den):
    return num / den if num and den else None


def cpu_cell(results, c):
    """Server CPU per delivered record, program / bare, and the program's share over bare."""
    p, b = median(results[("program", c)], "cpu_ns"), median(results[("bare", c)], "cpu_ns")
    return f"{fmt(p, 0):>7}/{fmt(b, 0):<7} {fmt(ratio(p, b)):>6}"


def burst_records(clients, deliveries, least):
    """Records per client in a burst: enough for about `deliveries` receipts in all, so that the
    run is long against its start-up, and at least `least`."""
    return max(least, -(-deliveries // (clients * (clients - 1))))


def faults(results):
    """Lost, repeated and reordered records summed over runs, and failed runs."""
    bad = sum(1 for r in results if not r)
    total = sum(int(r["missing"] + r["out_of_order"] + r["duplicates"]) for r in results if r)
    return total, bad
