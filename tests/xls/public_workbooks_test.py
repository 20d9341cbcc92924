#!/usr/bin/python3
"""Fills real-world workbooks with xlstool and requires that nothing but the filled cells changed.

    public_workbooks_test.py --xlstool PATH [--plain-xlstool PATH] [--jobs N] [--report FILE]
                             FILE_OR_FOLDER...

For each workbook, `xlstool fill` writes four cells of the active sheet: the first cell of its
used range, one in the middle of it, and two cells directly below its last row (where a table or
a chart over the column grows); once with two new texts among them (the shared strings are
written anew) and once with numbers only (they are written back as they were read). Each saved
workbook must then show:
  - the filled cells holding the new values, read with python3-xlrd and with `xlstool dump`;
  - every other cell of every sheet reading as before, with xlrd and with `xlstool dump`;
  - every stream and storage of the compound file, by its full path, byte for byte as before,
    but the Workbook stream (an Excel 5.0/95 "Book" stream kept beside "Workbook" is dropped on
    purpose: it would show stale values);
  - every record of the Workbook stream that the engine does not own (OWNED below) kept, in
    its substream, in order, byte for byte; of those it owns, the SST and EXTSST consistent
    with the cells, and each sheet's DIMENSIONS covering its cells.
A file the engine refuses must be refused with one line naming the file.

--plain-xlstool: a second build of the engine; both fill the same file with the same cells and
the two saved files must be byte-identical (their refusals identical).

A folder holding a file SOURCES (tab-separated: file name, then the expected outcome "kept" or
"refused: TEXT", then anything) is the suite's selection: every workbook in the folder must be
listed there and end as listed. Without it each file is classed and only defects fail.
Run with /usr/bin/python3 (it needs python3-xlrd).
"""
import argparse
import concurrent.futures
import difflib
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

TIMEOUT = 60
EXTENSIONS = (".xls", ".xlt")

# ---- the records the engine owns -------------------------------------------------------------
# Everything else in the Workbook stream must come back byte for byte, in order, within its
# substream (the workbook globals, or the part of one sheet).

BOF, EOF, CONTINUE = 0x0809, 0x000A, 0x003C
# In a worksheet's own substream (not in a chart or other substream embedded in it): the cell
# table, which the engine takes out on reading and writes anew on saving, ...
CELLS = {0x0201, 0x00BE, 0x0203, 0x027E, 0x00BD, 0x0204, 0x00FD, 0x00D6, 0x0205, 0x0006,
         0x0406}  # BLANK MULBLANK NUMBER RK MULRK LABEL LABELSST RSTRING BOOLERR FORMULA(x2)
FORMULA_PARTS = {0x0207, 0x04BC, 0x0221, 0x0236}  # STRING SHRFMLA ARRAY TABLE
ROW, DBCELL, INDEX, DIMENSIONS = 0x0208, 0x00D7, 0x020B, 0x0200
SHEET_OWNED = {ROW, DBCELL, INDEX, DIMENSIONS} | CELLS | FORMULA_PARTS
# (a CONTINUE after a cell or formula part is the cell's: a long LABEL or STRING)
# ... and in the globals: the shared strings, which it writes anew, and the BOUNDSHEETs, whose
# first field (where the sheet's substream starts) moves with the cells. A TEMPLATE record is
# left out when a template is saved as a workbook (.xls).
SST, EXTSST, BOUNDSHEET, TEMPLATE = 0x00FC, 0x00FF, 0x0085, 0x0060
# Records the engine adds: number formats and cell formats a fill needs (globals), and the
# formats and labels of a chart's new points (in the chart substream of a sheet).
ADDED_IN_GLOBALS = {0x041E, 0x00E0}  # FORMAT XF
# Records whose fields the engine rewrites in place when the fill continues a range: a
# table's range (FEAT11), a chart series' reference (BRAI) and point counts (SERIES), and in a
# chart substream the series data's point count (DIMENSIONS rwMac).
FEAT11, AI, SERIES = 0x0872, 0x1051, 0x1003
# The byte ranges of their data that may change (a BRAI's row lies in its formula: see below).
REWRITTEN = {FEAT11: ((6, 8), (29, 31)), SERIES: ((4, 6), (6, 8)), AI: (), DIMENSIONS: ((4, 8),)}


