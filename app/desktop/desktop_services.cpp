#include "desktop_services.h"

#include <memory>

#include <QFileInfo>
#include <QPointer>
#include <QProcess>

#include "ini_file.h"
#include "settings.h"

namespace quorra {

namespace {

TUrlOpener& Opener()
{
    static TUrlOpener opener;
    return opener;
}

// The most of a helper's error output that is kept: its last lines say why it failed.
constexpr qsizetype kKeptErrorBytes = 4096;

} // namespace

QString ManualPath(const QString& programFolder)
{
    const QString beside = programFolder + QStringLiteral("/help/manual.html");
    if (QFileInfo::exists(beside))
        return beside;
    return QFileInfo(programFolder + QStringLiteral("/../share/quorra/help/manual.html")).absoluteFilePath();
}

TInternetSettings LoadInternetSettings()
{
    TInternetSettings s;
    std::string path = SettingsPath(true);
    if (!QFileInfo::exists(QString::fromStdString(path)))
        path = SettingsPath(false);
    if (!QFileInfo::exists(QString::fromStdString(path)))
        return s;
    TIniFile ini(path);
    auto read = [&](const char* key, QString& value) {
        value = QString::fromStdString(ini.ReadString("Internet", key, value.toStdString()));
    };
    read("HomePage", s.HomePage);
    read("SupportMail", s.SupportMail);
    read("SupportSubject", s.SupportSubject);
    read("ContactMail", s.ContactMail);
    read("UpdateUrl", s.UpdateUrl);
    read("UpdateRequestMail", s.UpdateRequestMail);
    read("MailCommand", s.MailCommand);
    return s;
}

QUrl SupportMailUrl(const QString& address, const QString& subject)
{
    QString s = subject;
    s.replace(u' ', QStringLiteral("%20"));
    return QUrl(QStringLiteral("mailto:") + address + QStringLiteral("?subject=") + s, QUrl::TolerantMode);
}

QString StartHelper(const QString& program, const QStringList& arguments, QObject* context, TOpenFailed onFailed)
{
    // No parent: the helper may wait for the browser or mail program it started, which must outlive any window.
    auto* process = new QProcess();
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    auto errors = std::make_shared<QByteArray>();
    QObject::connect(process, &QProcess::readyReadStandardError, process, [process, errors] {
        errors->append(process->readAllStandardError());
        if (errors->size() > kKeptErrorBytes)
            errors->remove(0, errors->size() - kKeptErrorBytes);
    });
    const QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    QObject::connect(process, &QProcess::finished, process,
        [process, errors, guard, hasContext, onFailed, program](int code, QProcess::ExitStatus status) {
            errors->append(process->readAllStandardError());
            process->deleteLater();
            if ((status == QProcess::NormalExit && code == 0) || !onFailed || (hasContext && !guard))
                return;
            QString reason;
            for (const QString& line : QString::fromLocal8Bit(*errors).split(u'\n', Qt::SkipEmptyParts))
                reason = line.trimmed();
            if (reason.isEmpty())
                reason = status == QProcess::NormalExit
                    ? program + QStringLiteral(": exit status ") + QString::number(code)
                    : program + QStringLiteral(": ") + process->errorString();
            onFailed(reason);
        });
    process->start();
    if (!process->waitForStarted(10000)) {
        const QString reason = program + QStringLiteral(": ") + process->errorString();
        process->disconnect();
        process->deleteLater();
        return reason;
    }
    return {};
}

bool OpenDocument(const QUrl& url, QObject* context, TOpenFailed onFailed)
{
    if (const TUrlOpener& opener = Opener()) {
        if (opener(url))
            return true;
        if (onFailed)
            onFailed(url.toDisplayString());
        return false;
    }
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
    const QString error = StartHelper(QStringLiteral("xdg-open"), { target }, context, onFailed);
    if (error.isEmpty())
        return true;
    if (onFailed)
        onFailed(error);
    return false;
}

TUrlOpener SetUrlOpener(TUrlOpener opener)
{
    TUrlOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

} // namespace quorra
