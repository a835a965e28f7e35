#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the program's pictures next to this script, in the 16 standard colours: zelvane.xpm,
the 32 x 32 program and window icon (a controller board with a thermometer and a switched load),
tray.xpm, the 16 x 16 notification-area picture (the same, simplified), and zelvane.png, the
program icon for the desktop's menus."""
import os
import struct
import zlib

COLOURS = {
    ' ': 'None', 'k': '#000000', 'g': '#008000', 'G': '#00FF00', 'y': '#FFFF00',
    'o': '#808000', 'r': '#FF0000', 'm': '#800000', 'w': '#FFFFFF', 's': '#C0C0C0',
    'd': '#808080', 'b': '#000080', 'c': '#00FFFF',
}

ICON = [
    "                                ",
    "   s  s  s  s  s  s  s  s  s    ",
    "   s  s  s  s  s  s  s  s  s    ",
    " kkkkkkkkkkkkkkkkkkkkkkkkkkkkkk ",
    " kggggggggggggggggggggggggggggk ",
    " kgoggggggggggggggggggggggggogk ",
    " kgggggwwwggggggggggggggggggggk ",
    " kggggwdddwgggggggggggyyggggggk ",
    " kggggwdrdwggggggggggyyyggggggk ",
    " kggggwdrdwgggggggggyyyggggggGk ",
    " kggggwdrdwggggggggyyyggggggggk ",
    " kggggwdrdwgggggggyyyyyyyygggGk ",
    " kggggwdrdwggggggggggyyyggggggk ",
    " kggggwdrdwgggggggggyyyggggggGk ",
    " kggggwdrdwggggggggyyygggggoggk ",
    " kggggwdrdwgggggggyyggggggggggk ",
    " kggggwdrdwggggggggggggggggoggk ",
    " kgggwrrrrrwgggggggggggggggggGk ",
    " kggwrrrrrrrwgggggggbbbbbbbgggk ",
    " kggwrrrwrrrwgggggggbcccccbgggk ",
    " kggwrrrrrrrwgggggggbcccccbgggk ",
    " kgggwrrrrrwggggggggbbbbbbbgggk ",
    " kggggwwwwwgggggggggggggggggggk ",
    " kgoggggggggggggggggggggggggogk ",
    " kggggggggggggggggggggggggggggk ",
    " kkkkkkkkkkkkkkkkkkkkkkkkkkkkkk ",
    "   s  s  s  s  s  s  s  s  s    ",
    "   s  s  s  s  s  s  s  s  s    ",
    "                                ",
    "  oooooo  oooooo  oooooo        ",
    "  ommmmo  ommmmo  ommmmo        ",
    "  oooooo  oooooo  oooooo        ",
]

TRAY = [
    "                ",
    " kkkkkkkkkkkkkk ",
    " kgggggggggggggk",
    " kggwwggggyyggk ",
    " kgwdrwgggyyggk ",
    " kgwdrwggyyyggk ",
    " kgwdrwgyyyyyyk ",
    " kgwdrwgggyyggk ",
    " kgwdrwggyygggk ",
    " kwrrrrwgygoggk ",
    " kwrrrrwgggggGk ",
    " kgwwwwggggogGk ",
    " kggggggggggggk ",
    " kkkkkkkkkkkkkk ",
    "  s s s s s s   ",
    "                ",
]


def write_xpm(name, rows):
    size = len(rows)
    rows = [r.ljust(size)[:size] for r in rows]
    used = sorted({c for r in rows for c in r})
    lines = [f'"{size} {size} {len(used)} 1",']
    lines += [f'"{c} c {COLOURS[c]}",' for c in used]
    lines += [f'"{r}",' for r in rows]
    lines[-1] = lines[-1].rstrip(',')
    ident = name.replace('.', '_')
    text = "/* XPM */\nstatic const char* const %s[] = {\n%s\n};\n" % (ident, "\n".join(lines))
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "w") as f:
        f.write(text)


def write_png(name, rows):
    size = len(rows)
    raw = b""
    for r in rows:
        raw += b"\x00"
        for c in r.ljust(size)[:size]:
            colour = COLOURS[c]
            raw += bytes(4) if colour == "None" else bytes.fromhex(colour[1:]) + b"\xff"

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as f:
        f.write(png)


write_xpm("zelvane.xpm", ICON)
write_png("zelvane.png", ICON)
write_xpm("tray.xpm", TRAY)
