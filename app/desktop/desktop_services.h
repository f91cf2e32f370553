#pragma once

// The program's addresses on the Internet and its way of handing documents, web addresses and mail links to the
// user's programs.
//
// The addresses are settings: section "Internet" of the settings file (per user, else machine-wide) may replace
// each of them; the program never writes that section.

#include <functional>

#include <QString>
#include <QUrl>

#include "pel_language.h"

namespace quorra {

struct TInternetSettings {
    QString HomePage = QStringLiteral("https://tessaly.corvane.org");
    QString SupportMail = QStringLiteral("support@corvane.org");
    QString SupportSubject = QStringLiteral("Tessaly support request");
    QString ContactMail = QStringLiteral("tessaly@corvane.org");
    // A small XML document holding "<Program_Version>"; fetched over HTTPS unless the setting says otherwise.
    QString UpdateUrl = QStringLiteral("https://tessaly.corvane.org/version.xml");
    QString UpdateRequestMail = QStringLiteral("updates@corvane.org");
    // The program that hands a new mail to the user's mail program (xdg-email's arguments).
    QString MailCommand = QStringLiteral("xdg-email");
};

// The built-in addresses, replaced by the keys of section "Internet" that the settings file has (HomePage,
// SupportMail, SupportSubject, ContactMail, UpdateUrl, UpdateRequestMail, MailCommand).
TInternetSettings LoadInternetSettings();

// "mailto:" + address + "?subject=" + the subject with every blank written as %20.
QUrl SupportMailUrl(const QString& address, const QString& subject);

// Asks the desktop to open a file, web address or mail link (xdg-open); false when it could not.
bool OpenDocument(const QUrl& url);
// What OpenDocument uses; tests put a recorder in its place. Returns the previous opener.
using TUrlOpener = std::function<bool(const QUrl&)>;
TUrlOpener SetUrlOpener(TUrlOpener opener);

// The manual: "help/manual.html" beside the program, else the installed one (share/quorra/help).
QString ManualPath(const QString& programFolder);

// Texts of the commands that reach outside the program.
extern TProgramText strRegisterFailed;
extern TProgramText strUnregisterFailed;
extern TProgramText strHelpNotFound;
extern TProgramText strMailFailed;
extern TProgramText strMailAttachmentsFailed;

} // namespace quorra
