#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the palette image of TCommPort: a 24 x 24, 16-colour (4 bits per pixel) BMP showing a
nine-pin serial connector. Writes TCOMMPORT.bmp next to this script."""
import os
import struct

# The standard 16-colour palette (B, G, R, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]  # as (R, G, B)
OLIVE, SILVER, GREY, BLUE, WHITE, BLACK, NAVY, YELLOW = 6, 7, 8, 12, 15, 0, 4, 14
SIZE = 24

# Rows from the top; one character per pixel.
KEY = {'.': OLIVE, 's': SILVER, 'g': GREY, 'k': BLACK, 'b': NAVY, 'w': WHITE, 'y': YELLOW}
ROWS = [
    "........................",
    "........................",
    "........................",
    "...........bb...........",
    "...........bb...........",
    "...........bb...........",
    "..........bbbb..........",
    "..kkkkkkkkkkkkkkkkkkkk..",
    "..kssssssssssssssssssk..",
    "..ksgggggggggggggggggsk.",
    "..ksgwywywywywywgggggsk.",
    "..ksgwywywywywywgggggsk.",
    "...ksgggggggggggggggsk..",
    "...ksggwywywywywgggsk...",
    "...ksggwywywywywgggsk...",
    "....ksgggggggggggssk....",
    "....kssssssssssssssk....",
    ".....kkkkkkkkkkkkkk.....",
    "........................",
    "..bbbb..bbbb..bbbb......",
    "..b..b..b.....b..b......",
    "..bbbb..b.....bbbb......",
    "..b.....bbbb..b.b.......",
    "........................",
]


def pixels():
    assert len(ROWS) == SIZE and all(len(r) == SIZE for r in ROWS)
    return [[KEY[c] for c in row] for row in ROWS]


def bmp_bytes():
    row_bytes = ((SIZE * 4 + 31) // 32) * 4
    image = bytearray()
    for row in reversed(pixels()):  # bottom-up
        line = bytearray()
        for x in range(0, SIZE, 2):
            line.append((row[x] << 4) | row[x + 1])
        line.extend(b"\0" * (row_bytes - len(line)))
        image += line
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 4, 0, len(image), 2835, 2835, 16, 16)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    return header + info + palette + bytes(image)


if __name__ == "__main__":
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "TCOMMPORT.bmp")
    with open(path, "wb") as f:
        f.write(bmp_bytes())
    print(path)
