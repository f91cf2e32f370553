#include "cfb_builder.h"

#include "tnef_builder.h"

namespace pelmsg::test {

namespace {

void Fill(IStorage& storage, const std::vector<Element>& elements)
{
    for (const Element& e : elements) {
        if (e.IsStorage) {
            auto child = storage.CreateStorage(e.Name);
            Fill(*child, e.Children);
            if (e.ModifiedTime != 0)
                child->SetElementTimes(u"", std::nullopt, std::nullopt, e.ModifiedTime);
        } else {
            auto stream = storage.CreateStream(e.Name);
            if (!e.Bytes.empty())
                stream->Write(e.Bytes.data(), e.Bytes.size());
        }
    }
}

void List(IStorage& storage, const std::u16string& prefix, std::map<std::u16string, Listed>& out)
{
    auto elements = storage.EnumElements();
    for (STATSTG element; elements->Next(element);) {
        std::u16string path = prefix + element.pwcsName;
        Listed& listed = out[path];
        listed.IsStorage = element.type == STGTY_STORAGE;
        try {
            if (listed.IsStorage) {
                auto child = storage.OpenStorage(element.pwcsName);
                List(*child, path + u"/", out);
            } else {
                auto stream = storage.OpenStream(element.pwcsName);
                listed.Bytes.resize(static_cast<size_t>(element.cbSize));
                if (!listed.Bytes.empty())
                    listed.Bytes.resize(stream->Read(listed.Bytes.data(), listed.Bytes.size()));
            }
        } catch (const EStorageError&) {
            listed.Unreadable = true;
        }
    }
}

} // namespace

Element Stream(std::u16string name, std::string bytes) { return { std::move(name), false, std::move(bytes), {}, 0 }; }

Element Storage(std::u16string name, std::vector<Element> children, uint64_t modifiedTime)
{
    return { std::move(name), true, {}, std::move(children), modifiedTime };
}

void WriteCompoundFile(const std::string& path, const std::vector<Element>& elements)
{
    auto root = StgCreateDocfile(path);
    Fill(*root, elements);
    root->Commit();
}

std::string CompoundFileBytes(const std::vector<Element>& elements)
{
    auto target = std::make_shared<TLockBytes>();
    auto root = StgCreateDocfileInMemory(target);
    Fill(*root, elements);
    root->Commit();
    return target->TakeBytes();
}

std::string PropEntry(uint16_t type, uint16_t identifier, uint32_t flags, const std::string& value)
{
    std::string entry = LE16(type) + LE16(identifier) + LE32(flags) + value;
    entry.resize(16, '\0');
    return entry;
}

std::map<std::u16string, Listed> ListElements(IStorage& storage)
{
    std::map<std::u16string, Listed> out;
    List(storage, u"", out);
    return out;
}

} // namespace pelmsg::test
