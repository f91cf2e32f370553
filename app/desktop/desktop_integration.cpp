#include "desktop_integration.h"

#include <algorithm>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "ini_file.h"
#include "pelmsg.h"

// The desktop entry and MIME package are compiled into the program's library, the icon with the others; a static
// library's resources must be registered by hand.
static void RegisterDesktopResources()
{
    Q_INIT_RESOURCE(desktop);
    Q_INIT_RESOURCE(icons);
}

namespace quorra {

namespace {

constexpr int kToolTimeoutMs = 60000;
const char* const kMimeTypes[] = { kTnefMimeType, kOutlookMimeType };

QString EnvFolder(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    // Relative values are invalid by the base-directory rules and are ignored.
    return value.startsWith(u'/') ? value : fallback;
}

QByteArray ReadAll(const QString& path, bool* exists = nullptr)
{
    QFile f(path);
    const bool ok = f.open(QIODevice::ReadOnly);
    if (exists)
        *exists = ok;
    return ok ? f.readAll() : QByteArray();
}

QByteArray Resource(const char* name)
{
    static const bool registered = (RegisterDesktopResources(), true);
    (void)registered;
    QFile f { QString::fromLatin1(name) };
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes through the one save function; false with the reason in `error`.
bool WriteAll(const QString& path, const QByteArray& bytes, QString& error)
{
    try {
        pelmsg::SaveThroughTemporaryFile(path.toStdString(),
            [&](pelmsg::TStream& s) { s.WriteBuffer(bytes.constData(), static_cast<size_t>(bytes.size())); });
        return true;
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
        return false;
    }
}

// Creates the folder and its missing parents, noting each one it created (outermost first).
bool MakeFolders(const QString& path, QStringList& created)
{
    QStringList missing;
    for (QString p = QDir::cleanPath(path); !p.isEmpty() && p != QStringLiteral("/") && !QFileInfo(p).isDir();
         p = QFileInfo(p).path())
        missing.prepend(p);
    for (const QString& p : missing) {
        if (!QDir().mkdir(p))
            return false;
        created << p;
    }
    return true;
}

QString RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted(kToolTimeoutMs))
        return program + QStringLiteral(": ") + process.errorString();
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return program + QStringLiteral(": did not finish");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + QStringLiteral(" ") + arguments.join(u' ') + QStringLiteral(": ")
            + QString::fromLocal8Bit(process.readAll()).trimmed();
    return {};
}

// The lines of a mimeapps.list with the program's entries taken out of the default applications; where the
// state before the registration had an entry of its own for the type, that entry comes back.
QByteArray WithoutOurDefaults(const QByteArray& current, const QByteArray& before)
{
    auto defaultsOf = [](const QByteArray& text) {
        QMap<QByteArray, QByteArray> values;
        bool inDefaults = false;
        for (const QByteArray& line : text.split('\n')) {
            if (line.startsWith('['))
                inDefaults = line.trimmed() == "[Default Applications]";
            else if (inDefaults && line.contains('='))
                values[line.left(line.indexOf('=')).trimmed()] = line.mid(line.indexOf('=') + 1).trimmed();
        }
        return values;
    };
    const QMap<QByteArray, QByteArray> previous = defaultsOf(before);
    QList<QByteArray> out;
    bool inDefaults = false;
    const QList<QByteArray> lines = current.split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith('['))
            inDefaults = line.trimmed() == "[Default Applications]";
        const QByteArray key = line.left(line.indexOf('=')).trimmed();
        const bool ours = inDefaults && line.contains('=')
            && std::any_of(std::begin(kMimeTypes), std::end(kMimeTypes), [&](const char* t) { return key == t; });
        if (!ours) {
            out << line;
            continue;
        }
        QList<QByteArray> apps = line.mid(line.indexOf('=') + 1).trimmed().split(';');
        apps.removeAll(QByteArray(kDesktopEntryName));
        apps.removeAll(QByteArray());
        if (apps.isEmpty() && previous.contains(key))
            out << key + '=' + previous.value(key);
        else if (!apps.isEmpty())
            out << key + '=' + apps.join(';') + ';';
    }
    return out.join('\n');
}

