#!/usr/bin/python3
"""Reads a built template back with xlrd and the raw records and prints what it holds."""

import os
import struct
import sys

import xlrd

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import biff_patch  # noqa: E402
import cfb  # noqa: E402
import property_set  # noqa: E402


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
    main(sys.argv[1])
