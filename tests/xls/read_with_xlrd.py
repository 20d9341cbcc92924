#!/usr/bin/python3
"""Prints every non-empty cell of a workbook as read by xlrd: sheet, row, col, type, value,
number format; one tab-separated line each; then every note (comment) as sheet, row, col, "note",
text. Used by the engine's tests."""
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
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
