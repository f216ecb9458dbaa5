"""Shared machinery of the end-to-end tests: running the tool, building
trees, and compiling the generated code with a consumer that checks every
record at run time."""
import datetime
import gzip
import os
import re
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

# Set by run_e2e.py from its command line.
TOOL = []          # command that starts the tool, e.g. ["build/vex_resource_builder"]
PLATFORM = "posix"  # "posix" or "windows"
COMPILERS = []     # [(name, compiler command, runner prefix)]
NATIVE_TOOL = []   # the native build's tool, to compare a Windows build with

BANNER = ":: resource builder for brimvale  2022-05-31\n\n"
USAGE = BANNER + (
    "::usage::\n\tvex_resource_builder [-a] [-f] [-h] <target.cpp> [-d dir] <source 1-n>\n\t-q  quiet\n\t-a  "
    "append\n\t-b  use big endianess output\n\t-d  change directory to dir\n\t-f  use flat labels\n\t-h  use "
    "hierarchy structure, implies -f\n\n")


def native_object(stem="res"):
    """The name of the object file that -m object writes beside stem.cpp."""
    return stem + (".data.obj" if PLATFORM == "windows" else ".data.o")


def read_names(def_file, macro):
    with open(os.path.join(REPO, "include", "vex_resource_builder", def_file)) as f:
        return re.findall(r"^" + macro + r"\((\w+)[,)]", f.read(), re.M)




def brotli_decompress(data):
    """Decodes brotli bytes with python's module when this interpreter has
    it, else with the brotli command (both installed by scripts/test.sh)."""
    try:
        import brotli
        return brotli.decompress(data)
    except ImportError:
        return subprocess.run(["brotli", "-d", "-c"], input=data, capture_output=True, check=True).stdout


def zstd_decompress(data):
    """Decodes zstd bytes with python's zstandard module (Debian's
    python3-zstandard) when this interpreter has it, else with the zstd
    command (both installed by scripts/install_packages.sh --tests)."""
    try:
        import zstandard
        return zstandard.ZstdDecompressor().decompress(data)
    except ImportError:
        return subprocess.run(["zstd", "-d", "-c"], input=data, capture_output=True, check=True).stdout


def keep_wineserver(runner, seconds=30):
    """Starts the wine server of runner's prefix and its system processes
    detached from our pipes, and keeps them up until seconds after the last
    program ends. Started by a run of the tool instead, they would hold its
    output pipes open, and so every run, until they quit seconds later."""
    if not runner:
        return
    server = os.path.join(os.path.dirname(runner[0]), "wineserver64")
    if not os.path.exists(server):
        server = shutil.which("wineserver") or "wineserver"
    for command in ([server, "-p%d" % seconds], runner + ["cmd", "/c", "exit"]):
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)


class Result:
    def __init__(self, proc):
        self.code = proc.returncode
        self.out = proc.stdout.decode("utf-8", "surrogateescape")
        self.err = proc.stderr.decode("utf-8", "surrogateescape")


def run_tool(args, cwd):
    proc = subprocess.run(TOOL + list(args), cwd=cwd, capture_output=True, timeout=600)
    return Result(proc)


def make_tree(root, files):
    """files: {relative path: bytes or str}; a path ending in / makes a directory."""
    for rel, content in files.items():
        path = os.path.join(root, rel)
        if rel.endswith("/"):
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path) or root, exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode() if isinstance(content, str) else content)


def namespaces_with_arrays(header):
    """The top-level namespaces whose all arrays the generated header declares."""
    names, current = [], None
    with open(header, encoding="latin-1") as f:
        for line in f.read().splitlines():
            if line.startswith("\tnamespace "):
                current = line.split()[1]
            elif line == "\t}":
                current = None
            elif line == "\t\textern const vex_resource * all[];" and current:
                names.append(current)
    return names


def http_date(path):
    stamp = datetime.datetime.fromtimestamp(int(os.stat(path).st_mtime), datetime.timezone.utc)
    return "%s, %d %s %04d %d:%02d:%02d GMT" % (
        ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"][stamp.weekday()], stamp.day,
        ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"][stamp.month - 1],
        stamp.year, stamp.hour, stamp.minute, stamp.second)


def encoding_of(data):
    if data[:3] == b"\xef\xbb\xbf":
        return "TXT_ENCODING_UTF8", 3
    if data[:2] == b"\xff\xfe":
        return "TXT_ENCODING_UTF16LE", 2
    if data[:2] == b"\xfe\xff":
        return "TXT_ENCODING_UTF16BE", 2
    return "TXT_ENCODING_ANSI", 0


