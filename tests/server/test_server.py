#!/usr/bin/env python3
"""The example server, built with CMake + Ninja against the tool's build
directory, answering real clients: curl, and headless Chromium rendering the
example site.

  test_server.py --tool-build-dir <dir with vex_resource_builder-config.cmake>
                 --work-dir <scratch dir>

Two servers are built: one embedding examples/site, one embedding a small
tree written here (directory indexes, fixed file dates) through SITE_ROOT.
"""
import argparse
import calendar
import os
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SERVER_SOURCE = os.path.join(REPO, "examples", "server")
SITE = os.path.join(REPO, "examples", "site")

MIME = {
    ".html": "text/html",
    ".css": "text/css",
    ".js": "application/javascript",
    ".svg": "image/svg+xml",
    ".png": "image/png",
}
WEEKDAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]

ARGS = None
SERVERS = {}


def tool_date(seconds):
    """The embedded date text: day and hour without leading zeros."""
    t = time.gmtime(seconds)
    return "%s, %d %s %04d %d:%02d:%02d GMT" % (
        WEEKDAYS[t.tm_wday], t.tm_mday, MONTHS[t.tm_mon - 1], t.tm_year, t.tm_hour, t.tm_min, t.tm_sec)


def fixed_date(seconds):
    """The standard fixed-width form of the same time."""
    return time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(seconds))


def build_env():
    # The dates must be the files' own, so no clamping from the environment.
    env = dict(os.environ)
    env.pop("SOURCE_DATE_EPOCH", None)
    return env


def build_server(build_dir, site_root):
    shutil.rmtree(build_dir, ignore_errors=True)
    configure = ["cmake", "-S", SERVER_SOURCE, "-B", build_dir, "-G", "Ninja",
                 "-Dvex_resource_builder_DIR=" + os.path.abspath(ARGS.tool_build_dir)]
    if site_root:
        configure.append("-DSITE_ROOT=" + site_root)
    for command in (configure, ["ninja", "-C", build_dir, "-j1"]):
        result = subprocess.run(command, env=build_env(), capture_output=True, text=True, timeout=600)
        if result.returncode != 0:
            raise RuntimeError("%s failed:\n%s%s" % (" ".join(command), result.stdout, result.stderr))
    return os.path.join(build_dir, "vex_example_server")


