"""The command line: switches, usage, banner, exit codes and -d changes."""
import os
import re

from harness import BANNER, REPO, USAGE, PLATFORM, ToolTest

OPENING = "<x.cpp>  \n<x.h>  \n<x.1.tmp>\n<x.2.tmp>\n<x.3.tmp>\n<x.4.tmp>\n\n"
FINISHED = "\n[finished]\n"


def no_match(pattern):
    return "[%s]\nh_dir(%s) failed: 2\n" % (pattern, pattern)


class CommandLine(ToolTest):
    def test_usage_and_its_exit_codes(self):
        for args, code in [([], 0), (["x.cpp"], 1), (["-q", "x.cpp"], 1), (["-a", "x.cpp"], 1),
                           (["-q", "-a", "-b", "x.cpp"], 1), (["-a", "-b", "-f", "-h", "x.cpp"], 1)]:
            result = self.run_tool(*args)
            self.assertEqual(result.out, USAGE, args)
            self.assertEqual(result.code, code, args)
        self.assertLeftOnly([])

    def test_help_version_and_unknown_long_options(self):
        with open(os.path.join(REPO, "docs", "command-line.md")) as f:
            reference = f.read()
        result = self.run_tool("--help", "x.cpp", "src")
        self.assertEqual(result.code, 0)
        # Every switch the command-line reference documents has a line of
        # its own, and so has every form of -m that it names.
        switches = re.findall(r"^\| `(-\w)", reference, re.M)
        self.assertIn("-x", switches)
        forms = re.findall(r"`(\w+)`", re.search(r"^\| `-m form`.*$", reference, re.M).group(0))
        self.assertIn("incbin", forms)
        for item in switches + forms + ["--version"]:
            self.assertRegex(result.out, r"(?m)^  %s " % item)
        self.assertLeftOnly([])

        # The project's version, and brotli and zstd listed exactly when -x writes them.
        with open(os.path.join(REPO, "CMakeLists.txt")) as f:
            version = re.search(r"project\(vex_resource_builder VERSION (\S+)", f.read()).group(1)
        result = self.run_tool("--version")
        self.assertEqual(result.code, 0)
        name, libraries = result.out.splitlines()
        self.assertEqual(name, "vex_resource_builder " + version)
        self.assertRegex(libraries, r"^libraries: zlib \d+\.\d+")
        with open(self.path("page.html"), "w") as f:
            f.write("<p>compress me</p>" * 100)
        with_x = self.run_tool("-x", "x.cpp", "page.html")
        self.assertEqual(with_x.code, 0, with_x.out)
        self.assertEqual("brotli" in libraries, "brotli is unavailable" not in with_x.out, libraries)
        self.assertEqual("zstd" in libraries, "zstd is unavailable" not in with_x.out, libraries)

        # A long option where a switch may stand is refused, also --help
        # after a switch; one as a switch's value is that value.
        for args, option in [(["--verbose"], "--verbose"), (["--verbose", "y.cpp", "src"], "--verbose"),
                             (["-q", "-f", "--help", "y.cpp", "src"], "--help"), (["-a", "-b", "--", "y.cpp"], "--")]:
            result = self.run_tool(*args)
            self.assertEqual(result.code, 1, args)
            self.assertEqual(result.out, "unknown option [%s]: see vex_resource_builder --help\n" % option)
        result = self.run_tool("-t", "--1", "y.cpp", "src")
        self.assertEqual((result.code, result.out.split(":")[0]), (1, "invalid time [--1]"))
        self.assertFalse(os.path.exists(self.path("y.cpp")))

    def test_run_prints_banner_set_walk_and_finish(self):
        result = self.run_tool("x.cpp", "src")
        self.assertEqual(result.code, 0)
        self.assertEqual(result.out, BANNER + OPENING + no_match("src") + FINISHED)
        self.assertLeftOnly(["x.cpp", "x.h"])

    def test_quiet_prints_failures_only(self):
        result = self.run_tool("-q", "x.cpp", "-d", ".", "src")
        self.assertEqual(result.code, 0)
        self.assertEqual(result.out, "h_dir(src) failed: 2\n")

    def test_switches_are_taken_in_their_order_only(self):
        # -f is taken, then -a is not looked for again: it is the target.
        result = self.run_tool("-f", "-a", "x.cpp", "y")
        self.assertEqual(result.code, 0)
        self.assertIn("<-a>  \n<-ah>  \n", result.out)
        self.assertIn(no_match("x.cpp") + no_match("y"), result.out)
        self.assertLeftOnly(["-a", "-ah"])
        # Only the first two characters count: -quiet is -q, -ab is -a.
        result = self.run_tool("-quiet", "-ab", "x.cpp", "y")
        self.assertEqual(result.out, "h_dir(y) failed: 2\n")
        self.assertEqual(result.code, 0)

    def test_a_d_before_the_target_is_the_target(self):
        result = self.run_tool("-d", "src")
        self.assertEqual(result.code, 0)
        self.assertIn("<-d>  \n", result.out)
        self.assertLeftOnly(["-d", "-dh"])

    def test_directory_changes(self):
        os.makedirs(self.path("sub", "deeper"))
        result = self.run_tool("x.cpp", "-dsub", "-d", "deeper", "nothing")
        self.assertEqual(result.code, 0)
        self.assertEqual(result.out, BANNER + OPENING + "cd [sub]\ncd [deeper]\n" + no_match("nothing") + FINISHED)

    def test_loop_stops_at_missing_or_empty_directory(self):
        result = self.run_tool("x.cpp", "-d")
        self.assertEqual((result.code, result.out), (0, BANNER + OPENING + FINISHED))
        result = self.run_tool("x.cpp", "-d", "", "src")
        self.assertEqual((result.code, result.out), (0, BANNER + OPENING + FINISHED))
        result = self.run_tool("x.cpp", "-dmissing", "src")
        self.assertEqual(result.code, 0)
        self.assertEqual(result.out, BANNER + OPENING + "failed to change directory to [missing]\n" + FINISHED)
        with open(self.path("x.cpp")) as f:
            self.assertTrue(f.read().endswith("void sort_all()\n\t{\n\t\tqsort(all, all_length, sizeof(*all), "
                                              "vex_res_compare);\n\t}\n}\n\n\n"))

    def test_output_set_that_cannot_be_opened_fails_the_run(self):
        for quiet in ([], ["-q"]):
            result = self.run_tool(*quiet, os.path.join("missing", "x.cpp"), "src")
            self.assertEqual(result.code, 255)
            self.assertTrue(result.out.endswith("cannot open DST.cpp [%s]\n\n[FAILED]\n\n"
                                                % os.path.join("missing", "x.cpp")), result.out)
            self.assertNotIn("[finished]", result.out)
            self.assertNotIn("h_dir", result.out)
            self.assertEqual(result.out.startswith(BANNER), not quiet)
            self.assertIn("open(missing", result.out)
            self.assertIn("   ^ERROR: " + ("2, " if PLATFORM == "posix" else "3, "), result.out)
