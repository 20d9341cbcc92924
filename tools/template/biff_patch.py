"""Edits of a BIFF8 Workbook stream that LibreOffice cannot make itself.

- mark the workbook as a template: a TEMPLATE record (0x0060, empty) right after the globals' BOF;
- hide the gridlines: clear fDspGrid (0x0002) in the worksheet's WINDOW2 options;
- name one typeface in every FONT record (LibreOffice writes Arial into the unused fonts 1 to 3);
- a table over a range of the worksheet (FEATHDR11, FEAT11, LIST12) with a built-in table style,
  and the workbook's TABLESTYLES record naming the default styles;
- the pie's shadow and leader lines (the PIE record's flags);
- a default text for the chart (DEFAULTTEXT with its TEXT group) in a font of its own;
- the chart records the spreadsheet application always writes and LibreOffice leaves out: SCL and
  PLOTGROWTH after the chart's BEGIN, CRTLINK after PIE, a POS in every data label's TEXT group,
  the series data block (DIMENSIONS and three SIINDEX) before the chart's EOF, and SERIES sdtX
  saying the categories are text.

The layouts of the table and chart records, field by field, are in table_records(),
table_styles_record() and default_text_records(); every field is checked by the
TemplateRecords tests in tests/chart/TemplateTest.cpp.

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
STYLE, STYLEEXT = 0x0293, 0x0892
FEATHDR11, FEAT11, LIST12, TABLESTYLES = 0x0871, 0x0872, 0x0877, 0x088E
PIE, SHTPROPS, DEFAULTTEXT, TEXT, BEGIN, END, POS, FONTX, AI = (
    0x1019, 0x1044, 0x1024, 0x1025, 0x1033, 0x1034, 0x104F, 0x1026, 0x1051)
CHART, SERIES, OBJECTLINK, CRTLINK, PLOTGROWTH, SIINDEX = (
    0x1002, 0x1003, 0x1027, 0x1022, 0x1064, 0x1065)
SCL, DIMENSIONS = 0x00A0, 0x0200
SDT_TEXT = 3  # SERIES sdtX / sdtY: the data are text
LINK_SERIES_OR_POINT = 4  # OBJECTLINK wLinkObj: a series' or a point's data label
SERIES_DATA_ORDER = (2, 1, 3)  # SIINDEX numIndex: categories, values, bubble sizes
LOAD_ENTRY_ID = 0x00100000  # TableFeatureType flags: entryId follows cFieldData
DT_WORKSHEET = 0x0010
DT_CHART = 0x0020
DSP_GRID = 0x0002
ISF_LIST = 0x0005  # SharedFeatureType: a table
BUILTIN_TABLE_STYLES = 144  # TABLESTYLES cts: Excel's built-in table and PivotTable styles
PIE_SHADOW, PIE_LEADER_LINES = 0x0001, 0x0002


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


def xl_string(text):
    """XLUnicodeString: character count, option byte (1 = UTF-16), characters."""
    try:
        return struct.pack("<HB", len(text), 0) + text.encode("latin-1")
    except UnicodeEncodeError:
        return struct.pack("<HB", len(text), 1) + text.encode("utf-16-le")


def frt_header(rtype):
    """FrtHeader: the record type again, no flags, eight reserved zero bytes."""
    return struct.pack("<HH8s", rtype, 0, b"")


def table_records(name, first_row, last_row, first_col, columns, style, id_list=1):
    """FEATHDR11, FEAT11 and two LIST12 records of one table (rows and columns 0-based).

    The table reads its cells from the sheet (lt 0), has one heading row and no totals row,
    no AutoFilter, and shows the built-in `style` with banded rows.
    """
    last_col = first_col + len(columns) - 1
    ref = struct.pack("<HHHH", first_row, last_row, first_col, last_col)
    header = frt_header(FEATHDR11) + struct.pack(
        "<HBIIIH",
        ISF_LIST,
        1,  # reserved1
        0xFFFFFFFF,  # reserved2
        0xFFFFFFFF,  # reserved3
        id_list + 1,  # idListNext
        0,  # reserved4
    )
    fields = b""
    for i, column in enumerate(columns):
        fields += struct.pack(
            "<IIIIIIIII",
            i + 1,  # idField
            0,  # lfdt: not a SharePoint list
            0,  # lfxidt: no XML type
            0,  # ilta: no totals formula
            0,  # cbFmtAgg: no totals format
            0xFFFFFFFF,  # istnAgg: no totals style
            0,  # flags: no AutoFilter, no formulas, no totals
            0,  # cbFmtInsertRow
            0xFFFFFFFF,  # istnInsertRow: no insert-row style
        ) + xl_string(str(i + 1)) + xl_string(column)  # strFieldName: the column's id; strCaption
    feature = struct.pack(
        "<IIIIIIHHIIIII16s",
        0,  # lt: the table's data are cells of the sheet
        id_list,  # idList
        1,  # crwHeader: one heading row
        0,  # crwTotals: no totals row
        len(columns) + 1,  # idFieldNext
        64,  # cbFSData: size of the fixed part (lt .. rgbHashParam)
        0,  # rupBuild (fGoodRupBld is 0)
        0,  # unused1
        0x000C0000 | LOAD_ENTRY_ID,  # verXL 12 (a table of Excel 2007 and later); entryId given
        0,  # lPosStmCache
        0,  # cbStmCache
        0,  # cchStmCache
        0,  # lem: not being edited
        b"",  # rgbHashParam
    ) + xl_string(name) + struct.pack("<H", len(columns)) + xl_string(str(id_list)) + fields
    feat = struct.pack("<HH", FEAT11, 0x0001) + ref + struct.pack(
        "<HBIHIH",
        ISF_LIST,
        0,  # reserved1
        0,  # reserved2
        1,  # cref2: one range
        0,  # cbFeatData: rgbFeat runs to the end of the record
        0,  # reserved3
    ) + ref + feature
    style_info = frt_header(LIST12) + struct.pack(
        "<HIH",
        1,  # lsd: List12TableStyleClientInfo
        id_list,
        0x0004,  # fRowStripes; no first/last column or column stripes; not the default style
    ) + xl_string(style)
    display = frt_header(LIST12) + struct.pack("<HI", 2, id_list) + xl_string(name) + xl_string("")
    return [
        Record(FEATHDR11, header),
        Record(FEAT11, feat),
        Record(LIST12, style_info),
        Record(LIST12, display),
    ]


def table_styles_record(default_table_style, default_pivot_style):
    """TABLESTYLES: the built-in styles and the defaults for new tables and PivotTables."""
    return Record(
        TABLESTYLES,
        frt_header(TABLESTYLES)
        + struct.pack("<IHH", BUILTIN_TABLE_STYLES, len(default_table_style), len(default_pivot_style))
        + default_table_style.encode("utf-16-le")
        + default_pivot_style.encode("utf-16-le"),
    )


def default_text_records(font_index):
    """DEFAULTTEXT (all text of the chart) and its TEXT group in FONT `font_index`."""
    text = struct.pack(
        "<BBHI16sHHHH",
        2,  # at: centred
        2,  # vat: centred
        1,  # wBkgMode: transparent
        0,  # rgbText (automatic)
        b"",  # x, y, dx, dy
        0x00B1,  # fAutoColor, fAutoText, fGenerated, fAutoMode
        0x004D,  # icvText: the system's window text colour
        0,  # dlp, iReadingOrder
        0,  # trot: not rotated
    )
    pos = struct.pack("<HH16s", 2, 2, b"")  # mdTopLt, mdBotRt: relative; no offsets
    ai = struct.pack("<BBHHH", 0, 1, 0, 0, 0)  # id 0 (text), rt 1 (literal), no formula
    return [
        Record(DEFAULTTEXT, struct.pack("<H", 2)),  # id 2: all text in the chart
        Record(TEXT, text),
        Record(BEGIN, b""),
        Record(POS, pos),
        Record(FONTX, struct.pack("<H", font_index)),
        Record(AI, ai),
        Record(END, b""),
    ]


def substream_ends(records, dt):
    """Indexes of the EOF records that close substreams of type `dt`."""
    stack, ends = [], []
    for i, r in enumerate(records):
        if r.type == BOF:
            stack.append(struct.unpack_from("<H", r.data, 2)[0])
        elif r.type == EOF and stack:
            if stack.pop() == dt:
                ends.append(i)
    return ends


def add_table(records, **table):
    """Puts the table's records last in the worksheet and TABLESTYLES after the styles."""
    if any(r.type in (FEATHDR11, FEAT11) for r in records):
        raise BiffError("the workbook already has tables")
    ends = substream_ends(records, DT_WORKSHEET)
    if len(ends) != 1:
        raise BiffError("expected exactly one worksheet")
    records[ends[0]:ends[0]] = table_records(**table)
    last_style = max(i for i, r in enumerate(records[: ends[0]]) if r.type in (STYLE, STYLEEXT))
    records.insert(last_style + 1, table_styles_record(table["style"], "PivotStyleLight16"))


