"""The object form: the tool writes the object file itself. Natively it is
linked and checked record by record (also under link-time optimisation,
as a position-independent executable and from a shared library); the
other formats are cross-linked and run under qemu or wine where that can
be done here, and otherwise taken apart with the LLVM tools."""
import gzip
import os
import re
import resource
import subprocess
import unittest

from harness import COMPILERS, PLATFORM, REPO, TOOL, ToolTest, make_tree, native_object
from test_data_forms import FREESTANDING

TREE = {"site/index.html": "<h1>hi</h1>", "site/css/a.css": b"\xef\xbb\xbfa{}", "site/empty.txt": b"",
        "site/img/logo.bin": bytes(range(256)) * 33}
NATIVE_OBJECT = native_object()
FORMATS = ["elf-x86-64", "elf-arm64", "coff-x86-64", "coff-arm64", "macho-x86-64", "macho-arm64"]
# What llvm-readobj must say of each format's headers, section and symbols.
HEADERS = {
    "elf": ["Type: Relocatable", "Name: .rodata.vex_res", "SHF_ALLOC", "AddressAlignment: 8", "Name: .note.GNU-stack"],
    "coff": ["Name: .rdata$vex_res (2F 34 00", "IMAGE_SCN_ALIGN_8BYTES", "IMAGE_SCN_CNT_INITIALIZED_DATA",
             "IMAGE_SCN_MEM_READ"],
    "macho": ["FileType: Relocatable", "Name: __const", "Segment: __TEXT", "Alignment: 3", "Cmd: LC_BUILD_VERSION",
              "Platform: macos"],
}
MACHINES = {"elf-x86-64": "EM_X86_64", "elf-arm64": "EM_AARCH64", "coff-x86-64": "IMAGE_FILE_MACHINE_AMD64 (0x8664)",
            "coff-arm64": "IMAGE_FILE_MACHINE_ARM64 (0xAA64)", "macho-x86-64": "CpuType: X86-64 (",
            "macho-arm64": "CpuType: Arm64 ("}
# The mark of a symbol that a shared library does not export, once per symbol.
HIDDEN = {"elf": "STV_HIDDEN (0x2)", "coff": "StorageClass: External", "macho": "PrivateExtern"}
# Where the data section's bytes start in the file.
SECTION_OFFSET = {"elf": r"Name: \.rodata\.vex_res.*?Offset: (0x[0-9A-F]+)", "coff": r"PointerToRawData: (0x[0-9A-F]+)",
                  "macho": r"Name: __const.*?Offset: (\d+)"}
# Symbol, array and path of each data array in the generated source.
DECLARATION = re.compile(r'extern "C" const char (vex_res_[0-9a-f]{16}_\w+)\[\];\n'
                         r'\tconstexpr const char \* \w+ = \1;\n'
                         r'\tnamespace vex_res_data \{ const char \w+\[\] = "/([^"]*)"; \}')


class ObjectTest(ToolTest):
    def setUp(self):
        super().setUp()
        make_tree(self.dir, TREE)
        os.makedirs(self.path("out"))

    def generate(self, *switches, target="out/res.cpp"):
        result = self.run_tool("-q", "-M", "out/res.d", *switches, target, "-d", "site", "*")
        self.assertEqual(result.code, 0, result.out)
        return result


