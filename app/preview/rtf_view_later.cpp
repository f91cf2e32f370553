// The rich-text view filled from a worker: the RTF is read, laid out as a QTextDocument and its pictures decoded
// off the UI thread; the UI thread only makes the pictures pixmaps and hands the document to the view, which lays
// it out once.

#include <QFutureWatcher>
#include <QPixmap>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include "pelmsg.h"
#include "rtf_text_document.h"
#include "worker_pool.h"

namespace quorra {

namespace {

// What a worker made: the document (moved to the UI thread) and its pictures still as images.
struct TRtfBuilt {
    QTextDocument* Document = nullptr;
    TRtfPictures Pictures;
    ~TRtfBuilt()
    {
        // A result nobody took: the document lives in the UI thread and is freed there.
        if (Document)
            Document->deleteLater();
    }
};

// The running read of one view, a child of the view: deleting it cancels the read.
class TRtfJob : public QObject {
public:
    explicit TRtfJob(QTextEdit& view)
        : QObject(&view)
    {
        setObjectName(QStringLiteral("rtfReadInWorker"));
    }
    QFutureWatcher<std::shared_ptr<TRtfBuilt>> Watcher;
};

} // namespace

void CancelRtfInView(QTextEdit& view)
{
    // By name: the job has no meta-object of its own, so a cast by type would take every child.
    for (QObject* child : view.findChildren<QObject*>(QStringLiteral("rtfReadInWorker"), Qt::FindDirectChildrenOnly))
        delete dynamic_cast<TRtfJob*>(child);
}

void ShowRtfInViewLater(const QString& rtf, QTextEdit& view, std::function<void()> ready)
{
    CancelRtfInView(view);
    // The view shows an empty document of its own until the read one is in.
    ShowRtfInView(QString(), view);
    const QFont font = view.document()->defaultFont();
    const qreal margin = view.document()->documentMargin();
    QThread* uiThread = view.thread();

    auto* job = new TRtfJob(view);
    QObject::connect(&job->Watcher, &QFutureWatcherBase::finished, job, [job, &view, ready = std::move(ready)] {
        const std::shared_ptr<TRtfBuilt> built = job->Watcher.result();
        job->deleteLater();
        QTextDocument* document = std::exchange(built->Document, nullptr);
        // Pixmaps are made here, on the UI thread, once: the layout and the painting use them as they are.
        for (auto& [name, image] : built->Pictures)
            document->addResource(QTextDocument::ImageResource, name, QPixmap::fromImage(std::move(image)));
        built->Pictures.clear();
        QTextDocument* previous = view.document();
        document->setParent(&view);
        view.setDocument(document);
        if (previous->parent() == &view)
            delete previous;
        view.moveCursor(QTextCursor::Start);
        if (ready)
            ready();
    });
    job->Watcher.setFuture(QtConcurrent::run(DocumentWorkers(), [rtf, font, margin, uiThread] {
        auto built = std::make_shared<TRtfBuilt>();
        auto document = std::make_unique<QTextDocument>();
        document->setDefaultFont(font);
        document->setDocumentMargin(margin);
        try {
            const std::u16string text = rtf.toStdU16String();
            FillTextDocument(pelmsg::ReadRtfDocument(std::u16string_view(text)), *document, &built->Pictures);
        } catch (const std::exception&) {
            // The rich-text view shows what it could; an error leaves it empty.
            document->clear();
            built->Pictures.clear();
        }
        document->moveToThread(uiThread);
        built->Document = document.release();
        return built;
    }));
}

} // namespace quorra
