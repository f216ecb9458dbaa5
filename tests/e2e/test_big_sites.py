"""Big sites: records in shards (-s), several sets in one program (-n), a
million files in one run, objects past 2 GiB that link, and the command
line's refusals that come with them."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
from harness import COMPILERS, PLATFORM, REPO, ToolTest, make_tree, namespaces_with_arrays, native_object

# Enough files in each directory that every shard gets records (eight files
# go to one shard before the next takes its turn).
SHARDED_TREE = dict(("site/%s/f%02d.txt" % (d, i), "%s %d\n" % (d, i) * (i + 1))
                    for d in ("a", "b/deep", "c") for i in range(20))
SHARDED_TREE.update({"site/index.html": "<h1>hi</h1>", "site/b/x.css": "b{}"})

TWO_SETS_PROGRAM = r'''
#include "vex_resource_builder/vex_resource.h"
#include "admin.h"
#include "public.h"
#include <cstdio>
#include <initializer_list>

// One lookup over the arrays of both sets, as a server would serve them.
int main() {
  admin::sort_all();
  public_site::sort_all();
  const vex_resource_array arrays[] = {{admin::all, &admin::all_length}, {admin::css::all, &admin::css::all_length},
                                       {public_site::all, &public_site::all_length},
                                       {public_site::css::all, &public_site::css::all_length}};
  const vex_resource_array* sets[] = {arrays, arrays + 2};
  for (const vex_resource_array* set : sets) {
    for (const char* path : {"/index.html", "/css/site.css"}) {
      const vex_resource* r = vex_res_find_in(set, 2, path);
      if (!r) return 1;
      std::printf("%s %.*s\n", path, static_cast<int>(r->size), r->data);
    }
  }
  return 0;
}
'''


def read_text(path):
    with open(path, encoding="latin-1") as f:
        return f.read()


class Shards(ToolTest):
    def test_shards_compile_into_the_program_of_one_source(self):
        make_tree(self.dir, SHARDED_TREE)
        single = self.run_tool("-q", "res.cpp", "-d", "site", "*")
        sharded = self.run_tool("-q", "-M", "sharded.d", "--shards", "4", "sharded.cpp", "-d", "site", "*")
        self.assertEqual((single.code, single.out, sharded.code, sharded.out), (0, "", 0, ""))
        shards = ["sharded.%d.cpp" % k for k in (1, 2, 3)]
        # Every shard is an output of the rule, and each holds records.
        with open(self.path("sharded.d")) as f:
            self.assertTrue(f.read().startswith("sharded.cpp sharded.1.cpp sharded.2.cpp sharded.3.cpp: \\\n"))
        for shard in shards:
            self.assertIn("const vex_resource ", read_text(self.path(shard)))
        # The target's arrays name its own records only; the others' entries
        # stay in their shards, so its compile does not grow with the tree.
        target = read_text(self.path("sharded.cpp"))
        self.assertLessEqual(len(re.findall(r"^\t+&", target, re.M)), target.count("\tconst vex_resource "))
        self.assertEqual(read_text(self.path("sharded.h")), read_text(self.path("res.h")))
        namespaces = namespaces_with_arrays(self.path("res.h"))
        expected = self.compile_and_check("res.cpp", "res.h", namespaces)
        self.assertEqual(len(expected), len(SHARDED_TREE))
        self.assertEqual(self.compile_and_check("sharded.cpp", "sharded.h", namespaces,
                                                flags=[self.path(s) for s in shards]), expected)

    def test_shard_counts_and_targets_that_are_refused(self):
        make_tree(self.dir, {"site/a.txt": "a"})
        for args, message in [(["-s", "0"], "invalid shard count [0]"), (["-s", "257"], "invalid shard count [257]"),
                              (["-s2x"], "invalid shard count [2x]"),
                              (["-a", "-s", "2"], "the shards (-s) cannot append (-a)"),
                              (["-s", "2", "-"], "the shards (-s) need a target file")]:
            target = [] if args[-1] == "-" else ["res.cpp"]
            result = self.run_tool("-q", *args, *target, "-d", "site", "*")
            self.assertEqual(result.code, 1, args)
            self.assertTrue(result.out.startswith(message), result.out)
        self.assertLeftOnly(["site"])


class SetNames(ToolTest):
    def test_two_sets_with_the_same_file_link_into_one_program(self):
        # The same file at the same path in both sets: its data, its symbol
        # and its record exist twice under two names.
        make_tree(self.dir, {"admin/index.html": "admin", "admin/css/site.css": "same{}",
                             "public/index.html": "public", "public/css/site.css": "same{}"})
        objects = []
        for name, namespace in (("admin", "admin"), ("public", "public_site")):
            result = self.run_tool("-q", "-m", "object", "-s", "2", "-n", namespace, name + ".cpp", "-d", name, "*")
            self.assertEqual((result.code, result.out), (0, ""))
            objects += [self.path(name + ".cpp"), self.path(name + ".1.cpp"), self.path(native_object(name))]
        text = read_text(self.path("public.cpp"))
        self.assertIn("namespace public_site_data\n{\n", text)
        self.assertNotIn("vex_res_data", text)
        self.assertRegex(text, r'extern "C" const char public_site_[0-9a-f]{16}_index_html\[\];')
        with open(self.path("main.cpp"), "w") as f:
            f.write(TWO_SETS_PROGRAM)
        with open(self.path("pch.h"), "w") as f:
            f.write('#include "vex_resource_builder/vex_resource.h"\n#include "admin.h"\n#include "public.h"\n')
        for name, compiler, runner in COMPILERS:
            with self.subTest(compiler=name):
                exe = self.path("two_sets_%s.exe" % name)
                proc = subprocess.run(compiler + ["-std=c++17", "-I" + self.dir, "-I" + os.path.join(REPO, "include"),
                                                  self.path("main.cpp"), *objects, "-o", exe],
                                      capture_output=True, text=True)
                self.assertEqual(proc.returncode, 0, proc.stderr[-3000:])
                run = subprocess.run(runner + [exe], capture_output=True, text=True)
                self.assertEqual((run.returncode, run.stdout),
                                 (0, "/index.html admin\n/css/site.css same{}\n/index.html public\n"
                                     "/css/site.css same{}\n"))

    def test_set_names_that_are_refused(self):
        make_tree(self.dir, {"site/a.txt": "a"})
        for name in ("1x", "vex_site", "class", "a-b", "linux", "_Upper", "x" * 64):
            result = self.run_tool("-q", "-n", name, "res.cpp", "-d", "site", "*")
            self.assertEqual(result.code, 1, name)
            self.assertTrue(result.out.startswith("invalid set name [%s]" % name), result.out)
        self.assertLeftOnly(["site"])
        # A directory named as the set's own namespaces is renamed, as
        # vex_res_data is in the default set.
        make_tree(self.dir, {"site/admin_data/x.txt": "x"})
        result = self.run_tool("-q", "-n", "admin", "res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        self.assertIn("\tnamespace admin_data_\n", read_text(self.path("res.h")))


class MisplacedSwitches(ToolTest):
    def test_a_switch_where_the_target_stands_is_refused(self):
        make_tree(self.dir, {"src/a.txt": "a"})
        # Each looked for at its turn only: -m after -u and -z after -c are
        # out of order; -k is no switch of this tool.
        for args, switch in [(["-u", "-m", "object", "res.cpp", "src"], "-m"), (["-kx", "res.cpp", "src"], "-kx"),
                             (["-q", "-x", "-s", "2", "res.cpp", "src"], "-s"), (["-c", "cache", "-z", "gzip", "res.cpp", "src"], "-z")]:
            result = self.run_tool(*args)
            self.assertEqual((result.code, result.out), (1, "unknown or misplaced switch [%s]\n" % switch), args)
        self.assertLeftOnly(["src"])

    @unittest.skipUnless(PLATFORM == "posix" and os.path.exists("/dev/full"), "needs /dev/full")
    def test_help_that_cannot_be_written_fails(self):
        with open("/dev/full", "w") as full:
            for option in ("--help", "--version"):
                proc = subprocess.run(harness.TOOL + [option], stdout=full, stderr=subprocess.PIPE, text=True)
                self.assertEqual(proc.returncode, 1, option)
                self.assertIn("cannot write the answer to %s" % option, proc.stderr)


class ObjectFaults(ToolTest):
    def test_switching_formats_leaves_one_object_and_messages_name_it(self):
        make_tree(self.dir, {"site/a.txt": "a"})
        self.assertEqual(self.run_tool("-q", "-m", "object:elf-x86-64", "res.cpp", "-d", "site", "*").code, 0)
        self.assertTrue(os.path.exists(self.path("res.data.o")))
        self.assertEqual(self.run_tool("-q", "-m", "object:coff-x86-64", "res.cpp", "-d", "site", "*").code, 0)
        self.assertLeftOnly(["res.cpp", "res.h", "res.data.obj", "site"])
        result = self.run_tool("-q", "-b", "-m", "object", "res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 1)
        self.assertTrue(result.out.startswith("the object form has no big-endian data (-b)"), result.out)

    @unittest.skipUnless(PLATFORM == "posix", "permissions of POSIX directories")
    def test_an_unwritable_directory_is_reported_as_such(self):
        # Root may write anywhere: the tool then runs as nobody.
        as_user = []
        if os.geteuid() == 0:
            if not shutil.which("setpriv"):
                self.skipTest("needs setpriv to run as another user")
            as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        os.chmod(self.dir, 0o755)
        locked = self.path("locked")
        os.makedirs(locked)
        os.chmod(locked, 0o555)
        proc = subprocess.run(as_user + harness.TOOL + ["-q", os.path.join(locked, "res.cpp"), "nothing"],
                              capture_output=True, text=True)
        self.assertEqual(proc.returncode, 255)
        self.assertIn("^ERROR: 13, Permission denied", proc.stdout)
        self.assertNotIn("No such file", proc.stdout)


def free_bytes(path):
    stat = os.statvfs(path)
    return stat.f_bavail * stat.f_frsize


class Scale(ToolTest):
    @unittest.skipUnless(PLATFORM == "posix", "a million files: the native build only")
    def test_a_million_files_in_one_run(self):
        # Empty files, 500 to a directory, in memory where there is room
        # (writing a million files on a disk takes many minutes, in
        # /dev/shm about ten seconds of processor time); compiling them is
        # left to bench/tree_scale.sh. The run once stopped at 262,000 files.
        files, per_directory = 1000000, 500
        where = self.dir
        shm = "/dev/shm"
        if os.path.isdir(shm) and os.statvfs(shm).f_favail > 1200000 and free_bytes(shm) > 3 << 30:
            where = tempfile.mkdtemp(prefix="vex_million_", dir=shm)
            self.addCleanup(shutil.rmtree, where, True)
        elif free_bytes(self.dir) < 8 << 30:
            self.skipTest("less than 8 GiB free for a million files")
        started = time.monotonic()
        for d in range(files // per_directory):
            directory = os.path.join(where, "site", "d%02d" % (d % 40), "s%04d" % d)
            os.makedirs(directory)
            for i in range(per_directory):
                os.close(os.open(os.path.join(directory, "f%d.txt" % i), os.O_CREAT | os.O_WRONLY, 0o644))
        written = time.monotonic()
        result = self.run_tool("-q", "-m", "object", "-s", "100", "res.cpp", "-d", "site", "*", cwd=where)
        ran = time.monotonic()
        self.assertEqual((result.code, result.out), (0, ""))
        with open(os.path.join(where, "res.h"), encoding="latin-1") as f:
            records = sum(1 for line in f if line.startswith("\t\t\textern const vex_resource "))
        self.assertEqual(records, files)
        definitions = 0
        for shard in ["res.cpp"] + ["res.%d.cpp" % k for k in range(1, 100)]:
            with open(os.path.join(where, shard), encoding="latin-1") as f:
                definitions += sum(1 for line in f if line.startswith("\t\t\tconst vex_resource "))
        self.assertEqual(definitions, files)
        print("\n  a million files: tree %.0f s, run %.0f s" % (written - started, ran - written))


class LargeObjects(ToolTest):
    @unittest.skipUnless(PLATFORM == "posix" and os.uname().machine == "x86_64", "ELF x86-64")
    def test_an_object_past_2_gib_links_and_runs(self):
        # Two sparse files of 1.1 GiB: read as zeros, and the object's and
        # the program's runs of zeros are holes. The program reads the last
        # byte of each, past 2 GiB from its code.
        if free_bytes(self.dir) < 12 << 30:
            self.skipTest("less than 12 GiB free for an object and a program of 2.2 GiB")
        make_tree(self.dir, {"site/index.html": "<p>hi</p>"})
        size = 1100 << 20
        for name, last in (("a.bin", b"A"), ("b.bin", b"B")):
            with open(self.path("site", name), "wb") as f:
                f.truncate(size - 1)
                f.seek(size - 1)
                f.write(last)
        result = self.run_tool("-q", "-m", "object:elf-x86-64", "res.cpp", "-d", "site", "*")
        self.assertEqual((result.code, result.out), (0, ""))
        # The fastest linker at hand: lld 17 or later places the large
        # section (lld 14 does not), else GNU ld; bench/large_object.sh
        # measures both.
        lld = shutil.which("ld.lld-19") and "/usr/lib/llvm-19/bin"
        linker = ["-fuse-ld=lld", "-B" + lld] if lld else []
        program = TWO_BIG_FILES_PROGRAM
        with open(self.path("main.cpp"), "w") as f:
            f.write(program)
        exe = self.path("big.exe")
        compiler = COMPILERS[0][1]
        proc = subprocess.run(compiler + ["-std=c++17", "-O1", "-I" + os.path.join(REPO, "include"),
                                          "-I" + os.path.join(REPO, "tests", "consumer"),
                                          "-DVEX_GENERATED_HEADER=\"%s\"" % self.path("res.h"),
                                          self.path("res.cpp"), self.path("main.cpp"),
                                          self.path("res.data.o"), *linker, "-o", exe],
                              capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stderr[-3000:])
        run = subprocess.run([exe], capture_output=True, text=True)
        self.assertEqual((run.returncode, run.stdout), (0, "/a.bin A\n/b.bin B\n/index.html >\n"))


TWO_BIG_FILES_PROGRAM = r'''
#include "pch.h"
#include <cstdio>

static int served;  // .bss: reached from the code with the small code model, past the data

int main() {
  vex_res::sort_all();
  for (size_t i = 0; i < vex_res::all_length; ++i) {
    const vex_resource* r = vex_res::all[i];
    std::printf("%s %c\n", r->path_root_a, r->data[r->size - 1]);
    ++served;
  }
  return served == 3 ? 0 : 1;
}
'''
