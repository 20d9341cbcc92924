"""Reads and writes the streams of a flat OLE2 compound file (every stream directly below the
root), for the scripts that build test workbooks no spreadsheet program writes.

    streams = read_streams(path)            # [(name, bytes)], in directory order
    write_streams(path, streams, extra_sectors={"Workbook": 2})

Reading goes through xlrd's compound document reader (python3-xlrd). Writing makes a version 3
file: 512-byte sectors, streams under 4,096 bytes in the mini stream, no DIFAT. `extra_sectors`
lengthens a big stream's sector chain past its size by that many sectors of filler, as some
writers leave it; `dangling_tail` then ends that chain in a sector number past the end of the
file (as in a file cut short after its last stream).
"""
import struct

import xlrd.compdoc

END, FREE, FATSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD
NOSTREAM = 0xFFFFFFFF
SECTOR, MINI, CUTOFF = 512, 64, 4096


def read_streams(path):
    with open(path, "rb") as f:
        mem = f.read()
    doc = xlrd.compdoc.CompDoc(mem, logfile=open("/dev/null", "w"))
    out = []
    for node in doc.dirlist[1:]:
        if node.etype == 2:
            out.append((node.name, bytes(doc.get_named_stream(node.name))))
    return out


def _sectors(n, unit):
    return (n + unit - 1) // unit


def _name_key(name):
    return (len(name), name.upper())


def write_streams(path, streams, extra_sectors=None, dangling_tail=False):
    extra_sectors = extra_sectors or {}
    mini = bytearray()
    mini_fat = []
    small, big = {}, []
    for name, data in streams:
        if len(data) >= CUTOFF:
            big.append(name)
            continue
        first, count = len(mini) // MINI, _sectors(len(data), MINI)
        small[name] = first if data else END
        mini_fat += [first + k + 1 if k + 1 < count else END for k in range(count)]
        mini += data + bytes(count * MINI - len(data))
    data_of = dict(streams)
    entries = 1 + len(streams)
    dir_secs = _sectors(entries * 128, SECTOR)
    minifat_secs = _sectors(len(mini_fat) * 4, SECTOR)
    mini_secs = _sectors(len(mini), SECTOR)
    big_secs = {n: _sectors(len(data_of[n]), SECTOR) + extra_sectors.get(n, 0) for n in big}
    body = dir_secs + minifat_secs + mini_secs + sum(big_secs.values())
    fat_secs = 0
    while _sectors(body + fat_secs, SECTOR // 4) != fat_secs:
        fat_secs = _sectors(body + fat_secs, SECTOR // 4)
    assert fat_secs <= 109, "too big for a header-only DIFAT"
    fat = [FREE] * (fat_secs * SECTOR // 4)
    nxt = [0]

    def allocate(count, mark=None):
        first = nxt[0]
        for k in range(count):
            fat[nxt[0]] = mark if mark is not None else (nxt[0] + 1 if k + 1 < count else END)
            nxt[0] += 1
        return first if count else END

    fat_start = allocate(fat_secs, FATSECT)
    dir_start = allocate(dir_secs)
    minifat_start = allocate(minifat_secs)
    mini_start = allocate(mini_secs)
    start = dict(small)
    for n in big:
        start[n] = allocate(big_secs[n])
        if dangling_tail and extra_sectors.get(n):
            fat[nxt[0] - 1] = 0x00FFFFF0

    # The directory: the root's children as a balanced tree in name order, all black.
    names = sorted((n for n, _ in streams), key=_name_key)
    ids = {n: i + 1 for i, (n, _) in enumerate(streams)}
    left, right = {}, {}

    def build(lo, hi):
        if lo >= hi:
            return NOSTREAM
        mid = (lo + hi) // 2
        me = ids[names[mid]]
        left[me], right[me] = build(lo, mid), build(mid + 1, hi)
        return me

    root_child = build(0, len(names))

    def entry(name, etype, l, r, child, first, size):
        raw = name.encode("utf-16-le")
        e = bytearray(128)
        e[0:len(raw)] = raw
        struct.pack_into("<HBB", e, 64, len(raw) + 2, etype, 1)
        struct.pack_into("<III", e, 68, l, r, child)
        struct.pack_into("<II", e, 116, first, size)
        return e

    directory = entry("Root Entry", 5, NOSTREAM, NOSTREAM, root_child,
                      mini_start if mini else END, len(mini))
    for name, data in streams:
        i = ids[name]
        directory += entry(name, 2, left[i], right[i], NOSTREAM, start[name], len(data))
    while len(directory) < dir_secs * SECTOR:
        directory += entry("", 0, NOSTREAM, NOSTREAM, NOSTREAM, 0, 0)

    out = bytearray(SECTOR * (1 + nxt[0]))

    def put(sector, data):
        at = SECTOR * (1 + sector)
        out[at:at + len(data)] = data

    put(dir_start, directory)
    if minifat_secs:
        put(minifat_start, b"".join(struct.pack("<I", v) for v in
                                    mini_fat + [FREE] * (minifat_secs * SECTOR // 4 - len(mini_fat))))
    if mini_secs:
        put(mini_start, mini)
    for n in big:
        data = data_of[n]
        filler = b"\xAA" * (extra_sectors.get(n, 0) * SECTOR)
        put(start[n], data + bytes(_sectors(len(data), SECTOR) * SECTOR - len(data)) + filler)
    put(fat_start, b"".join(struct.pack("<I", v) for v in fat))
    header = bytearray(SECTOR)
    header[0:8] = bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1])
    struct.pack_into("<HHHHH", header, 24, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<IIIIIIIII", header, 44, fat_secs, dir_start, 0, CUTOFF,
                     minifat_start if minifat_secs else END, minifat_secs, END, 0, 0)
    for k in range(109):
        struct.pack_into("<I", header, 76 + 4 * k, fat_start + k if k < fat_secs else FREE)
    out[0:SECTOR] = header
    with open(path, "wb") as f:
        f.write(out)


def records(stream):
    """The BIFF records of a workbook stream as [type, data] pairs."""
    out, pos = [], 0
    while pos + 4 <= len(stream):
        rtype, size = struct.unpack_from("<HH", stream, pos)
        if rtype == 0 and size == 0:
            break
        out.append([rtype, bytes(stream[pos + 4:pos + 4 + size])])
        pos += 4 + size
    return out


def join_records(recs):
    """A workbook stream from [type, data] pairs; BOUNDSHEET positions are recomputed."""
    out = bytearray()
    boundsheets, bofs = [], []
    depth = 0
    for rtype, data in recs:
        if rtype == 0x0809:
            if depth == 0:
                bofs.append(len(out))
            depth += 1
        if rtype == 0x000A:
            depth -= 1
        if rtype == 0x0085:
            boundsheets.append(len(out) + 4)
        out += struct.pack("<HH", rtype, len(data)) + data
    for k, at in enumerate(boundsheets):
        struct.pack_into("<I", out, at, bofs[k + 1])
    return bytes(out)
