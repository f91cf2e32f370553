// libFuzzer target: HTML out of encapsulating RTF on any bytes, and the unescaping that reads its text.
//
// Inputs whose first byte is odd get the start of an encapsulated-HTML document (with a font table of several
// charsets) in front of the rest, so that most runs pass the checks for "\fromhtml", a tag group and an HTML start
// and reach both passes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rtf/rtf_html.h"
#include "text/codepage.h"
#include "text/html_escape.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The rounds of the plain definition, for small inputs: search from the start, replace, repeat.
pelmsg::WideString ReplaceByRounds(
    const pelmsg::WideString& entity, const pelmsg::WideString& replacement, pelmsg::WideString text)
{
    for (size_t at; (at = text.find(entity)) != pelmsg::WideString::npos;) {
        text.erase(at, entity.size());
        if (at < text.size() && text[at] == u';')
            text.erase(at, 1);
        text.insert(at, replacement);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string rtf;
    if (!input.empty() && (input[0] & 1) != 0) {
        static const char* const kCodePages[]
            = { "", "\\ansicpg1251", "\\ansicpg932", "\\ansicpg936", "\\ansicpg65001" };
        // A font table whose fonts name other code pages, so that "\fN" in the input switches among them.
        rtf = std::string("{\\rtf1\\ansi") + kCodePages[(static_cast<unsigned char>(input[0]) >> 1) % 5]
            + "\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fcharset128 A;}{\\f1\\fcharset134 B;}{\\f2\\fcharset129 C;}"
              "{\\f3\\fcharset0 D;}\\f4\\cpg1251 E;{\\f5\\fcharset136 F;}{\\f6\\fcharset2 G;}}"
              "{\\*\\htmltag19 <html>}"
            + std::string(input.substr(1));
    } else {
        rtf.assign(input);
    }

    std::string html = pelmsg::ExtractHtmlFromRtf(rtf);
    // Always UTF-8, whatever the bytes and code page.
    Check(pelmsg::WideToUtf8(pelmsg::Utf8ToWide(html)) == html);

    pelmsg::WideString text = pelmsg::Utf8ToWide(html);
    if (text.size() <= 256) {
        pelmsg::WideString fast = text;
        pelmsg::ReplaceEntity(u"&amp", u"&", fast);
        Check(fast == ReplaceByRounds(u"&amp", u"&", text));
    }
    pelmsg::UnescapeHtml(text);
    return 0;
}
