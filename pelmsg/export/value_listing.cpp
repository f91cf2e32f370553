#include "export/value_listing.h"

#include <cstdio>

#include "model/property.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

// Types whose values are bytes with no text in them.
bool IsBinaryType(uint16_t type)
{
    const auto base = static_cast<uint16_t>(type & ~MV_FLAG);
    return base == PT_BINARY || base == PT_OBJECT || base == PT_CLSID;
}

WideString SizeText(size_t size)
{
    // Grouped by thousands, as people read sizes: "20,971,520 bytes".
    std::string digits = std::to_string(size);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return AnsiToWide(grouped + (size == 1 ? " byte" : " bytes"));
}

WideString HexText(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const size_t shown = std::min(bytes.size(), kListedBinaryBytes);
    WideString out;
    out.reserve(shown * 3 + 24);
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0)
            out += u' ';
        auto b = static_cast<unsigned char>(bytes[i]);
        out += static_cast<char16_t>(kDigits[b >> 4]);
        out += static_cast<char16_t>(kDigits[b & 0x0F]);
    }
    if (bytes.size() > shown)
        out += u" ... (" + SizeText(bytes.size()) + u")";
    return out;
}

} // namespace

WideString ListingValueText(const TMSGProperty& node, int32_t codePage)
{
    const auto* bytes = std::get_if<ByteString>(&node.Value);
    // A compound-file message keeps its RTF body decompressed in this node: that is text.
    if (!bytes || !IsBinaryType(PropType(node.TagID)) || dynamic_cast<const TMSGPropertyCompressedRTF*>(&node))
        // An HTML body is in its own charset, whatever the message's other strings are in.
        return node.ValueText(PropId(node.TagID) == kIdBodyHtml ? node.ValueCodePage() : codePage);
    if (PropType(node.TagID) == PT_OBJECT && !node.SubProperties.Empty())
        return u"(attached message, " + SizeText(bytes->size()) + u", its properties listed below)";
    if (PropType(node.TagID) == PT_CLSID && bytes->size() == 16)
        return AnsiToWide(GuidToText(reinterpret_cast<const uint8_t*>(bytes->data())));
    return HexText(*bytes);
}

std::string_view Utf8Prefix(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    // Back over continuation bytes to the start of the character that does not fit whole.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace pelmsg
