#!/usr/bin/python3
"""The summary thumbnail of a workbook: the picture of its first chart, stored where spreadsheet
applications store the picture file managers show (the SummaryInformation property set's
PIDSI_THUMBNAIL, a VT_CF clipboard value).

    /usr/bin/python3 tools/template/thumbnail.py [--xlstool build/xlstool] WORKBOOK

draws WORKBOOK's first chart with `xlstool picture --chart` (the program's own painter, 96 DPI)
and stores it in WORKBOOK's summary. The value is what Office for Windows writes: clipboard
format tag -1 (a Windows clipboard format) with CF_METAFILEPICT, a Windows metafile picture
(MM_ANISOTROPIC, its size in hundredths of a millimetre) whose metafile draws one bitmap,
META_STRETCHDIB of a 256-colour DIB compressed with BI_RLE8. A metafile, not CF_DIB: the GNOME
thumbnailer for Office files (gsf-office-thumbnailer) hands the bytes after the picture header
to an image loader, which reads a metafile but not a DIB without its file header. The palette
holds the picture's 256 most frequent colours (every fill and text colour of a chart; the
colours of antialiased edges take the nearest of them), which keeps the template small.
"""

import argparse
import collections
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import cfb  # noqa: E402
from png_pixels import raw_pixels  # noqa: E402
import property_set  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))
SUMMARY = "\x05SummaryInformation"

PIDSI_THUMBNAIL = 0x0011
VT_CF = 0x0047
WINDOWS_CLIPBOARD = 0xFFFFFFFF  # format tag -1: a built-in Windows clipboard format follows
CF_METAFILEPICT = 3
MM_ANISOTROPIC = 8
BI_RLE8 = 1
SRCCOPY = 0x00CC0020
DIB_RGB_COLORS = 0
HALFTONE = 4
META_SETWINDOWORG, META_SETWINDOWEXT = 0x020B, 0x020C
META_SETSTRETCHBLTMODE, META_STRETCHDIB, META_EOF = 0x0107, 0x0F43, 0x0000
DPI = 96
PIXELS_PER_METRE = 3780  # 96 DPI
HIMETRIC_PER_INCH = 2540


class ThumbnailError(Exception):
    pass


# ---------------------------------------------------------------- pixels
def read_picture(png):
    """(width, height, rows of (r, g, b) from the top) of a PNG, through ImageMagick."""
    try:
        width, height, raw = raw_pixels(png)
    except ValueError as e:
        raise ThumbnailError(str(e))
    rows = [[tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)]
    return width, height, rows


def palette_of(rows):
    """The 256 most frequent colours (ties in colour order) and every colour's palette index:
    its own, or the nearest palette colour's."""
    counts = collections.Counter(c for row in rows for c in row)
    palette = [c for c, _ in sorted(counts.items(), key=lambda cn: (-cn[1], cn[0]))[:256]]
    index = {c: i for i, c in enumerate(palette)}
    for c in counts:
        if c not in index:
            index[c] = min(range(len(palette)), key=lambda i: (
                sum((a - b) ** 2 for a, b in zip(c, palette[i])), i))
    return palette, index


def rle8(lines):
    """BI_RLE8 bits of rows of palette indices (given bottom row first): runs of one index as
    (count, index), other stretches of 3 or more as absolute runs padded to a 16-bit boundary,
    0 0 after each row but the last, whose end the end-of-bitmap mark 0 1 is (some readers,
    libwmf among them, take an end of row after the last row for a row too many)."""
    out = bytearray()
    for number, line in enumerate(lines):
        if number:
            out.extend((0, 0))
        x, n = 0, len(line)
        literal = []

        def flush():
            k = 0
            while k < len(literal):
                part = literal[k:k + 255]
                if len(part) >= 3:
                    out.extend((0, len(part)))
                    out.extend(part)
                    if len(part) % 2:
                        out.append(0)
                else:
                    for v in part:
                        out.extend((1, v))
                k += len(part)
            literal.clear()

        while x < n:
            run = 1
            while x + run < n and run < 255 and line[x + run] == line[x]:
                run += 1
            if run >= 3:
                flush()
                out.extend((run, line[x]))
            else:
                literal.extend(line[x:x + run])
            x += run
        flush()
    out.extend((0, 1))
    return bytes(out)


