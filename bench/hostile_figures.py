#!/usr/bin/env python3
"""The figures of the example servers under attack, full sized: framing
disagreements in fuzzed requests against the kit's reading of the same
bytes, and, during each attack, the p99 of ordinary requests, the growth of
the server's RSS and its CPU use. Run by bench/hostile_load.sh, which
builds what it needs:

  hostile_figures.py --oracle ORACLE --servers DIR --tree DIR [--fuzz N] [--requests N]
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "server"))
import hostile  # noqa: E402

SERVERS = ("vex_example_server", "vex_example_server_microhttpd", "vex_example_server_beast")
# kind, attacking connections, the server's descriptor limit
ATTACKS = (("slowloris", 200, None), ("idle", 2000, None), ("flood", 200, None), ("exhaustion", 600, 256))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--oracle", required=True)
    parser.add_argument("--servers", required=True, help="the directory of the built servers")
    parser.add_argument("--tree", required=True, help="the tree the servers embed, for --dev-root")
    parser.add_argument("--fuzz", type=int, default=100000, help="fuzzed connections per server")
    parser.add_argument("--requests", type=int, default=300, help="ordinary requests timed per attack")
    parser.add_argument("--part", choices=("all", "fuzz", "attacks"), default="all")
    args = parser.parse_args()
    failed = args.part != "attacks" and fuzz_figures(args)
    if args.part != "fuzz":
        failed = attack_figures(args) or failed
    return 1 if failed else 0


def fuzz_figures(args):
    """Prints the framing disagreements of each server; True when any."""
    oracle = hostile.Oracle(args.oracle)
    failed = False
    print("%-32s %-10s %10s %14s" % ("server", "mode", "compared", "disagreements"))
    for name in SERVERS:
        executable = os.path.join(args.servers, name)
        for mode, options in (("embedded", []), ("dev-root", ["--dev-root", args.tree])):
            count = args.fuzz if mode == "embedded" else args.fuzz // 10
            process, port = hostile.start_limited(executable, 8192, *options)
            try:
                sent, found = hostile.fuzz(port, oracle, count, "%s-%s-full" % (name, mode))
            finally:
                hostile.stop(process)
            print("%-32s %-10s %10d %14d" % (name, mode, sent, len(found)), flush=True)
            for case, why in found[:3]:
                print("    %r: %s" % (case[:200], why))
            failed = failed or bool(found) or sent < count
    return failed


def attack_figures(args):
    """Prints the figures of each attack on each server; True when an
    ordinary request went unanswered."""
    failed = False
    print()
    print("%-32s %-10s %-11s %6s %9s %9s %8s %5s" % ("server", "mode", "attack", "conns", "p99 ms", "median ms",
                                                       "RSS +MB", "CPU"))
    for name in SERVERS:
        executable = os.path.join(args.servers, name)
        for mode, options in (("embedded", []), ("dev-root", ["--dev-root", args.tree])):
            for kind, connections, files in ATTACKS:
                figures = hostile.attack_figures(executable, options, kind, connections, seconds=60,
                                                 requests=args.requests, files=files)
                print("%-32s %-10s %-11s %6d %9.1f %9.1f %8.1f %5.0f%%" % (
                    name, mode, kind, connections, figures["p99"] * 1000, (figures["median"] or 0) * 1000,
                    figures["rss_growth_kib"] / 1024, figures["cpu"] * 100), flush=True)
                failed = failed or figures["answered"] < figures["requests"]
    return failed


if __name__ == "__main__":
    sys.exit(main())
