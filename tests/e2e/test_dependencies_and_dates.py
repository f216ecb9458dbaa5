"""The dependency file (-M) and the clamp of last-write times (-t)."""
import os
import unittest

from harness import PLATFORM, USAGE, ToolTest, http_date, make_tree

SITE = {"site/index.html": "<p>hi</p>", "site/css/main.css": "body{}", "site/my dir/a#b$.txt": "x",
        "site/img/": None}
JAN_2001 = 978307200      # 2001-01-01 00:00:00 UTC
JAN_2020 = 1577836800     # 2020-01-01 00:00:00 UTC


def make_site(root, stamp):
    make_tree(root, {k: v for k, v in SITE.items() if v is not None})
    os.makedirs(os.path.join(root, "site", "img"), exist_ok=True)
    for base, dirs, files in os.walk(root):
        for name in dirs + files:
            os.utime(os.path.join(base, name), (stamp, stamp))


def rule(text):
    """The target and the dependencies of a one-rule Make file."""
    head, _, rest = text.partition(":")
    deps = [d.strip() for d in rest.replace("\\\n", "\n").split("\n") if d.strip()]
    return head, deps


class DependencyFile(ToolTest):
    def test_lists_target_searched_directories_and_embedded_files(self):
        make_site(self.dir, JAN_2020)
        result = self.run_tool("-q", "-M", "out.d", "res.cpp", "-d", "site", "*")
        self.assertEqual((result.code, result.out), (0, ""))
        text = self.read("out.d").decode()
        self.assertTrue(text.endswith("\n"))
        target, deps = rule(text)
        self.assertEqual(target, "res.cpp")
        # Walk order; paths seen from the start directory, escaped for Make.
        self.assertEqual(deps, ["site", "site/css", "site/css/main.css", "site/img", "site/index.html",
                                "site/my\\ dir", "site/my\\ dir/a\\#b$$.txt"])
        self.assertLeftOnly(["out.d", "res.cpp", "res.h", "site"])

    def test_value_may_be_joined_and_follows_every_directory_change(self):
        make_site(self.dir, JAN_2020)
        os.makedirs(self.path("deps"))
        result = self.run_tool("-q", "-Mdeps/out.d", "res.cpp", "-d", "site", "css", "-d", "..",
                               "site/index.html")
        self.assertEqual(result.code, 0, result.out)
        target, deps = rule(self.read("deps", "out.d").decode())
        self.assertEqual(target, "res.cpp")
        self.assertEqual(deps, ["site", "site/css", "site/css/main.css", "site/../site", "site/../site/index.html"])

    @unittest.skipIf(PLATFORM == "windows", "absolute POSIX paths")
    def test_absolute_directory_changes_give_absolute_paths(self):
        make_site(self.dir, JAN_2020)
        result = self.run_tool("-q", "-M", "out.d", "res.cpp", "-d", self.path("site", "css"), "*")
        self.assertEqual(result.code, 0, result.out)
        self.assertEqual(rule(self.read("out.d").decode())[1],
                         [self.path("site", "css"), self.path("site", "css", "main.css")])

    def test_a_dependency_file_inside_the_tree_is_not_embedded(self):
        make_site(self.dir, JAN_2020)
        result = self.run_tool("-q", "-M", "site/css/x.d", "res.cpp", "-d", "site", "css")
        self.assertIn("skipped [css/x.d]: it is written by this run\n", result.out)
        self.assertNotIn("x.d", self.read("res.cpp").decode())
        self.assertEqual(rule(self.read("site", "css", "x.d").decode())[1], ["site", "site/css", "site/css/main.css"])

    def test_a_missing_value_is_a_usage_error(self):
        for args in (["-M", "x.d", "x.cpp"], ["-q", "-M", "", "x.cpp", "src"], ["-a", "-M"]):
            result = self.run_tool(*args)
            self.assertEqual((result.code, result.out), (1, USAGE), args)
        self.assertLeftOnly([])

    def test_a_dependency_file_that_cannot_be_created_makes_the_run_incomplete(self):
        make_site(self.dir, JAN_2020)
        result = self.run_tool("-q", "-M", "no/such/dir/out.d", "res.cpp", "-d", "site", "*")
        self.assertEqual(result.code, 2)
        self.assertTrue(result.out.startswith("failed to create the dependency file [no/such/dir/out.d]\n"),
                        result.out)
        # The output set itself is complete.
        self.assertIn("index_html", self.read("res.cpp").decode())

    def test_switches_keep_their_fixed_order(self):
        make_site(self.dir, JAN_2020)
        # -t comes after -M: given first, -M is no longer looked for, and a
        # switch where the target stands is refused before anything is written.
        result = self.run_tool("-q", "-t", "0", "-M", "out.d", "res.cpp")
        self.assertEqual((result.code, result.out), (1, "unknown or misplaced switch [-M]\n"))
        self.assertLeftOnly(["site"])


class ClampedDates(ToolTest):
    def generated(self, root, *switches):
        result = self.run_tool("-q", "-M", "res.d", *switches, "res.cpp", "-d", "site", "*", cwd=root)
        self.assertEqual((result.code, result.out), (0, ""))
        return [open(os.path.join(root, name), "rb").read() for name in ("res.cpp", "res.h", "res.d")]

    def test_two_checkouts_give_the_same_bytes(self):
        first, second = self.path("one", "checkout"), self.path("two")
        make_site(first, JAN_2020)
        make_site(second, JAN_2020 + 86400 * 100 + 7)
        self.assertEqual(self.generated(first, "-t", str(JAN_2001)), self.generated(second, "-t", str(JAN_2001)))
        self.assertIn(b'"Mon, 1 Jan 2001 0:00:00 GMT"', self.generated(first, "-t", str(JAN_2001))[0])
        # Without the clamp the dates differ, and nothing else does.
        plain_first, plain_second = self.generated(first), self.generated(second)
        self.assertNotEqual(plain_first[0], plain_second[0])
        self.assertEqual(plain_first[1:], plain_second[1:])

    def test_older_files_keep_their_own_date(self):
        make_site(self.dir, JAN_2001)
        newer = self.path("site", "css", "main.css")
        os.utime(newer, (JAN_2020 + 5, JAN_2020 + 5))
        cpp = self.generated(self.dir, "-t%d" % (JAN_2020 + 3))[0].decode()
        self.assertIn('"%s"' % http_date(self.path("site", "index.html")), cpp)
        self.assertIn('"Wed, 1 Jan 2020 0:00:03 GMT"', cpp)
        self.assertNotIn(http_date(newer), cpp)
        # The extremes of the range are dated exactly.
        self.assertIn(b'"Mon, 1 Jan 1601 0:00:00 GMT"', self.generated(self.dir, "-t", "-11644473600")[0])

    def test_times_outside_1601_to_9999_are_refused_before_anything_is_written(self):
        make_site(self.dir, JAN_2020)
        for value in ["-11644473601", "253402300800", "1e9", "soon", "12.5"]:
            result = self.run_tool("-t", value, "res.cpp", "-d", "site", "*")
            self.assertEqual(result.code, 1, value)
            self.assertEqual(result.out, "invalid time [%s]: give whole seconds since 1970-01-01 UTC, from 1601 "
                                         "to the end of 9999\n" % value)
        self.assertLeftOnly(["site"])
        # The last second of 9999 is taken, and clamps nothing of today.
        self.assertEqual(self.run_tool("-q", "-t", "253402300799", "res.cpp", "-d", "site", "*").code, 0)
        self.assertIn(b'"Wed, 1 Jan 2020 0:00:00 GMT"', self.read("res.cpp"))
