#!/usr/bin/env python3
"""Compares a reader's dump program with `mrqt dump` on every file of a corpus folder, on a
file that does not exist and on the folder itself: standard output, standard error and the
exit status must be the same bytes. Stops at the first file that differs, naming it and the
first differing byte.

    compare-dumps.py --expect MRQT CORPUS_DIR EXPECTED_DIR
        runs mrqt dump on every file once and keeps what it printed in EXPECTED_DIR
    compare-dumps.py DUMP_PROGRAM CORPUS_DIR EXPECTED_DIR
        runs the dump program on every file and compares with what mrqt printed

mrqt's side is written once per test run and shared by the comparisons of all languages. The
dump program is started once, as `DUMP_PROGRAM --batch`, with every path on its standard
input; each record it answers ("STATUS OUTLEN ERRLEN", then the bytes of standard output and
of standard error) is compared with mrqt's. The first corpus file and the missing file are
also dumped the plain way, `DUMP_PROGRAM FILE`, as a game's tools run it.
(make_reader_corpus --seed N --random COUNT DIR writes files the corpus does not hold.)
"""
import concurrent.futures
import hashlib
import os
import re
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


def mrqt_said(expected, path):
    """(status, stdout, stderr) of mrqt dump PATH, as --expect kept them; None when missing."""
    base = os.path.join(expected, key(path))
    try:
        with open(base + ".out", "rb") as f, open(base + ".err", "rb") as g, open(base + ".status", "rb") as h:
            return int(h.read()), f.read(), g.read()
    except OSError as e:
        print("%s: no output of mrqt dump to compare with (%s)" % (path, e), file=sys.stderr)
        return None


def same(path, theirs, ours, lang):
    """Whether the dump program's (status, stdout, stderr) for PATH are mrqt's; says how not."""
    for what, a, b in (("standard output", theirs[1], ours[1]), ("standard error", theirs[2], ours[2])):
        if a != b:
            at = first_difference(a, b)
            print("%s: %s differs from mrqt dump's at byte %d (mrqt %d bytes, %s %d bytes)\n"
                  "  mrqt: %s\n  %s: %s" % (path, what, at, len(a), lang, len(b), excerpt(a, at), lang,
                                            excerpt(b, at)), file=sys.stderr)
            return False
    if theirs[0] != ours[0]:
        print("%s: exit status %d, mrqt dump's is %d" % (path, ours[0], theirs[0]), file=sys.stderr)
        return False
    return True


RECORD_HEADER = re.compile(rb"(\d+) (\d+) (\d+)\n")


def batch_records(program, paths):
    """(path, (status, stdout, stderr)) for every path, from one run of PROGRAM --batch; None
    (having said why) where the records do not add up or the run failed."""
    lang = os.path.basename(program)
    done = subprocess.run([program, "--batch"], input=b"".join(os.fsencode(p) + b"\n" for p in paths),
                          capture_output=True, timeout=600)
    data, at = done.stdout, 0
    for path in paths:
        if at == len(data):
            print("%s: no record from %s --batch (exit status %d, standard error %r)"
                  % (path, lang, done.returncode, done.stderr[-2000:]), file=sys.stderr)
            yield None
            return
        header = RECORD_HEADER.match(data, at)
        if not header:
            print("%s: %s --batch's record at byte %d has no header \"STATUS OUTLEN ERRLEN\": %r"
                  % (path, lang, at, data[at:at + 60]), file=sys.stderr)
            yield None
            return
        status, out_size, err_size = (int(n) for n in header.groups())
        start = header.end()
        if start + out_size + err_size > len(data):
            print("%s: %s --batch's record at byte %d says %d + %d bytes; %d are left"
                  % (path, lang, at, out_size, err_size, len(data) - start), file=sys.stderr)
            yield None
            return
        at = start + out_size + err_size
        yield path, (status, data[start:start + out_size], data[start + out_size:at])
    if at != len(data):
        print("%s --batch: %d bytes after the last record: %r" % (lang, len(data) - at, data[at:at + 60]),
              file=sys.stderr)
        yield None
    elif done.returncode != 0 or done.stderr:
        print("%s --batch: exit status %d, standard error %r" % (lang, done.returncode, done.stderr[-2000:]),
              file=sys.stderr)
        yield None


def compare(program, corpus, expected):
    lang = os.path.basename(program)
    paths = corpus_paths(corpus)
    for record in batch_records(program, paths):
        if record is None:
            return 1
        path, ours = record
        theirs = mrqt_said(expected, path)
        if theirs is None or not same(path, theirs, ours, lang):
            return 1
    # The plain mode, one program start a file, on a tile set and on a file that is missing.
    plain = [paths[0], paths[-2]]
    for path in plain:
        theirs = mrqt_said(expected, path)
        if theirs is None:
            return 1
        if not same(path, theirs, run([program, path]), lang):
            print("  (in the run of %s FILE)" % lang, file=sys.stderr)
            return 1
    print("%s: %d files in one --batch run and %d run alone, each the same as mrqt dump"
          % (lang, len(paths), len(plain)))
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
