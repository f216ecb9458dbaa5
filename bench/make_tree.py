#!/usr/bin/env python3
"""Writes a documentation-like tree for the benchmarks: text pages, style
sheets and scripts beside images and fonts of random bytes.

  bench/make_tree.py <directory> [megabytes (default 64)] [files (default 1100)]
  bench/make_tree.py --site <files> <directory> [smallest bytes (100)] [largest bytes (20000)]

The second form writes a big site: files of random bytes, sizes even
between the two bounds, 50 to a directory, the directories nested up to 5
deep (8 to a level); it writes a million files in a few minutes.

The same arguments always give the same tree (fixed seed)."""
import os
import random
import sys

WORDS = ("resource server request header content type encoding compile array record namespace "
         "directory file byte static build tool section symbol data page style script image font").split()


def text_bytes(rng, size):
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14))) + "\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]


EXTENSIONS = ("html", "css", "js", "svg", "png", "jpg", "woff2", "json")


def site(count, root, smallest, largest):
    """count files below root, 50 to a directory: directory d lies at the
    path of its octal digits (d 0o347 in s3/s4/s7), up to 5 deep for a million files."""
    rng = random.Random(15)
    pool = rng.randbytes(1 << 22)
    for d in range((count + 49) // 50):
        directory = os.path.join(root, *("s" + digit for digit in "%o" % d))
        os.makedirs(directory, exist_ok=True)
        for number in range(d * 50, min(count, d * 50 + 50)):
            size = rng.randint(smallest, largest)
            start = rng.randrange(len(pool) - size)
            name = os.path.join(directory, "f%d.%s" % (number, EXTENSIONS[number % len(EXTENSIONS)]))
            fd = os.open(name, os.O_CREAT | os.O_WRONLY | os.O_TRUNC, 0o644)
            os.write(fd, pool[start:start + size])
            os.close(fd)
    print("%d files of %d to %d bytes below %s" % (count, smallest, largest, root))


def main():
    if sys.argv[1] == "--site":
        bounds = [int(value) for value in sys.argv[4:6]] + [100, 20000][len(sys.argv[4:6]):]
        site(int(sys.argv[2]), sys.argv[3], *bounds)
        return
    root = sys.argv[1]
    total = int(sys.argv[2] if len(sys.argv) > 2 else 64) * 1000 * 1000
    count = int(sys.argv[3] if len(sys.argv) > 3 else 1100)
    rng = random.Random(15)
    average = total // count
    written = 0
    for number in range(count):
        directory = os.path.join(root, "section%02d" % (number % 40), "part%d" % (number % 7))
        os.makedirs(directory, exist_ok=True)
        binary = number % 3 == 0
        size = rng.randint(average // 4, average * 7 // 4) if number < count - 1 else max(total - written, 1)
        name = "file%04d.%s" % (number, rng.choice(("png", "woff2", "jpg")) if binary else rng.choice(
            ("html", "css", "js", "svg", "json")))
        data = rng.randbytes(size) if binary else text_bytes(rng, size)
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)
        written += size
    print("%d files, %d bytes below %s" % (count, written, root))


if __name__ == "__main__":
    main()
