"""-x: side records with strong ETags, precompressed variants, hashed paths
and the manifest; the variant cache, shared by concurrent runs and kept
within a size; the same output for any number of workers."""
import gzip
import json
import os
import random
import re
import shutil
import subprocess
import tempfile
import time

import harness
from harness import REPO, ToolTest
from test_random_trees import build_tree


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
    variant(e->zstd);
    std::printf("\t%s\t%s\n", e->hashed_path, vex_res_manifest::hashed_path(e->path_root_a));
  }
  for (size_t i = 0; i < vex_res::all_length; ++i) {
    const vex_resource_extras* e = vex_res_extras_find(vex_res_extras::all, vex_res_extras::all_length,
                                                       vex_res::all[i]->path_root_a);
    std::printf("found\t%s\t%s\n", vex_res::all[i]->path_root_a, e ? e->path_root_a : "-");
  }
  return 0;
}
'''

# Plans every request a client may make for every file twice: with the
# header lines and the table of paths -x writes, and with side records
# stripped of their lines and no table, which the planner answers from the
# records alone. The answers must be the same; the header lines must serve
# every 200 and 304 they can.
SERVE_PROGRAM = r'''
#include "pch.h"
#include "vex_resource_builder/response_plan.h"
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

static std::string text(const vex_http::response_plan& plan) {
  std::vector<std::string> headers;
  for (size_t i = 0; i < plan.header_count; ++i)
    headers.push_back(std::string(plan.headers[i].name) + ": " +
                      (std::string(plan.headers[i].name) == "Date" ? "" : std::string(plan.headers[i].value)));
  std::sort(headers.begin(), headers.end());
  std::string out = std::to_string(plan.status) + " " + std::to_string(plan.body_length) + " " +
                    std::to_string(reinterpret_cast<uintptr_t>(plan.body));
  for (const std::string& header : headers) out += " | " + header;
  return out;
}

// The path as a request target: every byte above ASCII %-escaped, as it is
// (utf8 false) or as the UTF-8 of its Latin-1 character.
static std::string target_of(const char* path, bool utf8) {
  std::string out;
  for (const char* at = path; *at; ++at) {
    const unsigned char byte = static_cast<unsigned char>(*at);
    char escape[16];
    if (byte < 0x80) out += *at;
    else if (!utf8) std::snprintf(escape, sizeof escape, "%%%02X", byte), out += escape;
    else std::snprintf(escape, sizeof escape, "%%%02X%%%02X", 0xc0 | byte >> 6, 0x80 | (byte & 0x3f)), out += escape;
  }
  return out;
}

