#include "storage/cfb_image.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "core/byte_reader.h"
#include "core/errors.h"
#include "core/texts.h"
#include "storage/element_name.h"

namespace pelmsg::cfb {

namespace {

// Owners of sectors besides directory entries (whose ids are below kMaxRegularStreamId).
constexpr uint32_t kOwnerFree = 0xFFFFFFFF;
constexpr uint32_t kOwnerFat = 0xFFFFFFFE;
constexpr uint32_t kOwnerDifat = 0xFFFFFFFD;
constexpr uint32_t kOwnerDirectory = 0xFFFFFFFC;
constexpr uint32_t kOwnerMiniFat = 0xFFFFFFFB;

// Metadata is read in runs of contiguous sectors up to this size.
constexpr size_t kMaxRunBytes = size_t { 256 } * 1024;

std::string Num(uint64_t v) { return std::to_string(v); }

[[noreturn]] void ThrowStructureOutOfBounds(uint64_t offset)
{
    throw EStorageError("Compound file structure read out of bounds at " + Num(offset));
}

// The header or directory bytes in hand, read with the checks of a damaged structure.
TByteView StructureView(const std::string& bytes) { return TByteView(bytes, ThrowStructureOutOfBounds); }

uint64_t CeilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

void AppendExtent(std::vector<TExtent>& extents, uint64_t streamOffset, uint64_t fileOffset, uint64_t length)
{
    if (!extents.empty()) {
        TExtent& last = extents.back();
        if (last.FileOffset + last.Length == fileOffset && last.StreamOffset + last.Length == streamOffset) {
            last.Length += length;
            return;
        }
    }
    extents.push_back({ streamOffset, fileOffset, length });
}

// The extent holding a stream offset (which the caller keeps below the stream's size).
std::vector<TExtent>::const_iterator ExtentAt(const std::vector<TExtent>& extents, uint64_t offset)
{
    auto next = std::upper_bound(
        extents.begin(), extents.end(), offset, [](uint64_t o, const TExtent& e) { return o < e.StreamOffset; });
    return std::prev(next);
}

void ToHostOrder(uint32_t* values, size_t count)
{
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < count; ++i)
            values[i] = LoadLE32(reinterpret_cast<const unsigned char*>(values + i));
    }
}

} // namespace

// Claims sectors for one chain and gives them back unless the walk completes, so that a chain that failed can
// be walked again and fail the same way.
class TClaims {
public:
    explicit TClaims(std::vector<uint32_t>& owners)
        : owners_(owners)
    {
    }
    ~TClaims()
    {
        if (!kept_)
            for (uint32_t s : claimed_)
                owners_[s] = kOwnerFree;
    }
    TClaims(const TClaims&) = delete;
    TClaims& operator=(const TClaims&) = delete;

    // The current owner when the sector is taken already, kOwnerFree when it was free and is now claimed.
    uint32_t Claim(uint32_t sector, uint32_t owner)
    {
        uint32_t& current = owners_[sector];
        if (current != kOwnerFree)
            return current;
        current = owner;
        claimed_.push_back(sector);
        return kOwnerFree;
    }
    void Keep() { kept_ = true; }

private:
    std::vector<uint32_t>& owners_;
    std::vector<uint32_t> claimed_;
    bool kept_ = false;
};

void TStreamLayout::Read(const TByteSource& source, uint64_t offset, void* buffer, size_t count) const
{
    if (count == 0)
        return;
    auto* out = static_cast<char*>(buffer);
    auto extent = ExtentAt(Extents, offset);
    while (count > 0) {
        uint64_t inside = offset - extent->StreamOffset;
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, extent->Length - inside));
        source.ReadAt(extent->FileOffset + inside, out, chunk);
        out += chunk;
        offset += chunk;
        count -= chunk;
        ++extent;
    }
}

TCompoundFileImage::TCompoundFileImage(std::unique_ptr<TByteSource> source)
    : source_(std::move(source))
    , fileSize_(source_->Size())
{
    std::string header;
    ReadHeader(header);
    LoadFat(header);
    LoadDirectory(header);
    BuildTree();
}

EStorageError TCompoundFileImage::Damaged(const std::string& what) const
{
    const std::string& name = source_->Name();
    return EStorageError(
        "Compound file" + (name.empty() ? std::string(" in memory") : " " + name) + " is damaged: " + what);
}

