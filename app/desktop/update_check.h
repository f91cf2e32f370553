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
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QTimer;

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
    TimedOut, // the answer did not come in time (the whole check's deadline, or too long a silence)
    Cancelled, // the user cancelled the check: nothing is shown
};

struct TUpdateResult {
    TUpdateOutcome Outcome = TUpdateOutcome::NoInformation;
    QString Remote; // the document's version ("v2.7"), when it has one
    int HttpStatus = 0;
    qint64 BytesRead = 0; // the document's bytes that were read (never more than the bound and one chunk)
    QString Error; // the network's reason, for Failed
};

// Asks for proxy credentials (the caption, then the user and password fields, changed in place); false when the
// user cancels. Called from the event loop, never from inside a network signal.
using TProxyLogon = std::function<bool(const QString& caption, QString& user, QString& password)>;

// How long a check may take: the whole check (each request, counted from its start), and the longest silence of
// the server within it. A server that sends one byte at a time stays under any silence limit; the deadline ends it.
struct TUpdateLimits {
    int DeadlineMs = 45000;
    int SilenceMs = 30000;
};

// One update check, asynchronous: Start asks for the document (no cache, agent "Tessaly") and returns; Finished
// comes once, with the result, when the answer is in and compared with currentVersionText, the deadline has
// passed, or Cancel was called. A proxy that wants credentials gets them from the proxy logon, asked after the
// refused request has ended, which is then sent again. The check uses a network access manager
// of its own, and a proxy set on that manager only (the system's proxy for the address unless one is given):
// the process's proxy settings stay as they are.
class TUpdateCheck : public QObject {
    Q_OBJECT

public:
    TUpdateCheck(const QUrl& url, const QString& currentVersionText, QObject* parent = nullptr);
    ~TUpdateCheck() override;

    void SetProxy(const QNetworkProxy& proxy) { proxy_ = proxy; }
    void SetProxyLogon(TProxyLogon logon) { logon_ = std::move(logon); }
    void SetLimits(const TUpdateLimits& limits) { limits_ = limits; }

    void Start();
    // Ends the check at once with the outcome Cancelled (nothing happens once it has finished).
    void Cancel();
    bool Running() const { return running_; }
    const TUpdateResult& Result() const { return result_; }

signals:
    // The document's bytes received so far.
    void Received(qint64 bytes);
    void Finished(const quorra::TUpdateResult& result);

private:
    enum class TStop { None, TooLarge, Deadline, Cancelled };
    void Send();
    void Take(QNetworkReply* reply);
    void ReplyFinished();
    void AskLogon();
    void Finish(TUpdateOutcome outcome);
    TUpdateOutcome Classify(const QByteArray& body, QNetworkReply::NetworkError error);

    QUrl url_;
    QString current_;
    std::optional<QNetworkProxy> proxy_;
    TProxyLogon logon_;
    TUpdateLimits limits_;
    QNetworkAccessManager* manager_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    QTimer* deadline_ = nullptr;
    QByteArray body_;
    TStop stop_ = TStop::None;
    bool running_ = false;
    bool wantLogon_ = false; // the proxy asked for credentials this request had none for
    bool haveCredentials_ = false;
    bool credentialsOffered_ = false; // in this request: refused credentials are not offered again
    int logons_ = 0;
    QString user_;
    QString password_;
    TUpdateResult result_;
};

// How often one check asks for proxy credentials (again after the proxy refused what was entered).
inline constexpr int kMaxProxyLogons = 3;

// The text the window shows for a result; empty when nothing is to be shown.
QString UpdateMessage(
    const TUpdateResult& result, const QUrl& url, const QString& currentVersionText, const QString& requestMail);

} // namespace quorra
