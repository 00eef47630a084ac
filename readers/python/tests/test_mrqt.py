#!/usr/bin/env python3
"""readers/python/mrqt.py reads every file as `mrqt dump` does: the demo tile set, the
examples of docs/file-format.md, and tile sets written here from a fixed seed with
Windows-1252 texts, every kind of line end, duplicate names and IDs, counts and sizes that
lie, and files cut short at many offsets.

    python3 mrqt_reader_test.py MRQT_PROGRAM SOURCE_DIR
"""
import hashlib
import json
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import unittest

MRQT = SOURCE = None
mrqt = None

CRLF, LF, CR, NUL = b"\r\n", b"\n", b"\r", b"\x00"


def dump(path):
    """`mrqt dump` of a file: (exit status, JSON or None, standard error)."""
    run = subprocess.run([MRQT, "dump", path], capture_output=True, timeout=60)
    value = json.loads(run.stdout) if run.returncode == 0 else None
    return run.returncode, value, run.stderr.decode("utf-8", "replace")


def comparable(tileset):
    """The keys `mrqt dump` prints, from the Python reader's result."""
    return {
        "tileWidth": tileset["tileWidth"],
        "tileHeight": tileset["tileHeight"],
        "materials": [{k: m[k] for k in ("name", "color", "red", "green", "blue", "description")}
                      for m in tileset["materials"]],
        "textures": [{"name": t["name"], "size": t["size"], "sha256": hashlib.sha256(t["data"]).hexdigest()}
                     for t in tileset["textures"]],
        "tiles": [{k: t[k] for k in ("id", "texture", "material", "layer", "collision")} for t in tileset["tiles"]],
    }


def from_dump(value):
    """The same keys from `mrqt dump`'s JSON (other keys it may print are left aside)."""
    keys = {"materials": ("name", "color", "red", "green", "blue", "description"),
            "textures": ("name", "size", "sha256"),
            "tiles": ("id", "texture", "material", "layer", "collision")}
    out = {"tileWidth": value["tileWidth"], "tileHeight": value["tileHeight"]}
    for section, names in keys.items():
        out[section] = [{k: record[k] for k in names} for record in value[section]]
    return out


class Writer:
    """Writes .mrqt bytes as a game tool might, good or bad: every line end, texts in
    either encoding, counts that need not match the records."""

    def __init__(self, rng):
        self.rng = rng
        self.out = bytearray()

    def i32(self, v):
        self.out += struct.pack("<i", v)

    def i16(self, v):
        self.out += struct.pack("<h", v)

    def line(self, text, end=None):
        if end is None:
            end = self.rng.choice((CRLF, CRLF, CRLF, LF, CR, NUL))
        self.out += text + end

    def raw(self, data):
        self.out += data


def random_text(rng, pool=None):
    """A name from a small pool (so names repeat), or plain ASCII, UTF-8 or Windows-1252."""
    if pool and rng.random() < 0.3:
        return rng.choice(pool)
    kind = rng.randrange(4)
    n = rng.randrange(0, 12)
    if kind == 0:
        return bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz_.0123456789 ") for _ in range(n))
    if kind == 1:
        return "".join(rng.choice("aéüßЖ漢€ ") for _ in range(n)).encode("utf-8")
    if kind == 2:   # Windows-1252, the five undefined bytes included
        return bytes(rng.choice(b"Caf\xe9 \x80\x81\x8d\x8f\x90\x9d\x9f\xa0\xff\x96") for _ in range(n))
    return bytes(rng.randrange(1, 256) for _ in range(n)).replace(b"\r", b"").replace(b"\n", b"")


def random_tileset(rng):
    """A tile set whose records may repeat names and IDs and whose counts and sizes may lie."""
    w = Writer(rng)
    header = b"0.50" if rng.random() < 0.95 else rng.choice((b"0.51", b"0.5", b"", b"0.50 ", b"\xef\xbb\xbf0.50"))
    w.line(header, CRLF if rng.random() < 0.8 else rng.choice((LF, CR, NUL)))
    w.i32(rng.choice((64, 32, 0, -16, 2 ** 31 - 1, rng.randrange(-2 ** 31, 2 ** 31))))
    w.i32(rng.choice((64, 48, rng.randrange(-2 ** 31, 2 ** 31))))

    def count(actual):
        r = rng.random()
        if r < 0.7:
            return actual
        if r < 0.8:
            return -rng.randrange(1, 2 ** 31)
        if r < 0.9:
            return actual + rng.randrange(1, 5)
        return rng.choice((2 ** 31 - 1, max(actual - 1, 0)))

    names = [random_text(rng) for _ in range(3)]
    materials = rng.randrange(0, 8)
    w.i32(count(materials))
    for _ in range(materials):
        w.line(random_text(rng, names))
        w.i32(rng.randrange(-2 ** 31, 2 ** 31))
        description = random_text(rng) * rng.choice((1, 1, 8))   # now and then beyond 64 bytes
        w.line(description)

    textures = rng.randrange(0, 6)
    w.i32(count(textures))
    for _ in range(textures):
        w.line(random_text(rng, names))
        data = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 40)))
        r = rng.random()
        if r < 0.8:
            w.i32(len(data))
            w.raw(data)
        elif r < 0.9:
            w.i32(-rng.randrange(1, 2 ** 31))   # a negative size: nothing follows
        else:
            w.i32(len(data) + rng.randrange(1, 2 ** 31 - 100))   # beyond the data
            w.raw(data)

    tiles = rng.randrange(0, 10)
    w.i32(count(tiles))
    ids = [rng.randrange(-5, 5) for _ in range(3)]
    for _ in range(tiles):
        w.i32(rng.choice(ids) if rng.random() < 0.3 else rng.randrange(-2 ** 31, 2 ** 31))
        w.line(random_text(rng, names))
        w.line(random_text(rng, names))
        w.i16(rng.randrange(-2 ** 15, 2 ** 15))
        w.i16(rng.choice((0, 1, 2, 5, rng.randrange(-2 ** 15, 2 ** 15))))
    if rng.random() < 0.1:
        w.raw(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 20))))   # bytes after the end
    return bytes(w.out)


