#pragma once

// HTML in a rich-text view (the stand-in of a web view that failed): Qt's HTML reader takes seconds over a large
// text, so a long one is read into a document in a worker, and the view is given the document when it is built.
// The document loads no resource (no picture, no style sheet, no file the HTML names), in the worker or after.

#include <functional>

#include <QString>

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

// Gives the view a document read in a worker; the view's previous document goes if the view owned it.
void AttachDocument(QTextEdit& view, QTextDocument* document);

} // namespace quorra
