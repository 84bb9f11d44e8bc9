#!/usr/bin/env python3
"""Draws Rankora's window icon (the tile with three rising bars of the Qt
window's icon) at the sizes Windows picks from, and writes them as one .ico
of 32-bit images with an alpha channel.

    packaging/windows/make_icon.py packaging/windows/rankora.ico
"""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
TOP = (0x2F, 0x80, 0xED)
BOTTOM = (0x1A, 0x4F, 0xA8)
WHITE = (0xFF, 0xFF, 0xFF)
GOLD = (0xFF, 0xD1, 0x4A)
# In the 32-unit design square: left, top, width, height.
BARS = (((7, 18, 5, 8), WHITE), ((14, 13, 5, 13), WHITE), ((21, 7, 5, 19), GOLD))
SAMPLES = 4  # per axis, for smooth edges


def coverage_of_tile(x, y):
    """1 inside the rounded 30-unit tile at (1, 1) with corner radius 6."""
    radius, low, high = 6.0, 1.0, 31.0
    if not (low <= x <= high and low <= y <= high):
        return 0
    cx = min(max(x, low + radius), high - radius)
    cy = min(max(y, low + radius), high - radius)
    return 1 if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius else 0


def pixel(size, px, py):
    """Premultiplication is not used: .ico images hold straight alpha."""
    scale = 32.0 / size
    total = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) * scale
            y = (py + (sy + 0.5) / SAMPLES) * scale
            if not coverage_of_tile(x, y):
                continue
            t = y / 32.0
            colour = tuple(TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3))
            for (left, top, width, height), bar in BARS:
                if left <= x < left + width and top <= y < top + height:
                    colour = bar
            for i in range(3):
                total[i] += colour[i]
            total[3] += 1
    count = SAMPLES * SAMPLES
    if total[3] == 0:
        return (0, 0, 0, 0)
    return tuple(int(round(total[i] / total[3])) for i in range(3)) + (int(round(255 * total[3] / count)),)


def image(size):
    """One icon image: a bottom-up 32-bit DIB and its (all clear) AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for py in reversed(range(size)):
        row = bytearray()
        for px in range(size):
            r, g, b, a = pixel(size, px, py)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    mask_stride = ((size + 31) // 32) * 4
    return header + b"".join(rows) + bytes(mask_stride * size)


def png(size):
    """The largest image as PNG, which the platform takes from Vista on."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(c for px in range(size) for c in pixel(size, px, py)) for py in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main(path):
    images = [png(size) if size == 256 else image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        dimension = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as file:
        file.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
