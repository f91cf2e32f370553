#pragma once

// The message as the preview shows it, laid out once for every place it goes: the printer and print preview, PDF
// files and the self-contained web page. The header block (From and Sent, To, CC, BCC, Subject, When and Where of a
// meeting), the importance line, the body in its best form (HTML, else the rich text through the library's RTF
// reader, else plain text) with its inline pictures, and the list of attachments with their names and sizes.
//
// The engine is QTextDocument: it lays out without a display (QT_QPA_PLATFORM=offscreen) and without starting
// Chromium, prints to QPdfWriter as real text (selectable, searchable) with link annotations and page numbers, and
// runs no script of a body at all. It never fetches a resource itself: TRenderDocument gives a body only the
// message's own pictures and data: addresses, the rules the preview's print path always had. The web view would
// follow the page's CSS more closely (printToPdf), but it needs a GPU-less Chromium process per conversion, an
// event loop and seconds of start-up, and cannot run where its sandbox cannot start; a command-line converter run
// over an archive cannot afford that.

#include <memory>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTextDocument>

class QImage;

namespace pelmsg {
class TMSGProperties;
}

namespace quorra {

// The captions of the rendering, in the language in use (English by default).
struct TRenderTexts {
    QString From = QStringLiteral("From:");
    QString To = QStringLiteral("To:");
    QString CC = QStringLiteral("CC:");
    QString BCC = QStringLiteral("BCC:");
    QString Subject = QStringLiteral("Subject:");
    QString When = QStringLiteral("When:");
    QString Where = QStringLiteral("Where:");
    QString Attachments = QStringLiteral("Attachments:");
    // The importance lines for the levels 0 (lowest), 1, 3 and 4 (highest); level 2 has none.
    QString Importance[5];
};

// The English captions and the program's importance texts as they are now.
TRenderTexts DefaultRenderTexts();
// The captions of a language file: the preview's labels ("frmMessage.lblFrom.Caption", ...) and the program's texts
// of its Custom section; what the file lacks stays English. An empty or unreadable file gives the English ones.
TRenderTexts RenderTextsFromLanguageFile(const QString& languageFile);

// Which body is rendered. Best: HTML (also the HTML a rich-text body carries), else the rich text, else plain.
enum class TRenderBody { Best, Html, RichText, Plain };

struct TRenderOptions {
    TRenderBody Body = TRenderBody::Best;
    TRenderTexts Texts = DefaultRenderTexts();
};

// The document a rendering lives in. It gives the layout only the pictures added to it (the message's own
// attachments by content id and file name, the rich text's pictures) and data: addresses inside the body. Any
// other address a body names, a local file ("/dev/zero", "file:///home/.../secret.png", a FIFO), a relative path
// or a network address, gives an empty picture or style sheet: QTextDocument would read local files for it, and
// Qt's picture handler opens the name as a file itself whenever the document gives it no picture. It keeps the
// bytes each picture came as, for the web page.
class TRenderDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

    // A picture of the message under a name the body uses, with its original bytes and their MIME type.
    void AddPicture(const QUrl& name, const QImage& image, const QByteArray& bytes, const QByteArray& mime);
    // The original bytes and type of a picture added under that name; empty when there are none.
    QByteArray PictureBytes(const QString& name) const { return pictures_.value(name).first; }
    QByteArray PictureMime(const QString& name) const { return pictures_.value(name).second; }
    // Whether the name is one the document answers with a real picture (added, or a data: picture).
    bool HasOwnPicture(const QString& name) const;
    // Leaves only the message's own content in the document: a picture that is not the message's own (remote,
    // a local file, a data: address that is no picture) goes rather than stand as an empty box; a link keeps its
    // target only when IsKeptLinkTarget; background pictures go. Every output of a rendering gets this: no PDF
    // link runs a script or opens a file.
    void KeepOwnContent();

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QHash<QString, QPair<QByteArray, QByteArray>> pictures_;
};

// Fills the document with the rendering of a message (its previous content goes). Pictures are added as resources
// of the document (and, in a TRenderDocument, with their bytes; a TRenderDocument then keeps its own content only).
// Never raises: a body that cannot be read is left out in favour of the next form.
void FillRenderedMessage(QTextDocument& document, const pelmsg::TMSGProperties& message, const TRenderOptions& options);

// A new TRenderDocument with the rendering of the message.
std::unique_ptr<TRenderDocument> RenderMessage(const pelmsg::TMSGProperties& message, const TRenderOptions& options);

// The link targets a rendering keeps: the message's own links to the web and to mail (http, https, ftp with a
// host, mailto; any case) and places inside the text ("#name"). Everything else (javascript:, file:, data:, cid:,
// relative paths) is dropped from the link; the linked text stays.
bool IsKeptLinkTarget(const QString& href);

// The byte count as the attachment list shows it: "512 bytes", "1.5 KB", "2.3 MB" (the locale's decimal mark).
QString AttachmentSizeText(qint64 bytes);

// The picture as PNG bytes (a picture kept with the rendering, a picture inlined into a web page).
QByteArray PngBytes(const QImage& image);

} // namespace quorra
