#!/usr/bin/env python3
"""Draws the application icon from the banner's artwork: one tumbling block of the
banner's marquetry (maple top, cherry left, walnut right, with the same wood grain) on an
ebony tile with brass stringing. Writes marquetor.svg and marquetor-N.png for every size
the desktop asks for, into the folder given:
    python3 resources/make-icon.py resources/icons

Uses the standard library only and is deterministic: running it again gives the same
bytes, which the tests check against the committed files.
"""
import importlib.util
import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)

# The woods, the grain and the noise are the banner's own (loaded without leaving a
# __pycache__ beside it).
sys.dont_write_bytecode = True
_spec = importlib.util.spec_from_file_location(
    "make_banner", os.path.join(os.path.dirname(os.path.abspath(__file__)), "make-banner.py"))
banner = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(banner)

SQ3 = math.sqrt(3.0)

# Geometry in units of the icon's side (0..1, y downwards).
TILE = (0.04, 0.04, 0.96, 0.96)   # the ebony tile: left, top, right, bottom
TILE_RADIUS = 0.17
STRING_INSET = 0.055               # brass stringing: distance inside the tile's edge
STRING_WIDTH = 0.022
CENTRE = (0.5, 0.5)
HEX_RADIUS = 0.335                 # the block: a pointy-top hexagon of this circumradius
JOINT_WIDTH = 0.012                # the dark seams between the three faces
# The block's faces are the banner's blocks enlarged: its edge spans this many banner pixels.
BANNER_EDGE = banner.EDGE

FACE_WOODS = (banner.MAPLE, banner.CHERRY, banner.WALNUT)   # top, left, right
FACE_SEEDS = tuple(banner.hash01(7, 3, face) for face in range(3))


def hex_vertex(angle_degrees):
    a = math.radians(angle_degrees)
    return (CENTRE[0] + HEX_RADIUS * math.cos(a), CENTRE[1] + HEX_RADIUS * math.sin(a))


TOP, UPPER_RIGHT, LOWER_RIGHT = hex_vertex(-90), hex_vertex(-30), hex_vertex(30)
BOTTOM, LOWER_LEFT, UPPER_LEFT = hex_vertex(90), hex_vertex(150), hex_vertex(210)
FACES = (
    (TOP, UPPER_RIGHT, CENTRE, UPPER_LEFT),
    (UPPER_LEFT, CENTRE, BOTTOM, LOWER_LEFT),
    (CENTRE, UPPER_RIGHT, LOWER_RIGHT, BOTTOM),
)


def tile_distance(x, y):
    """Signed distance to the tile's rounded edge (negative inside)."""
    return banner.rounded_box_distance(x, y, *TILE, TILE_RADIUS)


def hex_distance(x, y):
    """Signed distance to the block's outline (negative inside)."""
    dx, dy = abs(x - CENTRE[0]), abs(y - CENTRE[1])
    side = dx - HEX_RADIUS * SQ3 / 2
    slope = (dy + dx / SQ3 - HEX_RADIUS) * SQ3 / 2
    return max(side, slope)


def segment_distance(x, y, a, b):
    ax, ay = a
    bx, by = b
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
    return math.hypot(x - (ax + t * vx), y - (ay + t * vy))


def joint_distance(x, y):
    """Distance to the nearest seam between two faces."""
    return min(segment_distance(x, y, CENTRE, v) for v in (UPPER_LEFT, UPPER_RIGHT, BOTTOM))


def face_of(x, y):
    ang = math.degrees(math.atan2(y - CENTRE[1], x - CENTRE[0]))
    if -150 <= ang < -30:
        return 0
    if -30 <= ang < 90:
        return 2
    return 1


def face_grain_coordinates(face, x, y):
    """Coordinates along and across the grain in banner pixels, oriented like the banner's
    faces."""
    k = BANNER_EDGE / HEX_RADIUS
    u, v = (x - CENTRE[0]) * k, (y - CENTRE[1]) * k
    if face == 0:
        return u, v
    if face == 2:
        return v, u * 0.5 - v * 0.87
    return v, u * 0.5 + v * 0.87


