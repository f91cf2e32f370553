#include "storage/storage_interfaces.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pelmsg {

namespace {

constexpr size_t kCopyBlockSize = size_t{1024} * 1024;

} // namespace

uint64_t IStream::CopyTo(IStream& target, uint64_t count)
{
    std::string block(static_cast<size_t>(std::min<uint64_t>(count, kCopyBlockSize)), '\0');
    uint64_t copied = 0;
    while (copied < count) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(count - copied, block.size()));
        size_t got = Read(block.data(), want);
        if (got == 0)
            break;
        target.Write(block.data(), got);
        copied += got;
    }
    return copied;
}

void IStorage::CopyTo(IStorage& target)
{
    STATSTG self = Stat();
    target.SetClass(self.clsid);
    target.SetStateBits(self.grfStateBits, 0xFFFFFFFF);
    // Take the list first: creating elements in the target must not change what is being copied.
    std::vector<STATSTG> elements;
    auto list = EnumElements();
    for (STATSTG element; list->Next(element);)
        elements.push_back(std::move(element));
    for (const STATSTG& element : elements) {
        if (element.type == STGTY_STREAM) {
            auto source = OpenStream(element.pwcsName);
            auto copy = target.CreateStream(element.pwcsName);
            source->CopyTo(*copy, element.cbSize);
        } else if (element.type == STGTY_STORAGE) {
            auto source = OpenStorage(element.pwcsName);
            auto copy = target.CreateStorage(element.pwcsName);
            source->CopyTo(*copy);
            target.SetElementTimes(element.pwcsName, element.ctime, std::nullopt, element.mtime);
        }
    }
}

} // namespace pelmsg
