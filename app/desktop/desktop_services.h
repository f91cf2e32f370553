#pragma once

// The program's addresses on the Internet and its way of handing documents, web addresses and mail links to the
// user's programs.
//
// The addresses are settings: section "Internet" of the settings file (per user, else machine-wide) may replace
// each of them; the program never writes that section.

#include <functional>

#include <QString>
#include <QStringList>
#include <QUrl>

#include "program_texts.h"

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

// Why a file or address could not be opened, as the desktop's opener said it.
using TOpenFailed = std::function<void(const QString& reason)>;

// Asks the desktop to open a file, web address or mail link (xdg-open, without waiting for it); false when the
// opener could not be started. The opener may fail later, as xdg-open does when no program is there for the
// address ("no method available"): then onFailed, when given, runs on the GUI thread with its reason, unless the
// context object is gone by then.
bool OpenDocument(const QUrl& url, QObject* context = nullptr, TOpenFailed onFailed = {});
// What OpenDocument uses; tests put a recorder in its place (false: the opener failed). Returns the previous
// opener; an empty one is the desktop's (xdg-open).
using TUrlOpener = std::function<bool(const QUrl&)>;
TUrlOpener SetUrlOpener(TUrlOpener opener);

// Runs a helper program (xdg-open, xdg-email, ...) without waiting for it; the text of the reason when it cannot
// be started. When it ends with a failure later, onFailed runs with its last error line (or its exit status),
// unless the context object is gone by then. The helper is never ended by the program: the browser or mail
// program it may wait for stays open.
QString StartHelper(const QString& program, const QStringList& arguments, QObject* context, TOpenFailed onFailed);

// The manual: "help/manual.html" beside the program, else the installed one (share/quorra/help).
QString ManualPath(const QString& programFolder);

} // namespace quorra
