// The preview's large HTML bodies, prepared in a worker (html_prepare.h): the header, the other bodies and the
// attachments show at once, the HTML tab when its text is in. The same for the HTML a large RTF body encapsulates,
// taken out of the RTF in the worker. A message shown meanwhile makes the result stale:
// it is dropped when it comes, and the worker's copy of the body freed with it.

#include <QFutureWatcher>
#include <QTabWidget>
#include <QTextEdit>
#include <QtConcurrent/QtConcurrentRun>

#include "html_prepare.h"
#include "html_view.h"
#include "message_preview.h"
#include "settings.h"
#include "worker_pool.h"

namespace quorra {

void TfrmMessage::DropPendingHtml()
{
    ++htmlRequest_;
    htmlPending_ = false;
    preparedHtml_.reset();
}

bool TfrmMessage::StartHtmlInWorker(const pelmsg::TMSGProperties& properties)
{
    std::optional<THtmlBodySource> body = LargeHtmlBody(properties, kHtmlInWorkerBytes, messageKeeper_);
    if (!body)
        return false;
    PrepareHtmlInWorker([source = std::move(*body)]() mutable { return PrepareHtmlBody(std::move(source)); });
    return true;
}

void TfrmMessage::StartRtfHtmlInWorker(TRtfBodySource rtf, bool tabAtOnce)
{
    PrepareHtmlInWorker([source = std::move(rtf)] { return PrepareHtmlFromRtf(source); }, tabAtOnce);
}

void TfrmMessage::PrepareHtmlInWorker(std::function<TPreparedHtml()> prepare, bool tabAtOnce)
{
    DropPendingHtml();
    const quint64 request = htmlRequest_;
    htmlPending_ = true;
    html_.clear();
    if (htmlView_)
        htmlView_->Clear();
    SetTabShown(tsHTMLBody_, tabAtOnce);
    using TResult = std::shared_ptr<const TPreparedHtml>;
    auto* watcher = new QFutureWatcher<TResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, request] {
        watcher->deleteLater();
        if (request == htmlRequest_)
            HtmlPrepared(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(DocumentWorkers(), [prepare = std::move(prepare)]() {
        // A body that cannot be decoded (damaged compressed RTF, say) shows as no HTML, as the other bodies do.
        try {
            return std::make_shared<const TPreparedHtml>(prepare());
        } catch (const std::exception&) {
            return std::make_shared<const TPreparedHtml>();
        }
    }));
}

void TfrmMessage::HtmlPrepared(const std::shared_ptr<const TPreparedHtml>& prepared)
{
    htmlPending_ = false;
    if (prepared->Html.isEmpty()) {
        // Nothing to show after all: the tabs are settled as for a message without HTML.
        ShowHtml(charset_, QString());
        SetTabShown(tsPlainText_, !(TabShown(tsRTFBody_) && reBody_->document()->isEmpty()));
        if (!TabShown(pcBody_->currentWidget()))
            pcBody_->setCurrentWidget(TabShown(tsRTFBody_) ? tsRTFBody_ : tsPlainText_);
        return;
    }
    if (!TabShown(tsHTMLBody_)) {
        // The tab waited for the text: it shows now, and takes over from the tab shown meanwhile once the page has
        // loaded, where the settings prefer HTML (and the user has not chosen another tab by then).
        SetTabShown(tsHTMLBody_, true);
        const TDefaultFormat format = settings_.DefaultFormat;
        if (format == TDefaultFormat::Any || format == TDefaultFormat::Html)
            htmlStandIn_ = pcBody_->currentWidget();
    }
    preparedHtml_ = prepared;
    html_ = prepared->Html;
    if (htmlView_)
        htmlView_->SetPreparedHtml(*prepared, properties_, settings_.AllowRemoteContent);
    else if (isVisible())
        ScheduleBrowser();
}

} // namespace quorra
