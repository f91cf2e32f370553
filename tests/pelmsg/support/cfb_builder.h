#pragma once

// Small compound files for the .msg reader and writer tests, made and read back through the storage layer.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/types.h"
#include "storage/storage.h"

namespace pelmsg::test {

// One element of a compound file to build: a stream with its bytes, or a storage with its elements.
struct Element {
    std::u16string Name;
    bool IsStorage = false;
    std::string Bytes;
    std::vector<Element> Children;
    uint64_t ModifiedTime = 0; // of a storage, when not 0
};

Element Stream(std::u16string name, std::string bytes);
Element Storage(std::u16string name, std::vector<Element> children, uint64_t modifiedTime = 0);

// The compound file holding the elements, written to a file or made in memory.
void WriteCompoundFile(const std::string& path, const std::vector<Element>& elements);
std::string CompoundFileBytes(const std::vector<Element>& elements);

// A 16-byte entry of a properties stream: type, identifier, flags and an 8-byte value field (cut or padded).
std::string PropEntry(uint16_t type, uint16_t identifier, uint32_t flags, const std::string& value = {});

// Every element of a storage, recursively, by path ("a/b/c"): a storage maps to nothing, a stream to its bytes.
// An element the storage layer refuses to open (a damaged one) is listed as unreadable.
struct Listed {
    bool IsStorage = false;
    std::string Bytes;
    bool Unreadable = false;
    bool operator==(const Listed&) const = default;
};
std::map<std::u16string, Listed> ListElements(IStorage& storage);

} // namespace pelmsg::test
