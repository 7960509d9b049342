#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Side-by-side relay benchmark: the program's real server session, a bare epoll line relay and,
where it is installed, the mosquitto MQTT broker, all under the same bot workload in one run.

For each client count C it starts one server of each kind (separate processes), runs the bot
program (another process) against each several times, interleaving the kinds, and prints the
medians of three workloads:
  flood  each client sends as fast as its socket takes, at most 20000/C records ahead of its
         slowest receiver, for a few seconds;
  burst  each client sends N records as fast as its socket takes, with no such window: how far a
         sender runs ahead is left to the server (program and bare only);
  paced  100 records/s per client: send-to-receipt latency (p50, p99, max, p99 of the first and
         last fifth by send time).
Every record is checked for arrival, exactly once and in its sender's order. The flood tables
also give the server's CPU time per delivered record (cpu ns/rec), which a busy machine hardly
changes, unlike the rates. Then the program / bare ratios side by side, the servers' peak resident memory, and the resident memory of the
program's server holding 200 idle joined clients.

  bench/driver/relay_bench.py [--build build] [--short] [--check]
  bench/driver/relay_bench.py --tls [--host window|headless] [--build build] [--short] [--check]

--short finishes in under a minute; --check exits non-zero when the program / bare flood ratio at
20 clients is under 0.3, or when the program lost, repeated or reordered a record.

--tls runs instead the program's server twice side by side, once with every client in plain text
and once with every client over TLS (a certificate made with openssl for the run), under the same
flood and paced workloads, and adds what a join costs (connection to answer, one client after
the other, plain and over TLS) and the resident memory per idle joined client either way
(tls_relay.py). With --check it fails when TLS floods at less than half the plain rate, when its
paced p99 is over 1.5 times the plain one at any client count, or when a record went wrong.
The server is the program's server window, or with --host headless zaplo-server.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import procs
from relay_kit import (Server, burst_records, cpu_cell, faults, fmt, fmt_rate, median,
                       mosquitto_path, ratio, run_bots)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KINDS = ("program", "bare", "mqtt")


