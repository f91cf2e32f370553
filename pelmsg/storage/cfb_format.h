#pragma once

// Fixed values of the compound-file (OLE structured storage) format: header and directory-entry layout, the
// special sector numbers, and the limits this library holds files to.

#include <cstddef>
#include <cstdint>

namespace pelmsg::cfb {

inline constexpr unsigned char kSignature[8] = { 0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1 };
inline constexpr size_t kHeaderSize = 512;
inline constexpr uint16_t kMinorVersion = 0x003E;
inline constexpr uint16_t kByteOrderMark = 0xFFFE;
inline constexpr uint16_t kVersion3 = 3; // 512-byte sectors
inline constexpr uint16_t kVersion4 = 4; // 4096-byte sectors
inline constexpr uint16_t kVersion3SectorShift = 9;
inline constexpr uint16_t kVersion4SectorShift = 12;
inline constexpr uint16_t kMiniSectorShift = 6;
inline constexpr uint32_t kMiniSectorSize = 64;
// Streams shorter than this live in the mini stream.
inline constexpr uint32_t kMiniStreamCutoff = 4096;
inline constexpr size_t kHeaderDifatEntries = 109;
inline constexpr size_t kDirectoryEntrySize = 128;

// Sector numbers above kMaxRegularSector are markers, not sectors.
inline constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSector = 0xFFFFFFFF;

inline constexpr uint32_t kMaxRegularStreamId = 0xFFFFFFFA;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;

// Directory entry object types and colours.
inline constexpr uint8_t kTypeUnused = 0;
inline constexpr uint8_t kTypeStorage = 1;
inline constexpr uint8_t kTypeStream = 2;
inline constexpr uint8_t kTypeRoot = 5;
// The name every writer gives the root entry.
inline constexpr char16_t kRootEntryName[] = u"Root Entry";
inline constexpr uint8_t kColorRed = 0;
inline constexpr uint8_t kColorBlack = 1;

// Limits. Names hold at most 31 UTF-16 units plus a terminator; a file with 512-byte sectors must stay within
// 2 GB for older readers; storages may nest this deep below the root (embedded messages take two levels each, and
// the bound keeps every recursive walk of a hostile file shallow).
inline constexpr size_t kMaxNameLength = 31;
inline constexpr uint64_t kMaxVersion3FileSize = 0x80000000;
inline constexpr int kMaxStorageDepth = 128;

// Byte offsets of the header fields.
namespace header {
inline constexpr size_t kMinorVersion = 0x18;
inline constexpr size_t kMajorVersion = 0x1A;
inline constexpr size_t kByteOrder = 0x1C;
inline constexpr size_t kSectorShift = 0x1E;
inline constexpr size_t kMiniSectorShift = 0x20;
inline constexpr size_t kDirectorySectorCount = 0x28;
inline constexpr size_t kFatSectorCount = 0x2C;
inline constexpr size_t kFirstDirectorySector = 0x30;
inline constexpr size_t kTransactionSignature = 0x34;
inline constexpr size_t kMiniStreamCutoff = 0x38;
inline constexpr size_t kFirstMiniFatSector = 0x3C;
inline constexpr size_t kMiniFatSectorCount = 0x40;
inline constexpr size_t kFirstDifatSector = 0x44;
inline constexpr size_t kDifatSectorCount = 0x48;
inline constexpr size_t kDifat = 0x4C;
} // namespace header

// Byte offsets of the fields of a 128-byte directory entry.
namespace entry {
inline constexpr size_t kName = 0;
inline constexpr size_t kNameBytes = 64;
inline constexpr size_t kNameLength = 64;
inline constexpr size_t kType = 66;
inline constexpr size_t kColor = 67;
inline constexpr size_t kLeft = 68;
inline constexpr size_t kRight = 72;
inline constexpr size_t kChild = 76;
inline constexpr size_t kClsid = 80;
inline constexpr size_t kStateBits = 96;
inline constexpr size_t kCreationTime = 100;
inline constexpr size_t kModifiedTime = 108;
inline constexpr size_t kStartSector = 116;
inline constexpr size_t kSize = 120;
} // namespace entry

} // namespace pelmsg::cfb
