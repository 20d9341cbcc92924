"""Minimal OLE compound file (structured storage) reader and writer.

Reads a version 3 file (512-byte sectors) into its directory entries and stream contents, and
writes it back with a fresh, compact sector layout. The directory tree (names, sibling and child
links, class ids, times) is kept entry for entry; only start sectors and sizes change, so streams
may grow or shrink between reading and writing. Every entry in use is written black, which makes
any tree a valid red-black tree (the root is black, no red node has a red child), and every
unused entry blank: no name, no links, zeros elsewhere.
"""

import struct

SIGNATURE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
SECTOR = 512
MINI_SECTOR = 64
MINI_CUTOFF = 4096
FREESECT = 0xFFFFFFFF
ENDOFCHAIN = 0xFFFFFFFE
FATSECT = 0xFFFFFFFD
DIFSECT = 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF

TYPE_EMPTY, TYPE_STORAGE, TYPE_STREAM, TYPE_ROOT = 0, 1, 2, 5
BLACK = 1


class CompoundFileError(Exception):
    pass


class DirEntry:
    """One 128-byte directory entry; raw keeps the bytes that are copied unchanged."""

    def __init__(self, raw):
        self.raw = bytearray(raw)
        name_len = struct.unpack_from("<H", raw, 64)[0]
        self.name = raw[: max(0, name_len - 2)].decode("utf-16-le")
        self.type = raw[66]
        self.start = struct.unpack_from("<I", raw, 116)[0]
        self.size = struct.unpack_from("<I", raw, 120)[0]
        self.data = b""

    def to_bytes(self):
        if self.type == TYPE_EMPTY:
            out = bytearray(128)
            struct.pack_into("<III", out, 68, NOSTREAM, NOSTREAM, NOSTREAM)
            return bytes(out)
        out = bytearray(self.raw)
        out[67] = BLACK
        struct.pack_into("<II", out, 116, self.start, self.size)
        struct.pack_into("<I", out, 124, 0)
        return bytes(out)


