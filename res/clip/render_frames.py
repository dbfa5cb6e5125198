#!/usr/bin/env python3
"""Renders the download's animation clip from download-clip.svg, frame by frame, with rsvg-convert, and writes the
frames as a C++ source of 24-bit pixels that every front end plays; the Windows build also has them written as
an uncompressed 24-bit AVI for the system's animation control.

Each frame is the artwork with its moving items set for that frame: the globe's meridians turn, the page flies on
an arc from the globe into the folder, tilting as it goes, and leaves a dotted trail. The frames are composited on
white, the background of the dialog that shows them, so that antialiased edges blend as they would on it; pixels
left untouched get the transparent colour instead, which no drawn pixel has.

Usage: render_frames.py RSVG-CONVERT ARTWORK.svg OUTPUT.cpp [OUTPUT.avi]
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

SVG = "http://www.w3.org/2000/svg"
WIDTH, HEIGHT = 272, 60
FRAME_COUNT = 31
# The page flies over the first frames; the last ones show it gone before the clip starts again.
FLIGHT_FRAMES = 27
GLOBE_CENTRE = (34.0, 32.0)
GLOBE_RADIUS = 22.0
FOLDER_MOUTH = (234.0, 36.0)
# How far the page rises above the straight line: its top edge stays inside the frame.
ARC_HEIGHT = 14.0
TRAIL_DOTS = 12
TRANSPARENT = (255, 0, 255)
FRAME_INTERVAL_US = 66667


def number(value):
    return f"{value:.6g}"


def flight_point(t):
    start = (GLOBE_CENTRE[0] + GLOBE_RADIUS - 4, GLOBE_CENTRE[1] - 2)
    x = start[0] + (FOLDER_MOUTH[0] - start[0]) * t
    y = start[1] + (FOLDER_MOUTH[1] - start[1]) * t - ARC_HEIGHT * math.sin(math.pi * t)
    return x, y


def frame_svg(artwork, frame):
    root = ET.fromstring(artwork)
    by_id = {element.get("id"): element for element in root.iter() if element.get("id")}
    turn = frame * 2.0 * math.pi / FRAME_COUNT
    for m in range(4):
        half = abs(math.cos(turn + m * math.pi / 4)) * GLOBE_RADIUS
        by_id[f"meridian-{m}"].set("rx", number(half))

    t = min(1.0, frame / (FLIGHT_FRAMES - 1))
    page = by_id["page"]
    if frame < FLIGHT_FRAMES:
        x, y = flight_point(t)
        page.set("transform", f"translate({number(x)},{number(y)}) rotate({number(-20 + 40 * t)})")
    else:
        page.set("visibility", "hidden")

    trail = by_id["trail"]
    for dot in range(1, TRAIL_DOTS):
        s = dot / TRAIL_DOTS
        if s > t - 0.08:
            continue
        x, y = flight_point(s)
        ET.SubElement(trail, f"{{{SVG}}}circle", cx=number(x), cy=number(y), r="1.2")
    return ET.tostring(root, encoding="unicode")


def read_png(data):
    """The RGBA rows of an 8-bit, non-interlaced RGBA PNG, as rsvg-convert writes it."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        raise ValueError(f"unexpected PNG format: depth {depth}, colour type {colour}, interlace {interlace}")
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - 4] if i >= 4 else 0
            b = previous[i]
            c = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(row)
        previous = row
    return width, height, rows


