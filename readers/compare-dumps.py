#!/usr/bin/env python3
"""Runs a reader's dump program and `mrqt dump` on every file of a corpus folder, on a file
that does not exist and on the folder itself: standard output, standard error and the exit
status must be the same bytes. Stops at the first file that differs, naming it and the first
differing byte.

    compare-dumps.py MRQT DUMP_PROGRAM CORPUS_DIR

(make_reader_corpus --seed N --random COUNT DIR writes files the corpus does not hold.)
"""
import concurrent.futures
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


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    mrqt, program, corpus = sys.argv[1:]
    names = sorted(n for n in os.listdir(corpus) if n.endswith(".mrqt"))
    if not names:
        print("no .mrqt files in %s (is the build complete?)" % corpus, file=sys.stderr)
        return 1
    paths = [os.path.join(corpus, n) for n in names]
    paths += [os.path.join(corpus, "no such file.mrqt"), corpus]
    lang = os.path.basename(program)

    def both(path):
        return path, run([mrqt, "dump", path]), run([program, path])

    # Two at a time: most of the time goes into starting the programs.
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for path, theirs, ours in pool.map(both, paths):
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


if __name__ == "__main__":
    sys.exit(main())
