#include "desktop_services.h"

#include <QDesktopServices>
#include <QFileInfo>

#include "ini_file.h"
#include "settings.h"

namespace quorra {

namespace {

TUrlOpener& Opener()
{
    static TUrlOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

} // namespace

TProgramText strRegisterFailed("strRegisterFailed", "Tessaly could not be registered as default viewer: %s");
TProgramText strUnregisterFailed("strUnregisterFailed", "The registration as default viewer could not be removed: %s");
TProgramText strHelpNotFound("strHelpNotFound", "The manual %s is not found.");
TProgramText strMailFailed("strMailFailed", "The mail program could not be started: %s");
TProgramText strMailAttachmentsFailed(
    "strMailAttachmentsFailed", "These attachments could not be handed to the mail program: %s");

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

bool OpenDocument(const QUrl& url)
{
    const TUrlOpener& opener = Opener();
    return opener && opener(url);
}

TUrlOpener SetUrlOpener(TUrlOpener opener)
{
    TUrlOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

} // namespace quorra
