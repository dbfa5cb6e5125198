#!/usr/bin/env python3
"""Packs PNG pictures of one icon, each square, into a Windows .ico file (PNG entries, which Windows has read since
Vista and Wine reads too). Usage: make_ico.py OUT.ico IN.png..."""
import struct
import sys


def png_size(data):
    # The IHDR chunk follows the 8-byte signature: length, type, then width and height.
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG file")
    return struct.unpack(">II", data[16:24])


def main(out, pictures):
    images = []
    for path in pictures:
        with open(path, "rb") as file:
            data = file.read()
        width, height = png_size(data)
        if width != height or width > 256:
            raise ValueError(f"{path}: {width}x{height} is no icon size")
        images.append((width, data))
    images.sort(key=lambda image: image[0])
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for width, data in images:
        # A size of 256 is written as 0; the entry names the PNG's place in the file.
        side = width % 256
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as file:
        file.write(header + entries + b"".join(data for _, data in images))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
