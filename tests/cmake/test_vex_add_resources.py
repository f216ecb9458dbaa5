#!/usr/bin/env python3
"""vex_add_resources in a real CMake + Ninja build: the resources reach the
program, and the generated source is rebuilt exactly when the tree changes.

  test_vex_add_resources.py --build-dir <the tool's build directory>
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD_DIR = None


def run(command, **kwargs):
    proc = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if proc.returncode != 0:
        raise AssertionError("%s failed:\n%s\n%s" % (command, proc.stdout[-3000:], proc.stderr[-3000:]))
    return proc.stdout


def write(path, text, stamp=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    if stamp is not None:
        os.utime(path, (stamp, stamp))


class ConsumerProject(unittest.TestCase):
    """A fresh copy of the consumer project with its own site and build."""

    package_args = None  # how find_package finds the tool

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vex_cmake_")
        self.site = os.path.join(self.dir, "site")
        write(os.path.join(self.site, "index.html"), "<h1>one</h1>")
        write(os.path.join(self.site, "css", "main.css"), "body{}")
        self.build = os.path.join(self.dir, "build")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def configure(self, *extra):
        run(["cmake", "-S", os.path.join(HERE, "consumer"), "-B", self.build, "-G", "Ninja",
             "-DSITE_ROOT=" + self.site] + self.package_args() + list(extra))

    def build_step(self):
        """Builds; returns the ninja output and whether the generator ran."""
        out = run(["ninja", "-C", self.build])
        return out, "Embedding" in out

    def listing(self):
        out = run([os.path.join(self.build, "list_resources")])
        return {line.split("\t")[0]: line.split("\t")[2] for line in out.splitlines()}

    def generated(self, suffix):
        return os.path.join(self.build, "vex_resources", "list_resources_resources", "list_resources_resources" + suffix)


def build_tree_package():
    return ["-Dvex_resource_builder_DIR=" + BUILD_DIR]


class Rebuilds(ConsumerProject):
    package_args = staticmethod(build_tree_package)

    def test_edit_add_remove_and_no_change(self):
        self.configure()
        out, generated = self.build_step()
        self.assertTrue(generated, out)
        self.assertEqual(self.listing(), {"/index.html": "<h1>one</h1>", "/css/main.css": "body{}"})
        # DATA_FORM AUTO chose the binary file with this compiler.
        self.assertTrue(os.path.exists(self.generated(".bin")))

        # Nothing changed: nothing runs, not even the generator.
        stamp = os.stat(self.generated(".cpp")).st_mtime_ns
        out, generated = self.build_step()
        self.assertIn("no work to do", out)
        self.assertEqual(os.stat(self.generated(".cpp")).st_mtime_ns, stamp)

        # An edited file.
        write(os.path.join(self.site, "css", "main.css"), "body{color:red}")
        out, generated = self.build_step()
        self.assertTrue(generated, out)
        self.assertEqual(self.listing()["/css/main.css"], "body{color:red}")

        # The binary file alone changed (as when an edit keeps size and
        # date): the object is rebuilt from it.
        with open(self.generated(".bin"), "r+b") as f:
            f.write(b"B")
        out, generated = self.build_step()
        self.assertFalse(generated, out)
        self.assertEqual(self.listing()["/css/main.css"], "Body{color:red}")

        # A file added to a directory below the root, and one at the root.
        write(os.path.join(self.site, "css", "extra.css"), "p{}")
        out, generated = self.build_step()
        self.assertTrue(generated, out)
        self.assertEqual(self.listing()["/css/extra.css"], "p{}")
        write(os.path.join(self.site, "robots.txt"), "ok")
        self.assertTrue(self.build_step()[1])
        self.assertEqual(self.listing()["/robots.txt"], "ok")

        # A new directory with a file in it.
        write(os.path.join(self.site, "img", "a.svg"), "<svg/>")
        self.assertTrue(self.build_step()[1])
        self.assertEqual(self.listing()["/img/a.svg"], "<svg/>")

        # A removed file.
        os.remove(os.path.join(self.site, "index.html"))
        out, generated = self.build_step()
        self.assertTrue(generated, out)
        self.assertEqual(sorted(self.listing()), ["/css/extra.css", "/css/main.css", "/img/a.svg", "/robots.txt"])

        # And once more, nothing.
        self.assertIn("no work to do", self.build_step()[0])

    def test_source_date_epoch_makes_checkouts_identical(self):
        first = {}
        for round_number in range(2):
            # A fresh copy of the tree, with other times, in another place.
            shutil.rmtree(self.site, ignore_errors=True)
            shutil.rmtree(self.build, ignore_errors=True)
            self.site = os.path.join(self.dir, "site%d" % round_number)
            stamp = time.time() - 1000 * round_number
            write(os.path.join(self.site, "index.html"), "<h1>one</h1>", stamp)
            write(os.path.join(self.site, "css", "main.css"), "body{}", stamp)
            os.environ["SOURCE_DATE_EPOCH"] = "1600000000"
            try:
                self.configure()
            finally:
                del os.environ["SOURCE_DATE_EPOCH"]
            self.build_step()
            files = {}
            for suffix in (".cpp", ".h", "_index.cpp"):
                with open(self.generated(suffix), "rb") as f:
                    files[suffix] = f.read()
            if round_number == 0:
                first = files
        self.assertEqual(files, first)
        self.assertIn(b'"Sun, 13 Sep 2020 12:26:40 GMT"', first[".cpp"])

    @unittest.skipUnless(shutil.which("ccache"), "needs ccache")
    def test_compiler_cache_sees_an_edit_that_keeps_size_and_date(self):
        # The sizes, dates and offsets in the generated source stay the same;
        # only the bytes in the binary file differ, and the source must differ
        # with them, or the cache hands back the old object.
        os.environ["CCACHE_DIR"] = os.path.join(self.dir, "ccache")
        try:
            self.configure("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DEXTRA_OPTIONS=SOURCE_DATE_EPOCH;0")
            self.build_step()
            write(os.path.join(self.site, "css", "main.css"), "head{}")
            self.build_step()
            self.assertEqual(self.listing()["/css/main.css"], "head{}")
            # Back to the first bytes: the cache may now answer, and rightly.
            write(os.path.join(self.site, "css", "main.css"), "body{}")
            self.build_step()
            self.assertEqual(self.listing()["/css/main.css"], "body{}")
        finally:
            del os.environ["CCACHE_DIR"]

    def test_options_reach_the_tool(self):
        write(os.path.join(self.site, "css", "\u03b1.css"), "a{}")
        self.configure("-DEXTRA_OPTIONS=FLAT;UTF8_NAMES;OUTPUT;site;SOURCES;css;SOURCE_DATE_EPOCH;0;DATA_FORM;literal")
        self.build_step()
        cpp = os.path.join(self.build, "vex_resources", "site", "site.cpp")
        with open(cpp) as f:
            text = f.read()
        self.assertIn("const vex_resource main_css =", text)        # -f: the short label
        self.assertIn('"Thu, 1 Jan 1970 0:00:00 GMT"', text)
        self.assertIn("alignas(8) const char css_main_css[8] =", text)  # the literal form
        self.assertIn('"/css/\\316\\261.css"', text)                # -u: the UTF-8 path
        listing = self.listing()
        self.assertEqual(len(listing), 2)                           # only the css source
        self.assertEqual(listing["/css/main.css"], "body{}")

    def test_http_extras_passes_x_and_keeps_the_cache_in_the_output_directory(self):
        write(os.path.join(self.site, "index.html"), "<p>compress me</p>" * 50)
        self.configure("-DEXTRA_OPTIONS=HTTP_EXTRAS")
        self.build_step()
        with open(self.generated(".cpp")) as f:
            self.assertIn("vex_res_gzip::index_html", f.read())
        self.assertEqual(len(os.listdir(self.generated(".cache"))), 1)  # index.html; main.css is too small
        self.assertEqual(self.listing()["/index.html"], "<p>compress me</p>" * 50)


    def test_http_extras_cache_outlives_a_clean_build(self):
        write(os.path.join(self.site, "index.html"), "<p>compress me</p>" * 50)
        cache = os.path.join(self.dir, "shared-cache")
        self.configure("-DEXTRA_OPTIONS=HTTP_EXTRAS;HTTP_EXTRAS_CACHE;" + cache)
        self.build_step()
        entries = {name: os.stat(os.path.join(cache, name)).st_mtime_ns for name in os.listdir(cache)}
        self.assertEqual(len(entries), 1)
        self.assertFalse(os.path.exists(self.generated(".cache")))
        with open(self.generated(".cpp")) as f:
            first = f.read()
        with open(self.generated(".manifest.json")) as f:
            self.assertRegex(f.read(), r'"/index.html": "/index\.[0-9a-f]{8}\.html"')
        shutil.rmtree(self.build)
        self.configure("-DEXTRA_OPTIONS=HTTP_EXTRAS;HTTP_EXTRAS_CACHE;" + cache)
        self.build_step()
        with open(self.generated(".cpp")) as f:
            self.assertEqual(f.read(), first)
        self.assertEqual({name: os.stat(os.path.join(cache, name)).st_mtime_ns for name in os.listdir(cache)}, entries)


class Installed(ConsumerProject):
    def package_args(self):
        return ["-DCMAKE_PREFIX_PATH=" + self.prefix]

    def test_find_package_after_install(self):
        self.prefix = os.path.join(self.dir, "prefix")
        run(["cmake", "--install", BUILD_DIR, "--prefix", self.prefix])
        self.assertTrue(os.path.exists(os.path.join(self.prefix, "include", "vex_resource_builder", "vex_resource.h")))
        self.configure()
        self.build_step()
        self.assertEqual(self.listing(), {"/index.html": "<h1>one</h1>", "/css/main.css": "body{}"})
        with open(os.path.join(self.build, "build.ninja")) as f:
            self.assertIn(os.path.join(self.prefix, "bin", "vex_resource_builder"), f.read())


def main():
    global BUILD_DIR
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    args, rest = parser.parse_known_args()
    BUILD_DIR = os.path.abspath(args.build_dir)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
