#include "private_temp.h"

#include <sys/stat.h>

#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTemporaryDir>

#include "preview_support.h"

namespace quorra {

namespace {

// Owned here so that the folder goes when the program ends, however the window closes.
std::unique_ptr<QTemporaryDir>& Folder()
{
    static std::unique_ptr<QTemporaryDir> folder;
    return folder;
}

} // namespace

QString PrivateTempFolder()
{
    std::unique_ptr<QTemporaryDir>& folder = Folder();
    if (!folder) {
        // QTemporaryDir makes the folder 0700 and removes it with its contents when destroyed.
        folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quorra-XXXXXX"));
        if (!folder->isValid()) {
            folder.reset();
            return {};
        }
    }
    return folder->path();
}

QString WritePrivateTempFile(const QString& name, const std::function<void(pelmsg::TStream&)>& write)
{
    const QString folder = PrivateTempFolder();
    if (folder.isEmpty())
        throw pelmsg::EFileError("Cannot create the temporary folder in " + QDir::tempPath().toStdString());
    const std::string safe = pelmsg::SafeFileName(name.toStdString());
    const std::string path = pelmsg::FirstFreeFilePath(folder.toStdString(), safe);
    pelmsg::SaveThroughTemporaryFile(path, write);
    // Never executable, readable by the user alone, whatever the umask made of it.
    ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
    return QString::fromStdString(path);
}

bool IsLaunchableFile(const QString& path)
{
    // The MIME database looks at most this far into a file for the magic of the types below.
    constexpr qint64 kHeadBytes = 4096;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // what cannot be looked at is not handed on
    const QByteArray head = file.read(kHeadBytes);
    if (IsExecutableAttachment(QFileInfo(path).fileName().toStdString(), std::string_view(head.constData(), size_t(head.size()))))
        return true;
    static const char* const kLaunchable[] = { "application/x-executable", "application/x-sharedlib",
        "application/x-shellscript", "application/x-desktop", "application/x-ms-dos-executable",
        "application/x-msdownload", "application/vnd.microsoft.portable-executable", "application/x-ms-ne-executable",
        "application/x-msi", "application/x-ms-shortcut", "application/java-archive", "application/x-java-archive",
        "application/x-java-jnlp-file", "application/x-java", "application/vnd.appimage", "application/x-bat",
        "text/x-msdos-batch", "application/x-ms-wim", "application/vnd.debian.binary-package", "application/x-rpm",
        "application/vnd.android.package-archive", "application/x-executable-script", "application/x-elf",
        "application/x-mach-binary", "application/javascript", "text/javascript", "application/x-python-bytecode" };
    auto launchable = [&](const QMimeType& type) {
        for (const char* name : kLaunchable)
            if (type.inherits(QLatin1String(name)))
                return true;
        return false;
    };
    const QMimeDatabase database;
    // By name and content together (as xdg-open decides), and by each alone: a type either way counts.
    return launchable(database.mimeTypeForFile(path, QMimeDatabase::MatchDefault))
        || launchable(database.mimeTypeForFile(path, QMimeDatabase::MatchExtension))
        || launchable(database.mimeTypeForData(head));
}

void RemovePrivateTempFolder() { Folder().reset(); }

} // namespace quorra
