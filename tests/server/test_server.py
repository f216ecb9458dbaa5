#!/usr/bin/env python3
"""The example servers (cpp-httplib, libmicrohttpd and Boost.Beast), built
with CMake + Ninja against the tool's build directory, answering real
clients: curl, raw sockets, and headless Chromium rendering the example site.

  test_server.py --tool-build-dir <dir with vex_resource_builder-config.cmake>
                 --work-dir <scratch dir>

Two builds are made: one embedding examples/site, with its fallback, error
page and headers built in; one embedding a small tree written here (directory
indexes, a Latin-1 name, fixed file dates) through SITE_ROOT, with none. The
small tree's servers run as they are, with fallbacks, an error page and a
header from the command line, and in development mode (on a copy of the
tree) with the same options. Every test runs against every server.
"""
import argparse
import contextlib
import calendar
import gzip
import http.server
import json
import os
import random
import re
import resource
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
from harness import brotli_decompress, zstd_decompress  # noqa: E402
import hostile  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SERVER_SOURCE = os.path.join(REPO, "examples", "server")
SITE = os.path.join(REPO, "examples", "site")

MIME = {
    ".html": "text/html",
    ".css": "text/css",
    ".js": "application/javascript",
    ".mjs": "text/javascript",
    ".svg": "image/svg+xml",
    ".png": "image/png",
    ".wasm": "application/wasm",
}
WEEKDAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]

ARGS = None
SERVERS = {}
FLAVOURS = {"httplib": "vex_example_server", "microhttpd": "vex_example_server_microhttpd",
            "beast": "vex_example_server_beast"}
# The small tree's client-side routes (a default and one by prefix), its
# error pages and a header of its own, given on the command line.
ROUTE_OPTIONS = ["--fallback", "/docs/index.html", "--fallback", "/app/=/app/index.html",
                 "--error-page", "404=/404.html", "--error-page", "405=/404.html", "--header", "X-Frame-Options: DENY"]


def tool_date(seconds):
    """The embedded date text: day and hour without leading zeros."""
    t = time.gmtime(seconds)
    return "%s, %d %s %04d %d:%02d:%02d GMT" % (
        WEEKDAYS[t.tm_wday], t.tm_mday, MONTHS[t.tm_mon - 1], t.tm_year, t.tm_hour, t.tm_min, t.tm_sec)


def fixed_date(seconds):
    """The standard fixed-width form of the same time."""
    return time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(seconds))


def is_current_date(text):
    """True when text is the fixed-form date of about now, as Date must be."""
    try:
        seconds = calendar.timegm(time.strptime(text or "", "%a, %d %b %Y %H:%M:%S GMT"))
    except ValueError:
        return False
    return text == fixed_date(seconds) and abs(seconds - time.time()) < 60


def build_env():
    # The dates must be the files' own, so no clamping from the environment.
    env = dict(os.environ)
    env.pop("SOURCE_DATE_EPOCH", None)
    return env


def oracle_path():
    """The framing oracle: the one given, or one built here with c++."""
    if ARGS.oracle:
        return ARGS.oracle
    path = os.path.join(os.path.abspath(ARGS.work_dir), "framing_oracle")
    if not os.path.exists(path):
        subprocess.run(["c++", "-std=c++20", "-O1", "-I" + os.path.join(REPO, "include"), "-o", path,
                        os.path.join(HERE, "framing_oracle.cpp")], check=True, timeout=300)
    return path


def build_server(build_dir, site_root):
    shutil.rmtree(build_dir, ignore_errors=True)
    # Unoptimised: the tests need the servers' behaviour, not their speed.
    configure = ["cmake", "-S", SERVER_SOURCE, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                 "-Dvex_resource_builder_DIR=" + os.path.abspath(ARGS.tool_build_dir)]
    if site_root:
        configure.append("-DSITE_ROOT=" + site_root)
    for command in (configure, ["ninja", "-C", build_dir, "-j2"]):
        result = subprocess.run(command, env=build_env(), capture_output=True, text=True, timeout=600)
        if result.returncode != 0:
            raise RuntimeError("%s failed:\n%s%s" % (" ".join(command), result.stdout, result.stderr))
    return {flavour: os.path.join(build_dir, name) for flavour, name in FLAVOURS.items()}


