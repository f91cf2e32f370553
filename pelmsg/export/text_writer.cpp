// The plain-text listing of a message: the four message fields, the plain body and, on request, every property of
// the tree.

#include "core/stream.h"
#include "export/writer_support.h"
#include "model/property.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

void WritePropertyLines(TLineWriter& out, const TMSGProperties& collection, int level, int32_t codePage)
{
    const WideString indent(static_cast<size_t>(2 * (level - 1)), u' ');
    for (const TMSGProperty* node : collection) {
        WideString line = indent + AnsiToWide(CategoryName(node->Category())) + u"\t" + AnsiToWide(TagText(node->TagID))
            + u"\t\"" + node->ValueText(codePage) + u"\"";
        out.Line(WideToAnsi(line));
        if (!node->SubProperties.Empty())
            WritePropertyLines(out, node->SubProperties, level + 1, NestedTextCodePage(node->SubProperties, codePage));
    }
}

} // namespace

void TMSGProperties::SaveToText(TStream* stream, bool withProperties) const
{
    TLineWriter out(RequireStream(stream));
    out.Line(GeneratorNote() + "\r\n");
    out.Line(WideToAnsi(u"From: " + From()));
    WideString sent = FormatSentDate(SentDate());
    if (!sent.empty())
        out.Line(WideToAnsi(u"Sent: " + sent));
    out.Line(WideToAnsi(u"To: " + ToList()));
    out.Line(WideToAnsi(u"Subject: " + Subject()));
    out.Line(WideToAnsi(u"Body: " + PlainBody()));
    if (!withProperties)
        return;
    out.Line("Properties:\r\n");
    out.Line("Category\tTagID\tValue");
    WritePropertyLines(out, *this, 1, TextCodePage());
}

void TMSGProperties::SaveToTextFile(const std::string& fileName, bool withProperties) const
{
    SaveThroughTemporaryFile(fileName, [&](TStream& file) { SaveToText(&file, withProperties); });
}

} // namespace pelmsg