class ObjectForm(ObjectTest):
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

    def test_a_manifest_that_cannot_be_opened_leaves_no_object(self):
        if PLATFORM != "posix":
            self.skipTest("wine opens a directory for writing; its writes fail later")
        os.makedirs(self.path("out", "res.manifest.json"))
        result = self.run_tool("-q", "-m", "object", "-x", "out/res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 255, result.out)
        self.assertIn("cannot open DST.manifest.json", result.out)
        self.assertNotIn(NATIVE_OBJECT + ".tmp", os.listdir(self.path("out")))

    def test_too_little_memory_stops_with_a_message_never_a_crash(self):
        if PLATFORM != "posix" or b"__asan_init" in open(TOOL[0], "rb").read():
            self.skipTest("an address-space limit (a sanitizer reserves terabytes)")
        with open(self.path("site", "big.css"), "wb") as f:
            f.truncate(256 << 20)  # sparse zeros: compressible, cheap to read
        # 250 MB: the file cannot be read whole for compressing. 550 MB: it
        # can, but a worker cannot make its brotli variant.
        for limit, code, message in ((250, 255, "cannot allocate memory\n"),
                                     (550, 2, "-x: not enough memory to compress [/big.css]\n")):
            with self.subTest(limit=limit):
                proc = subprocess.run(
                    TOOL + ["-q", "-m", "object", "-x", "-j", "2", "out/res.cpp", "-d", "site", "*"], cwd=self.dir,
                    capture_output=True, text=True,
                    preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit << 20, limit << 20)))
                self.assertEqual((proc.returncode, proc.stdout), (code, message), proc.stderr[-500:])
                self.assertNotIn(NATIVE_OBJECT + ".tmp", os.listdir(self.path("out")))

    def test_data_beyond_the_code_models_reach_leaves_no_object(self):
        # A sparse file of 4 GiB: refused before its bytes are copied, where
        # the format has no large data section (all but ELF x86-64), with
        # the object's own name.
        with open(self.path("site", "big.bin"), "wb") as f:
            f.truncate(1 << 32)
        for name, label, machine, limit in (("coff-x86-64", "DST.data.obj", "x86-64", 1792),
                                            ("elf-arm64", "DST.data.o", "AArch64", 1792),
                                            ("macho-x86-64", "DST.data.o", "x86-64", 1792)):
            with self.subTest(format=name):
                result = self.run_tool("-q", "-m", "object:" + name, "out/res.cpp", "-d", "site", "*")
                self.assertEqual(result.code, 2, result.out)
                self.assertIn("%s cannot hold [big_bin]: a program for %s links at most %d MiB of data in one"
                              % (label, machine, limit), result.out)
                self.assertLeftOnly(["res.cpp", "res.h"], self.path("out"))


