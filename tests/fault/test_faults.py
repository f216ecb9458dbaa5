#!/usr/bin/env python3
"""Fault injection, interrupted runs and inputs that are unreadable or vanish,
against the fault test build of the tool (injecting seam; see
injecting_seam.cpp).

  test_faults.py --tool build/tests/vex_resource_builder_faults --compiler g++
  test_faults.py --platform windows --tool build-win/tests/vex_resource_builder_faults.exe \
                 --runner /usr/lib/wine/wine64 --compiler "x86_64-w64-mingw32-g++-posix -static"

Windows has no /proc and no stop signal: there the sweep checks messages,
exit codes, compiled output and left-over parts, and the cases that need a
stopped run are skipped.
"""
import argparse
import os
import shlex
import shutil
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))
import harness  # noqa: E402
from harness import ToolTest, make_tree, namespaces_with_arrays  # noqa: E402

TREE = {"site/index.html": "<h1>hi</h1>", "site/css/a.css": "a{}", "site/css/deep/b.css": "b{}" * 100,
        "site/img/logo.svg": b"\xef\xbb\xbf<svg/>"}
NAMESPACES = ["css", "img"]
ARGS = ["-q", "-M", "out/res.d", "out/res.cpp", "-d", "site", "*"]
OPERATIONS = ["open", "read", "write", "seek", "truncate", "list", "rename"]
# errno values injected: EIO everywhere; for opens also "no such file" and
# "permission denied", which the file object treats differently.
ERRORS = {"open": [5, 2, 13], "read": [5], "write": [5, 28], "seek": [5], "truncate": [5], "list": [5, 2],
          "rename": [5]}
# Win32 codes, one per operation so that the sweep stays short under wine:
# access denied, read fault, disk full, seek error, access denied, path not found.
WINDOWS_ERRORS = {"open": [5], "read": [30], "write": [112], "seek": [25], "truncate": [5], "list": [3],
                  "rename": [5]}
SANITIZER_MARKS = ("AddressSanitizer", "runtime error:", "LeakSanitizer")


def run(args, cwd, env_extra, timeout=120):
    env = dict(os.environ, **env_extra)
    return subprocess.run(harness.TOOL + args, cwd=cwd, env=env, capture_output=True, timeout=timeout)


def read_report(path):
    counts, leaked = {}, []
    with open(path) as f:
        for line in f:
            words = line.split()
            if words[0] == "leaked":
                leaked.append(line.strip())
            else:
                counts[words[0]] = int(words[1])
    return counts, leaked


