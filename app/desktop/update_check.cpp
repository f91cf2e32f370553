#include "update_check.h"

#include <utility>

#include <QAuthenticator>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "program_texts.h"
#include "update_document.h"
#include "version.h"

namespace quorra {

namespace {

TProgramText strNoVersionInfo("strNoVersionInfo",
    "The answer from %s holds no version information, so it is not known whether a newer version exists.");
TProgramText strUpdateTimedOut("strUpdateTimedOut",
    "%s did not answer in time, so it is not known whether a newer version exists. Please try again later.");

} // namespace

QString CurrentVersionText() { return u'v' + QString::fromLatin1(kTessalyVersion); }

QString RemoteVersion(const QString& text)
{
    return QString::fromStdString(VersionAfterMarker(text.toStdString(), "<Program_Version>", '<'));
}

QString LocalVersion(const QString& text) { return QString::fromStdString(VersionAfterMarker(text.toStdString(), " v", ' ')); }

std::optional<int> CompareVersions(const QString& a, const QString& b)
{
    return CompareVersionTexts(a.toStdString(), b.toStdString());
}

TUpdateCheck::TUpdateCheck(const QUrl& url, const QString& currentVersionText, QObject* parent)
    : QObject(parent)
    , url_(url)
    , current_(currentVersionText)
    , manager_(new QNetworkAccessManager(this))
    , deadline_(new QTimer(this))
{
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] {
        if (!reply_)
            return;
        stop_ = TStop::Deadline;
        reply_->abort();
    });
    connect(manager_, &QNetworkAccessManager::proxyAuthenticationRequired, this,
        [this](const QNetworkProxy&, QAuthenticator* authenticator) {
            // Credentials the proxy refused once are not offered again in the same request; the dialog is asked
            // for after the request has ended, outside this signal.
            if (haveCredentials_ && !credentialsOffered_) {
                credentialsOffered_ = true;
                authenticator->setUser(user_);
                authenticator->setPassword(password_);
            } else {
                wantLogon_ = true;
            }
        });
}

TUpdateCheck::~TUpdateCheck()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void TUpdateCheck::Start()
{
    if (running_)
        return;
    running_ = true;
    result_ = {};
    // The proxy is this check's own: the system's settings are looked up for the address, never switched on for
    // the whole process.
    if (proxy_) {
        manager_->setProxy(*proxy_);
    } else {
        const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url_));
        manager_->setProxy(proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first());
    }
    Send();
}

void TUpdateCheck::Send()
{
    body_.clear();
    stop_ = TStop::None;
    wantLogon_ = false;
    credentialsOffered_ = false;
    QNetworkRequest request(url_);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tessaly"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(limits_.SilenceMs);
    reply_ = manager_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        if (stop_ == TStop::None)
            Take(reply_);
    });
    connect(reply_, &QNetworkReply::finished, this, &TUpdateCheck::ReplyFinished);
    deadline_->start(limits_.DeadlineMs);
}

void TUpdateCheck::Take(QNetworkReply* reply)
{
    // Never more than the bound: the rest of a longer document is not read.
    body_ += reply->read(kMaxUpdateDocument + 1 - body_.size());
    if (body_.size() > kMaxUpdateDocument
        || reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxUpdateDocument) {
        stop_ = TStop::TooLarge;
        reply->abort();
        return;
    }
    emit Received(body_.size());
}

void TUpdateCheck::Cancel()
{
    if (!running_)
        return;
    stop_ = TStop::Cancelled;
    if (reply_)
        reply_->abort(); // finishes the reply at once, which ends the check
    else
        Finish(TUpdateOutcome::Cancelled);
}

void TUpdateCheck::ReplyFinished()
{
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    deadline_->stop();
    if (stop_ == TStop::None && reply->bytesAvailable() > 0)
        Take(reply);
    result_.BytesRead = body_.size();
    result_.HttpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    result_.Error = reply->errorString();
    reply->deleteLater();

    const bool refusedByProxy = result_.HttpStatus == 407 || error == QNetworkReply::ProxyAuthenticationRequiredError;
    if (stop_ == TStop::None && refusedByProxy && wantLogon_ && logon_ && logons_ < kMaxProxyLogons) {
        // The dialog runs after this signal has returned, so that no network callback waits on the user.
        QTimer::singleShot(0, this, &TUpdateCheck::AskLogon);
        return;
    }
    Finish(Classify(body_, error));
}

