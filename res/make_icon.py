#!/usr/bin/env python3
"""Draw the Dulvet application icon and write it as Dulvet.ico.

The picture is a rounded blue tile with two end points (client and server)
joined by a thin wire carrying white packets, one of which has gone missing.

Output: 48, 32, 24 and 16 pixel images at 4, 8 and 32 bits per pixel
(classic DIB entries with AND masks) plus a 256 pixel 32-bit PNG entry.
Only the standard library is used, and the output is byte-for-byte
reproducible: all geometry is exact arithmetic on floats, palettes are fixed,
and the PNG is compressed by the small deflate encoder below instead of zlib
(whose output may differ between zlib builds).

Usage: python3 make_icon.py [output.ico]   (default: Dulvet.ico next to this file)
"""

import os
import struct
import sys
import zlib

# Solid colours (R, G, B).
TRANSPARENT = None
BLACK = (0, 0, 0)
BORDER = (24, 62, 116)
TILE = (40, 98, 170)
WHITE = (255, 255, 255)
CLIENT = (64, 196, 128)
SERVER = (246, 166, 35)
WIRE = (128, 172, 226)

BASE_COLOURS = [BLACK, BORDER, TILE, WHITE, CLIENT, SERVER, WIRE]

# Hand-tuned layout per size, in pixels.  Small sizes are laid out on the
# pixel grid so the tiny versions stay crisp instead of being scaled down.
#   tile:    left/top and right/bottom edge of the tile
#   radius:  corner radius of the tile, bw: width of the darker tile border
#   cy:      vertical centre of the link
#   dots:    horizontal centres of the two end points, r: their radius,
#   ring:    width of the white ring round each end point
#   wt:      thickness of the thin wire joining the end points
#   packets: k slots of length d and thickness lt along the wire, separated
#            by g, with edge gap next to each end point; slots listed in
#            lost are left empty so the wire shows through
LAYOUT = {
    256: dict(tile=(8, 248), radius=56, bw=10, cy=128, dots=(56, 200), r=28,
              ring=10, wt=8, lt=20, k=3, d=20, g=8, edge=6, lost=(1,)),
    48: dict(tile=(1, 47), radius=10, bw=2, cy=24, dots=(11, 37), r=5,
             ring=1.5, wt=2, lt=4, k=3, d=4, g=1, edge=1, lost=(1,)),
    32: dict(tile=(1, 31), radius=7, bw=1.5, cy=16, dots=(7, 25), r=4,
             ring=1.5, wt=2, lt=2, k=3, d=2, g=1, edge=1, lost=(1,)),
    24: dict(tile=(1, 23), radius=5, bw=1, cy=12, dots=(6, 18), r=3,
             ring=0, wt=2, lt=2, k=3, d=2, g=0, edge=0, lost=(1,)),
    16: dict(tile=(0, 16), radius=3.5, bw=1, cy=8, dots=(4, 12), r=2,
             ring=0, wt=2, lt=2, k=4, d=1, g=0, edge=0, lost=(1, 2)),
}


def packets(g):
    """Horizontal extents of the packets drawn on the wire."""
    left = g["dots"][0] + g["r"]
    right = g["dots"][1] - g["r"]
    x = left + g["edge"]
    out = []
    for i in range(g["k"]):
        if i not in g["lost"]:
            out.append((x, x + g["d"]))
        x += g["d"] + g["g"]
    # The slots must exactly fill the space between the end points.
    assert x - g["g"] + g["edge"] == right, (left, right, x)
    return out


for _geometry in LAYOUT.values():
    _geometry["packets"] = packets(_geometry)


def in_round_rect(x, y, x0, y0, x1, y1, rad):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + rad), x1 - rad)
    cy = min(max(y, y0 + rad), y1 - rad)
    dx, dy = x - cx, y - cy
    return dx * dx + dy * dy <= rad * rad


def in_circle(x, y, cx, cy, r):
    dx, dy = x - cx, y - cy
    return dx * dx + dy * dy <= r * r


