#include "tnef_part_dialog.h"

#include <algorithm>
#include <array>
#include <utility>

#include <QDialogButtonBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "pel_language.h"
#include "pelmsg.h"
#include "qt_glue.h"

namespace quorra {

namespace {

// The kind column comes last in the model (the language file names the columns in this order) and is shown
// before the subject.
enum TColumn { kMail, kPart, kSubject, kFrom, kName, kSize, kKind, kColumns };

TProgramText strKindAppointment("strKindAppointment", "Appointment");
TProgramText strKindMeetingRequest("strKindMeetingRequest", "Meeting request");
TProgramText strKindMeetingCancellation("strKindMeetingCancellation", "Meeting cancelled");
TProgramText strKindMeetingAccepted("strKindMeetingAccepted", "Meeting accepted");
TProgramText strKindMeetingDeclined("strKindMeetingDeclined", "Meeting declined");
TProgramText strKindMeetingTentative("strKindMeetingTentative", "Meeting accepted tentatively");
TProgramText strKindTask("strKindTask", "Task");
TProgramText strKindTaskRequest("strKindTaskRequest", "Task request");
TProgramText strKindContact("strKindContact", "Contact");
TProgramText strKindDistributionList("strKindDistributionList", "Distribution list");
TProgramText strKindStickyNote("strKindStickyNote", "Note");
TProgramText strKindJournal("strKindJournal", "Journal entry");
TProgramText strTnefPartsCut("strTnefPartsCut", "Only the first %s TNEF parts are listed.");

// What a part holds, in words, when it is not a mail message: empty for one.
QString KindText(const std::string& messageClass)
{
    using K = pelmsg::TItemKind;
    static const std::pair<K, const TProgramText*> kTexts[]
        = { { K::Appointment, &strKindAppointment }, { K::MeetingRequest, &strKindMeetingRequest },
              { K::MeetingCancellation, &strKindMeetingCancellation }, { K::MeetingAccepted, &strKindMeetingAccepted },
              { K::MeetingDeclined, &strKindMeetingDeclined }, { K::MeetingTentative, &strKindMeetingTentative },
              { K::Task, &strKindTask }, { K::TaskRequest, &strKindTaskRequest }, { K::Contact, &strKindContact },
              { K::DistributionList, &strKindDistributionList }, { K::StickyNote, &strKindStickyNote },
              { K::Journal, &strKindJournal } };
    const K kind = pelmsg::ItemKindOfClass(messageClass);
    for (const auto& [k, text] : kTexts)
        if (k == kind)
            return text->Text();
    return {};
}

// The list of parts, its columns measured once: each column's size hint is that of its widest text, found when the
// list is filled, where Qt would measure up to a thousand rows of every column sized to its contents at each layout
// (a list of thousands of parts then took a quarter of a second to show).
class TPartList : public QTreeWidget {
public:
    explicit TPartList(QWidget* parent)
        : QTreeWidget(parent)
    {
        widestRow_.fill(-1);
    }

    // Adds the rows; returns each column's widest text's width.
    std::array<int, kColumns> Fill(const QList<QTreeWidgetItem*>& items)
    {
        addTopLevelItems(items);
        std::array<int, kColumns> widest {};
        // A list of thousands of parts repeats its senders, names and sizes: each text is measured once.
        QHash<QString, int> measured;
        for (int row = 0; row < items.size(); ++row)
            for (int column = 0; column < kColumns; ++column) {
                const QString& text = items[row]->text(column);
                auto at = measured.find(text);
                if (at == measured.end())
                    at = measured.insert(text, fontMetrics().horizontalAdvance(text));
                if (at.value() > widest[column] || widestRow_[column] < 0) {
                    widest[column] = at.value();
                    widestRow_[column] = row;
                }
            }
        return widest;
    }

    int sizeHintForColumn(int column) const override
    {
        if (column < 0 || column >= kColumns || widestRow_[column] < 0)
            return QTreeWidget::sizeHintForColumn(column);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QModelIndex index = indexFromItem(topLevelItem(widestRow_[column]), column);
        return itemDelegateForIndex(index)->sizeHint(option, index).width();
    }

private:
    std::array<int, kColumns> widestRow_ {};
};

} // namespace

TfrmTnefParts::TfrmTnefParts(QWidget* parent, const std::vector<pelmsg::TMailCandidate>& candidates)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTnefParts"));
    setWindowTitle(tr("Choose a TNEF part"));
    resize(860, 320);
    auto* layout = new QVBoxLayout(this);

