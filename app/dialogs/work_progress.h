#pragma once

// The progress dialog of work that runs off the UI thread (opening, saving, the update check): modal for its
// window only, shown when the work has taken half a second (quicker work shows nothing), with a Cancel button.
// The window stays painted and answers while it is open; Cancel ends the work at once from the user's view.

#include <QProgressDialog>

namespace quorra {

// How long work runs before its progress dialog shows.
inline constexpr int kShowProgressAfterMs = 500;

class TWorkProgress : public QProgressDialog {
    Q_OBJECT

public:
    // A busy indicator (the work's steps are not known) with the label's text; not shown yet.
    TWorkProgress(QWidget* owner, const QString& label);

    // Steps known: the bar shows done out of total.
    void SetSteps(qint64 done, qint64 total);
};

} // namespace quorra