def on_white(rows):
    pixels = bytearray()
    for row in rows:
        for i in range(0, len(row), 4):
            r, g, b, alpha = row[i:i + 4]
            if alpha == 0:
                pixels += bytes(TRANSPARENT)
                continue
            drawn = tuple((c * alpha + 255 * (255 - alpha) + 127) // 255 for c in (r, g, b))
            if drawn == TRANSPARENT:
                raise ValueError("a drawn pixel has the transparent colour")
            pixels += bytes(drawn)
    return pixels


def render(rsvg, artwork, scratch, frame):
    svg_path = os.path.join(scratch, f"frame-{frame}.svg")
    png_path = os.path.join(scratch, f"frame-{frame}.png")
    with open(svg_path, "w", encoding="utf-8") as out:
        out.write(frame_svg(artwork, frame))
    subprocess.run([rsvg, "-w", str(WIDTH), "-h", str(HEIGHT), "-o", png_path, svg_path], check=True)
    with open(png_path, "rb") as png:
        width, height, rows = read_png(png.read())
    if (width, height) != (WIDTH, HEIGHT):
        raise ValueError(f"frame {frame} is {width} by {height}")
    return on_white(rows)


def chunk(kind, body):
    """A RIFF chunk: its four-character code, its length and its body, padded to an even length."""
    return kind + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def riff_list(kind, *chunks):
    return chunk(b"LIST", kind + b"".join(chunks))


def avi(pixels):
    """An uncompressed 24-bit AVI of the frames: bottom-up rows of blue, green, red, as a DIB has them. The
    animation control plays such a clip without a codec; it takes its transparent colour from the first frame's
    corner pixel, which the artwork leaves untouched."""
    row = WIDTH * 3
    stride = (row + 3) // 4 * 4
    frame_size = stride * HEIGHT
    frames = []
    for f in range(FRAME_COUNT):
        rows = []
        for y in reversed(range(HEIGHT)):
            start = (f * HEIGHT + y) * row
            rgb = pixels[start:start + row]
            bgr = bytearray(row)
            bgr[0::3], bgr[1::3], bgr[2::3] = rgb[2::3], rgb[1::3], rgb[0::3]
            rows.append(bytes(bgr) + bytes(stride - row))
        frames.append(b"".join(rows))

    per_second = round(1000000 / FRAME_INTERVAL_US)
    has_index, key_frame = 0x10, 0x10
    main_header = struct.pack("<14I", FRAME_INTERVAL_US, frame_size * per_second, 0, has_index, FRAME_COUNT, 0, 1,
                              frame_size, WIDTH, HEIGHT, 0, 0, 0, 0)
    stream_header = struct.pack("<4s4sIHHIIIIIIII4h", b"vids", b"DIB ", 0, 0, 0, 0, 1, per_second, 0, FRAME_COUNT,
                                frame_size, 0xFFFFFFFF, frame_size, 0, 0, WIDTH, HEIGHT)
    bitmap_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, frame_size, 0, 0, 0, 0)
    header = riff_list(b"hdrl", chunk(b"avih", main_header),
                       riff_list(b"strl", chunk(b"strh", stream_header), chunk(b"strf", bitmap_header)))
    movie = riff_list(b"movi", *(chunk(b"00db", frame) for frame in frames))
    # Offsets from the movie list's "movi" code to each frame's chunk.
    index = b"".join(struct.pack("<4sIII", b"00db", key_frame, 4 + f * (8 + frame_size), frame_size)
                     for f in range(FRAME_COUNT))
    return chunk(b"RIFF", b"AVI " + header + movie + chunk(b"idx1", index))


def write_atomically(path, data, mode):
    with open(path + ".part", mode) as out:
        out.write(data)
    os.replace(path + ".part", path)


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__.strip().splitlines()[-1])
    rsvg, artwork_path, output = sys.argv[1:4]
    with open(artwork_path, encoding="utf-8") as svg:
        artwork = svg.read()
    ET.register_namespace("", SVG)
    with tempfile.TemporaryDirectory() as scratch:
        pixels = b"".join(render(rsvg, artwork, scratch, frame) for frame in range(FRAME_COUNT))

    row = WIDTH * 3
    lines = [",".join(str(v) for v in pixels[i:i + row]) + "," for i in range(0, len(pixels), row)]
    source = f"""// Written by res/clip/render_frames.py from res/clip/download-clip.svg; the build writes it again.
#include "res/AnimationClip.h"

namespace zarn {{

namespace {{

constexpr unsigned char kPixels[] = {{
{chr(10).join(lines)}
}};

static_assert(sizeof(kPixels) == std::size_t{{3}} * {WIDTH} * {HEIGHT} * {FRAME_COUNT});
static_assert(kDownloadClipShape.width == {WIDTH} && kDownloadClipShape.height == {HEIGHT} &&
              kDownloadClipShape.frameCount == {FRAME_COUNT} &&
              kDownloadClipShape.frameIntervalUs == {FRAME_INTERVAL_US});
static_assert(kClipTransparent == Rgb{{{TRANSPARENT[0]}, {TRANSPARENT[1]}, {TRANSPARENT[2]}}});

}} // namespace

std::span<const unsigned char> DownloadClipPixels() {{
    return kPixels;
}}

}} // namespace zarn
"""
    write_atomically(output, source.encode("ascii"), "wb")
    if len(sys.argv) == 5:
        write_atomically(sys.argv[4], avi(pixels), "wb")


if __name__ == "__main__":
    main()
