#pragma once

#include <cstddef>
#include <cstdint>

// The layout of an OLE2 compound file, shared by the reader, the writer and the tests. All
// integers are little-endian; offsets count from the start of the header or of a directory entry.
namespace xls::cfb {

// The header, at the start of the file: 512 bytes, padded to a whole sector in version 4.
//    0 signature (8)            8 CLSID (16, zero)       24 minor version u16
//   26 major version u16       28 byte order u16         30 sector shift u16
//   32 mini sector shift u16   34 reserved (6)           40 directory sectors u32 (version 4)
//   44 FAT sectors u32         48 first directory sector 52 transaction signature u32
//   56 mini stream cutoff u32  60 first mini FAT sector  64 mini FAT sectors u32
//   68 first DIFAT sector      72 DIFAT sectors u32      76 the first 109 FAT sector numbers
namespace header {
constexpr size_t kSignature = 0, kClsid = 8, kMinorVersion = 24, kMajorVersion = 26,
                 kByteOrder = 28, kSectorShift = 30, kMiniSectorShift = 32, kDirCount = 40,
                 kFatCount = 44, kFirstDir = 48, kTransaction = 52, kMiniStreamCutoff = 56,
                 kFirstMiniFat = 60, kMiniFatCount = 64, kFirstDifat = 68, kDifatCount = 72,
                 kDifat = 76;
constexpr size_t kSize = 512;
constexpr size_t kDifatEntries = 109;  // FAT sector numbers the header holds itself
}  // namespace header

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kSignatureSize = sizeof kSignature;
constexpr uint16_t kMinorVersion = 0x003E;
constexpr uint16_t kVersion3 = 3, kVersion4 = 4;
constexpr uint16_t kByteOrderMark = 0xFFFE;
// Sectors of 512 bytes in version 3 and 4,096 in version 4; mini sectors of 64 bytes in both.
constexpr uint16_t kSectorShift3 = 9, kSectorShift4 = 12, kMiniSectorShift = 6;
constexpr size_t kSectorSize3 = size_t(1) << kSectorShift3;
constexpr size_t kMiniSectorSize = size_t(1) << kMiniSectorShift;
// Streams shorter than this many bytes live in the mini stream.
constexpr uint32_t kMiniStreamCutoff = 4096;
// A DIFAT sector holds FAT sector numbers, then the number of the next DIFAT sector.
constexpr size_t kSectorNumberSize = 4;

// Sector numbers with a meaning of their own, in the FAT and in chain starts; a regular sector
// number is at most kMaxRegularSector.
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;  // the FAT's entry for a DIFAT sector
constexpr uint32_t kFatSector = 0xFFFFFFFD;    // the FAT's entry for a FAT sector
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
// A directory entry number that names no entry (no sibling, no child).
constexpr uint32_t kNoStream = 0xFFFFFFFF;

// A directory entry, 128 bytes:
//    0 name, UTF-16 with its terminating 0 (64)   64 name length in bytes, the 0 included u16
//   66 type u8    67 colour u8 (red-black tree)   68 left sibling u32   72 right sibling u32
//   76 child u32  80 CLSID (16)   96 state bits u32   100 creation time   108 modification time
//  116 start sector u32    120 stream size u32 (with its high half at 124 in version 4)
namespace entry {
constexpr size_t kName = 0, kNameLength = 64, kType = 66, kColour = 67, kLeft = 68, kRight = 72,
                 kChild = 76, kClsid = 80, kStateBits = 96, kTimes = 100, kCreated = 100,
                 kModified = 108, kStart = 116, kSize = 120, kSizeHigh = 124;
constexpr size_t kBytes = 128;
constexpr size_t kClsidSize = 16, kTimesSize = 16;
constexpr size_t kMaxNameChars = 31;  // without the terminating 0
constexpr uint8_t kRed = 0, kBlack = 1;
}  // namespace entry

}  // namespace xls::cfb
