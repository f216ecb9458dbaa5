#!/usr/bin/env python3
"""The example servers built with files held compressed only
(STORE_COMPRESSED gzip, br and zstd, in each data form), answering curl,
Python and headless Chromium: whatever a client takes, what it decodes is
the file's bytes.

  test_stored_compressed.py --tool-build-dir <dir with vex_resource_builder-config.cmake>
                            --work-dir <scratch dir>

One small tree is written here: a page whose script fetches every file and
shows their bytes, a script larger than every window and every chunk the
servers send, small style, a file too small to compress and one that does
not compress. Each server is built once for each coding, nine builds, the
data form turning with each, so that every server meets every coding and
every coding meets three data forms (all four among the builds).
"""
import argparse
import base64
import concurrent.futures
import gzip
import html
import http.client
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from test_server import Connection, Server, build_env, curl, headless_chromium, raw_request, request_bytes, SERVER_SOURCE  # noqa: E402
from harness import brotli_decompress, zstd_decompress  # noqa: E402

ARGS = None
CODINGS = ("gzip", "br", "zstd")
FORMS = ("OBJECT", "INCBIN", "LITERAL", "WORDS")
FLAVOURS = (("httplib", "vex_example_server"), ("microhttpd", "vex_example_server_microhttpd"),
            ("beast", "vex_example_server_beast"))
DECODE = {"gzip": gzip.decompress, "br": brotli_decompress, "zstd": zstd_decompress}
SERVERS = {}  # (coding, flavour) -> (form, Server)
MANIFESTS = {}  # (coding, flavour) -> the build's map of paths to hashed paths
EXECUTABLES = {}  # (coding, flavour) -> the server's program


def script_text(size):
    """Script-like text that compresses as scripts do, size bytes long."""
    rng = random.Random(3)
    names = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 9))) for _ in range(900)]
    out = []
    length = 0
    while length < size:
        line = "function %s(%s) { return %s(%d); }\n" % (rng.choice(names), rng.choice(names), rng.choice(names),
                                                         rng.randrange(100000))
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]


FILES = {
    "big.js": script_text(300 * 1024),
    "css/style.css": b"body { margin: 0; color: #102030 }\n" * 40,
    "tiny.txt": b"too small to compress\n",
    "noise.bin": random.Random(9).randbytes(4096),
    # Compresses to half in every coding: a stored body large enough to be
    # sent from the program's file where the data form allows it.
    "table.json": random.Random(5).randbytes(150 * 1024).hex().encode(),
}
PATHS = ("/big.js", "/css/style.css", "/tiny.txt", "/noise.bin", "/table.json", "/check.html")
# The page fetches every file and shows each one's bytes, base64-coded, a
# line a file; the browser decodes whatever coding it is sent.
CHECK_PAGE = (b"<!doctype html>\n<meta charset=\"utf-8\"><title>check</title>\n"
              b"<pre id=\"out\">waiting</pre>\n<script>\n"
              b"const files = [\"/big.js\", \"/css/style.css\", \"/tiny.txt\", \"/noise.bin\", \"/table.json\", "
              b"\"/check.html\"];\n"
              b"Promise.all(files.map(path => fetch(path, {cache: \"no-store\"}).then(answer => answer.arrayBuffer())\n"
              b"  .then(buffer => { let text = \"\"; for (const byte of new Uint8Array(buffer)) "
              b"text += String.fromCharCode(byte);\n"
              b"    return path + \" \" + btoa(text); })))\n"
              b"  .then(lines => { document.getElementById(\"out\").textContent = lines.join(\"\\n\"); });\n"
              b"</script>\n" + b"<!-- filler that compresses -->\n" * 20)
FILES["check.html"] = CHECK_PAGE


def file_bytes(url_path):
    return FILES[url_path.lstrip("/")]