def colour_at(x, y, g):
    """Colour of the topmost shape covering point (x, y), or None."""
    t0, t1 = g["tile"]
    if not in_round_rect(x, y, t0, t0, t1, t1, g["radius"]):
        return TRANSPARENT
    for i, cx in enumerate(g["dots"]):
        if in_circle(x, y, cx, g["cy"], g["r"]):
            inner = g["r"] - g["ring"]
            if in_circle(x, y, cx, g["cy"], inner):
                return CLIENT if i == 0 else SERVER
            return WHITE
    half = g["lt"] / 2
    if g["cy"] - half <= y < g["cy"] + half:
        for p0, p1 in g["packets"]:
            if p0 <= x < p1:
                return WHITE
    half = g["wt"] / 2
    if g["cy"] - half <= y < g["cy"] + half and g["dots"][0] <= x < g["dots"][1]:
        return WIRE
    bw = g["bw"]
    if in_round_rect(x, y, t0 + bw, t0 + bw, t1 - bw, t1 - bw, g["radius"] - bw):
        return TILE
    return BORDER


def render(size):
    """Return rows of (r, g, b, a) tuples, straight (not premultiplied) alpha."""
    g = LAYOUT[size]
    ss = 4 if size > 64 else 8
    n = ss * ss
    offs = [(i + 0.5) / ss for i in range(ss)]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            sr = sg = sb = cover = 0
            for oy in offs:
                for ox in offs:
                    c = colour_at(px + ox, py + oy, g)
                    if c is not None:
                        sr += c[0]
                        sg += c[1]
                        sb += c[2]
                        cover += 1
            if cover == 0:
                row.append((0, 0, 0, 0))
            else:
                # Integer rounding keeps the result independent of float quirks.
                row.append(((sr + cover // 2) // cover,
                            (sg + cover // 2) // cover,
                            (sb + cover // 2) // cover,
                            (cover * 255 + n // 2) // n))
        rows.append(row)
    return rows


def mix(a, b, t_num, t_den):
    return tuple((a[i] * (t_den - t_num) + b[i] * t_num + t_den // 2) // t_den
                 for i in range(3))


def palette_16():
    pal = list(BASE_COLOURS)
    for a, b in [(TILE, BORDER), (TILE, WHITE), (TILE, CLIENT), (TILE, SERVER),
                 (TILE, WIRE), (WHITE, CLIENT), (WHITE, SERVER), (WHITE, WIRE),
                 (BORDER, BLACK)]:
        pal.append(mix(a, b, 1, 2))
    while len(pal) < 16:
        pal.append(BLACK)
    return pal


def palette_256():
    pal = list(BASE_COLOURS)
    for i in range(len(BASE_COLOURS)):
        for j in range(i + 1, len(BASE_COLOURS)):
            for k in range(1, 8):
                pal.append(mix(BASE_COLOURS[i], BASE_COLOURS[j], k, 8))
    while len(pal) < 256:
        pal.append(BLACK)
    return pal


def nearest(pal, c, cache):
    hit = cache.get(c)
    if hit is None:
        best, best_d = 0, None
        for i, p in enumerate(pal):
            d = (p[0] - c[0]) ** 2 + (p[1] - c[1]) ** 2 + (p[2] - c[2]) ** 2
            if best_d is None or d < best_d:
                best, best_d = i, d
        cache[c] = hit = best
    return hit


def opaque(px):
    return px[3] >= 128


def and_mask(rows):
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if not opaque(px):
                line[x >> 3] |= 0x80 >> (x & 7)
        out += line
    return bytes(out)


def dib(rows, bpp):
    size = len(rows)
    if bpp == 32:
        palette = []
    elif bpp == 8:
        palette = palette_256()
    else:
        palette = palette_16()
    stride = ((size * bpp + 31) // 32) * 4
    xor = bytearray()
    cache = {}
    for row in reversed(rows):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if bpp == 32:
                line[x * 4:x * 4 + 4] = bytes((px[2], px[1], px[0], px[3]))
            else:
                idx = nearest(palette, px[:3], cache) if opaque(px) else 0
                if bpp == 8:
                    line[x] = idx
                elif x & 1:
                    line[x >> 1] |= idx
                else:
                    line[x >> 1] |= idx << 4
        xor += line
    mask = and_mask(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0,
                         len(palette), 0)
    pal_bytes = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    return header + pal_bytes + bytes(xor) + mask


# --- PNG with a small deterministic deflate encoder --------------------------

def _fixed_lit_code(sym):
    if sym < 144:
        return 0x30 + sym, 8
    if sym < 256:
        return 0x190 + sym - 144, 9
    if sym < 280:
        return sym - 256, 7
    return 0xC0 + sym - 280, 8


_LEN_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43,
             51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258]
_LEN_EXTRA = [0] * 8 + [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4 + [5] * 4 + [0]
_DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257,
              385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289,
              16385, 24577]
_DIST_EXTRA = [0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9,
               9, 10, 10, 11, 11, 12, 12, 13, 13]


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def bits(self, value, count):  # LSB first
        self.acc |= value << self.n
        self.n += count
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def huff(self, code, length):  # Huffman codes go MSB first
        rev = 0
        for _ in range(length):
            rev = (rev << 1) | (code & 1)
            code >>= 1
        self.bits(rev, length)

    def flush(self):
        if self.n:
            self.out.append(self.acc & 0xFF)
        self.acc = self.n = 0
        return bytes(self.out)


def _bucket(value, bases):
    i = len(bases) - 1
    while bases[i] > value:
        i -= 1
    return i


def deflate(data, distances):
    """One fixed-Huffman block; greedy matching at a few fixed distances."""
    w = _BitWriter()
    w.bits(1, 1)  # final block
    w.bits(1, 2)  # fixed Huffman codes
    pos, n = 0, len(data)
    while pos < n:
        best_len, best_dist = 0, 0
        for dist in distances:
            if dist > pos:
                continue
            length = 0
            while (length < 258 and pos + length < n
                   and data[pos + length] == data[pos + length - dist]):
                length += 1
            if length > best_len:
                best_len, best_dist = length, dist
        if best_len >= 3:
            li = _bucket(best_len, _LEN_BASE)
            w.huff(*_fixed_lit_code(257 + li))
            w.bits(best_len - _LEN_BASE[li], _LEN_EXTRA[li])
            di = _bucket(best_dist, _DIST_BASE)
            w.huff(di, 5)
            w.bits(best_dist - _DIST_BASE[di], _DIST_EXTRA[di])
            pos += best_len
        else:
            w.huff(*_fixed_lit_code(data[pos]))
            pos += 1
    w.huff(*_fixed_lit_code(256))
    return w.flush()


def zlib_stream(data, distances):
    body = deflate(data, distances)
    return b"\x78\x01" + body + struct.pack(">I", zlib.adler32(data))


def png(rows):
    size = len(rows)
    stride = size * 4 + 1
    raw = bytearray()
    for row in rows:
        raw.append(1)  # Sub filter: flat runs become zeros
        prev = (0, 0, 0, 0)
        for px in row:
            raw += bytes(((px[i] - prev[i]) & 0xFF) for i in range(4))
            prev = px
    raw = bytes(raw)
    comp = zlib_stream(raw, (1, 4, stride))
    assert zlib.decompress(comp) == raw

    def chunk(kind, payload):
        return (struct.pack(">I", len(payload)) + kind + payload +
                struct.pack(">I", zlib.crc32(kind + payload)))

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", comp) + chunk(b"IEND", b""))


# --- ICO container -----------------------------------------------------------

def build_ico():
    images = {size: render(size) for size in LAYOUT}
    entries = []  # (width, bpp, colour count, payload)
    for bpp in (4, 8, 32):
        for size in (48, 32, 24, 16):
            entries.append((size, bpp, 16 if bpp == 4 else 0,
                            dib(images[size], bpp)))
    entries.append((256, 32, 0, png(images[256])))

    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, bpp, colours, payload in entries:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bpp,
                           len(payload), offset)
        offset += len(payload)
    for entry in entries:
        out += entry[3]
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "Dulvet.ico")
    data = build_ico()
    with open(target, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (target, len(data)))


if __name__ == "__main__":
    main()
