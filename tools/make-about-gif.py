#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the About picture, resources/about.gif: the character 永, whose
eight strokes are the classic drill of the brush, in a practice grid, and
a writing brush beneath it, in 16 greys.

Run from anywhere: python3 tools/make-about-gif.py
"""

import math
import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent.parent / "resources" / "about.gif"

WIDTH, HEIGHT = 120, 180
LEVELS = 16
SUPERSAMPLE = 3

# Grey levels, 0 black to 15 white.
PAPER = 15.0
GRID = 11.0
INK = 1.0
HANDLE = 7.0
HANDLE_SHADE = 5.0
FERRULE = 4.0
HAIR = 2.0


def seg_distance(px, py, ax, ay, bx, by):
    """Distance from P to segment AB and the position t (0..1) along it."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy), t


class Stroke:
    """A polyline drawn with a width that changes linearly along each piece."""

    def __init__(self, points, widths):
        self.pieces = list(zip(points, points[1:], widths, widths[1:]))
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        margin = max(widths)
        self.box = (min(xs) - margin, min(ys) - margin, max(xs) + margin, max(ys) + margin)

    def covers(self, x, y):
        x0, y0, x1, y1 = self.box
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        for (a, b, wa, wb) in self.pieces:
            d, t = seg_distance(x, y, a[0], a[1], b[0], b[1])
            if d <= (wa + (wb - wa) * t) / 2:
                return True
        return False


# 永 in a practice square from (14, 12) to (106, 104).
GRID_BOX = (14, 12, 106, 104)
CHARACTER = [
    Stroke([(55, 18), (63, 28)], [4, 8]),                                   # dot
    Stroke([(36, 40), (66, 37), (64, 40), (64, 92), (55, 84)], [5, 6, 8, 7, 3]),  # horizontal, turn, hook
    Stroke([(28, 54), (48, 52), (44, 58), (24, 80)], [5, 6, 6, 2]),          # rising, then falling left
    Stroke([(88, 44), (72, 60)], [6, 2]),                                    # short falling left
    Stroke([(70, 58), (84, 76), (98, 86)], [4, 7, 2]),                       # falling right
]

# The brush lies across the foot of the picture, tip towards the character.
BRUSH_TIP = (28, 122)
BRUSH_END = (106, 168)


def brush_shade(x, y):
    """Grey of the brush at (x, y), or None where the brush is not."""
    (ax, ay), (bx, by) = BRUSH_TIP, BRUSH_END
    d, t = seg_distance(x, y, ax, ay, bx, by)
    length = math.hypot(bx - ax, by - ay)
    along = t * length
    if along < 20:                      # hair: a tapered, inked tip
        if d <= 1 + along * 0.22:
            return HAIR
        return None
    if along < 28:                      # ferrule
        return FERRULE if d <= 5.5 else None
    if d <= 4.5:                        # bamboo handle with joints and a lit edge
        if int(along) % 24 in (0, 1):
            return HANDLE_SHADE
        side = (x - ax) * (by - ay) - (y - ay) * (bx - ax)
        return HANDLE + (2.0 if side < 0 and d > 2 else 0.0)
    return None


def in_grid_line(x, y):
    x0, y0, x1, y1 = GRID_BOX
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    inside = x0 <= x <= x1 and y0 <= y <= y1
    if not inside:
        return False
    border = min(x - x0, x1 - x, y - y0, y1 - y) < 1
    if border:
        return True
    dashed_x = int(x) % 6 < 3
    dashed_y = int(y) % 6 < 3
    if abs(x - cx) < 0.5:
        return dashed_y
    if abs(y - cy) < 0.5:
        return dashed_x
    diagonal = abs((x - x0) - (y - y0)) < 0.7 or abs((x - x0) - (y1 - y)) < 0.7
    return diagonal and dashed_x


def sample(x, y):
    shade = brush_shade(x, y)
    if shade is not None:
        return shade
    if any(s.covers(x, y) for s in CHARACTER):
        return INK
    if in_grid_line(x, y):
        return GRID
    return PAPER


def render():
    pixels = bytearray()
    step = 1.0 / SUPERSAMPLE
    for row in range(HEIGHT):
        for col in range(WIDTH):
            total = 0.0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    total += sample(col + (sx + 0.5) * step, row + (sy + 0.5) * step)
            grey = total / (SUPERSAMPLE * SUPERSAMPLE)
            pixels.append(max(0, min(LEVELS - 1, int(round(grey)))))
    return bytes(pixels)


def lzw_encode(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    max_code = 4095
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, size):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, code_size = reset()
    emit(clear, code_size)
    current = b""
    for index in indices:
        candidate = current + bytes([index])
        if candidate in table:
            current = candidate
            continue
        emit(table[current], code_size)
        if next_code <= max_code:
            table[candidate] = next_code
            next_code += 1
            # The decoder widens its codes one entry later than it adds
            # them, so widen once the next code no longer fits.
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
        else:
            emit(clear, code_size)
            table, next_code, code_size = reset()
        current = bytes([index])
    if current:
        emit(table[current], code_size)
    emit(end, code_size)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif(pixels):
    palette_bits = 4  # 2 ** 4 == LEVELS
    flags = 0x80 | ((palette_bits - 1) << 4) | (palette_bits - 1)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", WIDTH, HEIGHT, flags, 0, 0)
    step = 255 // (LEVELS - 1)
    for level in range(LEVELS):
        out += bytes([level * step] * 3)
    out += b"\x2c" + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0)
    out.append(palette_bits)
    out += sub_blocks(lzw_encode(pixels, palette_bits))
    out += b"\x3b"
    return bytes(out)


def main():
    OUT.write_bytes(gif(render()))


if __name__ == "__main__":
    main()
