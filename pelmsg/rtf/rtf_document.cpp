#include "rtf/rtf_document.h"

#include <algorithm>

#include "rtf/rtf_document_reader.h"

namespace pelmsg {

namespace {

void AppendParagraphText(const TRtfParagraph& p, WideString& out)
{
    for (const TRtfSpan& span : p.Spans)
        out += span.Text;
}

} // namespace

int32_t CodePageOfRtfCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 2: // symbol: its bytes read as Windows-1252 give the nearest characters (0xB7 a middle dot)
        return 1252;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

TRtfDocument ReadRtfDocument(std::u16string_view rtf) { return rtf_document::TDocumentReader(rtf, false).Read(); }

TRtfDocument ReadRtfDocument(std::string_view rtf)
{
    // Each byte becomes one unit; bytes from 0x80 up are decoded as the code page in force where they stand, as
    // "\'hh" escapes are, and "\bin" data stays byte for byte.
    WideString text(rtf.size(), u'\0');
    std::transform(rtf.begin(), rtf.end(), text.begin(), [](char c) { return static_cast<unsigned char>(c); });
    return rtf_document::TDocumentReader(text, true).Read();
}

WideString RtfDocumentText(const TRtfDocument& document)
{
    WideString out;
    for (const TRtfBlock& block : document.Blocks) {
        if (const auto* p = std::get_if<TRtfParagraph>(&block)) {
            AppendParagraphText(*p, out);
            out.push_back(u'\n');
            continue;
        }
        for (const TRtfTableRow& row : std::get<TRtfTable>(block).Rows) {
            for (size_t c = 0; c < row.Cells.size(); ++c) {
                if (c > 0)
                    out.push_back(u'\t');
                const auto& paragraphs = row.Cells[c].Paragraphs;
                for (size_t i = 0; i < paragraphs.size(); ++i) {
                    if (i > 0)
                        out.push_back(u' ');
                    AppendParagraphText(paragraphs[i], out);
                }
            }
            out.push_back(u'\n');
        }
    }
    for (char16_t& c : out)
        if (c == u'\u2028')
            c = u'\n';
    return out;
}

} // namespace pelmsg