def face_colour(face, x, y):
    along, across = face_grain_coordinates(face, x, y)
    seed = FACE_SEEDS[face]
    g = banner.grain(along + seed * 40, across + seed * 9, seed)
    return banner.shade(FACE_WOODS[face], g * (0.96 + 0.08 * seed))


def ebony_colour(x, y):
    return banner.shade(banner.EBONY, banner.grain(x * 180, y * 400, 0.37) + 0.05)


def colour_at(x, y, px):
    """RGBA (floats, alpha 0..1) of the point x, y; px is one pixel in units."""
    d = tile_distance(x, y)
    if d > 0:
        return (0.0, 0.0, 0.0, 0.0)
    c = ebony_colour(x, y)
    # The block's soft shadow, down and to the right, as the banner's cartouche casts one.
    ds = hex_distance(x - 0.018, y - 0.026)
    if ds < 0.03:
        c = banner.shade(c, 1 - 0.5 * min(1.0, (0.03 - ds) / 0.05))
    width = max(STRING_WIDTH, px)
    if -STRING_INSET - width / 2 <= d <= -STRING_INSET + width / 2:
        c = banner.shade(banner.BRASS, 0.9 + 0.12 * math.sin(x * 60))
    if hex_distance(x, y) <= 0:
        c = face_colour(face_of(x, y), x, y)
        if joint_distance(x, y) <= JOINT_WIDTH / 2:
            c = banner.mix(c, banner.EBONY, 0.7)
    # A darker rim around the tile, like the banner's frame of shadow.
    if d > -0.035:
        c = banner.shade(c, 0.75 + 0.25 * (-d / 0.035))
    return (c[0], c[1], c[2], 1.0)


def edge_near(x, y, reach):
    """Whether a boundary between two colours lies within reach of the point: those pixels
    are sampled finely, the rest once."""
    d = tile_distance(x, y)
    if abs(d) < reach or abs(d + STRING_INSET) < reach + STRING_WIDTH:
        return True
    h = hex_distance(x, y)
    if abs(h) < reach:
        return True
    return h < 0 and joint_distance(x, y) < reach + JOINT_WIDTH


def render(size, fine=4):
    px = 1.0 / size
    rows = []
    for j in range(size):
        row = bytearray()
        for i in range(size):
            cx, cy = (i + 0.5) * px, (j + 0.5) * px
            if edge_near(cx, cy, 1.5 * px):
                samples = [colour_at((i + (a + 0.5) / fine) * px, (j + (b + 0.5) / fine) * px, px)
                           for b in range(fine) for a in range(fine)]
            else:
                samples = [colour_at(cx, cy, px)]
            alpha = sum(s[3] for s in samples) / len(samples)
            if alpha <= 0:
                row.extend((0, 0, 0, 0))
                continue
            # Colours averaged by coverage, so the rim does not darken into the transparency.
            rgb = [sum(s[k] * s[3] for s in samples) / (alpha * len(samples)) for k in range(3)]
            row.extend((banner.clamp(rgb[0]), banner.clamp(rgb[1]), banner.clamp(rgb[2]), banner.clamp(alpha * 255)))
        rows.append(bytes(row))
    return rows


def png(size, rows):
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


# --- The scalable icon: the same shapes, and the grain as lines along the darker rings. ---

SVG_SIDE = 256


def hex_rgb(c):
    return "#%02x%02x%02x" % tuple(banner.clamp(v) for v in c)


def fmt(v):
    text = "%.2f" % (v * SVG_SIDE)
    return text.rstrip("0").rstrip(".") if "." in text else text


def points(vertices):
    return " ".join("%s,%s" % (fmt(x), fmt(y)) for x, y in vertices)


