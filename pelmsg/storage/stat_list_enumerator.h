#pragma once

// IEnumSTATSTG over descriptions taken when the enumerator was made.

#include <vector>

#include "storage/storage_interfaces.h"

namespace pelmsg::cfb {

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
