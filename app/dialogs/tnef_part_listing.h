#pragma once

// The TNEF part chooser for a large mail file (an mbox of thousands of mails): the file's parts are listed in a
// worker (pelmsg::ListTnefCandidates), behind a progress dialog (TWorkProgress: the share of the file read and the
// parts found so far, with Cancel) that shows when the listing passes half a second, and the chooser
// (AskForTnefPart) asks once the list is in. The window keeps answering all the while.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>

class QDialog;
class QWidget;

namespace pelmsg {
struct TListControl;
struct TMailCandidate;
}

namespace quorra {

class TWorkProgress;

class TTnefPartListing : public QObject {
    Q_OBJECT

public:
    // Called with the part to open: the row the user chose, or nullopt when there is nothing to choose (at most one
    // TNEF part, or a file that cannot be listed: the reader then takes the first part, or reports the error).
    using TChosen = std::function<void(std::optional<size_t>)>;

    // Starts listing the mail file at path for owner (the parent of the progress dialog and of the chooser, which
    // prepare gets before it shows). chosen is not called when the user cancels the listing or the chooser: the
    // window stays as it was. The listing is a child of owner and goes once its worker has ended.
    TTnefPartListing(QWidget* owner, const QString& path, std::function<void(QDialog*)> prepare, TChosen chosen);
    ~TTnefPartListing() override;
    TTnefPartListing(const TTnefPartListing&) = delete;
    TTnefPartListing& operator=(const TTnefPartListing&) = delete;

    // Ends the listing from the user's view at once: its progress dialog (or chooser) closes and chosen is not
    // called. The worker stops at its next mail; the listing goes when it has ended.
    void Cancel();
    // Cancels every listing of owner (a newer open replaces them).
    static void CancelAll(QWidget* owner);

private:
    using TCandidates = std::vector<pelmsg::TMailCandidate>;
    void Listed();
    void ShowProgress();
    void CloseProgress();

    QWidget* owner_;
    QString path_;
    std::function<void(QDialog*)> prepare_;
    TChosen chosen_;
    std::shared_ptr<pelmsg::TListControl> control_;
    QFutureWatcher<TCandidates>* watcher_;
    QPointer<TWorkProgress> progress_;
    QPointer<QDialog> chooser_;
    bool cancelled_ = false;
};

} // namespace quorra
