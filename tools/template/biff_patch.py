"""Two small edits of a BIFF8 Workbook stream that LibreOffice cannot make itself.

- mark the workbook as a template: a TEMPLATE record (0x0060, empty) right after the globals' BOF;
- hide the gridlines: clear fDspGrid (0x0002) in the worksheet's WINDOW2 options;
- name one typeface in every FONT record (LibreOffice writes Arial into the unused fonts 1 to 3).

Inserting or resizing records moves everything behind them, so every absolute stream position
that the workbook stores is mapped to its new place: BOUNDSHEET's sheet offsets, EXTSST's string
positions and INDEX's DEFCOLWIDTH and DBCELL positions. DBCELL holds relative offsets only.
"""

import bisect
import struct

BOF, EOF = 0x0809, 0x000A
TEMPLATE = 0x0060
WINDOW2 = 0x023E
BOUNDSHEET = 0x0085
EXTSST = 0x00FF
INDEX = 0x020B
FONT = 0x0031
DT_WORKSHEET = 0x0010
DSP_GRID = 0x0002


class BiffError(Exception):
    pass


class Record:
    """One record; pos is where it started in the stream as read (None for new records)."""

    def __init__(self, rtype, data, pos=None):
        self.type, self.data, self.pos = rtype, bytearray(data), pos


def read_records(stream):
    """The stream as a list of records; trailing zero padding is dropped."""
    records, pos = [], 0
    while pos + 4 <= len(stream):
        rtype, size = struct.unpack_from("<HH", stream, pos)
        if rtype == 0 and size == 0:
            break
        data = stream[pos + 4 : pos + 4 + size]
        if len(data) != size:
            raise BiffError("record 0x%04X at %d runs past the end of the stream" % (rtype, pos))
        records.append(Record(rtype, data, pos))
        pos += 4 + size
    return records


def _remap_positions(records):
    """Rewrites stored stream positions for the records' new layout."""
    old_starts, new_starts, pos = [], [], 0
    for r in records:
        if r.pos is not None:
            old_starts.append(r.pos)
            new_starts.append(pos)
        pos += 4 + len(r.data)

    def remap(old):
        i = bisect.bisect_right(old_starts, old) - 1
        if i < 0:
            raise BiffError("stream position %d lies before the first record" % old)
        return new_starts[i] + (old - old_starts[i])

    def remap_at(data, off):
        (old,) = struct.unpack_from("<I", data, off)
        if old:
            struct.pack_into("<I", data, off, remap(old))

    for r in records:
        if r.type == BOUNDSHEET:
            remap_at(r.data, 0)
        elif r.type == EXTSST:
            for off in range(2, len(r.data) - 7, 8):
                remap_at(r.data, off)
        elif r.type == INDEX:
            for off in range(12, len(r.data) - 3, 4):
                remap_at(r.data, off)


def write_records(records):
    _remap_positions(records)
    return b"".join(struct.pack("<HH", r.type, len(r.data)) + bytes(r.data) for r in records)


def hide_gridlines(records):
    """Clears fDspGrid in the WINDOW2 of every worksheet substream; returns how many."""
    stack, changed = [], 0
    for r in records:
        rtype, data = r.type, r.data
        if rtype == BOF:
            stack.append(struct.unpack_from("<H", data, 2)[0])
        elif rtype == EOF and stack:
            stack.pop()
        elif rtype == WINDOW2 and stack and stack[-1] == DT_WORKSHEET:
            (flags,) = struct.unpack_from("<H", data, 0)
            struct.pack_into("<H", data, 0, flags & ~DSP_GRID)
            changed += 1
    return changed


def add_template_record(records):
    """Inserts TEMPLATE after the globals' BOF unless one is there; returns True if added."""
    if not records or records[0].type != BOF:
        raise BiffError("the Workbook stream does not start with a BOF record")
    if any(r.type == TEMPLATE for r in records):
        return False
    records.insert(1, Record(TEMPLATE, b""))
    return True


def set_font_names(records, name):
    """Gives every FONT record the typeface name; returns how many records there are."""
    encoded = name.encode("latin-1")
    count = 0
    for r in records:
        if r.type == FONT:
            r.data = r.data[:14] + bytes([len(encoded), 0]) + encoded
            count += 1
    return count


def patch_workbook_stream(stream, font_name):
    records = read_records(stream)
    if not set_font_names(records, font_name):
        raise BiffError("the workbook has no FONT records")
    if hide_gridlines(records) != 1:
        raise BiffError("expected exactly one worksheet WINDOW2 record")
    add_template_record(records)
    return write_records(records)
