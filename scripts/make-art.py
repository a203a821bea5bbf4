#!/usr/bin/env python3
"""Renders the filter's icon (VarenGlaze2.ico) and dialog emblem (Emblem.bmp) into
resources/art. Standard library only: shapes are sampled 8 x 8 times per pixel."""
import math
import os
import struct
import sys

SS = 8  # samples per pixel along each axis

TOP = (64, 150, 226)      # tile gradient, top
BOTTOM = (16, 58, 120)    # tile gradient, bottom
RIM = (10, 36, 74)        # outline of the tile
DROP_TOP = (255, 255, 255)
DROP_BOTTOM = (196, 232, 250)


def rounded_rect(x, y, r):
    """Inside test of the unit square with corner radius r."""
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and 0 <= x <= 1 and 0 <= y <= 1


def drop(x, y):
    """A droplet: a circle with a point above it."""
    cx, cy, rad, tip = 0.5, 0.62, 0.235, 0.16
    if (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad:
        return True
    # The tangent lines from the tip to the circle bound the upper part.
    d = cy - tip
    half = math.asin(rad / d)
    tangent = tip + d * math.cos(half) ** 2  # where the sides meet the circle
    if y < tip or y > tangent:
        return False
    return abs(x - cx) <= (y - tip) * math.tan(half)


def shine(x, y):
    """The glaze highlight inside the drop: a thin crescent on its left."""
    a = (x - 0.44) ** 2 / 0.11 ** 2 + (y - 0.64) ** 2 / 0.15 ** 2 <= 1
    b = (x - 0.49) ** 2 / 0.12 ** 2 + (y - 0.62) ** 2 / 0.16 ** 2 <= 1
    return a and not b


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def sample(x, y, radius, inset):
    """Colour and coverage of one sample in unit coordinates."""
    u = (x - inset) / (1 - 2 * inset)
    v = (y - inset) / (1 - 2 * inset)
    if not rounded_rect(u, v, radius):
        return None
    # Rim: a band along the edge of the tile.
    rim = 0.045
    inner = (rim <= u <= 1 - rim and rim <= v <= 1 - rim and
             rounded_rect((u - rim) / (1 - 2 * rim), (v - rim) / (1 - 2 * rim), radius))
    if not inner:
        return RIM
    colour = mix(TOP, BOTTOM, v)
    # Gloss over the upper half.
    if (u - 0.5) ** 2 / 0.62 ** 2 + (v + 0.05) ** 2 / 0.5 ** 2 <= 1:
        colour = mix(colour, (255, 255, 255), 0.16)
    if drop(u, v):
        colour = mix(DROP_TOP, DROP_BOTTOM, min(1, max(0, (v - 0.2) / 0.65)))
        if shine(u, v):
            colour = (255, 255, 255)
        elif v > 0.72 and (u - 0.5) ** 2 + (v - 0.62) ** 2 > 0.19 ** 2:
            colour = mix(colour, (120, 180, 226), 0.35)  # the drop's shaded lower rim
    return colour


def render(size, radius, inset, background=None):  # noqa: C901
    """Rows of (r, g, b, a) top to bottom; with a background, opaque over it."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(SS):
                for sx in range(SS):
                    c = sample((px + (sx + 0.5) / SS) / size, (py + (sy + 0.5) / SS) / size,
                               radius, inset)
                    if c is None:
                        if background is not None:
                            c = background
                        else:
                            continue
                    hits += 1
                    for i in range(3):
                        acc[i] += c[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = 255 if background is not None else round(255 * hits / (SS * SS))
                row.append(tuple(round(acc[i] / hits) for i in range(3)) + (alpha,))
        rows.append(row)
    return rows


def icon_image(size):
    rows = render(size, 0.2, 0.0 if size <= 16 else 0.02)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = 0
        line = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + pixels + mask


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_bmp(path, size):
    """32 bits per pixel, blue, green, red and straight alpha, bottom-up."""
    rows = render(size, 0.18, 0.02)
    data = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    header = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(data), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + header + data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "resources", "art")
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "VarenGlaze2.ico"), [16, 24, 32, 48])
    # The dialog blends the emblem's edges onto its own face colour when it loads it.
    write_bmp(os.path.join(out, "Emblem.bmp"), 52)


if __name__ == "__main__":
    main()
