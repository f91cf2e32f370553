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

std::optional<TRtfHtmlSource> LargeRtfBody(
    const pelmsg::TMSGProperties& message, qsizetype minBytes, std::shared_ptr<const void> keeper)
{
    // The node RtfBodyBytes reads.
    const pelmsg::TMSGProperty* node
        = message.FindProperty(pelmsg::MakeTag(pelmsg::kIdRtfCompressed, 0), true, !message.IsTopLevel());
    const auto* stored = node ? std::get_if<pelmsg::ByteString>(&node->Value) : nullptr;
    if (!stored || stored->size() < size_t(minBytes))
        return std::nullopt;
    TRtfHtmlSource source;
    if (keeper) {
        source.Keeper = std::move(keeper);
        source.Message = &message;
    } else {
        source.Copy = *stored;
    }
    source.Charset = message.Root().Charset();
    return source;
}

TPreparedHtml PrepareHtmlFromRtf(TRtfHtmlSource rtf)
{
    pelmsg::ByteString text;
    if (rtf.Message) {
        text = rtf.Message->RtfBodyBytes();
    } else {
        // As RtfBodyBytes reads a stored value: decompressed when it is compressed, without trailing terminators.
        text = pelmsg::HasCompressedRtfHeader(rtf.Copy) ? pelmsg::DecodeCompressedRtf(rtf.Copy).Text
                                                       : std::move(rtf.Copy);
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
    }
    const pelmsg::ByteString html = pelmsg::TakeHtmlFromRtf(std::move(text));
    if (html.empty())
        return {};
    const QString decoded = QString::fromUtf8(html.data(), qsizetype(html.size()));
    return PrepareHtmlPage(QString::fromStdU16String(WrapHtmlForCharset(rtf.Charset, decoded.toStdU16String())));
}

} // namespace quorra
