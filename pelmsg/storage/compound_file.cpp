#include "storage/compound_file.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/byte_reader.h"
#include "storage/byte_source.h"
#include "storage/cfb_format.h"
#include "storage/cfb_image.h"
#include "storage/read_storage.h"
#include "storage/write_storage.h"

namespace pelmsg {

bool HasCompoundFileSignature(std::string_view bytes)
{
    return bytes.size() >= sizeof cfb::kSignature
        && std::memcmp(bytes.data(), cfb::kSignature, sizeof cfb::kSignature) == 0;
}

bool StgIsStorageMemory(std::string_view bytes)
{
    using namespace cfb;
    if (bytes.size() < kHeaderSize)
        return false;
    const TByteView h(bytes);
    if (std::memcmp(h.At(0, sizeof kSignature), kSignature, sizeof kSignature) != 0
        || h.U16(header::kByteOrder) != kByteOrderMark)
        return false;
    const uint16_t version = h.U16(header::kMajorVersion);
    const uint16_t shift = h.U16(header::kSectorShift);
    return (version == kVersion3 && shift == kVersion3SectorShift)
        || (version == kVersion4 && shift == kVersion4SectorShift);
}

bool StgIsStorageFile(const std::string& fileName)
{
    auto source = cfb::OpenFileSource(fileName);
    if (source->Size() < cfb::kHeaderSize)
        return false;
    std::string header(cfb::kHeaderSize, '\0');
    source->ReadAt(0, header.data(), header.size());
    return StgIsStorageMemory(header);
}

std::unique_ptr<IStorage> StgOpenStorage(const std::string& fileName)
{
    return cfb::MakeReadRoot(std::make_shared<cfb::TCompoundFileImage>(cfb::OpenFileSource(fileName)));
}

std::unique_ptr<IStorage> StgOpenStorageOnMemory(std::string bytes)
{
    return cfb::MakeReadRoot(std::make_shared<cfb::TCompoundFileImage>(cfb::MakeMemorySource(std::move(bytes))));
}

std::unique_ptr<IStorage> StgCreateDocfile(const std::string& fileName, const TDocfileOptions& options)
{
    return cfb::MakeWriteRoot(std::make_shared<cfb::TWriteDocument>(fileName, options));
}

std::unique_ptr<IStorage> StgCreateDocfileInMemory(std::shared_ptr<TLockBytes> target, const TDocfileOptions& options)
{
    return cfb::MakeWriteRoot(std::make_shared<cfb::TWriteDocument>(std::move(target), options));
}

} // namespace pelmsg
