"""The output set: derived names, skeleton, append mode, failures."""
import os
import resource
import signal
import subprocess
import unittest

import harness
from harness import BANNER, PLATFORM, ToolTest

SKELETON_CPP = ("#include \"pch.h\"\n\n\nnamespace vex_res_data\n{\n}\n\n\nnamespace vex_res\n{\n"
                "\n\tconst vex_resource * all[1] = { nullptr };\n\n\tconst size_t all_length = 0;\n"
                "\n\tvoid sort_all()\n\t{\n\t\tqsort(all, all_length, sizeof(*all), vex_res_compare);\n\t}\n}\n\n\n")
SKELETON_H = ("namespace vex_res\n{\n\n\textern const vex_resource * all[];\n\textern const size_t all_length;\n"
              "}\n\n\n")
APPENDED_CPP = "namespace vex_res_data\n{\n}\n\n\nnamespace vex_res\n{\n}\n\n\n"
APPENDED_H = "namespace vex_res\n{\n}\n\n\n"


def progress(cpp, stem, mark=" "):
    return "<%s> %s\n<%sh> %s\n<%s1.tmp>\n<%s2.tmp>\n<%s3.tmp>\n<%s4.tmp>\n\n" % (
        cpp, mark, stem, mark, stem, stem, stem, stem)


class OutputSet(ToolTest):
    def test_skeleton_without_resources_compiles_and_links(self):
        result = self.run_tool("res.cpp", "nothing*")
        self.assertEqual(result.code, 0)
        self.assertEqual(self.read("res.cpp").decode(), SKELETON_CPP)
        self.assertEqual(self.read("res.h").decode(), SKELETON_H)
        self.assertLeftOnly(["res.cpp", "res.h"])
        self.assertEqual(self.compile_and_check("res.cpp", "res.h", []), {})

    def test_derived_names(self):
        os.makedirs(self.path("site.old"))
        # Only the last component's dot counts: a directory's is no extension.
        cases = [("res.main.cpp", "res.main.", ["res.main.cpp", "res.main.h"]),
                 ("out", "out", ["out", "outh"]),
                 (os.path.join("site.old", "out"), os.path.join("site.old", "out"),
                  [os.path.join("site.old", "out"), os.path.join("site.old", "outh")])]
        for target, stem, left in cases:
            result = self.run_tool(target, "nothing")
            self.assertEqual(result.code, 0)
            self.assertTrue(result.out.startswith(BANNER + progress(target, stem)), result.out)
            for name in left:
                self.assertTrue(os.path.exists(self.path(name)), name)
            self.assertFalse([n for n in os.listdir(self.dir) if n.endswith(".tmp")])
        self.assertEqual(sorted(os.listdir(self.path("site.old"))), ["out", "outh"])
        self.assertFalse(os.path.exists(self.path("site.h")))

    def test_target_dash_writes_the_source_to_standard_output(self):
        result = self.run_tool("-", "nothing")
        self.assertEqual(result.code, 0)
        # The banner comes before the target is opened; after that the
        # console lines go to standard error.
        self.assertEqual(result.out, BANNER + SKELETON_CPP)
        self.assertTrue(result.err.startswith("<-> "), result.err)
        self.assertIn("[finished]", result.err)
        self.assertLeftOnly(["-h"])

    def test_append_keeps_earlier_content_and_merged_namespaces_compile(self):
        self.run_tool("res.cpp", "nothing")
        for _ in range(2):
            result = self.run_tool("-a", "res.cpp", "nothing")
            self.assertEqual(result.code, 0)
            self.assertIn(progress("res.cpp", "res.", "+"), result.out)
        self.assertEqual(self.read("res.cpp").decode(), SKELETON_CPP + APPENDED_CPP * 2)
        self.assertEqual(self.read("res.h").decode(), SKELETON_H + APPENDED_H * 2)
        self.assertEqual(self.compile_and_check("res.cpp", "res.h", []), {})

    def test_append_to_a_new_target_writes_no_header_line(self):
        result = self.run_tool("-a", "new.cpp", "nothing")
        self.assertEqual(result.code, 0)
        self.assertIn(progress("new.cpp", "new.", "+"), result.out)
        self.assertEqual(self.read("new.cpp").decode(), APPENDED_CPP)
        self.assertEqual(self.read("new.h").decode(), APPENDED_H)

    def test_quiet_run_prints_nothing(self):
        result = self.run_tool("-q", "res.cpp", "-d", ".", "nothing")
        self.assertEqual(result.out, "h_dir(nothing) failed: 2\n")
        self.assertEqual(self.read("res.cpp").decode(), SKELETON_CPP)

    def test_part_that_cannot_be_created(self):
        os.makedirs(self.path("x.3.tmp"))
        result = self.run_tool("x.cpp", "src")
        self.assertEqual(result.code, 255)
        head = BANNER + "<x.cpp>  \n<x.h>  \n<x.1.tmp>\n<x.2.tmp>\nopen(x.3.tmp)\n   ^ERROR: "
        self.assertTrue(result.out.startswith(head), result.out)
        self.assertTrue(result.out.endswith("cannot open DST.3.tmp [x.3.tmp]\n\n[FAILED]\n\n"), result.out)
        self.assertEqual(self.read("x.cpp").decode(), "#include \"pch.h\"\n\n\nnamespace vex_res_data\n{\n")
        self.assertEqual(self.read("x.h").decode(), "namespace vex_res\n{\n")
        # The parts are gone; where the system lets a directory be opened
        # for the retry, delete-on-close may take the empty directory too.
        left = ["x.cpp", "x.h", "x.3.tmp"] if PLATFORM == "posix" else ["x.cpp", "x.h"]
        self.assertLeftOnly(left)

    def test_name_too_long_for_derived_names_is_refused(self):
        # No derived name fits: the target is refused before anything is created.
        long_name = "a" * (65536 if PLATFORM == "windows" else 32768)
        result = self.run_tool(long_name + ".cpp", "src") if PLATFORM == "posix" else None
        if result is None:
            self.skipTest("the command line of Windows cannot carry such a name")
        self.assertEqual(result.code, 255)
        self.assertIn("failed to copy name to pNAME_DST [%s.cpp]\n" % long_name, result.out)
        self.assertLeftOnly([])

    @unittest.skipIf(PLATFORM != "posix", "needs a POSIX file size limit")
    def test_failed_write_makes_a_distinct_exit_code(self):
        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (120, 120))

        proc = subprocess.run(harness.TOOL + ["res.cpp", "nothing"], cwd=self.dir, capture_output=True,
                              preexec_fn=limit_file_size)
        out = proc.stdout.decode()
        self.assertEqual(proc.returncode, 2, out)
        self.assertIn("failed to", out)
        self.assertIn("[finished]", out)