def add_chart_font(records, height_twips):
    """Appends a FONT record like the first one, `height_twips` high and not bold; returns the
    font index that chart records use for it (FONT records are numbered 0 to 3, then 5 on)."""
    fonts = [i for i, r in enumerate(records) if r.type == FONT]
    font = Record(FONT, bytes(records[fonts[0]].data))
    struct.pack_into("<H", font.data, 0, height_twips)
    struct.pack_into("<H", font.data, 2, 0)  # no italic, strike-out, outline or shadow
    struct.pack_into("<H", font.data, 6, 400)  # normal weight
    records.insert(fonts[-1] + 1, font)
    count = len(fonts) + 1
    return count if count > 4 else count - 1


def set_pie_flags(records, flags):
    """Sets `flags` (shadow, leader lines) in every PIE record; returns how many."""
    count = 0
    for r in records:
        if r.type == PIE:
            (old,) = struct.unpack_from("<H", r.data, 4)
            struct.pack_into("<H", r.data, 4, old | flags)
            count += 1
    return count


def add_default_text(records, font_index):
    """Puts the chart's default text right after SHTPROPS in every chart substream."""
    added = 0
    for i in range(len(records) - 1, -1, -1):
        if records[i].type == SHTPROPS:
            records[i + 1:i + 1] = default_text_records(font_index)
            added += 1
    return added


