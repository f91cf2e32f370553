// Loads arbitrary bytes as an Outlook .msg file, saves the tree with every property and loads the saved file
// again: the second tree must equal the first, node for node.
//
// "Equal" is what the writer promises for a tree read from a .msg: the same nodes in the same order, of the same
// kind, with the same tags, values, sizes and properties-stream headers, and the same record of the element and
// entry each node was read from (name, kind, flags word, entry bytes). The exceptions, each for a reason:
// - the compressed RTF body is written uncompressed: its text must come back the same, but the size it records
//   and an "LZFu" marking become those of the uncompressed stream;
// - a Unicode stream of an odd size reads as its whole characters, and the odd byte is not written back;
// - a storage without a name (the format forbids it) is written under the name of its tag;
// - element names the format forbids in other ways make the save fail with an error, leaving no file;
// - a tree without a properties stream at its top (a file so damaged that it could not be read) is not taken
//   for one read from a .msg: the writer lays it out afresh, as a TNEF message, and the file must load again.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <typeinfo>

#include "pelmsg.h"

namespace {

using namespace pelmsg;

[[noreturn]] void Fail(const char* what, const TMSGProperty& node)
{
    std::fprintf(stderr, "round trip changed %s of node %08X (element \"", what, node.TagID);
    for (char16_t c : ElementNameOf(node))
        std::fputc(c < 0x80 ? static_cast<int>(c) : '?', stderr);
    std::fprintf(stderr, "\")\n");
    std::abort();
}

WideString TagName(uint32_t tag)
{
    char hex[12];
    std::snprintf(hex, sizeof hex, "%08X", tag);
    return WideString(hex, hex + 8);
}

// Values are the same when they hold the same kind and the same bits: a NaN read from an entry is the NaN it was.
bool SameValue(const TValue& a, const TValue& b)
{
    if (a.index() != b.index())
        return false;
    if (const auto* d = std::get_if<double>(&a))
        return std::memcmp(d, &std::get<double>(b), sizeof(double)) == 0;
    if (const auto* t = std::get_if<TDateTime>(&a))
        return std::memcmp(&t->Days, &std::get<TDateTime>(b).Days, sizeof(double)) == 0;
    return a == b;
}

void Compare(const TMSGProperties& first, const TMSGProperties& second)
{
    if (first.Count() != second.Count()) {
        std::fprintf(stderr, "round trip changed a node count: %d then %d\n", first.Count(), second.Count());
        if (first.ParentProperty())
            Fail("the children", *first.ParentProperty());
        std::abort();
    }
    for (int i = 0; i < first.Count(); ++i) {
        const TMSGProperty& a = *first.Items(i);
        const TMSGProperty& b = *second.Items(i);
        if (typeid(a) != typeid(b))
            Fail("the kind", a);
        if (a.TagID != b.TagID)
            Fail("the tag", a);
        if (IsStorageElement(a) != IsStorageElement(b))
            Fail("the element", a);
        // A storage without a name (which the format forbids) is written under the name of its tag, which it
        // then has as its value too.
        const bool renamed = IsStorageElement(a) && ElementNameOf(a).empty() && ElementNameOf(b) == TagName(a.TagID)
            && ValueAsBytes(b.Value) == ValueAsBytes(TValue(TagName(a.TagID)));
        if (ElementNameOf(a) != ElementNameOf(b) && !renamed)
            Fail("the element", a);
        if ((a.MsgRecord != nullptr) != (b.MsgRecord != nullptr))
            Fail("the record", a);
        if (a.MsgRecord) {
            const TMsgRecord& ra = *a.MsgRecord;
            const TMsgRecord& rb = *b.MsgRecord;
            if (ra.EntryFlags != rb.EntryFlags || ra.EntryLength != rb.EntryLength || ra.Entry != rb.Entry)
                Fail("the entry", a);
        }
        if ((a.NamedId == nullptr) != (b.NamedId == nullptr) || (a.NamedId && !(*a.NamedId == *b.NamedId)))
            Fail("the name", a);
        if (const auto* rtf = dynamic_cast<const TMSGPropertyCompressedRTF*>(&a)) {
            const auto& rtf2 = static_cast<const TMSGPropertyCompressedRTF&>(b);
            if (ValueAsBytes(a.Value) != ValueAsBytes(b.Value))
                Fail("the RTF text", a);
            if ((rtf->CompressionKind == TCompressedRtfKind::NoHeader)
                != (rtf2.CompressionKind == TCompressedRtfKind::NoHeader))
                Fail("the RTF header", a);
        } else {
            if (!SameValue(a.Value, b.Value) && !renamed)
                Fail("the value", a);
            // A Unicode stream of an odd size reads as its whole characters; the odd last byte, half a
            // character, is not written back.
            const uint16_t base = static_cast<uint16_t>(PropType(a.TagID) & ~MV_FLAG);
            const bool oddUnicode = base == PT_UNICODE && a.DataSize % 2 == 1 && b.DataSize + 1 == a.DataSize;
            if (a.DataSize != b.DataSize && !oddUnicode)
                Fail("the size", a);
        }
        if (const auto* header = dynamic_cast<const TMSGPropertyWithHeader*>(&a))
            if (header->Header != static_cast<const TMSGPropertyWithHeader&>(b).Header)
                Fail("the header", a);
        Compare(a.SubProperties, b.SubProperties);
    }
}

bool HasPropertiesStream(const TMSGProperties& collection)
{
    for (const TMSGProperty* node : collection)
        if (dynamic_cast<const TMSGPropertyWithHeader*>(node) || ElementNameOf(*node) == u"__properties_version1.0")
            return true;
    return false;
}

// One folder per fuzzing process for the saved files, removed at exit.
const std::string& SavedFile()
{
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "msg-roundtrip-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        static std::string folder = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
        return pattern + "/saved.msg";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TPelMSGFile first;
    TSpanStream stream(data, size);
    try {
        first.LoadFromStream(stream);
    } catch (const EPelMsgError&) {
        return 0; // not a compound file: nothing to write back
    }
    std::filesystem::remove(SavedFile());
    try {
        SaveToMSGFile(first.Properties(), SavedFile(), true);
    } catch (const EPelMsgError&) {
        // Element names the format forbids (a NUL, "/", "\", ":" or "!") can be read but not written: the save
        // fails with an error and leaves no file behind.
        if (std::filesystem::exists(SavedFile()))
            std::abort();
        return 0;
    }
    TPelMSGFile second;
    second.LoadFromFile(SavedFile());
    if (HasPropertiesStream(first.Properties()))
        Compare(first.Properties(), second.Properties());
    return 0;
}
