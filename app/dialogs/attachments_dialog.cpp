#include "attachments_dialog.h"

#include <QAction>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "icons.h"

namespace quorra {

namespace {

constexpr int kColumnName = 0;
constexpr int kColumnFileName = 1;
// The icon of an item, kept with it.
constexpr int kIconRole = Qt::UserRole + 1;

template <class T> T* Named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

} // namespace

TfrmAttachments::TfrmAttachments(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAttachments"));
    setWindowTitle(tr("Select attachments to save"));
    resize(402, 333);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    lvAttachments_ = Named(new QTreeWidget(this), "lvAttachments");
    lvAttachments_->setColumnCount(2);
    lvAttachments_->setHeaderLabels({ tr("Name"), tr("FileName") });
    lvAttachments_->setColumnHidden(kColumnFileName, true);
    lvAttachments_->header()->setSectionResizeMode(kColumnName, QHeaderView::Stretch);
    lvAttachments_->setRootIsDecorated(false);
    lvAttachments_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvAttachments_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvAttachments_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvAttachments_->setIconSize(QSize(16, 16));
    lvAttachments_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(lvAttachments_, 1);

    pmAttachments_ = Named(new QMenu(this), "pmAttachments");
    struct {
        const char* name;
        QString caption;
        int tag;
    } items[] = { { "miSelectAll", tr("Select All"), 0 }, { "miUnselectAll", tr("Unselect All"), 1 },
        { "miInvert", tr("Invert Selection"), 2 } };
    for (const auto& m : items) {
        QAction* action = Named(pmAttachments_->addAction(m.caption), m.name);
        action->setProperty("tag", m.tag);
        const int tag = m.tag;
        connect(action, &QAction::triggered, this, [this, tag] { miSelectAllClick(tag); });
    }
    // Also the keyboard's menu key opens it.
    connect(lvAttachments_, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& at) { pmAttachments_->popup(lvAttachments_->viewport()->mapToGlobal(at)); });

    lblMessagesNote_
        = Named(new QLabel(tr("Attached messages are saved as Outlook messages (.msg)."), this), "lblMessagesNote");
    lblMessagesNote_->setWordWrap(true);
    lblMessagesNote_->setContentsMargins(10, 6, 10, 0);
    lblMessagesNote_->hide();
    layout->addWidget(lblMessagesNote_);

    // The buttons sit at the right of the bottom panel, 10 pixels apart and from its edge.
    auto* pnlButtons = Named(new QWidget(this), "pnlButtons");
    pnlButtons->setMinimumHeight(41);
    auto* buttons = new QHBoxLayout(pnlButtons);
    buttons->setContentsMargins(10, 8, 10, 8);
    buttons->setSpacing(10);
    buttons->addStretch(1);
    auto* btnSave = Named(new QPushButton(tr("&Save"), pnlButtons), "btnSave");
    auto* btnCancel = Named(new QPushButton(tr("&Cancel"), pnlButtons), "btnCancel");
    btnSave->setDefault(true);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    layout->addWidget(pnlButtons);
    connect(btnSave, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmAttachments::showEvent(QShowEvent* event)
{
    // Centred on the screen.
    if (QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TfrmAttachments::AddItem(const QString& caption, TAttachmentIcon icon, const QString& fileName, bool checkable)
{
    auto* item = new QTreeWidgetItem(lvAttachments_);
    item->setText(kColumnName, caption);
    item->setText(kColumnFileName, fileName);
    item->setIcon(kColumnName, AttachmentIcon(icon));
    item->setData(kColumnName, kIconRole, QVariant::fromValue(icon));
    item->setToolTip(kColumnName, fileName);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (checkable)
        flags |= Qt::ItemIsUserCheckable;
    item->setFlags(flags);
    item->setCheckState(kColumnName, checkable && icon == TAttachmentIcon::File ? Qt::Checked : Qt::Unchecked);
    if (!checkable)
        item->setDisabled(true);
    UpdateNote();
}

void TfrmAttachments::SetNameCaption(const QString& caption) { lvAttachments_->headerItem()->setText(0, caption); }

int TfrmAttachments::Count() const { return lvAttachments_->topLevelItemCount(); }

QTreeWidgetItem* TfrmAttachments::Item(int index) const { return lvAttachments_->topLevelItem(index); }

bool TfrmAttachments::IsChecked(int index) const
{
    QTreeWidgetItem* item = Item(index);
    return item && item->checkState(kColumnName) == Qt::Checked;
}

void TfrmAttachments::SetChecked(int index, bool checked)
{
    QTreeWidgetItem* item = Item(index);
    if (item && (item->flags() & Qt::ItemIsUserCheckable))
        item->setCheckState(kColumnName, checked ? Qt::Checked : Qt::Unchecked);
}

void TfrmAttachments::miSelectAllClick(int tag)
{
    for (int i = 0; i < Count(); ++i) {
        if (tag == 0)
            SetChecked(i, true);
        else if (tag == 1)
            SetChecked(i, false);
        else if (tag == 2)
            SetChecked(i, !IsChecked(i));
    }
}

void TfrmAttachments::UpdateNote()
{
    bool messages = false;
    for (int i = 0; i < Count() && !messages; ++i)
        messages = Item(i)->data(kColumnName, kIconRole).value<TAttachmentIcon>() == TAttachmentIcon::Message;
    lblMessagesNote_->setVisible(messages);
}

} // namespace quorra
