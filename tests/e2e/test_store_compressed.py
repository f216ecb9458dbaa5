"""-z: the files that compress held in one coding only, in every data form;
-r: the size report, as JSON and as a page that headless Chromium renders."""
import html.parser
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

import harness
from harness import REPO, ToolTest

_rng = random.Random(5)
_WORDS = [bytes(_rng.choices(b"abcdefgh", k=5)) for _ in range(300)]
SCRIPT = b" ".join(_rng.choices(_WORDS, k=6000))
NOISE = bytes(_rng.getrandbits(8) for _ in range(3000))


def site_files():
    """A tree with a file of each case: compresses (one with a byte-order
    mark, one typed by serving), saves too little, is no compressible type,
    is too small, is empty."""
    return {
        "index.html": b"<p>The same words, again and again.</p>\n" * 100,
        "css/site.css": b"\xef\xbb\xbfbody { margin: 0; padding: 0; }\n" * 60,
        "js/app.js": SCRIPT,
        "js/lib/app.wasm": bytes(range(256)) * 16,
        "img/logo.png": bytes(4000),
        "noise.txt": NOISE,
        "tiny.txt": b"hi",
        "empty.css": b"",
    }


def compresses(name):
    return name.endswith((".html", ".css", ".js", ".wasm")) and name != "empty.css"


class StoreCompressed(ToolTest):
    def generate(self, *switches):
        shutil.rmtree(self.path("out"), ignore_errors=True)
        os.makedirs(self.path("out"))
        result = self.run_tool(*switches, "out/res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out + result.err)
        return result

    def records(self, form):
        flags = {"incbin": ["-Wa,-I" + self.path("out")], "object": [self.path("out", harness.native_object())]}
        return self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img", "js"], flags=flags.get(form, []),
                                      stored=True)

    def test_every_form_holds_the_files_that_compress_in_its_coding_only(self):
        files = site_files()
        harness.make_tree(self.path("site"), files)
        # -x writes the same identity ETags, hashed paths and manifest.
        self.generate("-x")
        with_x = self.records("words")
        manifest = self.read("out", "res.manifest.json")
        # Debian has neither brotli nor zstd for the Windows build.
        codings = ["gzip"] * 4 if harness.PLATFORM == "windows" else ["gzip", "br", "zstd", "gzip"]
        for form, coding in zip(("words", "incbin", "literal", "object"), codings):
            with self.subTest(form=form, coding=coding):
                self.generate("-m", form, "-z", coding, "-r", "out/report.json")
                records = self.records(form)
                self.assertEqual(sorted(records), sorted("/" + name for name in files))
                for name in files:
                    record = records["/" + name]
                    top = name.index("/") + 1 if "/" in name else 0
                    self.assertRecordMatches(record, self.path("site", name), name, top)
                    self.assertEqual(record["stored"], coding if compresses(name) else "identity", name)
                    self.assertEqual(record["variants"], {"gzip": "-g-", "br": "b--", "zstd": "--z"}[coding]
                                     if compresses(name) else "---", name)
                    self.assertEqual((record["etag"], record["hashed_path"]),
                                     (with_x["/" + name]["etag"], with_x["/" + name]["hashed_path"]))
                self.assertEqual(self.read("out", "res.manifest.json"), manifest)
                self.check_report(files, records, coding)
        # Without -x or -z every file is held as it is.
        self.generate("-r", "out/report.json")
        with open(self.path("out", "report.json"), encoding="utf-8") as f:
            report = json.load(f)
        self.assertEqual(report["compression"], "")
        self.assertEqual({entry["path"]: (entry["size"], entry["stored"], entry["coding"], entry["variants"])
                          for entry in report["files"]},
                         {"/" + name: (len(data), len(data), "identity", {}) for name, data in files.items()})
        self.assertEqual(report["totals"]["saved"], {})

    def check_report(self, files, records, coding):
        """The JSON report lists every file once, with the bytes the program
        holds for it, and totals that add up."""
        with open(self.path("out", "report.json"), encoding="utf-8") as f:
            report = json.load(f)
        self.assertEqual(report["compression"], "-z " + coding)
        entries = {entry["path"]: entry for entry in report["files"]}
        self.assertEqual(len(entries), len(report["files"]))
        self.assertEqual(sorted(entries), sorted(records))
        for path, entry in entries.items():
            held = records[path]["held_bytes"]
            self.assertEqual((entry["size"], entry["stored"]), (len(files[path[1:]]), held), path)
            self.assertEqual(entry["coding"], records[path]["stored"], path)
            self.assertEqual(entry["variants"], {coding: held} if entry["coding"] == coding else {}, path)
        totals = report["totals"]
        self.assertEqual(totals["files"], len(files))
        self.assertEqual(totals["size"], sum(len(data) for data in files.values()))
        self.assertEqual(totals["stored"], sum(entry["stored"] for entry in entries.values()))
        self.assertEqual(totals["saved"], {coding: totals["size"] - totals["stored"]})

    def test_switches_that_cannot_be_honoured_stop_the_run(self):
        harness.make_tree(self.path("site"), {"a.css": "a{}" * 40})
        cases = [(["-z", "deflate"], "invalid coding [deflate]: give gzip, br or zstd\n"),
                 (["-r", "report.txt"], "invalid report [report.txt]: give a file name ending in .json or .html\n")]
        if harness.PLATFORM == "windows":
            cases.append((["-z", "br"], "-z br: this build has no brotli library (see --version): give another coding\n"))
        for switches, message in cases:
            with self.subTest(switches=switches):
                result = self.run_tool("-q", *switches, "res.cpp", "-d", "site", "*")
                self.assertEqual((result.code, result.out), (1, message))
                self.assertLeftOnly(["site"])
        # A report named as another file of the run would be written over it.
        result = self.run_tool("-q", "-x", "-r", "res.manifest.json", "res.cpp", "-d", "site", "*")
        self.assertEqual((result.code, result.out), (1, "the report [res.manifest.json] is another file of this run: "
                                                        "give it a name of its own\n"))


