#pragma once

// Descriptions of elements (STATSTG): made from what a storage keeps of an element, and listed by an
// IEnumSTATSTG over descriptions taken when the enumerator was made.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "storage/storage_interfaces.h"

namespace pelmsg::cfb {

// The description of an element of a file being read (a directory entry) or written (a tree node): its name,
// kind and size, and the times, class id and state bits it keeps.
template <class Element>
STATSTG StatOfElement(const Element& e, std::u16string name, bool isStorage, uint64_t size, uint32_t mode)
{
    STATSTG s;
    s.pwcsName = std::move(name);
    s.type = isStorage ? STGTY_STORAGE : STGTY_STREAM;
    s.cbSize = isStorage ? 0 : size;
    s.mtime = e.ModifiedTime;
    s.ctime = e.CreationTime;
    s.grfMode = mode;
    s.clsid = e.Clsid;
    s.grfStateBits = e.StateBits;
    return s;
}

class TStatListEnumerator final : public IEnumSTATSTG {
public:
    explicit TStatListEnumerator(std::vector<STATSTG> elements)
        : elements_(std::move(elements))
    {
    }

    bool Next(STATSTG& element) override
    {
        if (next_ >= elements_.size())
            return false;
        element = elements_[next_++];
        return true;
    }
    void Reset() override { next_ = 0; }

private:
    std::vector<STATSTG> elements_;
    size_t next_ = 0;
};

} // namespace pelmsg::cfb
