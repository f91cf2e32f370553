#pragma once

// Writes a tree of storages and streams as a compound file: FAT, DIFAT, directory with valid red-black sibling
// trees, mini FAT and mini stream for streams under 4096 bytes, each part in consecutive sectors.

#include <cstdint>
#include <vector>

#include "core/stream.h"
#include "storage/cfb_format.h"
#include "storage/write_tree.h"

namespace pelmsg::cfb {

// How many sectors each part of a file takes, in file order.
struct TSectorPlan {
    uint32_t SectorSize = 0;
    uint64_t FatSectors = 0;
    uint64_t DifatSectors = 0;
    uint64_t DirectorySectors = 0;
    uint64_t MiniFatSectors = 0;
    uint64_t MiniStreamSectors = 0;
    uint64_t DataSectors = 0;

    uint64_t TotalSectors() const
    {
        return FatSectors + DifatSectors + DirectorySectors + MiniFatSectors + MiniStreamSectors + DataSectors;
    }
    // The header takes the place of one sector.
    uint64_t FileSize() const { return (TotalSectors() + 1) * SectorSize; }
};

// The plan for a file of that version with that many directory entries, mini sectors and sectors of stream data.
// Raises EStorageError when the file would pass what the format can hold (2 GB for version 3).
TSectorPlan PlanSectors(uint16_t majorVersion, uint64_t entryCount, uint64_t miniSectorCount, uint64_t dataSectors);

class TCompoundFileWriter {
public:
    // Lays the tree out and checks the limits; raises EStorageError when it cannot be written.
    TCompoundFileWriter(const TWriteNode& root, uint16_t majorVersion);
    uint64_t FileSize() const { return plan_.FileSize(); }
    // Writes the whole file from the current position of out.
    void WriteTo(TStream& out) const;

private:
    struct TFlatEntry {
        const TWriteNode* Node;
        uint8_t Type;
        uint8_t Color = kColorBlack;
        uint32_t Left = kNoStream;
        uint32_t Right = kNoStream;
        uint32_t Child = kNoStream;
        uint32_t Start = kEndOfChain;
        uint64_t Size = 0;
    };

    uint32_t LinkSiblings(uint32_t first, uint32_t count, uint32_t depth, uint32_t redDepth);
    void WriteHeader(TStream& out) const;
    void WriteFatAndDifat(TStream& out) const;
    void WriteDirectory(TStream& out) const;
    void WriteMiniFat(TStream& out) const;
    void WriteMiniStream(TStream& out) const;
    void WriteStreams(TStream& out) const;
    static uint32_t Sector(uint64_t index) { return static_cast<uint32_t>(index); }

    uint16_t majorVersion_;
    TSectorPlan plan_;
    std::vector<TFlatEntry> entries_;
    uint64_t miniSectorCount_ = 0;
    // First sector of each part.
    uint64_t difatStart_ = 0;
    uint64_t directoryStart_ = 0;
    uint64_t miniFatStart_ = 0;
    uint64_t miniStreamStart_ = 0;
    uint64_t dataStart_ = 0;
};

} // namespace pelmsg::cfb
