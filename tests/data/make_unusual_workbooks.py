#!/usr/bin/python3
"""Writes the test workbooks that stand for files written by other programs: LibreOffice (headless,
UNO) writes each base workbook, then a small rewrite of its records or of its compound file makes
the case no spreadsheet program here writes.

    notes-nodbcell.xls   a note whose text needs CONTINUE records, in a sheet without DBCELL/INDEX
    formula-0406.xls     formulas stored under the older FORMULA record number 0x0406
    array.xls            an array formula over B4:C6
    table.xls            the same range as a data table (TABLE record, tTbl formulas)
    book-and-workbook.xls  a "Workbook" stream beside an older, stale "Book" (BIFF5) stream
    long-chain.xls       the Workbook stream's sector chain runs three sectors past its size, then
                         names a sector past the end of the file
    short-format.xls     a FORMAT record whose string holds one character fewer than it says
    odd-strings.xls      the SST's count of strings says 0 (the strings follow all the same), and
                         F1 is a LABEL with an empty string written without its option byte
    split-strings.xls    the SST split into records by hand: a string continues after a lone
                         padding byte and an empty CONTINUE record
    biff2.xls, biff3.xls, biff4.xls  bare Excel 2.x / 3.0 / 4.0 worksheets (no compound file)

Run with /usr/bin/python3 (it needs python3-uno, python3-xlrd and Gnumeric's ssconvert):
    /usr/bin/python3 make_unusual_workbooks.py [out_dir]
"""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, os.pardir, "tools", "libreoffice"))
sys.path.insert(0, HERE)

import uno  # noqa: E402,F401  (makes the com.sun.star modules importable)
from com.sun.star.table import CellAddress  # noqa: E402

import compound_file as cf  # noqa: E402
import lo_session  # noqa: E402
from lo_session import number_format  # noqa: E402

OUT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else HERE)
TMP = tempfile.mkdtemp(prefix="unusual-")

BOF, EOF, FORMULA, ARRAY, TABLE, DBCELL, INDEX, FORMAT = (0x0809, 0x000A, 0x0006, 0x0221,
                                                           0x0236, 0x00D7, 0x020B, 0x041E)
NOTE_TEXT = ("This note is long enough that its text is stored in CONTINUE records after the "
             "TXO record; every one of these words must survive a save. " * 3).strip()


def saved(doc, name, filt="MS Excel 97"):
    path = os.path.join(TMP, name)
    lo_session.store(doc, path, filt)
    return path


def rewrite(src, dst, change_records=None, extra=None, add_streams=(), dangling_tail=False):
    streams = cf.read_streams(src)
    if change_records:
        streams = [(n, cf.join_records(change_records(cf.records(d))) if n == "Workbook" else d)
                   for n, d in streams]
    streams += list(add_streams)
    cf.write_streams(os.path.join(OUT, dst), streams, extra, dangling_tail)


def sheet_records(recs, fn):
    """Applies fn(type, data) -> [(type, data)] to the records of every sheet substream."""
    out, depth, sheet = [], 0, -1
    for rtype, data in recs:
        if rtype == BOF:
            depth += 1
            if depth == 1:
                sheet += 1
        in_sheet = sheet >= 1 and depth == 1 and rtype not in (BOF, EOF)
        out += fn(rtype, data) if in_sheet else [(rtype, data)]
        if rtype == EOF:
            depth -= 1
    return [list(r) for r in out]