void TCompoundFileImage::ReadHeader(std::string& header)
{
    const std::string& name = source_->Name();
    auto notCompound = [&](const std::string& why) {
        return EStorageError(
            (name.empty() ? std::string("Data is not a compound file") : FormatMessage(SNotCompoundFile, name)) + ": "
            + why);
    };
    if (fileSize_ < kHeaderSize)
        throw notCompound("it is shorter than a compound-file header (" + Num(fileSize_) + " bytes)");
    header.resize(kHeaderSize);
    source_->ReadAt(0, header.data(), kHeaderSize);
    TByteView h = StructureView(header);
    if (std::memcmp(h.At(0, sizeof kSignature), kSignature, sizeof kSignature) != 0)
        throw notCompound("the compound-file signature is missing");
    if (h.U16(header::kByteOrder) != kByteOrderMark)
        throw Damaged("the header's byte-order mark is wrong");
    majorVersion_ = h.U16(header::kMajorVersion);
    uint16_t shift = h.U16(header::kSectorShift);
    if (majorVersion_ != kVersion3 && majorVersion_ != kVersion4)
        throw Damaged("unknown format version " + Num(majorVersion_) + " (versions 3 and 4 are known)");
    uint16_t expectedShift = majorVersion_ == kVersion3 ? kVersion3SectorShift : kVersion4SectorShift;
    if (shift != expectedShift)
        throw Damaged("sector shift " + Num(shift) + " does not belong to version " + Num(majorVersion_));
    if (h.U16(header::kMiniSectorShift) != kMiniSectorShift)
        throw Damaged("mini sector shift " + Num(h.U16(header::kMiniSectorShift)) + " instead of 6");
    if (h.U32(header::kMiniStreamCutoff) != kMiniStreamCutoff)
        throw Damaged("mini stream cutoff " + Num(h.U32(header::kMiniStreamCutoff)) + " instead of 4096");
    sectorSize_ = 1u << shift;
    // Sector n starts at (n + 1) * sector size: the header takes the first sector's place.
    if (fileSize_ < sectorSize_)
        throw Damaged("the file ends inside its header sector");
    sectorCount_ = static_cast<uint32_t>(
        std::min<uint64_t>(CeilDiv(fileSize_ - sectorSize_, sectorSize_), uint64_t { kMaxRegularSector } + 1));
    owners_.assign(sectorCount_, kOwnerFree);
    firstMiniFatSector_ = h.U32(header::kFirstMiniFatSector);
}

void TCompoundFileImage::ReadSectors(uint32_t first, uint32_t count, unsigned char* buffer) const
{
    uint64_t offset = SectorOffset(first);
    uint64_t length = static_cast<uint64_t>(count) * sectorSize_;
    if (offset >= fileSize_)
        throw Damaged("sector " + Num(first) + " lies beyond the end of the file");
    uint64_t present = std::min(length, fileSize_ - offset);
    source_->ReadAt(offset, buffer, static_cast<size_t>(present));
    std::memset(buffer + present, 0, static_cast<size_t>(length - present));
}

std::string TCompoundFileImage::OwnerName(uint32_t owner) const
{
    switch (owner) {
    case kOwnerFat:
        return "the FAT";
    case kOwnerDifat:
        return "the DIFAT";
    case kOwnerDirectory:
        return "the directory";
    case kOwnerMiniFat:
        return "the mini FAT";
    case 0:
        return "the mini stream";
    default:
        return "stream " + PathOf(owner);
    }
}

uint32_t TCompoundFileImage::NextSector(uint32_t sector, const std::string& what) const
{
    if (sector >= fat_.size())
        throw Damaged("sector " + Num(sector) + " of " + what + " has no FAT entry");
    return fat_[sector];
}

