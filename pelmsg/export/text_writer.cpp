// The plain-text listing of a message: the four message fields, the plain body and, on request, every property of
// the tree.

#include "export/text_writer.h"

#include "core/stream.h"
#include "export/value_listing.h"
#include "export/writer_support.h"
#include "model/property.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

void WritePropertyLines(TLineWriter& out, const TMSGProperties& collection, int level)
{
    const int32_t codePage = collection.TextCodePage();
    const WideString indent(static_cast<size_t>(2 * (level - 1)), u' ');
    for (const TMSGProperty* node : collection) {
        WideString line = indent + AnsiToWide(CategoryName(node->Category())) + u"\t" + AnsiToWide(TagText(node->TagID))
            + u"\t\"" + ListingValueText(*node, codePage) + u"\"";
        out.Line(WideToAnsi(line));
        if (!node->SubProperties.Empty())
            WritePropertyLines(out, node->SubProperties, level + 1);
    }
}

} // namespace

void WriteText(const TMSGProperties& message, TStream& stream, bool withProperties)
{
    TLineWriter out(stream);
    out.Line(GeneratorNote() + "\r\n");
    out.Line(WideToAnsi(u"From: " + message.From()));
    WideString sent = FormatSentDate(message.SentDate());
    if (!sent.empty())
        out.Line(WideToAnsi(u"Sent: " + sent));
    out.Line(WideToAnsi(u"To: " + message.ToList()));
    out.Line(WideToAnsi(u"Subject: " + message.Subject()));
    out.Line(WideToAnsi(u"Body: " + message.PlainBody()));
    if (!withProperties)
        return;
    out.Line("Properties:\r\n");
    out.Line("Category\tTagID\tValue");
    WritePropertyLines(out, message, 1);
}

} // namespace pelmsg
