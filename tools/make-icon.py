#!/usr/bin/env python3
"""Draws the module's icon, a broom sweeping with a small sparkle, and writes it as an .ico
file with a 32x32 and a 16x16 image, both 32 bits per pixel with alpha and an AND mask (the
mask is what Windows 2000 draws with; later systems blend the alpha).

Usage: tools/make-icon.py [output]   (default: src/res/Clear.ico next to this script's folder)

The drawing is geometry in a unit square, rendered with 4x4 supersampling per pixel, so the
output is the same byte for byte on every run.
"""

import math
import os
import struct
import sys

SAMPLES = 4  # per axis and pixel

# Broom axis: from the top of the handle (upper right) down to the bristles (lower left).
AXIS = (-math.sqrt(0.5), math.sqrt(0.5))
ACROSS = (math.sqrt(0.5), math.sqrt(0.5))
BINDING = (0.50, 0.50)


def add(p, v, k=1.0):
    return (p[0] + v[0] * k, p[1] + v[1] * k)


def capsule_distance(p, a, b, radius):
    """Signed distance from p to a segment a-b thickened by radius."""
    ax, ay = p[0] - a[0], p[1] - a[1]
    bx, by = b[0] - a[0], b[1] - a[1]
    t = max(0.0, min(1.0, (ax * bx + ay * by) / (bx * bx + by * by)))
    dx, dy = ax - bx * t, ay - by * t
    return math.hypot(dx, dy) - radius


def polygon_distance(p, points):
    """Signed distance from p to a convex polygon, negative inside; the points go round in
    the order of rising atan2 about the centre (clockwise on screen, y pointing down)."""
    inside = True
    best = float("inf")
    n = len(points)
    for i in range(n):
        a, b = points[i], points[(i + 1) % n]
        ex, ey = b[0] - a[0], b[1] - a[1]
        px, py = p[0] - a[0], p[1] - a[1]
        t = max(0.0, min(1.0, (px * ex + py * ey) / (ex * ex + ey * ey)))
        best = min(best, math.hypot(px - ex * t, py - ey * t))
        if ex * py - ey * px < 0:
            inside = False
    return -best if inside else best


def round_order(points):
    cx = sum(q[0] for q in points) / len(points)
    cy = sum(q[1] for q in points) / len(points)
    return sorted(points, key=lambda q: math.atan2(q[1] - cy, q[0] - cx))


HANDLE_TOP = add(BINDING, AXIS, -0.56)
HANDLE_BOTTOM = add(BINDING, AXIS, -0.02)
BAND = round_order([
    add(add(BINDING, AXIS, -0.045), ACROSS, -0.095),
    add(add(BINDING, AXIS, -0.045), ACROSS, 0.095),
    add(add(BINDING, AXIS, 0.045), ACROSS, 0.095),
    add(add(BINDING, AXIS, 0.045), ACROSS, -0.095),
])
FAR = add(BINDING, AXIS, 0.44)
BRISTLES = round_order([
    add(add(BINDING, AXIS, 0.03), ACROSS, -0.085),
    add(add(BINDING, AXIS, 0.03), ACROSS, 0.085),
    add(FAR, ACROSS, 0.215),
    add(FAR, ACROSS, -0.215),
])
SPARKLE = (0.20, 0.22)


def sparkle_distance(p, size):
    """A four-pointed star: the smaller of two thin diamonds."""
    dx, dy = abs(p[0] - SPARKLE[0]), abs(p[1] - SPARKLE[1])
    long_, thin = size, size * 0.28
    d1 = (dx / thin + dy / long_) - 1.0
    d2 = (dx / long_ + dy / thin) - 1.0
    return min(d1, d2) * thin


def shade(color, k):
    return tuple(max(0, min(255, round(c * k))) for c in color)


def sample(p, pixel, with_sparkle):
    """Colour (r, g, b, a) of one sample point; pixel is the size of one pixel in units."""
    outline = 0.9 * pixel
    band = polygon_distance(p, BAND)
    handle = capsule_distance(p, HANDLE_TOP, HANDLE_BOTTOM, max(0.045, 0.9 * pixel))
    bristles = polygon_distance(p, BRISTLES)

    if band < 0:
        across = (p[0] - BINDING[0]) * ACROSS[0] + (p[1] - BINDING[1]) * ACROSS[1]
        return shade((200, 48, 40), 1.15 - 1.5 * abs(across)) + (255,)
    if handle < 0:
        across = (p[0] - HANDLE_TOP[0]) * ACROSS[0] + (p[1] - HANDLE_TOP[1]) * ACROSS[1]
        return shade((150, 96, 48), 1.1 + 4.0 * across) + (255,)
    if bristles < 0:
        along = (p[0] - BINDING[0]) * AXIS[0] + (p[1] - BINDING[1]) * AXIS[1]
        across = (p[0] - BINDING[0]) * ACROSS[0] + (p[1] - BINDING[1]) * ACROSS[1]
        # Straws fan out from the binding: stripes in the angle seen from behind it.
        angle = math.atan2(across, along + 0.25)
        stripes = 9 if pixel < 0.05 else 5
        light = 1.0 if (angle * stripes * 2.2) % 1.0 < 0.55 else 0.7
        return shade((238, 188, 72), light * (1.05 - 0.35 * along)) + (255,)
    if min(band, handle, bristles) < outline:
        return (92, 56, 24, 255)
    if with_sparkle:
        star = sparkle_distance(p, 0.15)
        if star < 0:
            return (80, 170, 235, 255)
        if star < 0.6 * pixel:
            return (40, 110, 190, 255)
    return (0, 0, 0, 0)


def render(size):
    """Rows top to bottom of (r, g, b, a) pixels."""
    pixel = 1.0 / size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    p = ((x + (sx + 0.5) / SAMPLES) * pixel, (y + (sy + 0.5) / SAMPLES) * pixel)
                    cr, cg, cb, ca = sample(p, pixel, size >= 32)
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(a / SAMPLES**2)))
        rows.append(row)
    return rows


def icon_image(size):
    """One image of the icon file: BITMAPINFOHEADER, bottom-up BGRA pixels, AND mask."""
    rows = render(size)
    mask_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def icon_file(sizes):
    images = [icon_image(s) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "res",
                                                                 "Clear.ico")
    with open(target, "wb") as f:
        f.write(icon_file([32, 16]))


if __name__ == "__main__":
    main()