class Server:
    def __init__(self, executable, log_path, *options):
        self.log_path = log_path
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen([executable, "--host", "127.0.0.1", "--port", "0", *options],
                                        stdout=subprocess.PIPE, stderr=self.log, start_new_session=True)
        line = b""
        deadline = time.monotonic() + 20
        while not line.endswith(b"\n"):
            ready, _, _ = select.select([self.process.stdout], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(self.process.stdout.fileno(), 1) if ready else b""
            if not chunk:
                self.stop()
                raise RuntimeError("the server printed no address: %r" % line)
            line += chunk
        text = line.decode().strip()
        prefix = "listening on http://127.0.0.1:"
        if not text.startswith(prefix) or not text.endswith("/"):
            self.stop()
            raise RuntimeError("unexpected first line: %r" % text)
        self.port = int(text[len(prefix):-1])
        self.base = "http://127.0.0.1:%d" % self.port

    def requests(self, with_coding=False):
        """The logged requests, as (method, path, status) tuples, with the
        content coding of the answer as a fourth item when asked for."""
        with open(self.log_path, "rb") as log:
            return [tuple(line.split()[:4 if with_coding else 3]) for line in log.read().decode().splitlines()]

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.process.stdout.close()
        self.log.close()


def write_tree(tree):
    shutil.rmtree(tree, ignore_errors=True)
    for path, content in DirectoryIndex.FILES.items():
        full = os.path.join(tree, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content)
        os.utime(full, (DirectoryIndex.DATE, DirectoryIndex.DATE))


def setUpModule():
    os.makedirs(ARGS.work_dir, exist_ok=True)
    work = os.path.abspath(ARGS.work_dir)
    tree = os.path.join(work, "dirs-site")
    live_tree = os.path.join(work, "live-site")
    write_tree(tree)
    write_tree(live_tree)
    try:
        for name, root in (("site", None), ("dirs", tree)):
            executables = build_server(os.path.join(work, "build-" + name), root)
            for flavour, executable in executables.items():
                log = os.path.join(work, "%s-%s-requests.log" % (name, flavour))
                SERVERS[name, flavour] = Server(executable, log)
                if name == "dirs":
                    log = os.path.join(work, "routes-%s-requests.log" % flavour)
                    SERVERS["routes", flavour] = Server(executable, log, *ROUTE_OPTIONS)
                    log = os.path.join(work, "live-%s-requests.log" % flavour)
                    SERVERS["live", flavour] = Server(executable, log, "--dev-root", live_tree, "--quiet",
                                                      *ROUTE_OPTIONS)
    except BaseException:
        tearDownModule()
        raise


def tearDownModule():
    for server in SERVERS.values():
        server.stop()


def curl(url, *options):
    """(status, headers with lower-case names, body) of one request."""
    with tempfile.TemporaryDirectory() as scratch:
        headers_path = os.path.join(scratch, "headers")
        body_path = os.path.join(scratch, "body")
        subprocess.run(["curl", "-s", "--max-time", "20", "-D", headers_path, "-o", body_path, *options, url],
                       check=True, timeout=30)
        with open(headers_path, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        body = b""
        if os.path.exists(body_path):
            with open(body_path, "rb") as f:
                body = f.read()
    status = int(lines[0].split()[1])
    headers = {}
    for line in lines[1:]:
        if ":" in line:
            name, value = line.split(":", 1)
            headers[name.strip().lower()] = value.strip()
    return status, headers, body


def headless_chromium(profile, url, *options):
    """Runs headless Chromium on url with the profile directory profile and
    the options; its return code, and its standard output and error."""
    command = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + profile, "--virtual-time-budget=5000", "--timeout=15000", *options, url]
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, err = process.communicate(timeout=90)
    finally:
        # Helpers the browser started may outlive it; end the whole group.
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()
    return process.returncode, out, err


def raw_request(port, method, url_path, *header_lines, body=b""):
    """(status, headers with lower-case names, every byte after the header
    block) of one request on its own connection, read until the server
    closes it, so that a body sent where none belongs is seen."""
    request = "%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n" % (method, url_path, port)
    request += "".join(line + "\r\n" for line in header_lines) + "\r\n"
    with socket.create_connection(("127.0.0.1", port), timeout=20) as connection:
        connection.sendall(request.encode("latin-1") + body)
        received = b""
        while True:
            chunk = connection.recv(65536)
            if not chunk:
                break
            received += chunk
    head, separator, rest = received.partition(b"\r\n\r\n")
    if not separator:
        raise AssertionError("incomplete response: %r" % received)
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return int(lines[0].split()[1]), headers, rest


class Connection:
    """One connection carrying any bytes, whose answers are read one by one,
    each delimited by its Content-Length as a client must."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=20)
        self.received = b""

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.socket.close()

    def send(self, data, pieces=1):
        """Sends data in pieces of about equal size, a moment apart, so that
        the server sees requests cut anywhere."""
        size = max(1, -(-len(data) // pieces))
        for start in range(0, len(data), size):
            self.socket.sendall(data[start:start + size])
            if pieces > 1:
                time.sleep(0.01)

    def _fill(self):
        chunk = self.socket.recv(65536)
        self.received += chunk
        return bool(chunk)

    def answer(self, head=False):
        """(status, headers with lower-case names, body) of the next answer,
        interim 1xx ones skipped; None when the server closed the connection."""
        while True:
            while b"\r\n\r\n" not in self.received:
                if not self._fill():
                    if self.received:
                        raise AssertionError("the connection closed in an answer: %r" % self.received)
                    return None
            block, _, self.received = self.received.partition(b"\r\n\r\n")
            lines = block.decode("latin-1").split("\r\n")
            status = int(lines[0].split()[1])
            headers = {}
            for line in lines[1:]:
                name, _, value = line.partition(":")
                headers.setdefault(name.strip().lower(), []).append(value.strip())
            if status >= 200:
                break
        length = 0 if head or status == 304 else int(headers.get("content-length", ["0"])[0])
        while len(self.received) < length:
            if not self._fill():
                raise AssertionError("the connection closed in a body")
        body, self.received = self.received[:length], self.received[length:]
        for name, values in headers.items():
            if len(values) > 1:
                raise AssertionError("%s sent %d times" % (name, len(values)))
        return status, {name: values[0] for name, values in headers.items()}, body

    def closed(self):
        """True when the server closes the connection with nothing more to say."""
        return self.answer() is None


def request_bytes(method, target, *lines, version="HTTP/1.1", host=True):
    head = "%s %s %s\r\n" % (method, target, version) + ("Host: 127.0.0.1\r\n" if host else "")
    return (head + "".join(line + "\r\n" for line in lines) + "\r\n").encode("latin-1")


TEMPLATE_MARK = re.compile(rb"\{\{(/[^}]*)\}\}")


def site_files(templates=False):
    """(URL path, file path) of every file of the example site that is served
    as it is, or of every page template (served rendered) when asked."""
    for directory, _, names in os.walk(SITE):
        for name in sorted(names):
            full = os.path.join(directory, name)
            with open(full, "rb") as f:
                is_template = name.endswith(".html") and TEMPLATE_MARK.search(f.read()) is not None
            if is_template == templates:
                yield "/" + os.path.relpath(full, SITE).replace(os.sep, "/"), full


def manifest(flavour):
    """The example site build's map of paths to content-hashed paths."""
    name = FLAVOURS[flavour] + "_resources"
    path = os.path.join(os.path.abspath(ARGS.work_dir), "build-site", "vex_resources", name, name + ".manifest.json")
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def rendered(full, hashed):
    """A page template as the server renders it: each {{/path}} its hashed path."""
    with open(full, "rb") as f:
        return TEMPLATE_MARK.sub(lambda mark: hashed.get(mark.group(1).decode(), mark.group(1).decode()).encode(),
                                 f.read())


class FlavouredTest(unittest.TestCase):
    """Runs against the server of one HTTP library, named by FLAVOUR."""
    FLAVOUR = None

    def server(self, name):
        return SERVERS[name, self.FLAVOUR]


class SiteOverCurl:
    def setUp(self):
        self.base = self.server("site").base

    def expected(self, full):
        with open(full, "rb") as f:
            data = f.read()
        extension = os.path.splitext(full)[1]
        self.assertIn(extension, MIME, "add the MIME type of %s files to this test" % extension)
        content_type = MIME[extension] + ("; charset=utf-8" if data.startswith(b"\xef\xbb\xbf") else "")
        return data, content_type, fixed_date(int(os.stat(full).st_mtime))

    def test_every_file_with_its_headers(self):
        files = list(site_files())
        self.assertGreaterEqual(len(files), 3)
        for url_path, full in files:
            with self.subTest(url_path):
                data, content_type, date = self.expected(full)
                status, headers, body = curl(self.base + url_path)
                self.assertEqual(status, 200)
                self.assertEqual(body, data)
                self.assertEqual(headers.get("content-length"), str(len(data)))
                self.assertEqual(headers.get("content-type"), content_type)
                self.assertEqual(headers.get("last-modified"), date)
                self.assertEqual(headers.get("accept-ranges"), "bytes")
                self.assertEqual(headers.get("cache-control"), "no-cache")

    def test_head_has_the_headers_and_no_body(self):
        for url_path, full in site_files():
            with self.subTest(url_path):
                data, content_type, date = self.expected(full)
                status, headers, body = raw_request(self.server("site").port, "HEAD", url_path)
                self.assertEqual(status, 200)
                self.assertEqual(body, b"")
                self.assertEqual(headers.get("content-length"), str(len(data)))
                self.assertEqual(headers.get("content-type"), content_type)
                self.assertEqual(headers.get("last-modified"), date)

    def test_if_modified_since_its_own_date_is_304(self):
        for url_path, full in site_files():
            with self.subTest(url_path):
                data, _, date = self.expected(full)
                status, headers, body = curl(self.base + url_path, "-H", "If-Modified-Since: " + date)
                self.assertEqual((status, body), (304, b""))
                self.assertEqual(headers.get("last-modified"), date)
                for method in ("GET", "HEAD"):
                    status, headers, rest = raw_request(self.server("site").port, method, url_path,
                                                        "If-Modified-Since: " + date)
                    self.assertEqual((status, rest), (304, b""))
                    self.assertIn(headers.get("content-length"), (None, str(len(data))))

    def test_root_serves_index_rendered_with_hashed_links(self):
        hashed = manifest(self.FLAVOUR)
        index = rendered(os.path.join(SITE, "index.html"), hashed)
        self.assertIn(b'href="%s"' % hashed["/css/main.css"].encode(), index)
        self.assertIn(b'src="%s"' % hashed["/js/app.js"].encode(), index)
        for url_path in ("/", "/index.html"):
            status, headers, body = curl(self.base + url_path)
            self.assertEqual((status, body), (200, index))
            self.assertEqual(headers.get("content-type"), "text/html")
            self.assertEqual(headers.get("cache-control"), "no-cache")

    def test_hashed_paths_are_immutable_and_name_only_their_bytes(self):
        hashed = manifest(self.FLAVOUR)
        self.assertEqual(sorted(hashed), sorted(path for templates in (False, True) for path, _ in site_files(templates)))
        for url_path, full in site_files():
            with self.subTest(url_path):
                with open(full, "rb") as f:
                    data = f.read()
                self.assertRegex(hashed[url_path], r"\.[0-9a-f]{8}(\.[a-z]+)?$")
                status, headers, body = curl(self.base + hashed[url_path])
                self.assertEqual((status, body), (200, data))
                self.assertEqual(headers.get("cache-control"), "public, max-age=31536000, immutable")
                self.assertEqual(headers.get("content-type"), self.expected(full)[1])
                # Another hash names no version of the file.
                other = re.sub(r"\.([0-9a-f]{8})", lambda m: "." + "%08x" % (int(m.group(1), 16) ^ 1),
                               hashed[url_path])
                self.assertEqual(curl(self.base + other)[0], 404)

    def test_unknown_paths_get_the_sites_404_page_or_the_short_text(self):
        page = rendered(os.path.join(SITE, "404.html"), manifest(self.FLAVOUR))
        for url_path in ("/nope", "/css/nope.css", "/img/", "/img", "/index.htm", "/css/main.css/",
                         "/CSS/main.css", "//index.html", "/app.js", "/img/x.png", "/app/x.js"):
            with self.subTest(url_path):
                status, headers, body = curl(self.base + url_path)   # curl accepts */*
                self.assertEqual((status, body), (404, page))
                self.assertEqual(headers.get("content-type"), "text/html")
                self.assertIn("default-src 'none'", headers.get("content-security-policy"))
        # A client that takes no HTML gets the short text; a route of the
        # application gets its page only when HTML is taken.
        for url_path in ("/img/x.png", "/app/settings"):
            status, headers, body = curl(self.base + url_path, "-H", "Accept: application/json")
            self.assertEqual((status, body, headers.get("vary")), (404, b"Not Found\n", "Accept"))

    def test_one_connection_carries_mixed_requests(self):
        # A body sent after a HEAD, a 304 or a 416, or a wrong length, would
        # garble the responses that follow on the same connection.
        css = os.path.join(SITE, "css", "main.css")
        js = os.path.join(SITE, "js", "app.js")
        _, _, css_date = self.expected(css)
        step = ["-s", "-w", "%{http_code} %{num_connects}\\n", "-o", "/dev/null"]
        with tempfile.TemporaryDirectory() as scratch:
            last = os.path.join(scratch, "last")
            result = subprocess.run(
                ["curl", "--max-time", "20", *step, "-I", self.base + "/css/main.css",
                 "--next", *step, "-H", "If-Modified-Since: " + css_date, self.base + "/css/main.css",
                 "--next", *step, "-H", "Range: bytes=99999-", self.base + "/css/main.css",
                 "--next", *step, self.base + "/nope",
                 "--next", "-s", "-w", "%{http_code} %{num_connects}\\n", self.base + "/js/app.js", "-o", last],
                capture_output=True, text=True, check=True, timeout=30)
            with open(last, "rb") as f:
                last_body = f.read()
        with open(js, "rb") as f:
            self.assertEqual(last_body, f.read())
        # One connection opened by the first request, reused by the others.
        self.assertEqual(result.stdout.split("\n")[:5], ["200 1", "304 0", "416 0", "404 0", "200 0"])


class DirectoryIndex:
    """A tree chosen by SITE_ROOT, with no index at its root and a known date."""
    DATE = calendar.timegm((2001, 2, 3, 4, 5, 6))
    DATE_TEXT = "Sat, 03 Feb 2001 04:05:06 GMT"
    FILES = {
        "docs/index.html": b"<p>docs</p>\n",
        "docs/deep/index.html": b"<p>deep</p>\n",
        "docs/page.html": b"<p>page</p>\n",
        "style.css": b"p { margin: 0 }\n",
        "caf\u00e9.html": b"<p>caf\xc3\xa9</p>\n",
        "data.bin": bytes(range(256)) * 4,
        "empty.css": b"",
        "big.bin": bytes(random.Random(1).getrandbits(8) for _ in range(300 * 1024)),
        "app/index.html": b"<p>app</p>\n",
        "404.html": b"<p>missing</p>\n",
    }

    def setUp(self):
        self.base = self.server("dirs").base

    def test_directory_paths_serve_their_index_or_redirect_to_it(self):
        for url_path, file in (("/docs/", "docs/index.html"), ("/docs/index.html", "docs/index.html"),
                               ("/docs/deep/", "docs/deep/index.html"), ("/docs/page.html", "docs/page.html")):
            with self.subTest(url_path):
                status, headers, body = curl(self.base + url_path)
                self.assertEqual((status, body), (200, self.FILES[file]))
                self.assertEqual(headers.get("content-type"), "text/html")
        for url_path in ("/docs", "/docs/deep"):
            with self.subTest(url_path):
                status, headers, body = curl(self.base + url_path)
                self.assertEqual((status, headers.get("location"), body), (301, url_path + "/", b""))
        # The query goes along, as the client sent it.
        status, headers, _ = raw_request(self.server("dirs").port, "GET", "/docs?a=1&b=%2F&c")
        self.assertEqual((status, headers.get("location")), (301, "/docs/?a=1&b=%2F&c"))

    def test_directory_without_index_is_404(self):
        for url_path in ("/", "/docs/page.html/", "/doc", "/docs/deep/index"):
            with self.subTest(url_path):
                self.assertEqual(curl(self.base + url_path)[0], 404)

    def test_date_text_and_if_modified_since_comparison(self):
        url = self.base + "/style.css"
        status, headers, body = curl(url)
        self.assertEqual((status, body), (200, self.FILES["style.css"]))
        self.assertEqual(headers.get("last-modified"), self.DATE_TEXT)
        cases = [
            (self.DATE_TEXT, 304),
            (tool_date(self.DATE), 304),                             # the record's own text
            (fixed_date(self.DATE + 86400), 304),                    # later than the file
            ("Sunday, 04-Feb-01 04:05:06 GMT", 304),                 # the obsolete form
            ("Sun Feb  4 04:05:06 2001", 304),                       # asctime
            (fixed_date(self.DATE - 1), 200),                        # one second earlier
            ("Saturday, 03-Feb-01 04:05:05 GMT", 200),
            ("Sat Feb  3 04:05:05 2001", 200),
            ("Sat, 3 Feb 2001 4:05:06", 200),                        # not a date
            ("yesterday", 200),
        ]
        for since, expected in cases:
            with self.subTest(since):
                status, _, body = curl(url, "-H", "If-Modified-Since: " + since)
                self.assertEqual(status, expected)
                self.assertEqual(body, b"" if expected == 304 else self.FILES["style.css"])

    def test_empty_file_keeps_its_type(self):
        status, headers, body = curl(self.base + "/empty.css")
        self.assertEqual((status, body, headers.get("content-length")), (200, b"", "0"))
        self.assertEqual(headers.get("content-type"), "text/css")

    def test_utf8_request_finds_latin1_name(self):
        status, headers, body = curl(self.base + "/caf%C3%A9.html")
        self.assertEqual((status, body), (200, self.FILES["caf\u00e9.html"]))
        self.assertEqual(curl(self.base + "/caf%C3%A9%C3%A9.html")[0], 404)

    def test_byte_ranges(self):
        data = self.FILES["data.bin"]
        size = len(data)
        cases = [
            ("bytes=0-9", 206, data[0:10], "bytes 0-9/%d" % size),
            ("bytes=1000-", 206, data[1000:], "bytes 1000-%d/%d" % (size - 1, size)),
            ("bytes=-5", 206, data[-5:], "bytes %d-%d/%d" % (size - 5, size - 1, size)),
            ("bytes=10-99999", 206, data[10:], "bytes 10-%d/%d" % (size - 1, size)),
            ("BYTES = 0-1", 200, data, None),                        # malformed: ignored
            ("bytes=5-2", 200, data, None),
            ("bytes=abc", 200, data, None),
            ("lines=0-1", 200, data, None),
            ("bytes=0-1,5-6", 200, data, None),                      # several: the whole file
            ("bytes=%d-" % size, 416, b"", "bytes */%d" % size),
            ("bytes=-0", 416, b"", "bytes */%d" % size),
        ]
        for value, expected, body_expected, content_range in cases:
            with self.subTest(value):
                status, headers, body = raw_request(self.server("dirs").port, "GET", "/data.bin",
                                                    "Range: " + value)
                self.assertEqual((status, body), (expected, body_expected))
                self.assertEqual(headers.get("content-length"), str(len(body_expected)))
                self.assertEqual(headers.get("content-range"), content_range)

    def test_if_range_and_head_with_range(self):
        data = self.FILES["data.bin"]
        port = self.server("dirs").port
        for if_range, expected in ((self.DATE_TEXT, 206), (fixed_date(self.DATE + 1), 200), ('"an-etag"', 200)):
            with self.subTest(if_range):
                status, _, body = raw_request(port, "GET", "/data.bin", "Range: bytes=0-3", "If-Range: " + if_range)
                self.assertEqual((status, body), (expected, data[:4] if expected == 206 else data))
        status, headers, body = raw_request(port, "HEAD", "/data.bin", "Range: bytes=0-3")
        self.assertEqual((status, headers.get("content-length"), body), (200, str(len(data)), b""))

    def test_preconditions(self):
        port = self.server("dirs").port
        cases = [
            (["If-Match: *"], 200),
            (['If-Match: "x", "y"'], 412),
            (["If-Unmodified-Since: " + fixed_date(self.DATE - 1)], 412),
            (["If-Unmodified-Since: " + self.DATE_TEXT], 200),
            (["If-Unmodified-Since: garbage"], 200),
            (['If-Match: "x"', "If-Unmodified-Since: " + self.DATE_TEXT], 412),   # If-Match decides
            (["If-None-Match: *"], 304),
            (['If-None-Match: "x"', "If-Modified-Since: " + self.DATE_TEXT], 200),  # IMS not consulted
        ]
        for lines, expected in cases:
            with self.subTest(lines):
                status, headers, body = raw_request(port, "GET", "/style.css", *lines)
                self.assertEqual(status, expected)
                self.assertEqual(body, self.FILES["style.css"] if expected == 200 else b"")

    def test_other_methods_are_405_with_allow(self):
        for method in ("POST", "PUT", "DELETE", "OPTIONS", "PATCH"):
            with self.subTest(method):
                status, headers, _ = raw_request(self.server("dirs").port, method, "/style.css",
                                                 "Content-Length: 3", body=b"abc")
                self.assertEqual((status, headers.get("allow")), (405, "GET, HEAD"))

    def test_hostile_targets(self):
        port = self.server("dirs").port
        cases = [
            ("/../style.css", 400), ("/%2e%2e/style.css", 400), ("/docs/../../style.css", 400),
            ("/docs/%2E%2E/%2e%2e/etc/passwd", 400), ("/style.css%00.html", 400), ("/%zz", 400),
            ("/style.css%", 400), ("/style.css%4", 400), ("style.css", 400), ("*", 400),
            ("/docs/../style.css", 200), ("/docs/./%2e%2e/style.css", 200), ("/docs/%2E%2E/style.css?x=/..", 200),
            ("http://127.0.0.1/style.css", 200), ("/%2fstyle.css", 404), ("/style.css/", 404),
            ("/docs%2Fpage.html", 404), ("/docs%2fpage.html", 404),    # an escaped slash is no separator
            ("/%5c..%5cstyle.css", 404), ("/" + "a" * 5000, 404),
        ]
        for target, expected in cases:
            with self.subTest(target):
                status, _, body = raw_request(port, "GET", target)
                self.assertEqual(status, expected)
                if expected == 200:
                    self.assertEqual(body, self.FILES["style.css"])
        # A target longer than the library takes: no record has it, or it is too long; its fields are not.
        self.assertIn(raw_request(port, "GET", "/" + "a" * 9000)[0], (404, 414))


class DevelopmentMode:
    """The small tree's server with --dev-root and --quiet: live files, never
    one outside, and no log."""

    def setUp(self):
        self.base = self.server("live").base
        self.tree = os.path.join(os.path.abspath(ARGS.work_dir), "live-site")

    def test_an_edit_within_the_second_of_the_copy_shows(self):
        path = os.path.join(self.tree, "docs", "deep", "index.html")
        port = self.server("live").port
        try:
            for content in (b"<p>one</p>\n", b"<p>two</p>\n"):   # same size, same date
                with open(path, "wb") as f:
                    f.write(content)
                os.utime(path, (DirectoryIndex.DATE, DirectoryIndex.DATE))
                if content == b"<p>one</p>\n":
                    status, headers, _ = raw_request(port, "GET", "/docs/deep/")
                    copy_tag = headers.get("etag")
                    self.assertRegex(copy_tag or "", r'^"[0-9a-f-]+"$')
            status, headers, body = raw_request(port, "GET", "/docs/deep/", "If-None-Match: " + copy_tag,
                                                "If-Modified-Since: " + DirectoryIndex.DATE_TEXT)
            self.assertEqual((status, body), (200, b"<p>two</p>\n"))
            self.assertEqual(raw_request(port, "GET", "/docs/deep/", "If-None-Match: " + headers["etag"])[0], 304)
        finally:
            with open(path, "wb") as f:
                f.write(DirectoryIndex.FILES["docs/deep/index.html"])
        with open(self.server("live").log_path, "rb") as log:
            self.assertNotIn(b"GET /docs/deep/", log.read(), "--quiet logged the requests")

    def test_an_edit_shows_without_a_rebuild(self):
        path = os.path.join(self.tree, "style.css")
        edited = ("p { color: %s }\n" % self.FLAVOUR).encode()
        with open(path, "wb") as f:
            f.write(edited)
        os.utime(path, (DirectoryIndex.DATE + 60, DirectoryIndex.DATE + 60))
        status, headers, body = curl(self.base + "/style.css")
        self.assertEqual((status, body), (200, edited))
        self.assertEqual(headers.get("content-type"), "text/css")
        self.assertEqual(headers.get("last-modified"), fixed_date(DirectoryIndex.DATE + 60))
        self.assertEqual(headers.get("cache-control"), "no-cache")
        self.assertEqual(curl(self.base + "/style.css", "-H", "Range: bytes=-3")[2], edited[-3:])
        self.assertEqual(curl(self.base + "/docs/")[2], DirectoryIndex.FILES["docs/index.html"])
        self.assertEqual(curl(self.base + "/caf%C3%A9.html")[2], DirectoryIndex.FILES["caf\u00e9.html"])

    def test_nothing_outside_the_tree_or_unembedded(self):
        outside = os.path.join(os.path.abspath(ARGS.work_dir), "outside-%s.txt" % self.FLAVOUR)
        with open(outside, "wb") as f:
            f.write(b"secret\n")
        page = os.path.join(self.tree, "docs", "page.html")
        os.remove(page)
        os.symlink(outside, page)   # an embedded name now leading out of the tree
        with open(os.path.join(self.tree, "new.css"), "wb") as f:
            f.write(b"secret\n")   # a file the build never embedded
        try:
            for target in ("/docs/page.html", "/new.css", "/../outside-%s.txt" % self.FLAVOUR, "/%2e%2e/live-site/style.css"):
                with self.subTest(target):
                    status, _, body = raw_request(self.server("live").port, "GET", target)
                    self.assertIn(status, (400, 404))
                    self.assertNotIn(b"secret", body)
        finally:
            os.remove(page)
            with open(page, "wb") as f:
                f.write(DirectoryIndex.FILES["docs/page.html"])
            os.remove(os.path.join(self.tree, "new.css"))

    def test_a_fifo_or_socket_is_404_at_once_while_others_are_served(self):
        fifo, unix_socket = os.path.join(self.tree, "docs", "page.html"), os.path.join(self.tree, "data.bin")
        os.remove(fifo)
        os.mkfifo(fifo)
        os.remove(unix_socket)
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(unix_socket)
        try:
            with Connection(self.server("live").port) as stuck, Connection(self.server("live").port) as other:
                # Opening the FIFO for reading would wait for a writer that never comes.
                stuck.socket.settimeout(5)
                stuck.send(request_bytes("GET", "/docs/page.html") + request_bytes("GET", "/data.bin"))
                other.send(request_bytes("GET", "/docs/"))
                status, _, body = other.answer()
                self.assertEqual((status, body), (200, DirectoryIndex.FILES["docs/index.html"]))
                self.assertEqual([stuck.answer()[0], stuck.answer()[0]], [404, 404])
        finally:
            listener.close()
            for path in (fifo, unix_socket):
                os.remove(path)
                with open(path, "wb") as f:
                    f.write(DirectoryIndex.FILES[os.path.relpath(path, self.tree)])

    def test_a_directory_swapped_for_a_link_out_never_serves_outside(self):
        # docs/deep trades places with a link to a directory outside that
        # holds an index.html of its own, by rename, while it is requested.
        outside = os.path.join(os.path.abspath(ARGS.work_dir), "outside-deep-%s" % self.FLAVOUR)
        os.makedirs(outside, exist_ok=True)
        with open(os.path.join(outside, "index.html"), "wb") as f:
            f.write(b"secret\n")
        deep, aside, link = (os.path.join(self.tree, "docs", name) for name in ("deep", "deep-aside", "deep-link"))
        os.symlink(os.path.relpath(outside, os.path.dirname(link)), link)
        stop = threading.Event()

        def swap():
            for _ in range(200000):
                if stop.is_set():
                    break
                os.rename(deep, aside)
                os.rename(link, deep)
                os.rename(deep, link)
                os.rename(aside, deep)

        swapper = threading.Thread(target=swap)
        swapper.start()
        statuses = set()
        connection = Connection(self.server("live").port)
        try:
            deadline = time.monotonic() + 3
            for _ in range(2000):   # pipelined batches, for a dense race
                if time.monotonic() > deadline:
                    break
                connection.send(request_bytes("GET", "/docs/deep/") * 16)
                for _ in range(16):
                    answer = connection.answer()
                    if answer is None:   # a server's limit of requests on one connection
                        connection.socket.close()
                        connection = Connection(self.server("live").port)
                        break
                    status, _, body = answer
                    statuses.add(status)
                    self.assertNotIn(b"secret", body)
                    if status == 200:
                        self.assertEqual(body, DirectoryIndex.FILES["docs/deep/index.html"])
        finally:
            connection.socket.close()
            stop.set()
            swapper.join()
            os.remove(link)
        self.assertEqual(statuses, {200, 404}, "both the directory and the link were met")


class Connections:
    """What an adapter must carry between its library and the planner, on
    raw connections: pipelined requests, bodies, methods, Host, field lines
    repeated, and a Date on every answer."""
    STYLE = DirectoryIndex.FILES["style.css"]

    def setUp(self):
        self.port = self.server("dirs").port

    def test_pipelined_requests_are_answered_in_order_on_one_connection(self):
        data = DirectoryIndex.FILES["data.bin"]
        requests, expected = b"", []
        for i in range(100):
            kind = i % 4
            if kind == 0:
                requests += request_bytes("GET", "/style.css")
                expected.append((200, self.STYLE))
            elif kind == 1:
                requests += request_bytes("GET", "/data.bin", "Range: bytes=%d-%d" % (i, i + 9))
                expected.append((206, data[i:i + 10]))
            elif kind == 2:
                requests += request_bytes("GET", "/docs/page%d.html" % i)
                expected.append((404, b"Not Found\n"))
            else:
                requests += request_bytes("GET", "/docs/", "If-None-Match: *")
                expected.append((304, b""))
        with Connection(self.port) as connection:
            connection.send(requests, pieces=37)  # cut anywhere, as packets arrive
            for number, (status, body) in enumerate(expected):
                answer = connection.answer()
                self.assertIsNotNone(answer, "answer %d of 100 is missing" % number)
                self.assertEqual((answer[0], answer[2]), (status, body), "answer %d of 100" % number)
                self.assertTrue(is_current_date(answer[1].get("date")), (number, answer[1]))
                self.assertNotEqual(answer[1].get("connection"), "close", number)
            connection.send(request_bytes("GET", "/style.css", "Connection: close"))
            self.assertEqual(connection.answer()[::2], (200, self.STYLE))
            self.assertTrue(connection.closed())
        for _ in range(5):  # a client done sending waits for the end (printf | nc); missing it may be a race
            with Connection(self.port) as connection:
                connection.send(request_bytes("GET", "/style.css"))
                connection.socket.shutdown(socket.SHUT_WR)
                self.assertEqual(connection.answer()[::2], (200, self.STYLE))
                self.assertTrue(connection.closed())

    def test_a_body_is_read_or_ends_the_connection_never_taken_for_a_request(self):
        hidden = request_bytes("GET", "/docs/page.html")
        data = DirectoryIndex.FILES["data.bin"]
        with Connection(self.port) as connection:  # the body comes after its header block
            connection.send(request_bytes("POST", "/style.css", "Content-Length: %d" % len(hidden)))
            time.sleep(0.2)
            connection.send(hidden + request_bytes("GET", "/data.bin", "Range: bytes=0-3"))
            self.assertEqual(connection.answer()[0], 405)
            self.assertEqual(connection.answer()[::2], (206, data[:4]))
        with Connection(self.port) as connection:  # a GET may have a body too
            connection.send(request_bytes("GET", "/style.css", "Content-Length: %d" % len(hidden)) + hidden +
                            request_bytes("GET", "/data.bin", "Range: bytes=0-3"))
            self.assertEqual(connection.answer()[::2], (200, self.STYLE))
            self.assertEqual(connection.answer()[::2], (206, data[:4]))
        with Connection(self.port) as connection:  # a line ending in LF alone is a line, or the request refused
            connection.send(request_bytes("GET", "/style.css", "Content-Length: %d\nX: y" % len(hidden)) + hidden +
                            request_bytes("GET", "/data.bin", "Range: bytes=0-3"))
            first, following = connection.answer(), connection.answer()
            if first[0] == 400:
                self.assertIsNone(following)
            else:
                self.assertEqual((first[::2], following[::2]), ((200, self.STYLE), (206, data[:4])))
        # Bodies a server may decline to read: then it ends the connection
        # after the answer, else it answers the request that follows.
        large = hidden * (100 * 1024 // len(hidden))
        chunked = b"%x\r\n%s\r\n0\r\n\r\n" % (len(hidden), hidden)
        cases = [(["Content-Length: %d" % len(large)], large, 405),
                 (["Transfer-Encoding: chunked"], chunked, 405),
                 (["Transfer-Encoding: gzip, chunked"], chunked, 405),  # a coding the library cannot read
                 (["Transfer-Encoding: chunked", "Content-Length: %d" % len(chunked)], chunked, 400),
                 (["Content-Length: 3", "Content-Length: 4"], b"abcd", 400)]
        for lines, body, first in cases:
            with self.subTest(lines), Connection(self.port) as connection:
                connection.send(request_bytes("POST", "/style.css", *lines) + body + request_bytes("GET", "/style.css"))
                self.assertEqual(connection.answer()[0], first)
                following = connection.answer()
                if first == 400:  # framing in doubt: nothing more may be read from it
                    self.assertIsNone(following)
                elif following is not None:
                    self.assertEqual(following[::2], (200, self.STYLE))

    def test_methods_host_and_repeated_field_lines(self):
        cases = [
            (request_bytes("TRACE", "/style.css"), 405),
            (request_bytes("FOO", "/style.css"), 501),
            (request_bytes("get", "/style.css"), 501),                   # methods are case-sensitive
            (request_bytes("GET", "/style.css", host=False), 400),
            (request_bytes("GET", "/style.css", "Connection: close", host=False), 400),  # close said once
            (request_bytes("GET", "/style.css", "Host: 127.0.0.1"), 400),  # two Host lines
            (request_bytes("GET", "/style.css", "Host: a b", host=False), 400),
            (request_bytes("GET", "/style.css", "Content-Length : 5") + b"GET /", 400),  # space before the colon
            (request_bytes("GET", "/style.css", " Content-Length: 5") + b"GET /", 400),  # a folded line
            (request_bytes("GET", "/style.css", version="HTTP/1.0", host=False), 200),
        ]
        for request, status in cases:
            with self.subTest(request), Connection(self.port) as connection:
                connection.send(request)
                answer = connection.answer()
                self.assertEqual(answer[0], status)
                self.assertEqual(answer[1].get("allow"), "GET, HEAD" if status == 405 else None)
                self.assertTrue(is_current_date(answer[1].get("date")), answer[1])
        etag = raw_request(self.port, "GET", "/style.css")[1]["etag"]
        status, _, body = raw_request(self.port, "GET", "/style.css", 'If-None-Match: "other"', "If-None-Match: " + etag)
        self.assertEqual((status, body), (304, b""))


class SiteRules:
    """The small tree's fallbacks, error pages and header, from the command
    line, embedded and in development mode; nosniff on every answer."""
    FILES = DirectoryIndex.FILES
    HTML = "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"  # a browser's navigation

    def test_client_side_routes_fall_back_by_prefix(self):
        for name in ("routes", "live"):
            port = self.server(name).port
            with self.subTest(name):
                status, headers, body = raw_request(port, "GET", "/settings/network", self.HTML)
                self.assertEqual((status, body), (200, self.FILES["docs/index.html"]))
                self.assertEqual(headers.get("cache-control"), "no-cache")
                self.assertTrue(headers.get("vary", "").startswith("Accept"), headers)
                self.assertEqual(headers.get("x-frame-options"), "DENY")
                self.assertEqual(raw_request(port, "GET", "/app/users/7", self.HTML)[::2],
                                 (200, self.FILES["app/index.html"]))
                # Its own validators, ranges and HEAD, as the page itself has.
                etag = headers["etag"]
                self.assertEqual(raw_request(port, "GET", "/x", "If-None-Match: " + etag)[::2], (304, b""))
                self.assertEqual(raw_request(port, "GET", "/x", "Range: bytes=0-2")[::2],
                                 (206, self.FILES["docs/index.html"][:3]))
                status, headers, body = raw_request(port, "HEAD", "/x")
                self.assertEqual((status, headers.get("content-length"), body),
                                 (200, str(len(self.FILES["docs/index.html"])), b""))
                # Files, hashed or not, and clients that take no HTML get a 404.
                for target, lines in (("/app.js", []), ("/img/x.png", []), ("/x", ["Accept: application/json"]),
                                      ("/style.0badf00d.css", [])):
                    self.assertEqual(raw_request(port, "GET", target, *lines)[0], 404, target)

    def test_error_pages_are_the_sites_page_but_not_the_resource(self):
        page = self.FILES["404.html"]
        for name in ("routes", "live"):
            port = self.server(name).port
            with self.subTest(name):
                for method, target, lines in (("GET", "/app.js", []), ("GET", "/img/x.png", ["If-None-Match: *"]),
                                              ("GET", "/a.css", ["Range: bytes=0-1"]), ("POST", "/x", [])):
                    status, headers, body = raw_request(port, method, target, *lines)
                    self.assertEqual((status, body), (405 if method == "POST" else 404, page), target)
                    self.assertEqual((headers.get("content-type"), headers.get("vary")), ("text/html", "Accept"))
                    for absent in ("etag", "last-modified", "accept-ranges", "content-range"):
                        self.assertNotIn(absent, headers, target)
                status, headers, body = raw_request(port, "HEAD", "/img/x.png")
                self.assertEqual((status, headers.get("content-length"), body), (404, str(len(page)), b""))
                status, headers, body = raw_request(port, "GET", "/img/x.png", "Accept: application/json")
                self.assertEqual((status, body), (404, b"Not Found\n"))

    def test_development_mode_serves_the_live_pages(self):
        tree = os.path.join(os.path.abspath(ARGS.work_dir), "live-site")
        port = self.server("live").port
        edited = {"404.html": b"<p>still missing</p>\n", "app/index.html": b"<p>app, edited</p>\n"}
        try:
            for path, content in edited.items():
                with open(os.path.join(tree, path), "wb") as f:
                    f.write(content)
            self.assertEqual(raw_request(port, "GET", "/nope.txt")[::2], (404, edited["404.html"]))
            self.assertEqual(raw_request(port, "GET", "/app/x")[::2], (200, edited["app/index.html"]))
        finally:
            for path in edited:
                with open(os.path.join(tree, path), "wb") as f:
                    f.write(self.FILES[path])

    def test_nosniff_on_every_status(self):
        port = self.server("dirs").port
        cases = [(request_bytes("GET", "/style.css"), 200),
                 (request_bytes("GET", "/data.bin", "Range: bytes=0-1"), 206),
                 (request_bytes("GET", "/docs"), 301),
                 (request_bytes("GET", "/style.css", "If-None-Match: *"), 304),
                 (request_bytes("GET", "/style.css", host=False), 400),
                 (request_bytes("GET", "/nope"), 404),
                 (request_bytes("DELETE", "/style.css"), 405),
                 (request_bytes("GET", "/style.css", "If-Match: \"x\""), 412),
                 (request_bytes("GET", "/data.bin", "Range: bytes=9999-"), 416),
                 (request_bytes("FOO", "/style.css"), 501),
                 (request_bytes("GET", "/" + "a" * 9000), None)]   # 414 where the library refuses it
        for request, status in cases:
            with self.subTest(status), Connection(port) as connection:
                connection.send(request)
                answer = connection.answer()
                self.assertIn(answer[0], (status,) if status else (404, 414))
                self.assertEqual(answer[1].get("x-content-type-options"), "nosniff")


class PrecompressedVariants:
    """The variants that the tool made with -x (HTTP_EXTRAS), negotiated by
    Accept-Encoding: every answer decodes to the file's own bytes."""
    COMPRESSED = ("/css/main.css", "/js/app.js")

    def get(self, url_path, *lines):
        return raw_request(self.server("site").port, "GET", url_path, *lines)

    def test_every_coding_decodes_to_the_file(self):
        decoders = {"br": brotli_decompress, "gzip": gzip.decompress, "zstd": zstd_decompress, None: lambda body: body}
        allowed = {"br": ("br", None), "gzip": ("gzip", None), "zstd": ("zstd", None),
                   "br;q=0.5, gzip": ("gzip", "br", None), "gzip, zstd": ("zstd", "gzip", None), "identity": (None,)}
        for url_path, full in site_files():
            with open(full, "rb") as f:
                data = f.read()
            codings, etags, varies = set(), set(), set()
            for accept in allowed:
                with self.subTest(url_path=url_path, accept=accept):
                    status, headers, body = self.get(url_path, "Accept-Encoding: " + accept)
                    coding = headers.get("content-encoding")
                    self.assertEqual(status, 200)
                    self.assertIn(coding, allowed[accept])
                    self.assertEqual(headers.get("content-length"), str(len(body)))
                    self.assertEqual(decoders[coding](body), data)
                    self.assertRegex(headers.get("etag", ""), r'^"[0-9a-f]{32}"$')
                    codings.add(coding)
                    etags.add((coding, headers["etag"]))
                    varies.add(headers.get("vary"))
            # Each representation has its own tag; Vary comes with every
            # answer about a file that has variants, and with none other.
            self.assertEqual(len(etags), len(codings), url_path)
            self.assertEqual(len({tag for _, tag in etags}), len(codings), url_path)
            self.assertEqual(varies, {"Accept-Encoding"} if codings != {None} else {None}, url_path)
            if url_path in self.COMPRESSED:
                self.assertEqual(codings, {"br", "gzip", "zstd", None}, url_path)
            # curl decodes each coding it is offered.
            for accept in ("br", "gzip", "zstd"):
                status, headers, body = curl(self.server("site").base + url_path, "--compressed",
                                             "-H", "Accept-Encoding: " + accept)
                self.assertEqual((status, body), (200, data))
                self.assertIn(headers.get("content-encoding"), (accept, None))

    def test_validators_and_ranges_follow_the_chosen_representation(self):
        _, gzipped, _ = self.get("/css/main.css", "Accept-Encoding: gzip")
        _, plain, data = self.get("/css/main.css")
        self.assertNotEqual(gzipped["etag"], plain["etag"])
        status, headers, body = self.get("/css/main.css", "Accept-Encoding: gzip", "If-None-Match: " + gzipped["etag"])
        self.assertEqual((status, headers.get("etag"), headers.get("vary"), body), (304, gzipped["etag"],
                                                                                  "Accept-Encoding", b""))
        # The identity tag does not name the gzip representation.
        status, _, _ = self.get("/css/main.css", "Accept-Encoding: gzip", "If-None-Match: " + plain["etag"])
        self.assertEqual(status, 200)
        status, _, _ = self.get("/css/main.css", "Accept-Encoding: gzip", "If-Match: " + plain["etag"])
        self.assertEqual(status, 412)
        # A range is taken from the file's own bytes, whatever the client accepts.
        status, headers, body = self.get("/css/main.css", "Accept-Encoding: gzip, br", "Range: bytes=0-9",
                                         "If-Range: " + plain["etag"])
        self.assertEqual((status, headers.get("content-encoding"), body), (206, None, data[:10]))
        status, headers, body = self.get("/css/main.css", "Range: bytes=0-9", "If-Range: " + gzipped["etag"])
        self.assertEqual((status, body), (200, data))
        # Nothing acceptable: identity refused and no variant the client takes.
        self.assertEqual(self.get("/css/main.css", "Accept-Encoding: identity;q=0, br;q=0, gzip;q=0")[0], 406)
        self.assertEqual(self.get("/css/main.css", "Accept-Encoding: identity;q=0, gzip")[1].get("content-encoding"),
                         "gzip")


class Hostile:
    """The server tried as an attacker would (hostile.py), embedded and in
    development mode: its answers to hostile framing must be the ones the
    kit's own reading of the bytes gives, and ordinary requests must be
    answered during each attack."""
    MODES = ("dirs", "live")

    def oracle(self):
        return hostile.Oracle(oracle_path())

    def test_smuggling_variants_frame_as_the_kit_does(self):
        cases = hostile.smuggling_cases()
        expected = self.oracle().expected(cases)
        # The kit refuses the classic ones, and finds the request hidden in a body only where it is one.
        folded = cases.index(next(case for case in cases if case.startswith(b"POST /docs?i=1 HTTP/1.1\r\nHost: a\r\n"
                                                                              b"Content-Length:\r\n 48")))
        self.assertEqual(expected[folded], (["=400"], "close"))  # refused in the head itself
        self.assertGreaterEqual(sum(len(items) == 2 for items, _ in expected), 10)
        for mode in self.MODES:
            port = self.server(mode).port
            for case, (items, _) in zip(cases, expected):
                with self.subTest(mode=mode, case=case):
                    raw, closed = hostile.exchange(port, case)
                    self.assertIsNone(hostile.disagreement(raw, closed, items))

    def test_fuzzed_framing_is_answered_as_the_kit_reads_it(self):
        for mode in self.MODES:
            with self.subTest(mode=mode):
                seed = "%s-%s" % (self.FLAVOUR, mode)
                count, found = hostile.fuzz(self.server(mode).port, self.oracle(), 600, seed)
                self.assertEqual(found[:3], [], "%d of %d fuzzed connections disagree" % (len(found), count))
                self.assertEqual(count, 600)

    def test_connection_options_are_honoured(self):
        second = request_bytes("GET", "/style.css")
        for lines in (["Connection: close"], ["Connection: CLOSE"], ["Connection: keep-alive, close"],
                      ["Connection: foo ,Close,bar"], ["Connection: keep-alive", "Connection: close"],
                      ["Connection:close"]):
            with self.subTest(lines), Connection(self.server("dirs").port) as connection:
                connection.send(request_bytes("GET", "/style.css", *lines) + second)
                self.assertEqual(connection.answer()[1].get("connection"), "close")
                self.assertTrue(connection.closed())
        with Connection(self.server("dirs").port) as connection:  # not close: both answered
            connection.send(request_bytes("GET", "/style.css", "Connection: closed, keep-alive") + second)
            self.assertEqual((connection.answer()[0], connection.answer()[0]), (200, 200))
        with Connection(self.server("dirs").port) as connection:  # HTTP/1.0 connections are not kept
            connection.send(request_bytes("GET", "/style.css", "Connection: keep-alive", version="HTTP/1.0") + second)
            self.assertEqual(connection.answer()[0], 200)
            self.assertTrue(connection.closed())

    def test_a_close_with_input_unread_lingers_and_no_limit_cuts_pipelining(self):
        big = DirectoryIndex.FILES["big.bin"]
        for mode in self.MODES:
            port = self.server(mode).port
            # A slow reader, and input the server never reads: the answer
            # still arrives whole, not cut by a reset.
            for request in (request_bytes("GET", "/big.bin", "Connection: close") + b"x" * 200000,
                            request_bytes("POST", "/big.bin", "Content-Length: 300000") + b"x" * 300000 +
                            request_bytes("GET", "/big.bin")):
                with self.subTest(mode=mode, request=request[:40]):
                    raw, closed = hostile.exchange(port, request, shut=False, pause=1.0)
                    answers, rest = hostile.split_answers(raw, [False])
                    self.assertTrue(closed)
                    self.assertEqual(len(answers), 1, raw[:300])
                    if answers[0][0] == 200:
                        self.assertEqual(rest, b"")
                        self.assertTrue(raw.endswith(big))
            pipelined = request_bytes("GET", "/data.bin") * 1500 + request_bytes("GET", "/big.bin", "Connection: close")
            raw, closed = hostile.exchange(port, pipelined, shut=False, timeout=60)
            answers, rest = hostile.split_answers(raw, [False] * 1501)
            self.assertEqual((len(answers), rest, closed), (1501, b"", True))
            self.assertTrue(raw.endswith(big))

    def test_the_first_answer_after_a_thousand_connections(self):
        # Whatever the server opens at its first answer (a library's own
        # sockets) is then numbered past what a select set can hold.
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 4096)), hard))
        process, port = hostile.start_limited(self.server("dirs").process.args[0], 4096)
        held = []
        try:
            held = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(1100)]
            time.sleep(0.5)  # for the server to accept them all
            raw, _ = hostile.exchange(port, b"GET /style.css HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertTrue(raw.startswith(b"HTTP/1.1 200 OK\r\n"), raw[:200])
        finally:
            for connection in held:
                connection.close()
            hostile.stop(process)
            resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))

    def test_ordinary_requests_are_served_during_attacks(self):
        executable = self.server("dirs").process.args[0]
        tree = os.path.join(os.path.abspath(ARGS.work_dir), "live-site")
        attacks = (("slowloris", 60, None), ("idle", 300, None), ("flood", 20, None), ("exhaustion", 150, 128))
        for options in ([], ["--dev-root", tree]):
            for kind, connections, files in attacks:
                with self.subTest(kind=kind, options=options):
                    figures = hostile.attack_figures(executable, options, kind, connections, seconds=3, requests=10,
                                                     files=files)
                    self.assertEqual(figures["answered"], figures["requests"], figures)
                    # Bounds far above the targets, for faults of another order
                    # (memory that grows with the attack, an accept loop that spins).
                    self.assertLess(figures["rss_growth_kib"], 64 * 1024, figures)
                    self.assertLess(figures["cpu"], 0.5, figures)


