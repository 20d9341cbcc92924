#!/usr/bin/python3
"""Reads a built template back with xlrd and the raw records and prints what it holds.

    /usr/bin/python3 tools/template/check_template.py TEMPLATE [--xlstool XLSTOOL]

With --xlstool it also checks the summary's thumbnail and exits 1 when it is wrong: present and
well formed to the last field (the clipboard value, the metafile's records, the bitmap's header
and every run of its compressed bits, each pixel a colour of its palette), the size of the chart
picture `xlstool picture --chart` draws of TEMPLATE with its extent in hundredths of a
millimetre at 96 DPI, at least 98 % of its pixels the picture's own (the rest are antialiased
edges in the nearest colour of 256); drawn by the GNOME thumbnailer for Office files
(gsf-office-thumbnailer, through libwmf) at that size and at least 90 % the same; and kept byte
for byte in a workbook `xlstool fill` saves from TEMPLATE.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import xlrd

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import biff_patch  # noqa: E402
import cfb  # noqa: E402
import property_set  # noqa: E402
import thumbnail  # noqa: E402

SAME_PIXELS = 0.98  # of the stored bitmap's pixels, the chart picture's own
SAME_THUMBNAILED = 0.90  # of the GNOME thumbnailer's pixels, the chart picture's own


def same_share(rows, other):
    pairs = [(p, q) for a, b in zip(rows, other) for p, q in zip(a, b)]
    return sum(1 for p, q in pairs if p == q) / float(max(1, len(pairs)))


def check_thumbnail(path, xlstool):
    """The problems of `path`'s summary thumbnail (an empty list when it is right)."""
    problems = []
    work = tempfile.mkdtemp(prefix="morrowlin-check-thumbnail-")
    try:
        with open(path, "rb") as f:
            compound = cfb.CompoundFile(f.read())
        try:
            stored = thumbnail.read_thumbnail(compound.stream(thumbnail.SUMMARY))
        except thumbnail.ThumbnailError as e:
            return ["%s: thumbnail: %s" % (path, e)]
        png = os.path.join(work, "chart.png")
        thumbnail.chart_picture(path, xlstool, png)
        width, height, rows = thumbnail.read_picture(png)
        extent = (thumbnail.himetric(width), thumbnail.himetric(height))
        print("thumbnail: CF_METAFILEPICT %dx%d (%.2f x %.2f cm), a %d-colour BI_RLE8 bitmap of "
              "%d bytes" % (stored["size"][0], stored["size"][1], stored["extent"][0] / 1000.0,
                            stored["extent"][1] / 1000.0, len(set(c for r in stored["rows"]
                                                                  for c in r)),
                            len(stored["dib"])))
        if stored["size"] != (width, height) or stored["extent"] != extent:
            problems.append("thumbnail of %s, extent %s; the chart picture is %s, extent %s" % (
                stored["size"], stored["extent"], (width, height), extent))
            return problems
        share = same_share(rows, stored["rows"])
        print("thumbnail: %.2f %% of its pixels the chart picture's" % (100 * share))
        if share < SAME_PIXELS:
            problems.append("thumbnail: only %.2f %% of its pixels the chart picture's" % (
                100 * share))
        # What a file manager shows: GNOME's thumbnailer for Office files.
        shown = os.path.join(work, "shown.png")
        if shutil.which("gsf-office-thumbnailer") is None:
            problems.append("gsf-office-thumbnailer is missing (libgsf-bin, libwmf0.2-7-gtk)")
        else:
            subprocess.run(["gsf-office-thumbnailer", "-i", path, "-o", shown, "-s", "256"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if not os.path.exists(shown):
                problems.append("gsf-office-thumbnailer drew no thumbnail of %s" % path)
            else:
                w, h, drawn = thumbnail.read_picture(shown)
                share = same_share(rows, drawn)
                print("gsf-office-thumbnailer: %dx%d, %.2f %% of its pixels the chart picture's"
                      % (w, h, 100 * share))
                if (w, h) != (width, height) or share < SAME_THUMBNAILED:
                    problems.append("gsf-office-thumbnailer drew %dx%d, %.2f %% the chart "
                                    "picture's" % (w, h, 100 * share))
        # A workbook saved from the template keeps the summary as it was read.
        filled = os.path.join(work, "filled.xls")
        subprocess.run([xlstool, "fill", path, filled, "A4=Boat", "B4=1234"], check=True,
                       stdout=subprocess.DEVNULL)
        with open(filled, "rb") as f:
            saved = cfb.CompoundFile(f.read()).stream(thumbnail.SUMMARY)
        mine = property_set.read_values(compound.stream(thumbnail.SUMMARY))
        if property_set.read_values(saved).get(thumbnail.PIDSI_THUMBNAIL) != mine[
                thumbnail.PIDSI_THUMBNAIL]:
            problems.append("a workbook saved from %s lost or changed its thumbnail" % path)
        else:
            print("thumbnail: kept byte for byte in a filled workbook")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return problems


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    print("sheets:", book.sheet_names(), "used rows/cols:", sheet.nrows, sheet.ncols)
    print("gridlines shown:", bool(sheet.show_grid_lines))
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            xf = book.xf_list[cell.xf_index]
            font = book.font_list[xf.font_index]
            fmt = book.format_map[xf.format_key].format_str
            print("  %s%d %-12r font=%s/%d/%d fill=%s format=%s" % (
                "AB"[c], r + 1, cell.value, font.name, font.height // 20, font.weight,
                book.colour_map.get(xf.background.pattern_colour_index), fmt))
    print("column widths:", {c: i.width / 256 for c, i in sheet.colinfo_map.items() if c < 2})
    print("default row height (twips):", sheet.default_row_height)
    print("fonts:", sorted({f.name for i, f in enumerate(book.font_list) if i != 4}))
    print("names:", [n.name for n in book.name_obj_list])
    with open(path, "rb") as f:
        compound = cfb.CompoundFile(f.read())
    records = biff_patch.read_records(compound.stream("Workbook"))
    summary = property_set.read_texts(compound.stream("\x05SummaryInformation"))
    print("summary title %r, application %r" % (
        summary.get(property_set.PIDSI_TITLE), summary.get(property_set.PIDSI_APPNAME)))
    print("TEMPLATE record after BOF:", records[1].type == biff_patch.TEMPLATE)
    for r in records:
        if r.type == 0x103A:
            rot, elev = struct.unpack_from("<hh", r.data, 0)
            print("3-D view: rotation %d, elevation %d" % (rot, elev))
        elif r.type == 0x100B:
            print("slice explosion: %d%%" % struct.unpack_from("<H", r.data, 0))
        elif r.type == biff_patch.PIE:
            start, donut, flags = struct.unpack_from("<HHH", r.data, 0)
            print("pie: first slice %d, shadow %s, leader lines %s" % (
                start, bool(flags & 1), bool(flags & 2)))
        elif r.type == biff_patch.FEAT11:
            rows = struct.unpack_from("<HHHH", r.data, 27)
            name_at = 27 + 8 + 64
            (count,) = struct.unpack_from("<H", r.data, name_at)
            name = r.data[name_at + 3 : name_at + 3 + count].decode("latin-1")
            print("table %s: rows %d-%d, columns %d-%d" % (
                name, rows[0] + 1, rows[1] + 1, rows[2], rows[3]))
        elif r.type == biff_patch.LIST12 and struct.unpack_from("<H", r.data, 12)[0] == 1:
            (count,) = struct.unpack_from("<H", r.data, 20)
            print("table style:", r.data[23 : 23 + count].decode("latin-1"))
        elif r.type == biff_patch.DEFAULTTEXT:
            print("chart default text (id %d)" % struct.unpack_from("<H", r.data, 0))


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("template")
    parser.add_argument("--xlstool", help="also check the thumbnail against this tool's chart")
    args = parser.parse_args()
    main(args.template)
    if args.xlstool:
        found = check_thumbnail(args.template, args.xlstool)
        for problem in found:
            print("FAILED: " + problem)
        sys.exit(1 if found else 0)
