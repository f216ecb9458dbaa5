"""The whole tool on real trees: the walk, the records, the arrays, and the
generated code compiled and checked at run time."""
import os
import re
import unittest

import subprocess

from harness import BANNER, PLATFORM, TOOL, ToolTest, http_date, make_tree

PNG = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 4 + bytes(1234 - 8 - 1024)
OPENING = "<res.cpp>  \n<res.h>  \n<res.1.tmp>\n<res.2.tmp>\n<res.3.tmp>\n<res.4.tmp>\n\n"
FINISHED = "\n[finished]\n"


class WalkAndEmbed(ToolTest):
    def build(self, files, *args, namespaces=(), where=None):
        self.make(files, where)
        result = self.run_tool(*args, cwd=where)
        self.assertEqual(result.code, 0, result.out)
        return result, self.compile_and_check("res.cpp", "res.h", list(namespaces), where)

    def make(self, files, where=None):
        from harness import make_tree
        make_tree(where or self.dir, files)

    def text(self, name):
        return self.read(name).decode("ascii")  # the generated files are pure ASCII

    def test_worked_example_at_depth_two(self):
        result, records = self.build({"www/css/logo.png": PNG}, "res.cpp", "www", namespaces=["www"])
        record = records["/www/css/logo.png"]
        self.assertRecordMatches(record, self.path("www/css/logo.png"), "www/css/logo.png", 4,
                                 "HTTP_CONTENT_TYPE_IMAGE_PNG")
        self.assertEqual((record["array"], record["size"], record["utf16_length"]), ("www", 1234, 617))
        cpp = self.text("res.cpp")
        date = http_date(self.path("www/css/logo.png"))
        self.assertIn(
            "\t\t\tconst vex_resource www_css_logo_png =\n\t\t\t{\n\t\t\t\tL\"logo.png\",\n\t\t\t\t\"/www/css/logo.png\",\n"
            "\t\t\t\twww_css_logo_png.path_root_a + 1,\n\t\t\t\twww_css_logo_png.path_a + 4,\n"
            "\t\t\t\twww_css_logo_png.path_a + 8,\n\t\t\t\tHTTP_CONTENT_TYPE_IMAGE_PNG,\n\t\t\t\tTXT_ENCODING_ANSI,\n"
            "\t\t\t\t1234,\n\t\t\t\t1234,\n\t\t\t\t617,\n\t\t\t\t(const char * const)vex_res_data::www_css_logo_png,\n"
            "\t\t\t\twww_css_logo_png.data + 0,\n\t\t\t\t\"%s\",\n\t\t\t\t\"%s\",\n\t\t\t};\n\n" % (date, date.lower()), cpp)
        self.assertIn("\t\t\t&::vex_res::www::css::www_css_logo_png,\n", cpp)
        self.assertIn("\tuint64_t www_css_logo_png[155] =\n\t{\n\t\t0x0a1a0a0d474e5089, ", cpp)
        header = self.text("res.h")
        self.assertIn("\t\t\textern const vex_resource www_css_logo_png;\n", header)
        self.assertIn("\n\t\textern const vex_resource * all[];\n\t\textern const size_t all_length;\n", header)
        self.assertIn("\t\tqsort(www::all, www::all_length, sizeof(*www::all), vex_res_compare);\n", cpp)

        os.remove(self.path("res.cpp"))
        result, records = self.build({}, "-f", "res.cpp", "www", namespaces=["www"])
        cpp = self.text("res.cpp")
        self.assertIn("\t\t\tconst vex_resource logo_png =\n", cpp)
        self.assertIn("\t\t\t\tlogo_png.path_a + 8,\n", cpp)
        self.assertIn("\t\t\t\t(const char * const)vex_res_data::www_css_logo_png,\n", cpp)
        self.assertIn("\t\t\t&::vex_res::www::css::logo_png,\n", cpp)
        self.assertIn("\t\t\textern const vex_resource logo_png;\n", self.text("res.h"))
        self.assertIn("/www/css/logo.png", records)

    def test_overview_example_run(self):
        files = {"site/index.html": "<html></html>\n", "site/css/main.css": "\xef\xbb\xbfbody{}".encode("latin-1")}
        self.make(files)
        result = self.run_tool("res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 0)
        walk = "cd [site]\n[*]\n\n[css/*]\n css/main.css\n\n index.html\n\n"
        if PLATFORM == "posix":
            self.assertEqual(result.out, BANNER + OPENING + walk + FINISHED)
        else:  # the platform's listing order
            self.assertEqual(sorted(result.out.splitlines()), sorted((BANNER + OPENING + walk + FINISHED).splitlines()))
        self.assertLeftOnly(["res.cpp", "res.h", "site"])
        records = self.compile_and_check("res.cpp", "res.h", ["css"])
        self.assertEqual(sorted(records), ["/css/main.css", "/index.html"])
        self.assertRecordMatches(records["/css/main.css"], self.path("site/css/main.css"), "css/main.css", 4,
                                 "HTTP_CONTENT_TYPE_TEXT_CSS")
        self.assertEqual(records["/css/main.css"]["encoding"], "TXT_ENCODING_UTF8")
        self.assertRecordMatches(records["/index.html"], self.path("site/index.html"), "index.html", 0,
                                 "HTTP_CONTENT_TYPE_TEXT_HTML")
        self.assertEqual(records["/index.html"]["array"], "")
        cpp = self.text("res.cpp")
        self.assertLess(cpp.index("namespace vex_res_data"), cpp.index("uint64_t css_main_css["))
        self.assertLess(cpp.index("const vex_resource css_main_css ="), cpp.index("\t\t&::vex_res::css::css_main_css,"))
        self.assertLess(cpp.index("\t\t&::vex_res::css::css_main_css,"), cpp.index("\t}\n\n\tconst vex_resource index_html"))
        self.assertIn("\n\tconst vex_resource * all[] =\n\t{\n\t\t&index_html,\n\t};\n\n\tconst size_t all_length = "
                      "ARRAYSIZE(all);\n\n\tvoid sort_all()\n\t{\n\t\tqsort(all, all_length, sizeof(*all), "
                      "vex_res_compare);\n\t\tqsort(css::all, css::all_length, sizeof(*css::all), vex_res_compare);"
                      "\n\t}\n}\n\n\n", cpp)
        self.assertEqual(self.text("res.h"),
                         "namespace vex_res\n{\n\n\tnamespace css\n\t{\n\t\textern const vex_resource css_main_css;\n"
                         "\n\t\textern const vex_resource * all[];\n\t\textern const size_t all_length;\n\t}\n\n"
                         "\textern const vex_resource index_html;\n"
                         "\n\textern const vex_resource * all[];\n\textern const size_t all_length;\n}\n\n\n")

    def test_directory_argument_against_its_content(self):
        files = {"www/index.html": "i", "www/img/a.png": "a", "www/img/icons/b.png": "b"}
        result, records = self.build(files, "res.cpp", "www", namespaces=["www"])
        self.assertEqual({url: r["array"] for url, r in records.items()},
                         {"/www/index.html": "www", "/www/img/a.png": "www", "/www/img/icons/b.png": "www"})
        self.assertRecordMatches(records["/www/img/icons/b.png"], self.path("www/img/icons/b.png"),
                                 "www/img/icons/b.png", 4)
        self.assertIn("\t\t\tnamespace icons\n\t\t\t{\n", self.text("res.cpp"))
        self.assertIn("\t\t\t}\n\n\t\t}\n\n", self.text("res.cpp"))
        os.remove(self.path("res.cpp"))
        result, records = self.build({}, "res.cpp", "www/*", namespaces=["img"])
        self.assertEqual({url: r["array"] for url, r in records.items()},
                         {"/www/index.html": "", "/www/img/a.png": "img", "/www/img/icons/b.png": "img"})
        self.assertRecordMatches(records["/www/img/icons/b.png"], self.path("www/img/icons/b.png"),
                                 "www/img/icons/b.png", 4)

    def test_pattern_walks_matching_items_and_whole_matching_directories(self):
        files = {"a.html": "a", "b.css": "b", "d.html/inner.txt": "x", "d.html/deep/more.js": "y"}
        result, records = self.build(files, "res.cpp", "*.html", namespaces=["d_html"])
        self.assertEqual(sorted(records), ["/a.html", "/d.html/deep/more.js", "/d.html/inner.txt"])
        self.assertEqual(records["/d.html/deep/more.js"]["content_type"], "HTTP_CONTENT_TYPE_APPLICATION_JAVASCRIPT")

    def test_skip_rules_and_namespace_identifiers(self):
        files = {"t/_": "u", "t/~": "t", "t/..x": "d", "t/.git/config": "g", "t/_x": "1", "t/~x": "2",
                 "t/3d-models/m.obj": "3", "t/img.old/p.png": "4"}
        result, records = self.build(files, "res.cpp", "t", namespaces=["t"])
        self.assertEqual(sorted(records), ["/t/.git/config", "/t/3d-models/m.obj", "/t/_x", "/t/img.old/p.png", "/t/~x"])
        # _x and ~x both give t__x: the later one is renamed.
        self.assertIn("renamed [t/~x]: its identifier t__x is taken, it is t__x_2\n", result.out)
        cpp = self.text("res.cpp")
        self.assertIn("\t\tnamespace _d_models\n", cpp)
        self.assertIn("\t\tnamespace img_old\n", cpp)
        self.assertIn("\t\tnamespace _git\n", cpp)
        self.assertNotIn("..x", result.out)

    def test_empty_top_level_directory_gets_no_array_and_no_sort_call(self):
        files = {"empty/": None, "full/x.txt": "x", "filtered/app.rc": "r"}
        result, records = self.build(files, "res.cpp", "empty", "full", "filtered", namespaces=["full"])
        cpp = self.text("res.cpp")
        self.assertIn("\tnamespace empty\n\t{\n\t}\n\n", cpp)
        self.assertNotIn("empty::all", cpp)
        self.assertNotIn("filtered::all", cpp)
        self.assertIn("qsort(full::all,", cpp)
        self.assertEqual(sorted(records), ["/full/x.txt"])

    def test_name_filter(self):
        files = {n: n for n in [".DS_Store", "app.aps", "app.rc", "resource.h", "resource1.h", "Resource.h",
                                "app.RC", "resource.hpp", "x.DS_Store"]}
        result, records = self.build(files, "res.cpp", "*")
        self.assertEqual(sorted(records), ["/Resource.h", "/app.RC", "/resource.hpp", "/x.DS_Store"])
        for rejected in [".DS_Store\n", "app.aps", "app.rc\n", "resource.h\n", "resource1.h"]:
            self.assertNotIn(" " + rejected, result.out)

    def test_names_beyond_latin1_are_not_embedded(self):
        files = {"d/caf\u00e9.txt": "ok", "d/\u20ac.txt": "euro", "\u65e5\u672c/x.txt": "jp", "z/y.txt": "y"}
        result, records = self.build(files, "res.cpp", "d", "\u65e5\u672c", "z", namespaces=["d", "z"])
        self.assertIn("failed to prepare flat_name to filter allowed names and extensions [\u20ac.txt]\n", result.out)
        self.assertIn("failed to prepare name of nested namespace [\u65e5\u672c]\n", result.out)
        self.assertIn("failed to prepare name [\u65e5\u672c/x.txt]\n", result.out)
        self.assertEqual(sorted(records), ["/d/caf\u00e9.txt", "/z/y.txt"])
        self.assertRecordMatches(records["/d/caf\u00e9.txt"], self.path("d/caf\u00e9.txt"), "d/caf\u00e9.txt", 2)
        # The namespace that failed to open left the nesting balanced: z is top-level.
        self.assertIn("\tnamespace z\n\t{\n", self.text("res.cpp"))

    def test_backslash_in_a_source_argument(self):
        files = {"www/new/x.txt": "x"}
        result, records = self.build(files, "res.cpp", "www\\new\\*")
        self.assertIn(" www\\new\\x.txt\n", result.out)
        self.assertEqual(sorted(records), ["/www\\new\\x.txt"])
        record = records["/www\\new\\x.txt"]
        self.assertEqual((record["name"], record["name_offset"]), ("x.txt", 8))
        self.assertIn("\t\t\"/www\\\\new\\\\x.txt\",\n", self.text("res.cpp"))

    @unittest.skipIf(PLATFORM != "posix", "such names do not exist on Windows")
    def test_a_listed_name_with_a_backslash_is_skipped_not_followed(self):
        # Taken as separators, the backslashes would reach ../outside.txt.
        make_tree(self.dir, {"outside.txt": "secret", "site/x/in.txt": "in", "site/x\\..\\..\\outside.txt": "n"})
        result = self.run_tool("-q", "res.cpp", "-d", "site", "*")
        self.assertEqual((result.code, result.out),
                         (0, "skipped [x\\..\\..\\outside.txt]: its name holds a path separator\n"))
        self.assertEqual(sorted(self.compile_and_check("res.cpp", "res.h", ["x"])), ["/x/in.txt"])

    @unittest.skipIf(PLATFORM != "posix", "such names do not exist on Windows")
    def test_quotes_and_backslashes_in_names_are_escaped(self):
        # (A backslash always separates, on every platform.)
        files = {'q/a"b.txt': "q", "q/x??=.txt": "t", "q/n\x01.txt": "c"}
        result, records = self.build(files, "res.cpp", "q", namespaces=["q"])
        self.assertEqual(sorted(records), ['/q/a"b.txt', "/q/n\x01.txt", "/q/x??=.txt"])
        self.assertIn('\t\t\t"/q/a\\"b.txt",\n', self.text("res.cpp"))

    def test_keywords_and_generated_names_get_a_trailing_underscore(self):
        files = {"static/a.css": "a", "new/default/public/b.js": "b", "int": "i", "all": "all", "sort_all": "s",
                 "all_length/c.txt": "c"}
        result, records = self.build(files, "res.cpp", "*", namespaces=["static_", "new_", "all_length_"])
        self.assertEqual(len(records), 6)
        cpp = self.text("res.cpp")
        for text in ["namespace static_\n", "namespace default_\n", "namespace public_\n",
                     "const vex_resource int_ =", "const vex_resource all_ =", "qsort(new_::all,"]:
            self.assertIn(text, cpp)
        result, records = self.build({}, "-f", "-q", "res.cpp", "*", namespaces=["static_", "new_", "all_length_"])
        self.assertEqual(len(records), 6)

    def test_items_with_one_identifier_in_one_scope(self):
        files = {"a-b.png": "1", "a_b.png": "2", "x/c.txt": "3", "x.d/e.txt": "4", "x_d/e.txt": "5"}
        result, records = self.build(files, "res.cpp", "*", namespaces=["x", "x_d", "x_d_2"])
        self.assertIn("renamed [a_b.png]: its identifier a_b_png is taken, it is a_b_png_2\n", result.out)
        self.assertIn("renamed [x_d]: its identifier x_d is taken, it is x_d_2\n", result.out)
        self.assertEqual(sorted(records), ["/a-b.png", "/a_b.png", "/x.d/e.txt", "/x/c.txt", "/x_d/e.txt"])
        self.assertEqual([records[url]["data"] for url in ["/a-b.png", "/a_b.png", "/x.d/e.txt", "/x_d/e.txt"]],
                         [b"1", b"2", b"4", b"5"])
        # The data arrays of x.d/e.txt and x_d/e.txt meet although their namespaces differ.
        self.assertIn("renamed [x_d/e.txt]: its identifier x_d_e_txt is taken, it is x_d_e_txt_2\n", result.out)
        quiet, _ = self.build({}, "-q", "res.cpp", "*", namespaces=["x", "x_d", "x_d_2"])
        self.assertNotIn("renamed", quiet.out)

    def test_output_files_inside_the_walk_are_not_embedded(self):
        result, records = self.build({"index.html": "i"}, "res.cpp", "*")
        self.assertIn("skipped [res.cpp]: it is written by this run\n", result.out)
        self.assertIn("skipped [res.h]: it is written by this run\n", result.out)
        self.assertEqual(sorted(records), ["/index.html"])

    def test_files_named_like_the_standard_streams_are_files(self):
        names = ["-"] + (["con", "CON"] if PLATFORM != "windows" else [])
        make_tree(self.dir, {"site/" + name: "the file %s\n" % name for name in names})
        proc = subprocess.run(TOOL + ["-q", "res.cpp", "-d", "site", "*"], cwd=self.dir, input=b"standard input\n",
                              capture_output=True, timeout=120)
        self.assertEqual((proc.returncode, proc.stdout), (0, b""))
        records = self.compile_and_check("res.cpp", "res.h", [])
        self.assertEqual({url: r["data"] for url, r in records.items()},
                         {"/" + name: b"the file %s\n" % name.encode() for name in names})

    def test_nested_directory_named_like_its_top_level_directory(self):
        files = {"www/www/x.png": "x", "www/css/y.css": "y", "www/z.txt": "z"}
        result, records = self.build(files, "res.cpp", "www", namespaces=["www"])
        self.assertEqual(sorted(records), ["/www/css/y.css", "/www/www/x.png", "/www/z.txt"])
        result, records = self.build({}, "-f", "res.cpp", "www", namespaces=["www"])
        self.assertEqual(len(records), 3)

    def test_empty_files_and_big_endian(self):
        files = {"e/empty.txt": "", "e/one": "A", "e/utf16.txt": b"\xff\xfe" + "hi".encode("utf-16-le")}
        result, records = self.build(files, "-b", "res.cpp", "e", namespaces=["e"])
        self.assertIn("\tuint64_t e_empty_txt[0] =\n\t{\n\t\t\n\t};\n\n", self.text("res.cpp"))
        self.assertIn("0x4100000000000000", self.text("res.cpp"))
        self.assertEqual(records["/e/utf16.txt"]["encoding"], "TXT_ENCODING_UTF16LE")
        self.assertEqual((records["/e/utf16.txt"]["bom"], records["/e/utf16.txt"]["utf16_length"]), (2, 2))
        self.assertEqual(records["/e/empty.txt"]["size"], 0)

    def test_append_runs_write_records_without_arrays(self):
        self.make({"one/a.txt": "a", "two/b.txt": "b"})
        self.assertEqual(self.run_tool("res.cpp", "one").code, 0)
        result = self.run_tool("-a", "res.cpp", "two")
        self.assertEqual(result.code, 0)
        cpp = self.text("res.cpp")
        self.assertEqual(cpp.count("void sort_all()"), 1)
        self.assertEqual(cpp.count("const vex_resource two_b_txt ="), 1)
        self.assertNotIn("two::all", cpp)
        records = self.compile_and_check("res.cpp", "res.h", ["one"])
        self.assertEqual(sorted(records), ["/one/a.txt"])


class Scale(ToolTest):
    def test_deep_tree_ends_cleanly(self):
        path = "/".join(["d%d" % i for i in range(200)])
        from harness import make_tree
        make_tree(self.dir, {path + "/leaf.txt": "leaf"})
        result = self.run_tool("-q", "res.cpp", "d0")
        self.assertEqual(result.code, 0, result.out[-2000:])
        self.assertEqual(result.out, "")
        records = self.compile_and_check("res.cpp", "res.h", ["d0"])
        self.assertEqual(list(records), ["/" + path + "/leaf.txt"])