def wide_text(units):
    """The text of wchar_t values printed in hexadecimal: code points where
    wchar_t has 32 bits, UTF-16 (pairs joined) where it has 16."""
    text = "".join(chr(int(unit, 16)) for unit in units.split())
    return text.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "surrogatepass")


CHECK_PROGRAM = r'''
#include "pch.h"
#include <cstdio>

static void dump(const char* array, const vex_resource* r) {
  std::printf("%s\t", array);
  for (const char* c = r->path_root_a; *c; ++c) std::printf("%02x", (unsigned char)*c);
  std::printf("\t%d\t%d\t%d\t%d\t%d\t%u\t%u\t%u\t%d\t%s\t%s\t",
              (int)(r->path_a - r->path_root_a), (int)(r->path_below_top - r->path_a),
              (int)(r->file_name - r->path_a), (int)r->content_type, (int)r->text_encoding, r->size,
              r->size_without_bom, r->utf16_length, (int)(r->text - r->data), r->http_date, r->http_date_lower);
  for (const wchar_t* c = r->name; *c; ++c) std::printf("%x ", (unsigned)*c);
  std::printf("\t");
  const char* bytes = r->data;
  uint64_t size = r->size;
#ifdef VEX_CHECK_STORED
  // -z: the side record names the coding the bytes are held in; a file held
  // in one only has null data and text, and that coding's variant holds it.
  const vex_resource_extras* e = vex_res_extras_find(vex_res_extras::all, vex_res_extras::all_length, r->path_root_a);
  if (!e) return (void)std::printf("no side record\n");
  const vex_resource_variant* held = e->stored_coding == VEX_STORED_BR     ? &e->br
                                     : e->stored_coding == VEX_STORED_GZIP ? &e->gzip
                                     : e->stored_coding == VEX_STORED_ZSTD ? &e->zstd
                                                                           : nullptr;
  if (held) {
    bytes = held->data;
    size = held->size;
  }
  std::printf("%d\t%s\t%s\t%c%c%c\t%d\t", (int)e->stored_coding, e->etag, e->hashed_path, e->br.data ? 'b' : '-',
              e->gzip.data ? 'g' : '-', e->zstd.data ? 'z' : '-', !r->data && !r->text);
#endif
  for (uint64_t i = 0; i < size; ++i) std::printf("%02x", (unsigned char)bytes[i]);
  std::printf("\n");
}

int main() {
  vex_res::sort_all();
ARRAYS
  return 0;
}
'''


