// The attachment strip below the body: each attachment's whole name (cut in the middle only when it does not fit)
// with its size under it, the name and size in the tooltip; a "Save all..." button; and after a save, what was
// written where, with a button that opens the folder.

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop_services.h"
#include "message_preview.h"
#include "message_preview_parts.h"
#include "pelmsg.h"
#include "program_texts.h"
#include "qt_glue.h"

namespace quorra {

TProgramText strOneAttachmentSaved("strOneAttachmentSaved", "1 file saved in %s");
TProgramText strAttachmentsSaved("strAttachmentsSaved", "%s files saved in %s");

namespace {

// The size text under an item's name (empty for an attached message or an OLE object).
constexpr int kRoleSizeText = Qt::UserRole + 40;

// Draws the size as a second line under the name; the item's own text stays the name.
class TSizeUnderName : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString size = index.data(kRoleSizeText).toString();
        if (!size.isEmpty())
            option->text += QChar::LineSeparator + size;
    }
};

// "~/Downloads/winmail" for a folder in the home folder.
QString ShortFolder(const QString& folder)
{
    const QString home = QDir::homePath();
    const QString clean = QDir::cleanPath(folder);
    if (clean == home)
        return QStringLiteral("~");
    if (clean.startsWith(home + u'/'))
        return QStringLiteral("~") + clean.mid(home.size());
    return clean;
}

} // namespace

QWidget* TfrmMessage::CreateAttachmentStrip()
{
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("pnlAttachments"));
    // The list with its buttons beside it (no height spent on a button row); the summary of a save under it.
    auto* column = new QVBoxLayout(strip);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    // Names in full, their size on a second line; a name too long for the cell is cut in the middle.
    lvAttachments_->setWordWrap(false);
    lvAttachments_->setTextElideMode(Qt::ElideMiddle);
    lvAttachments_->setGridSize(QSize(fontMetrics().averageCharWidth() * 28, 32 + fontMetrics().lineSpacing() * 2 + 8));
    lvAttachments_->setMinimumHeight(lvAttachments_->gridSize().height() + 8);
    lvAttachments_->setItemDelegate(new TSizeUnderName(lvAttachments_));
    lvAttachments_->setParent(strip);
    row->addWidget(lvAttachments_, 1);
    auto* buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 2, 4, 2);
    btnSaveAll_ = new QPushButton(tr("Save all..."), strip);
    btnSaveAll_->setObjectName(QStringLiteral("btnSaveAll"));
    btnOpenFolder_ = new QPushButton(tr("Open folder"), strip);
    btnOpenFolder_->setObjectName(QStringLiteral("btnOpenFolder"));
    buttons->addWidget(btnSaveAll_);
    buttons->addWidget(btnOpenFolder_);
    buttons->addStretch(1);
    row->addLayout(buttons);
    column->addLayout(row, 1);
    lblSaveSummary_ = new QLabel(strip);
    lblSaveSummary_->setObjectName(QStringLiteral("lblSaveSummary"));
    lblSaveSummary_->setTextFormat(Qt::PlainText);
    lblSaveSummary_->setContentsMargins(4, 0, 4, 2);
    lblSaveSummary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(lblSaveSummary_);
    lblSaveSummary_->hide();
    btnOpenFolder_->hide();
    connect(btnSaveAll_, &QPushButton::clicked, this, [this] {
        if (saveAllAction_)
            saveAllAction_->trigger();
    });
    connect(btnOpenFolder_, &QPushButton::clicked, this, [this] {
        const QString folder = btnOpenFolder_->property("folder").toString();
        if (!folder.isEmpty())
            OpenDocument(QUrl::fromLocalFile(folder), this, [this](const QString& reason) { ShowError(reason); });
    });
    // The strip shows and hides with its list (the preview shows the list exactly when there are attachments).
    WatchEvents(lvAttachments_, strip, [strip](QEvent* event) {
        if (event->type() == QEvent::ShowToParent)
            strip->show();
        else if (event->type() == QEvent::HideToParent)
            strip->hide();
        return false;
    });
    strip->setVisible(!lvAttachments_->isHidden());
    return strip;
}

void TfrmMessage::DecorateAttachments()
{
    // A new message: the last save's summary goes; Save all needs the owner's command.
    lblSaveSummary_->hide();
    btnOpenFolder_->hide();
    btnSaveAll_->setVisible(saveAllAction_ != nullptr);
    if (!properties_)
        return;
    const QLocale locale;
    for (int row = 0; row < lvAttachments_->count(); ++row) {
        QListWidgetItem* item = lvAttachments_->item(row);
        const pelmsg::TMSGProperty* node = properties_->Attachments(item->data(kRoleIndex).toInt());
        QString size;
        if (node && item->data(kRoleIcon).toInt() == 0)
            if (const pelmsg::TMSGProperty* stored
                = node->SubProperties.FindProperty(pelmsg::kTagAttachDataBinary, false, false))
                size = locale.formattedDataSize(stored->DataSize, 1, QLocale::DataSizeTraditionalFormat);
        item->setData(kRoleSizeText, size);
        const QString fileName = item->data(kRoleFileName).toString();
        QString tip = Shown(item->data(kRoleCaption).toString());
        if (!fileName.isEmpty() && fileName != item->data(kRoleCaption).toString())
            tip += u'\n' + Shown(fileName);
        if (!size.isEmpty())
            tip += u'\n' + size;
        item->setToolTip(tip);
    }
}

void TfrmMessage::ShowSaveSummary(int count, const QString& folder)
{
    if (count <= 0)
        return;
    QString text = count == 1 ? strOneAttachmentSaved() : strAttachmentsSaved();
    for (const QString& value : { count == 1 ? ShortFolder(folder) : QString::number(count), ShortFolder(folder) }) {
        const qsizetype at = text.indexOf(QLatin1String("%s"));
        if (at < 0)
            break;
        text.replace(at, 2, value);
    }
    lblSaveSummary_->setText(text);
    lblSaveSummary_->setToolTip(folder);
    lblSaveSummary_->show();
    btnOpenFolder_->setProperty("folder", folder);
    btnOpenFolder_->show();
}

QString TfrmMessage::SaveSummary() const { return lblSaveSummary_->isHidden() ? QString() : lblSaveSummary_->text(); }

} // namespace quorra
