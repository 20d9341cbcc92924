#!/usr/bin/env python3
"""Writes the program's own pictures: the hand cursor HAND-M.CUR and the icon morrowlin.png.

Run from anywhere: python3 tools/resources/make_resources.py. Uses the standard library only, so
the files can be made again on any machine; the output is the same byte for byte on every run.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.normpath(os.path.join(HERE, "..", "..", "resources"))

# A pointing hand, 32 x 32. "#" outline (black), "." fill (white), " " transparent.
# The index finger's tip is at column 6, row 0: the hot spot.
HAND = [
    "     ##                         ",
    "    #..#                        ",
    "    #..#                        ",
    "    #..#                        ",
    "    #..#                        ",
    "    #..###                      ",
    "    #..#..###                   ",
    "    #..#..#..##                 ",
    "    #..#..#..#.#                ",
    " ## #..#..#..#..#               ",
    "#..##........#..#               ",
    "#...#...........#               ",
    " #..#...........#               ",
    "  #.............#               ",
    "  #.............#               ",
    "   #............#               ",
    "   #...........#                ",
    "    #..........#                ",
    "    #.........#                 ",
    "     #........#                 ",
    "     #........#                 ",
    "     ##########                 ",
]
HOT_SPOT = (5, 0)
SIZE = 32


def cursor_bytes():
    """A Windows .cur file with one 32 x 32 image: 32-bit colour plus the AND mask."""
    rows = HAND + [" " * SIZE] * (SIZE - len(HAND))
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom-up
        bits = 0
        for x in range(SIZE):
            ch = row[x] if x < len(row) else " "
            if ch == "#":
                xor += bytes((0, 0, 0, 255))
            elif ch == ".":
                xor += bytes((255, 255, 255, 255))
            else:
                xor += bytes((0, 0, 0, 0))
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOT_SPOT[0], HOT_SPOT[1], len(image),
                        6 + 16)
    return directory + entry + image


def png_bytes(width, height, pixel):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


SLICES = [  # share of the pie, colour
    (0.55, (0x4F, 0x81, 0xBD)),
    (0.20, (0xC0, 0x50, 0x4D)),
    (0.15, (0x9B, 0xBB, 0x59)),
    (0.10, (0xF7, 0x96, 0x46)),
]


def icon_pixel(x, y, size=64):
    """A pie of four slices with the first pulled out, anti-aliased by 4 x 4 supersampling."""
    acc = [0, 0, 0, 0]
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4 - size / 2
            py = y + (sy + 0.5) / 4 - size / 2
            colour = None
            angle = (math.degrees(math.atan2(px, -py)) + 360) % 360
            start = 0.0
            for i, (share, rgb) in enumerate(SLICES):
                end = start + share * 360
                if start <= angle < end:
                    mid = math.radians((start + end) / 2)
                    ox, oy = (math.sin(mid) * 3, -math.cos(mid) * 3) if i == 0 else (0, 0)
                    if math.hypot(px - ox, py - oy) <= size / 2 - 4:
                        colour = rgb
                    break
                start = end
            if colour:
                acc[0] += colour[0]
                acc[1] += colour[1]
                acc[2] += colour[2]
                acc[3] += 255
    n = 16
    alpha = acc[3] // n
    if alpha == 0:
        return (0, 0, 0, 0)
    k = acc[3] / 255
    return (int(acc[0] / k), int(acc[1] / k), int(acc[2] / k), alpha)


def main():
    with open(os.path.join(RESOURCES, "HAND-M.CUR"), "wb") as f:
        f.write(cursor_bytes())
    with open(os.path.join(RESOURCES, "morrowlin.png"), "wb") as f:
        f.write(png_bytes(64, 64, icon_pixel))


if __name__ == "__main__":
    main()
