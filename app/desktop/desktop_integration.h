#pragma once

// Registration as the desktop's default viewer of TNEF files and Outlook messages, per user and without
// administrator rights: a desktop entry (quorra.desktop) in the user's applications folder, a shared-mime-info
// package that recognises winmail.dat and *.tnef by name and by the TNEF signature, the program's icon in the
// user's hicolor theme, and the user's default application for the two types (xdg-mime default).
//
// Registering keeps a record of what was there before (in the settings folder), so that unregistering removes
// exactly what registering added and puts back what it replaced: the user's mimeapps.list, applications and
// icon folders and MIME database end up as they were.

#include <QString>
#include <QStringList>

namespace quorra {

// The MIME types the program opens, and the desktop entry's file name.
inline constexpr const char* kTnefMimeType = "application/vnd.ms-tnef";
inline constexpr const char* kOutlookMimeType = "application/vnd.ms-outlook";
inline constexpr const char* kDesktopEntryName = "quorra.desktop";

// The per-user folders the registration writes to.
struct TDesktopFolders {
    QString DataHome; // $XDG_DATA_HOME, else ~/.local/share
    QString ConfigHome; // $XDG_CONFIG_HOME, else ~/.config
    QString RecordFolder; // where the record of a registration is kept
};
TDesktopFolders UserDesktopFolders();

// The desktop entry that starts the program with the path given (quoted as desktop entries require).
QString DesktopEntryText(const QString& programPath);
// The shared-mime-info package.
QString MimePackageText();
// A program path as one argument of a desktop entry's Exec key (quoted when it needs to be, "%" doubled).
QString DesktopExecArgument(const QString& programPath);

// The programs the registration runs (names looked up in PATH, or paths).
struct TDesktopTools {
    QString XdgMime = QStringLiteral("xdg-mime");
    QString UpdateMimeDatabase = QStringLiteral("update-mime-database");
};

// Registers the program at programPath. Returns an empty text on success, else what failed.
QString RegisterAsDefaultViewer(const QString& programPath, const TDesktopTools& tools = {});
// Removes the registration (what the record lists; without a record, the program's own files and its default
// entries). Unregistering when nothing is registered succeeds. Returns an empty text on success, else what
// failed.
QString UnregisterAsDefaultViewer(const TDesktopTools& tools = {});

} // namespace quorra
