#!/usr/bin/python3
"""Reads a workbook with xlrd (a reader independent of ours) and prints what the tests check.

Usage: /usr/bin/python3 read_workbook.py FILE
    As JSON: sheet names, the active sheet, its cells with their number formats, and the cell
    references of every chart series (from the AI records of the chart substreams).
Usage: /usr/bin/python3 read_workbook.py --cells FILE
    Every non-empty cell of every sheet: sheet, row, col, type, value, number format; one
    tab-separated line each; then every note (comment) as sheet, row, col, "note", text.
"""
import json
import struct
import sys

import xlrd
from xlrd import compdoc


def chart_references(path):
    with open(path, "rb") as f:
        data = f.read()
    doc = compdoc.CompDoc(data, logfile=open("/dev/null", "w"))
    stream = doc.get_named_stream("Workbook")
    refs = []
    pos = 0
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        body = stream[pos + 4:pos + 4 + length]
        pos += 4 + length
        if rtype != 0x1051 or len(body) < 8:  # AI: a series' link to its data
            continue
        link_id, ref_type = body[0], body[1]
        cce = struct.unpack_from("<H", body, 6)[0]
        tokens = body[8:8 + cce]
        if ref_type != 2 or not tokens:  # 2: a worksheet reference
            continue
        ptg = tokens[0]
        if ptg in (0x3B, 0x5B, 0x7B) and len(tokens) >= 11:  # area, 3-D
            _, r1, r2, c1, c2 = struct.unpack_from("<HHHHH", tokens, 1)
        elif ptg in (0x25, 0x45, 0x65) and len(tokens) >= 9:  # area
            r1, r2, c1, c2 = struct.unpack_from("<HHHH", tokens, 1)
        elif ptg in (0x3A, 0x5A, 0x7A) and len(tokens) >= 7:  # cell, 3-D
            _, r1, c1 = struct.unpack_from("<HHH", tokens, 1)
            r2, c2 = r1, c1
        else:
            continue
        refs.append({"id": link_id, "rows": [r1, r2], "cols": [c1 & 0xFF, c2 & 0xFF]})
    return refs


def print_cells(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    for si, sheet in enumerate(book.sheets()):
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
                kind = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number",
                        xlrd.XL_CELL_BLANK: "blank", xlrd.XL_CELL_BOOLEAN: "bool",
                        xlrd.XL_CELL_ERROR: "error", xlrd.XL_CELL_DATE: "date"}[cell.ctype]
                value = cell.value
                if kind == "number" and float(value).is_integer():
                    value = int(value)
                sys.stdout.write("%d\t%d\t%d\t%s\t%s\t%s\n" % (si, r, c, kind, value, fmt))
    for si, sheet in enumerate(book.sheets()):
        for (r, c), note in sorted(sheet.cell_note_map.items()):
            sys.stdout.write("%d\t%d\t%d\tnote\t%s\n" % (si, r, c, note.text))


def main():
    if sys.argv[1] == "--cells":
        print_cells(sys.argv[2])
        return
    path = sys.argv[1]
    book = xlrd.open_workbook(path, formatting_info=True, on_demand=False)
    active = 0
    for i in range(book.nsheets):
        if book.sheet_by_index(i).sheet_visible and book.sheet_by_index(i).sheet_selected:
            active = i
    sheet = book.sheet_by_index(active)
    kinds = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_TEXT: "string",
             xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_DATE: "number",
             xlrd.XL_CELL_BOOLEAN: "boolean", xlrd.XL_CELL_ERROR: "error",
             xlrd.XL_CELL_BLANK: "blank"}
    cells = []
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            xf = book.xf_list[cell.xf_index]
            fmt = book.format_map[xf.format_key].format_str
            cells.append({"row": r, "col": c, "kind": kinds.get(cell.ctype, "?"),
                          "value": cell.value, "format": fmt})
    json.dump({"sheets": book.sheet_names(), "active": active, "nrows": sheet.nrows,
               "cells": cells, "chartRefs": chart_references(path)}, sys.stdout)


if __name__ == "__main__":
    main()