class ElfObjects(ObjectTest):
    """Linked natively in every way a program takes its data, and for AArch64 under qemu."""

    def setUp(self):
        super().setUp()
        if PLATFORM != "posix":
            self.skipTest("ELF linkers")

    def compile(self, compiler, *arguments):
        proc = subprocess.run(compiler + ["-std=c++17", "-I" + os.path.join(REPO, "include"),
                                          "-I" + os.path.join(REPO, "tests", "consumer"),
                                          "-DVEX_GENERATED_HEADER=\"%s\"" % self.path("out", "res.h"), *arguments],
                              capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stderr[-3000:])

    def test_link_time_optimisation_pie_and_shared_library_keep_every_record(self):
        self.generate("-m", "object:elf-x86-64")
        obj = self.path("out", "res.data.o")
        plain = self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"], flags=[obj])
        self.assertEqual(plain["/img/logo.bin"]["data"], bytes(range(256)) * 33)
        for flags in (["-O2", "-flto"], ["-fPIE", "-pie"]):
            with self.subTest(flags=flags):
                self.assertEqual(self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"],
                                                        flags=flags + [obj]), plain)
        for name, compiler, _ in COMPILERS:
            with self.subTest(compiler=name):
                # Records and data in a shared library, which exports the
                # records but not the data's symbols.
                library = self.path("libres_%s.so" % name)
                self.compile(compiler, "-fPIC", "-shared", self.path("out", "res.cpp"), obj, "-o", library)
                exported = subprocess.run(["nm", "-D", "--defined-only", library], capture_output=True, text=True,
                                          check=True).stdout
                self.assertIn("vex_res3all", exported)
                self.assertIsNone(re.search(r"vex_res_[0-9a-f]{16}_", exported), exported)
                # .note.GNU-stack keeps the stack from becoming executable.
                segments = subprocess.run(["readelf", "-lW", library], capture_output=True, text=True,
                                          check=True).stdout
                self.assertRegex(segments, r"GNU_STACK( +0x0+){5} RW ")
                open(self.path("none.cpp"), "w").close()
                records = self.compile_and_check("none.cpp", "out/res.h", ["css", "img"], compilers=[
                    (name, compiler, [])], flags=[library, "-Wl,-rpath," + self.dir])
                self.assertEqual(records, plain)
                # No start-up code fills the records.
                self.compile(compiler, "-O2", "-c", self.path("out", "res.cpp"), "-o", self.path("res.o"))
                symbols = subprocess.run(["nm", self.path("res.o")], capture_output=True, text=True, check=True).stdout
                self.assertNotIn("_GLOBAL__sub_I_", symbols)

    def test_large_arrays_start_a_page_in_the_object_and_the_linked_library(self):
        # Random hex: 200 KB whose gzip variant, held in memory until the
        # walk ends, is over 64 KiB too; the small files of the tree come
        # first. Without -x the file is copied as it is read.
        text = os.urandom(100000).hex().encode()
        make_tree(self.dir, {"site/z.js": text})
        for switches, count in ((), 1), (("-x",), 4):
            with self.subTest(switches=switches):
                self.generate("-m", "object:elf-x86-64", *switches)
                obj = self.path("out", "res.data.o")
                readobj = subprocess.run(["llvm-readobj", "--sections", obj], capture_output=True, text=True,
                                         check=True).stdout
                section = re.search(r"Name: \.rodata\.vex_res.*?Offset: (0x[0-9A-F]+).*?AddressAlignment: (\d+)",
                                    readobj, re.S)
                self.assertEqual(section.group(2), "4096")
                data = open(obj, "rb").read()
                large = {}
                nm = subprocess.run(["nm", "-S", obj], capture_output=True, text=True, check=True).stdout
                for line in nm.splitlines():
                    value, size, _, symbol = (line.split() + [""])[:4]
                    if symbol and int(size, 16) >= 65536:
                        start = int(section.group(1), 16) + int(value, 16)
                        large[symbol] = (int(value, 16), data[start:start + int(size, 16)])
                # The file and its variants (gzip among them), each padded
                # with zeros to a multiple of 8, which gzip reads past.
                self.assertEqual([value % 4096 for value, _ in large.values()], [0] * count, large.keys())
                bodies = [body for _, body in large.values()]
                self.assertIn(text, [body.rstrip(b"\0") for body in bodies])
                self.assertEqual([gzip.decompress(body) for body in bodies if body.startswith(b"\x1f\x8b")],
                                 [text] * (count > 1))
                library = self.path("libres.so")
                self.compile(COMPILERS[0][1], "-fPIC", "-shared", self.path("out", "res.cpp"), obj, "-o", library)
                linked = subprocess.run(["nm", library], capture_output=True, text=True, check=True).stdout
                addresses = {line.split()[2]: int(line.split()[0], 16) for line in linked.splitlines()
                             if len(line.split()) == 3}
                self.assertEqual([addresses[symbol] % 4096 for symbol in large], [0] * count)
        # The incbin form aligns them in the assembler's text alike.
        self.generate("-m", "incbin", "-x")
        library = self.path("libres_incbin.so")
        self.compile(COMPILERS[0][1], "-fPIC", "-shared", "-Wa,-I" + self.path("out"), self.path("out", "res.cpp"),
                     "-o", library)
        linked = subprocess.run(["nm", "-S", library], capture_output=True, text=True, check=True).stdout
        large = [int(line.split()[0], 16) for line in linked.splitlines()
                 if "vex_res_" in line and len(line.split()) == 4 and int(line.split()[1], 16) >= 65536]
        self.assertEqual([address % 4096 for address in large], [0] * 4)

    def test_aarch64_program_runs_under_qemu(self):
        self.generate("-m", "object:elf-x86-64")
        native = self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"],
                                        flags=[self.path("out", "res.data.o")], compilers=COMPILERS[:1])
        self.generate("-m", "object:elf-arm64")
        aarch64 = [("aarch64-linux-gnu-g++", ["aarch64-linux-gnu-g++"], ["qemu-aarch64", "-L", "/usr/aarch64-linux-gnu"])]
        self.assertEqual(self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"],
                                                flags=[self.path("out", "res.data.o")], compilers=aarch64), native)