def chart_ranges(records):
    """(BOF index, EOF index) of every chart substream."""
    stack, out = [], []
    for i, r in enumerate(records):
        if r.type == BOF:
            stack.append((i, struct.unpack_from("<H", r.data, 2)[0]))
        elif r.type == EOF and stack:
            start, dt = stack.pop()
            if dt == DT_CHART:
                out.append((start, i))
    return out


def group_end(records, begin):
    """Index of the END that closes the BEGIN at `begin`."""
    depth = 0
    for i in range(begin, len(records)):
        if records[i].type == BEGIN:
            depth += 1
        elif records[i].type == END:
            depth -= 1
            if depth == 0:
                return i
    raise BiffError("BEGIN at record %d is not closed" % begin)


def point_label_groups(records, first, last):
    """(TEXT index, BEGIN index, END index) of the data labels' TEXT groups in [first, last]."""
    out = []
    for i in range(first, last):
        if records[i].type != TEXT or records[i + 1].type != BEGIN:
            continue
        end = group_end(records, i + 1)
        for k in range(i + 2, end):
            r = records[k]
            if r.type == OBJECTLINK:
                if struct.unpack_from("<H", r.data, 0)[0] == LINK_SERIES_OR_POINT:
                    out.append((i, i + 1, end))
                break
    return out


def add_application_chart_records(records):
    """The records of one chart that the spreadsheet application writes and LibreOffice does not
    (see the module's comment); returns how many charts were changed."""
    changed = 0
    for first, last in reversed(chart_ranges(records)):
        chart = next(i for i in range(first, last) if records[i].type == CHART)
        series = [i for i in range(first, last) if records[i].type == SERIES]
        if not series or records[chart + 1].type != BEGIN:
            raise BiffError("the chart has no series or no BEGIN after CHART")
        points = max(struct.unpack_from("<H", records[i].data, 6)[0] for i in series)
        # Before EOF: the series data, one column per series, no cached values.
        records[last:last] = [
            Record(DIMENSIONS, struct.pack("<IIHHH", 0, points, 0, len(series), 0)),
        ] + [Record(SIINDEX, struct.pack("<H", n)) for n in SERIES_DATA_ORDER]
        # A POS first in every data label (relative to the label's default place, no offset).
        for text, begin, end in reversed(point_label_groups(records, first, last)):
            if records[begin + 1].type != POS:
                records.insert(begin + 1, Record(POS, struct.pack("<HH16s", 2, 2, b"")))
        for i in range(last - 1, first, -1):
            if records[i].type == PIE:
                records.insert(i + 1, Record(CRTLINK, bytes(10)))
        for i in series:
            struct.pack_into("<H", records[i].data, 0, SDT_TEXT)
        records[chart + 2:chart + 2] = [
            Record(SCL, struct.pack("<hh", 1, 1)),  # zoom 1/1
            Record(PLOTGROWTH, struct.pack("<ii", 0x10000, 0x10000)),  # 1.0 and 1.0, 16.16
        ]
        changed += 1
    return changed


def patch_workbook_stream(stream, font_name, table=None, chart_text_twips=None):
    records = read_records(stream)
    if not set_font_names(records, font_name):
        raise BiffError("the workbook has no FONT records")
    if hide_gridlines(records) != 1:
        raise BiffError("expected exactly one worksheet WINDOW2 record")
    if table:
        add_table(records, **table)
    if set_pie_flags(records, PIE_SHADOW | PIE_LEADER_LINES) != 1:
        raise BiffError("expected exactly one PIE record")
    if chart_text_twips:
        if any(r.type == DEFAULTTEXT for r in records):
            raise BiffError("the chart already has a default text")
        font = add_chart_font(records, chart_text_twips)
        if add_default_text(records, font) != 1:
            raise BiffError("expected exactly one chart")
    if add_application_chart_records(records) != 1:
        raise BiffError("expected exactly one chart")
    add_template_record(records)
    return write_records(records)
