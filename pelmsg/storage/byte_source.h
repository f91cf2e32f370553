#pragma once

// Where the bytes of a compound file being read come from: a file read on demand, or a block in memory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pelmsg::cfb {

class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly count bytes at offset; raises when they are not all there (the file shrank, or a read
    // failed). Callers check ranges against Size() first so that this is the exception.
    virtual void ReadAt(uint64_t offset, void* buffer, size_t count) const = 0;
    // For messages: the file name, or empty for memory.
    virtual const std::string& Name() const = 0;
};

// Raises EFileError when the file cannot be opened.
std::unique_ptr<TByteSource> OpenFileSource(const std::string& fileName);
std::unique_ptr<TByteSource> MakeMemorySource(std::string bytes);

} // namespace pelmsg::cfb
