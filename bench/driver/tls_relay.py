# SPDX-License-Identifier: MIT
"""The TLS side-by-side run of relay_bench.py (--tls): the program's server once with every client
in plain text and once with every client over TLS, the same workloads interleaved in one run, on
relay_kit's servers, bots and medians. Not run by itself."""
import os
import statistics
import subprocess
import tempfile
import time

import relay_kit as rb


def make_certificate(tmpdir):
    """A self-signed EC P-256 certificate, as the README's command makes one."""
    cert, key = os.path.join(tmpdir, "cert.pem"), os.path.join(tmpdir, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-days", "2", "-nodes", "-subj", "/CN=bench",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    return cert, key


def joins(build, server, clients, tls):
    """Join times (connection to answer), one client after the other."""
    return rb.run_bots(build, server, clients, "join", 0, tls=tls)


def idle_per_client(idle_figure, build, tmpdir, clients, tls, kind):
    after, before = idle_figure(build, tmpdir, clients, tls=tls, kind=kind)
    if after is None or before is None:
        return None, None
    return after, (after - before) * 1024.0 / clients  # MB total, KB per client


def run(args, idle_figure):
    """args as relay_bench parses them; idle_figure: relay_bench's idle measurement."""
    runs, paced_runs, flood_s, paced_s = args.runs, args.paced_runs, args.flood_s, args.paced_s
    counts = args.counts
    kinds = ("plain", "tls")
    host = "headless" if args.host == "headless" else "program"
    started = time.monotonic()
    print(f"TLS relay benchmark: the program's server ({args.host}), every client plain or every client over "
          f"TLS (EC P-256, TLS 1.3), {os.cpu_count()} cores, servers and bots as separate "
          f"processes on 127.0.0.1; {runs} flood runs of {flood_s:g} s and {paced_runs} paced "
          f"runs of {paced_s:g} s at {args.rate:g} records/s per client"
          f"{f' timed by {args.readers} of the clients' if args.readers else ''}, interleaved; medians. "
          f"Load average before: {os.getloadavg()[0]:.1f}.", flush=True)
    flood, paced, hwm, join = {}, {}, {}, {}
    with tempfile.TemporaryDirectory() as tmpdir:
        tls = make_certificate(tmpdir)
        for c in counts:
            servers = {"plain": rb.Server(host, args.build, tmpdir),
                       "tls": rb.Server(host, args.build, tmpdir, tls=tls)}
            try:
                for k in kinds:
                    flood[(k, c)], paced[(k, c)] = [], []
                for _ in range(runs):
                    for k in kinds:
                        flood[(k, c)].append(rb.run_bots(args.build, servers[k], c, "flood",
                                                         flood_s, window=max(16, 20000 // c)))
                for _ in range(paced_runs):
                    for k in kinds:
                        paced[(k, c)].append(rb.run_bots(args.build, servers[k], c, "paced",
                                                         paced_s, rate=args.rate,
                                                         readers=args.readers))
                for k in kinds:
                    hwm[(k, c)] = servers[k].hwm()
            finally:
                for server in servers.values():
                    server.stop()
        # Joins on fresh servers: plain on a plain-only server (as without TLS), plain and TLS
        # clients on a server that serves both.
        for _ in range(runs):
            for name, server_tls, bot_tls in (("plain, plain server", None, False),
                                              ("plain, TLS server", tls, False),
                                              ("TLS", tls, True)):
                server = rb.Server(host, args.build, tmpdir, tls=server_tls)
                try:
                    join.setdefault(name, []).append(
                        joins(args.build, server, args.join_clients, bot_tls))
                finally:
                    server.stop()
        idle = {k: idle_per_client(idle_figure, args.build, tmpdir, args.idle_clients,
                                   tls if k == "tls" else None, host) for k in kinds}

    print()
    print("Flood: records delivered per second over all receivers")
    print(f"{'C':>4} {'plain':>9} {'TLS':>9} {'TLS/plain':>10} {'faults p/t':>11} "
          f"{'cpu ns/rec p/t':>15}")
    flood_ratio = {}
    for c in counts:
        p, t = rb.median(flood[("plain", c)], "rate"), rb.median(flood[("tls", c)], "rate")
        flood_ratio[c] = rb.ratio(t, p)
        fp, ft = rb.faults(flood[("plain", c)]), rb.faults(flood[("tls", c)])
        cp, ct = rb.median(flood[("plain", c)], "cpu_ns"), rb.median(flood[("tls", c)], "cpu_ns")
        print(f"{c:>4} {rb.fmt_rate(p):>9} {rb.fmt_rate(t):>9} {rb.fmt(flood_ratio[c]):>10} "
              f"{fp[0]}/{ft[0]:<9} {rb.fmt(cp, 0):>7}/{rb.fmt(ct, 0):<7}")

    print()
    print(f"Paced: {args.rate:g} records/s per client for {paced_s:g} s; send-to-receipt latency "
          f"in ms")
    print(f"{'C':>4} {'':>6} {'p50':>7} {'p99':>7} {'max':>7} {'faults':>7}")
    p99_ratio = {}
    for c in counts:
        for k in kinds:
            r = paced[(k, c)]
            print(f"{c:>4} {k:>6} {rb.fmt(rb.median(r, 'p50_ms')):>7} "
                  f"{rb.fmt(rb.median(r, 'p99_ms')):>7} {rb.fmt(rb.median(r, 'max_ms')):>7} "
                  f"{rb.faults(r)[0]:>7}")
        pr, tr = paced[("plain", c)], paced[("tls", c)]
        p99_ratio[c] = rb.ratio(rb.median(tr, "p99_ms"), rb.median(pr, "p99_ms"))
        print(f"{'':>4} {'ratio':>6} "
              f"{rb.fmt(rb.ratio(rb.median(tr, 'p50_ms'), rb.median(pr, 'p50_ms'))):>7} "
              f"{rb.fmt(p99_ratio[c]):>7}")
        # The runs were interleaved pair by pair; each pair's p99 shows how far the machine moved.
        pairs = ", ".join(f"{rb.fmt((p or {}).get('p99_ms'))}/{rb.fmt((t or {}).get('p99_ms'))}"
                          for p, t in zip(pr, tr))
        print(f"{'':>4} p99 of each run, plain/TLS: {pairs}")
        pair_ratios = [rb.ratio(t.get("p99_ms"), p.get("p99_ms")) for p, t in zip(pr, tr) if p and t]
        pair_ratios = [r for r in pair_ratios if r is not None]
        if pair_ratios:
            print(f"{'':>4} median of the pairs' p99 ratios: "
                  f"{rb.fmt(statistics.median(pair_ratios))}")

    print()
    print("TLS / plain (medians; flood: higher is better, paced: lower is better)")
    print(f"{'C':>4} {'flood':>7} {'paced p50':>10} {'paced p99':>10}")
    for c in counts:
        pr, tr = paced[("plain", c)], paced[("tls", c)]
        print(f"{c:>4} {rb.fmt(flood_ratio[c]):>7} "
              f"{rb.fmt(rb.ratio(rb.median(tr, 'p50_ms'), rb.median(pr, 'p50_ms'))):>10} "
              f"{rb.fmt(p99_ratio[c]):>10}")

    print()
    print(f"Join: connection to the server's answer, {args.join_clients} clients one after the "
          f"other, ms")
    print(f"{'clients':>22} {'p50':>7} {'p99':>7}")
    for name, results in join.items():
        print(f"{name:>22} {rb.fmt(rb.median(results, 'join_p50_ms'), 3):>7} "
              f"{rb.fmt(rb.median(results, 'join_p99_ms'), 3):>7}")
    base = rb.median(join["plain, plain server"], "join_p50_ms")
    added = rb.median(join["TLS"], "join_p50_ms")
    if base is not None and added is not None:
        print(f"A TLS join adds {added - base:.2f} ms (p50) to a plain one.")

    print()
    print("Peak resident memory of the server over the configuration's runs (VmHWM, MB)")
    print(f"{'C':>4} {'plain':>9} {'TLS':>9}")
    for c in counts:
        print(f"{c:>4} {rb.fmt(hwm[('plain', c)], 1):>9} {rb.fmt(hwm[('tls', c)], 1):>9}")
    print()
    for k in kinds:
        total, per = idle[k]
        if total is not None:
            print(f"{args.idle_clients} idle {k} clients: server {total:.1f} MB resident, "
                  f"{per:.1f} KB per client")
    print(f"Run time {time.monotonic() - started:.0f} s")

    if args.check:
        problems = []
        for c in counts:
            if flood_ratio[c] is None or flood_ratio[c] < 0.5:
                problems.append(f"TLS / plain flood at {c} clients is {rb.fmt(flood_ratio[c])}, "
                                f"under 0.5")
            if p99_ratio[c] is None or p99_ratio[c] > 1.5:
                problems.append(f"TLS / plain paced p99 at {c} clients is "
                                f"{rb.fmt(p99_ratio[c])}, over 1.5")
        lost = sum(rb.faults(r)[0] + rb.faults(r)[1] for r in list(flood.values()) +
                   list(paced.values()))
        if lost:
            problems.append(f"{lost} records lost, repeated or reordered, or runs failed")
        for p in problems:
            print("CHECK FAILED: " + p)
        if problems:
            return 1
        print("CHECK PASSED: TLS floods at least half as fast as plain, paced p99 at most 1.5x")
    return 0