class ToolTest(unittest.TestCase):
    """A test case with a fresh temporary directory."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vex_e2e_")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def run_tool(self, *args, cwd=None):
        return run_tool(args, cwd or self.dir)

    def assertLeftOnly(self, names, where=None):
        self.assertEqual(sorted(os.listdir(where or self.dir)), sorted(names))

    def compile_and_check(self, cpp, header, namespaces, where=None, flags=(), std="c++17", compilers=None,
                          stored=False):
        """Compiles cpp with a consumer that reaches everything through header,
        runs it, and returns {url path: fields} of every record in the root
        array and in the arrays of the given top-level namespaces. Checks
        that every array is sorted and that no record is reachable twice.
        flags go to every compiler (the incbin form's -Wa,-I<dir>, the object
        form's object file); compilers replaces COMPILERS. stored (output of
        -z): a record's data are its file's bytes decoded from the coding
        they are held in, and its side record's fields are added."""
        where = where or self.dir
        build = self.write_check_program(namespaces)
        results = None
        for name, compiler, runner in compilers or COMPILERS:
            exe = os.path.join(build, "check_" + name + ".exe")
            header_path = os.path.abspath(os.path.join(where, header))
            command = compiler + ["-std=" + std, "-Wall", "-Werror", "-Wno-unused-const-variable",
                                  "-I" + build, "-I" + os.path.join(REPO, "include"),
                                  "-DVEX_GENERATED_HEADER=\"%s\"" % header_path.replace("\\", "/"),
                                  os.path.join(where, cpp), os.path.join(build, "check.cpp"), *flags, "-o", exe]
            if stored:
                command.insert(-2, "-DVEX_CHECK_STORED")
            proc = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(proc.returncode, 0, "%s failed:\n%s" % (name, proc.stderr[-4000:]))
            records = self.run_check_program(runner + [exe], build, stored)
            if results is None:
                results = records
            else:
                self.assertEqual(results, records, "compilers disagree")
        return results

    def write_check_program(self, namespaces):
        """A fresh directory holding the consumer's pch.h and check.cpp, a
        program that prints every record of the root array and of the arrays
        of the given top-level namespaces."""
        build = tempfile.mkdtemp(prefix="consumer_", dir=self.dir)
        shutil.copy(os.path.join(REPO, "tests", "consumer", "pch.h"), build)
        arrays = ["  for (size_t i = 0; i < vex_res::all_length; ++i) dump(\"\", vex_res::all[i]);"]
        for ns in namespaces:
            arrays.append("  for (size_t i = 0; i < vex_res::%s::all_length; ++i) dump(\"%s\", vex_res::%s::all[i]);"
                          % (ns, ns, ns))
        with open(os.path.join(build, "check.cpp"), "w") as f:
            f.write(CHECK_PROGRAM.replace("ARRAYS", "\n".join(arrays)))
        return build

    def run_check_program(self, command, cwd, stored=False):
        """Runs a built check program: {url path: fields} of the records it
        prints, each array checked to be sorted and no record reachable twice."""
        run = subprocess.run(command, capture_output=True, text=True, cwd=cwd)
        self.assertEqual(run.returncode, 0, run.stderr)
        content_types = read_names("content_types.def", "VEX_CONTENT_TYPE")
        text_encodings = read_names("text_encodings.def", "VEX_TEXT_ENCODING")
        records = {}
        order = {}
        for line in run.stdout.splitlines():
            fields = line.split("\t")
            array, url = fields[0], bytes.fromhex(fields[1]).decode("latin-1")
            self.assertNotIn(url, records, "reachable twice: " + url)
            previous = order.get(array)
            if previous is not None:
                self.assertLess(previous.encode("latin-1"), url.encode("latin-1"), "array %r not sorted" % array)
            order[array] = url
            records[url] = {
                "array": array, "path_a": int(fields[2]), "below_top": int(fields[3]),
                "name_offset": int(fields[4]), "content_type": content_types[int(fields[5])],
                "encoding": text_encodings[int(fields[6])], "size": int(fields[7]),
                "size_without_bom": int(fields[8]), "utf16_length": int(fields[9]),
                "bom": int(fields[10]), "date": fields[11], "date_lower": fields[12],
                "name": wide_text(fields[13]),
                "data": bytes.fromhex(fields[-1])}
            if stored:
                self.add_stored_fields(records[url], fields)
        return records

    def add_stored_fields(self, record, fields):
        """The side record's fields of a record of -z output, its data
        decoded when it is held in one coding only (whose data and text must
        then be null)."""
        coding = ["identity", "br", "gzip", "zstd"][int(fields[14])]
        record.update(stored=coding, etag=fields[15], hashed_path=fields[16], variants=fields[17],
                      held_bytes=len(record["data"]))
        if coding == "identity":
            return
        self.assertEqual(fields[18], "1", "a file held in %s only has data or text" % coding)
        decode = {"br": brotli_decompress, "gzip": gzip.decompress, "zstd": zstd_decompress}[coding]
        record["data"] = decode(record["data"])
        record["bom"] = record["size"] - record["size_without_bom"]

    def assertRecordMatches(self, record, file_path, walked_path, top_prefix, content_type=None):
        """The record of a file agrees with the file itself."""
        data = open(file_path, "rb").read()
        encoding, bom = encoding_of(data)
        name_part = re.split(r"[/\\]", walked_path)[-1]
        self.assertEqual(record["data"], data)
        self.assertEqual(record["size"], len(data))
        self.assertEqual(record["encoding"], encoding)
        self.assertEqual(record["bom"], bom)
        self.assertEqual(record["size_without_bom"], len(data) - bom)
        self.assertEqual(record["utf16_length"], (len(data) - bom) // 2)
        self.assertEqual(record["path_a"], 1)
        self.assertEqual(record["below_top"], top_prefix)
        self.assertEqual(record["name_offset"], len(walked_path) - len(name_part))
        self.assertEqual(record["name"], name_part)
        self.assertEqual(record["date"], http_date(file_path))
        self.assertEqual(record["date_lower"], http_date(file_path).lower())
        if content_type:
            self.assertEqual(record["content_type"], content_type)
