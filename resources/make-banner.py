#!/usr/bin/env python3
"""Draws the editor's banner: a tumbling-blocks marquetry in three woods with an ebony
cartouche that carries the name in inlaid pixel letters. 512 x 128 RGBA PNG.

Uses the standard library only, so the picture can be made again anywhere:
    python3 resources/make-banner.py resources/banner.png
"""
import math
import struct
import sys
import zlib

WIDTH, HEIGHT = 512, 128

# 5 x 7 pixel letters; '#' is set.
GLYPHS = {
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    " ": ["....."] * 7,
}


def clamp(v):
    return max(0, min(255, int(round(v))))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def shade(c, f):
    return tuple(v * f for v in c)


def hash01(*values):
    """A small deterministic noise source in [0, 1)."""
    h = 2166136261
    for v in values:
        h = ((h ^ (v & 0xFFFFFFFF)) * 16777619) & 0xFFFFFFFF
        h ^= h >> 13
        h = (h * 0x5BD1E995) & 0xFFFFFFFF
        h ^= h >> 15
    return h / 2**32


def grain(u, v, seed):
    """Wood grain along u: slow waves across v, a few darker growth rings."""
    wobble = math.sin(u * 0.09 + seed * 7.0) * 1.6 + math.sin(u * 0.031 + seed) * 2.5
    ring = math.sin((v + wobble) * 1.7 + seed * 3.0)
    fine = math.sin((v + wobble * 0.5) * 5.3 + seed * 11.0)
    return 1.0 + 0.06 * ring + 0.025 * fine


# Woods of the blocks: maple on top, cherry on the left, walnut on the right.
MAPLE = (232, 201, 142)
CHERRY = (176, 98, 56)
WALNUT = (92, 58, 33)
EBONY = (38, 26, 20)
BRASS = (226, 188, 108)
IVORY = (246, 232, 196)

EDGE = 14.0  # edge of one block, pixels
SQ3 = math.sqrt(3.0)


def block_face(x, y):
    """Which face of the tumbling blocks (0 top, 1 left, 2 right) covers the pixel, the
    block it belongs to and coordinates along and across the face's grain."""
    # Pointy-top hexagons: axial coordinates, then cube rounding.
    q = (SQ3 / 3 * x - y / 3) / EDGE
    r = (2 / 3 * y) / EDGE
    cx, cz = q, r
    cy = -cx - cz
    rx, ry, rz = round(cx), round(cy), round(cz)
    dx, dy, dz = abs(rx - cx), abs(ry - cy), abs(rz - cz)
    if dx > dy and dx > dz:
        rx = -ry - rz
    elif dy > dz:
        ry = -rx - rz
    else:
        rz = -rx - ry
    hx = EDGE * SQ3 * (rx + rz / 2)
    hy = EDGE * 1.5 * rz
    ang = math.degrees(math.atan2(y - hy, x - hx))
    if -150 <= ang < -30:
        face = 0
        along, across = x - hx, y - hy
    elif -30 <= ang < 90:
        face = 2
        along, across = (y - hy), (x - hx) * 0.5 - (y - hy) * 0.87
    else:
        face = 1
        along, across = (y - hy), (x - hx) * 0.5 + (y - hy) * 0.87
    return face, (rx, rz), along, across


def background(x, y):
    face, cell, along, across = block_face(x + 0.5, y + 0.5)
    seed = hash01(cell[0], cell[1], face)
    base = (MAPLE, CHERRY, WALNUT)[face]
    g = grain(along + seed * 40, across + seed * 9, seed)
    colour = shade(base, g * (0.96 + 0.08 * seed))
    return colour


def rounded_box_distance(x, y, left, top, right, bottom, radius):
    """Signed distance to a rounded rectangle (negative inside)."""
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - radius


def text_mask(text, scale, left, top, gap):
    """Set pixels of a line of pixel letters: a dict (x, y) -> (cell x, cell y, local x, local y)."""
    cells = {}
    x0 = left
    for ch in text:
        rows = GLYPHS[ch]
        for gy, row in enumerate(rows):
            for gx, bit in enumerate(row):
                if bit != "#":
                    continue
                for py in range(scale):
                    for px in range(scale):
                        cells[(x0 + gx * scale + px, top + gy * scale + py)] = (px, py)
        x0 += 5 * scale + gap
    return cells


def text_width(text, scale, gap):
    return len(text) * 5 * scale - gap + len(text) * gap - (0 if text else 0)


def draw():
    pixels = [[(0, 0, 0, 255)] * WIDTH for _ in range(HEIGHT)]

    # The cartouche.
    left, top, right, bottom, radius = 78, 18, 434, 110, 12

    title, title_scale, title_gap = "MARQUETOR", 6, 6
    sub, sub_scale, sub_gap = "TILE SET EDITOR", 2, 4
    tw = len(title) * 5 * title_scale + (len(title) - 1) * title_gap
    sw = len(sub) * 5 * sub_scale + (len(sub) - 1) * sub_gap
    title_left = (WIDTH - tw) // 2
    sub_left = (WIDTH - sw) // 2
    title_top = 28
    sub_top = 84
    title_px = text_mask(title, title_scale, title_left, title_top, title_gap)
    sub_px = text_mask(sub, sub_scale, sub_left, sub_top, sub_gap)

    for y in range(HEIGHT):
        for x in range(WIDTH):
            d = rounded_box_distance(x + 0.5, y + 0.5, left, top, right, bottom, radius)
            c = background(x, y)

            # Soft shadow of the cartouche on the blocks.
            ds = rounded_box_distance(x + 0.5 - 3, y + 0.5 - 4, left, top, right, bottom, radius)
            if ds < 8:
                t = min(1.0, max(0.0, (8 - ds) / 10))
                c = shade(c, 1 - 0.45 * t)

            # Stringing: a thin brass line just outside the cartouche.
            if 0 <= d < 3:
                c = shade(BRASS, 0.9 + 0.12 * math.sin(x * 0.4))
            if d < 0:
                # Ebony with a faint grain.
                c = shade(EBONY, grain(x, y * 2.2, 0.37) + 0.05 * (1 + d / 46))
                # Inner brass line, inset.
                if -7 < d <= -5.5:
                    c = mix(c, BRASS, 0.85)

            key = (x, y)
            if key in title_px or key in sub_px:
                px, py = title_px.get(key) or sub_px.get(key)
                scale = title_scale if key in title_px else sub_scale
                face = IVORY
                # Each letter cell is a small inlaid piece: lit top-left edge, shaded
                # bottom-right edge.
                if scale > 2:
                    if px == 0 or py == 0:
                        face = mix(IVORY, (255, 255, 255), 0.45)
                    elif px == scale - 1 or py == scale - 1:
                        face = shade(IVORY, 0.78)
                    face = shade(face, grain(x * 0.7, y, 0.8) * 0.98)
                else:
                    face = BRASS
                c = face
            elif (x - 2, y - 2) in title_px:
                c = shade(c, 0.55)

            # Darken the outer edge of the whole banner a little: a frame of shadow.
            edge = min(x, y, WIDTH - 1 - x, HEIGHT - 1 - y)
            if edge < 3:
                c = shade(c, 0.6 + 0.13 * edge)
            pixels[y][x] = (clamp(c[0]), clamp(c[1]), clamp(c[2]), 255)
    return pixels


def png(pixels):
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for p in row:
            raw.extend(p)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "banner.png"
    with open(out, "wb") as f:
        f.write(png(draw()))


if __name__ == "__main__":
    main()
