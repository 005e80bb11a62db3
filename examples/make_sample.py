#!/usr/bin/env python3
"""Draws examples/sample.png: a low sun behind a row of dark trees and drifting
clouds, the kind of shot light shafts are made for. Standard library only."""
import math
import random
import struct
import zlib

W, H = 640, 400
SUN = (420.0, 150.0)
random.seed(7)

# Tree crowns: clusters of discs along a ragged skyline, trunks below them.
crowns = []
for i in range(26):
    x = i * 26 + random.uniform(-8, 8)
    y = 250 + 40 * math.sin(i * 0.7) + random.uniform(-25, 25)
    for _ in range(9):
        crowns.append((x + random.uniform(-22, 22), y + random.uniform(-40, 25), random.uniform(10, 24)))
trunks = [(i * 26 + random.uniform(-5, 5), random.uniform(3, 6)) for i in range(26)]
clouds = [(random.uniform(0, W), random.uniform(40, 200), random.uniform(40, 90), random.uniform(10, 22))
          for _ in range(9)]


def sky(x, y):
    d = math.hypot(x - SUN[0], y - SUN[1])
    glow = math.exp(-d / 90.0)
    t = y / H
    r = 40 + 120 * t + 215 * glow
    g = 60 + 90 * t + 200 * glow
    b = 110 + 40 * t + 140 * glow
    if d < 34:
        r, g, b = 255, 250, 225
    for cx, cy, rx, ry in clouds:
        k = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
        if k < 1.0:
            a = 0.75 * (1.0 - k)
            r, g, b = r * (1 - a) + 70 * a, g * (1 - a) + 70 * a, b * (1 - a) + 90 * a
    return r, g, b


def occluded(x, y):
    if y > 330:
        return True
    for cx, cy, rad in crowns:
        if (x - cx) ** 2 + (y - cy) ** 2 < rad * rad:
            return True
    for tx, half in trunks:
        if abs(x - tx) < half and y > 250:
            return True
    return False


rows = []
for y in range(H):
    row = bytearray([0])
    for x in range(W):
        if occluded(x, y):
            shade = 12 + 10 * (y / H)
            r, g, b = shade, shade + 6, shade + 2
        else:
            r, g, b = sky(x, y)
        row += bytes(max(0, min(255, int(v))) for v in (r, g, b)) + b"\xff"
    rows.append(bytes(row))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
with open(__file__.replace("make_sample.py", "sample.png"), "wb") as f:
    f.write(png)
