#include "html_text_later.h"

#include <memory>

#include <QFutureWatcher>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include "worker_pool.h"

namespace quorra {

namespace {

const QString kJobName = QStringLiteral("htmlReadInWorker");

// A document that loads nothing the HTML names (QTextDocument would read local files itself; the view, whose
// own document asks the view, loads nothing either).
class TNoResourceDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

// A document a worker read, owned by whoever holds it last: freed on the UI thread when nobody took it.
struct TReadDocument {
    QTextDocument* Document = nullptr;
    ~TReadDocument()
    {
        if (Document)
            Document->deleteLater();
    }
};

// The running read of one view, a child of the view: deleting it drops the read's result.
class THtmlJob : public QObject {
public:
    explicit THtmlJob(QTextEdit& view)
        : QObject(&view)
    {
        setObjectName(kJobName);
    }
    QFutureWatcher<std::shared_ptr<TReadDocument>> Watcher;
};

} // namespace

// Gives the view the document; the view's previous one goes if the view owned it.
void AttachDocument(QTextEdit& view, QTextDocument* document)
{
    // A document the view made itself belongs to its text control and goes with setDocument; one given earlier
    // belongs to the view.
    QTextDocument* previous = view.document();
    const bool viewOwnsPrevious = previous->parent() == &view;
    document->setParent(&view);
    view.setDocument(document);
    if (viewOwnsPrevious)
        delete previous;
    view.moveCursor(QTextCursor::Start);
}

void CancelHtmlInTextView(QTextEdit& view)
{
    // By name: the job has no meta-object of its own, so a cast by type would take every child.
    for (QObject* child : view.findChildren<QObject*>(kJobName, Qt::FindDirectChildrenOnly))
        delete dynamic_cast<THtmlJob*>(child);
}

void ShowHtmlInTextView(const QString& html, QTextEdit& view, std::function<void()> ready)
{
    CancelHtmlInTextView(view);
    const QFont font = view.document()->defaultFont();
    const qreal margin = view.document()->documentMargin();
    if (html.size() < kTextHtmlInWorkerChars) {
        view.setHtml(html);
        if (ready)
            ready();
        return;
    }
    // Meanwhile an empty document, so that no earlier text stands under the new message.
    auto* empty = new TNoResourceDocument;
    empty->setDefaultFont(font);
    empty->setDocumentMargin(margin);
    AttachDocument(view, empty);
    QThread* uiThread = view.thread();
    auto* job = new THtmlJob(view);
    QObject::connect(&job->Watcher, &QFutureWatcherBase::finished, job, [job, &view, ready = std::move(ready)] {
        const std::shared_ptr<TReadDocument> read = job->Watcher.result();
        job->deleteLater();
        AttachDocument(view, std::exchange(read->Document, nullptr));
        if (ready)
            ready();
    });
    job->Watcher.setFuture(QtConcurrent::run(DocumentWorkers(), [html, font, margin, uiThread] {
        auto read = std::make_shared<TReadDocument>();
        auto document = std::make_unique<TNoResourceDocument>();
        document->setDefaultFont(font);
        document->setDocumentMargin(margin);
        document->setHtml(html);
        document->moveToThread(uiThread);
        read->Document = document.release();
        return read;
    }));
}

} // namespace quorra