def build_one(coding, form, flavour, target):
    build_dir = os.path.join(ARGS.work_dir, "build-%s-%s" % (coding, flavour))
    shutil.rmtree(build_dir, ignore_errors=True)
    configure = ["cmake", "-S", SERVER_SOURCE, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                 "-Dvex_resource_builder_DIR=" + os.path.abspath(ARGS.tool_build_dir),
                 "-DSITE_ROOT=" + os.path.join(ARGS.work_dir, "site"), "-DSTORE_COMPRESSED=" + coding,
                 "-DDATA_FORM=" + form]
    for command in (configure, ["ninja", "-C", build_dir, "-j2", target]):
        result = subprocess.run(command, env=build_env(), capture_output=True, text=True, timeout=600)
        if result.returncode != 0:
            raise RuntimeError("%s failed:\n%s%s" % (" ".join(command), result.stdout, result.stderr))
    name = target + "_resources"
    with open(os.path.join(build_dir, "vex_resources", name, name + ".manifest.json"), encoding="utf-8") as f:
        MANIFESTS[coding, flavour] = json.load(f)
    return os.path.join(build_dir, target)


def setUpModule():
    ARGS.work_dir = os.path.abspath(ARGS.work_dir)
    site = os.path.join(ARGS.work_dir, "site")
    shutil.rmtree(site, ignore_errors=True)
    for path, content in FILES.items():
        os.makedirs(os.path.dirname(os.path.join(site, path)), exist_ok=True)
        with open(os.path.join(site, path), "wb") as f:
            f.write(content)
    try:
        turn = 0
        for coding in CODINGS:
            for flavour, target in FLAVOURS:
                form = FORMS[turn % len(FORMS)]
                turn += 1
                executable = build_one(coding, form, flavour, target)
                log = os.path.join(ARGS.work_dir, "%s-%s-%s.log" % (coding, form.lower(), flavour))
                EXECUTABLES[coding, flavour] = executable
                SERVERS[coding, flavour] = (form, Server(executable, log))
    except BaseException:
        tearDownModule()
        raise


def tearDownModule():
    for _, server in SERVERS.values():
        server.stop()