def make_notes(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Notes"
    for r in range(40):
        sheet.getCellByPosition(0, r).Value = r + 1
        sheet.getCellByPosition(1, r).String = "row %d" % (r + 1)
    sheet.Annotations.insertNew(CellAddress(0, 1, 2), NOTE_TEXT)  # on B3
    src = saved(doc, "notes.xls")
    doc.close(True)
    rewrite(src, "notes-nodbcell.xls",
            lambda recs: sheet_records(recs, lambda t, d: [] if t in (DBCELL, INDEX) else [(t, d)]))


def make_formula_0406(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Old formulas"
    c = sheet.getCellByPosition
    for r in range(3):
        c(0, r).Value = (r + 1) * 10
    c(1, 0).Formula = "=A1*2"
    c(1, 1).Formula = "=SUM(A1:A3)"
    c(1, 2).Formula = '="total "&A3'
    src = saved(doc, "formulas-new.xls")
    doc.close(True)
    rewrite(src, "formula-0406.xls",
            lambda recs: sheet_records(recs, lambda t, d: [(0x0406 if t == FORMULA else t, d)]))


def make_arrays(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Arrays"
    c = sheet.getCellByPosition
    for r in range(3):
        c(0, r).Value = r + 1
        c(1, r).Value = (r + 1) * 100
    sheet.getCellRangeByName("B4:C6").setArrayFormula("A1:B3*10")
    c(0, 7).String = "below"
    src = saved(doc, "array-src.xls")
    doc.close(True)
    rewrite(src, "array.xls")

    def to_table(t, d):
        if t == ARRAY:  # RefU, then flags and the two input cells (B1 as row input)
            return [(TABLE, d[:6] + struct.pack("<HHHHH", 0, 0, 1, 0, 0) + b"\x00\x00")]
        if t == FORMULA and len(d) >= 25 and d[22] == 0x01:  # tExp -> tTbl
            return [(t, d[:22] + b"\x02" + d[23:])]
        return [(t, d)]

    rewrite(src, "table.xls", lambda recs: sheet_records(recs, to_table))


def make_book_and_workbook(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Values"
    sheet.getCellByPosition(0, 0).String = "current"
    sheet.getCellByPosition(1, 0).Value = 100
    new = saved(doc, "new.xls")
    doc.close(True)
    rewrite(new, "book-and-workbook.xls", add_streams=[("Book", stale_biff5_book())])


def stale_biff5_book():
    """An Excel 5.0/95 copy of the same sheet with older values: A1 "stale", B1 1. Neither
    LibreOffice nor Gnumeric's converter here writes BIFF5, so it is written record by record."""
    def rec(t, d):
        return struct.pack("<HH", t, len(d)) + d

    name = b"Values"
    sheet = (rec(BOF, struct.pack("<HHHH", 0x0500, 0x0010, 0, 0)) +
             rec(0x0200, struct.pack("<HHHHH", 0, 1, 0, 2, 0)) +
             rec(0x0204, struct.pack("<HHHH", 0, 0, 15, 5) + b"stale") +
             rec(0x0203, struct.pack("<HHHd", 0, 1, 15, 1.0)) + rec(EOF, b""))
    xfs = b"".join(rec(0x00E0, struct.pack("<HHHHII", 0, 0, 0xFFF5 if i < 15 else 1, 0, 0, 0))
                   for i in range(16))
    font = rec(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) +
               bytes([5]) + b"Arial")
    head = rec(BOF, struct.pack("<HHHH", 0x0500, 0x0005, 0, 0)) + font * 5 + xfs
    boundsheet_size = 4 + 4 + 2 + 1 + len(name)
    sheet_at = len(head) + boundsheet_size + 4
    return (head + rec(0x0085, struct.pack("<IH", sheet_at, 0) + bytes([len(name)]) + name) +
            rec(EOF, b"") + sheet)


def make_long_chain(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Chain"
    for r in range(200):
        sheet.getCellByPosition(0, r).Value = r * 1.5
        sheet.getCellByPosition(1, r).String = "text %d" % r
    src = saved(doc, "chain.xls")
    doc.close(True)
    rewrite(src, "long-chain.xls", extra={"Workbook": 3}, dangling_tail=True)


def make_short_format(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Formats"
    cell = sheet.getCellByPosition(0, 0)
    cell.Value = 3.14159
    cell.NumberFormat = number_format(doc, "0.000")
    sheet.getCellByPosition(0, 1).String = "plain"
    src = saved(doc, "format.xls")
    doc.close(True)

    def cut(recs):
        for rec in recs:
            if rec[0] == FORMAT and struct.unpack_from("<H", rec[1])[0] >= 164 and \
                    rec[1][2:] == b"\x05\x00\x000.000":
                rec[1] = rec[1][:-1]  # the length still says five characters
        return recs

    rewrite(src, "short-format.xls", cut)


def make_odd_strings(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Strings"
    for r in range(5):
        sheet.getCellByPosition(0, r).Value = r + 1
        sheet.getCellByPosition(1, r).String = "row %d" % (r + 1)
    src = saved(doc, "strings-src.xls")
    doc.close(True)

    def change(recs):
        out, done = [], False
        for rtype, data in recs:
            if rtype == 0x00FC:  # SST: total and unique counts say nothing is there
                data = struct.pack("<II", 0, 0) + data[8:]
            if rtype == 0x00FD and not done:  # before the first string cell (B1): F1
                out.append([0x0204, struct.pack("<HHHH", 0, 5, 15, 0)])
                done = True
            out.append([rtype, data])
        return out

    rewrite(src, "odd-strings.xls", change)


GREEK = "Καλημέρα κόσμε"


def sst_strings(recs):
    """The plain strings of the SST (and its CONTINUE records) of a LibreOffice workbook."""
    at = next(i for i, r in enumerate(recs) if r[0] == 0x00FC)
    chunks = [recs[at][1]]
    for rtype, data in recs[at + 1:]:
        if rtype != 0x003C:
            break
        chunks.append(data)
    count = struct.unpack_from("<I", chunks[0], 4)[0]
    k, pos, out = 0, 8, []
    for _ in range(count):
        if pos >= len(chunks[k]):
            k, pos = k + 1, 0
        cch, flags = struct.unpack_from("<HB", chunks[k], pos)
        assert flags in (0, 1), "rich text or phonetic strings are not expected here"
        pos += 3
        text = ""
        while len(text) < cch:
            if pos >= len(chunks[k]):
                k, pos = k + 1, 1
                flags = chunks[k][0]
            width = 2 if flags & 1 else 1
            n = min(cch - len(text), (len(chunks[k]) - pos) // width)
            raw = chunks[k][pos:pos + n * width]
            text += raw.decode("utf-16-le" if width == 2 else "latin-1")
            pos += n * width
        out.append(text)
    return out


def sst_records(strings, refs, split_in):
    """SST and CONTINUE records for `strings`, split at the 8,224-byte limit, and once inside
    string number `split_in` (a wide one) with a lone padding byte and an empty CONTINUE."""
    recs, cur = [], bytearray(struct.pack("<II", refs, len(strings)))
    limit = 8224

    def flush(tail=b""):
        recs.append(bytes(cur) + tail)
        cur.clear()

    for i, text in enumerate(strings):
        wide = any(ord(ch) > 0xFF for ch in text)
        if len(cur) + 3 + (2 if wide else 1) > limit:
            flush()
        cur += struct.pack("<HB", len(text), 1 if wide else 0)
        for n, ch in enumerate(text):
            unit = ch.encode("utf-16-le") if wide else ch.encode("latin-1")
            forced = i == split_in and n == len(text) // 2
            if forced or len(cur) + len(unit) > limit:
                flush(b"\x00" if forced else b"")
                if forced:
                    flush()  # the empty CONTINUE
                cur.append(1 if wide else 0)
            cur += unit
    flush()
    return [[0x00FC, recs[0]]] + [[0x003C, r] for r in recs[1:]]


def make_split_strings(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Split"
    for r in range(700):
        sheet.getCellByPosition(0, r).String = "%s %d" % (GREEK, r) if r % 2 else "row %d" % r
    src = saved(doc, "split-src.xls")
    doc.close(True)

    def change(recs):
        strings = sst_strings(recs)
        refs = struct.unpack_from("<I", next(d for t, d in recs if t == 0x00FC))[0]
        split_in = next(i for i, s in enumerate(strings) if GREEK in s and i > 10)
        out, skip = [], False
        for rtype, data in recs:
            if rtype == 0x00FC:
                out += sst_records(strings, refs, split_in)
                skip = True
                continue
            if skip and rtype == 0x003C:
                continue
            skip = False
            if rtype != 0x00FF:  # EXTSST: its offsets no longer hold; readers do without
                out.append([rtype, data])
        return out

    rewrite(src, "split-strings.xls", change)


def bare_biff(name, bof_type, bof_data, dims_type, dims, number):
    def rec(t, d):
        return struct.pack("<HH", t, len(d)) + d

    data = rec(bof_type, bof_data) + rec(dims_type, dims) + number + rec(EOF, b"")
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def make_old_formats():
    dims = struct.pack("<HHHH", 0, 1, 0, 1)
    value = struct.pack("<d", 42.0)
    biff2_number = struct.pack("<HH", 0x0003, 15) + struct.pack("<HH", 0, 0) + b"\0\0\0" + value
    biff34_number = struct.pack("<HH", 0x0203, 14) + struct.pack("<HHH", 0, 0, 0) + value
    bare_biff("biff2.xls", 0x0009, struct.pack("<HH", 0x0002, 0x0010), 0x0000, dims, biff2_number)
    bare_biff("biff3.xls", 0x0209, struct.pack("<HHH", 0x0000, 0x0010, 0), 0x0200,
              dims + b"\0\0", biff34_number)
    bare_biff("biff4.xls", 0x0409, struct.pack("<HHH", 0x0000, 0x0010, 0), 0x0200,
              dims + b"\0\0", biff34_number)


def main():
    make_old_formats()
    with lo_session.Office("unusual") as office:
        make_notes(office)
        make_formula_0406(office)
        make_arrays(office)
        make_book_and_workbook(office)
        make_long_chain(office)
        make_short_format(office)
        make_odd_strings(office)
        make_split_strings(office)


if __name__ == "__main__":
    main()
