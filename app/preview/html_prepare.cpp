#include "html_prepare.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include "preview_support.h"

namespace quorra {

TPreparedHtml PrepareHtmlPage(const QString& html)
{
    TPreparedHtml prepared;
    prepared.Html = html;
    prepared.Token = QString::number(QRandomGenerator::global()->generate64(), 16);
    // Sources written as "cid:X" (not "cid:/...") point into the page's folder, where the scheme handler finds
    // the picture by content id or file name.
    static const QRegularExpression cidSource(
        QStringLiteral("([\"'=(]\\s*)cid:(?!/)"), QRegularExpression::CaseInsensitiveOption);
    QString page = html;
    page.replace(cidSource, QStringLiteral("\\1cid:/%1/").arg(prepared.Token));
    prepared.Page = page.toUtf8();
    return prepared;
}

std::optional<THtmlBodySource> LargeHtmlBody(
    const pelmsg::TMSGProperties& message, qsizetype minBytes, std::shared_ptr<const void> keeper)
{
    // The node HtmlBody reads.
    const pelmsg::TMSGProperty* node
        = message.FindProperty(pelmsg::MakeTag(pelmsg::kIdBodyHtml, 0), true, !message.IsTopLevel());
    if (!node)
        return std::nullopt;
    size_t bytes = 0;
    if (const auto* narrow = std::get_if<pelmsg::ByteString>(&node->Value))
        bytes = narrow->size();
    else if (const auto* wide = std::get_if<pelmsg::WideString>(&node->Value))
        bytes = wide->size() * sizeof(char16_t);
    if (bytes < size_t(minBytes))
        return std::nullopt;
    THtmlBodySource source;
    if (keeper) {
        source.Keeper = std::move(keeper);
        source.Node = node;
    } else {
        source.Copy = node->Value;
    }
    source.CodePage = node->ValueCodePage();
    source.Charset = message.Root().Charset();
    return source;
}

TPreparedHtml PrepareHtmlBody(THtmlBodySource body)
{
    pelmsg::WideString text;
    if (body.Node) {
        text = body.Node->ValueText(body.CodePage);
    } else {
        // A node of a collection of its own decodes the copy as the message's node would (terminators dropped, a
        // code page that gives nothing replaced by the default one).
        pelmsg::TMSGProperties scratch;
        pelmsg::TMSGProperty* node = scratch.Add();
        node->Value = std::move(body.Copy);
        text = node->ValueText(body.CodePage);
    }
    if (text.empty())
        return {};
    return PrepareHtmlPage(QString::fromStdU16String(WrapHtmlForCharset(body.Charset, text)));
}

std::optional<TRtfBodySource> LargeRtfBody(
    const pelmsg::TMSGProperties& message, qsizetype minBytes, std::shared_ptr<const void> keeper)
{
    // The node RtfBody and RtfBodyBytes read.
    const pelmsg::TMSGProperty* node
        = message.FindProperty(pelmsg::MakeTag(pelmsg::kIdRtfCompressed, 0), true, !message.IsTopLevel());
    const auto* stored = node ? std::get_if<pelmsg::ByteString>(&node->Value) : nullptr;
    if (!stored || stored->size() < size_t(minBytes))
        return std::nullopt;
    TRtfBodySource source;
    if (keeper) {
        source.Keeper = std::move(keeper);
        source.Stored = stored;
    } else {
        source.Copy = *stored;
    }
    source.CodePage = node->Collection()->TextCodePage();
    source.Charset = message.Root().Charset();
    return source;
}

pelmsg::ByteString RtfBodyBytes(const TRtfBodySource& rtf)
{
    // Decompressed when stored compressed (or behind the header of an uncompressed one), without the terminators.
    const std::string_view bytes = rtf.Bytes();
    pelmsg::ByteString text
        = pelmsg::HasCompressedRtfHeader(bytes) ? pelmsg::DecodeCompressedRtf(bytes).Text : pelmsg::ByteString(bytes);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

QString RtfBodyText(const TRtfBodySource& rtf)
{
    const pelmsg::WideString text = pelmsg::CodePageToWide(RtfBodyBytes(rtf), rtf.CodePage);
    return QString::fromStdU16String(text);
}

TPreparedHtml PrepareHtmlFromRtf(const TRtfBodySource& rtf)
{
    const pelmsg::ByteString html = pelmsg::TakeHtmlFromRtf(RtfBodyBytes(rtf));
    if (html.empty())
        return {};
    const QString decoded = QString::fromUtf8(html.data(), qsizetype(html.size()));
    return PrepareHtmlPage(QString::fromStdU16String(WrapHtmlForCharset(rtf.Charset, decoded.toStdU16String())));
}

} // namespace quorra
