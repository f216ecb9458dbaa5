#!/usr/bin/env python3
"""Development mode's live files behind links, a FIFO and a socket made on
the host, read through the kit by dev_files_read, natively or under wine.
Under wine the host's symbolic links are what Windows sees as links, so the
handle's final path is what must keep one from leading out.

  test_dev_files_links.py --reader <dev_files_read> [--runner wine] [--platform posix|windows]
"""
import argparse
import os
import socket
import subprocess
import sys
import tempfile


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--reader", required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--platform", default="posix", choices=("posix", "windows"))
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        os.makedirs(os.path.join(tree, "docs"))
        os.makedirs(os.path.join(work, "outside"))
        for path, text in (("tree/docs/index.html", "live"), ("secret.txt", "secret"),
                           ("outside/secret.txt", "secret")):
            with open(os.path.join(work, path), "w") as f:
                f.write(text)
        for target, name in (("docs/index.html", "alias.html"), ("../docs/index.html", "docs/up.html"),
                             ("docs", "linkdir"), ("../secret.txt", "out.txt"), ("../outside", "outdir"),
                             (os.path.join(tree, "docs", "index.html"), "absolute.html")):
            os.symlink(target, os.path.join(tree, name))
        os.mkfifo(os.path.join(tree, "fifo.html"))
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(os.path.join(tree, "socket.html"))
        # Path: served bytes, or None for a refusal (missing or refused).
        expected = {"/docs/": "live", "/alias.html": "live", "/docs/up.html": "live", "/linkdir/index.html": "live",
                    "/out.txt": None, "/outdir/secret.txt": None, "/fifo.html": None, "/socket.html": None,
                    "/docs": None,
                    # Windows sees where a link leads, not how it was written.
                    "/absolute.html": "live" if args.platform == "windows" else None}
        command = ([args.runner] if args.runner else []) + [args.reader, "tree", *expected]
        # A FIFO opened for reading would wait for a writer: the timeout says so.
        result = subprocess.run(command, cwd=work, capture_output=True, text=True, timeout=300)
        listener.close()
    answers = {}
    for line in result.stdout.splitlines():
        path, status, *rest = line.split(" ", 2)
        answers[path] = rest[0] if status == "ok" else None
    failures = ["%s: expected %r, read %r" % (path, want, answers.get(path, "<no answer>"))
                for path, want in expected.items() if answers.get(path, "<no answer>") != want]
    if result.returncode != 0 or failures:
        print("\n".join(failures) or "", result.stdout, result.stderr, sep="\n")
        return 1
    print("%d paths answered as expected" % len(expected))
    return 0


if __name__ == "__main__":
    sys.exit(main())
