#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Wraps a PNG picture in an ICO file of one image: png_to_ico.py INPUT.png OUTPUT.ico.

An ICO entry may hold PNG data as it is (Windows Vista and later, and Wine, read it), so the
picture is copied unchanged behind the six-byte directory and its one sixteen-byte entry."""
import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_size(data):
    """Width and height from the IHDR chunk, which a PNG file must have first."""
    if data[:8] != PNG_SIGNATURE or data[12:16] != b"IHDR":
        raise ValueError("not a PNG file")
    return struct.unpack(">II", data[16:24])


def ico_of_png(data):
    width, height = png_size(data)
    if width > 256 or height > 256:
        raise ValueError("an icon is at most 256 x 256")
    directory = struct.pack("<HHH", 0, 1, 1)  # reserved, type 1 (icon), one image
    # Width and height 256 are written as 0; no palette; one plane; 32 bits per pixel.
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data),
                        len(directory) + 16)
    return directory + entry + data


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: png_to_ico.py INPUT.png OUTPUT.ico")
    with open(sys.argv[1], "rb") as source:
        icon = ico_of_png(source.read())
    with open(sys.argv[2], "wb") as target:
        target.write(icon)


if __name__ == "__main__":
    main()
