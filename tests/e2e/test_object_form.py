"""The object form: the tool writes the object file itself. Natively it is
linked and checked record by record (also under link-time optimisation,
as a position-independent executable and from a shared library); the
other formats are cross-linked and run under qemu or wine where that can
be done here, and otherwise taken apart with the LLVM tools."""
import os
import shutil
import subprocess
import unittest

from harness import PLATFORM, ToolTest, make_tree

TREE = {"site/index.html": "<h1>hi</h1>", "site/css/a.css": b"\xef\xbb\xbfa{}", "site/empty.txt": b"",
        "site/img/logo.bin": bytes(range(256)) * 33}
NATIVE_OBJECT = "res.data.obj" if PLATFORM == "windows" else "res.data.o"


class ObjectForm(ToolTest):
    def setUp(self):
        super().setUp()
        make_tree(self.dir, TREE)
        os.makedirs(self.path("out"))

    def generate(self, *switches, target="out/res.cpp"):
        result = self.run_tool("-q", "-M", "out/res.d", *switches, target, "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        return result

    def test_object_holds_the_records_bytes_and_belongs_to_the_output_set(self):
        self.generate()
        words = self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"])
        self.generate("-m", "object")
        self.assertLeftOnly(["res.cpp", "res.d", "res.h", NATIVE_OBJECT], self.path("out"))
        with open(self.path("out", "res.d")) as f:
            self.assertEqual(f.readline(), "out/res.cpp out/%s: \\\n" % NATIVE_OBJECT)
        records = self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"],
                                         flags=[self.path("out", NATIVE_OBJECT)])
        self.assertEqual(records, words)
        # A target inside the walked tree: neither the object being written
        # nor the one of the run before is embedded.
        for _ in range(2):
            result = self.run_tool("-q", "-m", "object", "res.cpp", "*", cwd=self.path("site"))
            self.assertIn("skipped [%s.tmp]: it is written by this run\n" % NATIVE_OBJECT, result.out)
        self.assertNotIn("res_data_o", self.read("site", "res.h").decode())
        self.assertNotIn(".tmp", "".join(os.listdir(self.path("site"))))

    def test_refused_before_anything_is_written(self):
        for switches, message in ((["-m", "object", "-"], "needs a target file"),
                                  (["-m", "object:elf-sparc", "res.cpp"], "invalid object format [elf-sparc]: give "
                                   "elf-x86-64, elf-arm64, coff-x86-64, coff-arm64, macho-x86-64 or macho-arm64\n"),
                                  (["-a", "-m", "object", "res.cpp"], "cannot append (-a)")):
            with self.subTest(switches=switches):
                result = self.run_tool("-q", *switches, "site")
                self.assertEqual(result.code, 1, result.out)
                self.assertIn(message, result.out)
                self.assertLeftOnly(["out", "site"])


if __name__ == "__main__":
    unittest.main()
