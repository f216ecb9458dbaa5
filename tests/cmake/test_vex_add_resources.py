#!/usr/bin/env python3
"""vex_add_resources in a real CMake + Ninja build: the resources reach the
program, and the generated source is rebuilt exactly when the tree changes;
the package found in a build tree, in an installation (also by Meson through
pkg-config) and by a cross-compiled consumer; the object form's format
follows the toolchain, and its source is cached by ccache, compiled by
distcc on a server that sees neither tree, and cross-built for AArch64.

  test_vex_add_resources.py --build-dir <the tool's build directory>
  test_vex_add_resources.py --build-dir <native build> --toolchain cmake/mingw-w64-x86_64.cmake \
                            --runner /usr/lib/wine/wine64 CrossCompiled
"""
import argparse
import json
import os
import re
import shlex
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
from harness import keep_wineserver  # noqa: E402

BUILD_DIR = None
TOOLCHAIN = None  # a cross toolchain file for CrossCompiled
RUNNER = []       # the command that runs the cross-compiled consumer
# clang's cl driver, beside the clang++ installed.
CLANG_CL = os.path.join(os.path.dirname(os.path.realpath(shutil.which("clang++") or "/")), "clang-cl")


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
    runner = []          # what runs the consumer (for a cross build)
    program = "list_resources"

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

    def build_step(self, **kwargs):
        """Builds; returns the ninja output and whether the generator ran."""
        out = run(["ninja", "-C", self.build], **kwargs)
        return out, "Embedding" in out

    def listing(self, runner=None):
        runner = self.runner if runner is None else list(runner)
        out = run(runner + [os.path.join(self.build, self.program)])
        return {line.split("\t")[0]: line.split("\t")[2] for line in out.splitlines()}

    def install(self):
        self.prefix = os.path.join(self.dir, "prefix")
        run(["cmake", "--install", BUILD_DIR, "--prefix", self.prefix])

    def assertBuildRuns(self, tool):
        with open(os.path.join(self.build, "build.ninja")) as f:
            self.assertIn(tool, f.read())

    def data_form_switch(self):
        """The -m switch that the build passes to the tool."""
        with open(os.path.join(self.build, "build.ninja")) as f:
            return re.search(r" -m (\S+) ", f.read()).group(1)

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
        # DATA_FORM AUTO chose the object form with this compiler.
        self.assertEqual(self.data_form_switch(), "object:elf-x86-64")
        self.assertFalse(os.path.exists(self.generated(".bin")))

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

        # The data's object alone changed: the target is linked again with it.
        self.poke(self.generated(".data.o"), b"body{color:red}", b"B")
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

    @staticmethod
    def poke(path, text, byte):
        """Overwrites the first byte of text in the file at path."""
        with open(path, "r+b") as f:
            data = f.read()
            f.seek(data.index(text))
            f.write(byte)

    def test_shards_are_outputs_of_the_rule_and_follow_a_removed_file(self):
        for i in range(20):
            write(os.path.join(self.site, "css", "f%02d.css" % i), "f%d{}" % i)
        self.configure("-DEXTRA_OPTIONS=SHARDS;3")
        self.build_step()
        expected = self.listing()
        self.assertEqual(len(expected), 22)
        shards = [self.generated(".%d.cpp" % k) for k in (1, 2)]
        with open(self.generated(".d")) as f:
            head = f.readline()
        for shard in shards:
            self.assertIn(shard, head)
            with open(shard) as f:
                self.assertIn("const vex_resource ", f.read())
        # A file that goes: every shard is written again, and the program
        # holds the others.
        os.remove(os.path.join(self.site, "css", "f00.css"))
        out, generated = self.build_step()
        self.assertTrue(generated, out)
        del expected["/css/f00.css"]
        self.assertEqual(self.listing(), expected)
        self.assertIn("no work to do", self.build_step()[0])

    def test_two_sets_with_their_own_names_are_served_by_one_program(self):
        public = self.site
        admin = os.path.join(self.dir, "admin")
        write(os.path.join(admin, "index.html"), "<h1>admin</h1>")
        write(os.path.join(admin, "css", "main.css"), "admin{}")
        build = self.build
        run(["cmake", "-S", os.path.join(HERE, "two_sets"), "-B", build, "-G", "Ninja", "-DADMIN_ROOT=" + admin,
             "-DPUBLIC_ROOT=" + public] + self.package_args())
        run(["ninja", "-C", build])
        out = run([os.path.join(build, "serve_both"), "/index.html", "/admin/index.html", "/css/main.css",
                   "/admin/css/main.css", "/admin/nothing"])
        self.assertEqual(out, "public\t/index.html\t<h1>one</h1>\nadmin\t/admin/index.html\t<h1>admin</h1>\n"
                              "public\t/css/main.css\tbody{}\nadmin\t/admin/css/main.css\tadmin{}\n"
                              "404\t/admin/nothing\n")

    def test_incbin_rebuilds_when_its_binary_file_alone_changes(self):
        # As when an edit keeps size and date: the object is made again from
        # the binary file.
        self.configure("-DEXTRA_OPTIONS=DATA_FORM;INCBIN")
        self.build_step()
        self.poke(self.generated(".bin"), b"body{}", b"B")
        out, generated = self.build_step()
        self.assertFalse(generated, out)
        self.assertEqual(self.listing()["/css/main.css"], "Body{}")

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
    def test_compiler_cache_sees_every_edit_and_serves_a_clean_build(self):
        # The sizes, dates and offsets in the generated source stay the same;
        # only the bytes in the object differ, and the source must differ
        # with them, or the cache hands back the old records.
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

            # A clean build directory: every source, the generated ones
            # included, comes from the cache.
            shutil.rmtree(self.build)
            self.configure("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DEXTRA_OPTIONS=SOURCE_DATE_EPOCH;0")
            run(["ccache", "--zero-stats"])
            self.build_step()
            stats = dict(line.split("\t") for line in run(["ccache", "--print-stats"]).splitlines())
            hits = int(stats["direct_cache_hit"]) + int(stats["preprocessed_cache_hit"])
            self.assertEqual((hits, int(stats["cache_miss"])), (3, 0), stats)
            self.assertEqual(self.listing()["/css/main.css"], "body{}")
        finally:
            del os.environ["CCACHE_DIR"]

    @unittest.skipUnless(shutil.which("distccd") and shutil.which("unshare") and os.geteuid() == 0,
                         "needs distcc, and root for a mount namespace")
    def test_distcc_compiles_the_object_form_and_its_shards_where_neither_tree_is_visible(self):
        # The server sees empty directories where the site, the build and the
        # tool's own tree are; it gets preprocessed sources only.
        hidden = [self.dir, os.path.dirname(os.path.dirname(HERE))]
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        log = open(os.path.join(os.path.dirname(self.dir), os.path.basename(self.dir) + ".distccd.log"), "w+")
        server = subprocess.Popen(
            ["unshare", "--mount", "--propagation", "private", "sh", "-c",
             'for d in "$@"; do mount -t tmpfs none "$d" || exit 1; done; exec distccd --no-detach --daemon --no-fork '
             "--listen 127.0.0.1 --port %d --allow 127.0.0.1 --log-stderr --log-level info "
             "--enable-tcp-insecure" % port, "sh"] + hidden,
            stdout=subprocess.DEVNULL, stderr=log, start_new_session=True)
        environment = dict(os.environ, DISTCC_HOSTS="127.0.0.1:%d" % port, DISTCC_FALLBACK="0",
                           DISTCC_SKIP_LOCAL_RETRY="1")
        try:
            self.wait_for_port(port, server)
            self.configure("-DCMAKE_CXX_COMPILER_LAUNCHER=distcc", "-DEXTRA_OPTIONS=SHARDS;2")
            self.build_step(env=environment)
            self.assertEqual(self.listing(), {"/index.html": "<h1>one</h1>", "/css/main.css": "body{}"})
            log.seek(0)
            compiled = log.read()
            self.assertRegex(compiled, r"COMPILE_OK .*list_resources_resources\.cpp")
            self.assertRegex(compiled, r"COMPILE_OK .*list_resources_resources\.1\.cpp")

            # The binary file of the incbin form is not there to assemble.
            shutil.rmtree(self.build)
            self.configure("-DCMAKE_CXX_COMPILER_LAUNCHER=distcc", "-DEXTRA_OPTIONS=DATA_FORM;INCBIN")
            proc = subprocess.run(["ninja", "-C", self.build], capture_output=True, text=True, env=environment)
            self.assertNotEqual(proc.returncode, 0)
            self.assertIn("file not found: list_resources_resources.bin", proc.stdout + proc.stderr)
        finally:
            os.killpg(server.pid, 15)
            server.wait()
            log.close()
            os.remove(log.name)

    @staticmethod
    def wait_for_port(port, server):
        for _ in range(100):
            if server.poll() is not None:
                raise AssertionError("distccd stopped: exit code %d" % server.returncode)
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.1)
        raise AssertionError("distccd does not listen on port %d" % port)

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


    def test_store_compressed_holds_files_in_their_coding_and_report_says_so(self):
        write(os.path.join(self.site, "index.html"), "<p>compress me</p>" * 50)
        self.configure("-DEXTRA_OPTIONS=STORE_COMPRESSED;gzip;REPORT;report/size.json")
        self.build_step()
        with open(self.generated(".cpp")) as f:
            text = f.read()
        self.assertIn("constexpr const char * index_html = nullptr;", text)
        self.assertIn("VEX_STORED_GZIP", text)
        # The reader, linked with zlib by the decoder's target, gives the bytes back.
        self.assertEqual(self.listing(), {"/index.html": "<p>compress me</p>" * 50, "/css/main.css": "body{}"})
        with open(os.path.join(self.build, "report", "size.json")) as f:
            report = json.load(f)
        self.assertEqual({entry["path"]: entry["coding"] for entry in report["files"]},
                         {"/index.html": "gzip", "/css/main.css": "identity"})
        for i, (options, message) in enumerate([
                ("STORE_COMPRESSED;deflate", "STORE_COMPRESSED deflate: give gzip, br or zstd"),
                ("REPORT;size.txt", "REPORT size.txt: give a file name ending in .json or .html")]):
            configure = subprocess.run(["cmake", "-S", os.path.join(HERE, "consumer"), "-B", "%s-%d" % (self.build, i),
                                        "-G", "Ninja", "-DSITE_ROOT=" + self.site, "-DEXTRA_OPTIONS=" + options]
                                       + self.package_args(), capture_output=True, text=True)
            self.assertNotEqual(configure.returncode, 0)
            self.assertIn(message, " ".join(configure.stderr.split()))  # CMake wraps its messages


