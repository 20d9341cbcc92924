#!/usr/bin/env python3
"""Writes the program's own pictures: the hand cursor HAND-M.CUR, the icon morrowlin.png, and the
icon for the desktop's menus in icons/ (morrowlin-48.png, -128.png, -256.png and morrowlin.svg).

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
    """A pie of four slices with the first pulled out, anti-aliased by 4 x 4 supersampling.
    The margin (4) and the pull (3) are pixels of the 64-pixel icon, scaled to `size`."""
    margin = 4 * size / 64
    pull = 3 * size / 64
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
                    ox, oy = (math.sin(mid) * pull, -math.cos(mid) * pull) if i == 0 else (0, 0)
                    if math.hypot(px - ox, py - oy) <= size / 2 - margin:
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


def icon_svg():
    """The same pie as a scalable picture on a 64-unit canvas."""
    paths = []
    start = 0.0
    radius = 32 - 4
    for i, (share, rgb) in enumerate(SLICES):
        end = start + share * 360
        mid = math.radians((start + end) / 2)
        cx, cy = (32 + math.sin(mid) * 3, 32 - math.cos(mid) * 3) if i == 0 else (32, 32)

        def point(angle):
            a = math.radians(angle)
            return cx + math.sin(a) * radius, cy - math.cos(a) * radius

        (x0, y0), (x1, y1) = point(start), point(end)
        large = 1 if end - start > 180 else 0
        paths.append('  <path fill="#%02x%02x%02x" d="M %.3f %.3f L %.3f %.3f '
                     'A %d %d 0 %d 1 %.3f %.3f Z"/>' % (rgb + (cx, cy, x0, y0, radius, radius,
                                                         large, x1, y1)))
        start = end
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" '
            'viewBox="0 0 64 64">\n' + "\n".join(paths) + "\n</svg>\n")


def main():
    with open(os.path.join(RESOURCES, "HAND-M.CUR"), "wb") as f:
        f.write(cursor_bytes())
    with open(os.path.join(RESOURCES, "morrowlin.png"), "wb") as f:
        f.write(png_bytes(64, 64, icon_pixel))
    icons = os.path.join(RESOURCES, "icons")
    os.makedirs(icons, exist_ok=True)
    for size in (48, 128, 256):
        with open(os.path.join(icons, "morrowlin-%d.png" % size), "wb") as f:
            f.write(png_bytes(size, size, lambda x, y: icon_pixel(x, y, size)))
    with open(os.path.join(icons, "morrowlin.svg"), "w") as f:
        f.write(icon_svg())


if __name__ == "__main__":
    main()
