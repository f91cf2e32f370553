#pragma once

// The TNEF part chooser "frmTnefParts": a mail file that holds several TNEF parts (a mail with more than one
// winmail.dat, or an mbox of mails) lists them, one row each with its place (mail and part), its subject and sender
// (the TNEF's own, else the mail's, as the window shows them), what it is when not a mail (a meeting request, a
// task, ...), the part's name and size; the user picks the one the window shows.

#include <functional>
#include <optional>
#include <vector>

#include <QDialog>

class QTreeWidget;

namespace pelmsg {
struct TMailCandidate;
}

namespace quorra {

class TfrmTnefParts : public QDialog {
    Q_OBJECT

public:
    // The mail column is shown only when the parts come from more than one mail.
    TfrmTnefParts(QWidget* parent, const std::vector<pelmsg::TMailCandidate>& candidates);

    // The row chosen (the index into the candidates), or nullopt when none is.
    std::optional<size_t> Chosen() const;
    // Selects a row (the first one is selected at the start).
    void Select(size_t index);

private:
    QTreeWidget* lvParts_;
};

// Which TNEF part of the mail file at `path` to show: nullopt for a file that is no mail file or holds at most one
// TNEF part (nothing to choose: the reader takes the first, or says there is none); else the dialog's answer,
// where `cancelled` says the user closed it without a choice. Raises nothing: a file that cannot be listed is left
// to the reader, whose error then stands.
std::optional<size_t> ChooseTnefPart(
    QWidget* parent, const QString& path, bool& cancelled, const std::function<void(QDialog*)>& prepare = {});

// Asks which of the candidates (a mail file's TNEF parts, two or more) to show, in the chooser over parent, which
// prepare gets before it shows: the row chosen, or nullopt when the user closed the chooser without a choice.
std::optional<size_t> AskForTnefPart(QWidget* parent, const std::vector<pelmsg::TMailCandidate>& candidates,
    const std::function<void(QDialog*)>& prepare = {});

} // namespace quorra