class _Dom(html.parser.HTMLParser):
    """The parts of the report page a test reads: what the treemap drew, the
    totals and the rows of the two tables."""

    def __init__(self):
        super().__init__()
        self.map, self.totals, self.rows, self.table, self.plain_count = {}, {}, {"largest": [], "plain": []}, None, None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "canvas":
            self.map = attrs
        elif tag == "p" and attrs.get("id") == "plain-note":
            self.plain_count = int(attrs["data-value"])
        elif tag == "dd":
            self.totals[attrs["id"]] = attrs["data-value"]
        elif tag == "table":
            self.table = attrs.get("id")
        elif tag == "tr" and "data-path" in attrs:
            self.rows[self.table].append(attrs["data-path"])


class SizeReportPage(ToolTest):
    def chromium(self, page, *options):
        with tempfile.TemporaryDirectory(dir=self.dir) as profile:
            command = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       "--disable-background-networking", "--disable-component-update", "--disable-sync",
                       "--user-data-dir=" + profile, "--timeout=15000", *options, "file://" + page]
            process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
            try:
                out, err = process.communicate(timeout=120)
            finally:
                # Helpers the browser started may outlive it; end the whole group.
                try:
                    os.killpg(process.pid, 9)
                except ProcessLookupError:
                    pass
                process.wait()
        self.assertEqual(process.returncode, 0, err.decode(errors="replace")[-2000:])
        return out.decode()

    def test_the_page_renders_what_the_json_says(self):
        if harness.PLATFORM == "windows" or not shutil.which("chromium"):
            self.skipTest("needs headless Chromium")
        files = site_files()
        # More files than the table of the largest shows, in a deeper tree,
        # and a name that HTML must escape.
        for i in range(30):
            files["docs/part%d/page%02d.html" % (i % 3, i)] = b"<p>%d words</p>\n" % i * (20 + 40 * i)
        files["a<b>&c.txt"] = NOISE[:300]
        harness.make_tree(self.path("site"), files)
        os.makedirs(self.path("out"))
        for report in ("report.json", "report.html"):
            result = self.run_tool("-q", "-z", "gzip", "-r", "out/" + report, "out/res.cpp", "-d", "site", "*")
            self.assertEqual((result.code, result.out), (0, ""))
        with open(self.path("out", "report.json"), encoding="utf-8") as f:
            report = json.load(f)
        page = self.path("out", "report.html")
        dom = _Dom()
        dom.feed(self.chromium(page, "--dump-dom"))
        entries = report["files"]
        totals = report["totals"]
        # Every file the program holds bytes for has a box, and the boxes
        # hold all of them.
        self.assertEqual((int(dom.map["data-tiles"]), int(dom.map["data-bytes"])),
                         (sum(1 for entry in entries if entry["stored"] > 0), totals["stored"]))
        self.assertEqual(dom.totals, {"total-files": str(totals["files"]), "total-site": str(totals["size"]),
                                      "total-program": str(totals["stored"]), "total-ratio": "",
                                      "total-saved-gzip": str(totals["saved"]["gzip"])})
        largest = sorted(entries, key=lambda entry: (-entry["stored"], entry["path"]))[:20]
        self.assertEqual(dom.rows["largest"], [entry["path"] for entry in largest])
        plain = sorted((entry for entry in entries if not entry["variants"]), key=lambda e: (-e["size"], e["path"]))
        self.assertEqual((dom.plain_count, dom.rows["plain"]), (len(plain), [entry["path"] for entry in plain][:200]))
        self.assertIn("/a<b>&c.txt", dom.rows["plain"])

        sys.path.insert(0, os.path.join(REPO, "tests", "server"))
        from test_server import png_pixels
        screenshot = self.path("report.png")
        self.chromium(page, "--screenshot=" + screenshot, "--window-size=900,700", "--hide-scrollbars")
        width, height, rows = png_pixels(screenshot)
        self.assertEqual((width, height), (900, 700))
        # The treemap is drawn, coloured by type: the image, the script and
        # the other text each cover a good part of it.
        colours = {(0x8e, 0x5b, 0xd6): 0, (0xf0, 0xb4, 0x29): 0, (0x5a, 0xa3, 0x4a): 0}
        for row in rows:
            for pixel in row:
                if pixel in colours:
                    colours[pixel] += 1
        self.assertTrue(all(count > 5000 for count in colours.values()), colours)