// What a registration wrote, kept in its record folder.
struct TRecord {
    struct TFile {
        QString Path;
        bool Existed = false;
    };
    QList<TFile> Files; // files written; the previous content of those that existed is kept as backup-N
    QStringList Folders; // folders created, outermost first
    QStringList MimeFolders; // the media-type folders the user's MIME database had before
    bool MimeAppsExisted = false;
    bool Loaded = false;
};

QString StatePath(const TDesktopFolders& f) { return f.RecordFolder + QStringLiteral("/state.ini"); }
QString BackupPath(const TDesktopFolders& f, int i) { return f.RecordFolder + QStringLiteral("/backup-%1").arg(i); }
QString MimeAppsPath(const TDesktopFolders& f) { return f.ConfigHome + QStringLiteral("/mimeapps.list"); }
QString MimeAppsBefore(const TDesktopFolders& f) { return f.RecordFolder + QStringLiteral("/mimeapps.before"); }
QString MimeAppsAfter(const TDesktopFolders& f) { return f.RecordFolder + QStringLiteral("/mimeapps.after"); }

TRecord ReadRecord(const TDesktopFolders& folders)
{
    TRecord r;
    if (!QFileInfo::exists(StatePath(folders)))
        return r;
    TIniFile ini(StatePath(folders).toStdString());
    r.Loaded = true;
    const long files = ini.ReadInteger("Files", "Count", 0);
    for (long i = 0; i < files && i < 100; ++i)
        r.Files.append({ QString::fromStdString(ini.ReadString("Files", "Path" + std::to_string(i), "")),
            ini.ReadBool("Files", "Existed" + std::to_string(i), false) });
    const long dirs = ini.ReadInteger("Folders", "Count", 0);
    for (long i = 0; i < dirs && i < 100; ++i)
        r.Folders << QString::fromStdString(ini.ReadString("Folders", "Path" + std::to_string(i), ""));
    r.MimeAppsExisted = ini.ReadBool("MimeApps", "Existed", false);
    const long types = ini.ReadInteger("MimeFolders", "Count", 0);
    for (long i = 0; i < types && i < 1000; ++i)
        r.MimeFolders << QString::fromStdString(ini.ReadString("MimeFolders", "Name" + std::to_string(i), ""));
    return r;
}

bool WriteRecord(const TDesktopFolders& folders, const TRecord& r)
{
    QFile::remove(StatePath(folders));
    TIniFile ini(StatePath(folders).toStdString());
    ini.WriteInteger("Files", "Count", r.Files.size());
    for (int i = 0; i < r.Files.size(); ++i) {
        ini.WriteString("Files", "Path" + std::to_string(i), r.Files[i].Path.toStdString());
        ini.WriteBool("Files", "Existed" + std::to_string(i), r.Files[i].Existed);
    }
    ini.WriteInteger("Folders", "Count", r.Folders.size());
    for (int i = 0; i < r.Folders.size(); ++i)
        ini.WriteString("Folders", "Path" + std::to_string(i), r.Folders[i].toStdString());
    ini.WriteBool("MimeApps", "Existed", r.MimeAppsExisted);
    ini.WriteInteger("MimeFolders", "Count", r.MimeFolders.size());
    for (int i = 0; i < r.MimeFolders.size(); ++i)
        ini.WriteString("MimeFolders", "Name" + std::to_string(i), r.MimeFolders[i].toStdString());
    return ini.UpdateFile();
}

