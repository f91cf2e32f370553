#include "update_check.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "program_texts.h"
#include "update_document.h"
#include "version.h"

namespace quorra {

namespace {

constexpr int kTransferTimeoutMs = 30000;

TProgramText strNoVersionInfo("strNoVersionInfo",
    "The answer from %s holds no version information, so it is not known whether a newer version exists.");

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

TUpdateResult CheckForUpdate(const QUrl& url, const QString& currentVersionText, const TProxyLogon& proxyLogon,
    const std::optional<QNetworkProxy>& proxy)
{
    TUpdateResult result;
    QNetworkAccessManager manager;
    if (proxy)
        manager.setProxy(*proxy);
    else
        QNetworkProxyFactory::setUseSystemConfiguration(true);
    bool logonCancelled = false;
    QObject::connect(&manager, &QNetworkAccessManager::proxyAuthenticationRequired,
        [&](const QNetworkProxy&, QAuthenticator* authenticator) {
            QString user, password;
            if (proxyLogon && proxyLogon(strPelInProxyLogon(), user, password)) {
                authenticator->setUser(user);
                authenticator->setPassword(password);
            } else {
                logonCancelled = true;
            }
        });

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tessaly"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = manager.get(request);

    QByteArray body;
    bool tooLarge = false;
    QEventLoop loop;
    auto take = [&] {
        // Never more than the bound: the rest of a longer document is not read.
        const QByteArray chunk = reply->read(kMaxUpdateDocument + 1 - body.size());
        body += chunk;
        if (body.size() > kMaxUpdateDocument || reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxUpdateDocument) {
            tooLarge = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (!tooLarge)
            take();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!tooLarge && reply->bytesAvailable() > 0)
        take();
    result.BytesRead = body.size();
    result.HttpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    result.Error = reply->errorString();
    reply->deleteLater();

    if (tooLarge) {
        result.Outcome = TUpdateOutcome::NoInformation;
        return result;
    }
    if (result.HttpStatus == 404) {
        result.Outcome = TUpdateOutcome::NotFound;
        return result;
    }
    if (result.HttpStatus == 407 || error == QNetworkReply::ProxyAuthenticationRequiredError) {
        // A cancelled logon ends the check silently; credentials the proxy refused tell the user nothing new
        // about versions either.
        result.Outcome = logonCancelled ? TUpdateOutcome::Silent : TUpdateOutcome::Failed;
        return result;
    }
    if (result.HttpStatus == 0 && error != QNetworkReply::NoError) {
        result.Outcome = TUpdateOutcome::Failed;
        return result;
    }
    if (result.HttpStatus < 200 || result.HttpStatus > 299) {
        // An error page is no update document.
        result.Outcome = TUpdateOutcome::NoInformation;
        return result;
    }
    const qsizetype zero = body.indexOf('\0');
    const QString text = QString::fromUtf8(zero >= 0 ? body.left(zero) : body);
    if (text.isEmpty()) {
        result.Outcome = TUpdateOutcome::Silent;
        return result;
    }
    result.Remote = RemoteVersion(text);
    const std::optional<int> order = CompareVersions(result.Remote, LocalVersion(u' ' + currentVersionText));
    if (!order)
        result.Outcome = TUpdateOutcome::NoInformation;
    else
        result.Outcome = *order > 0 ? TUpdateOutcome::Newer : TUpdateOutcome::Latest;
    return result;
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
    case TUpdateOutcome::Silent:
        break;
    }
    return {};
}

} // namespace quorra