def parse_records(stream):
    """[(type, data)] of a Workbook stream, up to its end or the zero padding after the last."""
    out, pos, n = [], 0, len(stream)
    while pos + 4 <= n:
        rtype, size = struct.unpack_from("<HH", stream, pos)
        if rtype == 0 and size == 0 and not any(stream[pos:]):
            break
        if pos + 4 + size > n:
            raise ValueError("a record runs past the end of the Workbook stream")
        out.append((rtype, bytes(stream[pos + 4:pos + 4 + size])))
        pos += 4 + size
    return out


def split_parts(recs):
    """The substreams at depth 0 (globals first), each a list of records; a part runs up to the
    next BOF outside any substream."""
    parts, depth = [], 0
    for rtype, data in recs:
        if depth == 0 and rtype == BOF and parts and parts[-1]:
            parts.append([])
        if not parts:
            parts.append([])
        parts[-1].append((rtype, data))
        if rtype == BOF:
            depth += 1
        elif rtype == EOF and depth > 0:
            depth -= 1
    return parts


def is_worksheet(part):
    t, d = part[0]
    return t == BOF and len(d) >= 4 and struct.unpack_from("<HH", d) == (0x0600, 0x0010)


def kept_records(part, kind, as_workbook):
    """The records of one part the engine does not own, as (type, data, depth, whether in a
    chart substream); and those it owns, as (type, data)."""
    kept, owned = [], []
    depth, in_cell = 0, False
    charts = []  # per open substream: whether it is a chart's
    for rtype, data in part:
        own = False
        if kind == "globals":
            if rtype in (SST, EXTSST) or (rtype == CONTINUE and in_cell) or \
                    (rtype == TEMPLATE and as_workbook):
                own = True
            in_cell = rtype in (SST, CONTINUE) and own
            if rtype == BOUNDSHEET:
                data = b"\0\0\0\0" + data[4:]
        elif kind == "worksheet" and depth == 1 and rtype not in (BOF, EOF):
            if rtype in SHEET_OWNED or (rtype == CONTINUE and in_cell):
                own = True
            if rtype in CELLS:
                in_cell = True
            elif rtype not in FORMULA_PARTS and rtype not in (CONTINUE, INDEX):
                in_cell = False
        if rtype == BOF:
            depth += 1
            charts.append(len(data) >= 4 and data[2:4] == b"\x20\x00")
        if own:
            owned.append((rtype, data))
        else:
            kept.append((rtype, data, depth, any(charts)))
        if rtype == EOF and depth > 0:
            depth -= 1
            charts.pop()
    return kept, owned


def differing_bytes(a, b):
    return [i for i in range(len(a)) if a[i] != b[i]]


def rewritten_in_place(before, after):
    """Whether `after` is `before` with only the fields the engine rewrites changed."""
    (t1, d1), (t2, d2) = before[:2], after[:2]
    if t1 != t2 or len(d1) != len(d2) or t1 not in REWRITTEN:
        return False
    diff = differing_bytes(d1, d2)
    if t1 == DIMENSIONS and not before[3]:  # a worksheet's own DIMENSIONS is not kept
        return False
    if t1 == AI:  # the reference's last row: in the formula after the 8-byte head
        return len(d1) >= 8 and all(i >= 8 for i in diff) and len(diff) <= 2
    return all(any(lo <= i < hi for lo, hi in REWRITTEN[t1]) for i in diff)


