#include "private_temp.h"

#include <sys/stat.h>

#include <memory>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

void RemovePrivateTempFolder() { Folder().reset(); }

} // namespace quorra
