#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Two builds' server windows under the soak's churn60 and flood phases, in one invocation.

Runs the soak of the last build (bench/soak/soak) several times per build, the builds
interleaved; for every build but the last its servers come from that build's soak
(--server-from), so the peers are the same code and only the server differs. Prints each run's
figures, then the medians and their ratios to the first build's:
  churn60  honest receivers cut, the server's peak RSS, the talker's echo p50/p99, churn cycles
           that got through per second;
  flood    how late the talker's lines reach the 125 KB/s reader (p50/p95/p99) and the fast
           reader (p95), honest peers cut;
  floodplain the same with the slow reader's receive buffer left to the system.

  bench/driver/soak_ab.py --builds OLD,NEW [--runs 3] [--phases churn60,flood,floodplain] [--short]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys

PATTERNS = {
    "churn60": {
        "cut": r"receivers cut (\d+)/",
        "rss_mb": r"server peak RSS (\d+) MB",
        "echo_p50": r"talker's echo p50 ([\d.]+) ms",
        "echo_p99": r"talker's echo p50 [\d.]+ ms p99 ([\d.]+) ms",
        "joined_s": r"churn cycles ([\d.]+)/s joined",
        "lag_p99": r"at the receivers p99 ([-\d.]+) ms",
    },
    "flood": {
        "slow_p50": r"at the slow reader \d+/\d+ p50 ([-\d.]+) ms",
        "slow_p95": r"at the slow reader \d+/\d+ p50 [-\d.]+ ms p95 ([-\d.]+) ms",
        "slow_p99": r"at the slow reader [^;]* p99 ([-\d.]+) ms",
        "fast_p95": r"at the fast reader \d+/\d+ p50 [-\d.]+ ms p95 ([-\d.]+) ms",
        "cut": r"honest cut (\d+)",
        "rss_mb": r"peak RSS (\d+) MB",
    },
}
PATTERNS["floodplain"] = PATTERNS["flood"]
# Which line of the soak's output belongs to which phase.
LINE_OF = {"churn60": "receivers at 32 KB/s", "flood": "flooder + 125 KB/s reader",
           "floodplain": "flooder + 125 KB/s plain reader"}


def run_soak(soak, server, phase, short):
    cmd = [soak, "--only", phase, "--server-from", server] + (["--short"] if short else [])
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    res = subprocess.run(cmd, capture_output=True, env=env, timeout=600)
    lines = [l for l in res.stdout.decode().splitlines() if LINE_OF[phase] in l]
    if res.returncode != 0 or not lines:
        print(f"  ! {phase} against {server}: the soak failed ({res.returncode})", file=sys.stderr)
        return None
    figures = {}
    for key, pattern in PATTERNS[phase].items():
        match = re.search(pattern, lines[-1])
        figures[key] = float(match.group(1)) if match else None
    figures["line"] = lines[-1]
    return figures


def median(runs, key):
    values = [r[key] for r in runs if r and r.get(key) is not None]
    return statistics.median(values) if values else None


def report(phase, names, results):
    print(f"\n{phase}: medians of {len(results[names[0]])} runs; ratio = build / {names[0]}")
    keys = list(PATTERNS[phase])
    print(f"{'build':>8} " + " ".join(f"{k:>10}" for k in keys))
    first = {k: median(results[names[0]], k) for k in keys}
    for name in names:
        med = {k: median(results[name], k) for k in keys}
        print(f"{name:>8} " + " ".join(f"{'-' if med[k] is None else f'{med[k]:.1f}':>10}"
                                       for k in keys))
        if name != names[0]:
            cells = [f"{med[k] / first[k]:.2f}" if med[k] is not None and first[k] else "-"
                     for k in keys]
            print(f"{'ratio':>8} " + " ".join(f"{c:>10}" for c in cells))


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--builds", required=True, help="comma-separated build folders, oldest first")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--phases", default="churn60,flood,floodplain")
    ap.add_argument("--short", action="store_true")
    args = ap.parse_args()
    builds = [os.path.abspath(b) for b in args.builds.split(",")]
    soak = os.path.join(builds[-1], "bench", "soak", "soak")
    names = [f"build{i}" for i in range(len(builds))]
    for name, build in zip(names, builds):
        print(f"{name} = {build}")
    print(f"peers: {soak}; load average {os.getloadavg()[0]:.1f}", flush=True)
    for phase in args.phases.split(","):
        results = {name: [] for name in names}
        for run in range(args.runs):
            for name, build in zip(names, builds):
                r = run_soak(soak, os.path.join(build, "bench", "soak", "soak"), phase,
                             args.short)
                results[name].append(r)
                print(f"{phase} run {run + 1} {name}: {r['line'] if r else 'failed'}", flush=True)
        report(phase, names, results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