def doc_example(title):
    """The hex bytes of an example in docs/file-format.md: the fenced block after the
    heading that holds the title; each line starts with hex pairs."""
    with open(os.path.join(SOURCE, "docs", "file-format.md"), encoding="utf-8") as f:
        doc = f.read()
    section = doc[doc.index(title):]
    block = section[section.index("```") + 3:]
    block = block[block.index("\n") + 1:block.index("```")]
    data = bytearray()
    for line in block.splitlines():
        hex_part = re.match(r"((?:[0-9A-F]{2} ?)+)", line)
        if hex_part:
            data += bytes.fromhex(hex_part.group(1))
    return bytes(data)


class Reader(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="marquetor-python-")
        cls.count = 0

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def write(self, data):
        Reader.count += 1
        path = os.path.join(self.tmp.name, "set%d.mrqt" % Reader.count)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def assertReadsAsDump(self, data, label):
        """Returns the Python reader's result (None for a file that is not a tile set)."""
        status, value, err = dump(self.write(data))
        try:
            ours = mrqt.loads(data)
        except mrqt.NotATileSet:
            self.assertEqual(status, 1, "%s: Python refused a file mrqt reads" % label)
            self.assertIn("not a tile set", err, label)
            return None
        self.assertEqual(status, 0, "%s: mrqt refused a file Python reads: %s" % (label, err))
        self.assertEqual(comparable(ours), from_dump(value), label)
        self.assertEqual(ours["truncated"], "ended early" in err, "%s: %s" % (label, err))
        return ours

    def test_demo_tile_set(self):
        with open(os.path.join(SOURCE, "examples", "demo-game", "Data", "TileSets", "demo.mrqt"), "rb") as f:
            data = f.read()
        ours = self.assertReadsAsDump(data, "demo.mrqt")
        self.assertFalse(ours["truncated"])
        self.assertGreater(len(ours["textures"]), 5)
        # The texture bytes are the image files themselves.
        self.assertTrue(any(t["data"].startswith(b"\x89PNG") for t in ours["textures"]))
        self.assertEqual(ours, mrqt.load(os.path.join(SOURCE, "examples", "demo-game", "Data", "TileSets",
                                                      "demo.mrqt")))

    def test_the_documented_examples(self):
        worked = doc_example("The worked example")
        self.assertEqual(len(worked), 49)
        ours = self.assertReadsAsDump(worked, "worked example")
        self.assertEqual(ours, {
            "tileWidth": 64, "tileHeight": 32,
            "materials": [{"name": "A", "color": 0x80FF, "red": 255, "green": 128, "blue": 0, "description": ""}],
            "textures": [],
            "tiles": [{"id": 7, "texture": "T", "material": "A", "layer": 3, "collision": 1}],
            "truncated": False})
        empty = doc_example("The empty tile set")
        self.assertEqual(len(empty), 26)
        ours = self.assertReadsAsDump(empty, "empty tile set")
        self.assertEqual((ours["materials"], ours["textures"], ours["tiles"], ours["truncated"]), ([], [], [], False))

    def test_texts_as_shown_or_as_stored(self):
        w = Writer(random.Random(1))
        w.line(b"0.50", CRLF)
        w.i32(16), w.i32(16), w.i32(3)
        for name in (b"Caf\xe9", "Café".encode("utf-8"), b"Caf\xe9"):   # the third repeats the first
            w.line(name, CRLF), w.i32(0x010203), w.line(b"x" * 70, LF)
        w.i32(2)
        w.line(b"b\x81.png", CR), w.i32(2), w.raw(b"\x0a\x0b")   # lone CR: the next byte is the size's
        w.line(b"a.png", NUL), w.i32(1), w.raw(b"\x01")
        w.i32(0)
        data = bytes(w.out)
        ours = self.assertReadsAsDump(data, "texts")
        self.assertEqual([m["name"] for m in ours["materials"]], ["Café", "Café"])
        self.assertEqual(ours["materials"][0]["description"], "x" * 64)
        stored = mrqt.loads(data, raw=True)
        self.assertEqual([m["name"] for m in stored["materials"]], [b"Caf\xe9", "Café".encode("utf-8")])
        self.assertEqual({t["name"]: t["data"] for t in stored["textures"]}, {b"b\x81.png": b"\x0a\x0b",
                                                                              b"a.png": b"\x01"})

    def test_generated_tile_sets(self):
        rng = random.Random(20261208)
        truncated = refused = 0
        for n in range(150):
            data = random_tileset(rng)
            ours = self.assertReadsAsDump(data, "generated set %d" % n)
            refused += ours is None
            truncated += bool(ours and ours["truncated"])
        # The generator reaches every outcome.
        self.assertGreater(truncated, 10)
        self.assertGreater(refused, 3)

    def test_files_cut_short_at_many_offsets(self):
        rng = random.Random(49)
        for n in range(4):
            data = random_tileset(rng)
            while len(data) < 60:
                data = random_tileset(rng)
            step = max(1, len(data) // 60)
            for cut in list(range(0, len(data), step)) + [len(data) - 1]:
                self.assertReadsAsDump(data[:cut], "set %d cut at %d of %d" % (n, cut, len(data)))
        with open(os.path.join(SOURCE, "examples", "demo-game", "Data", "TileSets", "demo.mrqt"), "rb") as f:
            demo = f.read()
        for cut in range(0, len(demo), max(1, len(demo) // 40)):
            self.assertReadsAsDump(demo[:cut], "demo.mrqt cut at %d" % cut)

    def test_look_ups_by_name_and_by_id(self):
        w = Writer(random.Random(2))
        w.line(b"0.50", CRLF)
        w.i32(8), w.i32(8), w.i32(3)
        for name, color in ((b"Stone", 1), (b"Caf\xe9", 2), (b"Stone", 3)):   # the first Stone stays
            w.line(name, CRLF), w.i32(color), w.line(b"", CRLF)
        w.i32(3)
        for name, data in ((b"a.png", b"1"), (b"b.png", b"2"), (b"a.png", b"3")):   # the last bytes stay
            w.line(name, CRLF), w.i32(len(data)), w.raw(data)
        w.i32(3)
        for tile_id, layer in ((-4, 1), (9, 2), (-4, 3)):   # the first -4 stays
            w.i32(tile_id), w.line(b"a.png", CRLF), w.line(b"Stone", CRLF), w.i16(layer), w.i16(0)
        ours = self.assertReadsAsDump(bytes(w.out), "look-ups")
        self.assertEqual(ours.material("Stone")["color"], 1)
        self.assertIs(ours.material("Caf\u00e9"), ours["materials"][1])
        self.assertEqual(ours.texture("a.png")["data"], b"3")
        self.assertEqual((ours.tile(-4)["layer"], ours.tile(9)["layer"]), (1, 2))
        self.assertEqual((ours.material("stone"), ours.texture("c.png"), ours.tile(0)), (None, None, None))
        stored = mrqt.loads(bytes(w.out), raw=True)
        self.assertIs(stored.material(b"Caf\xe9"), stored["materials"][1])
        self.assertIsNone(stored.material("Caf\u00e9"))

    def test_whole_tiles_read_as_record_by_record(self):
        """The quick reading of the tiles (all records present) gives what reading them one
        by one gives, on every file of the corpus and on the generated sets."""
        corpus = os.environ.get("MARQUETOR_READER_CORPUS")
        files = []
        if corpus:
            for name in sorted(os.listdir(corpus)):
                with open(os.path.join(corpus, name), "rb") as f:
                    files.append((name, f.read()))
        rng = random.Random(77)
        files += [("generated %d" % n, random_tileset(rng)) for n in range(300)]
        quick = 0
        whole = mrqt._whole_tiles
        for name, data in files:
            try:
                ours = mrqt.loads(data)
            except mrqt.NotATileSet:
                continue
            calls = []
            mrqt._whole_tiles = lambda *args: calls.append(args) and None
            try:
                one_by_one = mrqt.loads(data)
            finally:
                mrqt._whole_tiles = whole
            self.assertEqual(ours, one_by_one, name)
            quick += bool(calls) and bool(ours["tiles"]) and not ours["truncated"]
        self.assertGreater(quick, 50)


if __name__ == "__main__":
    MRQT = os.path.abspath(sys.argv.pop(1))
    SOURCE = os.path.abspath(sys.argv.pop(1))
    sys.path.insert(0, os.path.join(SOURCE, "readers", "python"))
    sys.dont_write_bytecode = True   # no __pycache__ in the source tree
    import mrqt   # noqa: E402
    unittest.main(verbosity=2)