void TUpdateCheck::AskLogon()
{
    if (stop_ == TStop::Cancelled) {
        Finish(TUpdateOutcome::Cancelled);
        return;
    }
    ++logons_;
    QString user = user_, password = password_;
    if (!logon_(strPelInProxyLogon(), user, password)) {
        // A cancelled logon ends the check silently.
        Finish(TUpdateOutcome::Silent);
        return;
    }
    if (stop_ == TStop::Cancelled) {
        Finish(TUpdateOutcome::Cancelled);
        return;
    }
    user_ = user;
    password_ = password;
    haveCredentials_ = true;
    Send();
}

TUpdateOutcome TUpdateCheck::Classify(const QByteArray& body, QNetworkReply::NetworkError error)
{
    switch (stop_) {
    case TStop::Cancelled:
        return TUpdateOutcome::Cancelled;
    case TStop::Deadline:
        return TUpdateOutcome::TimedOut;
    case TStop::TooLarge:
        return TUpdateOutcome::NoInformation;
    case TStop::None:
        break;
    }
    // The transfer timeout (a silence of the server) aborts the reply as a cancelled operation.
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        return TUpdateOutcome::TimedOut;
    if (result_.HttpStatus == 404)
        return TUpdateOutcome::NotFound;
    if (result_.HttpStatus == 407 || error == QNetworkReply::ProxyAuthenticationRequiredError) {
        // Credentials the proxy refused tell the user nothing new about versions either.
        return TUpdateOutcome::Failed;
    }
    if (result_.HttpStatus == 0 && error != QNetworkReply::NoError)
        return TUpdateOutcome::Failed;
    if (result_.HttpStatus < 200 || result_.HttpStatus > 299) {
        // An error page is no update document.
        return TUpdateOutcome::NoInformation;
    }
    const qsizetype zero = body.indexOf('\0');
    const QString text = QString::fromUtf8(zero >= 0 ? body.left(zero) : body);
    if (text.isEmpty())
        return TUpdateOutcome::Silent;
    result_.Remote = RemoteVersion(text);
    const std::optional<int> order = CompareVersions(result_.Remote, LocalVersion(u' ' + current_));
    if (!order)
        return TUpdateOutcome::NoInformation;
    return *order > 0 ? TUpdateOutcome::Newer : TUpdateOutcome::Latest;
}

void TUpdateCheck::Finish(TUpdateOutcome outcome)
{
    if (!running_)
        return;
    running_ = false;
    deadline_->stop();
    result_.Outcome = outcome;
    emit Finished(result_);
}

QString UpdateMessage(
    const TUpdateResult& result, const QUrl& url, const QString& currentVersionText, const QString& requestMail)
{
    switch (result.Outcome) {
    case TUpdateOutcome::Newer:
        return strCurVerInfo.Arg(currentVersionText) + u'\n' + strNewVerInfo.Arg(result.Remote) + QStringLiteral("\n\n")
            + strUpdateInfo.Arg(requestMail);
    case TUpdateOutcome::Latest:
        return strCurVerInfo.Arg(currentVersionText) + QStringLiteral("\n\n") + strLastVersionUsed();
    case TUpdateOutcome::NotFound:
        return strRemoteFileNotFound();
    case TUpdateOutcome::NoInformation:
        return strCurVerInfo.Arg(currentVersionText) + QStringLiteral("\n\n")
            + strNoVersionInfo.Arg(url.toDisplayString());
    case TUpdateOutcome::Failed:
        return strURLNotOpened.Arg(url.toDisplayString()) + (result.Error.isEmpty() ? QString() : QStringLiteral("\n\n") + result.Error);
    case TUpdateOutcome::TimedOut:
        return strUpdateTimedOut.Arg(url.toDisplayString());
    case TUpdateOutcome::Silent:
    case TUpdateOutcome::Cancelled:
        break;
    }
    return {};
}

} // namespace quorra