def compare_part(kind, before, after):
    """What of the records kept in `before` is lost or changed in `after` (a list of lines)."""
    if [r[:2] for r in before] == [r[:2] for r in after]:
        return []
    a = [r[:2] for r in before]
    b = [r[:2] for r in after]
    faults = []
    grown_chart = False
    inserted = []
    for op, i1, i2, j1, j2 in difflib.SequenceMatcher(None, a, b, autojunk=False).get_opcodes():
        if op == "equal":
            continue
        # Within a block: each record before is matched to the next record after of its type;
        # those passed over were added.
        j = j1
        for i in range(i1, i2):
            k = j
            while k < j2 and after[k][0] != before[i][0]:
                k += 1
            if k == j2:
                faults.append("record %d (0x%04X, %d bytes) lost" % (i, before[i][0],
                                                                     len(before[i][1])))
                continue
            inserted += after[j:k]
            if before[i][:2] != after[k][:2]:
                if rewritten_in_place(before[i], after[k]):
                    grown_chart |= before[i][0] == SERIES
                else:
                    faults.append("record %d (0x%04X) changed at bytes %s" % (
                        i, before[i][0], differing_bytes(before[i][1], after[k][1])[:8]
                        if len(before[i][1]) == len(after[k][1]) else
                        "(%d bytes, now %d)" % (len(before[i][1]), len(after[k][1]))))
            j = k + 1
        inserted += after[j:j2]
    if inserted:
        if kind == "globals":
            bad = [r for r in inserted if r[0] not in ADDED_IN_GLOBALS]
        else:
            # New points' formats and labels: copies of records the chart has, in a chart.
            types = {r[0] for r in before if r[3]}
            bad = [r for r in inserted if not grown_chart or not r[3] or r[0] not in types]
        faults += ["record 0x%04X (%d bytes) added" % (r[0], len(r[1])) for r in bad[:3]]
    return faults


# ---- the compound file -----------------------------------------------------------------------

MAGIC = bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1])
ENDCHAIN = 0xFFFFFFFE


def read_compound(data):
    """{full path: bytes, or None for a storage} of every entry below the root."""
    if data[:8] != MAGIC or len(data) < 512:
        raise ValueError("not a compound file")
    shift, mini_shift = struct.unpack_from("<HH", data, 30)
    nfat, dir_start, _, cutoff, minifat_start, nminifat, difat_start, ndifat = \
        struct.unpack_from("<IIIIIIII", data, 44)
    if shift not in (9, 12) or mini_shift != 6:
        raise ValueError("unusual sector sizes")
    ssz = 1 << shift
    nsect = (len(data) - ssz + ssz - 1) // ssz
    per = ssz // 4

    def sector(i):
        if i >= nsect:
            raise ValueError("sector %d past the end of the file" % i)
        return data[(i + 1) * ssz:(i + 2) * ssz].ljust(ssz, b"\0")

    difat = list(struct.unpack_from("<109I", data, 76))
    s, seen = difat_start, set()
    while s < 0xFFFFFFFA and len(seen) < ndifat + 1 and s not in seen:
        seen.add(s)
        words = struct.unpack("<%dI" % per, sector(s))
        difat += words[:-1]
        s = words[-1]
    fat = []
    for s in difat[:nfat]:
        if s < 0xFFFFFFFA:
            fat += struct.unpack("<%dI" % per, sector(s))

    def chain(start, table, limit):
        out, seen = [], set()
        while start != ENDCHAIN and start < 0xFFFFFFFA:
            if start in seen or start >= len(table) or len(out) > limit:
                raise ValueError("broken sector chain")
            seen.add(start)
            out.append(start)
            start = table[start]
        return out

    directory = b"".join(sector(s) for s in chain(dir_start, fat, len(fat)))
    entries = []
    for at in range(0, len(directory) - 127, 128):
        e = directory[at:at + 128]
        nlen = min(struct.unpack_from("<H", e, 64)[0], 64)
        name = e[:max(nlen - 2, 0)].decode("utf-16-le", "replace")
        etype = e[66]
        left, right, child = struct.unpack_from("<III", e, 68)
        start, size = struct.unpack_from("<II", e, 116)
        entries.append((name, etype, left, right, child, start, size))
    if not entries or entries[0][1] != 5:
        raise ValueError("no root entry")
    root = entries[0]
    mini = b"".join(sector(s) for s in chain(root[5], fat, len(fat)))[:root[6]]
    minifat = []
    for s in chain(minifat_start, fat, len(fat)) if nminifat else []:
        minifat += struct.unpack("<%dI" % per, sector(s))

    def stream(e):
        size = e[6]
        if size < cutoff:
            secs = chain(e[5], minifat, len(minifat))
            out = b"".join(mini[s * 64:(s + 1) * 64] for s in secs)
        else:
            out = b"".join(sector(s) for s in chain(e[5], fat, len(fat)))
        if len(out) < size:
            raise ValueError("stream shorter than its size")
        return out[:size]

    out = {}

    def walk(storage, prefix, depth):
        if depth > 32:
            raise ValueError("storages nested too deep")
        stack, seen = [entries[storage][4]], set()
        while stack:
            i = stack.pop()
            if i >= len(entries) or i in seen:
                if i != 0xFFFFFFFF and i in seen:
                    raise ValueError("a loop in the directory")
                continue
            seen.add(i)
            name, etype, left, right, child = entries[i][:5]
            stack += [left, right]
            path = prefix + name
            if etype == 2:
                out[path] = stream(entries[i])
            elif etype == 1:
                out[path] = None
                walk(i, path + "/", depth + 1)

    walk(0, "", 0)
    return out


