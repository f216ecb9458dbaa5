"""The fast data forms. incbin: its binary file belongs to the output set,
its records need no start-up code, and it survives link-time optimisation.
Both take -a; literal compiles in the MSVC dialect."""
import os
import re
import shutil
import subprocess
import unittest

from harness import COMPILERS, PLATFORM, REPO, ToolTest, make_tree, namespaces_with_arrays

# Just enough of the standard headers for the kit, since no Windows SDK or
# MSVC library is installed here.
FREESTANDING = {
    "cstddef": "#pragma once\nnamespace std { using size_t = decltype(sizeof 0); }\nusing std::size_t;\n",
    "cstdint": "#pragma once\ntypedef unsigned char uint8_t; typedef unsigned int uint32_t;\n"
               "typedef unsigned long long uint64_t;\nnamespace std { using ::uint8_t; using ::uint32_t; "
               "using ::uint64_t; }\n",
    "cstdlib": "#pragma once\n#include <cstddef>\nextern \"C\" void qsort(void*, size_t, size_t, "
               "int (*)(const void*, const void*));\nnamespace std { using ::qsort; }\n",
    "cstring": "#pragma once\n#include <cstddef>\nextern \"C\" {\nvoid* memcpy(void*, const void*, size_t);\n"
               "int strcmp(const char*, const char*);\nsize_t strlen(const char*);\n"
               "int strncmp(const char*, const char*, size_t);\n}\nnamespace std { using ::memcpy; "
               "using ::strcmp; using ::strlen; using ::strncmp; }\n",
}

TREE = {"site/index.html": "<h1>hi</h1>", "site/css/a.css": b"\xef\xbb\xbfa{}", "site/empty.txt": b"",
        "site/img/logo.bin": bytes(range(256)) * 33}


class IncbinForm(ToolTest):
    def setUp(self):
        super().setUp()
        make_tree(self.dir, TREE)
        os.makedirs(self.path("out"))

    def generate(self, *switches):
        result = self.run_tool("-q", "-M", "out/res.d", *switches, "out/res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        return result

    def test_binary_file_is_an_output_of_the_run(self):
        self.generate("-m", "incbin")
        self.assertLeftOnly(["res.bin", "res.cpp", "res.d", "res.h"], self.path("out"))
        with open(self.path("out", "res.d")) as f:
            self.assertEqual(f.readline(), "out/res.cpp out/res.bin: \\\n")
        # Each file's bytes padded to 8, in walk order (css, empty, img, index).
        self.assertEqual(self.read("out", "res.bin"),
                         b"\xef\xbb\xbfa{}\0\0" + bytes(range(256)) * 33 + b"<h1>hi</h1>\0\0\0\0\0")
        # A target inside the walked tree: the binary file is not embedded.
        result = self.run_tool("-q", "-m", "incbin", "res.cpp", "*", cwd=self.path("site"))
        self.assertIn("skipped [res.bin]: it is written by this run\n", result.out)

    def test_refused_before_anything_is_written(self):
        for switches, message in ((["-m", "incbin", "-"], "needs a target file"),
                                  (["-m", "incbn", "res.cpp"], "invalid data form [incbn]"),
                                  (["-m", "incbin", 'q"uote.cpp'], "cannot name the binary file")):
            with self.subTest(switches=switches):
                result = self.run_tool("-q", *switches, "site")
                self.assertEqual(result.code, 1, result.out)
                self.assertIn(message, result.out)
                self.assertLeftOnly(["out", "site"])

    def test_records_are_placed_at_build_time(self):
        if PLATFORM != "posix":
            self.skipTest("nm of ELF objects")
        self.generate()
        shutil.copy(self.path("out", "res.cpp"), self.path("words.cpp"))
        self.generate("-m", "incbin")
        for name, compiler, _ in COMPILERS:
            symbols = {}
            for cpp in ("out/res.cpp", "words.cpp"):
                obj = self.path(os.path.basename(cpp) + name + ".o")
                subprocess.run(compiler + ["-std=c++17", "-O2", "-c", "-I" + os.path.join(REPO, "include"),
                                           "-I" + os.path.join(REPO, "tests", "consumer"),
                                           "-DVEX_GENERATED_HEADER=\"%s\"" % self.path("out", "res.h"),
                                           "-Wa,-I" + self.path("out"), self.path(cpp), "-o", obj], check=True)
                symbols[cpp] = subprocess.run(["nm", obj], capture_output=True, text=True, check=True).stdout
            self.assertNotIn("_GLOBAL__sub_I_", symbols["out/res.cpp"], name)
            if name.startswith("g++"):
                # The word form's self-referring records need start-up code.
                self.assertIn("_GLOBAL__sub_I_", symbols["words.cpp"], name)

    def test_link_time_optimisation_keeps_every_record(self):
        self.generate()
        words = self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"])
        self.generate("-m", "incbin")
        # clang assembles the data again when it links, without the
        # assembler's include path: there the binary file is found from the
        # working directory (the CMake integration keeps clang's LTO off the
        # generated source instead).
        start = os.getcwd()
        os.chdir(self.path("out"))
        try:
            optimised = self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"], where=self.dir,
                                               flags=["-O2", "-flto"])
        finally:
            os.chdir(start)
        self.assertEqual(optimised, words)
        self.assertEqual(words["/img/logo.bin"]["data"], bytes(range(256)) * 33)



