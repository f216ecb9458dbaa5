"""Random trees with hostile names: the output always compiles in the GNU
mode, and every file is embedded (with -u when a name holds a character
above U+00FF), its record holding its exact bytes, name and offsets.

The seed is random unless VEX_RANDOM_SEED is set; VEX_RANDOM_TREES sets how
many trees one run builds. A failure names the seed that reproduces it."""
import os
import random
import shutil
import unittest

from harness import COMPILERS, PLATFORM, ToolTest, namespaces_with_arrays, native_object

# Pieces of names: quotes, spaces, separators of other systems, bytes that
# are not UTF-8 (POSIX only), characters above U+00FF, keywords and the
# generated code's own names, leading digits and dots, and near-collisions.
PIECES = ["a", "b", "x1", "'", '"', " ", "?", "??=", "-", "_", "$", "#", "%", "caf\u00e9", "\u00fc", "\u65e5\u672c",
          "\U0001F600", "class", "int", "all", "all_length", "sort_all", "vex_res", "NULL", "INT_MAX", "1", "9lives",
          ".", "static", "namespace", "new", "delete", "and", "a-b", "a_b", "A", "\\", "static_", "1x", "2x",
          "linux", "unix", "errno", "EOF", "__LINE__", "_Pragma", "x__", "typeof"]
# Items whose identifiers meet in each way: a record and its data array,
# data arrays only (different scopes), namespaces by a leading digit, the
# keyword rule against a real name, a record against a namespace with flat
# labels, and names reserved to the implementation or predefined as macros.
COLLIDING = ["iso_639-3.mo", "iso_639_3.mo", "api/assets/x.js", "api_assets/x.js", "1x/f", "2x/f", "static",
             "static_", "n.txt", "n_txt/y", "__LINE__", "_Pragma", "linux", "unix/z"]
POSIX_PIECES = [b"\xe9", b"\xff\xfe", b"\x80"]
EXTENSIONS = ["", ".txt", ".css", ".html", ".js", ".png", ".svg", ".json", ".bin", ".TXT", ".c++", ".tar.gz"]
# Names the walk never looks at by design, kept out of the trees.
IGNORED = (".DS_Store",)


# Windows names cannot hold these.
WINDOWS_PIECES = [p for p in PIECES if not any(c in p for c in '"?\\*<>|:')]


def random_name(rng, posix):
    parts = []
    for _ in range(rng.randint(1, 3)):
        if posix and rng.random() < 0.08:
            parts.append(rng.choice(POSIX_PIECES))
        else:
            parts.append(rng.choice(PIECES if posix else WINDOWS_PIECES).encode("utf-8"))
    name = b"".join(parts) + rng.choice(EXTENSIONS).encode()
    if not posix:
        # Windows names ignore case, and cannot end in a dot or a space.
        name = name.decode("utf-8").lower().encode("utf-8")
        if name.endswith((b".", b" ")):
            name += b"x"
    if (name in (b".", b"..", b"_", b"~") or name.startswith(b"..") or name.endswith((b".aps", b".rc"))
            or name.lower().startswith(b"resource") or b"/" in name):
        return b"n" + name
    return name