void TCompoundFileImage::LoadFat(const std::string& header)
{
    TByteView h = StructureView(header);
    uint32_t fatCount = h.U32(header::kFatSectorCount);
    if (fatCount == 0)
        throw Damaged("the header lists no FAT sectors");
    if (fatCount > sectorCount_)
        throw Damaged("the header lists " + Num(fatCount) + " FAT sectors but the file holds only " + Num(sectorCount_)
            + " sectors");

    std::vector<uint32_t> fatSectors;
    fatSectors.reserve(fatCount);
    for (size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(h.U32(header::kDifat + 4 * i));

    // The rest of the list is in DIFAT sectors, each ending with the number of the next one.
    const size_t perDifatSector = sectorSize_ / 4 - 1;
    std::vector<unsigned char> sector(sectorSize_);
    uint32_t difat = h.U32(header::kFirstDifatSector);
    TClaims claims(owners_);
    while (fatSectors.size() < fatCount) {
        if (difat >= sectorCount_) {
            if (difat > kMaxRegularSector)
                throw Damaged("the DIFAT ends after listing " + Num(fatSectors.size()) + " of the " + Num(fatCount)
                    + " FAT sectors");
            throw Damaged("DIFAT sector " + Num(difat) + " lies beyond the end of the file");
        }
        if (uint32_t owner = claims.Claim(difat, kOwnerDifat); owner != kOwnerFree)
            throw Damaged(owner == kOwnerDifat ? "the DIFAT sector chain loops at sector " + Num(difat)
                                               : "the DIFAT and " + OwnerName(owner) + " share sector " + Num(difat));
        ReadSectors(difat, 1, sector.data());
        size_t take = std::min(perDifatSector, fatCount - fatSectors.size());
        for (size_t i = 0; i < take; ++i)
            fatSectors.push_back(LoadLE32(sector.data() + 4 * i));
        difat = LoadLE32(sector.data() + 4 * perDifatSector);
    }

    for (uint32_t s : fatSectors) {
        if (s >= sectorCount_)
            throw Damaged(s > kMaxRegularSector ? "the DIFAT lists a marker instead of a FAT sector"
                                                : "FAT sector " + Num(s) + " lies beyond the end of the file");
        if (uint32_t owner = claims.Claim(s, kOwnerFat); owner != kOwnerFree)
            throw Damaged(owner == kOwnerFat ? "FAT sector " + Num(s) + " is listed twice"
                                             : "the FAT and " + OwnerName(owner) + " share sector " + Num(s));
    }
    claims.Keep();

    // fatCount <= sectorCount_, so the table is never larger than the file.
    const size_t perFatSector = sectorSize_ / 4;
    fat_.resize(static_cast<size_t>(fatCount) * perFatSector);
    for (size_t i = 0; i < fatSectors.size();) {
        size_t run = 1;
        while (i + run < fatSectors.size() && fatSectors[i + run] == fatSectors[i] + run
            && (run + 1) * sectorSize_ <= kMaxRunBytes)
            ++run;
        ReadSectors(
            fatSectors[i], static_cast<uint32_t>(run), reinterpret_cast<unsigned char*>(&fat_[i * perFatSector]));
        i += run;
    }
    ToHostOrder(fat_.data(), fat_.size());
}

void TCompoundFileImage::ClaimChainSector(uint32_t s, uint32_t owner, const std::string& what, TClaims& claims)
{
    if (s >= sectorCount_)
        throw Damaged(s > kMaxRegularSector ? "the sector chain of " + what + " runs into a free or reserved sector"
                                            : "sector " + Num(s) + " of " + what + " lies beyond the end of the file");
    if (uint32_t current = claims.Claim(s, owner); current != kOwnerFree)
        throw Damaged(current == owner
                ? "the sector chain of " + what + " loops at sector " + Num(s)
                : "the sector chains of " + what + " and " + OwnerName(current) + " cross at sector " + Num(s));
}

std::vector<uint32_t> TCompoundFileImage::WholeChain(
    uint32_t start, uint32_t owner, const std::string& what, TClaims& claims)
{
    std::vector<uint32_t> chain;
    for (uint32_t s = start; s != kEndOfChain;) {
        ClaimChainSector(s, owner, what, claims);
        chain.push_back(s);
        s = NextSector(s, what);
    }
    return chain;
}

void TCompoundFileImage::LoadDirectory(const std::string& header)
{
    TClaims claims(owners_);
    std::vector<uint32_t> sectors = WholeChain(
        StructureView(header).U32(header::kFirstDirectorySector), kOwnerDirectory, "the directory", claims);
    claims.Keep();
    if (sectors.empty())
        throw Damaged("the directory is empty");
    const size_t perSector = sectorSize_ / kDirectoryEntrySize;
    size_t count = std::min<uint64_t>(static_cast<uint64_t>(sectors.size()) * perSector, kMaxRegularStreamId);
    entries_.resize(count);

    std::vector<unsigned char> buffer;
    size_t index = 0;
    for (size_t i = 0; i < sectors.size() && index < count;) {
        size_t run = 1;
        while (
            i + run < sectors.size() && sectors[i + run] == sectors[i] + run && (run + 1) * sectorSize_ <= kMaxRunBytes)
            ++run;
        buffer.resize(run * sectorSize_);
        ReadSectors(sectors[i], static_cast<uint32_t>(run), buffer.data());
        TByteView view(buffer.data(), buffer.size(), ThrowStructureOutOfBounds);
        for (size_t offset = 0; offset < buffer.size() && index < count; offset += kDirectoryEntrySize, ++index) {
            TDirectoryEntry& e = entries_[index];
            uint16_t nameBytes = view.U16(offset + entry::kNameLength);
            const unsigned char* name = view.At(offset + entry::kName, entry::kNameBytes);
            size_t units = 0;
            // A well-formed length counts a terminating NUL; otherwise the name runs to the first NUL.
            if (nameBytes >= 2 && nameBytes <= entry::kNameBytes && nameBytes % 2 == 0
                && LoadLE16(name + nameBytes - 2) == 0) {
                units = nameBytes / 2u - 1;
            } else {
                while (units < entry::kNameBytes / 2 && LoadLE16(name + 2 * units) != 0)
                    ++units;
            }
            e.Name.resize(units);
            for (size_t u = 0; u < units; ++u)
                e.Name[u] = static_cast<char16_t>(LoadLE16(name + 2 * u));
            e.Type = view.U8(offset + entry::kType);
            e.Left = view.U32(offset + entry::kLeft);
            e.Right = view.U32(offset + entry::kRight);
            e.Child = view.U32(offset + entry::kChild);
            std::memcpy(e.Clsid.data(), view.At(offset + entry::kClsid, 16), 16);
            e.StateBits = view.U32(offset + entry::kStateBits);
            e.CreationTime = view.U64(offset + entry::kCreationTime);
            e.ModifiedTime = view.U64(offset + entry::kModifiedTime);
            e.StartSector = view.U32(offset + entry::kStartSector);
            // Old writers left garbage in the high half of version-3 sizes; those files cannot pass 4 GB.
            e.Size = majorVersion_ == kVersion3 ? view.U32(offset + entry::kSize) : view.U64(offset + entry::kSize);
        }
        i += run;
    }
}

void TCompoundFileImage::BuildTree()
{
    if (entries_[0].Type != kTypeRoot)
        throw Damaged("the first directory entry is not the root storage");
    const uint32_t count = static_cast<uint32_t>(entries_.size());
    std::vector<bool> reached(count, false);
    reached[0] = true;

    struct TPendingStorage {
        uint32_t Id;
        int Depth;
    };
    std::vector<TPendingStorage> storages { { 0, 0 } };
    std::vector<uint32_t> found;
    std::vector<uint32_t> pending;
    while (!storages.empty()) {
        TPendingStorage storage = storages.back();
        storages.pop_back();
        // Every entry of the storage's sibling tree, each reachable once only: an id seen before is a cycle or
        // an entry shared between storages, both refused so that no walk can go round for ever.
        found.clear();
        pending.clear();
        if (entries_[storage.Id].Child != kNoStream)
            pending.push_back(entries_[storage.Id].Child);
        while (!pending.empty()) {
            uint32_t id = pending.back();
            pending.pop_back();
            // A link to an entry that does not exist or is unused leads to nothing: writers have left such links
            // to zeroed entries, and the elements that are there are still worth reading.
            if (id >= count || entries_[id].Type == kTypeUnused)
                continue;
            if (reached[id])
                throw Damaged("directory entry " + Num(id) + " is reached twice (the directory tree of "
                    + PathOf(storage.Id) + " has a cycle)");
            reached[id] = true;
            TDirectoryEntry& e = entries_[id];
            if (e.Type != kTypeStorage && e.Type != kTypeStream)
                throw Damaged("directory entry " + Num(id) + " in storage " + PathOf(storage.Id)
                    + " is neither a storage nor a stream (type " + Num(e.Type) + ")");
            e.Parent = storage.Id;
            found.push_back(id);
            if (e.Left != kNoStream)
                pending.push_back(e.Left);
            if (e.Right != kNoStream)
                pending.push_back(e.Right);
        }
        // The tree should already be in this order; sorting makes enumeration right even when it is not. Of
        // elements with the same name only the first written (lowest id) is kept, so that every element listed
        // is the one its name opens.
        std::sort(found.begin(), found.end(), [this](uint32_t a, uint32_t b) {
            int c = CompareElementNames(entries_[a].Name, entries_[b].Name);
            return c != 0 ? c < 0 : a < b;
        });
        found.erase(std::unique(found.begin(), found.end(),
                        [this](uint32_t a, uint32_t b) {
                            return CompareElementNames(entries_[a].Name, entries_[b].Name) == 0;
                        }),
            found.end());
        TDirectoryEntry& s = entries_[storage.Id];
        s.FirstChild = static_cast<uint32_t>(children_.size());
        s.ChildCount = static_cast<uint32_t>(found.size());
        children_.insert(children_.end(), found.begin(), found.end());
        for (uint32_t id : found) {
            if (entries_[id].Type != kTypeStorage)
                continue;
            if (storage.Depth + 1 > kMaxStorageDepth)
                throw Damaged("storages nest deeper than " + Num(kMaxStorageDepth) + " levels");
            storages.push_back({ id, storage.Depth + 1 });
        }
    }
}

const TDirectoryEntry& TCompoundFileImage::Entry(uint32_t id) const
{
    if (id >= entries_.size())
        throw Damaged("there is no directory entry " + Num(id));
    return entries_[id];
}

std::span<const uint32_t> TCompoundFileImage::Children(uint32_t storageId) const
{
    const TDirectoryEntry& e = Entry(storageId);
    return std::span<const uint32_t>(children_).subspan(e.FirstChild, e.ChildCount);
}

uint32_t TCompoundFileImage::FindChild(uint32_t storageId, std::u16string_view name) const
{
    auto children = Children(storageId);
    auto it = std::lower_bound(children.begin(), children.end(), name,
        [this](uint32_t id, std::u16string_view n) { return CompareElementNames(entries_[id].Name, n) < 0; });
    if (it != children.end() && CompareElementNames(entries_[*it].Name, name) == 0)
        return *it;
    return kNoStream;
}

std::string TCompoundFileImage::PathOf(uint32_t id) const
{
    if (id >= entries_.size())
        return std::string("#").append(Num(id));
    if (id == 0)
        return "/";
    std::vector<uint32_t> chain;
    for (uint32_t e = id; e != 0 && e < entries_.size() && chain.size() <= kMaxStorageDepth + 1; e = entries_[e].Parent)
        chain.push_back(e);
    std::string path;
    for (size_t i = chain.size(); i-- > 0;) {
        path += '/';
        path += NameForMessage(entries_[chain[i]].Name);
    }
    return path;
}

TStreamLayout TCompoundFileImage::RegularLayout(
    uint32_t start, uint64_t size, uint32_t owner, const std::string& what, TClaims& claims)
{
    TStreamLayout layout;
    layout.Size = size;
    uint64_t needed = CeilDiv(size, sectorSize_);
    if (needed > sectorCount_)
        throw Damaged(what + " claims " + Num(size) + " bytes, more than the file holds");
    uint32_t s = start;
    for (uint64_t i = 0; i < needed; ++i) {
        if (s == kEndOfChain)
            throw Damaged(
                "the sector chain of " + what + " ends after " + Num(i) + " of its " + Num(needed) + " sectors");
        ClaimChainSector(s, owner, what, claims);
        uint64_t length = i + 1 < needed ? sectorSize_ : size - i * sectorSize_;
        uint64_t offset = SectorOffset(s);
        if (offset + length > fileSize_)
            throw Damaged(what + " lies partly beyond the end of the file (the file is truncated)");
        AppendExtent(layout.Extents, i * sectorSize_, offset, length);
        if (i + 1 < needed)
            s = NextSector(s, what);
    }
    return layout;
}

void TCompoundFileImage::LoadMiniStream()
{
    if (miniStreamLoaded_)
        return;
    // The claims stay only when everything loads, so that a failure repeats the same way next time.
    TClaims claims(owners_);
    const TDirectoryEntry& root = entries_[0];
    TStreamLayout stream = RegularLayout(root.StartSector, root.Size, 0, "the mini stream", claims);
    std::vector<uint32_t> fatSectors = WholeChain(firstMiniFatSector_, kOwnerMiniFat, "the mini FAT", claims);
    const size_t perSector = sectorSize_ / 4;
    std::vector<uint32_t> table(fatSectors.size() * perSector);
    for (size_t i = 0; i < fatSectors.size(); ++i)
        ReadSectors(fatSectors[i], 1, reinterpret_cast<unsigned char*>(&table[i * perSector]));
    ToHostOrder(table.data(), table.size());
    claims.Keep();
    miniFat_ = std::move(table);
    miniStream_ = std::move(stream);
    miniOwners_.assign(static_cast<size_t>(CeilDiv(miniStream_.Size, kMiniSectorSize)), kOwnerFree);
    miniStreamLoaded_ = true;
}

TStreamLayout TCompoundFileImage::MiniLayout(uint32_t start, uint64_t size, uint32_t owner, const std::string& what)
{
    LoadMiniStream();
    TStreamLayout layout;
    layout.Size = size;
    const uint64_t miniCount = miniOwners_.size();
    uint64_t needed = CeilDiv(size, kMiniSectorSize);
    if (needed > miniCount)
        throw Damaged(what + " claims " + Num(size) + " bytes, more than the mini stream holds");
    TClaims claims(miniOwners_);
    uint32_t m = start;
    for (uint64_t i = 0; i < needed; ++i) {
        if (m >= miniCount) {
            if (m == kEndOfChain)
                throw Damaged("the mini sector chain of " + what + " ends after " + Num(i) + " of its " + Num(needed)
                    + " mini sectors");
            throw Damaged("mini sector " + Num(m) + " of " + what + " lies beyond the end of the mini stream");
        }
        if (uint32_t current = claims.Claim(m, owner); current != kOwnerFree)
            throw Damaged(current == owner ? "the mini sector chain of " + what + " loops at mini sector " + Num(m)
                                           : "the mini sector chains of " + what + " and " + OwnerName(current)
                        + " cross at mini sector " + Num(m));
        uint64_t length = i + 1 < needed ? kMiniSectorSize : size - i * kMiniSectorSize;
        uint64_t inMini = static_cast<uint64_t>(m) * kMiniSectorSize;
        if (inMini + length > miniStream_.Size)
            throw Damaged(what + " lies partly beyond the end of the mini stream");
        // Map the mini sector's bytes through the mini stream's own pieces.
        uint64_t done = 0;
        for (auto e = ExtentAt(miniStream_.Extents, inMini); done < length; ++e) {
            uint64_t inside = inMini + done - e->StreamOffset;
            uint64_t chunk = std::min(length - done, e->Length - inside);
            AppendExtent(layout.Extents, i * kMiniSectorSize + done, e->FileOffset + inside, chunk);
            done += chunk;
        }
        if (i + 1 < needed) {
            if (m >= miniFat_.size())
                throw Damaged("mini sector " + Num(m) + " of " + what + " has no mini FAT entry");
            m = miniFat_[m];
        }
    }
    claims.Keep();
    return layout;
}

std::shared_ptr<const TStreamLayout> TCompoundFileImage::StreamLayout(uint32_t streamId)
{
    if (auto it = layouts_.find(streamId); it != layouts_.end())
        return it->second;
    const TDirectoryEntry& e = Entry(streamId);
    if (e.Type != kTypeStream)
        throw EStorageError(PathOf(streamId) + " is not a stream");
    std::string what = "stream " + PathOf(streamId);
    TStreamLayout layout;
    if (e.Size >= kMiniStreamCutoff) {
        TClaims claims(owners_);
        layout = RegularLayout(e.StartSector, e.Size, streamId, what, claims);
        claims.Keep();
    } else if (e.Size > 0) {
        layout = MiniLayout(e.StartSector, e.Size, streamId, what);
    }
    auto shared = std::make_shared<const TStreamLayout>(std::move(layout));
    layouts_.emplace(streamId, shared);
    return shared;
}

} // namespace pelmsg::cfb
