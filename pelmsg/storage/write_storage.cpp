#include "storage/write_storage.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "core/errors.h"
#include "core/large_buffer.h"
#include "storage/cfb_writer.h"
#include "storage/stat_list_enumerator.h"
#include "storage/stream_position.h"

namespace pelmsg::cfb {

namespace {

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

uint64_t FileTimeNow()
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
    auto ticks = std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch()).count();
    return kFileTimeUnixEpoch + static_cast<uint64_t>(ticks);
}

void CheckOptions(const TDocfileOptions& options)
{
    if (options.MajorVersion != kVersion3 && options.MajorVersion != kVersion4)
        throw EStorageError("Cannot create compound file version " + std::to_string(options.MajorVersion)
            + " (versions 3 and 4 can be written)");
}

STATSTG StatOfNode(const TWriteNode& node, bool isRoot, uint32_t mode)
{
    return StatOfElement(
        node, isRoot ? std::u16string(kRootEntryName) : node.Name, node.IsStorage, node.Data.size(), mode);
}

void CheckAttached(const TWriteNode& node)
{
    if (node.Detached)
        throw EStorageError((node.IsStorage ? "Storage " : "Stream ") + NameForMessage(node.Name)
            + " was replaced or removed; it can no longer be used");
}

class TWriteStream final : public IStream {
public:
    TWriteStream(std::shared_ptr<TWriteDocument> document, std::shared_ptr<TWriteNode> node)
        : document_(std::move(document))
        , node_(std::move(node))
    {
    }

    size_t Read(void* buffer, size_t count) override
    {
        CheckAttached(*node_);
        const std::string& data = node_->Data;
        if (position_ >= data.size())
            return 0;
        size_t n = std::min<size_t>(count, data.size() - static_cast<size_t>(position_));
        std::memcpy(buffer, data.data() + position_, n);
        position_ += n;
        return n;
    }

    size_t Write(const void* buffer, size_t count) override
    {
        CheckAttached(*node_);
        if (count == 0)
            return 0;
        // Refuse before allocating: a version-3 file, and so any stream in it, stays within 2 GB.
        if (document_->Options().MajorVersion == kVersion3
            && (count > kMaxVersion3FileSize || position_ > kMaxVersion3FileSize - count))
            throw EStorageError(
                "Stream " + NameForMessage(node_->Name) + " would grow past 2 GB, more than a compound file can hold");
        WriteAt(node_->Data, static_cast<size_t>(position_), buffer, count);
        position_ += count;
        return count;
    }

    uint64_t Seek(int64_t offset, uint32_t origin) override
    {
        CheckAttached(*node_);
        position_ = SeekTarget(position_, node_->Data.size(), offset, origin);
        return position_;
    }

    STATSTG Stat() const override
    {
        CheckAttached(*node_);
        return StatOfNode(*node_, false, STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
    }

private:
    std::shared_ptr<TWriteDocument> document_;
    std::shared_ptr<TWriteNode> node_;
    uint64_t position_ = 0;
};

class TWriteStorage final : public IStorage {
public:
    TWriteStorage(std::shared_ptr<TWriteDocument> document, std::shared_ptr<TWriteNode> node)
        : document_(std::move(document))
        , node_(std::move(node))
    {
    }

    std::unique_ptr<IEnumSTATSTG> EnumElements() const override
    {
        CheckAttached(*node_);
        std::vector<STATSTG> elements;
        elements.reserve(node_->Children.size());
        for (const auto& [name, child] : node_->Children)
            elements.push_back(StatOfNode(*child, false, 0));
        return std::make_unique<TStatListEnumerator>(std::move(elements));
    }

    std::unique_ptr<IStream> OpenStream(const std::u16string& name) override
    {
        return std::make_unique<TWriteStream>(document_, Find(name, false));
    }

    std::unique_ptr<IStorage> OpenStorage(const std::u16string& name) override
    {
        return std::make_unique<TWriteStorage>(document_, Find(name, true));
    }

    std::unique_ptr<IStream> CreateStream(const std::u16string& name) override
    {
        return std::make_unique<TWriteStream>(document_, Create(name, false));
    }

    std::unique_ptr<IStorage> CreateStorage(const std::u16string& name) override
    {
        return std::make_unique<TWriteStorage>(document_, Create(name, true));
    }

    void CopyTo(IStorage& target) override
    {
        CheckAttached(*node_);
        // Copying into itself or into one of its own storages would never end.
        if (auto* other = dynamic_cast<TWriteStorage*>(&target); other && other->document_ == document_) {
            for (auto node = other->node_; node; node = node->Parent.lock())
                if (node == node_)
                    throw EStorageError("Cannot copy a storage into itself or into one of its own storages");
        }
        IStorage::CopyTo(target);
    }

    void Commit() override
    {
        CheckAttached(*node_);
        if (IsRoot())
            document_->Commit();
    }

    STATSTG Stat() const override
    {
        CheckAttached(*node_);
        uint32_t mode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
        return StatOfNode(*node_, IsRoot(), IsRoot() ? mode | STGM_CREATE | STGM_TRANSACTED : mode);
    }

    std::optional<STATSTG> StatElement(const std::u16string& name) const override
    {
        CheckAttached(*node_);
        auto it = node_->Children.find(name);
        if (it == node_->Children.end())
            return std::nullopt;
        return StatOfNode(*it->second, false, 0);
    }

    void SetClass(const TClassId& clsid) override
    {
        CheckAttached(*node_);
        node_->Clsid = clsid;
    }

