#include "work_progress.h"

#include <QProgressBar>

#include "program_texts.h"

namespace quorra {

TWorkProgress::TWorkProgress(QWidget* owner, const QString& label)
    : QProgressDialog(label, strWorkCancel(), 0, 0, owner)
    , bar_(new QProgressBar(this))
{
    setBar(bar_);
    setRange(0, 0);
    setObjectName(QStringLiteral("WorkProgress"));
    setWindowTitle(owner ? owner->window()->windowTitle() : QString());
    setWindowModality(Qt::WindowModal);
    setMinimumDuration(kShowProgressAfterMs);
    // The dialog belongs to its work: it neither closes nor resets itself when the bar is full.
    setAutoClose(false);
    setAutoReset(false);
    setMinimumWidth(360);
    // Starts the timer that shows the dialog after the minimum duration.
    setValue(0);
}

void TWorkProgress::SetSteps(qint64 done, qint64 total)
{
    // The bar counts in thousandths, so that totals past the int range fit.
    if (total <= 0 || done <= 0)
        return;
    bar_->setRange(0, 1000);
    bar_->setValue(int(std::min<qint64>(1000, done * 1000 / total)));
}

} // namespace quorra
