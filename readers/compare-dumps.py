#!/usr/bin/env python3
"""Compares a reader's dump program with `mrqt dump` on every file of a corpus folder, on a
file that does not exist and on the folder itself: standard output, standard error and the
exit status must be the same bytes. Stops at the first file that differs, naming it and the
first differing byte.

    compare-dumps.py --expect MRQT CORPUS_DIR EXPECTED_DIR
        runs mrqt dump on every file once and keeps what it printed in EXPECTED_DIR
    compare-dumps.py DUMP_PROGRAM CORPUS_DIR EXPECTED_DIR
        runs the dump program on every file and compares with what mrqt printed

mrqt's side is written once per test run and shared by the comparisons of all languages, so
each comparison starts one program per file, not two.
(make_reader_corpus --seed N --random COUNT DIR writes files the corpus does not hold.)
"""
import concurrent.futures
import hashlib
import os
import subprocess
import sys


def run(args):
    done = subprocess.run(args, capture_output=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def excerpt(data, at):
    start = max(0, at - 60)
    return repr(data[start:at + 60])


def corpus_paths(corpus):
    names = sorted(n for n in os.listdir(corpus) if n.endswith(".mrqt"))
    if not names:
        raise SystemExit("no .mrqt files in %s (is the build complete?)" % corpus)
    paths = [os.path.join(corpus, n) for n in names]
    return paths + [os.path.join(corpus, "no such file.mrqt"), corpus]


def key(path):
    # One name per input, whatever characters the path holds.
    return hashlib.sha256(os.fsencode(path)).hexdigest()[:32]


def each(paths, program):
    """(path, (status, stdout, stderr)) for every path, two programs at a time: most of the
    time goes into starting them."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        yield from zip(paths, pool.map(lambda p: run(program + [p]), paths))


def expect(mrqt, corpus, expected):
    os.makedirs(expected, exist_ok=True)
    for path, (status, out, err) in each(corpus_paths(corpus), [mrqt, "dump"]):
        base = os.path.join(expected, key(path))
        for ending, data in ((".out", out), (".err", err), (".status", str(status).encode())):
            with open(base + ending, "wb") as f:
                f.write(data)
    return 0


def compare(program, corpus, expected):
    lang = os.path.basename(program)
    paths = corpus_paths(corpus)
    for path, ours in each(paths, [program]):
        base = os.path.join(expected, key(path))
        try:
            with open(base + ".out", "rb") as f, open(base + ".err", "rb") as g, open(base + ".status", "rb") as h:
                theirs = (int(h.read()), f.read(), g.read())
        except OSError as e:
            print("%s: no output of mrqt dump to compare with (%s)" % (path, e), file=sys.stderr)
            return 1
        for what, a, b in (("standard output", theirs[1], ours[1]), ("standard error", theirs[2], ours[2])):
            if a != b:
                at = first_difference(a, b)
                print("%s: %s differs from mrqt dump's at byte %d (mrqt %d bytes, %s %d bytes)\n"
                      "  mrqt: %s\n  %s: %s" % (path, what, at, len(a), lang, len(b), excerpt(a, at), lang,
                                                excerpt(b, at)), file=sys.stderr)
                return 1
        if theirs[0] != ours[0]:
            print("%s: exit status %d, mrqt dump's is %d" % (path, ours[0], theirs[0]), file=sys.stderr)
            return 1
    print("%s: %d files, each the same as mrqt dump" % (lang, len(paths)))
    return 0


def main():
    args = sys.argv[1:]
    if len(args) == 4 and args[0] == "--expect":
        return expect(*args[1:])
    if len(args) == 3:
        return compare(*args)
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
