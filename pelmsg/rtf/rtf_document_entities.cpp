#include "rtf/rtf_document_reader.h"

#include <algorithm>
#include <utility>

#include "model/lookup_work.h"
#include "text/ascii_case.h"

namespace pelmsg::rtf_document {

// The ";" that ends an entity starting with the "&" at `amp`, looked for within kMaxRtfEntityLength units.
size_t TDocumentReader::EntityEnd(const WideString& text, size_t amp)
{
    const size_t stop = std::min(text.size(), amp + kMaxRtfEntityLength);
    for (size_t k = amp + 1; k < stop; ++k) {
        ++LookupWork().EntityUnitsExamined;
        if (text[k] == u';')
            return k;
    }
    return WideString::npos;
}

void TDocumentReader::DecodeEntitiesIn(WideString& text)
{
    if (text.find(u'&') == WideString::npos)
        return;
    static const std::pair<std::u16string_view, char16_t> kNamed[] = { { u"amp", u'&' }, { u"lt", u'<' },
        { u"gt", u'>' }, { u"quot", u'"' }, { u"apos", u'\'' }, { u"nbsp", u'\u00A0' } };
    WideString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        // The ";" is looked for no further than the longest entity this knows could reach: a run of "&"
        // without ";" costs a bounded look from each.
        const size_t semicolon = text[i] == u'&' ? EntityEnd(text, i) : WideString::npos;
        if (semicolon == WideString::npos) {
            out.push_back(text[i]);
            continue;
        }
        const std::u16string_view name(text.data() + i + 1, semicolon - i - 1);
        char16_t decoded = 0;
        for (const auto& [entity, c] : kNamed)
            if (name == entity)
                decoded = c;
        if (!decoded && name.size() > 1 && name[0] == u'#') {
            const bool hex = name[1] == u'x' || name[1] == u'X';
            uint32_t value = 0;
            bool ok = name.size() > (hex ? 2u : 1u);
            for (size_t k = hex ? 2 : 1; k < name.size() && ok; ++k) {
                const int digit = hex ? AsciiHexValue(name[k]) : (IsRtfDigit(name[k]) ? name[k] - u'0' : -1);
                ok = digit >= 0;
                value = value * (hex ? 16 : 10) + static_cast<uint32_t>(std::max(digit, 0));
                ok = ok && value <= 0xFFFF;
            }
            if (ok && value != 0)
                decoded = static_cast<char16_t>(value);
        }
        if (!decoded) {
            out.push_back(text[i]);
            continue;
        }
        out.push_back(decoded);
        i = semicolon;
    }
    text = std::move(out);
}

void TDocumentReader::DecodeEntities()
{
    auto paragraph = [](TRtfParagraph& p) {
        for (TRtfSpan& span : p.Spans)
            DecodeEntitiesIn(span.Text);
    };
    for (TRtfBlock& block : doc_.Blocks) {
        if (auto* p = std::get_if<TRtfParagraph>(&block)) {
            paragraph(*p);
            continue;
        }
        for (TRtfTableRow& row : std::get<TRtfTable>(block).Rows)
            for (TRtfTableCell& cell : row.Cells)
                for (TRtfParagraph& p : cell.Paragraphs)
                    paragraph(p);
    }
}

} // namespace pelmsg::rtf_document