def start_stopped(test, plan, args):
    """Starts the tool with the fault plan and waits until a "stop" action
    has stopped it."""
    if harness.PLATFORM == "windows":
        test.skipTest("a run cannot be stopped on Windows")
    proc = subprocess.Popen(harness.TOOL + args, cwd=test.dir, env=dict(os.environ, VEX_FAULT=plan),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    deadline = time.time() + 60
    while time.time() < deadline:
        with open("/proc/%d/stat" % proc.pid) as f:
            if f.read().split(") ")[1].startswith("T"):
                return proc
        time.sleep(0.02)
    proc.kill()
    proc.communicate()
    test.fail("the run never stopped")


class FaultSweep(ToolTest):
    args = ARGS
    missing_entry_is_a_miss = False
    outputs_written = ("res.cpp", "res.h", "res.d")
    flags = ()
    # Whether the run puts files under their names by renaming them.
    renames = False
    tree = TREE
    namespaces = NAMESPACES
    # Output of -z: the records of files held in one coding are checked
    # through their side records, their bytes decoded.
    stored = False

    def setUp(self):
        super().setUp()
        make_tree(self.dir, self.tree)
        os.makedirs(self.path("out"))
        reference = self.run_faulted("")
        self.assertEqual((reference.returncode, reference.stdout), (0, b""))
        self.counts, leaked = read_report(self.path("report"))
        self.assertEqual(leaked, [])
        self.reference = self.outputs()
        self.reference_records = self.compile_and_check("out/res.cpp", "out/res.h", self.namespaces, flags=self.flags,
                                                        stored=self.stored)
        self.checked = set()

    def run_faulted(self, plan):
        shutil.rmtree(self.path("out"), ignore_errors=True)
        os.makedirs(self.path("out"))
        return run(self.args, self.dir, {"VEX_FAULT": plan, "VEX_FAULT_REPORT": self.path("report")})

    def outputs(self):
        result = {}
        for name in self.outputs_written:
            path = self.path("out", name)
            result[name] = None
            if os.path.exists(path):
                with open(path, "rb") as f:
                    result[name] = f.read()
        return result

    def check_complete_output(self):
        """An output set reported as complete compiles and holds the exact
        bytes of every file it has; files may be missing only because a
        reported failure left them out. Outputs already checked are not
        compiled again."""
        key = tuple(sorted(self.outputs().items()))
        if key in self.checked:
            return
        self.checked.add(key)
        records = self.compile_and_check("out/res.cpp", "out/res.h", namespaces_with_arrays(self.path("out", "res.h")),
                                         flags=self.flags, stored=self.stored)
        for url, record in records.items():
            self.assertIn(url, self.reference_records)
            self.assertEqual(record["data"], self.reference_records[url]["data"], url)

    def check_cache(self):
        pass

    def check_whole_outputs(self):
        pass

    def test_every_single_fault_is_reported_and_the_exit_code_tells_the_truth(self):
        points = 0
        for operation in OPERATIONS:
            if operation != "rename" or self.renames:
                self.assertGreater(self.counts[operation], 0, operation)
            for call in range(1, self.counts[operation] + 1):
                for error in (WINDOWS_ERRORS if harness.PLATFORM == "windows" else ERRORS)[operation]:
                    plan = "%s:%d:%d" % (operation, call, error)
                    with self.subTest(plan=plan):
                        points += 1
                        proc = self.run_faulted(plan)
                        out = proc.stdout.decode("utf-8", "replace")
                        err = proc.stderr.decode("utf-8", "replace")
                        self.assertFalse(any(mark in err for mark in SANITIZER_MARKS), err[-3000:])
                        self.assertIn(proc.returncode, (0, 2, 255), out + err)
                        outputs = self.outputs()
                        if not (error == 2 and self.missing_entry_is_a_miss and proc.returncode == 0
                                and outputs == self.reference):
                            self.assertNotEqual(out, "", "a fault without a message")
                        self.assertEqual(read_report(self.path("report"))[1], [])
                        self.assertEqual([n for _, _, names in os.walk(self.path("out"))
                                          for n in names if n.endswith(".tmp")], [])
                        self.check_cache()
                        self.check_whole_outputs()
                        if proc.returncode == 0:
                            if outputs != self.reference:
                                self.check_complete_output()
                        elif outputs == self.reference:
                            # Nothing was lost, yet the run says so: only a failed
                            # operation on the output set or a failed read of
                            # a source may do that.
                            self.assertIn(operation, ("write", "seek", "truncate", "read"), out)
        print("\nfault points swept: %d (%s); distinct complete outputs compiled: %d" % (points, ", ".join(
            "%s %d" % (op, self.counts[op]) for op in OPERATIONS), len(self.checked)), file=sys.stderr)


class FaultSweepWithExtras(FaultSweep):
    """-x with three workers on a fresh cache: the cache entries are written
    and renamed."""
    args = ARGS[:3] + ["-x", "-j", "3"] + ARGS[3:]
    warm = None
    renames = True
    # A cache entry that is not found is compressed again, without a word:
    # nothing is lost, the output is the same.
    missing_entry_is_a_miss = True

    def setUp(self):
        super().setUp()
        self.reference_cache = self.cache()
        self.assertGreater(len(self.reference_cache), 0)

    def cache(self):
        folder = self.path("out", "res.cache")
        if not os.path.isdir(folder):
            return {}
        return {name: open(os.path.join(folder, name), "rb").read() for name in os.listdir(folder)}

    def check_cache(self):
        """Whatever failed, an entry under a valid name is a whole one."""
        for name, data in self.cache().items():
            self.assertEqual(data, self.reference_cache.get(name), name)

    def run_faulted(self, plan):
        shutil.rmtree(self.path("out"), ignore_errors=True)
        os.makedirs(self.path("out"))
        if self.warm:
            shutil.copytree(self.warm, self.path("out", "res.cache"))
        return run(self.args, self.dir, {"VEX_FAULT": plan, "VEX_FAULT_REPORT": self.path("report")})


class FaultSweepWithWarmCache(FaultSweepWithExtras):
    """-x with every entry cached before each run: the entries are read."""

    renames = False

    def setUp(self):
        super().setUp()
        self.warm = self.path("warm")
        shutil.copytree(self.path("out", "res.cache"), self.warm)
        self.assertEqual(self.run_faulted("").returncode, 0)
        self.counts, _ = read_report(self.path("report"))


class FaultSweepStoreCompressed(FaultSweepWithExtras):
    """-z gzip: a file that compresses is read into memory and written with
    its side record, in gzip only (b.css), or as it is when gzip saves too
    little (noise.txt); a run that exits 0 holds every file's bytes."""
    args = ARGS[:3] + ["-z", "gzip", "-j", "3"] + ARGS[3:]
    tree = dict(TREE, **{"site/noise.txt": bytes(range(37, 137))})
    stored = True

    def setUp(self):
        super().setUp()
        held = {url: record["stored"] for url, record in self.reference_records.items()}
        self.assertEqual((held["/css/deep/b.css"], held["/noise.txt"]), ("gzip", "identity"))


class IncbinFaultSweep(FaultSweep):
    """The same sweep over the incbin form, whose binary file is one more
    output: a run that exits 0 has written it whole."""
    args = ARGS[:3] + ["-m", "incbin"] + ARGS[3:]
    outputs_written = FaultSweep.outputs_written + ("res.bin",)

    @property
    def flags(self):
        return ["-Wa,-I" + self.path("out")]


class ObjectFaultSweep(FaultSweep):
    """The same sweep over the object form: the object is written under a
    temporary name, with its symbol table in two parts, and named when
    whole; whatever fails, an object under its name is a whole one."""
    args = ARGS[:3] + ["-m", "object"] + ARGS[3:]
    renames = True
    # Two files in two places are enough for every step of the object.
    tree = {"site/index.html": "<h1>hi</h1>", "site/css/a.css": "a{}"}
    namespaces = ["css"]

    @property
    def outputs_written(self):
        return FaultSweep.outputs_written + (harness.native_object(),)

    @property
    def flags(self):
        return [self.path("out", harness.native_object())]

    def check_whole_outputs(self):
        obj = self.path("out", harness.native_object())
        if os.path.exists(obj):
            symbols = subprocess.run(["llvm-nm", obj], capture_output=True, text=True)
            self.assertEqual(symbols.returncode, 0, symbols.stderr)


class Interrupted(ToolTest):
    def test_a_killed_run_leaves_no_part_file(self):
        # A large file, and the run stopped in the middle of reading it.
        os.makedirs(self.path("site"))
        with open(self.path("site", "big.bin"), "wb") as f:
            f.write(os.urandom(1 << 20) * 24)
        proc = start_stopped(self, "read:5:stop", ["-q", "res.cpp", "-d", "site", "*"])
        # Mid-file: the target holds part of the data.
        self.assertGreater(os.path.getsize(self.path("res.cpp")), 0)
        self.kill_with_parts_unnamed(proc)
        self.assertEqual(proc.returncode, -signal.SIGKILL)
        self.assertLeftOnly(["res.cpp", "res.h", "site"])

    def kill_with_parts_unnamed(self, proc):
        """Kills the stopped run after checking that its four parts are open
        but none of them has a name any more."""
        try:
            open_files = [os.readlink("/proc/%d/fd/%s" % (proc.pid, fd)) for fd in os.listdir("/proc/%d/fd" % proc.pid)]
            self.assertEqual(len([f for f in open_files if ".tmp" in f and f.endswith("(deleted)")]), 4, open_files)
            proc.send_signal(signal.SIGKILL)
        finally:
            proc.kill()
            proc.communicate()

    def test_a_killed_run_with_workers_leaves_no_part_file_and_no_partial_entry(self):
        # -x with two workers, stopped late in the walk, when the first
        # files' entries are stored and later ones are being compressed: the
        # cache then holds whole entries or temporary files, never a part
        # under an entry's name, and the next run finds nothing damaged.
        make_tree(self.dir, {"site/f%02d.css" % i: ("p%d { margin: %dpx }\n" % (i, i)) * 1000 for i in range(80)})
        args = ["-q", "-x", "-j", "2", "res.cpp", "-d", "site", "*"]
        self.kill_with_parts_unnamed(start_stopped(self, "read:300:stop", args))
        self.assertLeftOnly(["res.cache", "res.cpp", "res.h", "res.manifest.json", "site"])
        again = run(args[1:], self.dir, {})
        self.assertEqual(again.returncode, 0)
        self.assertNotIn(b"damaged", again.stdout)
        self.assertRegex(again.stdout.decode(), r"cache: [1-9]\d* hits")

    def test_a_run_killed_after_the_binary_file_leaves_a_target_that_does_not_compile(self):
        # The binary file is whole, the target is not: a build that took it
        # would fail to compile rather than embed a partial tree.
        make_tree(self.dir, {"site/a.txt": "a", "site/b.txt": "b"})
        proc = start_stopped(self, "read:4:stop", ["-q", "-m", "incbin", "res.cpp", "-d", "site", "*"])
        try:
            self.assertEqual(self.read("res.bin"), b"a" + bytes(7) + b"b" + bytes(7))
            proc.send_signal(signal.SIGKILL)
        finally:
            proc.kill()
            proc.communicate()
        self.assertLeftOnly(["res.bin", "res.cpp", "res.h", "site"])
        check = subprocess.run(["g++", "-std=c++17", "-fsyntax-only", "-I" + os.path.join(harness.REPO, "include"),
                                "-I" + os.path.join(harness.REPO, "tests", "consumer"),
                                "-DVEX_GENERATED_HEADER=\"%s\"" % self.path("res.h"), self.path("res.cpp")],
                               capture_output=True)
        self.assertNotEqual(check.returncode, 0)


    def test_a_killed_run_leaves_no_object_that_a_linker_takes(self):
        os.makedirs(self.path("site"))
        with open(self.path("site", "big.bin"), "wb") as f:
            f.write(os.urandom(1 << 20) * 24)
        proc = start_stopped(self, "read:5:stop", ["-q", "-m", "object", "res.cpp", "-d", "site", "*"])
        try:
            # Mid-file: the data are being written under the temporary name,
            # where a text still holds the header's place.
            with open(self.path("res.data.o.tmp"), "rb") as f:
                self.assertEqual(f.read(64), b"unfinished object of vex_resource_builder\n".ljust(64, b"\0"))
            proc.send_signal(signal.SIGKILL)
        finally:
            proc.kill()
            proc.communicate()
        self.assertLeftOnly(["res.cpp", "res.data.o.tmp", "res.h", "site"])
        self.assertNotEqual(subprocess.run(["llvm-nm", self.path("res.data.o.tmp")], capture_output=True).returncode, 0)
        # The next run takes the name over and leaves the whole object only.
        self.assertEqual(subprocess.run(harness.TOOL + ["-q", "-m", "object", "res.cpp", "-d", "site", "*"],
                                        cwd=self.dir, capture_output=True).returncode, 0)
        self.assertLeftOnly(["res.cpp", "res.data.o", "res.h", "site"])


class VanishingInputs(ToolTest):
    def start_stopped(self, plan, *args):
        return start_stopped(self, plan, ["-q", "res.cpp"] + list(args))

    def finish(self, proc):
        proc.send_signal(signal.SIGCONT)
        out, err = proc.communicate(timeout=60)
        return proc.returncode, out.decode(), err.decode()

    def test_a_file_removed_between_listing_and_open(self):
        make_tree(self.dir, {"site/one.txt": "1", "site/two.txt": "2", "site/zzz.txt": "3"})
        # Stop in the second listing call (after one.txt was embedded, before
        # two.txt is delivered and opened).
        proc = self.start_stopped("list:2:stop", "-d", "site", "*")
        os.remove(self.path("site", "two.txt"))
        code, out, err = self.finish(proc)
        self.assertEqual(code, 0, out + err)
        self.assertIn("cannot open SRC [two.txt]\n", out)
        self.assertEqual(sorted(self.compile_and_check("res.cpp", "res.h", [])), ["/one.txt", "/zzz.txt"])

    def test_a_directory_removed_during_the_walk(self):
        make_tree(self.dir, {"site/a/x.txt": "x", "site/b/y.txt": "y", "site/c.txt": "c"})
        # The first listing (of site) has named a; remove b before it is reached.
        proc = self.start_stopped("list:2:stop", "-d", "site", "*")
        shutil.rmtree(self.path("site", "b"))
        code, out, err = self.finish(proc)
        self.assertEqual(code, 0, out + err)
        self.assertEqual(out, "h_dir(b/*) failed: 2\n")
        records = self.compile_and_check("res.cpp", "res.h", ["a"])
        self.assertEqual(sorted(records), ["/a/x.txt", "/c.txt"])

    def test_a_dangling_symbolic_link_as_source(self):
        make_tree(self.dir, {"site/ok.txt": "ok"})
        os.symlink("nowhere", self.path("site", "gone.txt"))
        result = self.run_tool("-q", "res.cpp", "-d", "site", "gone.txt", "ok.txt")
        self.assertEqual(result.code, 0)
        self.assertIn("gone.txt", result.out)
        self.assertEqual(sorted(self.compile_and_check("res.cpp", "res.h", [])), ["/ok.txt"])

    def test_a_file_without_read_permission(self):
        if harness.PLATFORM == "windows":
            self.skipTest("POSIX permissions")
        make_tree(self.dir, {"site/open.txt": "open", "site/secret.txt": "secret"})
        os.chmod(self.path("site", "secret.txt"), 0)
        os.chmod(self.dir, 0o777)
        command = harness.TOOL + ["-q", "res.cpp", "-d", "site", "*"]
        if os.geteuid() == 0:
            # Root reads everything; run as nobody so that the permission counts.
            if not shutil.which("setpriv"):
                self.skipTest("needs setpriv to drop root")
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
        proc = subprocess.run(command, cwd=self.dir, capture_output=True, timeout=60)
        out = proc.stdout.decode()
        self.assertEqual(proc.returncode, 0, out + proc.stderr.decode())
        self.assertIn("cannot open SRC [secret.txt]\n", out)
        self.assertIn("Permission denied", out)
        self.assertEqual(sorted(self.compile_and_check("res.cpp", "res.h", [])), ["/open.txt"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--compiler", action="append", default=[], help="compiler command for the generated code")
    parser.add_argument("--platform", choices=["posix", "windows"], default="posix")
    parser.add_argument("--runner", default="", help="command prefix that runs the tool and compiled consumers")
    args, rest = parser.parse_known_args()
    runner = shlex.split(args.runner)
    harness.PLATFORM = args.platform
    harness.TOOL = runner + [os.path.abspath(args.tool)]
    harness.COMPILERS = [(shlex.split(c)[0].split("/")[-1], shlex.split(c), runner) for c in args.compiler or ["g++"]]
    os.environ.setdefault("WINEDEBUG", "-all")
    harness.keep_wineserver(runner)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
