#pragma once

// The rendered message as files: a PDF (real text, links, page numbers, the subject as title and the sender as
// author) and one self-contained web page (pictures as data: addresses, styles in the file, no address outside
// data:, mailto: and the message's own links).

#include <string>

#include <QByteArray>
#include <QPageSize>
#include <QString>

class QLocale;
class QTextDocument;

namespace pelmsg {
class TMSGProperties;
}

namespace quorra {

class TRenderDocument;
struct TRenderOptions;

// Letter where the locale measures in US units, A4 elsewhere.
QPageSize DefaultPageSize(const QLocale& locale);

struct TPdfInfo {
    QString Title;
    QString Author;
    QString Creator;
    QPageSize PageSize = QPageSize(QPageSize::A4);
};

// The document printed to PDF, with page numbers; the document information dictionary carries the title, the
// author and the creator.
QByteArray RenderPdf(const QTextDocument& document, const TPdfInfo& info);

// A PDF with a document information dictionary of these entries added as an incremental update (the file's own
// objects stay as they are; readers take the newest dictionary). A text that does not end as a PDF written by Qt
// does (a trailer with /Root and startxref) is returned unchanged.
QByteArray WithPdfInfo(const QByteArray& pdf, const TPdfInfo& info);

// One HTML 5 file of the rendered message (which holds only its own content, TRenderDocument::KeepOwnContent):
// every picture as a data: address (an attachment's original bytes; a data: picture of the body as PNG), no
// background picture, the styles inside the file, UTF-8. The document is changed on the way.
QByteArray SelfContainedHtml(TRenderDocument& document, const QString& title);

// Renders the message and saves it as fileName: a PDF when pdf is set, else the self-contained web page. The
// output is written through a temporary file (an existing file is replaced only once the new one is complete) and
// never over openFile, the file the message came from. Raises the library's file errors.
void SaveRenderedMessage(const pelmsg::TMSGProperties& message, const TRenderOptions& options,
    const std::string& fileName, bool pdf, const std::string& openFile, const QPageSize& pageSize);

} // namespace quorra
