"""Minimal deterministic PNG writer (8-bit RGBA, colour type 6, not interlaced).

Each image is compressed with every fixed filter type and with a per-row
"smallest sum of absolute differences" choice; the smallest result wins, so the
output depends only on the pixels.
"""
import struct
import zlib


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    if pb <= pc:
        return b
    return c


def _filter_row(ftype, row, prev, bpp=4):
    n = len(row)
    out = bytearray(n)
    if ftype == 0:
        out[:] = row
    elif ftype == 1:
        for i in range(n):
            a = row[i - bpp] if i >= bpp else 0
            out[i] = (row[i] - a) & 255
    elif ftype == 2:
        for i in range(n):
            out[i] = (row[i] - prev[i]) & 255
    elif ftype == 3:
        for i in range(n):
            a = row[i - bpp] if i >= bpp else 0
            out[i] = (row[i] - ((a + prev[i]) >> 1)) & 255
    else:
        for i in range(n):
            a = row[i - bpp] if i >= bpp else 0
            c = prev[i - bpp] if i >= bpp else 0
            out[i] = (row[i] - _paeth(a, prev[i], c)) & 255
    return bytes(out)


def _cost(data):
    return sum(b if b < 128 else 256 - b for b in data)


def encode_png(width, height, pixels):
    """pixels: flat sequence of (r, g, b, a) tuples, row-major, length w*h."""
    assert len(pixels) == width * height
    rows = []
    for y in range(height):
        row = bytearray()
        for r, g, b, a in pixels[y * width:(y + 1) * width]:
            if a == 0:
                r = g = b = 0  # invisible pixels carry no colour; compresses better
            row += bytes((r, g, b, a))
        rows.append(bytes(row))
    zero = bytes(width * 4)
    filtered = []  # filtered[y][ftype]
    for y, row in enumerate(rows):
        prev = rows[y - 1] if y else zero
        filtered.append([_filter_row(f, row, prev) for f in range(5)])
    candidates = []
    for f in range(5):
        candidates.append(b"".join(bytes((f,)) + filtered[y][f] for y in range(height)))
    adaptive = bytearray()
    for y in range(height):
        best = min(range(5), key=lambda f: (_cost(filtered[y][f]), f))
        adaptive += bytes((best,)) + filtered[y][best]
    candidates.append(bytes(adaptive))
    idat = min((zlib.compress(c, 9) for c in candidates), key=len)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", idat)
            + chunk(b"IEND", b""))


def write_png(path, width, height, pixels):
    data = encode_png(width, height, pixels)
    with open(path, "wb") as f:
        f.write(data)
    return len(data)
