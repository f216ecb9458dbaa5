"""Every predefined word the tool knows, as a file and as a directory: the
generated code compiles in the GNU mode, where the compilers define the
most macros and add keywords of their own, and every file is embedded."""
import os
import re
import shutil
import subprocess

from harness import PLATFORM, REPO, ToolTest, make_tree

MINGW = "x86_64-w64-mingw32-g++"


def predefined_words():
    words = []
    for name in ("predefined_macros.inc", "extension_keywords.inc"):
        with open(os.path.join(REPO, "src", "generator", "names", name)) as f:
            words += re.findall(r'^"(\w+)",$', f.read(), re.M)
    return words


class PredefinedNames(ToolTest):
    def test_every_predefined_word_as_file_and_directory_compiles(self):
        words = predefined_words()
        self.assertIn("linux", words)
        self.assertIn("typeof", words)
        if PLATFORM == "windows":
            # One name per case-folded spelling: Windows names ignore case.
            words = list({word.lower(): word for word in words}.values())
        files = {}
        for word in words + ["_Pragma", "__cplusplus", "__func__", "static", "static_"]:
            files["site/" + word] = word
            files["site/dirs/%s/x" % word] = word
        make_tree(self.dir, files)
        result = self.run_tool("-q", "res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        records = self.compile_and_check("res.cpp", "res.h", ["dirs"], std="gnu++20")
        self.assertEqual(sorted(records), sorted("/" + path[len("site/"):] for path in files))
        for path, content in files.items():
            self.assertEqual(records["/" + path[len("site/"):]]["data"], content.encode(), path)
        if PLATFORM != "windows" and shutil.which(MINGW):
            # The Windows headers define other macros; their compiler must accept the code too.
            proc = subprocess.run([MINGW, "-std=gnu++20", "-fsyntax-only", "-Wall", "-Werror",
                                   "-Wno-unused-const-variable", "-I" + os.path.join(REPO, "tests", "consumer"),
                                   "-I" + os.path.join(REPO, "include"),
                                   "-DVEX_GENERATED_HEADER=\"%s\"" % self.path("res.h"), self.path("res.cpp")],
                                  capture_output=True, text=True)
            self.assertEqual(proc.returncode, 0, proc.stderr[-4000:])
