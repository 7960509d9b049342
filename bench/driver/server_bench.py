#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Cost of the headless server (zaplo-server) beside the window's server (the program's real main
window in server mode, offscreen) and, for relay speed, the bare epoll line relay. Every server and
the bot program are separate processes; each figure is the median of several runs, the kinds
interleaved.

  idle      resident memory (VmRSS) and CPU (% of one core, from the kernel's run-time counters
            of every thread) of a server nobody has joined, over --idle-seconds
  200 idle  the same with 200 bots joined and sitting quiet
  relay     flood rate, records delivered per second over all receivers, at each client count;
            ratios headless / window and headless / bare

  bench/driver/server_bench.py [--build build] [--runs 3] [--short]

Bounds the headless server is meant to keep: idle at most 15 MB and 0.1 % of a core, with 200
idle clients at most 25 MB, and relay at least as fast as the window's server. --check exits
non-zero when a median breaks one of them (the relay with 10 % leeway for a shared machine).
"""
import argparse
import glob
import os
import statistics
import subprocess
import sys
import time

import procs

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KINDS = ("headless", "window", "bare")


class Server:
    def __init__(self, kind, build):
        self.kind = kind
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        if kind == "headless":
            self.port = procs.free_low_port()
            cmd = [os.path.join(build, "server", "zaplo-server"), "--port", str(self.port),
                   "--nick", "benchhost", "--listen", "127.0.0.1"]
        elif kind == "window":
            cmd = [os.path.join(build, "bench", "zaplo_bench_window"), "server"]
        else:
            cmd = [os.path.join(build, "bench", "zaplo_bench_relay")]
        # The headless server's status lines go to a pipe that is read on, so it never blocks.
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     env=env)
        line = procs.read_line(self.proc.stdout, 20)
        if kind == "headless":
            if not line or not line.endswith("Waiting for a client to join..."):
                self.stop()
                raise RuntimeError(f"zaplo-server did not start: {line}")
        elif not line or not line.isdigit():
            self.stop()
            raise RuntimeError(f"{kind} server did not report its port")
        else:
            self.port = int(line)
        if kind == "headless":
            # Keeps the pipe drained; joins print a line each.
            self.drain = subprocess.Popen(["cat"], stdin=self.proc.stdout,
                                          stdout=subprocess.DEVNULL)

    def rss(self):
        return procs.proc_mb(self.proc.pid, "VmRSS")

    def cpu_ns(self):
        """Run time of every thread so far, in nanoseconds."""
        total = 0
        for path in glob.glob(f"/proc/{self.proc.pid}/task/*/schedstat"):
            try:
                with open(path) as f:
                    total += int(f.read().split()[0])
            except (OSError, ValueError, IndexError):
                pass
        return total

    def cpu_percent(self, seconds):
        c0, t0 = self.cpu_ns(), time.monotonic()
        time.sleep(seconds)
        c1, t1 = self.cpu_ns(), time.monotonic()
        return 100.0 * (c1 - c0) / 1e9 / (t1 - t0)

    def stop(self):
        procs.stop(self.proc)
        if getattr(self, "drain", None):
            self.drain.wait(5)


def bot(build, port, *args):
    return [os.path.join(build, "bench", "zaplo_bench_bot"), "--port", str(port), *args]


def idle_figures(build, kind, seconds, clients):
    """(RSS MB, CPU %) of a fresh server, with `clients` idle bots joined (0: none)."""
    server = Server(kind, build)
    bots = None
    try:
        if clients:
            bots = subprocess.Popen(bot(build, server.port, "--mode", "idle", "--clients",
                                        str(clients)), stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)
            if procs.read_line(bots.stdout, 90) != "JOINED":
                raise RuntimeError(f"{clients} bots did not all join the {kind} server")
        time.sleep(1.0)  # start-up and joins settle
        cpu = server.cpu_percent(seconds)
        return server.rss(), cpu
    finally:
        if bots:
            bots.terminate()
            bots.wait()
        server.stop()


def flood_rate(build, server, clients, seconds):
    cmd = bot(build, server.port, "--proto", "line", "--mode", "flood", "--clients",
              str(clients), "--seconds", str(seconds), "--window", str(max(16, 20000 // clients)))
    res = subprocess.run(cmd, capture_output=True, timeout=seconds + 120)
    lines = [l for l in res.stdout.decode().splitlines() if l.startswith("RESULT ")]
    if res.returncode != 0 or not lines:
        print(f"  ! {server.kind} C={clients}: bots failed", file=sys.stderr)
        return None
    fields = dict(f.partition("=")[::2] for f in lines[-1].split()[1:])
    bad = sum(int(float(fields.get(k, 0))) for k in ("missing", "out_of_order", "duplicates"))
    if bad:
        print(f"  ! {server.kind} C={clients}: {bad} records lost, repeated or reordered",
              file=sys.stderr)
    return float(fields["rate"])


def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def fmt(v, form):
    return "-" if v is None else format(v, form)


def parse_args():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--idle-seconds", type=float, default=10.0)
    ap.add_argument("--idle-clients", type=int, default=200)
    ap.add_argument("--clients", default="5,20,50")
    ap.add_argument("--flood-seconds", type=float, default=3.0)
    ap.add_argument("--short", action="store_true", help="one run each, shorter windows")
    ap.add_argument("--check", action="store_true", help="fail when a bound is broken")
    args = ap.parse_args()
    args.runs = 1 if args.short else args.runs
    args.idle_s = 3.0 if args.short else args.idle_seconds
    args.flood_s = 0.5 if args.short else args.flood_seconds
    args.counts = [int(c) for c in args.clients.split(",")]
    return args


def idle_table(args):
    """(RSS, CPU) runs per (kind, clients), printed as medians."""
    idle = {(k, c): [] for k in ("headless", "window") for c in (0, args.idle_clients)}
    for _ in range(args.runs):
        for c in (0, args.idle_clients):
            for k in ("headless", "window"):
                idle[(k, c)].append(idle_figures(args.build, k, args.idle_s, c))
    print()
    print(f"{'':>22} {'RSS MB':>8} {'CPU % core':>11}")
    for c in (0, args.idle_clients):
        for k in ("headless", "window"):
            rss = med([r for r, _ in idle[(k, c)]])
            cpu = med([p for _, p in idle[(k, c)]])
            label = f"{k}, " + ("idle" if c == 0 else f"{c} idle clients")
            print(f"{label:>22} {fmt(rss, '8.1f')} {fmt(cpu, '11.3f')}")
    return idle


def relay_table(args):
    """Flood rates per kind and count, printed as medians; headless / window per count."""
    rates = {(k, c): [] for k in KINDS for c in args.counts}
    for c in args.counts:
        servers = {k: Server(k, args.build) for k in KINDS}
        try:
            for _ in range(args.runs):
                for k in KINDS:
                    rates[(k, c)].append(flood_rate(args.build, servers[k], c, args.flood_s))
        finally:
            for s in servers.values():
                s.stop()
    print()
    print("Relay, flood: records delivered per second over all receivers (millions)")
    print(f"{'C':>4} {'headless':>9} {'window':>9} {'bare':>9} {'hl/window':>10} {'hl/bare':>8}")
    ratios = {}
    for c in args.counts:
        h, w, b = (med(rates[(k, c)]) for k in KINDS)
        ratios[c] = h / w if h and w else None
        print(f"{c:>4} {fmt(h and h / 1e6, '9.2f')} {fmt(w and w / 1e6, '9.2f')} "
              f"{fmt(b and b / 1e6, '9.2f')} {fmt(ratios[c], '10.2f')} "
              f"{fmt(h / b if h and b else None, '8.2f')}")
    return ratios


def check(args, idle, ratios):
    problems = []
    rss0, cpu0 = med([r for r, _ in idle[("headless", 0)]]), med([p for _, p in idle[("headless", 0)]])
    rss_n = med([r for r, _ in idle[("headless", args.idle_clients)]])
    if rss0 is None or rss0 > 15:
        problems.append(f"idle RSS {rss0} MB over 15 MB")
    if cpu0 is None or cpu0 > 0.1:
        problems.append(f"idle CPU {cpu0} % over 0.1 %")
    if rss_n is None or rss_n > 25:
        problems.append(f"RSS with {args.idle_clients} idle clients {rss_n} MB over 25 MB")
    for c, r in ratios.items():
        if r is None or r < 0.9:
            problems.append(f"headless / window relay at {c} clients is {r}")
    for p in problems:
        print("CHECK FAILED: " + p)
    if problems:
        return 1
    print("CHECK PASSED")
    return 0


def main():
    args = parse_args()
    started = time.monotonic()
    print(f"Server cost benchmark: {os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f}; "
          f"{args.runs} runs per figure, medians; idle CPU over {args.idle_s:g} s.", flush=True)
    idle = idle_table(args)
    ratios = relay_table(args)
    print(f"Run time {time.monotonic() - started:.0f} s")
    return check(args, idle, ratios) if args.check else 0


if __name__ == "__main__":
    sys.exit(main())