class FastForms(ToolTest):
    def test_appending_runs_add_to_one_program(self):
        make_tree(self.dir, {"one/a.txt": "first", "two/b/c.css": b"\xff\xfe" + bytes(range(256)) * 20,
                             "two/d.txt": "second"})
        for form in ("literal", "incbin"):
            with self.subTest(form=form):
                for switches in (["-m", form, "res.cpp", "-d", "one", "*"],
                                 ["-a", "-m", form, "res.cpp", "-d", "two", "*"]):
                    result = self.run_tool("-q", *switches)
                    self.assertEqual(result.code, 0, result.out)
                # The appended records are in no all array (-a); they compile
                # and link, and the first run's bytes stay where they were.
                records = self.compile_and_check("res.cpp", "res.h", [], flags=["-Wa,-I" + self.dir])
                self.assertEqual(sorted(records), ["/a.txt"])
                self.assertEqual(records["/a.txt"]["data"], b"first")
        self.assertEqual(self.read("res.bin"), b"first\0\0\0" + self.read("two", "b", "c.css") + bytes(6) + b"second\0\0")

    def test_compiles_in_the_msvc_dialect(self):
        clang = shutil.which("clang")
        if PLATFORM != "posix" or not clang:
            self.skipTest("needs clang's cl driver")
        # The longest literal MSVC takes (65,535 bytes with the terminator), and one byte more.
        make_tree(self.dir, dict(TREE, **{"site/fits.bin": b"f" * 65534, "site/over.bin": b"o" * 65535}))
        result = self.run_tool("-q", "-m", "literal", "res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        include = self.path("freestanding")
        make_tree(include, FREESTANDING)
        with open(self.path("pch.h"), "w") as f:
            f.write('#pragma once\n#include "vex_resource_builder/vex_resource.h"\n#include "res.h"\n')
        cl = [clang, "--driver-mode=cl", "--target=x86_64-pc-windows-msvc", "-fms-compatibility", "/std:c++17",
              "/W3", "/WX", "/X", "/I" + include, "/I" + os.path.join(REPO, "include"), "/I" + self.dir]
        # clang-cl defines _MSC_VER too, and takes literals of any length.
        proc = subprocess.run(cl + ["/c", self.path("res.cpp"), "/Fo" + self.path("res.obj")],
                              capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
        # As MSVC sees it: the array it cannot take stops the build with a
        # message that names it; the one that fits does not.
        proc = subprocess.run(cl + ["/U__clang__", "/Zs", self.path("res.cpp")], capture_output=True, text=True)
        self.assertNotEqual(proc.returncode, 0)
        errors = re.findall(r"error: (.*)", proc.stdout + proc.stderr)
        self.assertEqual(len(errors), 1, errors)
        self.assertIn("over_bin holds 65535 bytes, more than MSVC takes", errors[0])

if __name__ == "__main__":
    unittest.main()
