#pragma once

// The platform's file and folder dialogs.

#include <functional>

#include <QString>

class QWidget;

namespace quorra {

// The open-file (open true) or save-file dialog, owned by the owner window. The filter text is pairs of a
// description and patterns separated by "|" ("TNEF messages (*.tnef)|*.tnef|All files (*.*)|*.*"); the default
// extension is added to a typed name without one; an empty title leaves the dialog's own, an empty initial folder
// starts it at StartFolder().
// Returns whether the user confirmed; then fileName is the chosen path, otherwise it is unchanged.
bool FileDialog(QWidget* owner, const QString& defaultExtension, const QString& filter, bool open,
    QString& fileName, const QString& title, const QString& initialFolder);

// The filter entry of a file dialog: the one it starts with and, once the user confirmed, the one chosen (1 for
// the first entry of the filter text). OnTypeChange, when set, is called as the user picks another entry, with
// its index and the name typed so far, and returns the name to type instead.
struct TFileDialogFilter {
    int FilterIndex = 1;
    std::function<QString(int filterIndex, const QString& typedName)> OnTypeChange;
};
// FileDialog with the filter entry to start with and the user's choice of it.
bool FileDialog(QWidget* owner, const QString& defaultExtension, const QString& filter, bool open,
    QString& fileName, const QString& title, const QString& initialFolder, TFileDialogFilter& filterState);

// Where a file or folder dialog starts when it is given no folder: the folder the user set (defaultDir, when it
// exists), else the last folder used (lastUsed, as the settings keep it, else the last one chosen in one of these
// dialogs during this run), else the user's Downloads folder, else home.
QString StartFolder(const QString& defaultDir = QString(), const QString& lastUsed = QString());

// The folder browser with the prompt as its title, starting at path (at StartFolder() when path is empty). Returns
// whether a folder was chosen; then path is that folder, otherwise it is unchanged.
bool BrowseForFolder(QWidget* owner, const QString& prompt, QString& path);

} // namespace quorra