class Server:
    def __init__(self, executable, log_path):
        self.log_path = log_path
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen([executable, "--host", "127.0.0.1", "--port", "0"],
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

    def requests(self):
        """The logged requests, as (method, path, status) tuples."""
        with open(self.log_path, "rb") as log:
            return [tuple(line.split()) for line in log.read().decode().splitlines()]

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


def setUpModule():
    os.makedirs(ARGS.work_dir, exist_ok=True)
    work = os.path.abspath(ARGS.work_dir)
    tree = os.path.join(work, "dirs-site")
    shutil.rmtree(tree, ignore_errors=True)
    for path, content in DirectoryIndexTest.FILES.items():
        full = os.path.join(tree, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content)
        os.utime(full, (DirectoryIndexTest.DATE, DirectoryIndexTest.DATE))
    try:
        for name, root in (("site", None), ("dirs", tree)):
            executable = build_server(os.path.join(work, "build-" + name), root)
            SERVERS[name] = Server(executable, os.path.join(work, name + "-requests.log"))
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


def raw_request(port, method, url_path, *header_lines):
    """(status, headers with lower-case names, every byte after the header
    block) of one request on its own connection, read until the server
    closes it, so that a body sent where none belongs is seen."""
    request = "%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n" % (method, url_path, port)
    request += "".join(line + "\r\n" for line in header_lines) + "\r\n"
    with socket.create_connection(("127.0.0.1", port), timeout=20) as connection:
        connection.sendall(request.encode("latin-1"))
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


def site_files():
    """(URL path, file path) of every file of the example site."""
    for directory, _, names in os.walk(SITE):
        for name in sorted(names):
            full = os.path.join(directory, name)
            yield "/" + os.path.relpath(full, SITE).replace(os.sep, "/"), full


class SiteOverCurlTest(unittest.TestCase):
    def setUp(self):
        self.base = SERVERS["site"].base

    def expected(self, full):
        with open(full, "rb") as f:
            data = f.read()
        extension = os.path.splitext(full)[1]
        self.assertIn(extension, MIME, "add the MIME type of %s files to this test" % extension)
        content_type = MIME[extension] + ("; charset=utf-8" if data.startswith(b"\xef\xbb\xbf") else "")
        return data, content_type, tool_date(int(os.stat(full).st_mtime))

    def test_every_file_with_its_headers(self):
        files = list(site_files())
        self.assertGreaterEqual(len(files), 4)
        for url_path, full in files:
            with self.subTest(url_path):
                data, content_type, date = self.expected(full)
                status, headers, body = curl(self.base + url_path)
                self.assertEqual(status, 200)
                self.assertEqual(body, data)
                self.assertEqual(headers.get("content-length"), str(len(data)))
                self.assertEqual(headers.get("content-type"), content_type)
                self.assertEqual(headers.get("last-modified"), date)

    def test_head_has_the_headers_and_no_body(self):
        for url_path, full in site_files():
            with self.subTest(url_path):
                data, content_type, date = self.expected(full)
                status, headers, body = raw_request(SERVERS["site"].port, "HEAD", url_path)
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
                    status, headers, rest = raw_request(SERVERS["site"].port, method, url_path,
                                                        "If-Modified-Since: " + date)
                    self.assertEqual((status, rest), (304, b""))
                    self.assertIn(headers.get("content-length"), (None, str(len(data))))

    def test_root_serves_index(self):
        with open(os.path.join(SITE, "index.html"), "rb") as f:
            index = f.read()
        status, headers, body = curl(self.base + "/")
        self.assertEqual((status, body), (200, index))
        self.assertEqual(headers.get("content-type"), "text/html")

    def test_unknown_paths_are_404(self):
        for url_path in ("/nope", "/css/nope.css", "/img/", "/img", "/index.htm", "/css/main.css/",
                         "/CSS/main.css", "//index.html"):
            with self.subTest(url_path):
                status, _, body = curl(self.base + url_path)
                self.assertEqual(status, 404)
                self.assertNotIn(b"<html", body)

    def test_one_connection_carries_mixed_requests(self):
        # A body sent after a HEAD or a 304, or a wrong length, would garble
        # the responses that follow on the same connection.
        css = os.path.join(SITE, "css", "main.css")
        js = os.path.join(SITE, "js", "app.js")
        _, _, css_date = self.expected(css)
        with tempfile.TemporaryDirectory() as scratch:
            last = os.path.join(scratch, "last")
            result = subprocess.run(
                ["curl", "-s", "--max-time", "20", "-w", "%{http_code} %{num_connects}\\n",
                 "-I", self.base + "/css/main.css", "-o", "/dev/null",
                 "--next", "-s", "-w", "%{http_code} %{num_connects}\\n", "-H", "If-Modified-Since: " + css_date,
                 self.base + "/css/main.css", "-o", "/dev/null",
                 "--next", "-s", "-w", "%{http_code} %{num_connects}\\n", self.base + "/nope", "-o", "/dev/null",
                 "--next", "-s", "-w", "%{http_code} %{num_connects}\\n", self.base + "/js/app.js", "-o", last],
                capture_output=True, text=True, check=True, timeout=30)
            with open(last, "rb") as f:
                last_body = f.read()
        with open(js, "rb") as f:
            self.assertEqual(last_body, f.read())
        # One connection opened by the first request, reused by the others.
        self.assertEqual(result.stdout.split("\n")[:4], ["200 1", "304 0", "404 0", "200 0"])


class DirectoryIndexTest(unittest.TestCase):
    """A tree chosen by SITE_ROOT, with no index at its root and a known date."""
    DATE = calendar.timegm((2001, 2, 3, 4, 5, 6))
    DATE_TEXT = "Sat, 3 Feb 2001 4:05:06 GMT"
    FILES = {
        "docs/index.html": b"<p>docs</p>\n",
        "docs/deep/index.html": b"<p>deep</p>\n",
        "docs/page.html": b"<p>page</p>\n",
        "style.css": b"p { margin: 0 }\n",
    }

    def setUp(self):
        self.base = SERVERS["dirs"].base

    def test_directory_paths_serve_their_index(self):
        for url_path, file in (("/docs", "docs/index.html"), ("/docs/", "docs/index.html"),
                               ("/docs/index.html", "docs/index.html"), ("/docs/deep", "docs/deep/index.html"),
                               ("/docs/deep/", "docs/deep/index.html"), ("/docs/page.html", "docs/page.html")):
            with self.subTest(url_path):
                status, headers, body = curl(self.base + url_path)
                self.assertEqual((status, body), (200, self.FILES[file]))
                self.assertEqual(headers.get("content-type"), "text/html")

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
            (fixed_date(self.DATE), 304),           # the same time in the fixed-width form
            (fixed_date(self.DATE + 86400), 304),   # later than the file
            (fixed_date(self.DATE - 1), 200),       # one second earlier
            (tool_date(self.DATE - 3600), 200),
            ("Sat, 3 Feb 2001 4:05:06", 200),       # not a date this server reads
            ("yesterday", 200),
        ]
        for since, expected in cases:
            with self.subTest(since):
                status, _, body = curl(url, "-H", "If-Modified-Since: " + since)
                self.assertEqual(status, expected)
                self.assertEqual(body, b"" if expected == 304 else self.FILES["style.css"])


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


class SiteInChromiumTest(unittest.TestCase):
    BACKGROUND = (0xf4, 0xf6, 0xf8)  # body background in css/main.css
    LOGO = (0x0b, 0x5c, 0xad)        # the square of img/logo.svg

    def chromium(self, *options):
        with tempfile.TemporaryDirectory(dir=os.path.abspath(ARGS.work_dir)) as profile:
            command = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       "--disable-background-networking", "--disable-component-update", "--disable-sync",
                       "--user-data-dir=" + profile, "--virtual-time-budget=5000", "--timeout=15000",
                       *options, SERVERS["site"].base + "/"]
            process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       start_new_session=True)
            try:
                out, err = process.communicate(timeout=90)
            finally:
                # Helpers the browser started may outlive it; end the whole group.
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                process.wait()
        self.assertEqual(process.returncode, 0, err.decode(errors="replace")[-2000:])
        return out.decode(errors="replace")

    def test_page_script_style_and_image(self):
        before = len(SERVERS["site"].requests())
        dom = self.chromium("--dump-dom")
        # js/app.js ran: it marks the status paragraph once the DOM is ready.
        self.assertIn('id="status" data-loaded="yes"', dom)
        self.assertIn("Hello from inside the server", dom)

        screenshot = os.path.join(os.path.abspath(ARGS.work_dir), "screenshot.png")
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

        requests = SERVERS["site"].requests()[before:]
        for path in ("/", "/css/main.css", "/js/app.js", "/img/logo.svg"):
            self.assertIn(("GET", path, "200"), requests)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool-build-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
