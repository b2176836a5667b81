#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws Tarvelo's icons and writes them into resources/.

The application icon is a tilted sheet of pale yellow paper with grey
writing and a dark outline; the About icon is a golden bell. Each goes into
an .ico with a 32 x 32 and a 16 x 16 image of 16 colours (4 bits per pixel,
a BMP DIB with an AND transparency mask), the form every Windows shell
reads. The application icon is also written as PNGs for the hicolor theme.

Standard library only; run it from anywhere after changing a drawing and
commit what it writes:  python3 tools/draw-icons.py
"""

import math
import pathlib
import struct
import zlib

RESOURCES = pathlib.Path(__file__).resolve().parent.parent / "resources"

# One palette for both icons. Index 0 is what transparent pixels hold: the
# AND mask hides them, so their colour never shows.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 transparent
    (0x2A, 0x26, 0x20),  # 1 outline
    (0xFF, 0xF8, 0xC4),  # 2 paper
    (0xE8, 0xD9, 0x8C),  # 3 paper fold
    (0x80, 0x80, 0x80),  # 4 writing
    (0xC0, 0xC0, 0xC0),  # 5 light grey
    (0xFF, 0xFF, 0xFF),  # 6 white
    (0xE3, 0xAE, 0x1E),  # 7 gold
    (0xFF, 0xE3, 0x7A),  # 8 gold highlight
    (0xA8, 0x74, 0x0E),  # 9 gold shadow
    (0x5E, 0x3C, 0x0A),  # 10 bronze
    (0x80, 0x00, 0x00),  # 11 unused: the rest of the 16 VGA colours
    (0x00, 0x80, 0x00),  # 12
    (0x00, 0x00, 0x80),  # 13
    (0x80, 0x00, 0x80),  # 14
    (0x00, 0x80, 0x80),  # 15
]
TRANSPARENT, OUTLINE, PAPER, FOLD, WRITING = 0, 1, 2, 3, 4
WHITE, GOLD, GOLD_LIGHT, GOLD_DARK, BRONZE = 6, 7, 8, 9, 10

# Every drawing is laid out on a 32-unit square.
GRID = 32.0


def point_in_polygon(x, y, poly):
    inside = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def distance_to_segment(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    px, py = ax + t * dx, ay + t * dy
    return math.hypot(x - px, y - py)


def distance_to_outline(x, y, poly):
    return min(distance_to_segment(x, y, poly[i - 1], poly[i]) for i in range(len(poly)))


class Paper:
    """A sheet tilted to the right, its top right corner folded down."""

    TILT = math.radians(-12)
    WIDTH, HEIGHT = 20.0, 26.0
    FOLD = 6.5

    def __init__(self, size):
        self.size = size
        self.cos, self.sin = math.cos(self.TILT), math.sin(self.TILT)
        w, h, f = self.WIDTH / 2, self.HEIGHT / 2, self.FOLD
        self.local_sheet = [(-w, -h), (w - f, -h), (w, -h + f), (w, h), (-w, h)]
        self.local_fold = [(w - f, -h), (w - f, -h + f), (w, -h + f)]
        self.sheet = [self.to_grid(p) for p in self.local_sheet]
        self.fold = [self.to_grid(p) for p in self.local_fold]
        # Small images get fewer, farther lines so that they stay apart.
        if size <= 16:
            self.lines = [(-5.0, -6.5, 3.0), (-1.0, -6.5, 6.5), (3.0, -6.5, 6.5), (7.0, -6.5, 2.0)]
            self.line_width = 2.0
        else:
            self.lines = [(-6.5, -6.5, 2.0), (-3.0, -6.5, 6.5), (0.5, -6.5, 6.5),
                          (4.0, -6.5, 6.5), (7.5, -6.5, 1.5)]
            self.line_width = 1.0

    def to_grid(self, p):
        u, v = p
        return (16.0 + u * self.cos - v * self.sin, 16.5 + u * self.sin + v * self.cos)

    def to_local(self, x, y):
        dx, dy = x - 16.0, y - 16.5
        return (dx * self.cos + dy * self.sin, -dx * self.sin + dy * self.cos)

    def colour(self, x, y, edge_width, outline_width):
        if not point_in_polygon(x, y, self.sheet):
            return TRANSPARENT
        if distance_to_outline(x, y, self.sheet) < edge_width:
            return OUTLINE
        if point_in_polygon(x, y, self.fold):
            return OUTLINE if distance_to_outline(x, y, self.fold) < outline_width else FOLD
        u, v = self.to_local(x, y)
        for line_v, start, end in self.lines:
            if abs(v - line_v) < self.line_width / 2 and start <= u <= end:
                return WRITING
        return PAPER


class Bell:
    """A bell hanging from a ring, its clapper showing below the lip."""

    # Half-width of the body at each height, from the crown to the lip.
    PROFILE = [(6.5, 3.5), (8.0, 5.5), (10.5, 6.5), (14.5, 7.0), (18.0, 8.0),
               (20.5, 9.5), (22.0, 11.5), (23.0, 12.5), (24.5, 12.5)]
    LIP = 22.8
    RING = (16.0, 4.0, 3.2, 1.4)
    CLAPPER = (16.0, 26.6, 2.7)

    def __init__(self, size):
        self.size = size
        right = [(16.0 + hw, y) for y, hw in self.PROFILE]
        left = [(16.0 - hw, y) for y, hw in reversed(self.PROFILE)]
        self.body = right + left

    def half_width(self, y):
        profile = self.PROFILE
        if y <= profile[0][0]:
            return profile[0][1]
        for (y0, w0), (y1, w1) in zip(profile, profile[1:]):
            if y <= y1:
                return w0 + (w1 - w0) * (y - y0) / (y1 - y0)
        return profile[-1][1]

    def colour(self, x, y, edge_width, outline_width):
        if point_in_polygon(x, y, self.body):
            if distance_to_outline(x, y, self.body) < edge_width:
                return OUTLINE
            if abs(y - self.LIP) < outline_width / 2:
                return GOLD_DARK
            across = (x - 16.0) / self.half_width(y)
            if -0.72 < across < -0.38 and y < 22.5:
                return GOLD_LIGHT
            if across > 0.45:
                return GOLD_DARK
            return GOLD
        cx, cy, outer, inner = self.RING
        r = math.hypot(x - cx, y - cy)
        if inner <= r < outer and y < 7.0:
            return OUTLINE if r > outer - edge_width else BRONZE
        cx, cy, radius = self.CLAPPER
        r = math.hypot(x - cx, y - cy)
        if r < radius:
            return OUTLINE if r > radius - edge_width else BRONZE
        return TRANSPARENT


def indexed_image(drawing, size):
    """The drawing sampled once per pixel, as palette indices.

    The silhouette gets its outline from its pixels rather than from the
    geometry: every pixel beside a transparent one. A distance test would
    leave it one pixel thick in some places and two in others.
    """
    unit = GRID / size
    inner_outline = unit * 0.95
    image = [[drawing.colour((col + 0.5) * unit, (row + 0.5) * unit, 0.0, inner_outline)
              for col in range(size)] for row in range(size)]

    def transparent(row, col):
        return not (0 <= row < size and 0 <= col < size) or image[row][col] == TRANSPARENT

    edge = [[image[row][col] != TRANSPARENT
             and any(transparent(row + dr, col + dc) for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1)))
             for col in range(size)] for row in range(size)]
    return [[OUTLINE if edge[row][col] else image[row][col] for col in range(size)]
            for row in range(size)]


def rgba_image(drawing, size, samples=4):
    """The drawing at SIZE, smoothed by supersampling, as RGBA rows."""
    unit = GRID / size
    # Thinner than a pixel of the 32-unit grid, so large sizes look drawn.
    outline = 0.8
    rows = []
    for row in range(size):
        pixels = []
        for col in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (col + (sx + 0.5) / samples) * unit
                    y = (row + (sy + 0.5) / samples) * unit
                    index = drawing.colour(x, y, outline, outline)
                    if index != TRANSPARENT:
                        pr, pg, pb = PALETTE[index]
                        r, g, b, a = r + pr, g + pg, b + pb, a + 1
            if a:
                pixels.append((r // a, g // a, b // a, 255 * a // (samples * samples)))
            else:
                pixels.append((0, 0, 0, 0))
        rows.append(pixels)
    return rows


def indexed_to_rgba(image):
    return [[(0, 0, 0, 0) if i == TRANSPARENT else PALETTE[i] + (255,) for i in row]
            for row in image]


def dib(image):
    """A 4-bit BMP DIB with an AND mask, bottom row first, as in an .ico."""
    size = len(image)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(image):
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for col, index in enumerate(row):
            line[col // 2] |= index << (4 if col % 2 == 0 else 0)
            if index == TRANSPARENT:
                bits[col // 8] |= 0x80 >> (col % 8)
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, len(PALETTE), 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def write_ico(path, images):
    blobs = [dib(image) for image in images]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for image, blob in zip(images, blobs):
        size = len(image)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, len(PALETTE), 0, 1, 4,
                               len(blob), offset)
        offset += len(blob)
    path.write_bytes(directory + entries + b"".join(blobs))


def write_png(path, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    path.write_bytes(png)


ICO_SIZES = (32, 16)
PNG_SIZES = (16, 32, 48, 64, 128, 256)


def main():
    paper = {size: indexed_image(Paper(size), size) for size in ICO_SIZES}
    write_ico(RESOURCES / "tarvelo.ico", [paper[size] for size in ICO_SIZES])
    write_ico(RESOURCES / "bell.ico", [indexed_image(Bell(size), size) for size in ICO_SIZES])
    for size in PNG_SIZES:
        # The small sizes are the pixel-drawn icon images themselves.
        rows = indexed_to_rgba(paper[size]) if size in paper else rgba_image(Paper(size), size)
        write_png(RESOURCES / f"tarvelo-{size}.png", rows)


if __name__ == "__main__":
    main()
