#include "storage/cfb_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "core/byte_order.h"
#include "core/errors.h"

namespace pelmsg::cfb {

namespace {

constexpr unsigned char kZeros[4096] = {};
// Stream data goes out in pieces small enough for a file stream's write buffer, which it would otherwise copy
// whole into a buffer of that size first.
constexpr size_t kDataPiece = size_t{128} * 1024;

uint64_t CeilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

void WritePadding(TStream& out, uint64_t count)
{
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof kZeros));
        out.WriteBuffer(kZeros, n);
        count -= n;
    }
}

void WriteData(TStream& out, const std::string& data)
{
    for (size_t done = 0; done < data.size(); done += kDataPiece)
        out.WriteBuffer(data.data() + done, std::min(kDataPiece, data.size() - done));
}

void WriteTable(TStream& out, const std::vector<uint32_t>& table)
{
    std::string bytes(table.size() * 4, '\0');
    auto* p = reinterpret_cast<unsigned char*>(bytes.data());
    for (size_t i = 0; i < table.size(); ++i)
        StoreLE32(p + 4 * i, table[i]);
    out.WriteBuffer(bytes.data(), bytes.size());
}

void Chain(std::vector<uint32_t>& table, uint64_t start, uint64_t count)
{
    for (uint64_t k = 0; k < count; ++k)
        table[static_cast<size_t>(start + k)] = k + 1 < count ? static_cast<uint32_t>(start + k + 1) : kEndOfChain;
}

} // namespace

TSectorPlan PlanSectors(uint16_t majorVersion, uint64_t entryCount, uint64_t miniSectorCount, uint64_t dataSectors)
{
    if (majorVersion != kVersion3 && majorVersion != kVersion4)
        throw EStorageError("Cannot write compound file version " + std::to_string(majorVersion));
    if (entryCount > kMaxRegularStreamId)
        throw EStorageError("A compound file cannot hold " + std::to_string(entryCount) + " elements");
    TSectorPlan plan;
    plan.SectorSize = majorVersion == kVersion3 ? 1u << kVersion3SectorShift : 1u << kVersion4SectorShift;
    const uint64_t ss = plan.SectorSize;
    const uint64_t perSector = ss / 4;
    plan.DirectorySectors = CeilDiv(entryCount * kDirectoryEntrySize, ss);
    plan.MiniFatSectors = CeilDiv(miniSectorCount * 4, ss);
    plan.MiniStreamSectors = CeilDiv(miniSectorCount * kMiniSectorSize, ss);
    plan.DataSectors = dataSectors;
    // The FAT covers every sector including its own and the DIFAT's; grow both until they cover themselves.
    for (;;) {
        uint64_t fat = CeilDiv(plan.TotalSectors(), perSector);
        uint64_t difat = fat > kHeaderDifatEntries ? CeilDiv(fat - kHeaderDifatEntries, perSector - 1) : 0;
        if (fat == plan.FatSectors && difat == plan.DifatSectors)
            break;
        plan.FatSectors = fat;
        plan.DifatSectors = difat;
    }
    if (majorVersion == kVersion3 && plan.FileSize() > kMaxVersion3FileSize)
        throw EStorageError("The compound file would take " + std::to_string(plan.FileSize())
            + " bytes, more than the 2 GB (" + std::to_string(kMaxVersion3FileSize)
            + " bytes) a file with 512-byte sectors may hold");
    if (plan.TotalSectors() > kMaxRegularSector)
        throw EStorageError("The compound file would need more sectors than the format can number");
    return plan;
}

