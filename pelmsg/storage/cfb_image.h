#pragma once

// A compound file opened for reading: its header, FAT, directory and the tree of storages, checked against the
// file's real size so that nothing a hostile file says can make a walk loop, recurse without bound or allocate
// more than the file holds. Stream contents stay in the file and are read on demand.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/errors.h"
#include "storage/byte_source.h"
#include "storage/cfb_format.h"
#include "storage/stat_stg.h"

namespace pelmsg::cfb {

class TClaims;

struct TDirectoryEntry {
    std::u16string Name;
    uint8_t Type = kTypeUnused;
    uint32_t Left = kNoStream;
    uint32_t Right = kNoStream;
    uint32_t Child = kNoStream;
    TClassId Clsid {};
    uint32_t StateBits = 0;
    uint64_t CreationTime = 0;
    uint64_t ModifiedTime = 0;
    uint32_t StartSector = kEndOfChain;
    uint64_t Size = 0;
    // Set by the tree walk: the storage holding the entry, and where a storage's children lie in the flat list.
    uint32_t Parent = kNoStream;
    uint32_t FirstChild = 0;
    uint32_t ChildCount = 0;
};

// Bytes of a stream that lie one after another in the file.
struct TExtent {
    uint64_t StreamOffset;
    uint64_t FileOffset;
    uint64_t Length;
};

// Where every byte of a stream is in the file.
struct TStreamLayout {
    uint64_t Size = 0;
    std::vector<TExtent> Extents;

    // Reads count bytes at offset (the caller keeps offset + count within Size).
    void Read(const TByteSource& source, uint64_t offset, void* buffer, size_t count) const;
};

class TCompoundFileImage {
public:
    // Raises EStorageError when the source is not a compound file or its structure is damaged.
    explicit TCompoundFileImage(std::unique_ptr<TByteSource> source);

    uint16_t MajorVersion() const { return majorVersion_; }
    uint32_t SectorSize() const { return sectorSize_; }
    size_t EntryCount() const { return entries_.size(); }
    // The entry of an id; raises EStorageError when the directory has no such entry.
    const TDirectoryEntry& Entry(uint32_t id) const;
    // A storage's children in the format's name order.
    std::span<const uint32_t> Children(uint32_t storageId) const;
    // The child of that name, or kNoStream.
    uint32_t FindChild(uint32_t storageId, std::u16string_view name) const;
    // The file pieces of a stream, walked, checked and remembered on first use. Raises EStorageError when the
    // stream's sectors loop, cross another chain or lie beyond the file.
    std::shared_ptr<const TStreamLayout> StreamLayout(uint32_t streamId);
    const TByteSource& Source() const { return *source_; }
    // "storage/stream" for messages.
    std::string PathOf(uint32_t id) const;
    // The exception for a structural fault, naming the file.
    EStorageError Damaged(const std::string& what) const;

private:
    void ReadHeader(std::string& header);
    void LoadFat(const std::string& header);
    void LoadDirectory(const std::string& header);
    void BuildTree();
    void LoadMiniStream();
    // Reads whole sectors; the missing tail of a file's last, partial sector reads as zeros.
    void ReadSectors(uint32_t first, uint32_t count, unsigned char* buffer) const;
    uint64_t SectorOffset(uint32_t sector) const { return (static_cast<uint64_t>(sector) + 1) * sectorSize_; }
    // Follows a chain to its end, claiming its sectors for owner.
    std::vector<uint32_t> WholeChain(uint32_t start, uint32_t owner, const std::string& what, TClaims& claims);
    // Claims sector s of the chain of `what` for owner; raises the error of a chain that leaves the file, runs
    // into a free or reserved sector, loops or crosses another chain.
    void ClaimChainSector(uint32_t s, uint32_t owner, const std::string& what, TClaims& claims);
    TStreamLayout RegularLayout(
        uint32_t start, uint64_t size, uint32_t owner, const std::string& what, TClaims& claims);
    TStreamLayout MiniLayout(uint32_t start, uint64_t size, uint32_t owner, const std::string& what);
    std::string OwnerName(uint32_t owner) const;
    uint32_t NextSector(uint32_t sector, const std::string& what) const;

    std::unique_ptr<TByteSource> source_;
    uint64_t fileSize_ = 0;
    uint16_t majorVersion_ = 0;
    uint32_t sectorSize_ = 0;
    uint32_t sectorCount_ = 0; // sectors the file holds, the last one possibly partial
    std::vector<uint32_t> fat_;
    // Which chain each sector (and each mini sector) belongs to, to catch chains that loop or cross.
    std::vector<uint32_t> owners_;
    std::vector<uint32_t> miniOwners_;
    std::vector<TDirectoryEntry> entries_;
    std::vector<uint32_t> children_;
    uint32_t firstMiniFatSector_ = kEndOfChain;
    bool miniStreamLoaded_ = false;
    std::vector<uint32_t> miniFat_;
    TStreamLayout miniStream_;
    std::unordered_map<uint32_t, std::shared_ptr<const TStreamLayout>> layouts_;
};

} // namespace pelmsg::cfb
