#pragma once

// The rich-text tab's document: the library's reading of an RTF body laid out as a QTextDocument.

#include <cstdint>

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

// Replaces the document's content with the RTF document: paragraphs with their alignment, indents and spacing,
// lists, tables, character formats and PNG/JPEG pictures (as resources of the document: pixmaps of the size they
// are shown with, made once, within kMaxRtfPicturePixels). The whole content is one edit, without undo: a document
// with a layout is laid out once for it, not once per paragraph, cell and run. Returns the pictures left out.
int FillTextDocument(const pelmsg::TRtfDocument& rtf, QTextDocument& document);

// Reads RTF text and lays it out in the document (nothing for an empty text).
void LoadRtfIntoDocument(const QString& rtf, QTextDocument& document);

// Reads RTF text into a new document, built apart from the view (so nothing is laid out while it is built), and
// gives it to the view, which lays it out once; the view's previous document goes if the view owned it. The
// new document has the view's default font. Raises the library's errors (the view keeps its document then).
void ShowRtfInView(const QString& rtf, QTextEdit& view);

} // namespace quorra
