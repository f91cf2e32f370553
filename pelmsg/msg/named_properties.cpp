#include "msg/named_properties.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/byte_reader.h"
#include "msg/msg_names.h"
#include "text/codepage.h"

namespace pelmsg {

const std::array<uint8_t, 16> kPsMapi
    = { 0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };
const std::array<uint8_t, 16> kPsPublicStrings
    = { 0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

namespace {

constexpr uint32_t kTagGuidStream = 0x00020102;
constexpr uint32_t kTagEntryStream = 0x00030102;
constexpr uint32_t kTagStringStream = 0x00040102;
constexpr uint16_t kFirstNamedIdentifier = 0x8000;
constexpr uint32_t kBucketCount = 0x1F;

// The checksum lookup streams use for string names: CRC-32 over the UTF-16 name, register starting at 0.
uint32_t NameChecksum(const std::string& bytes)
{
    uint32_t crc = 0;
    for (char c : bytes) {
        uint32_t x = (crc ^ static_cast<unsigned char>(c)) & 0xFF;
        for (int k = 0; k < 8; ++k)
            x = (x & 1) ? 0xEDB88320u ^ (x >> 1) : x >> 1;
        crc = x ^ (crc >> 8);
    }
    return crc;
}

std::string KeyOf(const TNamedPropertyId& n)
{
    std::string key(reinterpret_cast<const char*>(n.Guid.data()), n.Guid.size());
    key += n.IsString ? 'S' : 'N';
    if (n.IsString)
        key += WideToUtf16Le(n.Name);
    else
        AppendLE32(key, n.Number);
    return key;
}

void AttachNames(TMSGProperties& collection, const std::map<uint16_t, TNamedPropertyId>& mapping, int depth)
{
    for (TMSGProperty* node : collection) {
        if (node->TagID == kTagNamedPropertyStorage)
            continue;
        if (PropId(node->TagID) >= kFirstNamedIdentifier) {
            auto it = mapping.find(PropId(node->TagID));
            if (it != mapping.end())
                node->NamedId = std::make_unique<TNamedPropertyId>(it->second);
        }
        if (depth < 256)
            AttachNames(node->SubProperties, mapping, depth + 1);
    }
}

} // namespace

std::map<uint16_t, TNamedPropertyId> DecodeNamedPropertyMapping(
    const std::string& guidStream, const std::string& entryStream, const std::string& stringStream)
{
    std::map<uint16_t, TNamedPropertyId> mapping;
    // An entry that names a GUID or a string beyond its stream is passed over; a last entry of fewer than 8
    // bytes is none.
    const TByteView guids(guidStream);
    const TByteView strings(stringStream);
    for (TByteReader entries(entryStream); entries.Remaining() >= 8;) {
        uint32_t nameOrOffset = entries.U32LE();
        uint32_t info = entries.U32LE();
        uint32_t propertyIndex = info >> 16;
        uint32_t guidIndex = (info >> 1) & 0x7FFF;
        bool isString = (info & 1) != 0;
        if (propertyIndex > 0x7FFE)
            continue;
        TNamedPropertyId name;
        if (guidIndex == 1) {
            name.Guid = kPsMapi;
        } else if (guidIndex == 2) {
            name.Guid = kPsPublicStrings;
        } else if (const size_t guidAt = (static_cast<size_t>(guidIndex) - 3) * 16;
                   guidIndex >= 3 && guids.Contains(guidAt, name.Guid.size())) {
            std::memcpy(name.Guid.data(), guids.At(guidAt, name.Guid.size()), name.Guid.size());
        } else {
            continue;
        }
        name.IsString = isString;
        if (isString) {
            if (!strings.Contains(nameOrOffset, 4))
                continue;
            const size_t start = static_cast<size_t>(nameOrOffset) + 4;
            name.Name = Utf16LeToWide(
                strings.Bytes(start, std::min<size_t>(strings.U32(nameOrOffset), strings.Size() - start)));
            while (!name.Name.empty() && name.Name.back() == u'\0')
                name.Name.pop_back();
        } else {
            name.Number = nameOrOffset;
        }
        mapping[static_cast<uint16_t>(kFirstNamedIdentifier + propertyIndex)] = std::move(name);
    }
    return mapping;
}

void AttachNamedPropertyNames(TMSGProperties& root)
{
    const TMSGProperty* storage = root.FindProperty(kTagNamedPropertyStorage, false, false);
    if (!storage)
        return;
    auto streamOf = [&](uint32_t tag) {
        const TMSGProperty* node = storage->SubProperties.FindProperty(tag, false, false);
        return node ? ValueAsBytes(node->Value) : std::string();
    };
    auto mapping
        = DecodeNamedPropertyMapping(streamOf(kTagGuidStream), streamOf(kTagEntryStream), streamOf(kTagStringStream));
    if (!mapping.empty())
        AttachNames(root, mapping, 0);
}

uint16_t TNamedPropertyMap::IdentifierFor(const TNamedPropertyId& name)
{
    std::string key = KeyOf(name);
    auto it = index_.find(key);
    if (it != index_.end())
        return it->second;
    if (names_.size() >= 0x7FFF)
        return 0;
    auto id = static_cast<uint16_t>(kFirstNamedIdentifier + names_.size());
    names_.push_back(name);
    index_.emplace(std::move(key), id);
    return id;
}

std::vector<std::pair<std::u16string, std::string>> TNamedPropertyMap::Streams() const
{
    std::string guids, entries, strings;
    std::vector<std::array<uint8_t, 16>> guidList;
    std::map<uint32_t, std::string> buckets;
    for (size_t i = 0; i < names_.size(); ++i) {
        const TNamedPropertyId& n = names_[i];
        uint32_t guidIndex;
        if (n.Guid == kPsMapi) {
            guidIndex = 1;
        } else if (n.Guid == kPsPublicStrings) {
            guidIndex = 2;
        } else {
            auto found = std::find(guidList.begin(), guidList.end(), n.Guid);
            if (found == guidList.end()) {
                guidList.push_back(n.Guid);
                guids.append(reinterpret_cast<const char*>(n.Guid.data()), 16);
                found = guidList.end() - 1;
            }
            guidIndex = 3 + static_cast<uint32_t>(found - guidList.begin());
        }
        uint32_t info = static_cast<uint32_t>(i) << 16 | guidIndex << 1 | (n.IsString ? 1u : 0u);
        uint32_t lookupId;
        if (n.IsString) {
            std::string name = WideToUtf16Le(n.Name);
            AppendLE32(entries, static_cast<uint32_t>(strings.size()));
            AppendLE32(strings, static_cast<uint32_t>(name.size()));
            strings += name;
            while (strings.size() % 4)
                strings += '\0';
            lookupId = NameChecksum(name);
        } else {
            AppendLE32(entries, n.Number);
            lookupId = n.Number;
        }
        AppendLE32(entries, info);
        uint32_t streamId = 0x1000 + ((lookupId ^ (guidIndex << 1 | (n.IsString ? 1u : 0u))) % kBucketCount);
        std::string& bucket = buckets[streamId];
        AppendLE32(bucket, lookupId);
        AppendLE32(bucket, info);
    }
    std::vector<std::pair<std::u16string, std::string>> out;
    out.emplace_back(SubstgName(kTagGuidStream), guids);
    out.emplace_back(SubstgName(kTagEntryStream), entries);
    out.emplace_back(SubstgName(kTagStringStream), strings);
    for (auto& [id, bytes] : buckets)
        out.emplace_back(SubstgName(id << 16 | 0x0102), bytes);
    return out;
}

} // namespace pelmsg
