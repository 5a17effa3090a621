#!/usr/bin/env python3
"""Draws the dravlet-ui icon, an upward arrow over a tray, and writes the two
icon files: nine images each, 256/48/32/16 px at 8 bits and 256/64/48/32/16 px
at 32 bits per pixel, the 256 px ones PNG-compressed. Standard library only.

    python3 make-icons.py   (writes dravlet-ui.ico and small.ico here)
"""
import os
import struct
import zlib

TRAY = (43, 76, 126)
ARROW = (46, 158, 91)


def inside(x, y):
    """The colour at unit-square point (x, y), or None where transparent."""
    # Arrow: a triangular head over a shaft.
    if 0.40 <= x <= 0.60 and 0.38 <= y <= 0.70:
        return ARROW
    if 0.10 <= y <= 0.44:
        half = (y - 0.08) / (0.44 - 0.08) * 0.30
        if abs(x - 0.5) <= half:
            return ARROW
    # Tray: a base with two side walls.
    if 0.10 <= x <= 0.90 and 0.80 <= y <= 0.92:
        return TRAY
    if 0.58 <= y <= 0.92 and (0.10 <= x <= 0.21 or 0.79 <= x <= 0.90):
        return TRAY
    return None


def render(size):
    """RGBA rows, anti-aliased by 4x4 supersampling."""
    rows = []
    n = 4
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = inside((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c:
                        r += c[0]; g += c[1]; b += c[2]; a += 1
            if a:
                row.append((r // a, g // a, b // a, 255 * a // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(rows):
    """Truecolour with alpha."""
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def palette_entry(p, palette, index):
    """The pixel's entry in a palette of the image's own colours; 0 is transparent."""
    if p[3] < 128:
        return 0
    key = (p[0] & 0xF8, p[1] & 0xF8, p[2] & 0xF8)
    if key not in index:
        index[key] = len(palette)
        palette.append(key)
    return index[key]


def png8(rows):
    """Indexed colour: 8 bits per pixel, entry 0 transparent."""
    size = len(rows)
    palette, index, raw = [(0, 0, 0)], {}, b""
    for row in rows:
        raw += b"\0" + bytes(palette_entry(p, palette, index) for p in row)
    assert len(palette) <= 256
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 3, 0, 0, 0))
            + chunk(b"PLTE", b"".join(bytes(c) for c in palette)) + chunk(b"tRNS", b"\0")
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def and_mask(rows):
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def dib32(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    return header + pixels + and_mask(rows)


def dib8(rows):
    """A palette of the image's own colours; transparency by the AND mask."""
    size = len(rows)
    palette = [(0, 0, 0)]
    index = {}
    pixels = []
    for row in reversed(rows):
        line = bytearray(palette_entry(p, palette, index) for p in row)
        line += bytes((-len(line)) % 4)
        pixels.append(bytes(line))
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + table + b"".join(pixels) + and_mask(rows)


def write_ico(path, images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, bits, blob in images:
        colours = 0
        dim = 0 if size == 256 else size
        directory += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bits, len(blob), offset + len(data))
        data += blob
    with open(path, "wb") as f:
        f.write(directory + data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    art = {size: render(size) for size in (256, 64, 48, 32, 16)}
    images = [(256, 8, png8(art[256]))]
    images += [(s, 8, dib8(art[s])) for s in (48, 32, 16)]
    images += [(256, 32, png(art[256]))]
    images += [(s, 32, dib32(art[s])) for s in (64, 48, 32, 16)]
    for name in ("dravlet-ui.ico", "small.ico"):
        write_ico(os.path.join(here, name), images)


if __name__ == "__main__":
    main()
