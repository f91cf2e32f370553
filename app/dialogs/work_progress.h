#pragma once

// The progress dialog of work that runs off the UI thread (opening, saving, the update check): modal for its
// window only, shown when the work has taken half a second (quicker work shows nothing), with a Cancel button.
// The window stays painted and answers while it is open; Cancel ends the work at once from the user's view.

#include <QProgressDialog>

class QProgressBar;

namespace quorra {

// How long work runs before its progress dialog shows.
inline constexpr int kShowProgressAfterMs = 500;

class TWorkProgress : public QProgressDialog {
    Q_OBJECT

public:
    // A busy indicator (the work's steps are not known) with the label's text; not shown yet.
    TWorkProgress(QWidget* owner, const QString& label);

    // Steps known: the bar shows done out of total. Nothing is done yet (done 0): the busy indicator stays.
    void SetSteps(qint64 done, qint64 total);

private:
    // The dialog's bar, set directly: QProgressDialog::setValue would run the event loop from within the caller
    // once the dialog shows, and wait its minimum duration anew at each value at the minimum.
    QProgressBar* bar_;
};

} // namespace quorra
