#!/usr/bin/env python3
"""Racing requests against the example servers in development mode: while a
directory of the live tree trades places with a symbolic link to a directory
outside it, by rename, clients ask for a file in it, and no answer may carry
a byte from outside.

  bench/dev_root_race.py [--tool-build-dir build/release] [--requests 100000]
                         [--servers-dir DIR] [--modes openat2,ENOSYS,EPERM]

Builds the three servers (Release) on a small tree, unless --servers-dir
names servers already built on one with docs/deep/index.html. Each server
runs with --dev-root on a copy of the tree, once per mode: "openat2" as it
is, and "ENOSYS" and "EPERM" under strace, which makes every openat2 fail so
(as an old kernel or a seccomp filter does), so that the walk of one openat
per name answers; the strace log must then show the single probe. Two client
processes send pipelined requests on keep-alive connections while a third
process swaps the directory. The table gives the answers by status, the
answers from outside (must be 0) and the rate (under strace the rate is
mostly strace's: the walk alone serves about as fast as openat2); the exit
status is 1 when an answer came from outside.
"""
import argparse
import multiprocessing
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
FLAVOURS = {"httplib": "vex_example_server", "microhttpd": "vex_example_server_microhttpd",
            "beast": "vex_example_server_beast"}
INSIDE = b"<p>deep, inside the tree</p>\n"
OUTSIDE = b"<p>OUTSIDE THE TREE</p>\n"
REQUEST = b"GET /docs/deep/index.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
BATCH = 32
CLIENTS = 2


def write_tree(root):
    os.makedirs(os.path.join(root, "docs", "deep"))
    with open(os.path.join(root, "docs", "deep", "index.html"), "wb") as f:
        f.write(INSIDE)


def build_servers(tool_build_dir, work):
    site = os.path.join(work, "site")
    write_tree(site)
    build = os.path.join(work, "build")
    for command in (["cmake", "-S", os.path.join(REPO, "examples", "server"), "-B", build, "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=Release", "-Dvex_resource_builder_DIR=" + os.path.abspath(tool_build_dir),
                     "-DSITE_ROOT=" + site],
                    ["ninja", "-C", build, "-j2"]):
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, timeout=1800)
    return build


