#pragma once

// The rich-text tab's document: the library's reading of an RTF body laid out as a QTextDocument.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include <QImage>
#include <QUrl>

class QTextDocument;
class QTextEdit;
class QString;

namespace pelmsg {
struct TRtfDocument;
}

namespace quorra {

// The most picture pixels one rich-text document decodes and shows: each picture counts the larger of its own
// pixels and the pixels it is shown with. A picture that would pass the limit is left out (256 MB as 32-bit
// pixels; a mail's pictures come nowhere near it, a crafted body of many huge pictures would).
inline constexpr int64_t kMaxRtfPicturePixels = int64_t(64) << 20;

// Pictures decoded for a document, by the name the document knows them by.
using TRtfPictures = std::vector<std::pair<QUrl, QImage>>;
// Replaces the document's content with the RTF document: paragraphs with their alignment, indents and spacing,
// lists, tables, character formats and PNG/JPEG pictures (as resources of the document: pixmaps of the size they
// are shown with, made once, within kMaxRtfPicturePixels). The whole content is one edit, without undo: a document
// with a layout is laid out once for it, not once per paragraph, cell and run. Returns the pictures left out.
// With `pictures`, the decoded pictures are handed back there (their names already in the document) instead of
// made pixmaps: a document built in a worker thread gets its pixmaps on the UI thread (AddRtfPictures).
int FillTextDocument(const pelmsg::TRtfDocument& rtf, QTextDocument& document, TRtfPictures* pictures = nullptr);

// Reads RTF text and lays it out in the document (nothing for an empty text).
void LoadRtfIntoDocument(const QString& rtf, QTextDocument& document);

// Reads RTF text into a new document, built apart from the view (so nothing is laid out while it is built), and
// gives it to the view, which lays it out once; the view's previous document goes if the view owned it. The
// new document has the view's default font. Raises the library's errors (the view keeps its document then).
void ShowRtfInView(const QString& rtf, QTextEdit& view);

// Multiplies every explicit character size of the document by ratio (the rest follows the view's font): the
// preview's zoom. Runs in any thread on a document no view shows yet.
void ScaleExplicitSizes(QTextDocument& document, double ratio);

// RTF text of at least this many characters is read in a worker (ShowRtfInViewLater): a body this long mostly
// holds pictures, whose decoding is the slow part.
inline constexpr qsizetype kRtfInWorkerChars = 64 * 1024;

// Reads RTF text into a new document in a worker thread, pictures decoded there too, and gives it to the view
// when it is ready; until then the view shows an empty document. `ready` runs on the UI thread once the view has
// the document (not for a read that was cancelled). A later call for the same view, ShowRtfInView and
// CancelRtfInView cancel a read still running; its result is dropped when it comes.
void ShowRtfInViewLater(const QString& rtf, QTextEdit& view, std::function<void()> ready);
// The same with the RTF text itself made in the worker (read: decompressed and decoded from the stored body). With
// plainView, the worker also makes the document's text a plain-text document, which plainView takes if it is still
// empty when the read is in (a large body's text copied on the UI thread would hold the window up). The worker
// scales the document's explicit sizes by sizeScale (the zoom in use), as the view's own are.
void ShowRtfInViewLater(std::function<QString()> read, QTextEdit& view, std::function<void()> ready,
    QTextEdit* plainView = nullptr, double sizeScale = 1.0);
void CancelRtfInView(QTextEdit& view);

} // namespace quorra
