// libFuzzer target: the RTF reader that the preview's rich-text tab shows, on any bytes. Inputs whose first byte is
// odd get a document start with a code page and a font table in front, so that most runs reach the body.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "rtf/rtf_document.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string rtf;
    if (!input.empty() && (input[0] & 1) != 0) {
        static const char* const kCodePages[] = { "", "\\ansicpg1251", "\\ansicpg932", "\\ansicpg936", "\\ansicpg65001" };
        rtf = std::string("{\\rtf1\\ansi") + kCodePages[(static_cast<unsigned char>(input[0]) >> 1) % 5]
            + "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fcharset128 MS Gothic;}}"
              "{\\colortbl;\\red255\\green0\\blue0;}\\pard\\plain " + std::string(input.substr(1));
    } else {
        rtf.assign(input);
    }
    const pelmsg::TRtfDocument document = pelmsg::ReadRtfDocument(rtf);
    // Every index a span holds points into the document's tables.
    for (const pelmsg::TRtfBlock& block : document.Blocks) {
        auto checkParagraph = [&](const pelmsg::TRtfParagraph& p) {
            for (const pelmsg::TRtfSpan& span : p.Spans) {
                Check(span.Picture < static_cast<int>(document.Pictures.size()));
                Check(span.Format.Font < static_cast<int>(document.Fonts.size()));
                Check(span.Format.Color < static_cast<int>(document.Colors.size()));
                Check(span.Format.Background < static_cast<int>(document.Colors.size()));
            }
        };
        if (const auto* p = std::get_if<pelmsg::TRtfParagraph>(&block)) {
            checkParagraph(*p);
            continue;
        }
        for (const auto& row : std::get<pelmsg::TRtfTable>(block).Rows) {
            Check(!row.Cells.empty() && row.Cells.size() <= pelmsg::kMaxRtfTableColumns);
            for (const auto& cell : row.Cells)
                for (const auto& p : cell.Paragraphs)
                    checkParagraph(p);
        }
    }
    for (const pelmsg::TRtfPicture& picture : document.Pictures)
        Check(picture.Bytes.size() <= pelmsg::kMaxRtfPictureBytes);
    // The text never grows beyond a few units per input byte.
    Check(pelmsg::RtfDocumentText(document).size() <= 2 * rtf.size() + 2);
    return 0;
}