# ---- cells -----------------------------------------------------------------------------------

SHEET_RE = re.compile(r'^sheet (\d+) "((?:[^"\\]|\\.)*)"( \(active\))? used (\S+)$')
CELL_RE = re.compile(r'^([A-Z]+)(\d+) (\w+)(?:\((\w+)\))?(?: (.*?))? format "(?:[^"\\]|\\.)*"$')


def unquote(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s):
            out.append("\n" if s[i + 1] == "n" else s[i + 1])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def col_index(letters):
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - 64
    return n - 1


def cell_name(key):
    s, c = "", key[1] + 1
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return "%s%d" % (s, key[0] + 1)


def parse_dump(text):
    """[(name, {(row, col): value})] in sheet order, the active sheet's index, its used range."""
    sheets, active, used = [], None, None
    for line in text.split("\n"):
        m = SHEET_RE.match(line)
        if m:
            sheets.append((unquote(m.group(2)), {}))
            if m.group(3):
                active, used = len(sheets) - 1, m.group(4)
            continue
        m = CELL_RE.match(line)
        if not m or not sheets:
            continue
        kind, value = m.group(4) or m.group(3), m.group(5) or ""
        if kind == "number":
            v = float(value)
        elif kind == "string":
            v = unquote(value[1:-1])
        elif kind == "boolean":
            v = value == "TRUE"
        elif kind == "error":
            v = ("error", int(value.split()[1]))
        else:
            v = None
        sheets[-1][1][(int(m.group(2)) - 1, col_index(m.group(1)))] = v
    return sheets, active, used


def xlrd_cells(path):
    """[(name, {(row, col): value})] in sheet order, as xlrd reads them."""
    import xlrd
    book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"))
    out = []
    for sheet in book.sheets():
        cells = {}
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    v = float(cell.value)
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    v = bool(cell.value)
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    v = ("error", cell.value)
                else:
                    v = cell.value
                if v != "":
                    cells[(r, c)] = v
        out.append((sheet.name, cells))
    return out


def same(a, b):
    if isinstance(a, float) and isinstance(b, float):
        return a == b or (math.isnan(a) and math.isnan(b))
    return a == b and type(a) == type(b)


def cell_faults(before, after, fills, active, reader):
    """Lines for every cell of `after` that is not as in `before`, or as filled."""
    faults = []
    if [n for n, _ in before] != [n for n, _ in after]:
        return ["%s: the sheets are %s, were %s" % (reader, [n for n, _ in after],
                                                    [n for n, _ in before])]
    for index, ((name, old), (_, new)) in enumerate(zip(before, after)):
        expected = dict(old)
        if index == active:
            expected.update(fills)
        for key in set(expected) | set(new):
            a, b = expected.get(key), new.get(key)
            if a in (None, "") and b in (None, ""):
                continue
            if a is None or b is None or not same(a, b):
                what = "filled" if index == active and key in fills else "kept"
                faults.append("%s: %s!%s (%s) reads %r, not %r" % (
                    reader, name, cell_name(key), what, b, a))
    return faults[:5] + (["%s: ... %d cells in all" % (reader, len(faults))]
                         if len(faults) > 5 else [])


# ---- the SST and DIMENSIONS the engine writes ------------------------------------------------

