#include "file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardPaths>

#include "viewer_support.h"

namespace quorra {

namespace {

// The folder of the last file or folder chosen in a dialog during this run.
QString& LastFolderUsed()
{
    static QString folder;
    return folder;
}

} // namespace

QString StartFolder(const QString& defaultDir, const QString& lastUsed)
{
    for (const QString& folder : { defaultDir, lastUsed })
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    if (!LastFolderUsed().isEmpty() && QFileInfo(LastFolderUsed()).isDir())
        return LastFolderUsed();
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir())
        return downloads;
    return QDir::homePath();
}

bool FileDialog(QWidget* owner, const QString& defaultExtension, const QString& filter, bool open,
    QString& fileName, const QString& title, const QString& initialFolder)
{
    TFileDialogFilter first;
    return FileDialog(owner, defaultExtension, filter, open, fileName, title, initialFolder, first);
}

bool FileDialog(QWidget* owner, const QString& defaultExtension, const QString& filter, bool open,
    QString& fileName, const QString& title, const QString& initialFolder, TFileDialogFilter& filterState)
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
    if (filterState.OnTypeChange) {
        // The typed name is rewritten as the user picks another filter; the desktop's own dialogs give no access
        // to it, so this one is Qt's.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& chosen) {
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            const qsizetype index = nameFilters.indexOf(chosen);
            if (edit && index >= 0)
                edit->setText(filterState.OnTypeChange(int(index) + 1, edit->text()));
        });
    }
    if (!defaultExtension.isEmpty())
        dialog.setDefaultSuffix(defaultExtension);
    // As on other desktops, a file name that carries an existing folder opens there; else the initial folder.
    QFileInfo given(fileName);
    if (!fileName.isEmpty() && fileName.contains(u'/') && given.dir().exists())
        dialog.setDirectory(given.absolutePath());
    else
        dialog.setDirectory(StartFolder(initialFolder));
    // The filter first: choosing it may change the typed name, which the proposed name then replaces.
    if (filterState.FilterIndex >= 1 && filterState.FilterIndex <= nameFilters.size())
        dialog.selectNameFilter(nameFilters.at(filterState.FilterIndex - 1));
    if (!fileName.isEmpty())
        dialog.selectFile(given.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().constFirst();
    LastFolderUsed() = QFileInfo(fileName).absolutePath();
    const qsizetype chosen = nameFilters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0)
        filterState.FilterIndex = int(chosen) + 1;
    return true;
}

bool BrowseForFolder(QWidget* owner, const QString& prompt, QString& path)
{
    QFileDialog dialog(owner, prompt);
    dialog.setObjectName(QStringLiteral("BrowseForFolder"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setDirectory(path.isEmpty() ? StartFolder() : path);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = dialog.selectedFiles().constFirst();
    LastFolderUsed() = path;
    return true;
}

} // namespace quorra
