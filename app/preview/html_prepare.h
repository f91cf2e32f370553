#pragma once

// The HTML body made ready for the preview's web view: decoded from the message's code page, wrapped so that it
// names its charset, its "cid:" picture sources moved under the page's own folder and the whole encoded as UTF-8.
// For a large body that is seconds of work, done in a worker, which holds the open document meanwhile (or a copy
// of the body), so that the message may go from the window (another one shown, the file closed) while it runs.

#include <cstdint>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

#include "pelmsg.h"

namespace quorra {

// Stored HTML bodies at least this large are prepared in a worker; smaller ones at once.
inline constexpr qsizetype kHtmlInWorkerBytes = qsizetype(256) << 10;

// An HTML text as the web view loads it.
struct TPreparedHtml {
    // The text (for the rich-text view that stands in when the web view fails).
    QString Html;
    // The page's addresses live under "cid:/TOKEN/", new for every prepared text: the engine keeps pictures by
    // address, and two messages may both call theirs "cid:image001.png".
    QString Token;
    // Html in UTF-8, its sources written "cid:X" moved to "cid:/TOKEN/X".
    QByteArray Page;
};

// Makes the page of an HTML text (a new token each time).
TPreparedHtml PrepareHtmlPage(const QString& html);

// The stored HTML body of a message, for a worker to decode: read where it is when the keeper keeps the message
// alive, else copied from it.
struct THtmlBodySource {
    std::shared_ptr<const void> Keeper;
    const pelmsg::TMSGProperty* Node = nullptr; // the stored body, while Keeper keeps it
    pelmsg::TValue Copy; // without a keeper, a copy of its value
    int32_t CodePage = 0;
    std::string Charset; // the message's charset, named in the wrapper of a body that names none
};

// The message's HTML body when it is stored in at least minBytes bytes; nothing for a smaller one or none. keeper:
// what keeps the message alive (the open document), or nullptr (the body is then copied, on the calling thread).
std::optional<THtmlBodySource> LargeHtmlBody(
    const pelmsg::TMSGProperties& message, qsizetype minBytes, std::shared_ptr<const void> keeper);

// The body decoded and prepared as the preview shows it (Html empty when the body decodes to nothing). Touches no
// Qt object: runs in any thread.
TPreparedHtml PrepareHtmlBody(THtmlBodySource body);

// The stored RTF body of a message, for workers to decompress, decode and take apart: read where it is while the
// keeper keeps the message alive, else a copy of the stored bytes. What needs the message's code-page lookup is
// looked up on the calling thread, so that a worker touches nothing of the message but the bytes.
struct TRtfBodySource {
    std::shared_ptr<const void> Keeper;
    const pelmsg::ByteString* Stored = nullptr; // the stored bytes, while Keeper keeps them
    pelmsg::ByteString Copy; // without a keeper, a copy of them
    int32_t CodePage = 0; // the code page RtfBody decodes the text in
    std::string Charset; // the message's charset, named in the wrapper of the HTML taken out
    std::string_view Bytes() const { return Stored ? std::string_view(*Stored) : std::string_view(Copy); }
};

// The message's RTF body when it is stored as bytes, at least minBytes of them; nothing for a smaller one or none.
// keeper as for LargeHtmlBody.
std::optional<TRtfBodySource> LargeRtfBody(
    const pelmsg::TMSGProperties& message, qsizetype minBytes, std::shared_ptr<const void> keeper);

// The RTF as TMSGProperties::RtfBodyBytes and RtfBody give it (decompressed; decoded). Run in any thread; raise the
// library's errors.
pelmsg::ByteString RtfBodyBytes(const TRtfBodySource& rtf);
QString RtfBodyText(const TRtfBodySource& rtf);

// The HTML the RTF encapsulates ("\fromhtml"), prepared as the preview shows it (Html empty when it holds none).
// Touches no Qt object: runs in any thread.
TPreparedHtml PrepareHtmlFromRtf(const TRtfBodySource& rtf);

} // namespace quorra
