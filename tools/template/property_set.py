"""Reads and sets the properties of an OLE property set stream (such as "\\x05SummaryInformation").

Layout: a 28-byte header, one (FMTID, offset) pair per section, and each section: its size,
its property count, (property id, offset) pairs and the typed values, each padded to 4 bytes.
Only single-section streams are edited; every other property is kept byte for byte.
"""

import struct

VT_I2, VT_LPSTR = 0x0002, 0x001E
PID_CODEPAGE = 0x0001
PIDSI_TITLE, PIDSI_APPNAME = 0x0002, 0x0012
CP_UTF8 = 65001


class PropertySetError(Exception):
    pass


def _pad4(data):
    return data + b"\0" * (-len(data) % 4)


def _section(stream):
    """(where the section starts, {property id: its typed value with its padding})."""
    if len(stream) < 48 or stream[:2] != b"\xfe\xff":
        raise PropertySetError("not a property set stream")
    (sections,) = struct.unpack_from("<I", stream, 24)
    if sections != 1:
        raise PropertySetError("expected one section, found %d" % sections)
    (at,) = struct.unpack_from("<I", stream, 44)
    size, count = struct.unpack_from("<II", stream, at)
    pairs = [struct.unpack_from("<II", stream, at + 8 + 8 * i) for i in range(count)]
    bounds = sorted(off for _, off in pairs) + [size]
    values = {}
    for pid, off in pairs:
        end = bounds[bounds.index(off) + 1]
        values[pid] = stream[at + off : at + end]
    return at, values


def read_values(stream):
    """Every property of a single-section stream: {id: typed value bytes, padded to 4}."""
    return _section(stream)[1]


def set_values(stream, typed):
    """`typed`: {property id: typed value bytes (type, padding, value)}; returns the stream with
    those properties set and every other kept, in id order."""
    at, values = _section(stream)
    for pid, value in typed.items():
        values[pid] = _pad4(value)
    ids = sorted(values)
    body, offsets = b"", []
    start = 8 + 8 * len(ids)
    for pid in ids:
        offsets.append(start + len(body))
        body += _pad4(values[pid])
    section = struct.pack("<II", start + len(body), len(ids))
    section += b"".join(struct.pack("<II", pid, off) for pid, off in zip(ids, offsets)) + body
    return stream[:at] + section


def set_texts(stream, texts):
    """`texts`: {property id: str}; returns the stream with those VT_LPSTR properties set."""
    values = read_values(stream)
    codepage = 1252
    if PID_CODEPAGE in values:
        (vt, cp) = struct.unpack_from("<Hxxh", values[PID_CODEPAGE], 0)
        codepage = cp & 0xFFFF if vt == VT_I2 else 1252
    encoding = "utf-8" if codepage == CP_UTF8 else "cp%d" % codepage
    typed = {}
    for pid, text in texts.items():
        raw = text.encode(encoding) + b"\0"
        typed[pid] = struct.pack("<II", VT_LPSTR, len(raw)) + raw
    return set_values(stream, typed)


def read_texts(stream):
    """The VT_LPSTR properties of a single-section stream, as {id: str}."""
    (at,) = struct.unpack_from("<I", stream, 44)
    size, count = struct.unpack_from("<II", stream, at)
    pairs = dict(struct.unpack_from("<II", stream, at + 8 + 8 * i) for i in range(count))
    codepage = 1252
    if PID_CODEPAGE in pairs:
        codepage = struct.unpack_from("<H", stream, at + pairs[PID_CODEPAGE] + 4)[0]
    encoding = "utf-8" if codepage == CP_UTF8 else "cp%d" % codepage
    out = {}
    for pid, off in pairs.items():
        vt, n = struct.unpack_from("<II", stream, at + off)
        if vt == VT_LPSTR:
            out[pid] = stream[at + off + 8 : at + off + 8 + n].rstrip(b"\0").decode(encoding)
    return out