def sst_faults(owned_globals, sheets_owned, sst_at):
    """Whether the written SST counts the cells that refer to it and its EXTSST points at the
    strings it says."""
    group = [d for t, d in owned_globals if t in (SST, CONTINUE)]
    ext = [d for t, d in owned_globals if t == EXTSST]
    labels = sum(1 for owned in sheets_owned for t, _ in owned if t == 0x00FD)
    if not group:
        return ["LABELSST cells without an SST"] if labels else []
    total, unique = struct.unpack_from("<II", group[0])
    faults = []
    if total != labels:
        faults.append("the SST counts %d references; the cells make %d" % (total, labels))
    # Walk the strings, noting where every string starts: (record index, offset in it).
    starts, rec, pos = [], 0, 8

    def need(n):
        nonlocal rec, pos
        while pos == len(group[rec]) and rec + 1 < len(group):
            rec, pos = rec + 1, 0
        if pos + n > len(group[rec]):
            raise ValueError("the SST runs out")

    def take_chars(count, wide):
        nonlocal rec, pos, wide_now
        wide_now = wide
        while count:
            if pos == len(group[rec]):
                if rec + 1 >= len(group):
                    raise ValueError("the SST runs out")
                rec, pos = rec + 1, 0
                if group[rec]:  # the characters go on after an option byte of their own
                    wide_now = group[rec][0] & 1
                    pos = 1
                continue
            per = 2 if wide_now else 1
            n = min(count, (len(group[rec]) - pos) // per)
            if n == 0:
                raise ValueError("a character split over records")
            pos += n * per
            count -= n

    def skip(n):
        nonlocal rec, pos
        while n:
            if pos == len(group[rec]):
                if rec + 1 >= len(group):
                    raise ValueError("the SST runs out")
                rec, pos = rec + 1, 0
            k = min(n, len(group[rec]) - pos)
            pos += k
            n -= k

    try:
        for _ in range(unique):
            need(3)
            starts.append((rec, pos))
            count, flags = struct.unpack_from("<HB", group[rec], pos)
            pos += 3
            runs = ext_size = 0
            if flags & 8:
                need(2)
                runs = struct.unpack_from("<H", group[rec], pos)[0]
                pos += 2
            if flags & 4:
                need(4)
                ext_size = struct.unpack_from("<I", group[rec], pos)[0]
                pos += 4
            wide_now = flags & 1
            take_chars(count, flags & 1)
            skip(4 * runs + ext_size)
    except (ValueError, struct.error) as e:
        return faults + ["the SST's %d strings do not read: %s" % (unique, e)]
    if pos < len(group[rec]) or any(group[rec + 1:]):
        faults.append("the SST holds more than the %d strings it counts" % unique)
    if not ext:
        return faults + ["no EXTSST after the SST"]
    e = ext[0]
    per_bucket = struct.unpack_from("<H", e)[0]
    if per_bucket == 0:
        return faults + ["EXTSST with 0 strings a bucket"]
    buckets = (len(e) - 2) // 8
    wanted = (unique + per_bucket - 1) // per_bucket if unique else 0
    if buckets < wanted:
        faults.append("EXTSST has %d buckets for %d strings of %d" % (buckets, unique,
                                                                      per_bucket))
    # Where each of the SST's records starts in the stream.
    rec_at, at = [], sst_at
    for d in group:
        rec_at.append(at)
        at += 4 + len(d)
    for b in range(min(buckets, wanted)):
        ib, cb = struct.unpack_from("<IH", e, 2 + 8 * b)
        r, p = starts[b * per_bucket]
        if cb != 4 + p or ib != rec_at[r] + 4 + p:
            faults.append("EXTSST bucket %d points at byte %d (%d into its record); the string "
                          "is at %d (%d)" % (b, ib, cb, rec_at[r] + 4 + p,
                                             4 + p))
            break
    return faults


def dimensions_faults(name, owned):
    """Whether a worksheet's DIMENSIONS is the range of its cells (rows and columns past the
    last, as stored)."""
    dims = [d for t, d in owned if t == DIMENSIONS and len(d) >= 14]
    if not dims:
        return []
    rows, cols = [], []
    for t, d in owned:
        if t in CELLS and len(d) >= 4:
            r, c = struct.unpack_from("<HH", d)
            rows.append(r)
            cols.append(c)
            if t in (0x00BD, 0x00BE) and len(d) >= 6:
                cols.append(struct.unpack_from("<H", d, len(d) - 2)[0])
    r1, r2, c1, c2 = struct.unpack_from("<IIHH", dims[0])
    want = (min(rows), max(rows) + 1, min(cols), max(cols) + 1) if rows else (0, 0, 0, 0)
    if (r1, r2, c1, c2) != want:
        return ["%s: DIMENSIONS rows %d-%d columns %d-%d, its cells %d-%d %d-%d" % (
            name, r1, r2, c1, c2, *want)]
    return []


# ---- one workbook ----------------------------------------------------------------------------

def run_tool(tool, *args):
    try:
        p = subprocess.run([tool] + list(args), capture_output=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return "timeout", "", ""
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def refusal(err, base):
    """The one-line refusal naming the file, without warnings; None when it is not one."""
    lines = [l for l in err.strip().splitlines() if not l.startswith("xlstool: warning: ")]
    prefix = "xlstool: %s: " % base
    if len(lines) == 1 and lines[0].startswith(prefix):
        return lines[0][len(prefix):]
    return None


def choose_fills(used, strings):
    """The cells to fill: the used range's first cell, one in its middle, two below it. With
    `strings`, two of them get texts the workbook has not got (its shared strings are written
    anew); else all get numbers (they are written back as they were read)."""
    if used in (None, "none"):
        r1 = c1 = r2 = c2 = 0
    else:
        m = re.match(r"([A-Z]+)(\d+):([A-Z]+)(\d+)$", used)
        r1, c1, r2, c2 = int(m.group(2)) - 1, col_index(m.group(1)), int(m.group(4)) - 1, \
            col_index(m.group(3))
    below = min(r2 + 1, 65535)
    fills = {(r1, c1): "Filled \u00e9t\u00e9" if strings else 2.5,
             ((r1 + r2) // 2, (c1 + c2) // 2): 4321.25,
             (below, c1): "Corpus" if strings else -7.0,
             (below, c1 + 1 if c1 < 255 else c1 - 1): 1234.5}
    if below == r2:
        del fills[(below, c1)]
    return fills


def fill_args(fills):
    return ["%s=%s" % (cell_name(k), ("%r" % v if isinstance(v, float) else v))
            for k, v in sorted(fills.items())]


class Original:
    """A workbook as it was before any fill: its cells with both readers, its streams and the
    substreams of its Workbook stream."""

    def __init__(self, path, dump):
        self.path = path
        self.base = os.path.basename(path)
        self.ext = os.path.splitext(self.base)[1].lower()
        self.ours, self.active, self.used = parse_dump(dump)
        try:
            self.theirs = xlrd_cells(path)
        except Exception:  # xlrd does not read it: the dump stands alone
            self.theirs = None
        with open(path, "rb") as f:
            self.streams = read_compound(f.read())
        self.workbook = next((n for n in self.streams if n.upper() == "WORKBOOK"), None)
        self.parts = split_parts(parse_records(self.streams[self.workbook]))


def run_fill(original, tool, out, fills):
    """xlstool fill; a cell of an array formula or data table, which the engine refuses to
    change, is left out and the fill tried again. Returns (exit, stderr, fills)."""
    for _ in range(4):
        if os.path.exists(out):
            os.unlink(out)
        rc, _, err = run_tool(tool, "fill", original.path, out, *fill_args(fills))
        m = re.search(r": ([A-Z]+[0-9]+) is part of the (array formula|data table)", err)
        if rc == 1 and m and len(fills) > 2:
            fills = {k: v for k, v in fills.items() if cell_name(k) != m.group(1)}
            continue
        break
    return rc, err, fills


def check_fill(original, tool, plain, work, fills):
    """(refusal or None, [fault lines]) of one fill of `original`."""
    out = os.path.join(work, "filled" + original.ext)
    rc, err, fills = run_fill(original, tool, out, fills)
    if rc == "timeout" or rc not in (0, 1):
        return None, ["fill: exit %s %s" % (rc, err.strip()[-300:])]
    faults = []
    if plain:
        out2 = os.path.join(work, "plain" + original.ext)
        rc2, err2, _ = run_fill(original, plain, out2, fills)
        if (rc2, err2 if rc2 else "") != (rc, err if rc else ""):
            faults.append("the plain xlstool: exit %s %s" % (rc2, err2.strip()[-300:]))
        elif rc == 0 and open(out2, "rb").read() != open(out, "rb").read():
            faults.append("the plain xlstool saved other bytes")
    if rc == 1:
        why = refusal(err, original.base)
        if why is None:
            return None, ["fill: not a one-line refusal naming the file: %r" % err[:300]]
        return why, faults
    with open(out, "rb") as f:
        saved = f.read()

    # Cells, with both readers.
    rc, dump2, err = run_tool(tool, "dump", out)
    if rc != 0:
        return None, faults + ["dump of the filled file: %s" % err.strip()[-300:]]
    ours_after, _, _ = parse_dump(dump2)
    faults += cell_faults(original.ours, ours_after, fills, original.active, "xlstool")
    if original.theirs is not None:
        try:
            faults += cell_faults(original.theirs, xlrd_cells(out), fills, original.active,
                                  "xlrd")
        except Exception as e:
            faults.append("xlrd cannot read the filled file: %s: %s" % (type(e).__name__, e))

    # Streams, by full path.
    try:
        streams_after = read_compound(saved)
    except (ValueError, struct.error) as e:
        return None, faults + ["the saved compound file does not read: %s" % e]
    streams_before = original.streams
    # Names in a compound file are told apart without regard to case: "WORKBOOK" is the one.
    wb_before = original.workbook
    wb_after = next((n for n in streams_after if n.upper() == "WORKBOOK"), None)
    for name in sorted(set(streams_before) | set(streams_after)):
        if name in (wb_before, wb_after) or (name.upper() == "BOOK" and wb_before):
            continue
        if name not in streams_after:
            faults.append("stream %r lost" % name)
        elif name not in streams_before:
            faults.append("stream %r added" % name)
        elif streams_before[name] != streams_after[name]:
            a, b = streams_before[name], streams_after[name]
            if a is None or b is None:
                faults.append("%r is now a %s" % (name, "storage" if b is None else "stream"))
            else:
                faults.append("stream %r changed (%d bytes, now %d%s)" % (
                    name, len(a), len(b),
                    ", starting with the compound file's signature" if b[:8] == MAGIC else ""))
    if any(n.upper() == "BOOK" for n in streams_after):
        faults.append("the Excel 5.0/95 Book stream is kept beside the saved Workbook")

    # Records.
    try:
        recs_after = parse_records(streams_after[wb_after])
    except (ValueError, KeyError) as e:
        return None, faults + ["the saved Workbook stream does not read: %s" % e]
    parts_before, parts_after = original.parts, split_parts(recs_after)
    if len(parts_before) != len(parts_after):
        return None, faults + ["the Workbook stream has %d substreams, had %d" % (
            len(parts_after), len(parts_before))]
    sheets = sum(1 for t, _ in parts_before[0] if t == BOUNDSHEET)
    names = [n for n, _ in original.ours]
    sheets_owned = []
    as_workbook = original.ext == ".xls"
    for k, (pb, pa) in enumerate(zip(parts_before, parts_after)):
        kind = "globals" if k == 0 else \
            "worksheet" if k <= sheets and is_worksheet(pb) else "other"
        label = "globals" if k == 0 else "sheet %s" % (names[k - 1] if k - 1 < len(names) else k)
        kb, _ = kept_records(pb, kind, as_workbook)
        ka, owned = kept_records(pa, kind, as_workbook)
        faults += ["%s: %s" % (label, f) for f in compare_part(kind, kb, ka)][:5]
        if k == 0:
            owned_globals = owned
        elif kind == "worksheet":
            sheets_owned.append(owned)
            faults += dimensions_faults(label, owned)
    # Where each substream and the SST start in the stream: their headers' offsets.
    starts, at, sst_at = [], 0, None
    for part in parts_after:
        starts.append(at)
        for t, d in part:
            if t == SST and sst_at is None:
                sst_at = at
            at += 4 + len(d)
    positions = [struct.unpack_from("<I", d)[0] for t, d in parts_after[0] if t == BOUNDSHEET]
    if positions != starts[1:len(positions) + 1]:
        faults.append("the BOUNDSHEETs point at %s; the sheets start at %s" % (
            positions[:6], starts[1:7]))
    faults += sst_faults(owned_globals, sheets_owned, sst_at or 0)
    return None, faults


def check(path, tool, plain, work):
    """(outcome, [fault lines]): outcome "kept", "refused: TEXT" or "defect"."""
    base = os.path.basename(path)
    rc, dump, err = run_tool(tool, "dump", path)
    if rc == "timeout" or rc not in (0, 1):
        return "defect", ["dump: exit %s %s" % (rc, err.strip()[-300:])]
    if rc == 1:
        why = refusal(err, base)
        if why is None:
            return "defect", ["dump: not a one-line refusal naming the file: %r" % err[:300]]
        if plain and run_tool(plain, "dump", path)[::2] != (rc, err):
            return "defect", ["the plain xlstool does not refuse it the same way"]
        return "refused: " + why, []
    try:
        original = Original(path, dump)
    except (ValueError, KeyError, struct.error) as e:
        return "defect", ["the engine reads it, but this check cannot: %s" % e]
    if original.active is None:
        return "defect", ["dump names no active sheet"]
    faults = []
    for strings in (True, False):
        why, more = check_fill(original, tool, plain, work, choose_fills(original.used, strings))
        if why is not None:
            return ("defect" if more else "refused: " + why), more
        faults += ["%s: %s" % ("texts" if strings else "numbers", f) for f in more]
    return ("defect" if faults else "kept"), faults


def selection(args):
    """[(path, expected outcome or None)]."""
    out = []
    for item in args:
        if os.path.isdir(item):
            expected = {}
            sources = os.path.join(item, "SOURCES")
            if os.path.exists(sources):
                for line in open(sources, encoding="utf-8"):
                    if line.strip() and not line.startswith("#"):
                        fields = line.rstrip("\n").split("\t")
                        expected[fields[0]] = fields[1]
            names = sorted(n for n in os.listdir(item) if n.lower().endswith(EXTENSIONS))
            if expected:
                for n in sorted(set(expected) - set(names)):
                    out.append((os.path.join(item, n), "missing"))
            out += [(os.path.join(item, n), expected.get(n, "unlisted") if expected else None)
                    for n in names]
        else:
            out.append((item, None))
    return out


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--xlstool", required=True)
    p.add_argument("--plain-xlstool")
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--report")
    p.add_argument("files", nargs="+")
    args = p.parse_args()
    files = selection(args.files)
    work = tempfile.mkdtemp(prefix="public-workbooks-")

    def one(k):
        path, expected = files[k]
        if expected in ("missing", "unlisted"):
            return path, expected, "defect", ["listed in SOURCES but not there" if
                                              expected == "missing" else "not listed in SOURCES"]
        folder = os.path.join(work, str(k))
        os.makedirs(folder)
        try:
            outcome, faults = check(path, args.xlstool, args.plain_xlstool, folder)
        except Exception as e:  # a fault of this script's reading: named, never hidden
            outcome, faults = "defect", ["the check failed: %s: %s" % (type(e).__name__, e)]
        shutil.rmtree(folder, ignore_errors=True)
        return path, expected, outcome, faults

    failed, tally = 0, {}
    report = open(args.report, "w") if args.report else None
    try:
        with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
            for path, expected, outcome, faults in pool.map(one, range(len(files))):
                key = outcome if not outcome.startswith("refused") else "refused"
                tally[key] = tally.get(key, 0) + 1
                wrong = outcome == "defect" or (expected is not None and outcome != expected)
                line = "%s\t%s" % (path, outcome)
                if report:
                    report.write(line + "".join("\n\t" + f for f in faults) + "\n")
                if wrong:
                    failed += 1
                    print("FAIL %s: %s%s" % (path, outcome, "" if expected is None else
                                             " (expected %s)" % expected))
                    for f in faults:
                        print("    " + f)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d workbooks: %s; %d failed" % (len(files), ", ".join(
        "%s %d" % kv for kv in sorted(tally.items())), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