int main() {
  const vex_resource_path_table& table = vex_res_paths::table;
  std::vector<const vex_resource*> records;
  std::vector<vex_resource_extras> plain;
  for (uint32_t i = 0; i < table.entry_count; ++i) {
    records.push_back(table.entries[i].resource);
    plain.push_back(*table.entries[i].extras);
    plain.back().identity_head = plain.back().br_head = plain.back().gzip_head = plain.back().zstd_head = {};
  }
  std::vector<const vex_resource_extras*> plain_all;
  for (const vex_resource_extras& extras : plain) plain_all.push_back(&extras);
  const size_t length = records.size();
  const vex_resource_array arrays[] = {{records.data(), &length}};
  vex_http::site fast{arrays, 1, vex_res_extras::all, vex_res_extras::all_length};
  fast.paths = &table;
  const vex_http::site slow{arrays, 1, plain_all.data(), plain_all.size()};
  // Every path and hashed path, as its bytes and as UTF-8; directories and a missing file.
  std::vector<std::string> targets = {"/", "/docs", "/docs/", "/docs?q=%C3%A9", "/missing.css", "/css/"};
  std::vector<const char*> tags = {nullptr};
  for (uint32_t i = 0; i < table.entry_count; ++i) {
    const vex_resource_extras& extras = *table.entries[i].extras;
    for (const char* path : {extras.path_root_a, extras.hashed_path})
      for (const bool utf8 : {false, true}) targets.push_back(target_of(path, utf8));
    for (const char* tag : {extras.etag, extras.br.etag, extras.gzip.etag, extras.zstd.etag})
      if (tag) tags.push_back(tag);
  }
  int compared = 0, from_lines = 0, differ = 0;
  for (const std::string& target : targets)
    for (const char* coding : {"", "gzip", "br;q=0.5, zstd", "identity;q=0"})
      for (const char* tag : tags)
        for (const char* method : {"GET", "HEAD"}) {
          vex_http::request_headers headers;
          if (*coding) headers.accept_encoding = coding;
          if (tag) headers.if_none_match = tag;
          vex_http::response_plan with_lines, without;
          vex_http::plan_request(with_lines, method, target, headers, fast, vex_http::immutable_when_hashed);
          vex_http::plan_request(without, method, target, headers, slow, vex_http::immutable_when_hashed);
          ++compared;
          from_lines += with_lines.block_count > 0;
          const bool unused = (with_lines.status == 200 || with_lines.status == 304) && with_lines.block_count == 0;
          if (text(with_lines) == text(without) && !unused) continue;
          ++differ;
          std::printf("%s %s [%s]\n  %s\n  %s\n", method, target.c_str(), coding, text(with_lines).c_str(),
                      text(without).c_str());
        }
  std::printf("compared %d from lines %d differ %d\n", compared, from_lines, differ);
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
        # The records type these application/octet-stream; served as
        # application/wasm and text/javascript, they compress as those.
        "app.wasm": bytes(range(256)) * 16,
        "mod.mjs": b"export const words = 'again and again';\n" * 50,
        "blob.bin": bytes(4000),             # the default type by its own extension
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

    def cache_entries(self, folder=None):
        folder = folder or self.path("out", "res.cache")
        return {name: os.stat(os.path.join(folder, name)).st_mtime_ns for name in os.listdir(folder)}

    def manifest(self, out="out"):
        with open(self.path(out, "res.manifest.json"), encoding="utf-8") as f:
            return json.load(f)

    def dump(self, flags=(), program=DUMP_PROGRAM):
        build = tempfile.mkdtemp(prefix="consumer_", dir=self.dir)
        shutil.copy(os.path.join(REPO, "tests", "consumer", "pch.h"), build)
        with open(os.path.join(build, "dump.cpp"), "w") as f:
            f.write(program)
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
        # Debian has neither library for the Windows build.
        with_libraries = harness.PLATFORM != "windows"
        self.assertEqual("brotli is unavailable" in result.out + result.err, not with_libraries)
        self.assertEqual("zstd is unavailable" in result.out + result.err, not with_libraries)
        lines = self.dump(flags)
        found = [line.split("\t") for line in lines if line.startswith("found\t")]
        self.assertEqual(sorted(f[1] for f in found), sorted("/" + name for name in files if "/" not in name))
        self.assertTrue(all(f[1] == f[2] for f in found), found)

        records = {fields[0]: fields for fields in (line.split("\t") for line in lines if line.startswith("/"))}
        self.assertEqual(sorted(records), sorted("/" + name for name in files))
        self.assertEqual(list(records), sorted(records, key=lambda p: p.encode()))
        manifest = self.manifest()
        for path, (_, etag, br_etag, br_hex, gz_etag, gz_hex, zs_etag, zs_hex, hashed, looked_up) in records.items():
            data = files[path[1:]]
            compressible = path.endswith((".html", ".css", ".json", ".ttf", ".js", ".wasm", ".mjs"))
            self.assertEqual(br_etag != "-", compressible and with_libraries, path)
            self.assertEqual(gz_etag != "-", compressible, path)
            self.assertEqual(zs_etag != "-", compressible and with_libraries, path)
            if zs_etag != "-":
                self.assertEqual(harness.zstd_decompress(bytes.fromhex(zs_hex)), data)
            # The hashed path holds the content hash's first digits before the extension.
            stem, dot, extension = path.rpartition(".")
            self.assertEqual(hashed, "%s.%s.%s" % (stem, etag[1:9], extension) if dot else path + "." + etag[1:9])
            self.assertEqual((looked_up, manifest[path]), (hashed, hashed))
            if gz_etag != "-":
                packed = bytes.fromhex(gz_hex)
                self.assertEqual(gzip.decompress(packed), data)
                # No name, no time, "unknown" system: the same bytes on every platform.
                self.assertEqual((packed[3], packed[4:8], packed[9]), (0, bytes(4), 255))
            if br_etag != "-":
                self.assertEqual(harness.brotli_decompress(bytes.fromhex(br_hex)), data)
            tags = [tag for tag in (etag, br_etag, gz_etag, zs_etag) if tag != "-"]
            self.assertEqual(len(set(tags)), len(tags), path)
            for tag in tags:
                self.assertRegex(tag, r'^"[0-9a-f]{32}"$')  # strong: no W/ prefix

    def test_header_lines_and_table_of_paths_answer_as_the_records_do(self):
        files = tree(self.path("site"))
        harness.make_tree(self.path("site"), {"caf\u00e9.html": TEXT[:300], "docs/index.html": TEXT[:100]})
        os.makedirs(self.path("out"))
        self.generate()
        summary = self.dump(program=SERVE_PROGRAM)
        _, compared, _, _, from_lines, _, differ = summary[-1].split()
        self.assertEqual(differ, "0", "\n".join(summary[:20]))
        self.assertGreater(int(from_lines), 1000)
        self.assertGreater(int(compared), int(from_lines))

    def test_the_cache_is_reused_rebuilt_when_damaged_and_follows_changes(self):
        tree(self.path("site"))
        os.makedirs(self.path("out"))
        self.generate()
        first = self.read("out", "res.cpp")
        entries = self.cache_entries()
        self.assertEqual(len(entries), 8)  # the compressible files, noise.txt included (tried, nothing kept)

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
        # Far larger than any entry of its file: not taken into memory.
        with open(os.path.join(self.path("out", "res.cache"), names[2]), "r+b") as f:
            f.truncate(100 << 30)
        result = self.generate()
        self.assertEqual(result.out.count("is damaged or incomplete"), 3, result.out)
        self.assertEqual(self.read("out", "res.cpp"), first)
        self.assertEqual(sorted(self.cache_entries()), names)
        self.assertNotIn("is damaged", self.generate().out)

        hashed = self.manifest()
        with open(self.path("site", "index.html"), "wb") as f:
            f.write(TEXT.replace(b"again", b"anew!"))
        self.generate()
        self.assertNotEqual(self.read("out", "res.cpp"), first)
        changed = self.cache_entries()
        self.assertEqual(len(changed), 9)
        # The changed file alone has a new hashed path.
        self.assertEqual({path for path, name in self.manifest().items() if hashed[path] != name}, {"/index.html"})
        with open(self.path("site", "index.html"), "wb") as f:
            f.write(TEXT)
        self.generate()
        self.assertEqual(self.read("out", "res.cpp"), first)
        self.assertEqual(self.cache_entries(), changed)


def text_of(rng, words):
    """Compressible text of random length: words of a small vocabulary."""
    return b" ".join(rng.choice(words) for _ in range(rng.randint(0, 3000)))


class SharedCacheAndWorkers(ToolTest):
    def extras(self, *switches, cache=None, out="out", env=None, workers=None):
        """Runs -x (after switches) on site into out/res.cpp; the console
        output and the output files."""
        command = harness.TOOL + list(switches) + ["-x"] + (["-c", cache] if cache else []) + (
            ["-j", workers] if workers else []) + [out + "/res.cpp", "-d", "site", "*"]
        os.makedirs(self.path(out), exist_ok=True)
        proc = subprocess.run(command, cwd=self.dir, capture_output=True, timeout=600, env=dict(os.environ, **(env or {})))
        self.assertEqual(proc.returncode, 0, proc.stdout.decode(errors="replace") + proc.stderr.decode(errors="replace"))
        outputs = {}
        for name in os.listdir(self.path(out)):
            if os.path.isfile(self.path(out, name)):
                outputs[name] = self.read(out, name)
        return proc.stdout.decode("utf-8", "surrogateescape"), outputs

    def test_any_number_of_workers_writes_the_same_bytes(self):
        seed = int(os.environ.get("VEX_RANDOM_SEED") or random.randrange(1 << 30))
        rng = random.Random(seed)
        os.makedirs(self.path("site"))
        files = build_tree(rng, self.path("site"), harness.PLATFORM != "windows")
        words = [bytes(rng.choices(b"abcdefghij<>{}", k=rng.randint(1, 8))) for _ in range(300)]
        texts = [text_of(rng, words) for _ in range(8)]
        for relative in files:
            # Compressible bytes, some of them in several files.
            with open(os.path.join(os.fsencode(self.path("site")), relative), "wb") as f:
                f.write(rng.choice(texts) if rng.random() < 0.3 else text_of(rng, words))
        runs = []
        for workers in ("1", "5"):
            # The same names each time, so that the console lines can match.
            shutil.rmtree(self.path("out"), ignore_errors=True)
            console, outputs = self.extras("-m", "incbin", "-u", workers=workers)
            cache = self.path("out", "res.cache")
            entries = {name: self.read("out", "res.cache", name) for name in os.listdir(cache)}
            # Only the time spent compressing differs.
            runs.append((re.sub(r"compressing: \d+\.\d s", "compressing: (time)", console), outputs, entries))
        self.assertEqual(runs[0], runs[1], "seed %d" % seed)
        self.assertRegex(runs[0][0], r"cache: \d+ hits, [1-9]\d* misses")  # compressed, not all found

    def test_concurrent_runs_share_one_cache_within_its_limit(self):
        files = tree(self.path("site"))
        rng = random.Random(11)
        words = [bytes(rng.choices(b"abcdefgh ", k=6)) for _ in range(200)]
        for i in range(12):
            files["more/%d.css" % i] = text_of(rng, words) + b" " * 100
        harness.make_tree(self.path("site"), files)
        _, private = self.extras(out="private")
        # Four runs at once, one cache, a limit that makes them remove
        # entries that the others may be about to read.
        cache = self.path("shared")
        limit = sum(len(data) for data in private.values()) // 8
        env = {"VEX_RESOURCE_CACHE_LIMIT": str(limit)}
        runs = [harness.TOOL + ["-q", "-x", "-c", cache, "out%d/res.cpp" % i, "-d", "site", "*"] for i in range(3)]
        runs.append(harness.TOOL + ["-q", "-x", "out3/res.cpp", "-d", "site", "*"])
        for i in range(4):
            os.makedirs(self.path("out%d" % i))
        procs = [subprocess.Popen(command, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  env=dict(os.environ, VEX_RESOURCE_CACHE=cache, VEX_RESOURCE_JOBS="3", **env))
                 for command in runs]
        for proc in procs:
            out, _ = proc.communicate(timeout=600)
            self.assertEqual((proc.returncode, out), (0, b""))
        for i in range(4):
            for name in ("res.cpp", "res.h", "res.manifest.json"):
                self.assertEqual(self.read("out%d" % i, name), private[name], (i, name))
        self.assertFalse(os.path.exists(self.path("out3", "res.cache")), "VEX_RESOURCE_CACHE was not used")
        left = self.cache_entries_of(cache)
        self.assertLessEqual(sum(left.values()), limit)
        self.assertFalse([name for name in left if not re.fullmatch(r"[0-9a-f]{32}-[0-9a-f]{8}", name)])

        # Whatever is left is sound; a truncated or damaged entry is made again.
        console, _ = self.extras(cache=cache, out="check")
        self.assertNotIn("damaged", console)
        full = self.cache_entries_of(cache)
        names = sorted(full)
        with open(os.path.join(cache, names[0]), "r+b") as f:
            f.truncate(full[names[0]] // 2)
        with open(os.path.join(cache, names[1]), "r+b") as f:
            f.seek(60)
            byte = f.read(1)
            f.seek(60)
            f.write(bytes([byte[0] ^ 0x10]))
        console, outputs = self.extras(cache=cache, out="check")
        self.assertEqual(console.count("is damaged or incomplete: compressing again"), 2, console)
        self.assertEqual(outputs["res.cpp"], private["res.cpp"])
        self.assertEqual(self.cache_entries_of(cache), full)

    def cache_entries_of(self, folder):
        return {name: os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder) if name != "lock"}

    def test_a_limited_cache_removes_the_entries_used_longest_ago(self):
        files = {"%s.css" % name: (name * 4 + " { margin: 0 }\n").encode() * 40 for name in "abcdef"}
        harness.make_tree(self.path("site"), files)
        cache = self.path("cache")
        self.extras(cache=cache)
        self.assertEqual(len(os.listdir(cache)), 6)
        # Every entry was last used two days ago; a killed run left a part,
        # and a file of someone else's lies in the directory too.
        old = time.time() - 2 * 86400
        part = sorted(os.listdir(cache))[0] + ".1-2-3.tmp"
        harness.make_tree(cache, {part: b"partial", "notes.tmp": b"not the cache's"})
        for name in os.listdir(cache):
            os.utime(os.path.join(cache, name), (old, old))
        # A run that uses a.css and b.css only, then one that keeps the cache
        # to what those two take.
        for name in "cdef":
            os.remove(self.path("site", name + ".css"))
        self.extras(cache=cache)
        used = {name: size for name, size in self.cache_entries_of(cache).items()
                if os.stat(os.path.join(cache, name)).st_mtime > old + 60}
        self.assertEqual(len(used), 2)
        console, _ = self.extras(cache=cache, env={"VEX_RESOURCE_CACHE_LIMIT": str(sum(used.values()))})
        self.assertIn("4 entries of", console)
        self.assertEqual(self.cache_entries_of(cache), dict(used, **{"notes.tmp": 15}))

    def test_utf8_names_are_found_by_their_side_records(self):
        # Names above U+00FF (-u): the side records sort as the records' UTF-8 paths do.
        files = {"caf\u00e9.css": b"body { margin: 0 }\n" * 20, "\u65e5\u672c.js": b"var x = 1;\n" * 20,
                 "b.css": b"p { margin: 0 }\n" * 20}
        harness.make_tree(self.path("site"), files)
        os.makedirs(self.path("out"))
        result = self.run_tool("-t", "0", "-u", "-x", "out/res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        lines = HttpExtras.dump(self)
        found = [line.split("\t") for line in lines if line.startswith("found\t")]
        self.assertEqual(len(found), 3)
        self.assertTrue(all(f[1] == f[2] for f in found), found)

    def test_builds_with_other_codings_keep_their_own_entries(self):
        # The Windows build writes no br or zstd variants: sharing a cache with
        # the native build, each uses the entries made with its own settings.
        if not harness.NATIVE_TOOL:
            self.skipTest("needs the native build beside the Windows build")
        tree(self.path("site"))
        _, alone = self.extras(out="alone")
        cache = self.path("shared")
        os.makedirs(self.path("native"))
        native = subprocess.run(harness.NATIVE_TOOL + ["-q", "-x", "-c", cache, "native/res.cpp", "-d", "site", "*"],
                                cwd=self.dir, capture_output=True)
        self.assertEqual(native.returncode, 0)
        _, shared = self.extras(cache=cache, out="windows")
        self.assertEqual(shared["res.cpp"], alone["res.cpp"])
        self.assertEqual(len({name.split("-")[1] for name in os.listdir(cache)}), 2)

    def test_bad_settings_stop_the_run_before_anything_is_written(self):
        harness.make_tree(self.path("site"), {"a.css": "a{}"})
        bad = {"VEX_RESOURCE_JOBS": "0", "VEX_RESOURCE_CACHE_LIMIT": "12Q"}
        cases = [(["-c", "cache", "res.cpp"], {}, "-c and -j set up the HTTP extras: give them with -x or -z\n"),
                 (["-x", "-j", "2x", "res.cpp"], {}, "invalid number of workers [2x]: give a whole number from 1 to 1024\n"),
                 (["-x", "res.cpp"], {"VEX_RESOURCE_JOBS": "0"}, "invalid VEX_RESOURCE_JOBS [0]"),
                 (["-x", "res.cpp"], {"VEX_RESOURCE_CACHE_LIMIT": "12Q"}, "invalid VEX_RESOURCE_CACHE_LIMIT [12Q]")]
        for args, env, message in cases:
            with self.subTest(args=args, env=env):
                proc = subprocess.run(harness.TOOL + ["-q"] + args + ["-d", "site", "*"], cwd=self.dir,
                                      capture_output=True, env=dict(os.environ, **env))
                self.assertEqual(proc.returncode, 1)
                self.assertTrue(proc.stdout.decode().startswith(message), proc.stdout)
                self.assertLeftOnly(["site"])
        # Without -x the variables are not read at all.
        proc = subprocess.run(harness.TOOL + ["-q", "res.cpp", "-d", "site", "*"], cwd=self.dir, capture_output=True,
                              env=dict(os.environ, VEX_RESOURCE_CACHE=self.path("elsewhere"), **bad))
        self.assertEqual((proc.returncode, proc.stdout), (0, b""))
        self.assertLeftOnly(["res.cpp", "res.h", "site"])