TCompoundFileWriter::TCompoundFileWriter(const TWriteNode& root, uint16_t majorVersion)
    : majorVersion_(majorVersion)
{
    // Directory order: the root, then each storage's children together, storage after storage.
    entries_.push_back({ &root, kTypeRoot });
    for (size_t i = 0; i < entries_.size(); ++i) {
        const TWriteNode* node = entries_[i].Node;
        if (!node->IsStorage || node->Children.empty())
            continue;
        uint64_t count = node->Children.size();
        if (entries_.size() + count > kMaxRegularStreamId)
            throw EStorageError("A compound file cannot hold that many elements");
        auto first = static_cast<uint32_t>(entries_.size());
        for (const auto& [name, child] : node->Children)
            entries_.push_back({ child.get(), child->IsStorage ? kTypeStorage : kTypeStream });
        // A perfectly balanced tree is a valid red-black tree when it is all black if it is full, and otherwise
        // when its deepest (incomplete) level is red: every path then passes the same number of black nodes.
        auto n = static_cast<uint32_t>(count);
        bool full = ((n + 1) & n) == 0;
        uint32_t redDepth = full ? UINT32_MAX : static_cast<uint32_t>(std::bit_width(n) - 1);
        entries_[i].Child = LinkSiblings(first, n, 0, redDepth);
    }

    uint64_t dataSectors = 0;
    for (TFlatEntry& e : entries_) {
        if (e.Type != kTypeStream)
            continue;
        e.Size = e.Node->Data.size();
        if (e.Size == 0)
            continue;
        if (e.Size < kMiniStreamCutoff)
            miniSectorCount_ += CeilDiv(e.Size, kMiniSectorSize);
        else
            dataSectors += CeilDiv(e.Size, majorVersion == kVersion3 ? 512 : 4096);
    }
    plan_ = PlanSectors(majorVersion, entries_.size(), miniSectorCount_, dataSectors);

    difatStart_ = plan_.FatSectors;
    directoryStart_ = difatStart_ + plan_.DifatSectors;
    miniFatStart_ = directoryStart_ + plan_.DirectorySectors;
    miniStreamStart_ = miniFatStart_ + plan_.MiniFatSectors;
    dataStart_ = miniStreamStart_ + plan_.MiniStreamSectors;

    uint64_t nextMini = 0;
    uint64_t nextData = dataStart_;
    for (TFlatEntry& e : entries_) {
        if (e.Type != kTypeStream || e.Size == 0)
            continue;
        if (e.Size < kMiniStreamCutoff) {
            e.Start = Sector(nextMini);
            nextMini += CeilDiv(e.Size, kMiniSectorSize);
        } else {
            e.Start = Sector(nextData);
            nextData += CeilDiv(e.Size, plan_.SectorSize);
        }
    }
    TFlatEntry& rootEntry = entries_[0];
    rootEntry.Size = miniSectorCount_ * kMiniSectorSize;
    rootEntry.Start = miniSectorCount_ > 0 ? Sector(miniStreamStart_) : kEndOfChain;
}

uint32_t TCompoundFileWriter::LinkSiblings(uint32_t first, uint32_t count, uint32_t depth, uint32_t redDepth)
{
    if (count == 0)
        return kNoStream;
    uint32_t middle = count / 2;
    uint32_t id = first + middle;
    entries_[id].Color = depth == redDepth ? kColorRed : kColorBlack;
    entries_[id].Left = LinkSiblings(first, middle, depth + 1, redDepth);
    entries_[id].Right = LinkSiblings(id + 1, count - middle - 1, depth + 1, redDepth);
    return id;
}

void TCompoundFileWriter::WriteTo(TStream& out) const
{
    WriteHeader(out);
    WriteFatAndDifat(out);
    WriteDirectory(out);
    WriteMiniFat(out);
    WriteMiniStream(out);
    WriteStreams(out);
}

void TCompoundFileWriter::WriteHeader(TStream& out) const
{
    std::string bytes(plan_.SectorSize, '\0');
    auto* h = reinterpret_cast<unsigned char*>(bytes.data());
    std::memcpy(h, kSignature, sizeof kSignature);
    StoreLE16(h + header::kMinorVersion, kMinorVersion);
    StoreLE16(h + header::kMajorVersion, majorVersion_);
    StoreLE16(h + header::kByteOrder, kByteOrderMark);
    StoreLE16(h + header::kSectorShift, majorVersion_ == kVersion3 ? kVersion3SectorShift : kVersion4SectorShift);
    StoreLE16(h + header::kMiniSectorShift, kMiniSectorShift);
    // Version 3 leaves the directory sector count 0.
    StoreLE32(h + header::kDirectorySectorCount, majorVersion_ == kVersion3 ? 0 : Sector(plan_.DirectorySectors));
    StoreLE32(h + header::kFatSectorCount, Sector(plan_.FatSectors));
    StoreLE32(h + header::kFirstDirectorySector, Sector(directoryStart_));
    StoreLE32(h + header::kMiniStreamCutoff, kMiniStreamCutoff);
    StoreLE32(h + header::kFirstMiniFatSector, plan_.MiniFatSectors > 0 ? Sector(miniFatStart_) : kEndOfChain);
    StoreLE32(h + header::kMiniFatSectorCount, Sector(plan_.MiniFatSectors));
    StoreLE32(h + header::kFirstDifatSector, plan_.DifatSectors > 0 ? Sector(difatStart_) : kEndOfChain);
    StoreLE32(h + header::kDifatSectorCount, Sector(plan_.DifatSectors));
    for (size_t i = 0; i < kHeaderDifatEntries; ++i)
        StoreLE32(h + header::kDifat + 4 * i, i < plan_.FatSectors ? static_cast<uint32_t>(i) : kFreeSector);
    out.WriteBuffer(bytes.data(), bytes.size());
}

