#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Idle cost of the program: % of one core (user + system time from /proc/<pid>/stat) over a
window of wall time, for
  - the start screen with its intro animation (the real zaplo binary, offscreen),
  - a server window with no client,
  - a connected idle client window and its server window,
  - a server window with 200 idle joined clients (the bot program in idle mode).
The windows are the program's real main window (bench/window/session_window.cpp). All states run
at the same time, as separate processes; each run measures them over the same window, and the
median of the runs is printed.

  bench/driver/idle_bench.py [--build build] [--short] [--seconds 30] [--runs 3]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

import procs

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def start(cmd, wait_line=True, timeout=90):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    line = procs.read_line(proc.stdout, timeout) if wait_line else None
    return proc, line


def stop(started):
    for p in started:
        if p.poll() is None:
            p.terminate()
    for p in started:
        procs.stop(p)


def one_run(build, seconds, idle_clients):
    window = os.path.join(build, "bench", "zaplo_bench_window")
    started = []
    try:
        start_screen, _ = start([os.path.join(build, "app", "zaplo")], wait_line=False)
        started.append(start_screen)
        lonely, _ = start([window, "server"])
        started.append(lonely)
        port = procs.free_low_port()
        server, line = start([window, "server", str(port)])
        started.append(server)
        if line != str(port):
            raise RuntimeError("the server window for the client did not start")
        client, line = start([window, "client", str(port)])
        started.append(client)
        if line != "connected":
            raise RuntimeError("the client window did not connect")
        crowded, line = start([window, "server"])
        started.append(crowded)
        bots, joined = start([os.path.join(build, "bench", "zaplo_bench_bot"), "--port", line,
                              "--mode", "idle", "--clients", str(idle_clients)])
        started.append(bots)
        if joined != "JOINED":
            raise RuntimeError(f"the {idle_clients} bots did not all join")
        time.sleep(1.0)  # let start-up work and the joins settle
        watched = {
            "start screen with its animation": start_screen,
            "server window, no client": lonely,
            "client window, connected, idle": client,
            "its server window": server,
            f"server window with {idle_clients} idle joined clients": crowded,
        }
        before = {name: procs.cpu_seconds(p.pid) for name, p in watched.items()}
        t0 = time.monotonic()
        time.sleep(seconds)
        wall = time.monotonic() - t0
        after = {name: procs.cpu_seconds(p.pid) for name, p in watched.items()}
        for name, p in watched.items():
            if p.poll() is not None:
                raise RuntimeError(f"{name}: the process ended during the measurement")
        return {name: 100.0 * (after[name] - before[name]) / wall for name in watched}
    finally:
        stop(started)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--short", action="store_true", help="5 s, one run")
    ap.add_argument("--seconds", type=float)
    ap.add_argument("--runs", type=int)
    ap.add_argument("--idle-clients", type=int, default=200)
    args = ap.parse_args()
    seconds = args.seconds or (5 if args.short else 30)
    runs = args.runs or (1 if args.short else 3)

    results = []
    for i in range(runs):
        results.append(one_run(args.build, seconds, args.idle_clients))
        print(f"run {i + 1}/{runs}: " + ", ".join(f"{v:.2f}" for v in results[-1].values()),
              file=sys.stderr, flush=True)
    print(f"Idle cost, % of one core over {seconds:g} s (user + system time), median of {runs} runs")
    for name in results[0]:
        values = [r[name] for r in results]
        print(f"  {name:<46} {statistics.median(values):6.2f} %")
    return 0


if __name__ == "__main__":
    sys.exit(main())
