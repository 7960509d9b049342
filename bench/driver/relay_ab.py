#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Two builds of the program side by side against the bare epoll relay, in one invocation.

Starts the bare relay and one program server per build (separate processes), then for each client
count runs the bot workloads of relay_bench.py against all three in turn, several times, and prints
the medians: rate, program / bare, server CPU per delivered record (ns) and, for paced runs,
p50 / p99 latency and their ratios to bare. The bots and the bare relay come from the last build.

With --tls every client joins each build's server over TLS, and the baseline is the last build's
server with every client in plain text instead of the bare relay; --host headless measures
zaplo-server instead of the server window.

  bench/driver/relay_ab.py --builds OLD,NEW [--clients 5,20,50] [--modes flood,burst,paced]
                           [--runs 5] [--seconds 3] [--paced-seconds 10]
                           [--tls] [--host window|headless]
"""
import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import relay_kit as rb  # noqa: E402
import tls_relay  # noqa: E402


def one_run(args, tool, server, c, mode):
    if mode == "flood":
        return rb.run_bots(tool, server, c, "flood", args.seconds, window=max(16, 20000 // c))
    if mode == "burst":
        return rb.run_bots(tool, server, c, "burst", args.seconds,
                           records=rb.burst_records(c, args.burst_deliveries, args.burst_records))
    return rb.run_bots(tool, server, c, "paced", args.paced_seconds, readers=args.readers)


def measure(args, builds, tmpdir, c, mode, tls):
    """Each server's runs at client count c in one mode, the servers interleaved."""
    tool = builds[-1]
    kind = "headless" if args.host == "headless" else "program"
    if tls:
        servers = {"plain": rb.Server(kind, tool, tmpdir)}
    else:
        servers = {"bare": rb.Server("bare", tool, tmpdir)}
    for i, b in enumerate(builds):
        servers[f"prog{i}"] = rb.Server(kind, b, tmpdir, tls=tls)
    res = {k: [] for k in servers}
    try:
        for _ in range(args.runs):
            for k, server in servers.items():
                res[k].append(one_run(args, tool, server, c, mode))
    finally:
        for s in servers.values():
            s.stop()
    return res


def report(mode, c, res):
    med = {k: {key: rb.median(res[k], key) for key in ("rate", "cpu_ns", "p50_ms", "p99_ms")}
           for k in res}
    base = next(iter(res))
    for k in res:
        m = med[k]
        bad = rb.faults(res[k])
        line = f"{mode:5} C={c:<3} {k:5} rate {rb.fmt_rate(m['rate']):>7}"
        if k != base:
            line += f" x{rb.fmt(rb.ratio(m['rate'], med[base]['rate']))}"
        else:
            line += "      "
        line += f"  cpu {rb.fmt(m['cpu_ns'], 0):>5} ns/rec"
        if mode == "paced":
            line += f"  p50 {rb.fmt(m['p50_ms'])} p99 {rb.fmt(m['p99_ms'])} ms"
            if k != base:
                line += (f" (x{rb.fmt(rb.ratio(m['p50_ms'], med[base]['p50_ms']))}"
                         f"/x{rb.fmt(rb.ratio(m['p99_ms'], med[base]['p99_ms']))})")
        rates = " ".join(rb.fmt_rate(r["rate"]) if r else "-" for r in res[k])
        line += f"  faults {bad[0]}/{bad[1]}  runs {rates}"
        print(line, flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--builds", required=True, help="comma-separated build folders")
    ap.add_argument("--clients", default="5,20,50")
    ap.add_argument("--modes", default="flood,burst,paced")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--seconds", type=float, default=3)
    ap.add_argument("--paced-seconds", type=float, default=10)
    ap.add_argument("--burst-deliveries", type=int, default=4000000)
    ap.add_argument("--burst-records", type=int, default=20000)
    ap.add_argument("--tls", action="store_true", help="every client over TLS, plain as baseline")
    ap.add_argument("--readers", type=int, help="paced: only this many clients read and time")
    ap.add_argument("--host", choices=("window", "headless"), default="window")
    args = ap.parse_args()
    builds = [os.path.abspath(b) for b in args.builds.split(",")]
    for i, b in enumerate(builds):
        print(f"prog{i} = {b}")
    with tempfile.TemporaryDirectory() as tmpdir:
        tls = tls_relay.make_certificate(tmpdir) if args.tls else None
        for c in [int(x) for x in args.clients.split(",")]:
            for mode in args.modes.split(","):
                report(mode, c, measure(args, builds, tmpdir, c, mode, tls))


if __name__ == "__main__":
    main()
