#!/usr/bin/env python3
"""Draws the self-extractor's icon (a parcel with a zip fastener and an arrow
out of it) in the sizes Windows asks for and writes it as an .ico file:
16, 24, 32 and 48 pixels as 32-bit bitmaps, 256 pixels as PNG.
Usage: make-icon.py OUT.ico"""
import struct
import sys
import zlib


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour_at(x, y):
    """The colour (r, g, b, a) at a point of the unit square."""
    # The arrow, in front: a shaft and a head pointing down, lower right.
    if 0.66 <= x <= 0.80 and 0.46 <= y <= 0.74:
        return (30, 110, 200, 255)
    if 0.74 <= y <= 0.96 and abs(x - 0.73) <= (0.96 - y) * 0.95:
        return (30, 110, 200, 255)
    if inside_round_rect(x, y, 0.06, 0.20, 0.94, 0.92, 0.07):
        # Outline, lid, zip fastener, body.
        if not inside_round_rect(x, y, 0.10, 0.24, 0.90, 0.88, 0.05):
            return (120, 80, 30, 255)
        if y < 0.40:
            return (214, 160, 80, 255)
        if 0.40 <= x <= 0.52 and (int(y * 28) % 2 == 0 or 0.44 <= x <= 0.48):
            return (90, 90, 90, 255)
        return (236, 190, 110, 255)
    return (0, 0, 0, 0)


def render(size):
    """Rows of premultiplied-free RGBA pixels, 4 x 4 samples each."""
    rows = []
    n = 4
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = colour_at((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3]
            row.append((acc[0] // a, acc[1] // a, acc[2] // a, a // (n * n)) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_image(size):
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def png_image(size):
    rows = render(size)
    raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in rows)

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    images = [(s, bmp_image(s)) for s in (16, 24, 32, 48)] + [(256, png_image(256))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
