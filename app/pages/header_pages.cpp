#include "header_pages.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "pel_language.h"
#include "pelmsg.h"
#include "program_texts.h"
#include "qt_glue.h"

namespace quorra {

namespace {

// The check state FillFlags gave a row, kept beside the box.
constexpr int kFlagStateRole = Qt::UserRole + 1;

const TMessageFlagRow kRows[kMessageFlagRowCount] = {
    { "MSGFLAG_READ", 0x0001, strFlagRead },
    { "MSGFLAG_UNMODIFIED", 0x0002, strFlagUnmodified },
    { "MSGFLAG_SUBMIT", 0x0004, strFlagSubmit },
    { "MSGFLAG_UNSENT", 0x0008, strFlagUnsent },
    { "MSGFLAG_HASATTACH", 0x0010, strFlagHasAttach },
    { "MSGFLAG_FROMME", 0x0020, strFlagFromMe },
    { "MSGFLAG_ASSOCIATED", 0x0040, strFlagAssociated },
    { "MSGFLAG_RESEND", 0x0080, strFlagResend },
    { "MSGFLAG_RN_PENDING", 0x0100, strFlagRnPending },
    { "MSGFLAG_NRN_PENDING", 0x0200, strFlagNrnPending },
    { "MSGFLAG_ORIGIN_X400", 0x1000, strFlagOriginX400 },
    { "MSGFLAG_ORIGIN_INTERNET", 0x2000, strFlagOriginInternet },
    { "MSGFLAG_ORIGIN_MISC_EXT", 0x8000, strFlagOriginMiscExt },
};

QString ToQString(const pelmsg::WideString& text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace

const TMessageFlagRow* MessageFlagRows() { return kRows; }

void TTransportHeaderPage::MakeWidgets()
{
    QVBoxLayout* layout = NewFlatColumn(this);
    reTransport_ = new QPlainTextEdit(this);
    reTransport_->setObjectName(QStringLiteral("reTransport"));
    reTransport_->setReadOnly(true);
    reTransport_->setLineWrapMode(QPlainTextEdit::NoWrap);
    reTransport_->setAcceptDrops(false);
    reTransport_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(reTransport_);
}

void TTransportHeaderPage::ShowMessage(const pelmsg::TPelMessage* message)
{
    QString text = message ? ToQString(message->TransportHeaders()) : QString();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    reTransport_->setPlainText(text);
}

void TFlagsPage::MakeWidgets()
{
    QVBoxLayout* layout = NewFlatColumn(this);
    lvMessageFlags_ = new QTreeWidget(this);
    QTreeWidget* list = lvMessageFlags_;
    list->setObjectName(QStringLiteral("lvMessageFlags"));
    list->setColumnCount(2);
    list->setHeaderLabels({ QStringLiteral("Flag"), QStringLiteral("Description") });
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setWordWrap(true);
    list->header()->resizeSection(0, 220);
    for (const TMessageFlagRow& row : kRows) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, QString::fromLatin1(row.Flag));
        // Enabled and selectable, but not user-checkable: the boxes show the message and cannot be toggled.
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, kFlagStateRole, int(Qt::Unchecked));
    }
    Retranslate();
    layout->addWidget(list);
    QObject::connect(list, &QTreeWidget::itemChanged, list,
        [](QTreeWidgetItem* item, int column) { lvMessageFlagsChanging(item, column); });
}

void lvMessageFlagsChanging(QTreeWidgetItem* item, int column)
{
    // The boxes show the message: a change of a check mark, from wherever it comes, is taken back.
    if (!item || column != 0)
        return;
    const auto shown = static_cast<Qt::CheckState>(item->data(0, kFlagStateRole).toInt());
    if (item->checkState(0) == shown)
        return;
    const QSignalBlocker detached(item->treeWidget());
    item->setCheckState(0, shown);
}

void TFlagsPage::Retranslate()
{
    if (!IsBuilt())
        return;
    for (int i = 0; i < kMessageFlagRowCount; ++i) {
        lvMessageFlags_->topLevelItem(i)->setText(1, kRows[i].Description());
        lvMessageFlags_->topLevelItem(i)->setToolTip(1, kRows[i].Description());
    }
}

void TFlagsPage::ShowMessage(const pelmsg::TPelMessage* message)
{
    // Detached from lvMessageFlagsChanging while the marks are set.
    const QSignalBlocker detached(lvMessageFlags_);
    for (int i = 0; i < kMessageFlagRowCount; ++i) {
        const bool set = message && message->HasMessageFlag(kRows[i].Bit);
        const Qt::CheckState state = set ? Qt::Checked : Qt::Unchecked;
        lvMessageFlags_->topLevelItem(i)->setCheckState(0, state);
        lvMessageFlags_->topLevelItem(i)->setData(0, kFlagStateRole, int(state));
    }
    lvMessageFlags_->viewport()->update();
}

} // namespace quorra
