// Opens a compound file held in memory and walks it: every storage enumerated, every stream read to its end.
// An image that opens is also copied into a new compound file, which must read back exactly as it was written.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "storage/storage.h"

namespace {

using namespace pelmsg;

std::string ReadAll(IStream& stream)
{
    std::string out;
    char block[4096];
    for (size_t n; (n = stream.Read(block, sizeof block)) > 0;)
        out.append(block, n);
    return out;
}

// Reads everything; a damaged element is skipped, the others are still read.
void Walk(IStorage& storage)
{
    auto elements = storage.EnumElements();
    for (STATSTG element; elements->Next(element);) {
        try {
            if (element.type == STGTY_STREAM) {
                auto stream = storage.OpenStream(element.pwcsName);
                if (ReadAll(*stream).size() != element.cbSize)
                    std::abort(); // a stream that opened must deliver its whole size
                stream->Seek(0, STREAM_SEEK_SET);
                stream->Stat();
            } else {
                auto sub = storage.OpenStorage(element.pwcsName);
                sub->Stat();
                Walk(*sub);
            }
        } catch (const EPelMsgError&) {
        }
    }
}

struct TListed {
    STATSTG Stat;
    std::string Data;
    bool operator==(const TListed&) const = default;
};

void List(IStorage& storage, std::vector<TListed>& out)
{
    auto elements = storage.EnumElements();
    for (STATSTG element; elements->Next(element);) {
        if (element.type == STGTY_STREAM) {
            out.push_back({ element, ReadAll(*storage.OpenStream(element.pwcsName)) });
        } else {
            out.push_back({ element, "" });
            List(*storage.OpenStorage(element.pwcsName), out);
        }
    }
}

// What we write must read back the same.
void RoundTrip(IStorage& source)
{
    auto block = std::make_shared<TLockBytes>();
    auto copy = StgCreateDocfileInMemory(block);
    try {
        source.CopyTo(*copy);
        copy->Commit();
    } catch (const EPelMsgError&) {
        return; // damaged streams, or names a new file may not have
    }
    auto reread = StgOpenStorageOnMemory(block->TakeBytes());
    std::vector<TListed> written, read;
    List(*copy, written);
    List(*reread, read);
    STATSTG writtenRoot = copy->Stat(), readRoot = reread->Stat();
    writtenRoot.grfMode = readRoot.grfMode = 0;
    if (written != read || writtenRoot != readRoot)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<IStorage> root;
    try {
        root = StgOpenStorageOnMemory(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const EPelMsgError&) {
        return 0;
    }
    Walk(*root);
    RoundTrip(*root);
    return 0;
}