def grain_lines(face):
    """Polylines (in units) where the banner's grain has its darker rings, across the face."""
    seed = FACE_SEEDS[face]
    k = HEX_RADIUS / BANNER_EDGE
    lines = []
    # The ring term of banner.grain is darkest where (v + wobble) * 1.7 + seed * 3 = -pi/2 + 2 pi n.
    for n in range(-8, 9):
        level = (-math.pi / 2 + 2 * math.pi * n - seed * 3.0) / 1.7
        polyline = []
        for step in range(41):
            along = -BANNER_EDGE * 1.1 + step * BANNER_EDGE * 2.2 / 40
            u = along + seed * 40
            wobble = math.sin(u * 0.09 + seed * 7.0) * 1.6 + math.sin(u * 0.031 + seed) * 2.5
            across = level - wobble - seed * 9
            if face == 0:
                gx, gy = along, across
            elif face == 2:
                gx, gy = 2 * across + 1.74 * along, along
            else:
                gx, gy = 2 * across - 1.74 * along, along
            polyline.append((CENTRE[0] + gx * k, CENTRE[1] + gy * k))
        lines.append(polyline)
    return lines


def svg():
    left, top, right, bottom = TILE
    s = SVG_SIDE
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">' % (s, s, s, s),
        "  <title>Marquetor</title>",
        "  <defs>",
    ]
    for face, corners in enumerate(FACES):
        out.append('    <clipPath id="face%d"><polygon points="%s"/></clipPath>' % (face, points(corners)))
    out.append('    <clipPath id="tile"><rect x="%s" y="%s" width="%s" height="%s" rx="%s"/></clipPath>'
               % (fmt(left), fmt(top), fmt(right - left), fmt(bottom - top), fmt(TILE_RADIUS)))
    out.append("  </defs>")
    out.append('  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>'
               % (fmt(left), fmt(top), fmt(right - left), fmt(bottom - top), fmt(TILE_RADIUS),
                  hex_rgb(banner.shade(banner.EBONY, 1.05))))
    inset = STRING_INSET
    out.append('  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="none" stroke="%s" stroke-width="%s"/>'
               % (fmt(left + inset), fmt(top + inset), fmt(right - left - 2 * inset), fmt(bottom - top - 2 * inset),
                  fmt(TILE_RADIUS - inset), hex_rgb(banner.shade(banner.BRASS, 0.92)), fmt(STRING_WIDTH)))
    shadow = [(x + 0.018, y + 0.026) for x, y in hex_vertex_list()]
    out.append('  <polygon points="%s" fill="#000000" fill-opacity="0.35" clip-path="url(#tile)"/>' % points(shadow))
    for face, corners in enumerate(FACES):
        base = banner.shade(FACE_WOODS[face], 0.96 + 0.08 * FACE_SEEDS[face])
        out.append('  <polygon points="%s" fill="%s"/>' % (points(corners), hex_rgb(base)))
        out.append('  <g clip-path="url(#face%d)" fill="none" stroke="%s" stroke-opacity="0.5" stroke-width="%s">'
                   % (face, hex_rgb(banner.shade(base, 0.85)), fmt(0.9 * HEX_RADIUS / BANNER_EDGE)))
        for line in grain_lines(face):
            out.append('    <polyline points="%s"/>' % points(line))
        out.append("  </g>")
    out.append('  <g stroke="%s" stroke-width="%s" stroke-linecap="round">'
               % (hex_rgb(banner.mix(banner.WALNUT, banner.EBONY, 0.7)), fmt(JOINT_WIDTH)))
    for v in (UPPER_LEFT, UPPER_RIGHT, BOTTOM):
        out.append('    <line x1="%s" y1="%s" x2="%s" y2="%s"/>' % (fmt(CENTRE[0]), fmt(CENTRE[1]), fmt(v[0]), fmt(v[1])))
    out.append("  </g>")
    out.append("</svg>")
    return ("\n".join(out) + "\n").encode("utf-8")


def hex_vertex_list():
    return [TOP, UPPER_RIGHT, LOWER_RIGHT, BOTTOM, LOWER_LEFT, UPPER_LEFT]


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "marquetor.svg"), "wb") as f:
        f.write(svg())
    for size in SIZES:
        with open(os.path.join(folder, "marquetor-%d.png" % size), "wb") as f:
            f.write(png(size, render(size)))


if __name__ == "__main__":
    main()
