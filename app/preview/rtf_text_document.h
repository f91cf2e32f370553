#pragma once

// The rich-text tab's document: the library's reading of an RTF body laid out as a QTextDocument.

class QTextDocument;
class QString;

namespace pelmsg {
struct TRtfDocument;
}

namespace quorra {

// Replaces the document's content with the RTF document: paragraphs with their alignment, indents and spacing,
// lists, tables, character formats and PNG/JPEG pictures (as resources of the document).
void FillTextDocument(const pelmsg::TRtfDocument& rtf, QTextDocument& document);

// Reads RTF text and lays it out in the document (nothing for an empty text).
void LoadRtfIntoDocument(const QString& rtf, QTextDocument& document);

} // namespace quorra
