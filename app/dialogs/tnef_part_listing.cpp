#include "tnef_part_listing.h"

#include <exception>
#include <utility>

#include <QDialog>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

#include "pel_language.h"
#include "pelmsg.h"
#include "qt_glue.h"
#include "tnef_part_dialog.h"
#include "work_progress.h"
#include "worker_pool.h"

namespace quorra {

namespace {

TProgramText strListingTnefParts("strListingTnefParts", "Looking for TNEF parts in %s ...");
TProgramText strTnefPartsFound("strTnefPartsFound", "TNEF parts found so far: %s");

// How often the progress dialog takes the worker's counts.
constexpr int kProgressTickMs = 100;

} // namespace

TTnefPartListing::TTnefPartListing(
    QWidget* owner, const QString& path, std::function<void(QDialog*)> prepare, TChosen chosen)
    : QObject(owner)
    , owner_(owner)
    , path_(path)
    , prepare_(std::move(prepare))
    , chosen_(std::move(chosen))
    , control_(std::make_shared<pelmsg::TListControl>())
    , watcher_(new QFutureWatcher<TCandidates>(this))
{
    connect(watcher_, &QFutureWatcherBase::finished, this, &TTnefPartListing::Listed);
    // The worker holds the control itself: a cancelled listing may end after the window has gone.
    watcher_->setFuture(QtConcurrent::run(DocumentWorkers(), [file = S(path), control = control_] {
        try {
            return pelmsg::ListTnefCandidates(file, control.get());
        } catch (const std::exception&) {
            // Left to the reader, whose error then stands.
            return TCandidates();
        }
    }));
    ShowProgress();
}

TTnefPartListing::~TTnefPartListing() { control_->Cancelled = true; }

void TTnefPartListing::ShowProgress()
{
    auto* progress = new TWorkProgress(owner_, strListingTnefParts.Arg(QFileInfo(path_).fileName()));
    progress_ = progress;
    auto label = [this] {
        return strListingTnefParts.Arg(QFileInfo(path_).fileName()) + u'\n'
            + strTnefPartsFound.Arg(QLocale().toString(static_cast<qulonglong>(control_->Found.load())));
    };
    progress->setLabelText(label());
    auto* ticker = new QTimer(progress);
    connect(ticker, &QTimer::timeout, this, [this, progress, label] {
        if (progress != progress_)
            return; // closed, and going
        progress->SetSteps(control_->Read, control_->Total);
        progress->setLabelText(label());
    });
    ticker->start(kProgressTickMs);
    connect(progress, &QProgressDialog::canceled, this, &TTnefPartListing::Cancel);
}

void TTnefPartListing::CloseProgress()
{
    if (progress_) {
        // Cancel may come from inside the dialog's own signal: it goes once that has returned.
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
}

void TTnefPartListing::Cancel()
{
    cancelled_ = true;
    control_->Cancelled = true;
    CloseProgress();
    if (chooser_)
        chooser_->reject();
}

void TTnefPartListing::CancelAll(QWidget* owner)
{
    for (TTnefPartListing* listing : owner->findChildren<TTnefPartListing*>(Qt::FindDirectChildrenOnly))
        listing->Cancel();
}

void TTnefPartListing::Listed()
{
    const TCandidates candidates = watcher_->future().takeResult();
    CloseProgress();
    // The listing goes once this has returned, whatever the chooser's answer.
    deleteLater();
    if (cancelled_)
        return;
    if (candidates.size() < 2) {
        chosen_(std::nullopt);
        return;
    }
    const QPointer<TTnefPartListing> self(this);
    const std::optional<size_t> part = AskForTnefPart(owner_, candidates, [this](QDialog* dialog) {
        chooser_ = dialog;
        if (prepare_)
            prepare_(dialog);
    });
    // The window may have gone while the chooser was open, and the listing with it.
    if (self && !cancelled_ && part)
        chosen_(part);
}

} // namespace quorra