def unrle8(bits, width, height):
    """Rows of palette indices (bottom row first) from BI_RLE8 bits; raises on a malformed
    stream (a row too long, a run past the last row, no end)."""
    lines, line, at = [], [], 0
    while True:
        if at + 2 > len(bits):
            raise ThumbnailError("RLE8 bits end without an end-of-bitmap mark")
        count, value = bits[at], bits[at + 1]
        at += 2
        if count:
            line.extend([value] * count)
        elif value == 0:
            lines.append(line)
            line = []
        elif value == 1:
            break
        elif value == 2:
            raise ThumbnailError("RLE8 delta marks are not written here")
        else:
            line.extend(bits[at:at + value])
            at += value + value % 2
        if len(line) > width or len(lines) > height:
            raise ThumbnailError("RLE8 run past the bitmap (row %d)" % len(lines))
    if line:
        lines.append(line)
    if len(lines) != height or any(len(l) != width for l in lines):
        raise ThumbnailError("RLE8 bits give %d rows, expected %d of %d" % (
            len(lines), height, width))
    if at != len(bits):
        raise ThumbnailError("%d bytes after the end-of-bitmap mark" % (len(bits) - at))
    return lines


# ---------------------------------------------------------------- the stored value
def padded(width):
    """The bitmap's width: the picture's, made a multiple of 4 (libwmf's BI_RLE8 reader runs a
    row on into the next where a row of 8-bit pixels needs padding to 32 bits)."""
    return (width + 3) // 4 * 4


