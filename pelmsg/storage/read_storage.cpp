#include "storage/read_storage.h"

#include <algorithm>
#include <cstring>

#include "storage/element_name.h"
#include "storage/stat_list_enumerator.h"
#include "storage/stream_position.h"

namespace pelmsg::cfb {

namespace {

STATSTG StatOfEntry(const TCompoundFileImage& image, uint32_t id, uint32_t mode)
{
    const TDirectoryEntry& e = image.Entry(id);
    return StatOfElement(e, e.Name, e.Type != kTypeStream, e.Size, mode);
}

[[noreturn]] void RaiseReadOnly(const TCompoundFileImage& image, uint32_t id)
{
    throw EStorageError("Storage " + image.PathOf(id) + " is opened read-only");
}

class TReadStream final : public IStream {
public:
    TReadStream(std::shared_ptr<TCompoundFileImage> image, uint32_t id, std::shared_ptr<const TStreamLayout> layout)
        : image_(std::move(image))
        , id_(id)
        , layout_(std::move(layout))
    {
    }

    size_t Read(void* buffer, size_t count) override
    {
        if (position_ >= layout_->Size)
            return 0;
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, layout_->Size - position_));
        layout_->Read(image_->Source(), position_, buffer, n);
        position_ += n;
        return n;
    }

    size_t Write(const void*, size_t) override
    {
        throw EStorageError("Stream " + image_->PathOf(id_) + " is opened read-only");
    }

    uint64_t Seek(int64_t offset, uint32_t origin) override
    {
        position_ = SeekTarget(position_, layout_->Size, offset, origin);
        return position_;
    }

    STATSTG Stat() const override { return StatOfEntry(*image_, id_, STGM_READ | STGM_SHARE_EXCLUSIVE); }

private:
    std::shared_ptr<TCompoundFileImage> image_;
    uint32_t id_;
    std::shared_ptr<const TStreamLayout> layout_;
    uint64_t position_ = 0;
};

class TReadStorage final : public IStorage {
public:
    TReadStorage(std::shared_ptr<TCompoundFileImage> image, uint32_t id)
        : image_(std::move(image))
        , id_(id)
    {
    }

    std::unique_ptr<IEnumSTATSTG> EnumElements() const override
    {
        std::vector<STATSTG> elements;
        auto children = image_->Children(id_);
        elements.reserve(children.size());
        for (uint32_t child : children)
            elements.push_back(StatOfEntry(*image_, child, 0));
        return std::make_unique<TStatListEnumerator>(std::move(elements));
    }

    std::unique_ptr<IStream> OpenStream(const std::u16string& name) override
    {
        uint32_t child = Find(name, kTypeStream);
        return std::make_unique<TReadStream>(image_, child, image_->StreamLayout(child));
    }

    std::unique_ptr<IStorage> OpenStorage(const std::u16string& name) override
    {
        return std::make_unique<TReadStorage>(image_, Find(name, kTypeStorage));
    }

    std::unique_ptr<IStream> CreateStream(const std::u16string&) override { RaiseReadOnly(*image_, id_); }
    std::unique_ptr<IStorage> CreateStorage(const std::u16string&) override { RaiseReadOnly(*image_, id_); }
    void SetClass(const TClassId&) override { RaiseReadOnly(*image_, id_); }
    void SetStateBits(uint32_t, uint32_t) override { RaiseReadOnly(*image_, id_); }
    void SetElementTimes(
        const std::u16string&, std::optional<uint64_t>, std::optional<uint64_t>, std::optional<uint64_t>) override
    {
        RaiseReadOnly(*image_, id_);
    }

    // Nothing is ever changed, so there is nothing to commit.
    void Commit() override { }

    STATSTG Stat() const override
    {
        return StatOfEntry(
            *image_, id_, id_ == 0 ? STGM_READ | STGM_SHARE_DENY_WRITE : STGM_READ | STGM_SHARE_EXCLUSIVE);
    }

    std::optional<STATSTG> StatElement(const std::u16string& name) const override
    {
        uint32_t child = image_->FindChild(id_, name);
        if (child == kNoStream)
            return std::nullopt;
        return StatOfEntry(*image_, child, 0);
    }

private:
    uint32_t Find(const std::u16string& name, uint8_t type) const
    {
        const char* kind = type == kTypeStream ? "stream" : "storage";
        uint32_t child = image_->FindChild(id_, name);
        if (child == kNoStream)
            throw EElementNotFound(std::string(type == kTypeStream ? "Stream " : "Storage ") + NameForMessage(name)
                + " not found in storage " + image_->PathOf(id_));
        if (image_->Entry(child).Type != type)
            throw EStorageError(image_->PathOf(child) + " is not a " + kind);
        return child;
    }

    std::shared_ptr<TCompoundFileImage> image_;
    uint32_t id_;
};

} // namespace

std::unique_ptr<IStorage> MakeReadRoot(std::shared_ptr<TCompoundFileImage> image)
{
    return std::make_unique<TReadStorage>(std::move(image), 0);
}

} // namespace pelmsg::cfb