    auto* lblPrompt
        = new QLabel(tr("This mail file holds several TNEF (winmail.dat) parts. Choose the one to show:"), this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setWordWrap(true);
    layout->addWidget(lblPrompt);

    auto* list = new TPartList(this);
    lvParts_ = list;
    lvParts_->setObjectName(QStringLiteral("lvParts"));
    lvParts_->setUniformRowHeights(true);
    lvParts_->setColumnCount(kColumns);
    lvParts_->setHeaderLabels(
        { tr("Mail"), tr("Part"), tr("Subject"), tr("From"), tr("Name"), tr("Size"), tr("Kind") });
    lvParts_->setRootIsDecorated(false);
    lvParts_->setAllColumnsShowFocus(true);
    lvParts_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvParts_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lblPrompt->setBuddy(lvParts_);
    bool severalMails = false, kinds = false;
    const QLocale locale;
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(candidates.size()));
    for (const pelmsg::TMailCandidate& c : candidates) {
        severalMails = severalMails || c.MailIndex != 0;
        auto* item = new QTreeWidgetItem;
        items.append(item);
        item->setText(kMail, QString::number(c.MailIndex + 1));
        item->setText(kPart, QString::number(c.PartIndex + 1));
        // Texts from the mail: control characters shown as spaces, bidi runs kept to themselves.
        auto shown = [](const std::string& utf8) {
            QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
            for (QChar& ch : text)
                if (ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format)
                    ch = u' ';
            return text.simplified();
        };
        item->setText(kSubject, shown(c.Subject));
        item->setText(kFrom, shown(c.From));
        item->setText(kName, c.PartName.empty() ? QStringLiteral("winmail.dat") : shown(c.PartName));
        item->setText(kSize, locale.formattedDataSize(static_cast<qint64>(c.Bytes)));
        item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(kMail, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(kPart, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(kSubject, item->text(kSubject));
        item->setToolTip(kFrom, item->text(kFrom));
        item->setText(kKind, KindText(c.MessageClass));
        kinds = kinds || !item->text(kKind).isEmpty();
    }
    const std::array<int, kColumns> widest = list->Fill(items);
    lvParts_->setColumnHidden(kMail, !severalMails);
    // The kind only when some part is not a mail message (a meeting request, a task, ...), beside the subject.
    lvParts_->setColumnHidden(kKind, !kinds);
    // The places, names and sizes as wide as they (and their captions) are; the subject takes the room left, the
    // sender a share of it.
    QHeaderView* header = lvParts_->header();
    header->setStretchLastSection(false);
    header->moveSection(header->visualIndex(kKind), header->visualIndex(kSubject));
    for (int column : { kMail, kPart, kName, kSize, kKind })
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(kSubject, QHeaderView::Stretch);
    header->setSectionResizeMode(kFrom, QHeaderView::Interactive);
    // The dialog as wide as the rows need (subjects and senders whole), within nine tenths of the screen: a long
    // subject is cut (its tool tip shows it whole) only where the screen has no room for it.
    auto textWidth = [&widest](int column) { return widest[static_cast<size_t>(column)] + 16; };
    int need = 2 * lvParts_->frameWidth() + lvParts_->verticalScrollBar()->sizeHint().width()
        + layout->contentsMargins().left() + layout->contentsMargins().right();
    for (int column = 0; column < kColumns; ++column)
        if (!lvParts_->isColumnHidden(column))
            need += std::max(textWidth(column), header->sectionSizeHint(column));
    if (const QScreen* screen = (parent ? parent : this)->screen())
        resize(std::clamp(need, width(), std::max(width(), screen->availableGeometry().width() * 9 / 10)), height());
    // The sender as wide as its longest entry ("Name <address>" whole), within two fifths of the dialog, so that the
    // subject keeps its room.
    header->resizeSection(kFrom, std::clamp(textWidth(kFrom), 200, std::max(200, width() * 2 / 5)));
    layout->addWidget(lvParts_, 1);
    if (candidates.size() >= pelmsg::kMaxTnefCandidates) {
        auto* lblListCut
            = new QLabel(strTnefPartsCut.Arg(locale.toString(static_cast<qulonglong>(candidates.size()))), this);
        lblListCut->setObjectName(QStringLiteral("lblListCut"));
        layout->addWidget(lblListCut);
    }

    const TDialogButtons buttons = NewOkCancelButtons(this, tr("&Show"), tr("&Cancel"));
    QPushButton* btnOK = buttons.Ok;
    layout->addWidget(buttons.Box);
    // A double click or Enter on a row shows that part.
    connect(lvParts_, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(lvParts_, &QTreeWidget::itemSelectionChanged, this,
        [this, btnOK] { btnOK->setEnabled(!lvParts_->selectedItems().isEmpty()); });
    Select(0);
    lvParts_->setFocus();
}

std::optional<size_t> TfrmTnefParts::Chosen() const
{
    const QList<QTreeWidgetItem*> selected = lvParts_->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return static_cast<size_t>(lvParts_->indexOfTopLevelItem(selected.front()));
}

void TfrmTnefParts::Select(size_t index)
{
    if (QTreeWidgetItem* item = lvParts_->topLevelItem(static_cast<int>(index))) {
        // In a column that is always shown: the arrow keys do not move from a hidden one.
        lvParts_->setCurrentItem(item, kPart);
        item->setSelected(true);
    }
}

std::optional<size_t> ChooseTnefPart(
    QWidget* parent, const QString& path, bool& cancelled, const std::function<void(QDialog*)>& prepare)
{
    cancelled = false;
    std::vector<pelmsg::TMailCandidate> candidates;
    try {
        if (!pelmsg::IsMailFile(S(path)))
            return std::nullopt;
        candidates = pelmsg::ListTnefCandidates(S(path));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (candidates.size() < 2)
        return std::nullopt;
    const std::optional<size_t> chosen = AskForTnefPart(parent, candidates, prepare);
    cancelled = !chosen;
    return chosen;
}

std::optional<size_t> AskForTnefPart(QWidget* parent, const std::vector<pelmsg::TMailCandidate>& candidates,
    const std::function<void(QDialog*)>& prepare)
{
    // On the heap: when its parent goes while the dialog is open, the dialog goes with it, and nothing is chosen.
    QPointer<TfrmTnefParts> dialog = new TfrmTnefParts(parent, candidates);
    if (prepare)
        prepare(dialog);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return std::nullopt;
    const std::optional<size_t> chosen = accepted ? dialog->Chosen() : std::nullopt;
    delete dialog;
    return chosen;
}

} // namespace quorra