def start(command):
    """The server process and its port, read from its first line."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
    line = process.stdout.readline().decode()
    if not line.startswith("listening on http://127.0.0.1:"):
        stop(process)
        raise RuntimeError("unexpected first line %r from %s" % (line, command))
    return process, int(line.rstrip().rstrip("/").rsplit(":", 1)[1])


def stop(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
    process.stdout.close()


def swap(tree, outside, stop_event):
    """Trades docs/deep with a relative link to outside, back and forth."""
    docs = os.path.join(tree, "docs")
    deep, aside, link = (os.path.join(docs, name) for name in ("deep", "deep-aside", "deep-link"))
    os.symlink(os.path.relpath(outside, docs), link)
    swaps = 0
    while not stop_event.is_set() and swaps < 10 ** 8:
        os.rename(deep, aside)
        os.rename(link, deep)
        os.rename(deep, link)
        os.rename(aside, deep)
        swaps += 1
    os.remove(link)


def read_answer(connection, received):
    """(status, body, rest) of the next answer, or None when the server closed."""
    while b"\r\n\r\n" not in received:
        chunk = connection.recv(65536)
        if not chunk:
            return None
        received += chunk
    head, _, received = received.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    status = int(lines[0].split()[1])
    length = 0
    for line in lines[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(received) < length:
        chunk = connection.recv(65536)
        if not chunk:
            return None
        received += chunk
    return status, received[:length], received[length:]


def client(port, requests, results):
    """Sends requests in pipelined batches; puts (status counts, answers from outside, other 200 bodies)."""
    counts, outside, wrong = {}, 0, 0
    answered = 0
    deadline = time.monotonic() + 1800
    while answered < requests and time.monotonic() < deadline:
        with socket.create_connection(("127.0.0.1", port), timeout=20) as connection:
            received = b""
            while answered < requests:
                batch = min(BATCH, requests - answered)
                connection.sendall(REQUEST * batch)
                closed = False
                for _ in range(batch):
                    answer = read_answer(connection, received)
                    if answer is None:   # a server's limit of requests on one connection
                        closed = True
                        break
                    status, body, received = answer
                    answered += 1
                    counts[status] = counts.get(status, 0) + 1
                    outside += OUTSIDE[:8] in body
                    wrong += status == 200 and body != INSIDE
                if closed:
                    break
    results.put((counts, outside, wrong))


def race(command, tree, outside, requests):
    """Runs one server under the race; (status counts, outside, wrong, seconds)."""
    process, port = start(command)
    try:
        stop_event = multiprocessing.Event()
        swapper = multiprocessing.Process(target=swap, args=(tree, outside, stop_event))
        swapper.start()
        results = multiprocessing.Queue()
        began = time.monotonic()
        clients = [multiprocessing.Process(target=client, args=(port, requests // CLIENTS, results))
                   for _ in range(CLIENTS)]
        for each in clients:
            each.start()
        totals, outside_count, wrong = {}, 0, 0
        for _ in clients:
            counts, out, bad = results.get(timeout=1900)
            for status, count in counts.items():
                totals[status] = totals.get(status, 0) + count
            outside_count += out
            wrong += bad
        seconds = time.monotonic() - began
        for each in clients:
            each.join()
        stop_event.set()
        swapper.join()
        return totals, outside_count, wrong, seconds
    finally:
        stop(process)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool-build-dir", default=os.path.join(REPO, "build", "release"))
    parser.add_argument("--requests", type=int, default=100000, help="per server and mode")
    parser.add_argument("--servers-dir", help="servers already built (on a tree with docs/deep/index.html)")
    parser.add_argument("--modes", default="openat2,ENOSYS,EPERM")
    args = parser.parse_args()
    modes = args.modes.split(",")
    if any(mode != "openat2" for mode in modes) and not shutil.which("strace"):
        print("strace is missing: only the openat2 mode runs", file=sys.stderr)
        modes = ["openat2"]

    work = tempfile.mkdtemp(prefix="vex_dev_root_race.")
    failed = False
    try:
        servers = args.servers_dir or build_servers(args.tool_build_dir, work)
        outside = os.path.join(work, "outside")
        os.makedirs(os.path.join(outside))
        with open(os.path.join(outside, "index.html"), "wb") as f:
            f.write(OUTSIDE)
        print("%-11s %-8s %9s %9s %9s %6s %8s %6s %7s %s" % ("server", "mode", "requests", "200", "404", "other",
                                                              "outside", "wrong", "per s", "openat2 calls"))
        for flavour, name in FLAVOURS.items():
            executable = os.path.join(servers, name)
            if not os.path.exists(executable):
                print("%-11s not built" % flavour)
                continue
            for mode in modes:
                tree = os.path.join(work, "tree-%s-%s" % (flavour, mode))
                write_tree(tree)
                command = [executable, "--host", "127.0.0.1", "--port", "0", "--dev-root", tree, "--quiet"]
                trace = os.path.join(work, "strace-%s-%s.log" % (flavour, mode))
                if mode != "openat2":
                    command = ["strace", "-f", "-qq", "--seccomp-bpf", "-e", "trace=openat2", "-e",
                               "inject=openat2:error=" + mode, "-o", trace] + command
                counts, out, wrong, seconds = race(command, tree, outside, args.requests)
                calls = "-"
                if mode != "openat2":
                    with open(trace) as log:
                        calls = str(sum("openat2(" in line for line in log))
                total = sum(counts.values())
                ok, missing = counts.get(200, 0), counts.get(404, 0)
                print("%-11s %-8s %9d %9d %9d %6d %8d %6d %7.0f %s" % (flavour, mode, total, ok, missing,
                                                                      total - ok - missing, out, wrong,
                                                                      total / seconds, calls), flush=True)
                failed |= out > 0 or wrong > 0 or total < args.requests // CLIENTS * CLIENTS
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