def random_content(rng):
    kind = rng.random()
    if kind < 0.15:
        return b""
    if kind < 0.3:
        return rng.choice([b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff"]) + os.urandom(rng.randint(0, 40))
    return os.urandom(rng.randint(1, 3000))


def build_tree(rng, root, posix):
    """Writes a random tree below root; returns {relative bytes path: content}."""
    files = {}
    directories = [b""]
    for _ in range(rng.randint(5, 40)):
        parent = rng.choice(directories)
        name = random_name(rng, posix)
        relative = parent + b"/" + name if parent else name
        full = os.path.join(os.fsencode(root), relative)
        if os.path.lexists(full):
            continue
        if rng.random() < 0.3 and relative.count(b"/") < 12:
            os.makedirs(full)
            directories.append(relative)
            # Now and then a deep chain.
            if rng.random() < 0.1:
                for level in range(rng.randint(5, 30)):
                    relative += b"/d%d" % level
                    os.makedirs(os.path.join(os.fsencode(root), relative))
                directories.append(relative)
        else:
            data = random_content(rng)
            with open(full, "wb") as f:
                f.write(data)
            files[relative] = data
    parent = rng.choice(directories)
    for relative in COLLIDING:
        relative = (parent + b"/" if parent else b"") + relative.encode()
        full = os.path.join(os.fsencode(root), relative)
        if not os.path.lexists(os.path.dirname(full)) or os.path.isdir(os.path.dirname(full)):
            if not os.path.lexists(full):
                os.makedirs(os.path.dirname(full), exist_ok=True)
                with open(full, "wb") as f:
                    f.write(relative)
                files[relative] = relative
    return files


def above_latin1(relative):
    return any(ord(c) > 0xFF for c in relative.decode("utf-8", "surrogateescape"))


class RandomTrees(ToolTest):
    def test_random_trees_compile_and_hold_every_file(self):
        seed = int(os.environ.get("VEX_RANDOM_SEED", random.randrange(1 << 32)))
        count = int(os.environ.get("VEX_RANDOM_TREES", "4" if PLATFORM == "windows" else "25"))
        posix = PLATFORM != "windows"
        rng = random.Random(seed)
        for number in range(count):
            with self.subTest(seed=seed, tree=number):
                try:
                    self.check_one_tree(rng, posix, number)
                except AssertionError as failure:
                    raise AssertionError("random tree %d of VEX_RANDOM_SEED=%d VEX_RANDOM_TREES=%d: %s"
                                         % (number, seed, count, failure)) from None

    def check_one_tree(self, rng, posix, number):
        work = self.path("tree%d" % number)
        site = os.path.join(work, "site")
        os.makedirs(site)
        files = build_tree(rng, site, posix)
        switches = rng.choice([[], ["-f"], ["-b"], ["-h"], ["-b", "-f"]])
        utf8 = any(above_latin1(relative) for relative in files) or rng.random() < 0.5
        if utf8:
            switches.append("-u")
        result = self.run_tool("-q", *switches, "res.cpp", "-d", "site", "*", cwd=work)
        self.assertEqual(result.code, 0, result.out)
        records = self.compile_and_check("res.cpp", "res.h", namespaces_with_arrays(os.path.join(work, "res.h")),
                                         where=work, std="gnu++20")
        # The fast forms hold the same records, byte for byte and pointer for
        # pointer (the incbin form with its data in res_incbin.bin, the object
        # form in its object file). The object form's records go into 1 to 5
        # shards (-s), more than the tree has files now and then, which
        # compile into the same program; it takes no -b.
        fast_records = {}
        shards = rng.randint(1, 5)
        form_flags = {"incbin": ["-Wa,-I" + work], "literal": [],
                      "object": [os.path.join(work, native_object("res_object"))] +
                                [os.path.join(work, "res_object.%d.cpp" % k) for k in range(1, shards)]}
        for form in ("incbin", "literal", "object"):
            form_switches = [w for w in switches if w != "-u" and (form != "object" or w != "-b")] + ["-m", form]
            form_switches += (["-s", str(shards)] if form == "object" else []) + (["-u"] if utf8 else [])
            fast = self.run_tool("-q", *form_switches, "res_%s.cpp" % form, "-d", "site", "*", cwd=work)
            self.assertEqual(fast.code, 0, fast.out)
            self.assertEqual(fast.out.replace("res_%s." % form, "res."), result.out)
            fast_records[form] = self.compile_and_check(
                "res_%s.cpp" % form, "res_%s.h" % form, namespaces_with_arrays(os.path.join(work, "res.h")),
                where=work, flags=form_flags[form], std="gnu++20",
                # The object form's source differs from incbin's only in the
                # declarations of its data, built from the same identifiers:
                # one compiler checks them.
                compilers=COMPILERS[:1] if form == "object" else None)
        # The narrow path holds UTF-8 (the name's own bytes on POSIX) under -u, else Latin-1.
        def narrow(text):
            return text.encode("utf-8", "surrogateescape") if utf8 else text.encode("latin-1")
        expected = {}
        for relative, data in files.items():
            if b"\\" in relative:
                # Walked on POSIX only, where a name holding a backslash is skipped with a message.
                self.assertIn("its name holds a path separator", result.out)
                continue
            text = relative.decode("utf-8", "surrogateescape")
            expected[narrow(text).decode("latin-1")] = (text, data)
        self.assertEqual(sorted(records), sorted("/" + url for url in expected), "every file is embedded once")
        for url, (text, data) in expected.items():
            record = records["/" + url]
            components = text.split("/")
            self.assertEqual(record["name"], components[-1], url)
            self.assertEqual(record["name_offset"], len(narrow(text)) - len(narrow(components[-1])), url)
            self.assertEqual(record["below_top"], len(narrow(components[0])) + 1 if len(components) > 1 else 0, url)
            if "-b" not in switches:  # a big-endian consumer's data reads back differently here
                self.assertEqual(record["data"], data, url)
        for form, form_records in fast_records.items():
            if "-b" in switches:
                # The binary file and the literals hold the bytes in order for either byte order.
                self.assertEqual({url: r["data"] for url, r in form_records.items()},
                                 {"/" + url: data for url, (_, data) in expected.items()}, form)
            else:
                self.assertEqual(form_records, records, form)
        shutil.rmtree(work, ignore_errors=True)
