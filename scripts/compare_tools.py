#!/usr/bin/env python3
"""Runs two builds of the tool over the same trees with every data form and
many switch combinations, and compares every output file, the console
output and the exit code byte for byte:

    scripts/compare_tools.py OLD_TOOL NEW_TOOL [--quick]

A change that must not change behaviour (a refactoring) passes when nothing
differs. The trees: the example site, a random tree of hostile names (as the
end-to-end tests make them, from a fixed seed), and a tree of edge cases (an
empty file, names whose identifiers collide, UTF-8 names, a file of more than
one read chunk, compressible text). Both tools run in the same directory, one
after the other, so that paths in messages agree; the processor time in the
summary line of -x is the one figure that may differ, and is masked."""
import argparse
import filecmp
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from test_random_trees import build_tree  # noqa: E402

FORMS = ["words", "incbin", "literal"] + ["object:" + f for f in (
    "elf-x86-64", "elf-arm64", "coff-x86-64", "coff-arm64", "macho-x86-64", "macho-arm64")]

# Switches before -m, and after it, in the order the command line takes them.
SWITCH_SETS = [
    ("plain", [], []),
    ("q", ["-q"], []),
    ("bf", ["-b", "-f"], []),
    ("h", ["-h"], []),
    ("Mt", ["-M", "out/res.d", "-t", "1700000000"], []),
    ("u", [], ["-u"]),
    ("x-j1", [], ["-x", "-c", "cache", "-j", "1"]),
    ("qx-j2", ["-q"], ["-x", "-c", "cache", "-j", "2"]),
    ("all", ["-b", "-h", "-M", "out/res.d", "-t", "0"], ["-u", "-x", "-c", "cache", "-j", "2"]),
    ("fux", ["-f"], ["-u", "-x", "-j", "1"]),
    ("a", ["-a"], []),
    ("ax", ["-a", "-M", "out/res.d"], ["-x", "-c", "cache", "-j", "2"]),
]

PROCESSOR_TIME = re.compile(rb"compressing: [0-9]+\.[0-9] s")


def make_edge_tree(root):
    os.makedirs(os.path.join(root, "dir", "sub"))
    files = {
        "empty.txt": b"",
        "iso_639-3.mo": b"a", "iso_639_3.mo": b"b", "static": b"c", "static_": b"d",
        "n.txt": b"e", "n_txt/y": b"f", "1x/f": b"g", "2x/f": b"h",
        "caf\u00e9.html": "<p>caf\u00e9</p>".encode(), "\u65e5\u672c/\u00fc.css": b"p{}",
        "dir/sub/big.bin": random.Random(7).randbytes(2 * 1024 * 1024 + 3),
        "dir/text.css": b"".join(b".rule-%d { margin: %dpx; color: #%06x; }\n" % (i, i % 17, i * 7919 % 0xFFFFFF)
                                 for i in range(6000)),
        "bom.txt": b"\xef\xbb\xbfhello",
    }
    for name, content in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)


def make_trees(base):
    trees = {"site": os.path.join(ROOT, "examples", "site")}
    random_root = os.path.join(base, "random")
    os.makedirs(random_root)
    build_tree(random.Random(20240601), random_root, posix=True)
    trees["random"] = random_root
    edge_root = os.path.join(base, "edge")
    make_edge_tree(edge_root)
    trees["edge"] = edge_root
    return trees


def run_tool(tool, work, arguments):
    result = subprocess.run([tool] + arguments, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=600)
    return PROCESSOR_TIME.sub(b"compressing: ? s", result.stdout), result.returncode


def run_case(tool, work, tree, form, before, after):
    """Runs one case in a fresh work directory; returns its console, exit code and outputs folder."""
    for name in ("out", "cache"):
        shutil.rmtree(os.path.join(work, name), ignore_errors=True)
    os.makedirs(os.path.join(work, "out"))
    consoles = []
    codes = []
    if "-a" in before:
        # Appending needs a target of an earlier run.
        first = [b for b in before if b != "-a"]
        console, code = run_tool(tool, work, first + ["-m", form] + after + ["out/res.cpp", "-d", tree, "*"])
        consoles.append(console)
        codes.append(code)
    # Two sources with a directory change between them.
    arguments = before + ["-m", form] + after + ["out/res.cpp", "-d", tree, "*", "-d", ".", "*"]
    console, code = run_tool(tool, work, arguments)
    consoles.append(console)
    codes.append(code)
    return b"\n----\n".join(consoles), codes


def compare_folders(a, b):
    """Relative names of files that differ or exist on one side only."""
    differences = []
    for folder, _, names in os.walk(a):
        for name in names:
            path_a = os.path.join(folder, name)
            relative = os.path.relpath(path_a, a)
            path_b = os.path.join(b, relative)
            if not os.path.exists(path_b) or not filecmp.cmp(path_a, path_b, shallow=False):
                differences.append(relative)
    for folder, _, names in os.walk(b):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), b)
            if not os.path.exists(os.path.join(a, relative)):
                differences.append(relative)
    return differences


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--quick", action="store_true", help="words and one object format only")
    args = parser.parse_args()
    tools = [os.path.realpath(args.old), os.path.realpath(args.new)]
    forms = ["words", "incbin", "literal", "object:elf-x86-64"] if args.quick else FORMS
    base = tempfile.mkdtemp(prefix="vex_compare_")
    cases = differing = 0
    try:
        trees = make_trees(os.path.join(base, "trees"))
        work = os.path.join(base, "work")
        kept = [os.path.join(base, "old"), os.path.join(base, "new")]
        os.makedirs(work)
        for tree_name, tree in trees.items():
            for form in forms:
                for set_name, before, after in SWITCH_SETS:
                    results = []
                    for tool, keep in zip(tools, kept):
                        console, codes = run_case(tool, work, tree, form, before, after)
                        shutil.rmtree(keep, ignore_errors=True)
                        shutil.move(os.path.join(work, "out"), keep)
                        if os.path.isdir(os.path.join(work, "cache")):
                            shutil.move(os.path.join(work, "cache"), os.path.join(keep, "cache"))
                        results.append((console, codes))
                    cases += 1
                    problems = compare_folders(*kept)
                    if results[0][0] != results[1][0]:
                        problems.append("console output")
                    if results[0][1] != results[1][1]:
                        problems.append("exit codes %s and %s" % (results[0][1], results[1][1]))
                    if problems:
                        differing += 1
                        print("DIFFERS %s %s %s: %s" % (tree_name, form, set_name, ", ".join(problems)))
                    else:
                        print("same    %s %s %s (exit %s)" % (tree_name, form, set_name, results[0][1]))
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print("%d cases, %d differing" % (cases, differing))
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
