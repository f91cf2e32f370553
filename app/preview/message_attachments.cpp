// The preview's attachments: the list with its icons and drag-out, and opening, saving and showing each kind
// (a file, an attached message, an OLE object).

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop_services.h"
#include "icons.h"
#include "message_preview.h"
#include "message_preview_parts.h"
#include "pelmsg.h"
#include "preview_support.h"
#include "private_temp.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "settings.h"
#include "viewer_support.h"

namespace quorra {

QStringList& TempFiles()
{
    static QStringList files;
    return files;
}

TAttachmentList::TAttachmentList(TfrmMessage* form, QWidget* parent)
    : QListWidget(parent)
    , form_(form)
{
}

// Writes the selected files into the private folder and returns their URLs; attached messages go as .msg.
QList<QUrl> TAttachmentList::WriteSelection() const
{
    QList<QUrl> urls;
    const pelmsg::TMSGProperties* message = form_->Properties();
    if (!message)
        return urls;
    for (QListWidgetItem* item : selectedItems()) {
        const int index = item->data(kRoleIndex).toInt();
        const TAttachmentIcon icon = IconOf(item);
        const pelmsg::TMSGProperty* node = message->Attachments(index);
        if (!node)
            continue;
        try {
            QString path;
            if (icon == TAttachmentIcon::Message) {
                const std::string name = ProposedAttachmentName(
                    pelmsg::TAttachmentKind::EmbeddedMessage, item->data(kRoleCaption).toString().toStdString(), {});
                const pelmsg::TMSGProperties* inner = EmbeddedMessageProperties(node);
                path = WritePrivateTempFile(
                    Q8(name), [&](pelmsg::TStream& out) { pelmsg::SaveToMSG(*inner, out, true); });
            } else if (icon == TAttachmentIcon::File) {
                path = WritePrivateTempFile(item->data(kRoleFileName).toString(),
                    [&](pelmsg::TStream& out) { pelmsg::WriteAttachmentData(*message, index, out); });
            } else {
                continue;
            }
            TempFiles() << path;
            urls << QUrl::fromLocalFile(path);
        } catch (const std::exception&) {
            // An attachment that cannot be written is left out of the drag.
        }
    }
    return urls;
}

void TAttachmentList::startDrag(Qt::DropActions)
{
    const QList<QUrl> urls = WriteSelection();
    if (urls.isEmpty())
        return;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    if (QListWidgetItem* item = currentItem())
        drag->setPixmap(item->icon().pixmap(32, 32));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void TfrmMessage::CreateAttachmentList()
{
    lvAttachments_ = new TAttachmentList(this, this);
    lvAttachments_->setObjectName(QStringLiteral("lvAttachments"));
    lvAttachments_->setAccessibleName(tr("Attachments"));
    lvAttachments_->setViewMode(QListView::IconMode);
    lvAttachments_->setFlow(QListView::LeftToRight);
    lvAttachments_->setWrapping(true);
    lvAttachments_->setResizeMode(QListView::Adjust);
    lvAttachments_->setMovement(QListView::Static);
    lvAttachments_->setIconSize(QSize(32, 32));
    lvAttachments_->setGridSize(QSize(150, 60));
    lvAttachments_->setWordWrap(true);
    lvAttachments_->setTextElideMode(Qt::ElideMiddle);
    lvAttachments_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvAttachments_->setDragEnabled(true);
    lvAttachments_->setDragDropMode(QAbstractItemView::DragOnly);
    lvAttachments_->setDefaultDropAction(Qt::CopyAction);
    lvAttachments_->setAcceptDrops(false);
    lvAttachments_->setMinimumHeight(60);
    lvAttachments_->setContextMenuPolicy(Qt::CustomContextMenu);
    lvAttachments_->hide();
    // One signal: a double-click activates the item (and so does Enter), and it must open the attachment once.
    connect(lvAttachments_, &QListWidget::itemActivated, this, [this] { lvAttachmentsDblClick(); });
}

void TfrmMessage::FillAttachments()
{
    const pelmsg::TMSGProperties& p = *properties_;
    for (int i = 0; i < p.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* node = p.Attachments(i);
        QListWidgetItem* item = nullptr;
        if (!node) {
            item = new QListWidgetItem(AttachmentIcon(TAttachmentIcon::Missing),
                strUnknownText() + QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')));
            item->setData(kRoleIcon, QVariant::fromValue(TAttachmentIcon::Missing));
        } else {
            const TAttachmentIcon icon = AttachmentIconOf(node->AttachmentKind());
            const QString caption = Q8(node->AttachmentDisplayName(i));
            item = new QListWidgetItem(AttachmentIcon(icon), Shown(caption));
            item->setData(kRoleCaption, caption);
            item->setData(kRoleIcon, QVariant::fromValue(icon));
            item->setData(kRoleFileName, Q8(node->AttachmentFileName(i)));
            item->setData(kRoleMime,
                Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachMimeTag, 0), true, false)));
            item->setToolTip(Shown(item->data(kRoleFileName).toString()));
        }
        item->setData(kRoleIndex, i);
        lvAttachments_->addItem(item);
    }
    lvAttachments_->setVisible(lvAttachments_->count() > 0);
    DecorateAttachments();
}