def dib(width, height, rows):
    """A packed DIB: BITMAPINFOHEADER, the palette as RGBQUADs, BI_RLE8 bits (bottom up); each
    row repeats its last pixel out to the padded width (the metafile draws the picture's
    width of it)."""
    palette, index = palette_of(rows)
    extra = padded(width) - width
    bits = rle8([[index[c] for c in row + [row[-1]] * extra] for row in reversed(rows)])
    header = struct.pack("<IiiHHIIiiII", 40, padded(width), height, 1, 8, BI_RLE8, len(bits),
                         PIXELS_PER_METRE, PIXELS_PER_METRE, len(palette), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + bits


def record(function, params):
    if len(params) % 2:
        params += b"\0"
    return struct.pack("<IH", 3 + len(params) // 2, function) + params


def metafile(width, height, packed_dib):
    """A Windows metafile (no placeable header) whose window is the picture's pixels and which
    draws the picture's part of the DIB over it."""
    records = [
        record(META_SETWINDOWORG, struct.pack("<hh", 0, 0)),
        record(META_SETWINDOWEXT, struct.pack("<hh", height, width)),
        record(META_SETSTRETCHBLTMODE, struct.pack("<H", HALFTONE)),
        record(META_STRETCHDIB, struct.pack("<IHhhhhhhhh", SRCCOPY, DIB_RGB_COLORS, height, width,
                                            0, 0, height, width, 0, 0) + packed_dib),
        record(META_EOF, b""),
    ]
    body = b"".join(records)
    largest = max(len(r) for r in records) // 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, 9 + len(body) // 2, 0, largest, 0)
    return header + body


def himetric(pixels):
    return round(pixels * HIMETRIC_PER_INCH / DPI)


def thumbnail_value(width, height, rows):
    """The VT_CF typed value: type, ClipboardData (size, format tag -1, CF_METAFILEPICT, the
    16-bit METAFILEPICT header: mapping mode, extents, a zero handle; the metafile)."""
    data = struct.pack("<IhhhH", CF_METAFILEPICT, MM_ANISOTROPIC, himetric(width),
                       himetric(height), 0) + metafile(width, height, dib(width, height, rows))
    return struct.pack("<HHII", VT_CF, 0, 4 + len(data), WINDOWS_CLIPBOARD) + data


# ---------------------------------------------------------------- reading it back
def read_thumbnail(stream):
    """The thumbnail of a SummaryInformation stream, decoded and checked field by field:
    {"extent": (x, y) in hundredths of a millimetre, "size": (width, height),
    "rows": [[(r, g, b)]] from the top}. Raises ThumbnailError naming what is wrong."""
    value = property_set.read_values(stream).get(PIDSI_THUMBNAIL)
    if value is None:
        raise ThumbnailError("no thumbnail property (PIDSI_THUMBNAIL)")
    vt, _, size, tag = struct.unpack_from("<HHII", value, 0)
    if vt != VT_CF:
        raise ThumbnailError("thumbnail of type 0x%04X, not VT_CF" % vt)
    if tag != WINDOWS_CLIPBOARD:
        raise ThumbnailError("clipboard format tag 0x%08X, not -1" % tag)
    if 8 + size > len(value) or len(value) - (8 + size) >= 4:
        raise ThumbnailError("clipboard data of %d bytes in a value of %d" % (size, len(value)))
    data = value[12:8 + size]
    cf, mm, xext, yext, handle = struct.unpack_from("<IhhhH", data, 0)
    if cf != CF_METAFILEPICT or mm != MM_ANISOTROPIC or handle != 0:
        raise ThumbnailError("clipboard format %d, mapping mode %d (expected %d, %d)" % (
            cf, mm, CF_METAFILEPICT, MM_ANISOTROPIC))
    wmf = data[12:]
    kind, header_words, version, words, objects, largest, _ = struct.unpack_from(
        "<HHHIHIH", wmf, 0)
    if (kind, header_words, version, objects) != (1, 9, 0x0300, 0) or words * 2 != len(wmf):
        raise ThumbnailError("metafile header %s for %d bytes" % (
            (kind, header_words, version, words, objects), len(wmf)))
    at, seen, found, biggest, window = 18, [], None, 0, (0, 0)
    while True:
        rsize, function = struct.unpack_from("<IH", wmf, at)
        if rsize < 3 or at + rsize * 2 > len(wmf):
            raise ThumbnailError("metafile record of %d words at byte %d" % (rsize, at))
        biggest = max(biggest, rsize)
        seen.append(function)
        if function == META_STRETCHDIB:
            found = wmf[at + 6:at + rsize * 2]
        elif function == META_SETWINDOWEXT:
            window = struct.unpack_from("<hh", wmf, at + 6)[::-1]
        at += rsize * 2
        if function == META_EOF:
            break
    if at != len(wmf) or biggest != largest:
        raise ThumbnailError("metafile ends at byte %d of %d, largest record %d words (header "
                             "says %d)" % (at, len(wmf), biggest, largest))
    if found is None or seen.count(META_STRETCHDIB) != 1:
        raise ThumbnailError("metafile records %s hold no one bitmap" % seen)
    rop, usage, sh, sw, ys, xs, dh, dw, yd, xd = struct.unpack_from("<IHhhhhhhhh", found, 0)
    packed = found[22:]
    (hsize, across, height, planes, bitcount, compression, image, _, _, used,
     _) = struct.unpack_from("<IiiHHIIiiII", packed, 0)
    if (hsize, planes, bitcount, compression) != (40, 1, 8, BI_RLE8) or not 0 < used <= 256:
        raise ThumbnailError("bitmap header %s" % ((hsize, planes, bitcount, compression, used),))
    width = sw
    if across != padded(width) or (rop, usage, sh, ys, xs, dh, dw, yd, xd) != (
            SRCCOPY, DIB_RGB_COLORS, height, 0, 0, height, width, 0, 0) or (
            window != (width, height)):
        raise ThumbnailError("a %dx%d bitmap's %dx%d drawn at %dx%d in a %dx%d window" % (
            across, height, sw, sh, dw, dh, window[0], window[1]))
    palette = [struct.unpack_from("<BBB", packed, 40 + 4 * i)[::-1] for i in range(used)]
    bits = packed[40 + 4 * used:]
    if len(bits) - image not in (0, 1):  # one byte of record padding at most
        raise ThumbnailError("%d bytes of bits, header says %d" % (len(bits), image))
    lines = unrle8(bits[:image], across, height)
    if any(i >= used for line in lines for i in line):
        raise ThumbnailError("a pixel names a colour past the palette")
    return {"extent": (xext, yext), "size": (width, height), "dib": packed,
            "rows": [[palette[i] for i in line[:width]] for line in reversed(lines)]}


# ---------------------------------------------------------------- storing it
def chart_picture(path, xlstool, png):
    subprocess.run([xlstool, "picture", path, png, "--chart"], check=True,
                   stdout=subprocess.DEVNULL)


def add_thumbnail(path, xlstool):
    """Draws `path`'s first chart and stores it as `path`'s summary thumbnail; returns the
    picture's size."""
    work = tempfile.mkdtemp(prefix="morrowlin-thumbnail-")
    try:
        png = os.path.join(work, "chart.png")
        chart_picture(path, xlstool, png)
        width, height, rows = read_picture(png)
    finally:
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)
    with open(path, "rb") as f:
        compound = cfb.CompoundFile(f.read())
    compound.set_stream(SUMMARY, property_set.set_values(
        compound.stream(SUMMARY), {PIDSI_THUMBNAIL: thumbnail_value(width, height, rows)}))
    with open(path, "wb") as f:
        f.write(compound.to_bytes())
    return width, height


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--xlstool", default=os.path.join(REPO, "build", "xlstool"))
    parser.add_argument("workbook")
    args = parser.parse_args()
    width, height = add_thumbnail(args.workbook, args.xlstool)
    print("%s: thumbnail of %dx%d pixels" % (args.workbook, width, height))


if __name__ == "__main__":
    main()
