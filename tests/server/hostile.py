"""The example servers tried as an attacker would, on raw loopback
connections: request smuggling, a differential fuzzer of request framing
against the kit's own reading of the same bytes (framing_oracle),
connection options, floods, slowloris, idle connections and descriptor
exhaustion, with ordinary requests timed during each attack.

test_server.py runs these with small counts against every server,
embedded and in development mode; bench/hostile_load.sh runs them full
sized and reports the figures. Every loop is bounded in count and time.
"""
import os
import random
import resource
import select
import socket
import statistics
import subprocess
import threading
import time

TIMEOUT = 10  # seconds any one exchange may take


def exchange(port, data, shut=True, timeout=TIMEOUT, pause=0.0):
    """(bytes the server sent, True when it closed) for data sent on a new
    connection; with shut the sending side is closed after the data. With
    pause, nothing is read for that long first (a slow reader)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as connection:
        connection.sendall(data)
        if shut:
            connection.shutdown(socket.SHUT_WR)
        time.sleep(pause)
        received, deadline = b"", time.monotonic() + timeout
        waiting = select.poll()  # descriptors past 1024 during the attacks
        waiting.register(connection, select.POLLIN)
        while time.monotonic() < deadline:
            if not waiting.poll(max(0, deadline - time.monotonic()) * 1000):
                return received, False
            try:
                chunk = connection.recv(1 << 20)
            except ConnectionResetError:
                return received + b"<reset>", True
            if not chunk:
                return received, True
            received += chunk
        return received, False


def split_answers(raw, heads):
    """The answers in raw as (status, headers), each delimited by its
    Content-Length (none for HEAD, 304 or 1xx), and the bytes left over;
    heads[i] is True when answer i answers a HEAD."""
    answers = []
    while raw:
        block, separator, rest = raw.partition(b"\r\n\r\n")
        if not separator or not block.startswith(b"HTTP/1.1 "):
            break
        lines = block.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        if status < 200:
            raw = rest
            continue
        head = len(answers) < len(heads) and heads[len(answers)]
        length = 0 if head or status == 304 else int(headers.get("content-length", "0"))
        if len(rest) < length:
            break
        answers.append((status, headers))
        raw = rest[length:]
    return answers, raw


class Oracle:
    """The kit's reading of a connection's bytes (framing_oracle)."""

    def __init__(self, executable):
        self.executable = executable

    def expected(self, cases):
        """For each case, its answers ("METHOD TARGET", "=STATUS METHOD
        TARGET" or "=STATUS") and "close" or "more" for what follows the last."""
        data = b"".join(b"%d\n%s" % (len(case), case) for case in cases)
        out = subprocess.run([self.executable], input=data, capture_output=True, check=True, timeout=120).stdout
        result = []
        for line in out.decode("latin-1").split("\n")[:len(cases)]:
            items = line.split("\t")
            result.append((items[:-1], items[-1]))
        return result


def disagreement(raw, closed, items):
    """Why the bytes a server sent differ from the answers the kit expects
    (items), or None when they match: the same number of answers, in the
    same order, to the same requests, and then the end of the connection."""
    heads = [item.split(" ")[-2:-1] == ["HEAD"] for item in items]
    answers, rest = split_answers(raw, heads)
    if rest or not closed:
        return "bytes after the answers, or no close: %r" % raw[-200:]
    if len(answers) != len(items):
        return "%d answers where the kit finds %d: %r" % (len(answers), len(items), items)
    for (status, headers), item in zip(answers, items):
        if item.startswith("="):
            if status != int(item[1:].split(" ")[0]):
                return "%d where the kit refuses with %s" % (status, item)
            continue
        method, _, target = item.partition(" ")
        if method in ("GET", "HEAD") and target.startswith("/docs?i="):
            # The planner drops a fragment, and escapes the bytes of a query that a header may not hold.
            query = "".join(c if 0x20 < ord(c) < 0x7f else "%%%02X" % ord(c) for c in target[5:].split("#")[0])
            if (status, headers.get("location")) != (301, "/docs/" + query):
                return "%d %r answers %s" % (status, headers.get("location"), item)
        elif status in (301,) and method not in ("GET", "HEAD"):
            return "a redirect for %s" % item
    return None


# Request framing, built from the classes of RFC 9112 (message framing,
# field syntax, line endings, request line, connection options): each case
# is followed by a request that must never be answered where the kit finds
# it inside a body or after a refusal.
def smuggling_cases():
    smuggled = b"GET /docs?i=999 HTTP/1.1\r\nHost: a\r\n\r\n"
    body = b"0123456789abcdef" * 3  # 48 bytes: a body, or a request when misread
    lengths = ["48", " 48", "48 ", "+48", "-48", "048", "4 8", "48, 48", "48,48", "48, 49", "0x30", "4%38", "", "48\x0b",
               "\t48", "48;", "48.0", "99999999999999999999", "1e2", "４８"]
    cases = []
    for value in lengths:
        cases.append(b"POST /docs?i=1 HTTP/1.1\r\nHost: a\r\nContent-Length: " + value.encode("utf-8") + b"\r\n\r\n" + body)
    codings = ["chunked", "Chunked", " chunked", "chunked ", "\tchunked", "chunked, chunked", "gzip, chunked",
               "chunked, gzip", "identity", "gzip", "x-chunked", "chunked;x=1", "cHuNkEd", "chunked,", ",chunked",
               "chunked\x0b", '"chunked"', "", "chunk", "chunked\x00"]
    chunked = b"30\r\n" + body + b"\r\n0\r\n\r\n"
    for value in codings:
        for version in (b"HTTP/1.1", b"HTTP/1.0"):
            cases.append(b"POST /docs?i=1 " + version + b"\r\nHost: a\r\nTransfer-Encoding: " + value.encode("latin-1") +
                         b"\r\n\r\n" + chunked)
    lines = [
        b"Content-Length:\r\n 48", b"Content-Length: 4\r\n 8", b"Content-Length: 48\r\n\tx", b"Transfer-Encoding:\r\n chunked",
        b"Content-Length : 48", b"Content-Length\t: 48", b" Content-Length: 48", b"Content_Length: 48",
        b"Content-Length: 48\r\nContent-Length: 48", b"Content-Length: 48\r\nContent-Length: 0",
        b"Content-Length: 0\r\nContent-Length: 48", b"Content-Length: 48\r\nTransfer-Encoding: chunked",
        b"Transfer-Encoding: chunked\r\nContent-Length: 48", b"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked",
        b"Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked", b"Content-Length: 48\nX: y", b"Content-Length: 48\rX: y",
        b"X: y\nContent-Length: 48", b"Content-Length: 48\x00", b"Content-Length\x00: 48", b"Host: b",
        b"Host:", b"Host: a\r\nHost: a", b"Expect: 100-continue\r\nContent-Length: 48", b"Content-Length: \x0c48",
        b"Connection: close\r\nContent-Length: 48", b"X: \x7f\r\nContent-Length: 48", b"X:\r\n\r\nContent-Length: 48",
    ]
    for line in lines:
        cases.append(b"POST /docs?i=1 HTTP/1.1\r\nHost: a\r\n" + line + b"\r\n\r\n" + body)
        cases.append(b"GET /docs?i=1 HTTP/1.1\r\n" + line + b"\r\nHost: a\r\n\r\n" + body)
    request_lines = [b"GET  /docs?i=1 HTTP/1.1", b"GET /docs?i=1  HTTP/1.1", b"GET\t/docs?i=1 HTTP/1.1",
                     b"GET /docs?i=1 HTTP/1.1 ", b"GET /docs?i=1 http/1.1", b"GET /docs?i=1 HTTP/1.2",
                     b"GET /docs?i=1 HTTP/2.0", b"GET /docs?i=1 HTTP/0.9", b"GET /docs?i=1", b"GET /docs?i=1 HTTP/1.1\n",
                     b"\r\nGET /docs?i=1 HTTP/1.1", b"\nGET /docs?i=1 HTTP/1.1", b" GET /docs?i=1 HTTP/1.1",
                     b"GET http://a/docs?i=1 HTTP/1.1", b"G@T /docs?i=1 HTTP/1.1", b"GET /docs?i=1\x00 HTTP/1.1",
                     b"GET /docs?i=1 HTTP/1.10", b"GET /docs?i=\xff HTTP/1.1"]
    for line in request_lines:
        cases.append(line + b"\r\nHost: a\r\nContent-Length: 48\r\n\r\n" + body)
    chunks = [b"30;" + b"x" * 100 + b"\r\n" + body + b"\r\n0\r\n\r\n", b"30\r\n" + body + b"\r\n0\r\nX: y\r\n\r\n",
              b"30\n" + body + b"\n0\n\n", b"0030\r\n" + body + b"\r\n0\r\n\r\n", b"-1\r\n", b"ffffffffffffffffff\r\n"]
    for chunk in chunks:
        cases.append(b"POST /docs?i=1 HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk)
    return [case + smuggled for case in cases]


class Mutator:
    """Random mutations of request framing: 1 to 3 requests, each with its
    own framing, then a few edits among the bytes that say where a request
    ends. Seeded, so that a failure can be replayed."""
    INSERTS = [b" ", b"\t", b"\r", b"\n", b"\r\n", b"\r\n ", b"\x00", b",", b"+", b"-", b"0", b"9", b"a", b":", b";",
               b"\x0b", b"\x0c", b"\x80", b"\xff", b'"', b"chunked", b", chunked", b"Content-Length: 5\r\n",
               b"Transfer-Encoding: chunked\r\n", b"Host: a\r\n", b"Connection: close\r\n"]
    FRAMING = [b"Content-Length", b"Transfer-Encoding", b"Host", b"Connection", b"\r\n", b": ", b" HTTP/1."]

    def __init__(self, seed):
        self.random = random.Random(seed)

    def request(self, number):
        r = self.random
        method = r.choice([b"GET", b"GET", b"HEAD", b"POST"])
        version = r.choice([b"HTTP/1.1"] * 5 + [b"HTTP/1.0"])
        lines = [b"Host: a"] if r.random() < 0.95 else []
        if r.random() < 0.2:
            lines.append(b"Connection: " + r.choice([b"keep-alive", b"close", b"Close", b"foo, close"]))
        body = b""
        kind = r.random()
        if kind < 0.35:
            body = bytes(r.randrange(97, 123) for _ in range(r.randrange(0, 40)))
            lines.append(b"Content-Length: %d" % len(body))
        elif kind < 0.55:
            data = bytes(r.randrange(97, 123) for _ in range(r.randrange(1, 30)))
            body = b"%x\r\n%s\r\n0\r\n\r\n" % (len(data), data)
            lines.append(b"Transfer-Encoding: chunked")
        r.shuffle(lines)
        return method + b" /docs?i=%d " % number + version + b"\r\n" + b"".join(line + b"\r\n" for line in lines) + \
            b"\r\n" + body

    def mutate(self, data):
        r = self.random
        for _ in range(r.randrange(1, 4)):
            anchors = [i for token in self.FRAMING for i in self._find_all(data, token)]
            at = r.choice(anchors) + r.randrange(-2, 20) if anchors and r.random() < 0.8 else r.randrange(len(data) + 1)
            at = max(0, min(len(data), at))
            action = r.random()
            if action < 0.45:
                data = data[:at] + r.choice(self.INSERTS) + data[at:]
            elif action < 0.75:
                data = data[:at] + data[at + r.randrange(1, 4):]
            elif action < 0.9:
                data = data[:at] + bytes([r.randrange(256)]) + data[at + 1:]
            else:
                data = data[:at] + data[at:at + 1].swapcase() + data[at + 1:]
        return data

    @staticmethod
    def _find_all(data, token):
        at = data.find(token)
        while at >= 0:
            yield at
            at = data.find(token, at + 1)

    def case(self):
        count = self.random.randrange(1, 4)
        return self.mutate(b"".join(self.request(i) for i in range(count)))


def fuzz(port, oracle, count, seed, threads=4):
    """Sends count fuzzed connections; (cases compared, list of
    disagreements), a case that could not be compared counting as one."""
    mutator = Mutator(seed)
    cases = [mutator.case() for _ in range(count)]
    expected = oracle.expected(cases)
    found = []
    compared = [0] * threads
    lock = threading.Lock()

    def run(part):
        for index in range(part, count, threads):
            try:
                raw, closed = exchange(port, cases[index])
                why = disagreement(raw, closed, expected[index][0])
            except (OSError, ValueError, IndexError) as error:
                why = "not compared: %r" % error
            compared[part] += 1
            if why:
                with lock:
                    found.append((cases[index], why))

    workers = [threading.Thread(target=run, args=(part,)) for part in range(threads)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    return sum(compared), found


def ordinary_latencies(port, count, path="/style.css", pause=0.01):
    """Seconds each of count ordinary requests took, each on its own
    connection (None for one not answered in time)."""
    latencies = []
    request = b"GET %s HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n" % path.encode()
    for _ in range(count):
        start = time.monotonic()
        try:
            raw, _ = exchange(port, request, shut=False, timeout=10)
            answered = raw.startswith(b"HTTP/1.1 200 ")
        except OSError:
            answered = False
        latencies.append(time.monotonic() - start if answered else None)
        time.sleep(pause)
    return latencies


def p99(latencies):
    answered = sorted(latency for latency in latencies if latency is not None)
    if len(answered) < len(latencies) or not answered:
        return float("inf")
    return answered[min(len(answered) - 1, int(len(answered) * 0.99))]


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Attack:
    """Connections an attacker holds open in a thread of its own while
    ordinary requests are timed; every loop ends by stop or its time."""

    def __init__(self, port, connections, kind, seconds):
        self.port, self.count, self.kind, self.seconds = port, connections, kind, seconds
        self.sockets = []
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)

    def __enter__(self):
        for _ in range(self.count):
            try:
                self.sockets.append(socket.create_connection(("127.0.0.1", self.port), timeout=5))
            except OSError:
                break
        self.thread.start()
        time.sleep(0.2)
        return self

    def __exit__(self, *_):
        self.stop.set()
        self.thread.join(self.seconds + 10)
        for connection in self.sockets:
            connection.close()

    def _run(self):
        deadline = time.monotonic() + self.seconds
        step = 0
        while not self.stop.is_set() and time.monotonic() < deadline:
            for index, connection in enumerate(self.sockets):
                try:
                    connection.setblocking(False)
                    if self.kind == "idle":
                        if connection.recv(1) == b"":
                            self.sockets[index] = self._reconnect(connection)  # closed to make room: come back
                        continue
                    connection.send(self._bytes(step))
                except BlockingIOError:
                    pass
                except OSError:
                    if self.kind == "idle":
                        self.sockets[index] = self._reconnect(connection)
            step += 1
            self.stop.wait({"slowloris": 0.5, "idle": 0.1}.get(self.kind, 0.01))

    def _reconnect(self, connection):
        connection.close()
        try:
            return socket.create_connection(("127.0.0.1", self.port), timeout=1)
        except OSError:
            return socket.socket()

    def _bytes(self, step):
        if self.kind == "slowloris":  # a head that never ends, a byte at a time
            return b"GET / HTTP/1.1\r\n"[step:step + 1] or b"X"
        if self.kind == "flood":  # an endless header line, as fast as it is taken
            return (b"GET / HTTP/1.1\r\nX: " if step == 0 else b"") + b"a" * 8192
        return b""  # idle


def start_limited(executable, files, *options):
    """A server with at most files descriptors (ulimit -n); (process, port)."""
    def limit():
        resource.setrlimit(resource.RLIMIT_NOFILE, (files, files))
        os.setsid()
    process = subprocess.Popen([executable, "--host", "127.0.0.1", "--port", "0", "--quiet", *options],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, preexec_fn=limit)
    ready, _, _ = select.select([process.stdout], [], [], 20)
    line = process.stdout.readline().decode() if ready else ""
    if not line.startswith("listening on "):
        process.kill()
        process.wait()
        raise RuntimeError("the server did not start: %r" % line)
    return process, int(line.strip().rstrip("/").rsplit(":", 1)[1])


def stop(process):
    process.kill()
    process.wait()
    process.stdout.close()


def attack_figures(executable, options, kind, connections, seconds, requests, files=None):
    """p99 of ordinary requests and RSS growth (KiB) during one attack on a
    fresh server; for exhaustion, the server has a low descriptor limit and
    the attack uses them all up."""
    process, port = start_limited(executable, files or 4096, *options)
    try:
        ordinary_latencies(port, 5)  # warm up
        rss_before, cpu_before = rss_kib(process.pid), cpu_seconds(process.pid)
        started = time.monotonic()
        with Attack(port, connections, "idle" if kind == "exhaustion" else kind, seconds):
            latencies = ordinary_latencies(port, requests)
            rss_during = rss_kib(process.pid)
        cpu = (cpu_seconds(process.pid) - cpu_before) / max(0.001, time.monotonic() - started)
        return {"p99": p99(latencies), "answered": sum(latency is not None for latency in latencies),
                "requests": len(latencies), "rss_growth_kib": rss_during - rss_before, "cpu": cpu,
                "median": statistics.median(latency for latency in latencies if latency is not None)
                if any(latency is not None for latency in latencies) else None}
    finally:
        stop(process)
