#!/usr/bin/env python3
"""Draws greenhouse.gif, the demo panel's picture: a 48 x 40 greenhouse in 16 colours.

The LZW stream sends a clear code before the code table would grow, so every code keeps the
same width: a valid GIF that any decoder reads, without an encoder library.
"""
import struct
import sys

W, H = 48, 40
PALETTE = [
    (0x87, 0xCE, 0xEB),  # 0 sky
    (0xFF, 0xD7, 0x00),  # 1 sun
    (0x6B, 0x8E, 0x23),  # 2 grass
    (0x8B, 0x5A, 0x2B),  # 3 soil
    (0xE0, 0xF4, 0xFF),  # 4 glass
    (0x70, 0x70, 0x70),  # 5 frame
    (0x22, 0x8B, 0x22),  # 6 leaves
    (0xDC, 0x14, 0x3C),  # 7 tomatoes
    (0xFF, 0xFF, 0xFF),  # 8 white
] + [(0, 0, 0)] * 7

px = [[0] * W for _ in range(H)]
for y in range(H):
    for x in range(W):
        if y >= 34:
            px[y][x] = 3
        elif y >= 31:
            px[y][x] = 2
        elif (x - 40) ** 2 + (y - 6) ** 2 <= 16:
            px[y][x] = 1
# Glass house: walls from row 18, a pitched roof up to row 8.
for y in range(8, 31):
    for x in range(6, 38):
        roof = 8 + abs(x - 22) * 10 // 16
        if y >= max(roof, 8) and (y >= 18 or y >= roof):
            edge = x in (6, 37, 22) or y in (18, 30) or y == roof
            px[y][x] = 5 if edge else 4
# Plants with tomatoes inside.
for cx in (12, 18, 27, 32):
    for y in range(22, 30):
        for x in range(cx - 2, cx + 3):
            if abs(x - cx) + abs(y - 26) <= 4:
                px[y][x] = 6
    px[24][cx] = 7
    px[27][cx - 1] = 7

MIN_CODE = 4
clear, end = 1 << MIN_CODE, (1 << MIN_CODE) + 1
width = MIN_CODE + 1
codes = []
run = 0
for row in px:
    for p in row:
        if run == 0:
            codes.append(clear)
        codes.append(p)
        run = (run + 1) % ((1 << MIN_CODE) - 3)
codes.append(end)

bits = nbits = 0
data = bytearray()
for c in codes:
    bits |= c << nbits
    nbits += width
    while nbits >= 8:
        data.append(bits & 0xFF)
        bits >>= 8
        nbits -= 8
if nbits:
    data.append(bits & 0xFF)

out = bytearray(b"GIF89a")
out += struct.pack("<HHBBB", W, H, 0x80 | 0x70 | (MIN_CODE - 1), 0, 0)
for r, g, b in PALETTE:
    out += bytes((r, g, b))
out += b"\x2C" + struct.pack("<HHHHB", 0, 0, W, H, 0)
out.append(MIN_CODE)
for i in range(0, len(data), 255):
    block = data[i : i + 255]
    out.append(len(block))
    out += block
out += b"\x00\x3B"

path = sys.argv[1] if len(sys.argv) > 1 else "greenhouse.gif"
with open(path, "wb") as f:
    f.write(out)