def freestanding(where):
    """Headers enough for the kit and the check program, for compilers with
    no C++ library of their target here."""
    make_tree(where, dict(FREESTANDING, cstdio='#pragma once\nextern "C" int printf(const char*, ...);\n'
                                              'namespace std { using ::printf; }\n'))
    return where


class MsvcAbi(ObjectTest):
    def test_clang_cl_and_lld_link_give_the_records_of_mingw(self):
        if PLATFORM != "windows":
            self.skipTest("the Windows build's test: the program runs under wine")
        self.generate("-m", "object")
        obj = self.path("out", "res.data.obj")
        mingw = self.compile_and_check("out/res.cpp", "out/res.h", ["css", "img"], flags=[obj])
        build = self.write_check_program(["css", "img"])
        include = freestanding(self.path("freestanding"))
        # No MSVC runtime here: msvcrt.dll gives printf, qsort and strcmp,
        # and the entry point is the program's own.
        with open(os.path.join(build, "start.cpp"), "w") as f:
            f.write('int main();\nextern "C" void exit(int);\nextern "C" void mainCRTStartup() { exit(main()); }\n')
        objects = []
        for source in (self.path("out", "res.cpp"), os.path.join(build, "check.cpp"), os.path.join(build, "start.cpp")):
            objects.append(source + ".obj")
            proc = subprocess.run(["clang-cl-14", "--target=x86_64-pc-windows-msvc", "/std:c++17", "/W3", "/WX", "/X",
                                   "/I" + include, "/I" + build, "/I" + os.path.join(REPO, "include"),
                                   "/DVEX_GENERATED_HEADER=\"%s\"" % self.path("out", "res.h"), "/c", source,
                                   "/Fo" + objects[-1]], capture_output=True, text=True)
            self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
        msvcrt = subprocess.run([COMPILERS[0][1][0], "-print-file-name=libmsvcrt.a"], capture_output=True, text=True,
                                check=True).stdout.strip()
        exe = os.path.join(build, "check_msvc.exe")
        proc = subprocess.run(["lld-link", "/entry:mainCRTStartup", "/subsystem:console", "/nodefaultlib", "/out:" + exe,
                               *objects, obj, msvcrt], capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
        self.assertEqual(self.run_check_program(COMPILERS[0][2] + [exe], build), mingw)


class EveryFormat(ObjectTest):
    """Each format taken apart with the LLVM tools: headers, section,
    alignment, symbols, and each file's bytes at its symbol. The formats
    that cannot run here are linked with LLVM's linkers."""

    def setUp(self):
        super().setUp()
        if PLATFORM != "posix":
            self.skipTest("the LLVM tools of the native test")

    def tool(self, *command):
        proc = subprocess.run(command, capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, " ".join(command) + "\n" + proc.stdout + proc.stderr)
        return proc.stdout + proc.stderr

    def test_each_file_lies_at_its_symbol_in_every_format(self):
        # More files, whose hashes do not follow the walk's order.
        make_tree(self.dir, {"site/n%d.txt" % i: "%d" % i * i for i in range(1, 6)})
        files = {path[len("site/"):]: data if isinstance(data, bytes) else data.encode() for path, data in TREE.items()}
        files.update({"n%d.txt" % i: b"%d" % i * i for i in range(1, 6)})
        for name in FORMATS:
            with self.subTest(format=name):
                family = name.split("-")[0]
                out = self.path("out", name)
                os.makedirs(out)
                self.generate("-m", "object:" + name, target="out/%s/res.cpp" % name)
                obj = os.path.join(out, "res.data.obj" if family == "coff" else "res.data.o")
                data = open(obj, "rb").read()
                readobj = self.tool("llvm-readobj", "--file-headers", "--sections", "--symbols",
                                    "--macho-version-min", obj)
                for expected in HEADERS[family] + [MACHINES[name]]:
                    self.assertIn(expected, readobj)
                self.assertEqual(readobj.count(HIDDEN[family]), len(files))
                section = int(re.search(SECTION_OFFSET[family], readobj, re.S).group(1), 0)
                values = {}
                for line in self.tool("llvm-nm", "-P", "-p", "--defined-only", obj).splitlines():
                    symbol, _, value = line.split()[:3]
                    values[symbol[1:] if family == "macho" else symbol] = int(value, 16)
                if family == "macho":
                    # Its linker wants the symbol table in the order of the names.
                    self.assertEqual(list(values), sorted(values))
                source = open(os.path.join(out, "res.cpp")).read()
                placed = {path: values.pop(symbol) for symbol, path in DECLARATION.findall(source)}
                self.assertEqual(values, {})
                self.assertEqual(sorted(placed), sorted(files))
                walk_order = [symbol for symbol, _ in DECLARATION.findall(source)]
                self.assertNotEqual(walk_order, sorted(walk_order))
                end = 0
                for path in sorted(placed, key=lambda path: (placed[path], len(files[path]))):
                    padded = (len(files[path]) + 7) // 8 * 8
                    self.assertEqual(placed[path], end, path)
                    at = section + placed[path]
                    self.assertEqual(data[at:at + padded], files[path] + bytes(padded - len(files[path])), path)
                    end += padded
                self.link(name, out, obj, len(files))

    def link(self, name, out, obj, symbol_count):
        """Links the records with the object where LLVM's linkers can; the
        data's symbols stay inside what they make."""
        pch = os.path.join(out, "pch.h")
        with open(pch, "w") as f:
            f.write('#pragma once\n#include "vex_resource_builder/vex_resource.h"\n#include "res.h"\n')
        include = freestanding(self.path("freestanding"))
        if name == "coff-arm64":
            stubs = os.path.join(out, "stubs.cpp")
            with open(stubs, "w") as f:
                f.write('extern "C" int strcmp(const char*, const char*) { return 0; }\n'
                        'extern "C" void qsort(void*, decltype(sizeof 0), decltype(sizeof 0), '
                        'int (*)(const void*, const void*)) {}\n')
            for source in (os.path.join(out, "res.cpp"), stubs):
                self.tool("clang-cl-14", "--target=aarch64-pc-windows-msvc", "/std:c++17", "/W3", "/WX", "/X",
                          "/I" + include, "/I" + out, "/I" + os.path.join(REPO, "include"), "/c", source,
                          "/Fo" + source + ".obj")
            dll = os.path.join(out, "res.dll")
            self.tool("lld-link", "/dll", "/noentry", "/nodefaultlib", "/machine:arm64", "/out:" + dll,
                      os.path.join(out, "res.cpp.obj"), stubs + ".obj", obj)
            self.assertIn("Machine: IMAGE_FILE_MACHINE_ARM64", self.tool("llvm-readobj", "--file-headers", dll))
        elif name.startswith("macho"):
            arch, version = ("arm64", "11.0") if name == "macho-arm64" else ("x86_64", "10.9")
            self.tool("clang++", "--target=%s-apple-macos%s" % (arch, version), "-std=c++17", "-nostdinc++",
                      "-nostdlibinc", "-Wall", "-Werror", "-I" + include, "-I" + out, "-I" + os.path.join(REPO, "include"),
                      "-c", os.path.join(out, "res.cpp"), "-o", os.path.join(out, "res.o"))
            dylib = os.path.join(out, "libres.dylib")
            linked = self.tool("ld64.lld-14", "-arch", arch, "-platform_version", "macos", version, version, "-dylib",
                               "-undefined", "dynamic_lookup", "-o", dylib, os.path.join(out, "res.o"), obj)
            self.assertNotIn("warning", linked)
            symbols = [line for line in self.tool("llvm-nm", "-m", dylib).splitlines() if " _vex_res_" in line]
            self.assertEqual(len(symbols), symbol_count)
            self.assertTrue(all("non-external (was a private external)" in line for line in symbols), symbols)


if __name__ == "__main__":
    unittest.main()