def python_get(port, url_path, accept_encoding=None):
    """(status, headers, body) of a GET with Python's own HTTP client."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=20)
    headers = {} if accept_encoding is None else {"Accept-Encoding": accept_encoding}
    # http.client adds "Accept-Encoding: identity" unless told it is there.
    connection.putrequest("GET", url_path, skip_accept_encoding=True)
    for name, value in headers.items():
        connection.putheader(name, value)
    connection.endheaders()
    answer = connection.getresponse()
    body = answer.read()
    connection.close()
    return answer.status, {name.lower(): value for name, value in answer.getheaders()}, body


class EveryCodingAndForm(unittest.TestCase):
    def each_server(self):
        for (coding, flavour), (form, server) in SERVERS.items():
            with self.subTest(coding=coding, form=form, server=flavour):
                self.manifest = MANIFESTS[coding, flavour]
                yield coding, server

    def test_every_client_decodes_the_files_bytes(self):
        for coding, server in self.each_server():
            for url_path in PATHS:
                data = file_bytes(url_path)
                # curl offering every coding it decodes, and offering none.
                self.assertEqual(curl(server.base + url_path, "--compressed")[::2], (200, data), url_path)
                status, headers, body = curl(server.base + url_path)
                self.assertEqual((status, body, headers.get("content-length")), (200, data, str(len(data))))
                self.assertIsNone(headers.get("content-encoding"))
                # Python: identity by default, and the stored coding decoded here.
                self.assertEqual(python_get(server.port, url_path)[::2], (200, data))
                status, headers, body = python_get(server.port, url_path, coding)
                coded = headers.get("content-encoding")
                self.assertIn(coded, (coding, None), url_path)
                self.assertEqual(DECODE[coded](body) if coded else body, data, url_path)
                if url_path not in ("/tiny.txt", "/noise.bin"):
                    self.assertEqual(coded, coding, "%s is held compressed only" % url_path)

    def test_the_program_holds_no_copy_of_a_compressed_file(self):
        for coding, flavour in SERVERS:
            with self.subTest(coding=coding, server=flavour), open(EXECUTABLES[coding, flavour], "rb") as f:
                program = f.read()
                self.assertNotIn(FILES["big.js"][150000:150048], program)
                self.assertIn(FILES["noise.bin"][1000:1048], program)  # held as it is

    def test_clients_that_refuse_the_stored_coding_get_the_exact_bytes(self):
        data = file_bytes("/big.js")
        for coding, server in self.each_server():
            others = [other for other in CODINGS if other != coding]
            for accept in ("identity", coding + ";q=0", ", ".join(others), others[0], "*;q=0, identity"):
                status, headers, body = raw_request(server.port, "GET", "/big.js", "Accept-Encoding: " + accept)
                self.assertEqual((status, headers.get("content-encoding"), body), (200, None, data), accept)
                self.assertEqual(headers.get("content-length"), str(len(data)))
                self.assertEqual(headers.get("vary"), "Accept-Encoding")

    def test_decoded_answers_in_a_row_and_at_once(self):
        data = file_bytes("/big.js")
        asked = [("/big.js", [], data), ("/big.js", ["Range: bytes=100000-"], data[100000:]),
                 ("/css/style.css", [], file_bytes("/css/style.css")),
                 ("/big.js", ["Range: bytes=-70000"], data[-70000:])]
        for coding, server in self.each_server():
            # Sent at once on one connection: each answer ends where its Content-Length says.
            with Connection(server.port) as connection:
                connection.send(b"".join(request_bytes("GET", path, *lines) for path, lines, _ in asked))
                for path, lines, expected in asked:
                    status, headers, body = connection.answer()
                    self.assertEqual((status, headers.get("content-encoding"), body == expected),
                                     (206 if lines else 200, None, True), (path, lines))
            # Many decoded at once, each from its own offset, on readers the server reuses.
            starts = [each * 29000 for each in range(10)]
            with concurrent.futures.ThreadPoolExecutor(len(starts)) as pool:
                answers = list(pool.map(lambda start: raw_request(server.port, "GET", "/big.js",
                                                                  "Range: bytes=%d-" % start), starts))
            self.assertEqual([(status, body == data[start:]) for start, (status, _, body) in zip(starts, answers)],
                             [(206, True)] * len(starts))

    def test_byte_ranges_of_a_file_held_compressed_only(self):
        data = file_bytes("/big.js")
        size = len(data)
        cases = [
            ("bytes=0-0", 206, data[:1], "bytes 0-0/%d" % size),
            ("bytes=%d-%d" % (size - 1, size - 1), 206, data[-1:], "bytes %d-%d/%d" % (size - 1, size - 1, size)),
            ("bytes=0-", 206, data, "bytes 0-%d/%d" % (size - 1, size)),
            ("bytes=70000-200000", 206, data[70000:200001], "bytes 70000-200000/%d" % size),
            ("bytes=-1000", 206, data[-1000:], "bytes %d-%d/%d" % (size - 1000, size - 1, size)),
            ("bytes=%d-" % size, 416, b"", "bytes */%d" % size),
        ]
        for coding, server in self.each_server():
            # A range is of the identity bytes, also for a client that takes the stored coding.
            for value, status_expected, body_expected, content_range in cases:
                for accept in ([], ["Accept-Encoding: " + coding]):
                    status, headers, body = raw_request(server.port, "GET", "/big.js", "Range: " + value, *accept)
                    self.assertEqual((status, headers.get("content-range"), body),
                                     (status_expected, content_range, body_expected), (value, accept))
                    self.assertEqual(headers.get("content-length"), str(len(body_expected)))
                    self.assertIsNone(headers.get("content-encoding"))

    def test_etags_and_304_for_both_representations(self):
        for coding, server in self.each_server():
            _, plain, _ = raw_request(server.port, "GET", "/big.js")
            _, coded, coded_body = raw_request(server.port, "GET", "/big.js", "Accept-Encoding: " + coding)
            # The identity tag is the hash of the file's own bytes, which names it in its hashed path too.
            digits = re.search(r"\.([0-9a-f]{8})\.js$", self.manifest["/big.js"]).group(1)
            self.assertRegex(plain["etag"], r'^"%s[0-9a-f]{24}"$' % digits)
            self.assertNotEqual(plain["etag"], coded["etag"])
            for accept, etag, other in (([], plain["etag"], coded["etag"]),
                                        (["Accept-Encoding: " + coding], coded["etag"], plain["etag"])):
                for method in ("GET", "HEAD"):
                    status, headers, body = raw_request(server.port, method, "/big.js", "If-None-Match: " + etag,
                                                        *accept)
                    self.assertEqual((status, headers.get("etag"), headers.get("vary"), body),
                                     (304, etag, "Accept-Encoding", b""), (accept, method))
                status, headers, body = raw_request(server.port, "GET", "/big.js", "If-None-Match: " + other, *accept)
                self.assertEqual((status, headers.get("etag")), (200, etag), accept)
                self.assertEqual(raw_request(server.port, "GET", "/big.js", "If-Match: " + other, *accept)[0], 412)
            status, headers, body = raw_request(server.port, "HEAD", "/big.js")
            self.assertEqual((status, headers.get("content-length"), body), (200, str(len(file_bytes("/big.js"))), b""))
            status, headers, _ = raw_request(server.port, "GET", self.manifest["/big.js"])
            self.assertEqual((status, headers.get("etag")), (200, plain["etag"]))
            self.assertEqual(DECODE[coding](coded_body), file_bytes("/big.js"))


class InChromium(unittest.TestCase):
    """Chromium over plain HTTP: reached by a name that is not local, as a
    device is, it offers gzip and deflate only; on 127.0.0.1 it offers br
    and zstd too. Either way the page's script sees every file's bytes."""

    def chromium_reads(self, server, host):
        """What the page's script read, path by path, and every
        Accept-Encoding the browser sent, from its network log."""
        work = os.path.abspath(ARGS.work_dir)
        with tempfile.TemporaryDirectory(dir=work) as profile:
            net_log = os.path.join(profile, "net-log.json")
            code, out, err = headless_chromium(profile, "http://%s:%d/check.html" % (host, server.port),
                                               "--host-resolver-rules=MAP device.test 127.0.0.1",
                                               "--log-net-log=" + net_log, "--dump-dom")
            with open(net_log, encoding="utf-8", errors="replace") as f:
                offered = set(re.findall(r'"Accept-Encoding: ([^"]*)"', f.read()))
        self.assertEqual(code, 0, err.decode(errors="replace")[-2000:])
        match = re.search(r'<pre id="out">(.*?)</pre>', out.decode(errors="replace"), re.S)
        self.assertIsNotNone(match, out[-2000:])
        seen = dict(line.split(" ", 1) for line in html.unescape(match.group(1)).splitlines() if " " in line)
        return seen, offered

    def codings_served(self, server, before):
        return {request[3] for request in server.requests(with_coding=True)[before:] if request[0] == "GET"}

    def test_a_device_name_gets_gzip_or_decoded_bytes(self):
        for (coding, flavour), (form, server) in SERVERS.items():
            with self.subTest(coding=coding, form=form, server=flavour):
                before = len(server.requests())
                seen, offered = self.chromium_reads(server, "device.test")
                self.assertEqual(offered, {"gzip, deflate"})
                for url_path in PATHS:
                    self.assertEqual(base64.b64decode(seen.get(url_path, "")), file_bytes(url_path), url_path)
                self.assertEqual(self.codings_served(server, before), {"gzip", "identity"} if coding == "gzip"
                                 else {"identity"})

    def test_a_local_name_gets_br_and_zstd(self):
        for coding, flavour in (("br", "microhttpd"), ("zstd", "beast")):
            form, server = SERVERS[coding, flavour]
            with self.subTest(coding=coding, server=flavour):
                before = len(server.requests())
                seen, offered = self.chromium_reads(server, "127.0.0.1")
                self.assertTrue(all(coding in value for value in offered), offered)
                for url_path in ("/big.js", "/check.html"):
                    self.assertEqual(base64.b64decode(seen.get(url_path, "")), file_bytes(url_path), url_path)
                self.assertIn(coding, self.codings_served(server, before))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool-build-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.work_dir, exist_ok=True)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
