#pragma once

// Opening and creating compound files, on disk or in memory. A root storage and everything opened from it are
// meant for one thread at a time.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "storage/storage_interfaces.h"

namespace pelmsg {

// Bytes in memory that a compound file is created in (what a memory block with an ILockBytes is to COM).
// The root storage's Commit replaces them with the whole file.
class TLockBytes {
public:
    const std::string& Bytes() const { return bytes_; }
    std::string TakeBytes() { return std::move(bytes_); }
    void Assign(std::string bytes) { bytes_ = std::move(bytes); }

private:
    std::string bytes_;
};

// How a new compound file is written. Version 4 (4096-byte sectors) exists so that tests can make the files other
// programs write; production code keeps the default.
struct TDocfileOptions {
    uint16_t MajorVersion = 3;
    // The time (FILETIME) stamped on the root and on every storage created; none: the time of creation. A fixed
    // time makes the same content give the same file.
    std::optional<uint64_t> ElementTime;
};

// Whether the bytes start with the eight bytes of the compound-file signature (nothing else is looked at).
bool HasCompoundFileSignature(std::string_view bytes);
// Whether the file starts with a compound-file header (signature, byte order, a known version and its sector
// size). Raises EFileError when the file cannot be read.
bool StgIsStorageFile(const std::string& fileName);
// The same test on bytes in memory.
bool StgIsStorageMemory(std::string_view bytes);

// The root storage of a compound file, read-only. Streams are read from the file when asked for; the file
// stays open until the root and everything opened from it are gone. Raises EFileError when the file cannot be
// opened and EStorageError when it is not a compound file or is damaged.
std::unique_ptr<IStorage> StgOpenStorage(const std::string& fileName);
// The same for a compound file held in memory; the storage owns the bytes (they are released with it, or at
// once when opening fails).
std::unique_ptr<IStorage> StgOpenStorageOnMemory(std::string bytes);

// A new, empty root storage whose Commit writes fileName: to a temporary file beside it that then replaces it,
// so that a failed save leaves any previous file as it was. Nothing is written before Commit; the temporary
// file is made at once, so that a folder one cannot write to fails here. Raises EFileError.
std::unique_ptr<IStorage> StgCreateDocfile(const std::string& fileName, const TDocfileOptions& options = {});
// A new, empty root storage whose Commit puts the whole file into target.
std::unique_ptr<IStorage> StgCreateDocfileInMemory(
    std::shared_ptr<TLockBytes> target, const TDocfileOptions& options = {});

} // namespace pelmsg
