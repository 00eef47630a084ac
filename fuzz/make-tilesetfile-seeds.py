#!/usr/bin/env python3
"""Writes the seed files of fuzz_tilesetfile into fuzz/seeds/tilesetfile/."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "seeds", "tilesetfile")
os.makedirs(out, exist_ok=True)


def i32(v): return struct.pack("<i", v)
def i16(v): return struct.pack("<h", v)
def line(s, end=b"\r\n"): return s + end


def tileset(width, height, materials=(), textures=(), tiles=(), header=b"0.50\r\n"):
    b = header + i32(width) + i32(height)
    b += i32(len(materials))
    for name, color, desc in materials:
        b += line(name) + i32(color) + line(desc)
    b += i32(len(textures))
    for name, data in textures:
        b += line(name) + i32(len(data)) + data
    b += i32(len(tiles))
    for tid, tex, mat, layer, coll in tiles:
        b += i32(tid) + line(tex) + line(mat) + i16(layer) + i16(coll)
    return b


seeds = {
    "worked-example": tileset(64, 32, [(b"A", 0x80FF, b"")], [], [(7, b"T", b"A", 3, 1)]),
    "empty": tileset(64, 64),
    "full": tileset(
        32, 32,
        [(b"Stone", 0x808080, b"grey rock"), (b"Gr\xe4s", 0x00FF00, b"x" * 64), (b"", 0, b"")],
        [(b"a.png", b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR"), (b"b.png", b""), (b"ab", b"BM\0\0")],
        [(1, b"a.png", b"Stone", 0, 1), (-5, b"b.png", b"Gr\xe4s", 255, 5), (0, b"", b"", -1, -1)],
    ),
    "duplicates": tileset(
        8, 8,
        [(b"m", 1, b"first"), (b"m", 2, b"second")],
        [(b"t", b"one"), (b"t", b"two")],
        [(3, b"t", b"m", 0, 0), (3, b"u", b"n", 1, 1)],
    ),
    "line-ends": (b"0.50\n" + i32(16) + i32(16) + i32(2)
                  + b"nul\0" + i32(5) + b"lone cr\r" + b"lf\n" + i32(6) + b"crlf\r\n"
                  + i32(1) + b"tex\n" + i32(2) + b"AB"
                  + i32(1) + i32(9) + b"t\n" + b"m\r\n" + i16(1) + i16(2)),
    "lying-counts": b"0.50\r\n" + i32(1) + i32(1) + i32(2000000000) + b"m\r\n" + i32(1) + b"\r\n",
    "lying-size": tileset(1, 1, header=b"0.50\r\n")[:-8] + i32(1) + b"t\r\n" + i32(0x7FFFFFFF) + b"0123456789",
    "negative-size": (b"0.50\r\n" + i32(0) + i32(0) + i32(0) + i32(2)
                      + b"neg\r\n" + i32(-5) + b"next\r\n" + i32(2) + b"ok" + i32(0)),
}
seeds["truncated"] = seeds["full"][: len(seeds["full"]) - 7]

for name, data in seeds.items():
    with open(os.path.join(out, name + ".mrqt"), "wb") as f:
        f.write(data)
print("wrote", len(seeds), "seeds to", out)