class Toolchains(ConsumerProject):
    package_args = staticmethod(build_tree_package)

    @unittest.skipUnless(shutil.which("aarch64-linux-gnu-g++") and shutil.which("qemu-aarch64"),
                         "needs g++-aarch64-linux-gnu and qemu-user")
    def test_cross_build_for_aarch64_runs_under_qemu(self):
        # The tool is the host's; the program and its data are AArch64's.
        self.configure("-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(HERE, "aarch64-linux-gnu.cmake"))
        self.assertEqual(self.data_form_switch(), "object:elf-arm64")
        self.build_step()
        self.assertEqual(self.listing(["qemu-aarch64", "-L", "/usr/aarch64-linux-gnu"]),
                         {"/index.html": "<h1>one</h1>", "/css/main.css": "body{}"})

    @unittest.skipUnless(os.path.exists(CLANG_CL) and shutil.which("lld-link") and shutil.which("llvm-lib"),
                         "needs clang-cl, lld-link and llvm-lib")
    def test_object_format_follows_the_toolchain(self):
        # Configured only: these targets cannot link here.
        no_link = ["-DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY"]
        cl = no_link + ["-DCMAKE_SYSTEM_NAME=Windows", "-DCMAKE_CXX_COMPILER=" + CLANG_CL,
                        "-DCMAKE_LINKER=lld-link", "-DCMAKE_AR=" + shutil.which("llvm-lib")]
        apple = no_link + ["-DCMAKE_SYSTEM_NAME=Darwin", "-DCMAKE_CXX_COMPILER=clang++",
                           "-DCMAKE_CXX_COMPILER_TARGET=arm64-apple-macos11"]
        cases = [
            (cl + ["-DCMAKE_SYSTEM_PROCESSOR=AMD64", "-DCMAKE_CXX_COMPILER_TARGET=x86_64-pc-windows-msvc"],
             "object:coff-x86-64"),
            # As MSVC's cross compiler: it names its own target; the processor is the host's.
            (cl + ["-DCMAKE_SYSTEM_PROCESSOR=AMD64", "-DCMAKE_CXX_FLAGS=--target=aarch64-pc-windows-msvc"],
             "object:coff-arm64"),
            # The architectures asked for win over the triple's.
            (apple + ["-DCMAKE_OSX_ARCHITECTURES=x86_64"], "object:macho-x86-64"),
            # A toolchain that names no processor: the compiler names its target.
            (["-DCMAKE_SYSTEM_NAME=Windows", "-DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix"], "object:coff-x86-64"),
        ]
        for arguments, switch in cases:
            with self.subTest(arguments=arguments[-2:]):
                shutil.rmtree(self.build, ignore_errors=True)
                self.configure(*arguments)
                self.assertEqual(self.data_form_switch(), switch)
        # 32-bit code has no object format: OBJECT asked for is refused at configure time.
        shutil.rmtree(self.build)
        proc = subprocess.run(["cmake", "-S", os.path.join(HERE, "consumer"), "-B", self.build, "-G", "Ninja",
                               "-DSITE_ROOT=" + self.site, "-DEXTRA_OPTIONS=DATA_FORM;OBJECT"] + self.package_args()
                              + cl + ["-DCMAKE_SYSTEM_PROCESSOR=X86", "-DCMAKE_CXX_COMPILER_TARGET=i686-pc-windows-msvc"],
                              capture_output=True, text=True)
        self.assertNotEqual(proc.returncode, 0)
        self.assertIn("DATA_FORM OBJECT: no object format is known for this target", re.sub(r"\s+", " ", proc.stderr))


class Installed(ConsumerProject):
    def package_args(self):
        return ["-DCMAKE_PREFIX_PATH=" + self.prefix]

    def test_find_package_after_install(self):
        self.install()
        self.assertTrue(os.path.exists(os.path.join(self.prefix, "include", "vex_resource_builder", "vex_resource.h")))
        self.configure()
        self.build_step()
        self.assertEqual(self.listing(), {"/index.html": "<h1>one</h1>", "/css/main.css": "body{}"})
        self.assertBuildRuns(os.path.join(self.prefix, "bin", "vex_resource_builder"))

    def test_meson_example_with_the_pkg_config_file(self):
        self.install()
        # The example embeds ../site, so both move together.
        examples = os.path.join(self.dir, "examples")
        for name in ("meson", "site"):
            shutil.copytree(os.path.join(REPO, "examples", name), os.path.join(examples, name))
        build = os.path.join(self.dir, "meson-build")
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(self.prefix, "share", "pkgconfig"))
        run(["meson", "setup", build, os.path.join(examples, "meson")], env=env)
        style = os.path.join(examples, "site", "css", "main.css")

        def build_and_list():
            out = run(["ninja", "-C", build])
            return out, run([os.path.join(build, "list_site"), "/index.html", "/css/main.css"])

        out, listing = build_and_list()
        self.assertIn(self.prefix, run(["ninja", "-C", build, "-t", "commands", "list_site"]))  # the installed tool
        with open(os.path.join(examples, "site", "index.html")) as page, open(style) as css:
            page = page.read()
            self.assertEqual(listing, page + css.read())
        self.assertIn("no work to do", build_and_list()[0])
        write(style, "p{}")
        out, listing = build_and_list()
        self.assertIn("Generating site", out)
        self.assertEqual(listing, page + "p{}")
        self.assertIn("no work to do", build_and_list()[0])

        # Held in gzip only, the page is read back through the kit's reader.
        run(["meson", "setup", "--reconfigure", build, os.path.join(examples, "meson"), "-Dstore_compressed=gzip"],
            env=env)
        out, listing = build_and_list()
        self.assertEqual(listing, page + "p{}")
        with open(os.path.join(build, "site.cpp")) as f:
            self.assertIn("constexpr const char * index_html = nullptr;", f.read())


