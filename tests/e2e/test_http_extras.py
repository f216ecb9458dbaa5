"""-x: side records with strong ETags, precompressed variants and their cache."""
import gzip
import os
import random
import shutil
import subprocess
import tempfile
import zlib

import harness
from harness import REPO, ToolTest


DUMP_PROGRAM = r'''
#include "pch.h"
#include <cstdio>

static void hex(const char* data, uint64_t size) {
  for (uint64_t i = 0; i < size; ++i) std::printf("%02x", (unsigned char)data[i]);
}

static void variant(const vex_resource_variant& v) {
  std::printf("\t%s\t", v.data ? v.etag : "-");
  if (v.data) hex(v.data, v.size);
}

int main() {
  vex_res::sort_all();
  for (size_t i = 0; i < vex_res_extras::all_length; ++i) {
    const vex_resource_extras* e = vex_res_extras::all[i];
    std::printf("%s\t%s", e->path_root_a, e->etag);
    variant(e->br);
    variant(e->gzip);
    std::printf("\n");
  }
  for (size_t i = 0; i < vex_res::all_length; ++i) {
    const vex_resource_extras* e = vex_res_extras_find(vex_res_extras::all, vex_res_extras::all_length,
                                                       vex_res::all[i]->path_root_a);
    std::printf("found\t%s\t%s\n", vex_res::all[i]->path_root_a, e ? e->path_root_a : "-");
  }
  return 0;
}
'''

TEXT = b"<p>The same words, again and again, compress well.</p>\n" * 200
# Variants of many lines of words, with a partial last word.
_rng = random.Random(7)
WORDS = [bytes(_rng.choices(b"abcdefgh", k=5)) for _ in range(400)]
SCRIPT = b" ".join(_rng.choices(WORDS, k=40001))


def tree(root):
    files = {
        "index.html": TEXT,
        "css/site.css": b"body { margin: 0; padding: 0; }\n" * 100,
        "big.js": SCRIPT,
        "data.json": b'{"key": "value", "list": [1, 2, 3]}\n' * 60,
        "font.ttf": bytes(4000),
        "logo.png": bytes(4000),             # compressible bytes, but an image
        "font.woff2": bytes(4000),           # already-compressed font type
        "noise.txt": os.urandom(4000),       # text type, nothing to gain
        "tiny.txt": b"hello",
    }
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return files