class CompoundFile:
    def __init__(self, data):
        self.entries = []
        self._read(bytes(data))

    # ---- reading ----
    def _sector(self, data, n):
        off = (n + 1) * SECTOR
        if off >= len(data):
            raise CompoundFileError("sector %d lies beyond the end of the file" % n)
        return data[off : off + SECTOR].ljust(SECTOR, b"\0")

    def _chain(self, fat, start, limit):
        chain, n = [], start
        while n != ENDOFCHAIN:
            if n >= len(fat) or len(chain) > limit:
                raise CompoundFileError("broken sector chain at sector %d" % n)
            chain.append(n)
            n = fat[n]
        return chain

    def _read(self, data):
        if data[:8] != SIGNATURE:
            raise CompoundFileError("not a compound file")
        (major,) = struct.unpack_from("<H", data, 0x1A)
        (shift,) = struct.unpack_from("<H", data, 0x1E)
        if major != 3 or shift != 9:
            raise CompoundFileError("only 512-byte sector files are supported")
        num_fat, first_dir = struct.unpack_from("<II", data, 0x2C)
        first_minifat, num_minifat, first_difat, num_difat = struct.unpack_from(
            "<IIII", data, 0x3C
        )
        difat = list(struct.unpack_from("<109I", data, 0x4C))
        n = first_difat
        for _ in range(num_difat):
            sec = self._sector(data, n)
            difat += struct.unpack_from("<127I", sec, 0)
            (n,) = struct.unpack_from("<I", sec, 508)
        fat_sectors = [s for s in difat if s not in (FREESECT, ENDOFCHAIN)][:num_fat]
        fat = []
        for s in fat_sectors:
            fat += struct.unpack("<128I", self._sector(data, s))
        limit = len(data) // SECTOR + 1

        def read_big(start, size):
            raw = b"".join(self._sector(data, s) for s in self._chain(fat, start, limit))
            return raw[:size]

        dir_bytes = b"".join(
            self._sector(data, s) for s in self._chain(fat, first_dir, limit)
        )
        self.entries = [DirEntry(dir_bytes[i : i + 128]) for i in range(0, len(dir_bytes), 128)]
        root = self.entries[0]
        if root.type != TYPE_ROOT:
            raise CompoundFileError("the first directory entry is not the root")

        minifat = []
        if num_minifat and first_minifat != ENDOFCHAIN:
            for s in self._chain(fat, first_minifat, limit):
                minifat += struct.unpack("<128I", self._sector(data, s))
        ministream = read_big(root.start, root.size) if root.start != ENDOFCHAIN else b""

        for e in self.entries:
            if e.type != TYPE_STREAM:
                continue
            if e.size < MINI_CUTOFF:
                chain = self._chain(minifat, e.start, len(minifat) + 1) if e.size else []
                raw = b"".join(
                    ministream[m * MINI_SECTOR : (m + 1) * MINI_SECTOR] for m in chain
                )
                e.data = raw[: e.size]
            else:
                e.data = read_big(e.start, e.size)
            if len(e.data) != e.size:
                raise CompoundFileError("stream %r is shorter than its size" % e.name)

    # ---- access ----
    def stream(self, name):
        for e in self.entries:
            if e.type == TYPE_STREAM and e.name == name:
                return e.data
        raise KeyError(name)

    def set_stream(self, name, data):
        for e in self.entries:
            if e.type == TYPE_STREAM and e.name == name:
                e.data = bytes(data)
                return
        raise KeyError(name)

    # ---- writing ----
    def to_bytes(self):
        big, small = [], []
        for e in self.entries:
            if e.type == TYPE_STREAM:
                e.size = len(e.data)
                (big if e.size >= MINI_CUTOFF else small).append(e)

        # Mini stream: every small stream padded to 64-byte mini sectors.
        ministream, minifat = bytearray(), []
        for e in small:
            if not e.size:
                e.start = ENDOFCHAIN
                continue
            count = (e.size + MINI_SECTOR - 1) // MINI_SECTOR
            e.start = len(minifat)
            minifat += list(range(e.start + 1, e.start + count)) + [ENDOFCHAIN]
            ministream += e.data.ljust(count * MINI_SECTOR, b"\0")

        # Regular sectors: big streams, then the mini stream, the mini FAT and the directory.
        body, fat = bytearray(), []

        def place(payload):
            if not payload:
                return ENDOFCHAIN
            count = (len(payload) + SECTOR - 1) // SECTOR
            first = len(fat)
            fat.extend(list(range(first + 1, first + count)) + [ENDOFCHAIN])
            body.extend(bytes(payload).ljust(count * SECTOR, b"\0"))
            return first

        for e in big:
            e.start = place(e.data)
        root = self.entries[0]
        root.start = place(ministream)
        root.size = len(ministream)
        minifat_bytes = b"".join(struct.pack("<I", v) for v in minifat)
        if minifat:
            pad = (-len(minifat)) % 128
            minifat_bytes += struct.pack("<I", FREESECT) * pad
        first_minifat = place(minifat_bytes)
        num_minifat = len(minifat_bytes) // SECTOR
        dir_bytes = b"".join(e.to_bytes() for e in self.entries)
        dir_bytes += b"\0" * ((-len(dir_bytes)) % SECTOR)
        first_dir = place(dir_bytes)

        # The FAT describes itself: grow it until it covers its own sectors.
        num_fat = 1
        while (len(fat) + num_fat + 127) // 128 > num_fat:
            num_fat += 1
        if num_fat > 109:
            raise CompoundFileError("files this large need DIFAT sectors, not supported")
        fat_start = len(fat)
        fat.extend([FATSECT] * num_fat)
        fat.extend([FREESECT] * (num_fat * 128 - len(fat)))
        fat_bytes = b"".join(struct.pack("<I", v) for v in fat)

        header = bytearray(SECTOR)
        header[0:8] = SIGNATURE
        struct.pack_into("<HHHHH", header, 0x18, 0x3E, 3, 0xFFFE, 9, 6)
        struct.pack_into("<IIII", header, 0x28, 0, num_fat, first_dir, 0)
        struct.pack_into("<IIIII", header, 0x38, MINI_CUTOFF,
                         first_minifat if minifat else ENDOFCHAIN, num_minifat, ENDOFCHAIN, 0)
        difat = list(range(fat_start, fat_start + num_fat)) + [FREESECT] * (109 - num_fat)
        struct.pack_into("<109I", header, 0x4C, *difat)
        return bytes(header) + bytes(body) + fat_bytes