void TCompoundFileWriter::WriteFatAndDifat(TStream& out) const
{
    const uint64_t perSector = plan_.SectorSize / 4;
    std::vector<uint32_t> fat(static_cast<size_t>(plan_.FatSectors * perSector), kFreeSector);
    for (uint64_t s = 0; s < plan_.FatSectors; ++s)
        fat[static_cast<size_t>(s)] = kFatSector;
    for (uint64_t s = 0; s < plan_.DifatSectors; ++s)
        fat[static_cast<size_t>(difatStart_ + s)] = kDifatSector;
    Chain(fat, directoryStart_, plan_.DirectorySectors);
    Chain(fat, miniFatStart_, plan_.MiniFatSectors);
    Chain(fat, miniStreamStart_, plan_.MiniStreamSectors);
    for (const TFlatEntry& e : entries_)
        if (e.Type == kTypeStream && e.Size >= kMiniStreamCutoff)
            Chain(fat, e.Start, CeilDiv(e.Size, plan_.SectorSize));
    WriteTable(out, fat);

    // FAT sectors past the 109 the header lists, in DIFAT sectors that each end with the next one's number.
    if (plan_.DifatSectors == 0)
        return;
    std::vector<uint32_t> difat(static_cast<size_t>(plan_.DifatSectors * perSector), kFreeSector);
    uint64_t fatSector = kHeaderDifatEntries;
    for (uint64_t d = 0; d < plan_.DifatSectors; ++d) {
        size_t base = static_cast<size_t>(d * perSector);
        for (uint64_t k = 0; k + 1 < perSector && fatSector < plan_.FatSectors; ++k)
            difat[base + k] = Sector(fatSector++);
        difat[base + perSector - 1] = d + 1 < plan_.DifatSectors ? Sector(difatStart_ + d + 1) : kEndOfChain;
    }
    WriteTable(out, difat);
}

void TCompoundFileWriter::WriteDirectory(TStream& out) const
{
    const size_t perSector = plan_.SectorSize / kDirectoryEntrySize;
    std::string bytes(plan_.SectorSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(bytes.data());
    size_t index = 0;
    for (uint64_t s = 0; s < plan_.DirectorySectors; ++s) {
        std::memset(p, 0, bytes.size());
        for (size_t k = 0; k < perSector; ++k, ++index) {
            unsigned char* d = p + k * kDirectoryEntrySize;
            if (index >= entries_.size()) {
                // Unused entries are zero but for their links, which point nowhere.
                StoreLE32(d + entry::kLeft, kNoStream);
                StoreLE32(d + entry::kRight, kNoStream);
                StoreLE32(d + entry::kChild, kNoStream);
                continue;
            }
            const TFlatEntry& e = entries_[index];
            const std::u16string& name = e.Type == kTypeRoot ? std::u16string(kRootEntryName) : e.Node->Name;
            for (size_t u = 0; u < name.size(); ++u)
                StoreLE16(d + entry::kName + 2 * u, name[u]);
            StoreLE16(d + entry::kNameLength, static_cast<uint16_t>((name.size() + 1) * 2));
            d[entry::kType] = e.Type;
            d[entry::kColor] = e.Color;
            StoreLE32(d + entry::kLeft, e.Left);
            StoreLE32(d + entry::kRight, e.Right);
            StoreLE32(d + entry::kChild, e.Child);
            if (e.Type != kTypeStream) {
                std::memcpy(d + entry::kClsid, e.Node->Clsid.data(), 16);
                StoreLE32(d + entry::kStateBits, e.Node->StateBits);
                // The root keeps no creation time.
                StoreLE64(d + entry::kCreationTime, e.Type == kTypeRoot ? 0 : e.Node->CreationTime);
                StoreLE64(d + entry::kModifiedTime, e.Node->ModifiedTime);
            }
            if (e.Type != kTypeStorage) {
                StoreLE32(d + entry::kStartSector, e.Start);
                StoreLE64(d + entry::kSize, e.Size);
            }
        }
        out.WriteBuffer(bytes.data(), bytes.size());
    }
}

void TCompoundFileWriter::WriteMiniFat(TStream& out) const
{
    if (plan_.MiniFatSectors == 0)
        return;
    std::vector<uint32_t> table(static_cast<size_t>(plan_.MiniFatSectors * (plan_.SectorSize / 4)), kFreeSector);
    for (const TFlatEntry& e : entries_)
        if (e.Type == kTypeStream && e.Size > 0 && e.Size < kMiniStreamCutoff)
            Chain(table, e.Start, CeilDiv(e.Size, kMiniSectorSize));
    WriteTable(out, table);
}

void TCompoundFileWriter::WriteMiniStream(TStream& out) const
{
    if (plan_.MiniStreamSectors == 0)
        return;
    for (const TFlatEntry& e : entries_) {
        if (e.Type != kTypeStream || e.Size == 0 || e.Size >= kMiniStreamCutoff)
            continue;
        out.WriteBuffer(e.Node->Data.data(), e.Node->Data.size());
        WritePadding(out, CeilDiv(e.Size, kMiniSectorSize) * kMiniSectorSize - e.Size);
    }
    WritePadding(out, plan_.MiniStreamSectors * plan_.SectorSize - miniSectorCount_ * kMiniSectorSize);
}

void TCompoundFileWriter::WriteStreams(TStream& out) const
{
    for (const TFlatEntry& e : entries_) {
        if (e.Type != kTypeStream || e.Size < kMiniStreamCutoff)
            continue;
        WriteData(out, e.Node->Data);
        WritePadding(out, CeilDiv(e.Size, plan_.SectorSize) * plan_.SectorSize - e.Size);
    }
}

} // namespace pelmsg::cfb
