#include "storage/ole_object.h"

#include "core/byte_reader.h"

namespace pelmsg {

namespace {

// A NUL-terminated string; raises like any read past the end when no NUL follows.
std::string ZString(TByteReader& r)
{
    std::string out;
    for (char c; (c = static_cast<char>(r.U8())) != '\0';)
        out.push_back(c);
    return out;
}

// A string behind its 32-bit length (which counts the NUL), without its trailing NULs.
std::string LengthString(TByteReader& r)
{
    std::string out(r.Bytes(r.U32LE()));
    while (!out.empty() && out.back() == '\0')
        out.pop_back();
    return out;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::optional<TOlePackage> ReadOle10Native(std::string_view stream)
{
    try {
        TByteReader r(stream);
        TOlePackage package;
        // Size, a 16-bit type (2), label, source path, two reserved 16-bit words, the temporary path behind its
        // length, then the data behind its length.
        r.Skip(4 + 2);
        package.Label = ZString(r);
        const std::string path = ZString(r);
        r.Skip(4);
        const std::string tempPath = LengthString(r);
        package.Data = std::string(r.Bytes(r.U32LE()));
        // The label is the name the sender saw; the first path may be only where the icon came from (SHELL32.DLL),
        // the temporary path is the file's own.
        for (const std::string* candidate :
            std::initializer_list<const std::string*> { &package.Label, &tempPath, &path })
            if (package.FileName.empty())
                package.FileName = FileNameOf(*candidate);
        return package;
    } catch (const EFormatError&) {
        return std::nullopt;
    }
}

TOleCompObj ReadOleCompObj(std::string_view stream)
{
    TOleCompObj compObj;
    try {
        // A 28-byte header (version, byte order, class id), the user type, then the clipboard format (a marker,
        // and a 32-bit id behind -1 or -2, or a name of the marker's length), then the ProgID.
        TByteReader r(stream);
        r.Skip(28);
        compObj.UserType = LengthString(r);
        const uint32_t marker = r.U32LE();
        if (marker == 0xFFFFFFFF || marker == 0xFFFFFFFE)
            r.Skip(4);
        else
            r.Skip(marker);
        compObj.ProgId = LengthString(r);
    } catch (const EFormatError&) {
        // What was read in full stays.
    }
    return compObj;
}

} // namespace pelmsg
