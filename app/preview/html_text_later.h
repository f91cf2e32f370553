#pragma once

// HTML in a rich-text view (the stand-in of a web view that failed): Qt's HTML reader takes seconds over a large
// text, so a long one is read into a document in a worker, and the view is given the document when it is built.
// The document loads no resource (no picture, no style sheet, no file the HTML names), in the worker or after.

#include <functional>

#include <QString>
#include <QTextOption>

class QTextDocument;
class QTextEdit;

namespace quorra {

// HTML of at least this many characters is read in a worker.
inline constexpr qsizetype kTextHtmlInWorkerChars = 256 * 1024;

// Shows the HTML in the view: a shorter text at once (ready runs before the call returns), a longer one once read
// (until then the view shows an empty document; ready runs on the UI thread when the view has the text). A later
// call, and CancelHtmlInTextView, drop a read still running: its result is never shown.
void ShowHtmlInTextView(const QString& html, QTextEdit& view, std::function<void()> ready);
void CancelHtmlInTextView(QTextEdit& view);

// Gives the view a document read in a worker; the view's previous document goes if the view owned it. The view
// lays it out in slices (LayOutInSlices).
void AttachDocument(QTextEdit& view, QTextDocument* document);

// Gives a document a worker has filled for the view the view's wrapping (`wrap`, taken from the view's present
// document on the UI thread) and makes its layout, in the worker: the view that takes it (AttachDocument) then lays
// it out once, where it would first walk all its blocks once for a new layout and once more for another wrapping
// (a tenth of a second and more for 200,000 paragraphs).
void PrepareLayout(QTextDocument& document, QTextOption::WrapMode wrap);

// The most time, and characters, one slice of a long document's layout takes on the UI thread (a slice ends after
// the step that passes either; one step of Qt's layout is some 2,000 pixels of text, or a whole table).
inline constexpr int kLayoutSliceMs = 20;
inline constexpr int kLayoutSliceChars = 64 * 1024;

// Lays the view's present document out in slices (kLayoutSliceMs, kLayoutSliceChars), one per turn of the event
// loop, and only while the view is visible (a hidden view lays out what it shows once it is shown), where Qt's own
// layout would run steps of up to 200,000 characters (a tenth of a second and more each). What the view shows, its
// scroll range as the layout proceeds, and every position the view asks for (painting, scrolling, the cursor, a
// search) are laid out at once, as before. Holds for every layout of that document (a new width, a new font) until
// the view is given another one; a second call for the same document does nothing.
void LayOutInSlices(QTextEdit& view);

} // namespace quorra