QString DesktopEntryPath(const TDesktopFolders& f)
{
    return f.DataHome + QStringLiteral("/applications/") + QLatin1String(kDesktopEntryName);
}
QString MimePackagePath(const TDesktopFolders& f) { return f.DataHome + QStringLiteral("/mime/packages/quorra.xml"); }
QString IconPath(const TDesktopFolders& f) { return f.DataHome + QStringLiteral("/icons/hicolor/scalable/apps/quorra.svg"); }

} // namespace

TDesktopFolders UserDesktopFolders()
{
    TDesktopFolders f;
    const QString home = QDir::homePath();
    f.DataHome = EnvFolder("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    f.ConfigHome = EnvFolder("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    f.RecordFolder = f.ConfigHome + QStringLiteral("/Corvane/quorra/registration");
    return f;
}

QString DesktopExecArgument(const QString& programPath)
{
    QString arg = programPath;
    arg.replace(u'%', QStringLiteral("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quote = std::any_of(arg.begin(), arg.end(), [](QChar c) { return reserved.contains(c); });
    if (quote) {
        QString quoted;
        for (QChar c : arg) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        arg = u'"' + quoted + u'"';
    }
    // The value of a desktop entry key escapes backslashes once more.
    arg.replace(u'\\', QStringLiteral("\\\\"));
    return arg;
}

QString DesktopEntryText(const QString& programPath)
{
    QString text = QString::fromUtf8(Resource(":/desktop/quorra.desktop.in"));
    text.replace(QStringLiteral("@QUORRA_EXEC@"), DesktopExecArgument(programPath));
    QString tryExec = programPath;
    tryExec.replace(u'\\', QStringLiteral("\\\\"));
    text.replace(QStringLiteral("@QUORRA_TRYEXEC@"), tryExec);
    return text;
}

QString MimePackageText() { return QString::fromUtf8(Resource(":/desktop/quorra-mime.xml")); }

QString RegisterAsDefaultViewer(const QString& programPath, const TDesktopTools& tools)
{
    const TDesktopFolders folders = UserDesktopFolders();
    TRecord record = ReadRecord(folders);
    QString error;
    if (!record.Loaded) {
        if (!MakeFolders(folders.RecordFolder, record.Folders))
            return QStringLiteral("Cannot create the folder ") + folders.RecordFolder;
        bool existed = false;
        const QByteArray before = ReadAll(MimeAppsPath(folders), &existed);
        record.MimeAppsExisted = existed;
        if (existed && !WriteAll(MimeAppsBefore(folders), before, error))
            return error;
        // update-mime-database makes a folder per media type; those it makes for our types go again.
        record.MimeFolders = QDir(folders.DataHome + QStringLiteral("/mime")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }
    const struct {
        QString Path;
        QByteArray Bytes;
    } files[] = { { DesktopEntryPath(folders), DesktopEntryText(programPath).toUtf8() },
        { MimePackagePath(folders), MimePackageText().toUtf8() }, { IconPath(folders), Resource(":/icons/logo.svg") } };
    for (const auto& file : files) {
        const bool tracked = std::any_of(
            record.Files.begin(), record.Files.end(), [&](const TRecord::TFile& f) { return f.Path == file.Path; });
        if (!tracked) {
            if (!MakeFolders(QFileInfo(file.Path).path(), record.Folders))
                return QStringLiteral("Cannot create the folder ") + QFileInfo(file.Path).path();
            bool existed = false;
            const QByteArray previous = ReadAll(file.Path, &existed);
            if (existed && !WriteAll(BackupPath(folders, int(record.Files.size())), previous, error))
                return error;
            record.Files.append({ file.Path, existed });
            // Recorded before anything is replaced, so that a registration that stops half-way can be undone.
            WriteRecord(folders, record);
        }
        if (!WriteAll(file.Path, file.Bytes, error))
            return error;
    }
    // xdg-mime creates the configuration folder when it is missing.
    if (!MakeFolders(folders.ConfigHome, record.Folders))
        return QStringLiteral("Cannot create the folder ") + folders.ConfigHome;
    if (!WriteRecord(folders, record))
        return QStringLiteral("Cannot write ") + StatePath(folders);
    error = RunTool(tools.UpdateMimeDatabase, { folders.DataHome + QStringLiteral("/mime") });
    if (!error.isEmpty())
        return error;
    error = RunTool(tools.XdgMime,
        { QStringLiteral("default"), QLatin1String(kDesktopEntryName), QLatin1String(kTnefMimeType),
            QLatin1String(kOutlookMimeType) });
    if (!error.isEmpty())
        return error;
    // What the registration left in mimeapps.list: while it stays so, unregistering puts back the file as it was.
    WriteAll(MimeAppsAfter(folders), ReadAll(MimeAppsPath(folders)), error);
    return {};
}

QString UnregisterAsDefaultViewer(const TDesktopTools& tools)
{
    const TDesktopFolders folders = UserDesktopFolders();
    const TRecord record = ReadRecord(folders);
    QString error;

    // The default applications.
    bool exists = false;
    const QByteArray current = ReadAll(MimeAppsPath(folders), &exists);
    if (exists) {
        bool haveAfter = false;
        const QByteArray after = ReadAll(MimeAppsAfter(folders), &haveAfter);
        const QByteArray before = ReadAll(MimeAppsBefore(folders));
        if (record.Loaded && haveAfter && after == current) {
            if (record.MimeAppsExisted) {
                if (!WriteAll(MimeAppsPath(folders), before, error))
                    return error;
            } else {
                QFile::remove(MimeAppsPath(folders));
            }
        } else {
            // Changed by others since: only the program's own entries go.
            const QByteArray cleaned = WithoutOurDefaults(current, before);
            if (cleaned != current && !WriteAll(MimeAppsPath(folders), cleaned, error))
                return error;
        }
    }

    // The files: put back what was replaced, remove what was added.
    bool packageRemoved = false;
    for (int i = 0; i < record.Files.size(); ++i) {
        const TRecord::TFile& file = record.Files[i];
        if (file.Existed) {
            if (!WriteAll(file.Path, ReadAll(BackupPath(folders, i)), error))
                return error;
        } else {
            QFile::remove(file.Path);
        }
        packageRemoved = packageRemoved || file.Path == MimePackagePath(folders);
    }
    if (!record.Loaded && ReadAll(MimePackagePath(folders)) == MimePackageText().toUtf8()) {
        QFile::remove(MimePackagePath(folders));
        packageRemoved = true;
    }

    // The user's MIME database: gone with its folder when the registration made it, else rebuilt.
    const QString mimeFolder = folders.DataHome + QStringLiteral("/mime");
    const bool mimeFolderOurs = record.Folders.contains(mimeFolder);
    if (mimeFolderOurs && QDir(mimeFolder + QStringLiteral("/packages")).isEmpty()) {
        QDir(mimeFolder).removeRecursively();
    } else if (packageRemoved && QFileInfo(mimeFolder).isDir()) {
        error = RunTool(tools.UpdateMimeDatabase, { mimeFolder });
        if (!error.isEmpty())
            return error;
        if (record.Loaded) {
            for (const QString& type : QDir(mimeFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                if (!record.MimeFolders.contains(type) && QDir(mimeFolder + u'/' + type).isEmpty())
                    QDir(mimeFolder).rmdir(type);
        }
    }

    // The record, then the folders the registration made, innermost first, where they are empty.
    if (record.Loaded) {
        for (int i = 0; i < record.Files.size(); ++i)
            QFile::remove(BackupPath(folders, i));
        QFile::remove(MimeAppsBefore(folders));
        QFile::remove(MimeAppsAfter(folders));
        QFile::remove(StatePath(folders));
        QStringList made = record.Folders;
        std::sort(made.begin(), made.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
        for (const QString& folder : made)
            if (QFileInfo(folder).isDir() && QDir(folder).isEmpty())
                QDir().rmdir(folder);
    }
    return {};
}

} // namespace quorra
