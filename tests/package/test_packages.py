#!/usr/bin/env python3
"""The packages CPack makes from a build. Debian: the .deb declares the
libraries the tool links; installed with apt-get (as root), a fresh
consumer finds it with no hint, and the package is removed again, with any
package its installation pulled in. Windows: the .zip holds the tool, which
runs from there on its own.

  test_packages.py --build-dir <native build>
  test_packages.py --build-dir <mingw-w64 build> --runner /usr/lib/wine/wine64
"""
import argparse
import glob
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "cmake"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from harness import keep_wineserver  # noqa: E402
from test_vex_add_resources import ConsumerProject, run  # noqa: E402

BUILD_DIR = None
RUNNER = []
PACKAGE = "vex-resource-builder"


def make_package(generator, into):
    run(["cpack", "-G", generator, "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"), "-B", into])
    extension = {"DEB": "deb", "ZIP": "zip"}[generator]
    made = glob.glob(os.path.join(into, "*." + extension))
    if len(made) != 1:
        raise AssertionError("cpack made %s" % made)
    return made[0]


def version_lines(command):
    return run(command + ["--version"]).splitlines()


def installed(name):
    proc = subprocess.run(["dpkg-query", "-W", "-f", "${db:Status-Status}", name], capture_output=True, text=True)
    return proc.stdout == "installed"


def apt_get(*args):
    run(["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=300"] + list(args),
        env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


class DebianPackage(ConsumerProject):
    package_args = staticmethod(lambda: [])  # no hint: the installed package is found where it lies

    def test_install_consume_and_remove(self):
        if RUNNER:
            self.skipTest("a Windows build makes a .zip")
        deb = make_package("DEB", os.path.join(self.dir, "package"))
        self.assertRegex(os.path.basename(deb), r"^%s_\d+\.\d+\.\d+_\w+\.deb$" % PACKAGE)
        depends = run(["dpkg-deb", "-f", deb, "Depends"])
        self.assertIn("zlib1g", depends)
        tool_version = version_lines([os.path.join(BUILD_DIR, "vex_resource_builder")])
        self.assertEqual("libbrotli" in depends, "brotli" in tool_version[1], depends)

        if os.geteuid() != 0 or not shutil.which("apt-get"):
            self.skipTest("installing the .deb needs root and apt-get")
        if installed(PACKAGE):
            self.skipTest("%s is installed already: the test leaves it alone" % PACKAGE)
        # What the installation adds: the package and any library it pulls in.
        added = re.findall(r"^Inst (\S+)", run(["apt-get", "install", "-s", deb]), re.M)
        self.assertIn(PACKAGE, added)
        try:
            apt_get("install", deb)
            self.assertEqual(version_lines(["/usr/bin/vex_resource_builder"]), tool_version)
            self.assertEqual(run(["pkg-config", "--modversion", "vex_resource_builder"]).strip(),
                             tool_version[0].split()[-1])
            self.configure()
            self.build_step()
            self.assertEqual(self.listing(), {"/index.html": "<h1>one</h1>", "/css/main.css": "body{}"})
            self.assertBuildRuns("/usr/bin/vex_resource_builder")
        finally:
            apt_get("purge", *added)
        self.assertEqual([name for name in added if installed(name)], [])
        self.assertFalse(os.path.exists("/usr/bin/vex_resource_builder"))


class WindowsZip(unittest.TestCase):
    def test_zip_holds_a_tool_that_runs_on_its_own(self):
        if not RUNNER:
            self.skipTest("a native build makes a .deb")
        work = tempfile.mkdtemp(prefix="vex_zip_")
        try:
            made = make_package("ZIP", work)
            self.assertRegex(os.path.basename(made), r"^%s-\d+\.\d+\.\d+-win64\.zip$" % PACKAGE)
            with zipfile.ZipFile(made) as archive:
                archive.extractall(os.path.join(work, "unpacked"))
                names = {re.sub(r"^[^/]+/", "", name) for name in archive.namelist()}
            for name in ("bin/vex_resource_builder.exe", "include/vex_resource_builder/vex_resource.h",
                         "lib/cmake/vex_resource_builder/vex_resource_builder-config.cmake",
                         "share/pkgconfig/vex_resource_builder.pc"):
                self.assertIn(name, names)
            # Started from the unpacked directory, where no compiler's DLLs lie.
            tool = glob.glob(os.path.join(work, "unpacked", "*", "bin", "vex_resource_builder.exe"))
            keep_wineserver(RUNNER)
            self.assertEqual(version_lines(RUNNER + tool),
                             version_lines(RUNNER + [os.path.join(BUILD_DIR, "vex_resource_builder.exe")]))
        finally:
            shutil.rmtree(work, ignore_errors=True)


def main():
    global BUILD_DIR, RUNNER
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--runner", default="", help="the command that runs the Windows build")
    args, rest = parser.parse_known_args()
    BUILD_DIR = os.path.abspath(args.build_dir)
    RUNNER = shlex.split(args.runner)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
