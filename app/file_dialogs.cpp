#include "file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "viewer_support.h"

namespace quorra {

bool FileDialog(QWidget* owner, const QString& defaultExtension, const QString& filter, bool open,
    QString& fileName, const QString& title, const QString& initialFolder)
{
    QFileDialog dialog(owner, title);
    dialog.setObjectName(QStringLiteral("FileDialog"));
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList nameFilters;
    for (const TFileFilter& f : ParseFilterText(filter.toStdString()))
        nameFilters << QString::fromStdString(QtNameFilter(f));
    if (!nameFilters.isEmpty())
        dialog.setNameFilters(nameFilters);
    if (!defaultExtension.isEmpty())
        dialog.setDefaultSuffix(defaultExtension);
    // As on other desktops, a file name that carries an existing folder opens there; else the initial folder.
    QFileInfo given(fileName);
    if (!fileName.isEmpty() && fileName.contains(u'/') && given.dir().exists())
        dialog.setDirectory(given.absolutePath());
    else if (!initialFolder.isEmpty())
        dialog.setDirectory(initialFolder);
    if (!fileName.isEmpty())
        dialog.selectFile(given.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().constFirst();
    return true;
}

bool BrowseForFolder(QWidget* owner, const QString& prompt, QString& path)
{
    QFileDialog dialog(owner, prompt);
    dialog.setObjectName(QStringLiteral("BrowseForFolder"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!path.isEmpty())
        dialog.setDirectory(path);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = dialog.selectedFiles().constFirst();
    return true;
}

} // namespace quorra
