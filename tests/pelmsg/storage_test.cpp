#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sys/resource.h>

#include "core/byte_order.h"
#include "storage/cfb_format.h"
#include "storage/cfb_writer.h"
#include "storage/element_name.h"
#include "storage/storage.h"
#include "storage/write_storage.h"
#include "test_support.h"
#include "tnef_builder.h"

using namespace pelmsg;
using pelmsg::test::CommandResult;
using pelmsg::test::RunCommand;
using pelmsg::test::TempDir;

namespace pelmsg {

// Readable failure output.
void PrintTo(const STATSTG& s, std::ostream* os)
{
    *os << "{" << test::U8(s.pwcsName) << " type " << s.type << " size " << s.cbSize << " mtime " << s.mtime
        << " ctime " << s.ctime << " atime " << s.atime << " mode " << s.grfMode << " locks " << s.grfLocksSupported
        << " clsid";
    for (uint8_t b : s.clsid)
        *os << " " << int { b };
    *os << " bits " << s.grfStateBits << " reserved " << s.reserved << "}";
}

} // namespace pelmsg

namespace {

// ---- building and listing trees ----

std::string Pattern(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

void PutStream(IStorage& storage, const std::u16string& name, const std::string& data)
{
    auto stream = storage.CreateStream(name);
    EXPECT_EQ(stream->Write(data.data(), data.size()), data.size());
}

std::string ReadAll(IStream& stream)
{
    std::string out;
    char block[1000];
    for (size_t n; (n = stream.Read(block, sizeof block)) > 0;)
        out.append(block, n);
    return out;
}

// Everything a tree holds, for whole-tree comparisons: path, kind, bytes and what storages keep.
struct TElement {
    std::u16string Path;
    uint32_t Type;
    std::string Data;
    TClassId Clsid;
    uint32_t StateBits;
    uint64_t Ctime;
    uint64_t Mtime;
    bool operator==(const TElement&) const = default;
    friend void PrintTo(const TElement& e, std::ostream* os)
    {
        *os << "\n{" << test::U8(e.Path) << " type " << e.Type << " " << e.Data.size() << " bytes, bits " << e.StateBits
            << " ctime " << e.Ctime << " mtime " << e.Mtime << " clsid[0] " << int { e.Clsid[0] } << "}";
    }
};

void ListTree(IStorage& storage, const std::u16string& prefix, std::vector<TElement>& out)
{
    auto elements = storage.EnumElements();
    for (STATSTG s; elements->Next(s);) {
        std::u16string path = prefix + u"/" + s.pwcsName;
        if (s.type == STGTY_STREAM) {
            auto stream = storage.OpenStream(s.pwcsName);
            out.push_back({ path, s.type, ReadAll(*stream), s.clsid, s.grfStateBits, s.ctime, s.mtime });
        } else {
            out.push_back({ path, s.type, "", s.clsid, s.grfStateBits, s.ctime, s.mtime });
            ListTree(*storage.OpenStorage(s.pwcsName), path, out);
        }
    }
}

std::vector<TElement> ListTree(IStorage& root)
{
    std::vector<TElement> out;
    ListTree(root, u"", out);
    return out;
}

std::string CommitToMemory(const std::function<void(IStorage&)>& build, const TDocfileOptions& options = {})
{
    auto block = std::make_shared<TLockBytes>();
    auto root = StgCreateDocfileInMemory(block, options);
    build(*root);
    root->Commit();
    return block->TakeBytes();
}

constexpr TClassId kMessageClass
    = { 0x0B, 0x0D, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

// A message-like tree: mini and regular streams, an empty stream, nested and empty storages.
void BuildSample(IStorage& root)
{
    root.SetClass(kMessageClass);
    PutStream(root, u"__substg1.0_0037001F", Pattern(58, 1));
    PutStream(root, u"__substg1.0_1000001F", Pattern(9000, 2));
    PutStream(root, u"__properties_version1.0", Pattern(200, 3));
    PutStream(root, u"Empty", "");
    auto attach = root.CreateStorage(u"__attach_version1.0_#00000000");
    PutStream(*attach, u"__substg1.0_37010102", Pattern(5000, 4));
    auto embedded = attach->CreateStorage(u"__substg1.0_3701000D");
    embedded->SetStateBits(0x5, 0xFF);
    // Fixed times, so that separately built trees compare equal.
    attach->SetElementTimes(u"__substg1.0_3701000D", 132000000000000000, std::nullopt, 132100000000000000);
    root.SetElementTimes(u"__attach_version1.0_#00000000", 131000000000000000, std::nullopt, 131100000000000000);
    PutStream(*embedded, u"__substg1.0_0037001F", Pattern(4095, 5));
    PutStream(*embedded,
        u"\x01"
        u"CompObj",
        Pattern(107, 6));
    root.CreateStorage(u"__nameid_version1.0");
    root.SetElementTimes(u"__nameid_version1.0", 0, std::nullopt, 0);
}

// ---- raw access to a written file, to damage it on purpose ----

class TRawFile {
public:
    explicit TRawFile(std::string bytes)
        : bytes_(std::move(bytes))
    {
    }
    const std::string& Bytes() const { return bytes_; }
    uint32_t SectorSize() const { return 1u << U16(cfb::header::kSectorShift); }
    uint16_t U16(size_t offset) const { return LoadLE16(At(offset)); }
    uint32_t U32(size_t offset) const { return LoadLE32(At(offset)); }
    void Set16(size_t offset, uint16_t v) { StoreLE16(At(offset), v); }
    void Set32(size_t offset, uint32_t v) { StoreLE32(At(offset), v); }
    void Set64(size_t offset, uint64_t v) { StoreLE64(At(offset), v); }
    size_t SectorOffset(uint32_t sector) const { return (static_cast<size_t>(sector) + 1) * SectorSize(); }
    // FAT entries of the sectors the header's DIFAT covers.
    size_t FatOffset(uint32_t sector) const
    {
        uint32_t perSector = SectorSize() / 4;
        return SectorOffset(U32(cfb::header::kDifat + 4 * (sector / perSector))) + 4 * (sector % perSector);
    }
    uint32_t Fat(uint32_t sector) const { return U32(FatOffset(sector)); }
    void SetFat(uint32_t sector, uint32_t v) { Set32(FatOffset(sector), v); }
    // The offset of record `index` (of `size` bytes) in the chain that starts at the header's field `first`.
    size_t ChainOffset(size_t first, uint32_t index, uint32_t size) const
    {
        uint32_t perSector = SectorSize() / size;
        uint32_t s = U32(first);
        for (uint32_t k = 0; k < index / perSector; ++k)
            s = Fat(s);
        return SectorOffset(s) + size * (index % perSector);
    }
    size_t MiniFatOffset(uint32_t miniSector) const
    {
        return ChainOffset(cfb::header::kFirstMiniFatSector, miniSector, 4);
    }
    size_t EntryOffset(uint32_t id) const { return ChainOffset(cfb::header::kFirstDirectorySector, id, 128); }
    uint32_t EntryCount() const
    {
        uint32_t sectors = 0;
        for (uint32_t s = U32(cfb::header::kFirstDirectorySector); s != cfb::kEndOfChain; s = Fat(s))
            ++sectors;
        return sectors * (SectorSize() / 128);
    }
    std::u16string EntryName(uint32_t id) const
    {
        size_t at = EntryOffset(id);
        std::u16string name;
        for (size_t u = 0; u + 1 < U16(at + cfb::entry::kNameLength) / 2u; ++u)
            name += static_cast<char16_t>(U16(at + 2 * u));
        return name;
    }
    uint32_t Find(const std::u16string& name) const
    {
        for (uint32_t id = 0; id < EntryCount(); ++id)
            if (U16(EntryOffset(id) + cfb::entry::kNameLength) != 0 && EntryName(id) == name)
                return id;
        throw std::runtime_error("no entry " + test::U8(name));
    }
    uint32_t Field(uint32_t id, size_t field) const { return U32(EntryOffset(id) + field); }
    void SetField(uint32_t id, size_t field, uint32_t v) { Set32(EntryOffset(id) + field, v); }

private:
    unsigned char* At(size_t offset) const
    {
        if (offset + 4 > bytes_.size())
            throw std::runtime_error("raw access beyond the file");
        return reinterpret_cast<unsigned char*>(const_cast<char*>(bytes_.data())) + offset;
    }
    std::string bytes_;
};

// Opens an image and reads all it can. Structural faults must surface as EPelMsgError, when opening or when
// touching the element concerned; returns whether the image opened.
bool WalkImage(std::string bytes)
{
    std::function<void(IStorage&, int)> walk = [&](IStorage& storage, int depth) {
        ASSERT_LE(depth, cfb::kMaxStorageDepth + 1);
        auto elements = storage.EnumElements();
        for (STATSTG s; elements->Next(s);) {
            try {
                if (s.type == STGTY_STREAM) {
                    auto stream = storage.OpenStream(s.pwcsName);
                    EXPECT_EQ(ReadAll(*stream).size(), s.cbSize);
                } else {
                    walk(*storage.OpenStorage(s.pwcsName), depth + 1);
                }
            } catch (const EPelMsgError&) {
                // A damaged element; the others are still read.
            }
        }
    };
    try {
        auto root = StgOpenStorageOnMemory(std::move(bytes));
        walk(*root, 0);
        return true;
    } catch (const EPelMsgError&) {
        return false;
    }
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EStorageError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

// ---- round trips ----

TEST(StorageRoundTrip, NestedStoragesAndStreamsReadBackFromMemoryAndFile)
{
    auto expectedRoot = std::make_shared<TLockBytes>();
    auto expected = StgCreateDocfileInMemory(expectedRoot);
    BuildSample(*expected);
    std::vector<TElement> written = ListTree(*expected);
    ASSERT_EQ(written.size(), 10u);

    auto fromMemory = StgOpenStorageOnMemory(CommitToMemory(BuildSample));
    EXPECT_EQ(ListTree(*fromMemory), written);
    EXPECT_EQ(fromMemory->Stat().clsid, kMessageClass);

    TempDir dir;
    std::string file = dir.File("sample.msg");
    auto root = StgCreateDocfile(file);
    BuildSample(*root);
    root->Commit();
    EXPECT_TRUE(StgIsStorageFile(file));
    auto fromFile = StgOpenStorage(file);
    EXPECT_EQ(ListTree(*fromFile), written);
}

TEST(StorageRoundTrip, StreamsReadInPiecesAndSeek)
{
    std::string big = Pattern(20000, 7);
    std::string small = Pattern(1000, 8);
    auto root = StgOpenStorageOnMemory(CommitToMemory([&](IStorage& r) {
        PutStream(r, u"Big", big);
        PutStream(r, u"Small", small);
    }));
    for (const auto& [name, data] : { std::pair { u"Big", big }, std::pair { u"Small", small } }) {
        auto stream = root->OpenStream(name);
        std::string got;
        char block[777];
        for (size_t n; (n = stream->Read(block, sizeof block)) > 0;)
            got.append(block, n);
        EXPECT_EQ(got, data);
        EXPECT_EQ(stream->Seek(-10, STREAM_SEEK_END), data.size() - 10);
        EXPECT_EQ(stream->Read(block, sizeof block), 10u) << "a read at the end returns what is left";
        EXPECT_EQ(std::string(block, 10), data.substr(data.size() - 10));
        EXPECT_EQ(stream->Seek(100, STREAM_SEEK_SET), 100u);
        EXPECT_EQ(stream->Seek(-40, STREAM_SEEK_CUR), 60u);
        ASSERT_EQ(stream->Read(block, 3), 3u);
        EXPECT_EQ(std::string(block, 3), data.substr(60, 3));
        EXPECT_EQ(stream->Seek(int64_t { 1 } << 40, STREAM_SEEK_SET), uint64_t { 1 } << 40);
        EXPECT_EQ(stream->Read(block, sizeof block), 0u);
        EXPECT_THROW(stream->Seek(-1, STREAM_SEEK_SET), EStorageError);
        EXPECT_THROW(stream->Seek(INT64_MIN, STREAM_SEEK_CUR), EStorageError);
        EXPECT_THROW(stream->Seek(0, 3), EStorageError);
        EXPECT_THROW(stream->Write("x", 1), EStorageError);
    }
}

TEST(StorageRoundTrip, StreamCopyToCopiesAtMostCountFromThePosition)
{
    std::string data = Pattern(6000, 9);
    auto block = std::make_shared<TLockBytes>();
    auto root = StgCreateDocfileInMemory(block);
    PutStream(*root, u"Source", data);
    auto source = root->OpenStream(u"Source");
    auto target = root->CreateStream(u"Target");
    source->Seek(1000, STREAM_SEEK_SET);
    EXPECT_EQ(source->CopyTo(*target, 2000), 2000u);
    EXPECT_EQ(source->CopyTo(*target, 1u << 20), 3000u) << "stops at the end of the source";
    target->Seek(0, STREAM_SEEK_SET);
    EXPECT_EQ(ReadAll(*target), data.substr(1000));
}

TEST(StorageRoundTrip, WriteStreamsOverwriteExtendAndFillGapsWithZeros)
{
    auto root = StgCreateDocfileInMemory(std::make_shared<TLockBytes>());
    auto stream = root->CreateStream(u"S");
    stream->Write("abcdef", 6);
    stream->Seek(2, STREAM_SEEK_SET);
    stream->Write("XY", 2);
    stream->Seek(4, STREAM_SEEK_END);
    stream->Write("!", 1);
    stream->Seek(0, STREAM_SEEK_SET);
    EXPECT_EQ(ReadAll(*stream), std::string("abXYef\0\0\0\0!", 11));
    EXPECT_EQ(stream->Stat().cbSize, 11u);
}

TEST(StorageRoundTrip, CopyToCopiesEveryElementClassBitsAndTimes)
{
    auto source = StgOpenStorageOnMemory(CommitToMemory(BuildSample));
    auto block = std::make_shared<TLockBytes>();
    auto target = StgCreateDocfileInMemory(block);
    PutStream(*target, u"Empty", "replaced by the copy");
    source->CopyTo(*target);
    target->Commit();
    auto copy = StgOpenStorageOnMemory(block->TakeBytes());
    EXPECT_EQ(ListTree(*copy), ListTree(*source));
    EXPECT_EQ(copy->Stat().clsid, kMessageClass);
}

TEST(StorageRoundTrip, CopyIntoItselfOrItsOwnStorageIsRefused)
{
    auto root = StgCreateDocfileInMemory(std::make_shared<TLockBytes>());
    auto inner = root->CreateStorage(u"Inner");
    auto innermost = inner->CreateStorage(u"Innermost");
    EXPECT_THROW(root->CopyTo(*root), EStorageError);
    EXPECT_THROW(root->CopyTo(*innermost), EStorageError);
    auto other = root->CreateStorage(u"Other");
    EXPECT_NO_THROW(inner->CopyTo(*other));
    EXPECT_TRUE(other->StatElement(u"Innermost").has_value());
}

TEST(StorageRoundTrip, ElementsOutliveTheRootTheyCameFrom)
{
    auto root = StgOpenStorageOnMemory(CommitToMemory(BuildSample));
    auto attach = root->OpenStorage(u"__attach_version1.0_#00000000");
    auto stream = attach->OpenStream(u"__substg1.0_37010102");
    root.reset();
    EXPECT_EQ(ReadAll(*stream), Pattern(5000, 4));
    EXPECT_EQ(attach->OpenStorage(u"__substg1.0_3701000D")->Stat().grfStateBits, 5u);
}

// ---- saving to a file ----

TEST(StorageSave, NothingReachesTheFileBeforeCommitAndLaterCommitsAddChanges)
{
    TempDir dir;
    std::string file = dir.File("kept.msg");
    test::WriteFileBytes(file, "previous contents");
    {
        auto root = StgCreateDocfile(file);
        PutStream(*root, u"A", "never committed");
    }
    EXPECT_EQ(test::ReadFileBytes(file), "previous contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "temporary file left";

    auto root = StgCreateDocfile(file);
    PutStream(*root, u"A", "first");
    root->Commit();
    PutStream(*root, u"B", "second");
    root->Commit();
    auto read = StgOpenStorage(file);
    EXPECT_EQ(ReadAll(*read->OpenStream(u"A")), "first");
    EXPECT_EQ(ReadAll(*read->OpenStream(u"B")), "second");
}

TEST(StorageSave, AFailedCommitLeavesThePreviousFileAndCanBeRetried)
{
    TempDir dir;
    std::string file = dir.File("kept.msg");
    test::WriteFileBytes(file, "previous contents");
    auto root = StgCreateDocfile(file);
    PutStream(*root, u"Big", Pattern(1 << 20, 10));

    // A file size limit makes the write fail half-way, as a full disk would.
    struct rlimit saved { };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(root->Commit(), EPelMsgError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(test::ReadFileBytes(file), "previous contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "temporary file left";
    root->Commit();
    EXPECT_EQ(ReadAll(*StgOpenStorage(file)->OpenStream(u"Big")), Pattern(1 << 20, 10));
}

TEST(StorageSave, OpeningAndCreatingReportMissingFilesAndForeignData)
{
    TempDir dir;
    EXPECT_THROW(StgOpenStorage(dir.File("missing.msg")), EFileError);
    EXPECT_THROW(StgIsStorageFile(dir.File("missing.msg")), EFileError);
    EXPECT_THROW(StgCreateDocfile(dir.File("no/such/folder/x.msg")), EFileError);
    test::WriteFileBytes(dir.File("text.txt"), std::string(600, 'x'));
    EXPECT_FALSE(StgIsStorageFile(dir.File("text.txt")));
    EXPECT_NE(ErrorOf([&] { StgOpenStorage(dir.File("text.txt")); }).find("is not valid file (compound storage)"),
        std::string::npos);
    EXPECT_FALSE(StgIsStorageMemory(std::string(cfb::kHeaderSize - 1, '\0')));
    EXPECT_THROW(StgOpenStorageOnMemory("short"), EStorageError);
}

TEST(StorageSave, MissingElementsAndWrongKindsAreTold)
{
    auto root = StgOpenStorageOnMemory(CommitToMemory(BuildSample));
    EXPECT_THROW(root->OpenStream(u"Nothing"), EElementNotFound);
    EXPECT_THROW(root->OpenStorage(u"Nothing"), EElementNotFound);
    EXPECT_FALSE(root->StatElement(u"Nothing").has_value());
    EXPECT_THROW(root->OpenStream(u"__nameid_version1.0"), EStorageError);
    EXPECT_THROW(root->OpenStorage(u"Empty"), EStorageError);
    EXPECT_THROW(root->CreateStream(u"New"), EStorageError) << "opened files are read-only";
    EXPECT_THROW(root->SetClass({}), EStorageError);
}

// ---- where streams live ----

TEST(StorageMiniStream, StreamsUnder4096BytesLiveInTheMiniStreamOthersInSectors)
{
    const std::vector<size_t> sizes = { 0, 1, 63, 64, 65, 4095, 4096, 4097 };
    auto name = [](size_t size) { return test::W(std::to_string(size).insert(0, 1, 'S')); };
    TRawFile raw(CommitToMemory([&](IStorage& root) {
        for (size_t size : sizes)
            PutStream(root, name(size), Pattern(size, static_cast<uint32_t>(size)));
    }));
    auto root = StgOpenStorageOnMemory(raw.Bytes());
    uint32_t miniStreamStart = raw.Field(0, cfb::entry::kStartSector);
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string data = Pattern(size, static_cast<uint32_t>(size));
        EXPECT_EQ(ReadAll(*root->OpenStream(name(size))), data);
        uint32_t id = raw.Find(name(size));
        uint32_t start = raw.Field(id, cfb::entry::kStartSector);
        if (size == 0) {
            EXPECT_EQ(start, cfb::kEndOfChain);
            continue;
        }
        // Our layout keeps each chain in consecutive sectors, so the bytes can be found directly.
        size_t at = size < cfb::kMiniStreamCutoff ? raw.SectorOffset(miniStreamStart) + 64 * size_t { start }
                                                  : raw.SectorOffset(start);
        EXPECT_EQ(raw.Bytes().substr(at, size), data);
    }
}

// ---- big files: FAT sectors beyond the header's 109 ----

TEST(StorageDifat, FilesAtTheEdgeOfTheHeaderDifatAndBeyondReadBack)
{
    // The smallest stream (in whole sectors) that needs a 110th FAT sector, found by the writer's own planning.
    uint64_t sectors = 1;
    while (cfb::PlanSectors(3, 2, 0, sectors).FatSectors <= cfb::kHeaderDifatEntries)
        sectors += 64;
    while (cfb::PlanSectors(3, 2, 0, sectors - 1).FatSectors > cfb::kHeaderDifatEntries)
        --sectors;
    for (uint64_t count : { sectors - 1, sectors }) {
        std::string data = Pattern(static_cast<size_t>(count * 512), static_cast<uint32_t>(count));
        TRawFile raw(CommitToMemory([&](IStorage& root) { PutStream(root, u"Data", data); }));
        uint32_t fatSectors = raw.U32(cfb::header::kFatSectorCount);
        EXPECT_EQ(fatSectors, count < sectors ? 109u : 110u);
        EXPECT_EQ(raw.U32(cfb::header::kDifatSectorCount), count < sectors ? 0u : 1u);
        EXPECT_EQ(ReadAll(*StgOpenStorageOnMemory(raw.Bytes())->OpenStream(u"Data")), data);
    }

    // Two DIFAT sectors: more than 109 + 127 FAT sectors.
    std::string a = Pattern(9 << 20, 11);
    std::string b = Pattern(8 << 20, 12);
    TRawFile raw(CommitToMemory([&](IStorage& root) {
        PutStream(root, u"A", a);
        PutStream(root, u"B", b);
    }));
    EXPECT_EQ(raw.U32(cfb::header::kDifatSectorCount), 2u);
    auto root = StgOpenStorageOnMemory(raw.Bytes());
    EXPECT_EQ(ReadAll(*root->OpenStream(u"A")), a);
    EXPECT_EQ(ReadAll(*root->OpenStream(u"B")), b);
}

// ---- version 4 (4096-byte sectors) ----

TEST(StorageVersion4, FilesWithLargeSectorsReadBack)
{
    TRawFile raw(CommitToMemory(BuildSample, { .MajorVersion = 4, .ElementTime = {} }));
    EXPECT_EQ(raw.U16(cfb::header::kMajorVersion), 4);
    EXPECT_EQ(raw.SectorSize(), 4096u);
    EXPECT_EQ(raw.Bytes().size() % 4096, 0u);
    EXPECT_EQ(raw.U32(cfb::header::kDirectorySectorCount), 1u) << "version 4 counts its directory sectors";
    auto v4 = StgOpenStorageOnMemory(raw.Bytes());
    auto v3 = StgOpenStorageOnMemory(CommitToMemory(BuildSample));
    EXPECT_EQ(ListTree(*v4), ListTree(*v3));
    EXPECT_THROW(StgCreateDocfileInMemory(std::make_shared<TLockBytes>(), { .MajorVersion = 5, .ElementTime = {} }),
        EStorageError);
}

TEST(StorageVersion4, SizesUseAll64BitsInVersion4AndOnly32InVersion3)
{
    // Version 3 files from old writers carry garbage in the high half of stream sizes.
    TRawFile v3(CommitToMemory([](IStorage& root) { PutStream(root, u"S", Pattern(100, 1)); }));
    v3.Set32(v3.EntryOffset(v3.Find(u"S")) + cfb::entry::kSize + 4, 0xDEADBEEF);
    EXPECT_EQ(ReadAll(*StgOpenStorageOnMemory(v3.Bytes())->OpenStream(u"S")), Pattern(100, 1));

    TRawFile v4(CommitToMemory(
        [](IStorage& root) { PutStream(root, u"S", Pattern(100, 1)); }, { .MajorVersion = 4, .ElementTime = {} }));
    v4.Set32(v4.EntryOffset(v4.Find(u"S")) + cfb::entry::kSize + 4, 1);
    auto root = StgOpenStorageOnMemory(v4.Bytes());
    EXPECT_EQ(root->StatElement(u"S")->cbSize, (uint64_t { 1 } << 32) + 100);
    EXPECT_NE(ErrorOf([&] { root->OpenStream(u"S"); }).find("more than the file holds"), std::string::npos);
}

// ---- order of elements ----

TEST(StorageOrder, ElementsEnumerateShorterFirstThenByUpperCase)
{
    const std::vector<std::u16string> expected = { u"A", u"b", u"Z", u"\u00e4", u"aa", u"aB", u"Ab1", u"abc", u"ABD",
        u"\u00e9t\u00e9", u"\u00c9T\u00c9s", u"__substg1.0_0037001F", u"__substg1.0_0E04001F" };
    std::vector<std::u16string> scrambled = expected;
    std::reverse(scrambled.begin(), scrambled.end());
    std::swap(scrambled[2], scrambled[7]);
    auto names = [](IStorage& storage) {
        std::vector<std::u16string> out;
        auto elements = storage.EnumElements();
        for (STATSTG s; elements->Next(s);)
            out.push_back(s.pwcsName);
        elements->Reset();
        STATSTG first;
        EXPECT_TRUE(elements->Next(first));
        EXPECT_EQ(first.pwcsName, out.front());
        return out;
    };
    auto block = std::make_shared<TLockBytes>();
    auto root = StgCreateDocfileInMemory(block);
    for (const auto& name : scrambled)
        PutStream(*root, name, "");
    EXPECT_EQ(names(*root), expected);
    root->Commit();
    auto read = StgOpenStorageOnMemory(block->TakeBytes());
    EXPECT_EQ(names(*read), expected);
    EXPECT_TRUE(read->StatElement(u"__SUBSTG1.0_0037001f").has_value()) << "names are found case-insensitively";
    EXPECT_TRUE(read->StatElement(u"\u00c4").has_value());
}

TEST(StorageOrder, UpperCaseFollowsTheUnicodeSimpleMapping)
{
    EXPECT_EQ(cfb::UpperCaseUnit(u'a'), u'A');
    EXPECT_EQ(cfb::UpperCaseUnit(u'1'), u'1');
    EXPECT_EQ(cfb::UpperCaseUnit(u'\u00e9'), u'\u00c9');
    EXPECT_EQ(cfb::UpperCaseUnit(u'\u00ff'), u'\u0178');
    EXPECT_EQ(cfb::UpperCaseUnit(u'\u0131'), u'I'); // dotless i
    EXPECT_EQ(cfb::UpperCaseUnit(u'\u00df'), u'\u00df'); // sharp s has no one-unit upper case
    EXPECT_EQ(cfb::UpperCaseUnit(u'\u044f'), u'\u042f');
    EXPECT_EQ(cfb::UpperCaseUnit(u'\u0101'), u'\u0100'); // runs of alternating pairs
    EXPECT_EQ(cfb::UpperCaseUnit(u'\u0100'), u'\u0100');
    EXPECT_EQ(cfb::UpperCaseUnit(u'\uff41'), u'\uff21'); // fullwidth a
    EXPECT_EQ(cfb::UpperCaseUnit(u'\xd801'), u'\xd801');
    EXPECT_LT(cfb::CompareElementNames(u"zz", u"aaa"), 0);
    EXPECT_EQ(cfb::CompareElementNames(u"Stra\u00dfe", u"STRA\u00dfE"), 0);
}

// Checks one storage's sibling tree as written: a binary search tree in the format's order, no red node with a
// red child, the same number of black nodes on every path; returns that number.
int CheckSiblingTree(
    const TRawFile& raw, uint32_t id, const std::u16string* low, const std::u16string* high, bool parentRed, int& count)
{
    if (id == cfb::kNoStream)
        return 1;
    ++count;
    std::u16string name = raw.EntryName(id);
    if (low) {
        EXPECT_GT(cfb::CompareElementNames(name, *low), 0);
    }
    if (high) {
        EXPECT_LT(cfb::CompareElementNames(name, *high), 0);
    }
    bool red = raw.Bytes()[raw.EntryOffset(id) + cfb::entry::kColor] == cfb::kColorRed;
    EXPECT_FALSE(red && parentRed) << "two red nodes in a row";
    int left = CheckSiblingTree(raw, raw.Field(id, cfb::entry::kLeft), low, &name, red, count);
    int right = CheckSiblingTree(raw, raw.Field(id, cfb::entry::kRight), &name, high, red, count);
    EXPECT_EQ(left, right) << "black heights differ below " << test::U8(name);
    return left + (red ? 0 : 1);
}

TEST(StorageOrder, WrittenSiblingTreesAreValidRedBlackTrees)
{
    for (uint32_t children = 1; children <= 70; ++children) {
        SCOPED_TRACE(children);
        TRawFile raw(CommitToMemory([&](IStorage& root) {
            for (uint32_t i = 0; i < children; ++i)
                PutStream(root, test::W(std::string("Element").append(std::to_string(i * 7919 % 1000))), "");
        }));
        uint32_t top = raw.Field(0, cfb::entry::kChild);
        EXPECT_EQ(raw.Bytes()[raw.EntryOffset(top) + cfb::entry::kColor], cfb::kColorBlack);
        int count = 0;
        CheckSiblingTree(raw, top, nullptr, nullptr, false, count);
        EXPECT_EQ(count, static_cast<int>(children));
    }
}

TEST(StorageOrder, AMisorderedTreeStillEnumeratesInOrder)
{
    TRawFile raw(CommitToMemory([](IStorage& root) {
        for (const char16_t* name : { u"A", u"B", u"C" })
            PutStream(root, name, "");
    }));
    // Re-link as A -> (left B -> (left C)): a search tree in the wrong direction.
    uint32_t a = raw.Find(u"A"), b = raw.Find(u"B"), c = raw.Find(u"C");
    raw.SetField(0, cfb::entry::kChild, a);
    for (uint32_t id : { a, b, c })
        raw.SetField(id, cfb::entry::kRight, cfb::kNoStream);
    raw.SetField(a, cfb::entry::kLeft, b);
    raw.SetField(b, cfb::entry::kLeft, c);
    raw.SetField(c, cfb::entry::kLeft, cfb::kNoStream);
    auto root = StgOpenStorageOnMemory(raw.Bytes());
    std::vector<std::u16string> names;
    auto elements = root->EnumElements();
    for (STATSTG s; elements->Next(s);)
        names.push_back(s.pwcsName);
    EXPECT_EQ(names, (std::vector<std::u16string> { u"A", u"B", u"C" }));
    EXPECT_NO_THROW(root->OpenStream(u"a"));
}

// ---- STATSTG ----

TEST(StorageStat, EveryFieldOfStoragesStreamsAndTheRoot)
{
    const TClassId clsid = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 };
    const uint64_t created = test::FileTimeOf(2021, 3, 4, 5, 6, 7);
    const uint64_t modified = test::FileTimeOf(2022, 8, 9, 10, 11, 12);
    const uint64_t rootModified = test::FileTimeOf(2023, 1, 2, 3, 4, 5);
    auto block = std::make_shared<TLockBytes>();
    auto root = StgCreateDocfileInMemory(block);
    root->SetClass(kMessageClass);
    root->SetStateBits(0xF0F0, 0xFFFF);
    root->SetStateBits(0x0001, 0x00F1);
    root->SetElementTimes(u"", std::nullopt, std::nullopt, rootModified);
    auto storage = root->CreateStorage(u"Storage");
    storage->SetClass(clsid);
    storage->SetStateBits(0x12345678, 0xFFFFFFFF);
    root->SetElementTimes(u"Storage", created, std::nullopt, modified);
    PutStream(*root, u"Stream", Pattern(5000, 1));

    const STATSTG expectedRoot { .pwcsName = u"Root Entry",
        .type = STGTY_STORAGE,
        .mtime = rootModified,
        .clsid = kMessageClass,
        .grfStateBits = 0xF001 };
    const STATSTG expectedStorage { .pwcsName = u"Storage",
        .type = STGTY_STORAGE,
        .mtime = modified,
        .ctime = created,
        .clsid = clsid,
        .grfStateBits = 0x12345678 };
    const STATSTG expectedStream { .pwcsName = u"Stream", .type = STGTY_STREAM, .cbSize = 5000 };

    auto check = [&](IStorage& r, uint32_t rootMode, uint32_t childMode) {
        STATSTG s = expectedRoot;
        s.grfMode = rootMode;
        EXPECT_EQ(r.Stat(), s);
        // Enumerated and looked-up elements report no open mode.
        EXPECT_EQ(*r.StatElement(u"Storage"), expectedStorage);
        EXPECT_EQ(*r.StatElement(u"Stream"), expectedStream);
        s = expectedStorage;
        s.grfMode = childMode;
        EXPECT_EQ(r.OpenStorage(u"Storage")->Stat(), s);
        s = expectedStream;
        s.grfMode = childMode;
        EXPECT_EQ(r.OpenStream(u"Stream")->Stat(), s);
    };
    check(*root, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_TRANSACTED,
        STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
    root->Commit();
    check(*StgOpenStorageOnMemory(block->TakeBytes()), STGM_READ | STGM_SHARE_DENY_WRITE,
        STGM_READ | STGM_SHARE_EXCLUSIVE);
}

TEST(StorageStat, TimesThatCannotBeKeptAreRefusedNotDropped)
{
    auto root = StgCreateDocfileInMemory(std::make_shared<TLockBytes>());
    PutStream(*root, u"Stream", "x");
    root->CreateStorage(u"Storage");
    EXPECT_THROW(root->SetElementTimes(u"Stream", std::nullopt, std::nullopt, 1), EStorageError);
    EXPECT_THROW(root->SetElementTimes(u"Storage", std::nullopt, 5, std::nullopt), EStorageError);
    EXPECT_THROW(root->SetElementTimes(u"", 5, std::nullopt, std::nullopt), EStorageError);
    EXPECT_THROW(root->SetElementTimes(u"Missing", std::nullopt, std::nullopt, 5), EElementNotFound);
    EXPECT_NO_THROW(root->SetElementTimes(u"Stream", 0, 0, 0));
}

// ---- replacing and naming elements ----

TEST(StorageReplace, CreatingAnExistingNameReplacesTheElementWhateverItsKind)
{
    auto block = std::make_shared<TLockBytes>();
    auto root = StgCreateDocfileInMemory(block);
    auto first = root->CreateStream(u"Body");
    first->Write("old", 3);
    auto second = root->CreateStream(u"BODY");
    second->Write("new", 3);
    EXPECT_THROW(first->Write("lost", 4), EStorageError) << "a replaced stream must not swallow writes";
    EXPECT_THROW(first->Stat(), EStorageError);

    auto storage = root->CreateStorage(u"Sub");
    auto inner = storage->CreateStream(u"Inner");
    PutStream(*root, u"sub", "stream now");
    EXPECT_THROW(storage->CreateStream(u"X"), EStorageError);
    EXPECT_THROW(inner->Write("x", 1), EStorageError) << "streams inside a replaced storage go with it";
    root->CreateStorage(u"Body");

    root->Commit();
    auto read = StgOpenStorageOnMemory(block->TakeBytes());
    std::vector<STATSTG> elements;
    auto list = read->EnumElements();
    for (STATSTG s; list->Next(s);)
        elements.push_back(s);
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(elements[0].pwcsName, u"sub");
    EXPECT_EQ(elements[0].type, STGTY_STREAM);
    EXPECT_EQ(ReadAll(*read->OpenStream(u"SUB")), "stream now");
    EXPECT_EQ(elements[1].pwcsName, u"Body");
    EXPECT_EQ(elements[1].type, STGTY_STORAGE);
}

TEST(StorageNames, LengthLimitAndReservedCharacters)
{
    auto root = StgCreateDocfileInMemory(std::make_shared<TLockBytes>());
    std::u16string thirtyOne(cfb::kMaxNameLength, u'n');
    EXPECT_NO_THROW(root->CreateStream(thirtyOne.substr(1)));
    EXPECT_NO_THROW(root->CreateStorage(thirtyOne));
    std::string error = ErrorOf([&] { root->CreateStream(thirtyOne + u"x"); });
    EXPECT_EQ(error, "Element name longer than 31 characters: " + std::string(31, 'n') + "x");
    EXPECT_THROW(root->CreateStorage(thirtyOne + u"x"), EStorageError);
    EXPECT_THROW(root->CreateStream(u""), EStorageError);
    for (const char16_t* bad : { u"a/b", u"a\\b", u"a:b", u"a!b", u"a\0b" }) {
        std::u16string name(bad, 3);
        EXPECT_THROW(root->CreateStream(name), EStorageError) << test::U8(name);
    }
    EXPECT_NO_THROW(root->CreateStream(u"\x05SummaryInformation"));
    EXPECT_NO_THROW(root->CreateStream(u"\U0001F600 emoji"));
    EXPECT_EQ(cfb::NameForMessage(u"\x01"
                                  u"CompObj \u00e9"),
        "\\x01CompObj \xc3\xa9");
}

// ---- hard limits ----

TEST(StorageLimits, StoragesNestUpToTheLimitAndNoDeeper)
{
    auto build = [](IStorage& root, int depth) {
        std::unique_ptr<IStorage> current = root.CreateStorage(u"L1");
        for (int level = 2; level <= depth; ++level)
            current = current->CreateStorage(test::W(std::string("L").append(std::to_string(level))));
        PutStream(*current, u"Leaf", "deep");
    };
    const int limit = cfb::kMaxStorageDepth;
    for (int depth : { limit - 1, limit }) {
        auto root = StgOpenStorageOnMemory(CommitToMemory([&](IStorage& r) { build(r, depth); }));
        std::vector<TElement> all = ListTree(*root);
        ASSERT_EQ(all.size(), static_cast<size_t>(depth) + 1);
        EXPECT_EQ(all.back().Data, "deep");
    }
    EXPECT_NE(
        ErrorOf([&] { CommitToMemory([&](IStorage& r) { build(r, limit + 1); }); }).find("cannot nest deeper than 128"),
        std::string::npos);
    // Written without the check, the reader refuses it.
    auto block = std::make_shared<TLockBytes>();
    auto unchecked = cfb::CreateUncheckedDocfileInMemory(block);
    build(*unchecked, limit + 1);
    unchecked->Commit();
    EXPECT_NE(
        ErrorOf([&] { StgOpenStorageOnMemory(block->TakeBytes()); }).find("nest deeper than 128"), std::string::npos);
}

TEST(StorageLimits, Version3FilesStayWithin2GB)
{
    // The largest plan accepted reaches the limit exactly; one sector more is refused.
    auto fileSize = [](uint64_t dataSectors) { return cfb::PlanSectors(3, 1, 0, dataSectors).FileSize(); };
    uint64_t low = 0, high = cfb::kMaxVersion3FileSize / 512;
    while (low < high) {
        uint64_t middle = (low + high + 1) / 2;
        try {
            fileSize(middle);
            low = middle;
        } catch (const EStorageError&) {
            high = middle - 1;
        }
    }
    EXPECT_EQ(fileSize(low), cfb::kMaxVersion3FileSize);
    EXPECT_EQ(fileSize(low - 1), cfb::kMaxVersion3FileSize - 512);
    EXPECT_NE(ErrorOf([&] { fileSize(low + 1); }).find("more than the 2 GB"), std::string::npos);
    EXPECT_NO_THROW(cfb::PlanSectors(4, 1, 0, low + 1)) << "version 4 has no such limit";

    // A stream refuses to grow past the limit before it allocates anything.
    auto root = StgCreateDocfileInMemory(std::make_shared<TLockBytes>());
    auto stream = root->CreateStream(u"Huge");
    stream->Seek(static_cast<int64_t>(cfb::kMaxVersion3FileSize), STREAM_SEEK_SET);
    EXPECT_THROW(stream->Write("x", 1), EStorageError);
    stream->Seek(static_cast<int64_t>(cfb::kMaxVersion3FileSize) - 1, STREAM_SEEK_SET);
    EXPECT_THROW(stream->Write("xy", 2), EStorageError);
    EXPECT_EQ(stream->Stat().cbSize, 0u);
}

// ---- damaged and hostile files ----

// A small file with a bit of everything: nested storages, mini streams and one stream in regular sectors.
std::string SmallSample()
{
    return CommitToMemory([](IStorage& root) {
        PutStream(root, u"Small", Pattern(300, 1));
        PutStream(root, u"Large", Pattern(4200, 2));
        auto sub = root.CreateStorage(u"Sub");
        PutStream(*sub, u"Inner", Pattern(70, 3));
        sub->CreateStorage(u"Deeper");
    });
}

TEST(StorageHostile, EveryTruncatedPrefixFailsCleanlyOrReadsWhatIsThere)
{
    std::string whole = SmallSample();
    size_t opened = 0;
    for (size_t length = 0; length < whole.size(); ++length) {
        std::string prefix = whole.substr(0, length);
        if (WalkImage(prefix))
            ++opened;
        if (length < cfb::kHeaderSize) {
            EXPECT_THROW(StgOpenStorageOnMemory(prefix), EStorageError);
        }
    }
    // Once the header, FAT, directory and mini stream are there, the mini streams read in full, and the large
    // stream does as soon as its last byte is there (its last sector need not be complete).
    TRawFile raw(whole);
    size_t miniStreamEnd = raw.SectorOffset(raw.Field(0, cfb::entry::kStartSector)) + 512;
    size_t largeEnd = raw.SectorOffset(raw.Field(raw.Find(u"Large"), cfb::entry::kStartSector)) + 4200;
    for (size_t length = miniStreamEnd; length < whole.size(); ++length) {
        auto root = StgOpenStorageOnMemory(whole.substr(0, length));
        EXPECT_EQ(ReadAll(*root->OpenStream(u"Small")), Pattern(300, 1));
        EXPECT_EQ(ReadAll(*root->OpenStorage(u"Sub")->OpenStream(u"Inner")), Pattern(70, 3));
        if (length >= largeEnd) {
            EXPECT_EQ(ReadAll(*root->OpenStream(u"Large")), Pattern(4200, 2));
        } else {
            std::string error = ErrorOf([&] { root->OpenStream(u"Large"); });
            EXPECT_NE(error.find("stream /Large"), std::string::npos) << length << ": " << error;
        }
    }
    EXPECT_GT(opened, 0u);
    EXPECT_TRUE(WalkImage(whole));
}

TEST(StorageHostile, EveryBitFlipFailsCleanlyOrReadsWhatIsThere)
{
    std::string whole = SmallSample();
    size_t opened = 0;
    pelmsg::test::ForEachBitFlip(whole, [&](std::string flipped) { opened += WalkImage(std::move(flipped)); });
    EXPECT_GT(opened, whole.size() * 4) << "flips in stream data must not stop a file from opening";
}

TEST(StorageHostile, LoopingAndCrossingChainsAreNamed)
{
    TRawFile raw(SmallSample());
    uint32_t large = raw.Find(u"Large");
    uint32_t first = raw.Field(large, cfb::entry::kStartSector);

    TRawFile loop = raw;
    loop.SetFat(first + 1, first);
    auto root = StgOpenStorageOnMemory(loop.Bytes());
    std::string error = ErrorOf([&] { root->OpenStream(u"Large"); });
    EXPECT_NE(error.find("the sector chain of stream /Large loops"), std::string::npos) << error;
    EXPECT_EQ(ErrorOf([&] { root->OpenStream(u"Large"); }), error) << "a second attempt fails the same way";
    EXPECT_EQ(ReadAll(*root->OpenStream(u"Small")), Pattern(300, 1)) << "other streams still read";

    TRawFile cross = raw;
    cross.SetFat(first + 1, raw.U32(cfb::header::kFirstDirectorySector));
    error = ErrorOf([&] { StgOpenStorageOnMemory(cross.Bytes())->OpenStream(u"Large"); });
    EXPECT_NE(error.find("cross"), std::string::npos) << error;

    TRawFile directoryLoop = raw;
    uint32_t directory = raw.U32(cfb::header::kFirstDirectorySector);
    directoryLoop.SetFat(directory, directory);
    error = ErrorOf([&] { StgOpenStorageOnMemory(directoryLoop.Bytes()); });
    EXPECT_NE(error.find("the sector chain of the directory loops"), std::string::npos) << error;

    TRawFile miniLoop = raw;
    uint32_t small = raw.Field(raw.Find(u"Small"), cfb::entry::kStartSector);
    miniLoop.Set32(miniLoop.MiniFatOffset(small + 2), small);
    error = ErrorOf([&] { StgOpenStorageOnMemory(miniLoop.Bytes())->OpenStream(u"Small"); });
    EXPECT_NE(error.find("mini sector chain of stream /Small loops"), std::string::npos) << error;

    TRawFile beyond = raw;
    beyond.SetFat(first, 0x00FFFFFF);
    error = ErrorOf([&] { StgOpenStorageOnMemory(beyond.Bytes())->OpenStream(u"Large"); });
    EXPECT_NE(error.find("lies beyond the end of the file"), std::string::npos) << error;

    TRawFile early = raw;
    early.SetFat(first, cfb::kEndOfChain);
    error = ErrorOf([&] { StgOpenStorageOnMemory(early.Bytes())->OpenStream(u"Large"); });
    EXPECT_NE(error.find("ends after 1 of its 9 sectors"), std::string::npos) << error;
}

TEST(StorageHostile, DirectoryCyclesAndBadLinksAreRefused)
{
    TRawFile raw(SmallSample());
    uint32_t sub = raw.Find(u"Sub");
    uint32_t inner = raw.Find(u"Inner");

    TRawFile toRoot = raw;
    toRoot.SetField(inner, cfb::entry::kLeft, 0);
    EXPECT_NE(ErrorOf([&] { StgOpenStorageOnMemory(toRoot.Bytes()); }).find("reached twice"), std::string::npos);

    TRawFile toParent = raw;
    toParent.SetField(inner, cfb::entry::kRight, sub);
    EXPECT_NE(ErrorOf([&] { StgOpenStorageOnMemory(toParent.Bytes()); }).find("reached twice"), std::string::npos);

    TRawFile selfChild = raw;
    selfChild.SetField(sub, cfb::entry::kChild, sub);
    EXPECT_NE(ErrorOf([&] { StgOpenStorageOnMemory(selfChild.Bytes()); }).find("reached twice"), std::string::npos);

    // Links to entries that do not exist or are unused lead to nothing; what else is there still reads.
    auto expected = ListTree(*StgOpenStorageOnMemory(raw.Bytes()));
    TRawFile missing = raw;
    missing.SetField(inner, cfb::entry::kLeft, 0xFFFFFF00);
    EXPECT_EQ(ListTree(*StgOpenStorageOnMemory(missing.Bytes())), expected);
    TRawFile unused = raw;
    unused.SetField(inner, cfb::entry::kLeft, raw.EntryCount() - 1);
    EXPECT_EQ(ListTree(*StgOpenStorageOnMemory(unused.Bytes())), expected);

    TRawFile badType = raw;
    badType.Set16(badType.EntryOffset(inner) + cfb::entry::kType, 0x0103);
    EXPECT_NE(ErrorOf([&] { StgOpenStorageOnMemory(badType.Bytes()); }).find("neither a storage nor a stream"),
        std::string::npos);

    TRawFile notRoot = raw;
    notRoot.Set32(notRoot.EntryOffset(0) + cfb::entry::kType, cfb::kTypeStorage);
    EXPECT_NE(ErrorOf([&] { StgOpenStorageOnMemory(notRoot.Bytes()); }).find("not the root"), std::string::npos);
}

TEST(StorageHostile, OfElementsWithTheSameNameTheFirstWrittenIsKept)
{
    TRawFile raw(CommitToMemory([](IStorage& root) {
        PutStream(root, u"A", "first");
        PutStream(root, u"B", "second, longer");
    }));
    uint32_t b = raw.Find(u"B");
    ASSERT_GT(b, raw.Find(u"A"));
    raw.Set16(raw.EntryOffset(b), u'a');
    auto root = StgOpenStorageOnMemory(raw.Bytes());
    auto elements = root->EnumElements();
    STATSTG only;
    ASSERT_TRUE(elements->Next(only));
    EXPECT_FALSE(elements->Next(only)) << "the duplicate is not listed";
    EXPECT_EQ(only.pwcsName, u"A");
    EXPECT_EQ(ReadAll(*root->OpenStream(u"a")), "first");
}

TEST(StorageHostile, AbsurdCountsAndSizesAreRefusedWithoutAllocating)
{
    TRawFile raw(SmallSample());
    auto opens = [](const TRawFile& f) { return ErrorOf([&] { StgOpenStorageOnMemory(f.Bytes()); }); };

    TRawFile fatCount = raw;
    fatCount.Set32(cfb::header::kFatSectorCount, 0xFFFFFFFF);
    EXPECT_NE(opens(fatCount).find("FAT sectors but the file holds only"), std::string::npos);
    fatCount.Set32(cfb::header::kFatSectorCount, 0);
    EXPECT_NE(opens(fatCount).find("no FAT sectors"), std::string::npos);
    fatCount.Set32(cfb::header::kFatSectorCount, 2);
    EXPECT_NE(opens(fatCount).find("marker instead of a FAT sector"), std::string::npos);

    TRawFile size = raw;
    size.SetField(raw.Find(u"Large"), cfb::entry::kSize, 0xFFFFFFF0);
    EXPECT_NE(ErrorOf([&] {
        StgOpenStorageOnMemory(size.Bytes())->OpenStream(u"Large");
    }).find("claims 4294967280 bytes, more than the file holds"),
        std::string::npos);
    TRawFile miniSize = raw;
    miniSize.SetField(raw.Find(u"Small"), cfb::entry::kSize, 4000);
    EXPECT_NE(ErrorOf([&] {
        StgOpenStorageOnMemory(miniSize.Bytes())->OpenStream(u"Small");
    }).find("more than the mini stream holds"),
        std::string::npos);

    TRawFile version = raw;
    version.Set16(cfb::header::kMajorVersion, 5);
    EXPECT_NE(opens(version).find("unknown format version 5"), std::string::npos);
    TRawFile shift = raw;
    shift.Set32(cfb::header::kSectorShift, 0x0006000C);
    EXPECT_NE(opens(shift).find("sector shift 12 does not belong to version 3"), std::string::npos);
}

TEST(StorageHostile, DifatChainsThatLoopOrEndEarlyAreRefused)
{
    TRawFile raw(CommitToMemory([](IStorage& root) { PutStream(root, u"Data", Pattern(8 << 20, 1)); }));
    ASSERT_EQ(raw.U32(cfb::header::kDifatSectorCount), 1u);
    uint32_t difat = raw.U32(cfb::header::kFirstDifatSector);
    uint32_t fatCount = raw.U32(cfb::header::kFatSectorCount);
    // Ask for more FAT sectors than the one DIFAT sector lists, so that its next link is followed.
    TRawFile loop = raw;
    loop.Set32(cfb::header::kFatSectorCount, fatCount + 127);
    loop.Set32(loop.SectorOffset(difat) + 508, difat);
    EXPECT_NE(
        ErrorOf([&] { StgOpenStorageOnMemory(loop.Bytes()); }).find("DIFAT sector chain loops"), std::string::npos);
    TRawFile early = raw;
    early.Set32(cfb::header::kFatSectorCount, 109 + 127 + 1);
    EXPECT_NE(
        ErrorOf([&] { StgOpenStorageOnMemory(early.Bytes()); }).find("DIFAT ends after listing"), std::string::npos);
}

// ---- TOleStream ----

TEST(StorageOleStream, AdapterPassesReadsWritesAndSeeksThrough)
{
    auto root = StgCreateDocfileInMemory(std::make_shared<TLockBytes>());
    TOleStream stream(root->CreateStream(u"S"));
    stream.WriteString("Hello, compound world");
    EXPECT_EQ(stream.Size(), 21);
    EXPECT_EQ(stream.Position(), 21);
    EXPECT_EQ(stream.Seek(-5, TSeekOrigin::End), 16);
    EXPECT_EQ(stream.ReadString(100), "world");
    EXPECT_EQ(stream.Seek(7, TSeekOrigin::Beginning), 7);
    EXPECT_EQ(stream.Seek(2, TSeekOrigin::Current), 9);
    EXPECT_EQ(stream.ReadString(3), "mpo");
    EXPECT_THROW(stream.Seek(-100, TSeekOrigin::Current), EStorageError);
    stream.Seek(0, TSeekOrigin::Beginning);
    TMemoryStream copy;
    EXPECT_EQ(stream.CopyTo(copy), 21);
    EXPECT_EQ(copy.Bytes(), "Hello, compound world");

    auto read = StgOpenStorageOnMemory(CommitToMemory(BuildSample));
    auto source = read->OpenStream(u"__substg1.0_1000001F");
    TOleStream borrowed(*source);
    EXPECT_EQ(borrowed.Size(), 9000);
    EXPECT_EQ(borrowed.ReadString(9000), Pattern(9000, 2));
    EXPECT_THROW(borrowed.WriteString("x"), EStorageError);
    EXPECT_THROW(TOleStream(std::unique_ptr<IStream>()), EStorageError);
}

// ---- agreement with independent readers (python3-olefile, libgsf's gsf) ----

namespace {

bool OlefileAvailable() { return RunCommand("/usr/bin/python3 -c 'import olefile' 2>/dev/null").ExitCode == 0; }
bool GsfAvailable() { return RunCommand("command -v gsf >/dev/null 2>&1").ExitCode == 0; }

uint32_t Crc32(const std::string& bytes)
{
    static const auto table = [] {
        std::array<uint32_t, 256> t {};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string Hex(const std::u16string& name)
{
    std::string out;
    char byte[3];
    for (char16_t u : name) {
        std::snprintf(byte, sizeof byte, "%02x", u & 0xFF);
        out += byte;
        std::snprintf(byte, sizeof byte, "%02x", u >> 8);
        out += byte;
    }
    return out;
}

// A class identifier the way olefile shows one: empty when all zero.
std::string ClsidText(const TClassId& id)
{
    if (std::all_of(id.begin(), id.end(), [](uint8_t b) { return b == 0; }))
        return "";
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", LoadLE32(id.data()),
        LoadLE16(id.data() + 4), LoadLE16(id.data() + 6), id[8], id[9], id[10], id[11], id[12], id[13], id[14], id[15]);
    return text;
}

std::string ListingLine(char kind, const std::string& path, uint64_t size, uint32_t crc, const STATSTG& s)
{
    char crcText[9];
    std::snprintf(crcText, sizeof crcText, "%08x", crc);
    return std::string(1, kind) + "\t" + path + "\t" + std::to_string(size) + "\t" + crcText + "\t" + ClsidText(s.clsid)
        + "\t" + std::to_string(s.ctime) + "\t" + std::to_string(s.mtime) + "\t" + std::to_string(s.grfStateBits);
}

// Our reading of a file, one line per element (and one for the root), names as UTF-16LE hex.
void OurListing(IStorage& storage, const std::string& prefix, std::vector<std::string>& out)
{
    auto elements = storage.EnumElements();
    for (STATSTG s; elements->Next(s);) {
        std::string path = prefix.empty() ? Hex(s.pwcsName) : prefix + "/" + Hex(s.pwcsName);
        if (s.type == STGTY_STREAM) {
            out.push_back(ListingLine('S', path, s.cbSize, Crc32(ReadAll(*storage.OpenStream(s.pwcsName))), s));
        } else {
            out.push_back(ListingLine('D', path, 0, 0, s));
            OurListing(*storage.OpenStorage(s.pwcsName), path, out);
        }
    }
}

std::vector<std::string> OurListing(const std::string& file)
{
    auto root = StgOpenStorage(file);
    std::vector<std::string> out { ListingLine('R', "", 0, 0, root->Stat()) };
    OurListing(*root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

const char* const kOlefileLister = R"(
import sys, zlib, olefile
def line(kind, path, size, crc, e):
    return '%s\t%s\t%d\t%08x\t%s\t%d\t%d\t%d' % (kind, path, size, crc, e.clsid, e.createTime, e.modifyTime,
                                                e.dwUserFlags)
def walk(ole, e, names, hexes, out):
    for k in e.kids:
        n = names + [k.name]
        h = hexes + [k.name_utf16.hex()]
        if k.entry_type == olefile.STGTY_STREAM:
            data = ole.openstream(n).read()
            out.append(line('S', '/'.join(h), k.size, zlib.crc32(data), k))
        else:
            out.append(line('D', '/'.join(h), 0, 0, k))
            walk(ole, k, n, h, out)
for name in sys.argv[1:]:
    print('#FILE\t' + name)
    try:
        ole = olefile.OleFileIO(name)
        out = [line('R', '', 0, 0, ole.root)]
        walk(ole, ole.root, [], [], out)
        for l in sorted(out):
            print(l)
    except Exception as e:
        print('#ERROR\t%s: %s' % (type(e).__name__, e))
)";

// olefile's listing of each file, by file name; files it could not read map to {"#ERROR\t..."}.
std::map<std::string, std::vector<std::string>> OlefileListings(
    const TempDir& dir, const std::vector<std::string>& files)
{
    std::string script = dir.File("olefile_lister.py");
    test::WriteFileBytes(script, kOlefileLister);
    std::string command = "/usr/bin/python3 " + script;
    for (const auto& file : files)
        command += " '" + file + "'";
    CommandResult result = RunCommand(command + " 2>/dev/null");
    EXPECT_EQ(result.ExitCode, 0);
    std::map<std::string, std::vector<std::string>> listings;
    std::vector<std::string>* current = nullptr;
    size_t start = 0;
    for (size_t end; (end = result.Output.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = result.Output.substr(start, end - start);
        if (line.rfind("#FILE\t", 0) == 0)
            current = &listings[line.substr(6)];
        else if (current)
            current->push_back(line);
    }
    return listings;
}

// Files of our own that cover what the writer does: nesting, the mini-stream boundary, DIFAT sectors,
// version 4, odd names and many siblings.
std::vector<std::string> WriteOracleSamples(const TempDir& dir)
{
    std::vector<std::string> files;
    auto save = [&](const std::string& name, const std::function<void(IStorage&)>& build, const TDocfileOptions& o) {
        files.push_back(dir.File(name));
        test::WriteFileBytes(files.back(), CommitToMemory(build, o));
    };
    save("sample.msg", BuildSample, {});
    save("sample-v4.msg", BuildSample, { .MajorVersion = 4, .ElementTime = {} });
    save("boundary.cfb",
        [](IStorage& root) {
            for (size_t size : { 0, 1, 64, 4095, 4096, 4097, 70000 })
                PutStream(
                    root, test::W(std::to_string(size).insert(0, 1, 'S')), Pattern(size, static_cast<uint32_t>(size)));
        },
        {});
    save("difat.cfb",
        [](IStorage& root) {
            PutStream(root, u"A", Pattern(9 << 20, 11));
            PutStream(root, u"B", Pattern(8 << 20, 12));
            PutStream(root, u"c", Pattern(100, 13));
        },
        {});
    save("names.cfb",
        [](IStorage& root) {
            for (int i = 0; i < 45; ++i)
                PutStream(root, test::W(std::string("Sibling").append(std::to_string(i * 37 % 100))),
                    Pattern(10, static_cast<uint32_t>(i)));
            auto sub = root.CreateStorage(u"D\u00e9j\u00e0 vu");
            PutStream(*sub,
                u"\x01"
                u"CompObj",
                "x");
            PutStream(*sub, std::u16string(31, u'L'), "long name");
        },
        {});
    return files;
}

} // namespace

TEST(StorageAgreement, OurFilesReadTheSameInOlefile)
{
    if (!OlefileAvailable())
        GTEST_SKIP() << "python3-olefile is not installed";
    TempDir dir;
    std::vector<std::string> files = WriteOracleSamples(dir);
    auto listings = OlefileListings(dir, files);
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        std::vector<std::string> ours = OurListing(file);
        EXPECT_GT(ours.size(), 3u);
        EXPECT_EQ(listings[file], ours);
    }
}

TEST(StorageAgreement, OurFilesReadTheSameInGsf)
{
    if (!GsfAvailable())
        GTEST_SKIP() << "gsf (libgsf-bin) is not installed";
    TempDir dir;
    for (const auto& file : WriteOracleSamples(dir)) {
        SCOPED_TRACE(file);
        // gsf lists "d|f [date time] size path" (names in the locale's encoding: UTF-8 here), after a line
        // naming the file.
        std::set<std::string> theirs;
        CommandResult list = RunCommand("LC_ALL=C.UTF-8 gsf list '" + file + "'");
        ASSERT_EQ(list.ExitCode, 0);
        size_t start = list.Output.find('\n') + 1;
        for (size_t end; (end = list.Output.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = list.Output.substr(start, end - start);
            size_t field = line.find_first_not_of(' ', 1);
            if (line.size() > field + 4 && line[field + 4] == '-') // a date and a time
                field = line.find_first_not_of(' ', line.find(' ', line.find(' ', field) + 1));
            size_t sizeEnd = line.find(' ', field);
            std::string path = line.substr(sizeEnd + 1);
            if (path != "*root*")
                theirs.insert(line.substr(0, 1) + " " + line.substr(field, sizeEnd - field) + " " + path);
        }
        std::set<std::string> ours;
        auto root = StgOpenStorage(file);
        std::function<void(IStorage&, const std::string&)> walk = [&](IStorage& storage, const std::string& prefix) {
            auto elements = storage.EnumElements();
            for (STATSTG s; elements->Next(s);) {
                std::string path = prefix + test::U8(s.pwcsName);
                if (s.type == STGTY_STREAM) {
                    ours.insert("f " + std::to_string(s.cbSize) + " " + path);
                    CommandResult cat = RunCommand("LC_ALL=C.UTF-8 gsf cat '" + file + "' '" + path + "'");
                    EXPECT_EQ(cat.ExitCode, 0);
                    EXPECT_TRUE(cat.Output == ReadAll(*storage.OpenStream(s.pwcsName))) << path;
                } else {
                    auto sub = storage.OpenStorage(s.pwcsName);
                    // gsf shows a storage without elements as an empty file.
                    if (!sub->EnumElements()->Next(s))
                        ours.insert("f 0 " + path);
                    else
                        ours.insert("d 0 " + path);
                    walk(*sub, path + "/");
                }
            }
        };
        walk(*root, "");
        EXPECT_EQ(theirs, ours);
    }
}

TEST(StorageAgreement, CorpusMessagesReadTheSameAsInOlefile)
{
    std::string folder = test::CorpusPath("msg");
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << "no sample corpus at " << folder;
    if (!OlefileAvailable())
        GTEST_SKIP() << "python3-olefile is not installed";
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".msg")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    TempDir dir;
    auto listings = OlefileListings(dir, files);
    // Files both readers refuse are damaged beyond reading (the corpus has fuzzer-made ones); only the reasons
    // differ, and they are printed.
    size_t same = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        std::vector<std::string> ours;
        try {
            ours = OurListing(file);
        } catch (const EStorageError& e) {
            ours = { std::string("#ERROR\t") + e.what() };
        }
        const std::vector<std::string>& theirs = listings[file];
        bool bothRefuse = ours.size() == 1 && theirs.size() == 1 && ours[0].rfind("#ERROR", 0) == 0
            && theirs[0].rfind("#ERROR", 0) == 0;
        if (ours == theirs)
            ++same;
        else if (bothRefuse)
            std::printf("both refuse %s\n  ours:    %s\n  olefile: %s\n", file.c_str(), ours[0].c_str() + 7,
                theirs[0].c_str() + 7);
        else
            ADD_FAILURE() << "ours:\n"
                          << ::testing::PrintToString(ours) << "\nolefile:\n"
                          << ::testing::PrintToString(theirs);
    }
    std::printf("%zu of %zu corpus messages read the same as in olefile\n", same, files.size());
}
