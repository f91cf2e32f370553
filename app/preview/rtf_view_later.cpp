// The rich-text view filled from a worker: the RTF is read, laid out as a QTextDocument and its pictures decoded
// off the UI thread, its layout made there; the UI thread only makes the pictures pixmaps and hands the document to
// the view, which lays it out in slices.

#include <QFutureWatcher>
#include <QPixmap>
#include <QPointer>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include "html_text_later.h"
#include "pelmsg.h"
#include "rtf_text_document.h"
#include "worker_pool.h"

namespace quorra {

namespace {

// What a worker made: the document (moved to the UI thread) and its pictures still as images.
struct TRtfBuilt {
    QTextDocument* Document = nullptr;
    QTextDocument* Plain = nullptr; // its text as plain text, when asked for
    TRtfPictures Pictures;
    ~TRtfBuilt()
    {
        // A result nobody took: the document lives in the UI thread and is freed there.
        for (QTextDocument* d : { Document, Plain })
            if (d)
                d->deleteLater();
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
    ShowRtfInViewLater([rtf] { return rtf; }, view, std::move(ready));
}

void ShowRtfInViewLater(
    std::function<QString()> read, QTextEdit& view, std::function<void()> ready, QTextEdit* plainView, double sizeScale)
{
    CancelRtfInView(view);
    // The view shows an empty document of its own until the read one is in.
    ShowRtfInView(QString(), view);
    const QFont font = view.document()->defaultFont();
    const qreal margin = view.document()->documentMargin();
    QThread* uiThread = view.thread();
    const bool wantPlain = plainView != nullptr;
    const QFont plainFont = wantPlain ? plainView->document()->defaultFont() : QFont();
    const qreal plainMargin = wantPlain ? plainView->document()->documentMargin() : 0;
    const QTextOption::WrapMode wrap = view.document()->defaultTextOption().wrapMode();
    const QTextOption::WrapMode plainWrap = wantPlain ? plainView->document()->defaultTextOption().wrapMode() : wrap;
    QPointer<QTextEdit> plainTarget(plainView);

    auto* job = new TRtfJob(view);
    QObject::connect(
        &job->Watcher, &QFutureWatcherBase::finished, job, [job, &view, plainTarget, ready = std::move(ready)] {
            const std::shared_ptr<TRtfBuilt> built = job->Watcher.result();
            job->deleteLater();
            QTextDocument* document = std::exchange(built->Document, nullptr);
            // Pixmaps are made here, on the UI thread, once: the layout and the painting use them as they are.
            for (auto& [name, image] : built->Pictures)
                document->addResource(QTextDocument::ImageResource, name, QPixmap::fromImage(std::move(image)));
            built->Pictures.clear();
            AttachDocument(view, document);
            if (plainTarget && built->Plain && plainTarget->document()->isEmpty())
                AttachDocument(*plainTarget, std::exchange(built->Plain, nullptr));
            if (ready)
                ready();
        });
    job->Watcher.setFuture(QtConcurrent::run(DocumentWorkers(),
        [read = std::move(read), font, margin, wrap, uiThread, wantPlain, plainFont, plainMargin, plainWrap,
            sizeScale] {
            auto built = std::make_shared<TRtfBuilt>();
            auto document = std::make_unique<QTextDocument>();
            document->setDefaultFont(font);
            document->setDocumentMargin(margin);
            try {
                const std::u16string text = read().toStdU16String();
                FillTextDocument(pelmsg::ReadRtfDocument(std::u16string_view(text)), *document, &built->Pictures);
                ScaleExplicitSizes(*document, sizeScale);
            } catch (const std::exception&) {
                // The rich-text view shows what it could; an error leaves it empty.
                document->clear();
                built->Pictures.clear();
            }
            if (wantPlain && !document->isEmpty()) {
                auto plain = std::make_unique<QTextDocument>();
                plain->setDefaultFont(plainFont);
                plain->setDocumentMargin(plainMargin);
                plain->setPlainText(document->toPlainText());
                PrepareLayout(*plain, plainWrap);
                plain->moveToThread(uiThread);
                built->Plain = plain.release();
            }
            PrepareLayout(*document, wrap);
            document->moveToThread(uiThread);
            built->Document = document.release();
            return built;
        }));
}

} // namespace quorra
