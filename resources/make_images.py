#!/usr/bin/env python3
"""Draws the program's pictures: the relief icon in every size the desktop
and the About dialog need, the Windows .ico, and the About dialog's two
greyscale backgrounds. Standard library only; the output is deterministic.

Run from anywhere: python3 resources/make_images.py
"""
import math
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERSAMPLE = 4


def png_bytes(width, height, rows, colour_type):
    """rows: a list of bytes objects, one per row, already packed."""
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write(path, data):
    with open(os.path.join(HERE, path), "wb") as f:
        f.write(data)


# ---- the icon ---------------------------------------------------------------

def ridge(points, x):
    """Height (y, downwards) of a piecewise-linear skyline at x."""
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        if x0 <= x <= x1:
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0)
    return points[-1][1]


BACK_RANGE = [(0.0, 0.58), (0.16, 0.44), (0.30, 0.52), (0.46, 0.40), (0.70, 0.30),
              (0.86, 0.42), (1.0, 0.38)]
FRONT_RANGE = [(0.0, 0.80), (0.14, 0.66), (0.40, 0.24), (0.54, 0.42), (0.64, 0.36),
               (0.80, 0.56), (1.0, 0.70)]
PEAK = (0.40, 0.24)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def icon_sample(x, y):
    """RGBA (0..1 floats) of the icon at unit coordinates."""
    radius = 0.22
    dx = max(abs(x - 0.5) - (0.5 - radius), 0.0)
    dy = max(abs(y - 0.5) - (0.5 - radius), 0.0)
    if dx * dx + dy * dy > radius * radius:
        return (0.0, 0.0, 0.0, 0.0)

    colour = mix((0.07, 0.36, 0.70), (0.55, 0.80, 0.95), y)  # sky
    sun = math.hypot(x - 0.78, y - 0.18)
    if sun < 0.09:
        colour = (1.0, 0.93, 0.70)
    if y > ridge(BACK_RANGE, x):
        colour = mix((0.30, 0.46, 0.66), (0.20, 0.33, 0.52), (y - 0.3) / 0.7)
    top = ridge(FRONT_RANGE, x)
    if y > top:
        # The crest from the peak down to the foot divides lit and shaded faces.
        crest_x = PEAK[0] + (y - PEAK[1]) * 0.35
        lit = x < crest_x
        depth = (y - top) / 0.6
        if lit:
            colour = mix((0.45, 0.70, 0.33), (0.18, 0.46, 0.22), depth)
        else:
            colour = mix((0.24, 0.48, 0.22), (0.10, 0.30, 0.15), depth)
        snow_line = 0.40 + 0.025 * math.sin(x * 47.0)
        if y < snow_line:
            colour = (0.98, 0.98, 1.0) if lit else (0.74, 0.80, 0.90)
    # Contour lines across the foreground, the program's business.
    if y > top + 0.02:
        for level in (0.74, 0.84, 0.94):
            wave = level + 0.03 * math.sin(x * 9.0 + level * 20.0)
            if abs(y - wave) < 0.008:
                colour = mix(colour, (1.0, 1.0, 1.0), 0.35)
    return colour + (1.0,)


def render_icon(size):
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = icon_sample((px + (sx + 0.5) / n) / size,
                                             (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if alpha > 0:
                rgb = [round(255 * acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row += bytes(rgb + [round(255 * alpha)])
        rows.append(bytes(row))
    return png_bytes(size, size, rows, 6)


def ico_bytes(pngs):
    """A Windows icon whose entries are PNG images (Vista and later)."""
    header = struct.pack("<HHH", 0, 1, len(pngs))
    offset = 6 + 16 * len(pngs)
    entries = b""
    for size, data in pngs:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(data for _, data in pngs)


# ---- the backgrounds ----------------------------------------------------------

def terrain_field(seed):
    """A smooth height field from a few random waves."""
    rng = random.Random(seed)
    waves = [(rng.uniform(0.6, 2.4) * math.cos(a), rng.uniform(0.6, 2.4) * math.sin(a),
              rng.uniform(0, 2 * math.pi), rng.uniform(0.5, 1.0))
             for a in (rng.uniform(0, 2 * math.pi) for _ in range(7))]

    def field(x, y):
        return sum(w * math.sin(kx * x + ky * y + phase) for kx, ky, phase, w in waves)

    return field


def render_background(top, bottom, line, seed):
    """Greyscale 512 x 256: a gentle gradient with faint contour lines and grain."""
    width, height = 512, 256
    field = terrain_field(seed)
    grain = random.Random(seed + 1)
    spacing = 0.55
    rows = []
    for py in range(height):
        row = bytearray()
        base = top + (bottom - top) * py / (height - 1)
        for px in range(width):
            x, y = px / 90.0, py / 90.0
            h = field(x, y)
            gx = (field(x + 0.01, y) - field(x - 0.01, y)) / 0.02
            gy = (field(x, y + 0.01) - field(x, y - 0.01)) / 0.02
            # Distance to the nearest contour in pixels, for an even line width.
            frac = h / spacing - math.floor(h / spacing + 0.5)
            distance = abs(frac) * spacing / max(math.hypot(gx, gy) / 90.0, 1e-6)
            weight = max(0.0, 1.0 - distance / 0.9)
            value = base + (line - base) * 0.35 * weight + grain.uniform(-1.2, 1.2)
            row.append(max(0, min(255, round(value))))
        rows.append(bytes(row))
    return png_bytes(width, height, rows, 0)


def main():
    icons = {}
    for size in (16, 24, 32, 48, 60, 64, 128, 256):
        icons[size] = render_icon(size)
    write("ABOUT_ICN60.png", icons[60])
    for size in (16, 32, 48, 64, 128, 256):
        write(os.path.join("icons", "relieva-%d.png" % size), icons[size])
    write("relieva.ico", ico_bytes([(s, icons[s]) for s in (16, 24, 32, 48, 64, 256)]))
    write("ABOUT_SKINW.png", render_background(242, 226, 196, seed=7))
    write("ABOUT_SKINB.png", render_background(30, 18, 62, seed=11))


if __name__ == "__main__":
    main()
