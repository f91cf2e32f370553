#pragma once

// The online check for a newer version: fetches a small XML document holding "<Program_Version>" and compares
// its version with the program's own, number by number (2.10 is newer than 2.6).
//
// The document comes from the network and is not trusted: at most kMaxUpdateDocument bytes are read, and a
// document that is too large, is no answer of the server's (an HTTP error) or holds no well-formed version is
// "no information", never a newer version.

#include <functional>
#include <optional>

#include <QNetworkProxy>
#include <QString>
#include <QUrl>

namespace quorra {

// The largest update document read; a longer one ends the check as "no information".
inline constexpr qint64 kMaxUpdateDocument = 64 * 1024;

// The program's version as the About box and the update check show it: "v" and the version number.
QString CurrentVersionText();

// "v" followed by what follows "<Program_Version>" (at most 10 characters, cut before the first "<", else
// before the first CR), or "<unknown>" when the tag is missing or nothing follows it.
QString RemoteVersion(const QString& text);
// "v" followed by what follows the first " v" (at most 10 characters, cut before the first blank, else before
// the first CR), or "<unknown>".
QString LocalVersion(const QString& text);
// Compares two version texts ("v2.10", "2.6", "v1.0.3") number by number, a missing number counting as 0.
// Empty when either is not such a text (digits separated by single dots, at most 8 numbers of at most 9 digits,
// an optional "v" in front).
std::optional<int> CompareVersions(const QString& a, const QString& b);

enum class TUpdateOutcome {
    Newer, // a newer version is available
    Latest, // the program is as new as the document's version, or newer
    NotFound, // the server has no such document (404)
    NoInformation, // the answer holds no usable version
    Silent, // the answer was empty, or the proxy logon was cancelled: nothing is shown
    Failed, // the address could not be opened
};

struct TUpdateResult {
    TUpdateOutcome Outcome = TUpdateOutcome::NoInformation;
    QString Remote; // the document's version ("v2.7"), when it has one
    int HttpStatus = 0;
    qint64 BytesRead = 0; // the document's bytes that were read (never more than the bound and one chunk)
    QString Error; // the network's reason, for Failed
};

// Asks for proxy credentials (the caption, then the user and password fields, changed in place); false when the
// user cancels.
using TProxyLogon = std::function<bool(const QString& caption, QString& user, QString& password)>;

// Fetches the document at url (no cache, agent "Tessaly"), through the system's proxy settings unless a proxy
// is given, asking proxyLogon when the proxy wants credentials, and compares its version with currentVersionText.
// Waits for the answer in a local event loop that takes no user input.
TUpdateResult CheckForUpdate(const QUrl& url, const QString& currentVersionText, const TProxyLogon& proxyLogon,
    const std::optional<QNetworkProxy>& proxy = std::nullopt);

// The text the window shows for a result; empty when nothing is to be shown.
QString UpdateMessage(
    const TUpdateResult& result, const QUrl& url, const QString& currentVersionText, const QString& requestMail);

} // namespace quorra
