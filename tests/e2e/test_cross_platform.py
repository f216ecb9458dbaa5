"""The same tree on every platform: a Windows build gives the bytes of the
native build, and a link back into the walk is reported and not followed."""
import os
import subprocess
import unittest

import harness
from harness import ToolTest, make_tree, namespaces_with_arrays

# Names whose order differs between byte order, case-insensitive order and
# the file system's own.
MIXED_CASE_TREE = {
    "site/Readme.txt": "r", "site/about.html": "<p>a</p>", "site/B.css": "b{}", "site/a.css": "a{}",
    "site/_x.js": "x", "site/~y.txt": "y", "site/Zeta/Q.txt": "q", "site/zeta2/q.txt": "q2",
    "site/alpha/Beta.svg": "<svg/>", "site/alpha/apple.txt": "apple", "site/alpha/ABC.json": "{}",
    "site/Alpha2/x.txt": "x",
}


class SameBytesAsNative(ToolTest):
    def setUp(self):
        if harness.PLATFORM != "windows" or not harness.NATIVE_TOOL:
            self.skipTest("compares a Windows build with the native tool (--native-tool)")
        super().setUp()

    def test_a_mixed_case_tree_gives_the_same_files(self):
        make_tree(self.dir, MIXED_CASE_TREE)
        for tool, out in ((harness.TOOL, "windows"), (harness.NATIVE_TOOL, "native")):
            os.makedirs(self.path(out))
            proc = subprocess.run(tool + ["-q", "-h", "-t", "1600000000", out + "/res.cpp", "-d", "site", "*"],
                                  cwd=self.dir, capture_output=True, timeout=120)
            self.assertEqual((proc.returncode, proc.stdout), (0, b""), out)
        for name in ("res.cpp", "res.h"):
            self.assertEqual(self.read("windows", name), self.read("native", name), name)


class LinkLoop(ToolTest):
    def test_a_link_to_an_ancestor_is_reported_and_not_walked(self):
        make_tree(self.dir, {"site/a/x.txt": "x", "site/a/b/y.txt": "y"})
        os.symlink(os.path.join("..", ".."), self.path("site", "a", "b", "up"))
        result = self.run_tool("-h", "res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        self.assertTrue("\n[a/b/up/*]\nh_dir(a/b/up/*) failed: " in result.out, result.out[:1500])
        records = self.compile_and_check("res.cpp", "res.h", namespaces_with_arrays(self.path("res.h")))
        self.assertEqual(sorted(records), ["/a/b/y.txt", "/a/x.txt"])


if __name__ == "__main__":
    unittest.main()