class HttpExtras(ToolTest):
    def generate(self, form="words"):
        result = self.run_tool("-t", "0", "-m", form, "-x", "out/res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out + result.err)
        return result

    def cache_entries(self):
        folder = self.path("out", "res.cache")
        return {name: os.stat(os.path.join(folder, name)).st_mtime_ns for name in os.listdir(folder)}

    def dump(self, flags=()):
        build = tempfile.mkdtemp(prefix="consumer_", dir=self.dir)
        shutil.copy(os.path.join(REPO, "tests", "consumer", "pch.h"), build)
        with open(os.path.join(build, "dump.cpp"), "w") as f:
            f.write(DUMP_PROGRAM)
        outputs = set()
        for name, compiler, runner in harness.COMPILERS:
            exe = os.path.join(build, "dump_" + name + ".exe")
            command = compiler + ["-std=c++17", "-Wall", "-Werror", "-I" + build, "-I" + os.path.join(REPO, "include"),
                                  "-DVEX_GENERATED_HEADER=\"%s\"" % self.path("out", "res.h").replace("\\", "/"),
                                  self.path("out", "res.cpp"), os.path.join(build, "dump.cpp"), "-o", exe] + list(flags)
            proc = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(proc.returncode, 0, "%s failed:\n%s" % (name, proc.stderr[-4000:]))
            run = subprocess.run(runner + [exe], capture_output=True, text=True, cwd=build)
            self.assertEqual(run.returncode, 0, run.stderr)
            outputs.add(run.stdout)
        self.assertEqual(len(outputs), 1, "compilers disagree")
        return outputs.pop().splitlines()

    def test_variants_decode_to_the_files_and_etags_are_strong_and_distinct(self):
        files = tree(self.path("site"))
        # The variants take the data form of the files' own bytes.
        for form, flags in (("words", []), ("incbin", ["-Wa,-I" + self.path("out")]), ("literal", []),
                            ("object", [self.path("out", harness.native_object())])):
            with self.subTest(form=form):
                shutil.rmtree(self.path("out"), ignore_errors=True)
                os.makedirs(self.path("out"))
                self.check_variants(files, self.generate(form), flags)

    def check_variants(self, files, result, flags):
        with_brotli = harness.PLATFORM != "windows"
        self.assertEqual("brotli is unavailable" in result.out + result.err, not with_brotli)
        lines = self.dump(flags)
        found = [line.split("\t") for line in lines if line.startswith("found\t")]
        self.assertEqual(sorted(f[1] for f in found), sorted("/" + name for name in files if "/" not in name))
        self.assertTrue(all(f[1] == f[2] for f in found), found)

        records = {fields[0]: fields for fields in (line.split("\t") for line in lines if line.startswith("/"))}
        self.assertEqual(sorted(records), sorted("/" + name for name in files))
        self.assertEqual(list(records), sorted(records, key=lambda p: p.encode()))
        for path, (_, etag, br_etag, br_hex, gz_etag, gz_hex) in records.items():
            data = files[path[1:]]
            compressible = path.endswith((".html", ".css", ".json", ".ttf", ".js"))
            self.assertEqual(br_etag != "-", compressible and with_brotli, path)
            self.assertEqual(gz_etag != "-", compressible, path)
            if gz_etag != "-":
                packed = bytes.fromhex(gz_hex)
                self.assertEqual(gzip.decompress(packed), data)
                # No name, no time, "unknown" system: the same bytes on every platform.
                self.assertEqual((packed[3], packed[4:8], packed[9]), (0, bytes(4), 255))
            if br_etag != "-":
                self.assertEqual(harness.brotli_decompress(bytes.fromhex(br_hex)), data)
            tags = [tag for tag in (etag, br_etag, gz_etag) if tag != "-"]
            self.assertEqual(len(set(tags)), len(tags), path)
            for tag in tags:
                self.assertRegex(tag, r'^"[0-9a-f]{32}"$')  # strong: no W/ prefix

    def test_the_cache_is_reused_rebuilt_when_damaged_and_follows_changes(self):
        tree(self.path("site"))
        os.makedirs(self.path("out"))
        self.generate()
        first = self.read("out", "res.cpp")
        entries = self.cache_entries()
        self.assertEqual(len(entries), 6)  # the compressible files, noise.txt included (tried, nothing kept)

        self.generate()
        self.assertEqual(self.read("out", "res.cpp"), first)
        self.assertEqual(self.cache_entries(), entries, "a second run rewrote the cache")

        names = sorted(entries)
        flipped = os.path.join(self.path("out", "res.cache"), names[0])
        with open(flipped, "r+b") as f:
            f.seek(50)
            byte = f.read(1)
            f.seek(50)
            f.write(bytes([byte[0] ^ 1]))
        with open(os.path.join(self.path("out", "res.cache"), names[1]), "r+b") as f:
            f.truncate(30)
        result = self.generate()
        self.assertEqual(result.out.count("is damaged or incomplete"), 2, result.out)
        self.assertEqual(self.read("out", "res.cpp"), first)
        self.assertEqual(sorted(self.cache_entries()), names)
        self.assertNotIn("is damaged", self.generate().out)

        with open(self.path("site", "index.html"), "wb") as f:
            f.write(TEXT.replace(b"again", b"anew!"))
        self.generate()
        self.assertNotEqual(self.read("out", "res.cpp"), first)
        changed = self.cache_entries()
        self.assertEqual(len(changed), 7)
        with open(self.path("site", "index.html"), "wb") as f:
            f.write(TEXT)
        self.generate()
        self.assertEqual(self.read("out", "res.cpp"), first)
        self.assertEqual(self.cache_entries(), changed)