class CrossCompiled(ConsumerProject):
    """A consumer configured with a cross toolchain: the package of the
    native build, or of its installation, supplies the tool, which runs on
    the build machine; VEX_RESOURCE_BUILDER_EXECUTABLE replaces it."""
    expected = {"/index.html": "<h1>one</h1>", "/css/main.css": "body{}"}

    def setUp(self):
        if not TOOLCHAIN:
            self.skipTest("needs --toolchain and --runner")
        super().setUp()
        self.runner, self.program = RUNNER, "list_resources.exe"
        keep_wineserver(RUNNER)

    def package_args(self):
        return ["-DCMAKE_TOOLCHAIN_FILE=" + TOOLCHAIN, "-DCMAKE_EXE_LINKER_FLAGS=-static"] + self.package

    def test_native_build_supplies_the_tool_and_the_cache_variable_replaces_it(self):
        self.package = build_tree_package()
        self.configure()
        self.build_step()
        self.assertEqual(self.listing(), self.expected)

        # A tool of the project's own choice: this one notes that it ran.
        wrapper = os.path.join(self.dir, "own tool")
        write(wrapper, "#!/bin/sh\ntouch \"$0.ran\"\nexec %s \"$@\"\n"
              % shlex.quote(os.path.join(BUILD_DIR, "vex_resource_builder")))
        os.chmod(wrapper, os.stat(wrapper).st_mode | stat.S_IXUSR)
        self.configure("-DVEX_RESOURCE_BUILDER_EXECUTABLE=" + wrapper)
        out, generated = self.build_step()
        self.assertTrue(generated, out)
        self.assertTrue(os.path.exists(wrapper + ".ran"))
        self.assertEqual(self.listing(), self.expected)

    def test_store_compressed_with_the_decoders_the_target_has(self):
        # Debian has zlib for mingw-w64 but neither libbrotli nor libzstd.
        page = "<p>compress me</p>" * 50
        write(os.path.join(self.site, "index.html"), page)
        self.package = build_tree_package()
        self.configure("-DEXTRA_OPTIONS=STORE_COMPRESSED;gzip")
        self.build_step()
        with open(self.generated(".cpp")) as f:
            self.assertIn("constexpr const char * index_html = nullptr;", f.read())
        self.assertEqual(self.listing(), dict(self.expected, **{"/index.html": page}))
        refused = subprocess.run(["cmake", "-S", os.path.join(HERE, "consumer"), "-B", self.build + "-br", "-G",
                                  "Ninja", "-DSITE_ROOT=" + self.site, "-DEXTRA_OPTIONS=STORE_COMPRESSED;br"]
                                 + self.package_args(), capture_output=True, text=True)
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("STORE_COMPRESSED br: libbrotli's decoder (Debian: libbrotli-dev) was not found",
                      " ".join(refused.stderr.split()))

    def test_installation_supplies_the_tool(self):
        self.install()
        self.package = ["-DCMAKE_PREFIX_PATH=" + self.prefix]
        self.configure()
        self.build_step()
        self.assertEqual(self.listing(), self.expected)
        self.assertBuildRuns(os.path.join(self.prefix, "bin", "vex_resource_builder"))


def main():
    global BUILD_DIR, TOOLCHAIN, RUNNER
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--toolchain", help="a cross toolchain file, for CrossCompiled")
    parser.add_argument("--runner", default="", help="the command that runs a cross-compiled program")
    args, rest = parser.parse_known_args()
    BUILD_DIR = os.path.abspath(args.build_dir)
    TOOLCHAIN = args.toolchain and os.path.abspath(args.toolchain)
    RUNNER = shlex.split(args.runner)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
