// Loads arbitrary bytes as a TNEF stream and writes the tree with every exporter; checks what must hold for any
// input: the XML has no character XML 1.0 forbids, and the mail's header section is ASCII.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pelmsg.h"

namespace {

std::string Written(const pelmsg::TMSGProperties& p, int format)
{
    pelmsg::TMemoryStream out;
    switch (format) {
    case 0:
        SaveToText(p, &out, true);
        break;
    case 1:
        SaveToHTML(p, &out, false);
        break;
    case 2:
        SaveToHTML(p, &out, true);
        break;
    case 3:
        SaveToXML(p, &out, true);
        break;
    default:
        SaveToEML(p, &out);
        break;
    }
    return out.TakeBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pelmsg::TPelTNEFFile file;
    pelmsg::TSpanStream stream(data, size);
    try {
        file.LoadFromStream(stream);
    } catch (const pelmsg::EPelMsgError&) {
    }
    for (int format = 0; format < 4; ++format)
        (void)Written(file.Properties(), format);

    std::string xml = Written(file.Properties(), 3);
    for (char c : xml) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r')
            std::abort(); // a control character makes the document ill-formed
    }
    std::string mail = Written(file.Properties(), 4);
    size_t headerEnd = mail.find("\r\n\r\n");
    for (size_t i = 0; i < std::min(headerEnd, mail.size()); ++i)
        if (static_cast<unsigned char>(mail[i]) >= 0x80 || mail[i] == '\0')
            std::abort(); // header fields are ASCII: text beyond it goes in encoded words
    for (size_t from = 0, end; from < std::min(headerEnd, mail.size()); from = end + 2) {
        end = mail.find("\r\n", from);
        if (end == std::string::npos)
            end = mail.size();
        if (end - from > 998)
            std::abort(); // no header line is longer than mail allows
    }
    return 0;
}
