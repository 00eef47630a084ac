#!/usr/bin/env python3
"""mrqt dump output against docs/mrqt.schema.json: the demo set and generated sets validate,
and the schema refuses documents that build refuses.

Usage: schema_test.py MRQT SCHEMA DEMO_SET
"""

import copy
import json
import os
import random
import struct
import subprocess
import sys
import tempfile

import jsonschema


def text(rng, longest):
    """A text a file can hold (no zero byte, CR or LF), often not UTF-8."""
    return bytes(rng.choice([b for b in range(1, 256) if b not in (10, 13)]) for _ in range(rng.randint(0, longest)))


def bucket(name):
    """The texture map's bucket of a name: a save writes the textures bucket by bucket."""
    h = 0
    for b in name:
        h = (h * 65599 + (b - 256 if b > 127 else b)) & 0xFFFFFFFF
    return h % 512


def generated_set(rng):
    """The bytes of a tile set file with random contents: texts in Windows-1252 and UTF-8,
    empty textures, values across their ranges."""
    out = bytearray(b"0.50\r\n")
    i32 = lambda v: out.extend(struct.pack("<i", v))
    i16 = lambda v: out.extend(struct.pack("<h", v))

    def line(t):
        out.extend(t + b"\r\n")

    i32(rng.randint(-2**31, 2**31 - 1))
    i32(rng.randint(-2**31, 2**31 - 1))
    materials = [text(rng, 8) + b"#%d" % k for k in range(rng.randint(0, 8))]
    i32(len(materials))
    for name in materials:
        line(name)
        i32(rng.randint(-2**31, 2**31 - 1))
        line(text(rng, 64))
    textures = [rng.choice([b"K\xe4se", "Gräs".encode(), b"rock"]) + b"%d.png" % k for k in range(rng.randint(0, 6))]
    textures.sort(key=bucket)
    i32(len(textures))
    for name in textures:
        data = bytes(rng.randrange(256) for _ in range(rng.choice([0, 1, 100])))
        line(name)
        i32(len(data))
        out.extend(data)
    ids = rng.sample(range(-2**31, 2**31), rng.randint(0, 20))
    i32(len(ids))
    for tile_id in ids:
        i32(tile_id)
        line(rng.choice(textures) if textures and rng.random() < 0.5 else text(rng, 10))
        line(rng.choice(materials) if materials and rng.random() < 0.5 else text(rng, 10))
        i16(rng.randint(-2**15, 2**15 - 1))
        i16(rng.randint(-2**15, 2**15 - 1))
    return bytes(out)


def main():
    mrqt, schema_path, demo = sys.argv[1:4]
    with open(schema_path) as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = []

    def dump(path):
        done = subprocess.run([mrqt, "dump", path], capture_output=True)
        if done.returncode != 0:
            failures.append("dump %s failed: %s" % (path, done.stderr.decode(errors="replace")))
            return None
        return json.loads(done.stdout)

    def must_validate(doc, what):
        errors = sorted(validator.iter_errors(doc), key=lambda e: list(e.path))
        for e in errors[:3]:
            failures.append("%s: %s at %s" % (what, e.message, list(e.path)))

    demo_doc = dump(demo)
    if demo_doc is not None:
        must_validate(demo_doc, "the demo set")
        if not demo_doc["materials"] or not demo_doc["textures"] or not demo_doc["tiles"]:
            failures.append("the demo set's dump lacks records: the check would prove little")

    rng = random.Random(7)
    marked = 0
    with tempfile.TemporaryDirectory() as scratch:
        for k in range(25):
            path = os.path.join(scratch, "set%d.mrqt" % k)
            original = generated_set(rng)
            with open(path, "wb") as f:
                f.write(original)
            doc = dump(path)
            if doc is None:
                continue
            must_validate(doc, "generated set %d" % k)
            marked += json.dumps(doc).count("Encoding")
            # What dump printed builds the same file again.
            textures = os.path.join(scratch, "textures%d" % k)
            built = os.path.join(scratch, "built%d.mrqt" % k)
            json_path = os.path.join(scratch, "set%d.json" % k)
            with open(json_path, "w") as f:
                json.dump(doc, f)
            for args in (["extract", path, textures], ["build", json_path, textures, built]):
                done = subprocess.run([mrqt] + args, capture_output=True)
                if done.returncode != 0:
                    failures.append(" ".join(args) + ": " + done.stderr.decode(errors="replace"))
            if os.path.exists(built) and open(built, "rb").read() != original:
                failures.append("generated set %d did not come back byte for byte" % k)
    if marked == 0:
        failures.append("no generated text was marked as Windows-1252: the generator is too tame")

    # Documents build refuses are refused by the schema too.
    base = {"tileWidth": 1, "tileHeight": 1, "materials": [{"name": "M", "color": 1, "description": ""}],
            "textures": [{"name": "a.png", "size": 1, "sha256": "0" * 64}],
            "tiles": [{"id": 1, "texture": "a.png", "material": "M", "layer": 0, "collision": 0}]}
    must_validate(base, "the valid base document")
    broken = [
        ("tiles", 0, "layer", 40000),
        ("tiles", 0, "id", 2**31),
        ("tiles", 0, "colour", 1),
        ("materials", 0, "nameEncoding", "latin-1"),
        ("materials", 0, "name", "two\nlines"),
        ("materials", 0, "red", 1),
        ("textures", 0, "sha256", "abc"),
        ("textures", 0, "size", -1),
    ]
    for lst, index, key, value in broken:
        doc = copy.deepcopy(base)
        doc[lst][index][key] = value
        if validator.is_valid(doc):
            failures.append("the schema takes %s[%d].%s = %r" % (lst, index, key, value))
    doc = copy.deepcopy(base)
    del doc["materials"][0]["color"]
    if validator.is_valid(doc):
        failures.append("the schema takes a material without a colour")

    for f in failures:
        print("schema test: " + f, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("schema test: the demo set and 25 generated sets validate and come back byte for byte")


if __name__ == "__main__":
    main()
