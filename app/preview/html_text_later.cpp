#include "html_text_later.h"

#include <memory>
#include <utility>

#include <QAbstractEventDispatcher>
#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
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

constexpr QLatin1StringView kSlicesName("layoutInSlices");

// Whether the block has been laid out (a laid-out block has a line at least, an empty one too); a hidden block
// never is, and counts as done.
bool LaidOut(const QTextBlock& block) { return !block.isVisible() || block.layout()->lineCount() > 0; }

// The first block from the one numbered `from` on that is not laid out yet (an invalid block when all are). Qt lays
// a document out from its start, so the laid-out blocks are the first ones.
QTextBlock FirstNotLaidOut(const QTextDocument& document, int from)
{
    int low = from;
    int high = document.blockCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (LaidOut(document.findBlockByNumber(middle)))
            low = middle + 1;
        else
            high = middle;
    }
    return document.findBlockByNumber(low);
}

// Qt's text layout lays a document out in steps on a timer of its own, each step twice as long as the one before,
// up to 200,000 characters. This filter on the layout takes that timer's events and lays the document out itself,
// through the layout's public blockBoundingRect (which lays out up to that block, in the layout's own short steps),
// in slices (kLayoutSliceMs, kLayoutSliceChars), one per turn of the event loop. The layout's other timer, the one
// that reports the document's new size to the view (which sets its scroll range from it), goes through as it comes.
class TLayoutSlices : public QObject {
public:
    TLayoutSlices(QTextEdit& view, QAbstractTextDocumentLayout& layout)
        : QObject(&layout)
        , view_(&view)
        , layout_(layout)
    {
        setObjectName(kSlicesName);
        driver_.setInterval(0);
        QObject::connect(&driver_, &QTimer::timeout, this, [this] {
            if (!view_ || !view_->isVisible() || !Slice())
                driver_.stop();
        });
        layout.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &layout_ || event->type() != QEvent::Timer || !view_
            || !IsLayoutStep(static_cast<QTimerEvent*>(event)->timerId()))
            return false;
        // The step timer runs until the whole document is laid out; a hidden view lays out nothing.
        if (!view_->isVisible() || driver_.isActive())
            return true;
        // A block the slices could not lay out: the layout takes its own step past it.
        if (std::exchange(stuck_, false) || !FirstNotLaidOut(*layout_.document(), 0).isValid())
            return false;
        driver_.start();
        return true;
    }

private:
    // The layout's step timer repeats every few milliseconds; its size report runs once, at the next turn (0 ms).
    bool IsLayoutStep(int timerId) const
    {
        const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(layout_.thread());
        if (!dispatcher)
            return false;
        for (const QAbstractEventDispatcher::TimerInfo& timer : dispatcher->registeredTimers(&layout_))
            if (timer.timerId == timerId)
                return timer.interval > 0;
        return false;
    }

    // Lays the document out for about kLayoutSliceMs or kLayoutSliceChars; false when there is nothing more to lay
    // out, or a block that asking for did not lay out.
    bool Slice()
    {
        QElapsedTimer clock;
        clock.start();
        const QTextDocument& document = *layout_.document();
        QTextBlock block = FirstNotLaidOut(document, 0);
        const int from = block.position();
        while (block.isValid()) {
            layout_.blockBoundingRect(block);
            if (!LaidOut(block)) {
                stuck_ = true;
                return false;
            }
            block = FirstNotLaidOut(document, block.blockNumber() + 1);
            if (clock.elapsed() >= kLayoutSliceMs || block.position() - from >= kLayoutSliceChars)
                break;
        }
        return block.isValid();
    }

    QPointer<QTextEdit> view_;
    QAbstractTextDocumentLayout& layout_;
    QTimer driver_;
    bool stuck_ = false;
};

} // namespace

void LayOutInSlices(QTextEdit& view)
{
    QAbstractTextDocumentLayout* layout = view.document()->documentLayout();
    if (!layout->findChild<QObject*>(kSlicesName, Qt::FindDirectChildrenOnly))
        new TLayoutSlices(view, *layout);
}

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
    LayOutInSlices(view);
}

void PrepareLayout(QTextDocument& document, QTextOption::WrapMode wrap)
{
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(wrap);
    document.setDefaultTextOption(option);
    document.documentLayout();
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
        LayOutInSlices(view);
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
    const QTextOption::WrapMode wrap = view.document()->defaultTextOption().wrapMode();
    job->Watcher.setFuture(QtConcurrent::run(DocumentWorkers(), [html, font, margin, wrap, uiThread] {
        auto read = std::make_shared<TReadDocument>();
        auto document = std::make_unique<TNoResourceDocument>();
        document->setDefaultFont(font);
        document->setDocumentMargin(margin);
        document->setHtml(html);
        PrepareLayout(*document, wrap);
        document->moveToThread(uiThread);
        read->Document = document.release();
        return read;
    }));
}

} // namespace quorra
