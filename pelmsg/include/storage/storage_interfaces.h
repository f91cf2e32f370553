#pragma once

// Structured storage: a tree of storages (folders) and streams (files) kept inside one compound file. The
// interfaces follow the COM ones the message readers and writers were designed around, as plain C++ classes:
// ownership through std::unique_ptr, failures as exceptions derived from EStorageError.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/errors.h"
#include "storage/stat_stg.h"

namespace pelmsg {

// The storage holds no element of the name asked for.
class EElementNotFound : public EStorageError {
public:
    using EStorageError::EStorageError;
};

// A byte stream inside a storage, with its own position. Streams opened from a file read on demand and are
// read-only; streams of a storage being created are read-write.
class IStream {
public:
    virtual ~IStream() = default;

    // Reads up to count bytes at the position; fewer only at the end of the stream.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes all bytes at the position (a position past the end first fills the gap with zeros) or raises.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position relative to STREAM_SEEK_SET, _CUR or _END and returns the new position. A target
    // before the start raises; one past the end is allowed.
    virtual uint64_t Seek(int64_t offset, uint32_t origin) = 0;
    virtual STATSTG Stat() const = 0;
    // Copies up to count bytes from the position into target (at its position); returns the bytes copied.
    uint64_t CopyTo(IStream& target, uint64_t count);
};

// One element at a time of a storage, in the storage's order: shorter names first, names of equal length
// compared as upper case.
class IEnumSTATSTG {
public:
    virtual ~IEnumSTATSTG() = default;
    // Fills element with the next one; false when there are no more.
    virtual bool Next(STATSTG& element) = 0;
    virtual void Reset() = 0;
};

// A storage: named streams and storages. Names compare as the format compares them (case-insensitively).
class IStorage {
public:
    virtual ~IStorage() = default;

    virtual std::unique_ptr<IEnumSTATSTG> EnumElements() const = 0;
    // Raise EElementNotFound when there is no element of that name, EStorageError when it is of the other kind.
    virtual std::unique_ptr<IStream> OpenStream(const std::u16string& name) = 0;
    virtual std::unique_ptr<IStorage> OpenStorage(const std::u16string& name) = 0;
    // Create an element, replacing any element of the same name. Raise on read-only storages and on names the
    // format cannot hold (empty, longer than 31 UTF-16 units, or with one of / \ : ! or NUL).
    virtual std::unique_ptr<IStream> CreateStream(const std::u16string& name) = 0;
    virtual std::unique_ptr<IStorage> CreateStorage(const std::u16string& name) = 0;
    // Copies every element, recursively, into target (replacing elements of the same names there), and this
    // storage's class and state bits onto target.
    virtual void CopyTo(IStorage& target);
    // On a root storage being created: writes the whole compound file (the target is replaced only when that
    // succeeded). On other storages there is nothing to do: their changes belong to the root's next Commit.
    virtual void Commit() = 0;
    virtual STATSTG Stat() const = 0;
    // Describes one element (std::nullopt when there is none of that name).
    virtual std::optional<STATSTG> StatElement(const std::u16string& name) const = 0;

    virtual void SetClass(const TClassId& clsid) = 0;
    // Sets the bits of mask to those of bits.
    virtual void SetStateBits(uint32_t bits, uint32_t mask) = 0;
    // Sets the times of the element of that name, or of this storage itself when name is empty. Only storages
    // keep times (the root only its modification time) and no element keeps an access time: asking to set a
    // time that cannot be kept raises instead of losing it.
    virtual void SetElementTimes(const std::u16string& name, std::optional<uint64_t> ctime,
        std::optional<uint64_t> atime, std::optional<uint64_t> mtime)
        = 0;
};

} // namespace pelmsg