def png_pixels(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB/RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    position, compressed = 8, b""
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        chunk = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, color, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
            assert depth == 8 and color in (2, 6) and interlace == 0, "unsupported PNG layout"
        elif kind == b"IDAT":
            compressed += chunk
        position += 12 + length
    channels = 4 if color == 6 else 3
    raw = zlib.decompress(compressed)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            upper_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else upper_left
                line[i] = (line[i] + predictor) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def near(pixel, color, tolerance=3):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, color))


class CodingFilter:
    """A reverse proxy in front of a server that takes the codings named in
    drop out of every request's Accept-Encoding and passes the answers on
    untouched, so that a browser that offers them gets the next coding."""

    def __init__(self, upstream_port, drop):
        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                headers = {name: value for name, value in self.headers.items()
                           if name.lower() not in ("host", "connection", "accept-encoding")}
                accept = [item for item in self.headers.get("Accept-Encoding", "").split(",")
                          if item.strip() and item.split(";")[0].strip().lower() not in drop]
                headers["Accept-Encoding"] = ",".join(accept)
                request = urllib.request.Request("http://127.0.0.1:%d%s" % (upstream_port, self.path), headers=headers)
                try:
                    answer = urllib.request.urlopen(request, timeout=20)
                except urllib.error.HTTPError as error:
                    answer = error
                body = answer.read()
                self.send_response(answer.status)
                for name, value in answer.headers.items():
                    if name.lower() not in ("connection", "transfer-encoding", "keep-alive"):
                        self.send_header(name, value)
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.base = "http://127.0.0.1:%d" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class DevTools:
    """Headless Chromium driven over its DevTools pipe (file descriptors 3
    and 4, messages ending in NUL): one page, whose console and log entries
    are kept."""

    def __init__(self, profile):
        to_browser, self.to_browser = os.pipe()
        self.from_browser, from_browser = os.pipe()

        def give_pipes():
            # The pipe's ends may be 3 or 4 already: copy them out of the way first.
            reading, writing = os.dup(to_browser), os.dup(from_browser)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile, "--remote-debugging-pipe", "about:blank"],
            preexec_fn=give_pipes, close_fds=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(to_browser)
        os.close(from_browser)
        self.received, self.events, self.last_id, self.session = b"", [], 0, None
        page = next(target for target in self.call("Target.getTargets")["targetInfos"] if target["type"] == "page")
        self.session = self.call("Target.attachToTarget", targetId=page["targetId"], flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable")

    def close(self):
        # Helpers the browser started may outlive it; end the whole group.
        with contextlib.suppress(ProcessLookupError):
            os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)

    def _next_message(self, deadline):
        while b"\0" not in self.received:
            ready, _, _ = select.select([self.from_browser], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(self.from_browser, 65536) if ready else b""
            if not chunk:
                raise AssertionError("the browser stopped answering")
            self.received += chunk
        message, _, self.received = self.received.partition(b"\0")
        message = json.loads(message)
        if "method" in message:
            self.events.append(message)
        return message

    def call(self, method, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + 30
        while True:
            answer = self._next_message(deadline)
            if answer.get("id") == self.last_id:
                if "error" in answer:
                    raise AssertionError("%s: %s" % (method, answer["error"]))
                return answer["result"]

    def wait_for(self, event):
        deadline = time.monotonic() + 30
        while True:
            for index, each in enumerate(self.events):
                if each["method"] == event:
                    return self.events.pop(index)
            self._next_message(deadline)

    def evaluate(self, expression):
        """The value of expression in the page, a promise's once it settles."""
        return self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                         awaitPromise=True)["result"].get("value")

    def settled(self, expression, seconds=10):
        """The value of expression once it is truthy, or after seconds."""
        return self.evaluate("new Promise(done => { const until = Date.now() + %d; const look = () => { "
                             "const value = (%s); if (value || Date.now() > until) done(value); "
                             "else setTimeout(look, 20); }; look(); })" % (seconds * 1000, expression))

    def load(self, url=None):
        """Opens url, or reloads the page, and waits until it has loaded."""
        if url:
            self.call("Page.navigate", url=url)
        else:
            self.call("Page.reload")
        self.wait_for("Page.loadEventFired")

    def complaints(self):
        """The console's errors and warnings so far, CSP violations among them."""
        with contextlib.suppress(AssertionError):   # what is still on its way
            while True:
                self._next_message(time.monotonic() + 0.3)
        found = []
        for each in self.events:
            params = each["params"]
            if each["method"] == "Log.entryAdded" and params["entry"]["level"] in ("error", "warning"):
                found.append("%s: %s" % (params["entry"].get("url"), params["entry"]["text"]))
            elif each["method"] == "Runtime.consoleAPICalled" and params["type"] in ("error", "warning", "assert"):
                found.append(json.dumps(params["args"]))
            elif each["method"] == "Runtime.exceptionThrown":
                found.append(json.dumps(params["exceptionDetails"]))
        self.events = [each for each in self.events if each["method"] not in (
            "Log.entryAdded", "Runtime.consoleAPICalled", "Runtime.exceptionThrown")]
        return found


class SiteInChromium:
    BACKGROUND = (0xf4, 0xf6, 0xf8)  # body background in css/main.css
    LOGO = (0x0b, 0x5c, 0xad)        # the square of img/logo.svg

    def chromium(self, *options, base=None):
        with tempfile.TemporaryDirectory(dir=os.path.abspath(ARGS.work_dir)) as profile:
            code, out, err = headless_chromium(profile, (base or self.server("site").base) + "/", *options)
        self.assertEqual(code, 0, err.decode(errors="replace")[-2000:])
        return out.decode(errors="replace")

    def assert_assets_came(self, before, codings):
        """The style sheet and the script were fetched by their hashed paths,
        in one of codings, since the page was asked for."""
        requests = self.server("site").requests(with_coding=True)[before:]
        hashed = manifest(self.FLAVOUR)
        for path in ("/css/main.css", "/js/app.js"):
            self.assertTrue(any(request[:3] == ("GET", hashed[path], "200") and request[3] in codings
                                for request in requests), (path, requests))

    def test_page_script_style_and_image(self):
        before = len(self.server("site").requests())
        dom = self.chromium("--dump-dom")
        # js/app.js ran: it marks the status paragraph once the DOM is ready,
        # with the background css/main.css gave the page.
        self.assertIn('data-background="rgb(244, 246, 248)" data-loaded="yes"', dom)
        self.assertIn("Hello from inside the server", dom)
        # The module script ran and compiled the WebAssembly while streaming:
        # both need the types browsers enforce, which the records do not have.
        self.assertIn("WebAssembly says 2 + 3 = 5.", dom)

        screenshot = os.path.join(os.path.abspath(ARGS.work_dir), "screenshot-%s.png" % self.FLAVOUR)
        if os.path.exists(screenshot):
            os.remove(screenshot)
        self.chromium("--screenshot=" + screenshot, "--window-size=800,600", "--hide-scrollbars")
        width, height, rows = png_pixels(screenshot)
        self.assertEqual((width, height), (800, 600))
        # The style sheet applied: the page background is its colour, not white.
        self.assertTrue(near(rows[2][2], self.BACKGROUND), rows[2][2])
        self.assertTrue(near(rows[height - 3][width - 3], self.BACKGROUND))
        # The image was drawn: a solid run of the logo's colour as wide as
        # most of its 96 pixels, which no heading text has.
        longest = 0
        for row in rows:
            run = 0
            for pixel in row:
                run = run + 1 if near(pixel, self.LOGO) else 0
                longest = max(longest, run)
        self.assertGreaterEqual(longest, 60)
        self.assertLessEqual(longest, 96)

        # The browser offers br, zstd and gzip: the page linked its style
        # sheet and script by their hashed paths, which came precompressed
        # (br wins the tie), and it decoded them to draw the page.
        self.assert_assets_came(before, ("br",))

    def test_client_side_routes_under_a_strict_policy(self):
        base = self.server("site").base
        with tempfile.TemporaryDirectory(dir=os.path.abspath(ARGS.work_dir)) as profile:
            browser = DevTools(profile)
            try:
                view = "[location.pathname, document.getElementById('view').textContent, document.body.dataset.views]"
                # Opened directly and reloaded: the server answers the route with the application.
                browser.load(base + "/app/settings/network")
                self.assertEqual(browser.evaluate(view), ["/app/settings/network", "Network settings", "1"])
                browser.load()
                self.assertEqual(browser.evaluate(view), ["/app/settings/network", "Network settings", "1"])
                # Links are followed by the script, without asking the server.
                asked = len(self.server("site").requests())
                browser.evaluate("document.querySelector(\"a[href='/app/about']\").click()")
                self.assertEqual(browser.evaluate(view), ["/app/about", "About", "2"])
                browser.evaluate("new Promise(done => { addEventListener('popstate', () => setTimeout(done), "
                                 "{once: true}); history.back(); })")
                self.assertEqual(browser.evaluate(view), ["/app/settings/network", "Network settings", "3"])
                # (The icon may be fetched at any time; no page is.)
                self.assertEqual([each for each in self.server("site").requests()[asked:] if each[1] != "/img/logo.svg"],
                                 [])
                # The home page's scripts, WebAssembly among them, run under the policy.
                browser.load(base + "/")
                self.assertEqual(browser.settled("document.getElementById('status').dataset.loaded"), "yes")
                # (The module awaits the WebAssembly, which may come after the load event.)
                self.assertEqual(browser.settled("document.getElementById('sum').textContent.includes('says') && "
                                                 "document.getElementById('sum').textContent"),
                                 "WebAssembly says 2 + 3 = 5.")
                self.assertEqual(browser.complaints(), [])
                # A missing page: the site's 404 page, styled by the site's style sheet.
                browser.load(base + "/missing/page.html")
                self.assertEqual(browser.evaluate("document.title"), "Not found")
                self.assertEqual(browser.evaluate("getComputedStyle(document.body).backgroundColor"),
                                 "rgb(244, 246, 248)")
                self.assertEqual(browser.complaints(), [
                    base + "/missing/page.html: Failed to load resource: the server responded with a status of "
                    "404 (Not Found)"])
                # The policy is enforced, and a violation would be seen.
                browser.evaluate("document.body.append(Object.assign(document.createElement('img'), "
                                 "{src: 'http://127.0.0.2:9/x.png'}))")
                complaints = browser.complaints()
                self.assertEqual(len(complaints), 1, complaints)
                self.assertIn("violates the following Content Security Policy directive", complaints[0])
            finally:
                browser.close()

    def test_zstd_when_the_browser_offers_it_before_gzip(self):
        # Chromium offers "gzip, deflate, br, zstd"; without br in the offer,
        # zstd is the best coding the files have.
        proxy = CodingFilter(self.server("site").port, drop=("br",))
        try:
            before = len(self.server("site").requests())
            dom = self.chromium("--dump-dom", base=proxy.base)
        finally:
            proxy.stop()
        self.assertIn('data-background="rgb(244, 246, 248)" data-loaded="yes"', dom)
        self.assert_assets_came(before, ("zstd",))


for flavour in FLAVOURS:
    for mixin in (SiteOverCurl, DirectoryIndex, DevelopmentMode, Connections, SiteRules, PrecompressedVariants,
                  SiteInChromium, Hostile):
        name = "%s_%s" % (mixin.__name__, flavour)
        globals()[name] = type(name, (mixin, FlavouredTest), {"FLAVOUR": flavour})


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool-build-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--oracle", help="framing_oracle built from tests/server/framing_oracle.cpp (else built here)")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
