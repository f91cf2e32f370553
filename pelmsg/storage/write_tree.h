#pragma once

// The elements of a compound file being created, held in memory until the root storage's Commit writes them.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "storage/element_name.h"
#include "storage/stat_stg.h"

namespace pelmsg::cfb {

struct TWriteNode {
    std::u16string Name;
    bool IsStorage = false;
    // Storages below the root (0 for the root).
    int Depth = 0;
    // Set when the element is replaced or its storage removed: handles to it then refuse to work instead of
    // taking data that would never be written.
    bool Detached = false;
    std::string Data;
    std::map<std::u16string, std::shared_ptr<TWriteNode>, TElementNameLess> Children;
    std::weak_ptr<TWriteNode> Parent;
    TClassId Clsid {};
    uint32_t StateBits = 0;
    uint64_t CreationTime = 0;
    uint64_t ModifiedTime = 0;
};

// Marks a node and everything below it as no longer part of the tree.
inline void DetachSubtree(TWriteNode& node)
{
    node.Detached = true;
    for (auto& [name, child] : node.Children)
        DetachSubtree(*child);
}

} // namespace pelmsg::cfb