    void SetStateBits(uint32_t bits, uint32_t mask) override
    {
        CheckAttached(*node_);
        node_->StateBits = (node_->StateBits & ~mask) | (bits & mask);
    }

    void SetElementTimes(const std::u16string& name, std::optional<uint64_t> ctime, std::optional<uint64_t> atime,
        std::optional<uint64_t> mtime) override
    {
        CheckAttached(*node_);
        TWriteNode* target = node_.get();
        bool isRoot = IsRoot();
        if (!name.empty()) {
            target = Find(name, std::nullopt).get();
            isRoot = false;
        }
        auto shown = [&] { return isRoot ? std::string("the root storage") : NameForMessage(target->Name); };
        if (atime.value_or(0) != 0)
            throw EStorageError("Cannot set the access time of " + shown() + ": compound files keep no access times");
        if (!target->IsStorage && (ctime.value_or(0) != 0 || mtime.value_or(0) != 0))
            throw EStorageError("Cannot set the times of stream " + shown()
                + ": compound files keep times for "
                  "storages only");
        if (isRoot && ctime.value_or(0) != 0)
            throw EStorageError("Cannot set the creation time of the root storage: compound files keep none");
        if (ctime)
            target->CreationTime = *ctime;
        if (mtime)
            target->ModifiedTime = *mtime;
    }

private:
    bool IsRoot() const { return node_ == document_->Root(); }

    std::shared_ptr<TWriteNode> Find(const std::u16string& name, std::optional<bool> wantStorage) const
    {
        CheckAttached(*node_);
        auto it = node_->Children.find(name);
        if (it == node_->Children.end())
            throw EElementNotFound((wantStorage.value_or(false) ? "Storage "
                                           : wantStorage        ? "Stream "
                                                                : "Element ")
                + NameForMessage(name) + " not found in storage " + NameForMessage(IsRoot() ? u"/" : node_->Name));
        if (wantStorage && it->second->IsStorage != *wantStorage)
            throw EStorageError(NameForMessage(name) + " is not a " + (*wantStorage ? "storage" : "stream"));
        return it->second;
    }

    std::shared_ptr<TWriteNode> Create(const std::u16string& name, bool isStorage)
    {
        CheckAttached(*node_);
        CheckNewElementName(name);
        int depth = node_->Depth + (isStorage ? 1 : 0);
        if (isStorage && depth > kMaxStorageDepth && !document_->NestingUnchecked)
            throw EStorageError("Cannot create storage " + NameForMessage(name) + ": storages cannot nest deeper than "
                + std::to_string(kMaxStorageDepth) + " levels");
        auto node = std::make_shared<TWriteNode>();
        node->Name = name;
        node->IsStorage = isStorage;
        node->Depth = isStorage ? depth : node_->Depth;
        node->Parent = node_;
        if (isStorage)
            node->CreationTime = node->ModifiedTime = document_->Options().ElementTime.value_or(FileTimeNow());
        // An element of the same name, whatever its kind, is replaced.
        if (auto it = node_->Children.find(name); it != node_->Children.end()) {
            DetachSubtree(*it->second);
            node_->Children.erase(it);
        }
        node_->Children.emplace(name, node);
        return node;
    }

    std::shared_ptr<TWriteDocument> document_;
    std::shared_ptr<TWriteNode> node_;
};

} // namespace

TWriteDocument::TWriteDocument(std::string fileName, const TDocfileOptions& options)
    : root_(std::make_shared<TWriteNode>())
    , options_(options)
    , fileName_(std::move(fileName))
{
    CheckOptions(options);
    root_->IsStorage = true;
    root_->ModifiedTime = options_.ElementTime.value_or(FileTimeNow());
    pendingFile_ = std::make_unique<TSafeFileStream>(fileName_);
}

TWriteDocument::TWriteDocument(std::shared_ptr<TLockBytes> target, const TDocfileOptions& options)
    : root_(std::make_shared<TWriteNode>())
    , options_(options)
    , memory_(std::move(target))
{
    CheckOptions(options);
    if (!memory_)
        throw EStorageError("No memory block to create the compound file in");
    root_->IsStorage = true;
    root_->ModifiedTime = options_.ElementTime.value_or(FileTimeNow());
}

void TWriteDocument::Commit()
{
    TCompoundFileWriter writer(*root_, options_.MajorVersion);
    if (memory_) {
        std::string bytes;
        bytes.reserve(static_cast<size_t>(writer.FileSize()));
        TMemoryStream out(std::move(bytes));
        writer.WriteTo(out);
        memory_->Assign(out.TakeBytes());
        return;
    }
    // A temporary file per attempt: one that failed is removed, and the target stays as it was.
    std::unique_ptr<TSafeFileStream> file = std::move(pendingFile_);
    if (!file)
        file = std::make_unique<TSafeFileStream>(fileName_);
    writer.WriteTo(*file);
    file->Commit();
}

std::unique_ptr<IStorage> MakeWriteRoot(std::shared_ptr<TWriteDocument> document)
{
    auto root = document->Root();
    return std::make_unique<TWriteStorage>(std::move(document), std::move(root));
}

std::unique_ptr<IStorage> CreateUncheckedDocfileInMemory(std::shared_ptr<TLockBytes> target)
{
    auto document = std::make_shared<TWriteDocument>(std::move(target), TDocfileOptions {});
    document->NestingUnchecked = true;
    return MakeWriteRoot(std::move(document));
}

} // namespace pelmsg::cfb