def flood_ratio(build, clients, runs, seconds):
    """Median program / bare flood rate of fresh runs at one client count."""
    with tempfile.TemporaryDirectory() as tmpdir:
        servers = {k: Server(k, build, tmpdir) for k in ("program", "bare")}
        try:
            rates = {k: [] for k in servers}
            for _ in range(runs):
                for k, server in servers.items():
                    rates[k].append(run_bots(build, server, clients, "flood", seconds,
                                             window=max(16, 20000 // clients)))
        finally:
            for server in servers.values():
                server.stop()
    p, b = median(rates["program"], "rate"), median(rates["bare"], "rate")
    return p / b if p and b else None


def idle_figure(build, tmpdir, clients, tls=None, kind="program"):
    server = Server(kind, build, tmpdir, tls=tls)
    try:
        time.sleep(0.5)
        before = server.rss()
        cmd = [os.path.join(build, "bench", "zaplo_bench_bot"), "--port", str(server.port),
               "--mode", "idle", "--clients", str(clients)] + (["--tls", "1"] if tls else [])
        bots = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            line = procs.read_line(bots.stdout, 90)
            if line != "JOINED":
                print(f"  ! {clients} idle clients did not all join", file=sys.stderr)
                return None, before
            time.sleep(1.0)
            return server.rss(), before
        finally:
            bots.terminate()
            bots.wait()
    finally:
        server.stop()


def parse_args():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--short", action="store_true", help="a run of under a minute")
    ap.add_argument("--check", action="store_true",
                    help="fail when program / bare at 20 clients is under 0.3 or records went wrong")
    ap.add_argument("--clients", default="5,20,50")
    ap.add_argument("--runs", type=int, help="runs per configuration (default 3)")
    ap.add_argument("--paced-runs", type=int, help="paced runs per configuration (default 3, short 1)")
    ap.add_argument("--flood-seconds", type=float)
    ap.add_argument("--burst-deliveries", type=int,
                    help="receipts per burst over all clients (default 4000000, short 500000)")
    ap.add_argument("--burst-records", type=int,
                    help="least records per client in a burst (default 20000, short 1000)")
    ap.add_argument("--burst-runs", type=int, help="bursts per configuration (default 3, short 1)")
    ap.add_argument("--paced-seconds", type=float)
    ap.add_argument("--rate", type=float, default=100, help="paced records/s per client")
    ap.add_argument("--readers", type=int,
                    help="paced: only this many clients read and time what arrives; the others "
                    "drain their sockets unread, so that the bots' own decoding (and over TLS, "
                    "decryption) on the shared cores weighs less on the latencies")
    ap.add_argument("--idle-clients", type=int, default=200)
    ap.add_argument("--no-mqtt", action="store_true")
    ap.add_argument("--password", help="the program's server has this session password; its "
                    "bots answer the challenge")
    ap.add_argument("--tls", action="store_true",
                    help="the program's server with every client over TLS beside plain text")
    ap.add_argument("--host", choices=("window", "headless"), default="window",
                    help="--tls: the program's server measured, its window or zaplo-server")
    ap.add_argument("--join-clients", type=int, default=30,
                    help="--tls: clients joining one after the other per run")
    args = ap.parse_args()
    # What the options leave open, filled in.
    args.runs = args.runs or 3
    args.paced_runs = args.paced_runs or (1 if args.short else args.runs)
    args.flood_s = args.flood_seconds or (0.5 if args.short else 3)
    args.paced_s = args.paced_seconds or (1 if args.short else 10)
    args.burst_runs = args.burst_runs or (1 if args.short else args.runs)
    args.burst_d = args.burst_deliveries or (500000 if args.short else 4000000)
    args.burst_n = args.burst_records or (1000 if args.short else 20000)
    args.counts = [int(c) for c in args.clients.split(",")]
    args.kinds = ["program", "bare"]
    if not args.no_mqtt and mosquitto_path():
        args.kinds.append("mqtt")
    return args


def measure_count(args, c, servers, figures):
    """Every workload at client count c, the kinds interleaved run by run."""
    flood, burst, paced, hwm = figures
    for k in args.kinds:
        flood[(k, c)] = []
        burst[(k, c)] = []
        paced[(k, c)] = []
    for run in range(max(args.runs, args.burst_runs)):
        for k in args.kinds if run < args.runs else ():
            if k == "mqtt" and args.short and run > 0:
                continue  # the broker is only a reference; once is enough here
            # The broker is far slower; a smaller window keeps its drain short.
            window = max(16, (2000 if k == "mqtt" else 20000) // c)
            flood[(k, c)].append(run_bots(args.build, servers[k], c, "flood", args.flood_s,
                                          window=window))
        for k in ("program", "bare") if run < args.burst_runs else ():
            burst[(k, c)].append(run_bots(args.build, servers[k], c, "burst", args.flood_s,
                                          records=burst_records(c, args.burst_d, args.burst_n)))
    for _ in range(args.paced_runs):
        for k in ("program", "bare"):
            paced[(k, c)].append(run_bots(args.build, servers[k], c, "paced", args.paced_s,
                                          rate=args.rate, readers=args.readers))
    for k in args.kinds:
        hwm[(k, c)] = servers[k].hwm()


def measure(args):
    """flood, burst, paced and hwm per (kind, count), and the idle figure."""
    figures = ({}, {}, {}, {})
    with tempfile.TemporaryDirectory() as tmpdir:
        for c in args.counts:
            servers = {k: Server(k, args.build, tmpdir, password=args.password)
                       for k in args.kinds}
            try:
                measure_count(args, c, servers, figures)
            finally:
                for s in servers.values():
                    s.stop()
        idle = idle_figure(args.build, tmpdir, args.idle_clients)
    return figures, idle


def print_flood(args, flood):
    print()
    print("Flood: records delivered per second over all receivers (each client sends as fast as")
    print("its socket takes, at most 20000/C records ahead of its slowest receiver)")
    head = f"{'C':>4} {'program':>9} {'bare':>9} {'prog/bare':>10}"
    if "mqtt" in args.kinds:
        head += f" {'mqtt':>9}"
    head += f" {'faults p/b':>11} {'cpu ns/rec p/b':>15} {'ratio':>6}"
    print(head)
    ratios = {}
    for c in args.counts:
        p, b = median(flood[("program", c)], "rate"), median(flood[("bare", c)], "rate")
        ratios[c] = p / b if p and b else None
        line = f"{c:>4} {fmt_rate(p):>9} {fmt_rate(b):>9} {fmt(ratios[c]):>10}"
        if "mqtt" in args.kinds:
            line += f" {fmt_rate(median(flood[('mqtt', c)], 'rate')):>9}"
        fp, fb = faults(flood[("program", c)]), faults(flood[("bare", c)])
        line += f" {fp[0]}/{fb[0]:<9} {cpu_cell(flood, c)}"
        print(line)
    return ratios


def print_burst(args, burst):
    print()
    print("Burst: records delivered per second over all receivers (each client sends N records as")
    print("fast as its socket takes, with no window, and reads everything; the run ends when every")
    print("record has arrived)")
    print(f"{'C':>4} {'N':>7} {'program':>9} {'bare':>9} {'prog/bare':>10} {'faults p/b':>11} "
          f"{'cpu ns/rec p/b':>15} {'ratio':>6}")
    burst_ratios = {}
    for c in args.counts:
        p, b = median(burst[("program", c)], "rate"), median(burst[("bare", c)], "rate")
        burst_ratios[c] = ratio(p, b)
        fp, fb = faults(burst[("program", c)]), faults(burst[("bare", c)])
        print(f"{c:>4} {burst_records(c, args.burst_d, args.burst_n):>7} {fmt_rate(p):>9} "
              f"{fmt_rate(b):>9} {fmt(burst_ratios[c]):>10} {fp[0]}/{fb[0]:<9} "
              f"{cpu_cell(burst, c)}")
    return burst_ratios


def print_paced(args, paced):
    print()
    print(f"Paced: {args.rate:g} records/s per client for {args.paced_s:g} s; send-to-receipt latency in ms at")
    print(f"{f'the first {args.readers} clients' if args.readers else 'every other client'}; "
          "first/last = p99 of the records sent in the first/last fifth")
    print(f"{'C':>4} {'server':>8} {'p50':>7} {'p99':>7} {'max':>7} {'p99 first':>10} {'p99 last':>9} {'faults':>7}")
    for c in args.counts:
        for k in ("program", "bare"):
            r = paced[(k, c)]
            print(f"{c:>4} {k:>8} {fmt(median(r, 'p50_ms')):>7} {fmt(median(r, 'p99_ms')):>7} "
                  f"{fmt(median(r, 'max_ms')):>7} {fmt(median(r, 'p99_first_ms')):>10} "
                  f"{fmt(median(r, 'p99_last_ms')):>9} {faults(r)[0]:>7}")
        pr, br = paced[("program", c)], paced[("bare", c)]
        p50p, p50b = median(pr, "p50_ms"), median(br, "p50_ms")
        p99p, p99b = median(pr, "p99_ms"), median(br, "p99_ms")
        if p50p and p50b and p99p and p99b:
            print(f"{'':>4} {'ratio':>8} {p50p / p50b:>7.2f} {p99p / p99b:>7.2f}")


def print_summary(args, ratios, burst_ratios, paced, hwm):
    print()
    print("Program / bare (medians; rates: higher is better, latencies: lower is better)")
    print(f"{'C':>4} {'flood':>7} {'burst':>7} {'paced p50':>10} {'paced p99':>10}")
    for c in args.counts:
        pr, br = paced[("program", c)], paced[("bare", c)]
        print(f"{c:>4} {fmt(ratios[c]):>7} {fmt(burst_ratios[c]):>7} "
              f"{fmt(ratio(median(pr, 'p50_ms'), median(br, 'p50_ms'))):>10} "
              f"{fmt(ratio(median(pr, 'p99_ms'), median(br, 'p99_ms'))):>10}")

    print()
    print("Peak resident memory of the server over the configuration's runs (VmHWM, MB)")
    print(f"{'C':>4}" + "".join(f" {k:>9}" for k in args.kinds))
    for c in args.counts:
        print(f"{c:>4}" + "".join(f" {fmt(hwm[(k, c)], 1):>9}" for k in args.kinds))


def program_faults(args, figures, which):
    """Faults (0) or failed runs (1) of the program summed over the workloads and counts."""
    flood, burst, paced, _ = figures
    return sum(faults(flood[("program", c)])[which] + faults(burst[("program", c)])[which] +
               faults(paced[("program", c)])[which] for c in args.counts)


def check(args, ratios, figures):
    problems = []
    # The machine may be shared: a low ratio is measured again, twice at most, before it
    # counts as a regression.
    for attempt in range(2):
        if 20 not in ratios or ratios[20] is None or ratios[20] >= 0.3:
            break
        print(f"program / bare at 20 clients is {ratios[20]:.2f}; measuring again "
              f"({attempt + 1}/2)", flush=True)
        ratios[20] = flood_ratio(args.build, 20, args.runs, args.flood_s)
    if 20 not in ratios or ratios[20] is None:
        problems.append("no program / bare figure at 20 clients")
    elif ratios[20] < 0.3:
        problems.append(f"program / bare at 20 clients is {ratios[20]:.2f}, under 0.3")
    lost = program_faults(args, figures, 0)
    if lost:
        problems.append(f"the program lost, repeated or reordered {lost} records")
    bad_runs = program_faults(args, figures, 1)
    if bad_runs:
        problems.append(f"{bad_runs} runs against the program failed")
    if problems:
        for p in problems:
            print("CHECK FAILED: " + p)
        return 1
    print("CHECK PASSED: program / bare at 20 clients is %.2f (at least 0.3)" % ratios[20])
    return 0


def main():
    args = parse_args()
    if args.tls:
        import tls_relay  # the TLS side-by-side run, on the pieces above
        return tls_relay.run(args, idle_figure)
    started = time.monotonic()
    print(f"Relay benchmark: {os.cpu_count()} cores, servers and bots as separate processes on "
          f"127.0.0.1; {args.runs} flood runs of {args.flood_s:g} s, {args.burst_runs} bursts of at least "
          f"{args.burst_n} records per client, {args.paced_runs} paced runs of {args.paced_s:g} s "
          f"at {args.rate:g} records/s per client; medians. Load average before: "
          f"{os.getloadavg()[0]:.1f}.", flush=True)
    if "mqtt" not in args.kinds:
        print("mosquitto not installed (or --no-mqtt): no broker column.")
    figures, (idle_rss, idle_before) = measure(args)
    flood, burst, paced, hwm = figures
    ratios = print_flood(args, flood)
    burst_ratios = print_burst(args, burst)
    print_paced(args, paced)
    print_summary(args, ratios, burst_ratios, paced, hwm)

    print()
    if idle_rss is not None:
        print(f"{args.idle_clients} idle joined clients cost at most {idle_rss:.1f} MB resident "
              f"(program server RSS; {idle_before:.1f} MB before they joined)")
    print(f"Run time {time.monotonic() - started:.0f} s")
    return check(args, ratios, figures) if args.check else 0


if __name__ == "__main__":
    sys.exit(main())