int TfrmMessage::AttachmentCount() const { return lvAttachments_->count(); }

QListWidgetItem* TfrmMessage::SelectedAttachment() const
{
    QListWidgetItem* item = lvAttachments_->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

void TfrmMessage::lvAttachmentsDblClick()
{
    if (SelectedAttachment())
        miAttachSaveClick(1);
}

void TfrmMessage::pmAttachmentPopup()
{
    // Language files keep no blanks at the ends of a text, so the blank comes from here.
    QString caption = strEncoding() + QLatin1Char(' ');
    QListWidgetItem* item = SelectedAttachment();
    miAttachSave_->setEnabled(item != nullptr);
    miAttachOpen_->setEnabled(item != nullptr);
    miAttachSaveAll_->setVisible(saveAllAction_ != nullptr);
    if (saveAllAction_)
        miAttachSaveAll_->setEnabled(saveAllAction_->isEnabled());
    if (item) {
        switch (IconOf(item)) {
        case TAttachmentIcon::File:
            caption += item->data(kRoleMime).toString();
            break;
        case TAttachmentIcon::OleObject:
            // An OLE object is shown (its class, and a packaged file to open or save), not saved as a whole.
            caption += strOleObjectKind();
            miAttachSave_->setEnabled(false);
            break;
        case TAttachmentIcon::Message:
            caption += strForwardedMessage();
            break;
        case TAttachmentIcon::Missing:
            break;
        }
    }
    miEncoding_->setText(caption);
}

void TfrmMessage::miAttachSaveClick(int tag)
{
    QListWidgetItem* item = SelectedAttachment();
    if (!item || !properties_)
        return;
    const int row = lvAttachments_->row(item);
    try {
        if (tag == 1)
            OpenAttachment(row);
        else
            SaveAttachment(row);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

void TfrmMessage::OpenAttachment(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    switch (IconOf(item)) {
    case TAttachmentIcon::Message:
        ShowEmbeddedMessage(row);
        return;
    case TAttachmentIcon::OleObject:
        ShowOleObject(row);
        return;
    case TAttachmentIcon::File:
        break;
    case TAttachmentIcon::Missing:
        return;
    }
    const int index = item->data(kRoleIndex).toInt();
    const QString fileName = item->data(kRoleFileName).toString();
    const std::string bytes = AttachmentBytes(*properties_, index);
    // The check is made on the file as written, under the name it got (cut and made safe), as the desktop
    // will see it; the name the message gives is checked too.
    QString path;
    if (!IsExecutableAttachment(fileName.toStdString(), std::string_view(bytes).substr(0, 64))) {
        path = WritePrivateTempFile(fileName, [&](pelmsg::TStream& out) { out.WriteString(bytes); });
        if (IsLaunchableFile(path)) {
            QFile::remove(path);
            path.clear();
        }
    }
    if (path.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
            strExecutableNotOpened.Arg(Isolated(fileName)), QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("ExecutableBox"));
        if (box.exec() == QMessageBox::Yes)
            SaveAttachment(row);
        return;
    }
    TempFiles() << path;
    if (OpenFileExternally)
        OpenFileExternally(path);
}

void TfrmMessage::SaveAttachment(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    const TAttachmentIcon icon = IconOf(item);
    const int index = item->data(kRoleIndex).toInt();
    const pelmsg::TMSGProperty* node = properties_->Attachments(index);
    if (!node || icon == TAttachmentIcon::OleObject)
        return;
    const auto kind = icon == TAttachmentIcon::Message ? pelmsg::TAttachmentKind::EmbeddedMessage
                                                       : pelmsg::TAttachmentKind::FileData;
    // The proposal is made safe: a hostile name cannot point the dialog outside the folder.
    const std::string proposed = pelmsg::SafeFileName(ProposedAttachmentName(
        kind, item->data(kRoleCaption).toString().toStdString(), item->data(kRoleFileName).toString().toStdString()));
    const QString folder = Q8(AttachmentFolder(settings_, messagePath_.toStdString()));
    // "*.*" would hide the files without an extension: the filter is given in Qt's form, where it is "*".
    const std::vector<TFileFilter> all = ParseFilterText(AllFileExt().toStdString());
    QFileDialog dialog(this, QString(), QDir(folder).filePath(Q8(proposed)),
        all.empty() ? QStringLiteral("*") : Q8(QtNameFilter(all.front())));
    dialog.setObjectName(QStringLiteral("SaveAttachmentDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = dialog.selectedFiles().front();
    const std::string dir = QFileInfo(chosen).absolutePath().toStdString();
    if (dir != settings_.LastUsedDir) {
        settings_.LastUsedDir = dir;
        settings_.SettingsChanged = true;
    }
    if (icon == TAttachmentIcon::Message) {
        pelmsg::SaveToMSGFile(*EmbeddedMessageProperties(node), chosen.toStdString(), true);
        return;
    }
    pelmsg::SaveThroughTemporaryFile(
        chosen.toStdString(), [&](pelmsg::TStream& out) { pelmsg::WriteAttachmentData(*properties_, index, out); });
}

void TfrmMessage::ShowEmbeddedMessage(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    const pelmsg::TMSGProperty* node = properties_->Attachments(item->data(kRoleIndex).toInt());
    if (!node)
        throw pelmsg::EPelMsgError(strMsgAttachNotFound().toStdString());
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmMessageWindow"));
    dialog.setWindowTitle(item->text());
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* form = new TfrmMessage(settings_, &dialog);
    form->SetMessagePath(messagePath_);
    form->SetMessageKeeper(messageKeeper_);
    form->OpenFileExternally = OpenFileExternally;
    form->TranslateWindow = TranslateWindow;
    layout->addWidget(form);
    // Ctrl+W (the desktop's Close keys) closes the window, as Esc does.
    auto* closeWindow = new QAction(&dialog);
    closeWindow->setObjectName(QStringLiteral("actCloseWindow"));
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        closeKeys << QKeySequence(Qt::CTRL | Qt::Key_W);
    closeWindow->setShortcuts(closeKeys);
    connect(closeWindow, &QAction::triggered, &dialog, &QDialog::reject);
    dialog.addAction(closeWindow);
    dialog.resize(std::max(width(), 640), std::max(height(), 480));
    form->FillPreview(EmbeddedMessageProperties(node));
    // The new form takes the language in use.
    if (TranslateWindow)
        TranslateWindow(&dialog);
    dialog.exec();
}

void TfrmMessage::ShowOleObject(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    const pelmsg::TMSGProperty* node = properties_->Attachments(item->data(kRoleIndex).toInt());
    if (!node)
        throw pelmsg::EPelMsgError(strOleAttachNotFound().toStdString());
    const TOleObjectInfo info = DescribeOleObject(*node);
    QStringList lines { strOleCannotShow() };
    if (!info.ClassId.empty())
        lines << strOleClass.Arg(
            Q8(info.ClassId) + (info.ProgId.empty() ? QString() : QStringLiteral(" (%1)").arg(Q8(info.ProgId))));
    if (!info.UserType.empty())
        lines << strOleType.Arg(Q8(info.UserType));
    lines << strOleSize.Arg(QLocale().toString(qulonglong(info.Size)));
    if (info.Package)
        lines << strOlePackage.Arg(
            Isolated(Q(pelmsg::CodePageToWide(info.Package->FileName, properties_->TextCodePage()))));
    QMessageBox box(QMessageBox::Information, item->text(), lines.join(QLatin1Char('\n')), QMessageBox::Close, this);
    box.setObjectName(QStringLiteral("frmOleObject"));
    QPushButton* open = nullptr;
    QPushButton* save = nullptr;
    if (info.Package) {
        open = box.addButton(strOleOpenFile(), QMessageBox::ActionRole);
        open->setObjectName(QStringLiteral("btnOleOpen"));
        save = box.addButton(strOleSaveFile(), QMessageBox::ActionRole);
        save->setObjectName(QStringLiteral("btnOleSave"));
    }
    box.exec();
    if (!info.Package || (box.clickedButton() != open && box.clickedButton() != save))
        return;
    const QString name = Q(pelmsg::CodePageToWide(info.Package->FileName, properties_->TextCodePage()));
    const std::string& packaged = info.Package->Data;
    if (box.clickedButton() == open
        && !IsExecutableAttachment(name.toStdString(), std::string_view(packaged).substr(0, 64))) {
        const QString path = WritePrivateTempFile(name, [&](pelmsg::TStream& out) { out.WriteString(packaged); });
        if (!IsLaunchableFile(path)) {
            TempFiles() << path;
            if (OpenFileExternally)
                OpenFileExternally(path);
            return;
        }
        QFile::remove(path);
    }
    if (box.clickedButton() == open) {
        QMessageBox ask(QMessageBox::Warning, QApplication::applicationDisplayName(),
            strExecutableNotOpened.Arg(Isolated(name)), QMessageBox::Yes | QMessageBox::No, this);
        ask.setObjectName(QStringLiteral("ExecutableBox"));
        if (ask.exec() != QMessageBox::Yes)
            return;
    }
    const QString folder = Q8(AttachmentFolder(settings_, messagePath_.toStdString()));
    const QString chosen = QFileDialog::getSaveFileName(
        this, QString(), QDir(folder).filePath(Q8(pelmsg::SafeFileName(name.toStdString()))));
    if (chosen.isEmpty())
        return;
    pelmsg::SaveThroughTemporaryFile(chosen.toStdString(), [&](pelmsg::TStream& out) { out.WriteString(packaged); });
}

} // namespace quorra
