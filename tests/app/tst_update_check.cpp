// The update check against a small HTTP server on 127.0.0.1: newer, older and equal versions compared number
// by number, a document without the tag, 404, a 10 MB answer read only up to the bound, an error page, a refused
// connection, a proxy that asks for credentials (answered, then cancelled) through the real logon dialog, servers
// too slow to wait for, and Cancel in the window's progress dialog.

#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include "proxy_logon.h"
#include "test_data.h"
#include "update_check.h"
#include "window_test_support.h"
#include "work_progress.h"

using namespace quorra;
using quorra_test::TModalHandler;

namespace {

// Answers every request with what the handler makes of it, then closes the connection.
class THttpServer : public QObject {
public:
    using THandler = std::function<QByteArray(const QByteArray& request)>;
    explicit THttpServer(THandler handler)
        : handler_(std::move(handler))
    {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                auto* buffer = new QByteArray;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    if (!buffer->contains("\r\n\r\n"))
                        return;
                    requests << *buffer;
                    socket->write(handler_(*buffer));
                    socket->disconnectFromHost();
                    buffer->clear();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                    delete buffer;
                    socket->deleteLater();
                });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }
    quint16 Port() const { return server_.serverPort(); }
    QUrl Url(const QString& path = "/version.xml") const
    {
        return QUrl(QString("http://127.0.0.1:%1%2").arg(Port()).arg(path));
    }
    QList<QByteArray> requests;

private:
    QTcpServer server_;
    THandler handler_;
};

QByteArray Answer(int status, const QByteArray& body, const QByteArray& extraHeaders = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: text/xml\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

QByteArray Document(const QByteArray& version)
{
    return "<?xml version=\"1.0\"?>\r\n<Update><Program_Name>Tessaly</Program_Name><Program_Version>" + version
        + "</Program_Version></Update>\r\n";
}

const QString kCurrent = "v2.6 (build 471)";

// Runs one check to its end (waiting for its Finished signal); empty when it never finished.
std::optional<TUpdateResult> Check(const QUrl& url, const TProxyLogon& logon,
    const QNetworkProxy& proxy = QNetworkProxy(QNetworkProxy::NoProxy), const TUpdateLimits& limits = {})
{
    TUpdateCheck check(url, kCurrent);
    check.SetProxy(proxy);
    check.SetProxyLogon(logon);
    check.SetLimits(limits);
    QSignalSpy finished(&check, &TUpdateCheck::Finished);
    check.Start();
    if (finished.isEmpty() && !finished.wait(60000))
        return std::nullopt;
    if (finished.size() != 1 || check.Running())
        return std::nullopt;
    return check.Result();
}

// A server that answers with the header, then one byte of the body each time its timer fires (never, when it
// is silent), and counts the bytes it sent.
class TTrickleServer : public QObject {
public:
    explicit TTrickleServer(int intervalMs)
    {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this, intervalMs] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, intervalMs] {
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 60000\r\n\r\n");
                    if (intervalMs < 0)
                        return;
                    auto* timer = new QTimer(socket);
                    QObject::connect(timer, &QTimer::timeout, socket, [this, socket] {
                        socket->write(" ");
                        ++sent;
                    });
                    timer->start(intervalMs);
                });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }
    QUrl Url() const { return QUrl(QString("http://127.0.0.1:%1/version.xml").arg(server_.serverPort())); }
    int sent = 0;

private:
    QTcpServer server_;
};

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT

private slots:
    void versionTexts_data()
    {
        quorra_test::AddRows<QString, QString, QString>({ "text", "remote", "local" },
            {
                { "closing tag", "<Program_Version>2.7</Program_Version>", "v2.7", "<unknown>" },
                { "line end", "<Program_Version>2.10\r\nrest", "v2.10", "<unknown>" },
                { "ten characters at most", "<Program_Version>1234567890123", "v1234567890", "<unknown>" },
                { "missing tag", "<Version>2.7</Version>", "<unknown>", "<unknown>" },
                { "empty value", "<Program_Version></Program_Version>", "<unknown>", "<unknown>" },
                { "current text", " v2.6 (build 471)", "<unknown>", "v2.6" },
                { "local at line end", "Tessaly v3.1\r\n", "<unknown>", "v3.1" },
            });
    }

    void versionTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, remote);
        QFETCH(QString, local);
        QCOMPARE(RemoteVersion(text), remote);
        QCOMPARE(LocalVersion(text), local);
    }

    void versionsCompareNumberByNumber_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order"); // 2: not comparable
        QTest::newRow("2.10 is newer than 2.6") << "v2.10" << "v2.6" << 1;
        QTest::newRow("2.6 is older than 2.10") << "v2.6" << "v2.10" << -1;
        QTest::newRow("equal") << "v2.6" << "2.6" << 0;
        QTest::newRow("missing parts are zero") << "v2.6.0" << "v2.6" << 0;
        QTest::newRow("third part") << "v2.6.1" << "v2.6" << 1;
        QTest::newRow("leading zeros") << "v2.06" << "v2.6" << 0;
        QTest::newRow("unknown") << "<unknown>" << "v2.6" << 2;
        QTest::newRow("words") << "v2.7 beta" << "v2.6" << 2;
        QTest::newRow("empty part") << "v2..7" << "v2.6" << 2;
        QTest::newRow("too many digits") << "v99999999999" << "v2.6" << 2;
        QTest::newRow("negative") << "v-3" << "v2.6" << 2;
    }

    void versionsCompareNumberByNumber()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const std::optional<int> result = CompareVersions(a, b);
        QCOMPARE(result.has_value() ? *result : 2, order);
    }

    void answersOfTheServer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");
        const QString latest = "Your current version is " + kCurrent
            + "\n\nYou use the latest version. Check for new version later.";
        QTest::newRow("newer") << Answer(200, Document("2.7")) << int(TUpdateOutcome::Newer)
                               << "Your current version is " + kCurrent
                + "\nThe new available version is v2.7\n\nSend request for new update to updates@example.org";
        QTest::newRow("2.10 is newer than 2.6") << Answer(200, Document("2.10")) << int(TUpdateOutcome::Newer)
                                                << "Your current version is " + kCurrent
                + "\nThe new available version is v2.10\n\nSend request for new update to updates@example.org";
        QTest::newRow("older") << Answer(200, Document("2.5")) << int(TUpdateOutcome::Latest) << latest;
        QTest::newRow("equal") << Answer(200, Document("2.6")) << int(TUpdateOutcome::Latest) << latest;
        QTest::newRow("missing tag") << Answer(200, "<Update><Version>9.9</Version></Update>")
                                     << int(TUpdateOutcome::NoInformation) << "no information";
        QTest::newRow("not a version") << Answer(200, Document("9.9 final")) << int(TUpdateOutcome::NoInformation)
                                       << "no information";
        QTest::newRow("404") << Answer(404, "<html>Not found, but <Program_Version>9.9</Program_Version></html>")
                             << int(TUpdateOutcome::NotFound) << "Remote file with version information is not found.";
        QTest::newRow("error page is no document") << Answer(500, Document("9.9"))
                                                   << int(TUpdateOutcome::NoInformation) << "no information";
        QTest::newRow("empty") << Answer(200, "") << int(TUpdateOutcome::Silent) << "";
        QTest::newRow("cut at a zero byte") << Answer(200, QByteArray("\0", 1) + Document("9.9"))
                                            << int(TUpdateOutcome::Silent) << "";
        QByteArray huge = Document("9.9") + QByteArray(10 * 1024 * 1024, ' ');
        QTest::newRow("10 MB with length") << Answer(200, huge) << int(TUpdateOutcome::NoInformation)
                                           << "no information";
        QTest::newRow("10 MB without length")
            << "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + huge << int(TUpdateOutcome::NoInformation)
            << "no information";
    }

    void answersOfTheServer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        THttpServer server([&](const QByteArray&) { return answer; });
        QVERIFY(server.Port() != 0);
        int logons = 0;
        const std::optional<TUpdateResult> finished
            = Check(server.Url(), [&](const QString&, QString&, QString&) { return ++logons, false; });
        QVERIFY(finished);
        const TUpdateResult& result = *finished;
        QCOMPARE(int(result.Outcome), outcome);
        QCOMPARE(logons, 0);
        QVERIFY(result.BytesRead <= kMaxUpdateDocument + 1);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests.first().startsWith("GET /version.xml HTTP/1.1\r\n"));
        QVERIFY(server.requests.first().contains("\r\nUser-Agent: Tessaly\r\n"));
        const QString text = UpdateMessage(result, server.Url(), kCurrent, "updates@example.org");
        if (message == "no information")
            QCOMPARE(text, "Your current version is " + kCurrent + "\n\nThe answer from " + server.Url().toString()
                    + " holds no version information, so it is not known whether a newer version exists.");
        else
            QCOMPARE(text, message);
    }

    void refusedConnectionCannotOpenTheAddress()
    {
        quint16 port = 0;
        {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            port = closed.serverPort();
        }
        const QUrl url(QString("http://127.0.0.1:%1/version.xml").arg(port));
        const std::optional<TUpdateResult> result = Check(url, {});
        QVERIFY(result);
        QCOMPARE(int(result->Outcome), int(TUpdateOutcome::Failed));
        QVERIFY(UpdateMessage(*result, url, kCurrent, "x").startsWith("Cannot open URL " + url.toString()));
    }

    void proxyAsksForCredentialsThenAnswers_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }

    void proxyAsksForCredentialsThenAnswers()
    {
        QFETCH(bool, confirm);
        // The server acts as the proxy: without the right credentials it answers 407.
        const QByteArray expected = "Proxy-Authorization: Basic " + QByteArray("ann:s3cret").toBase64();
        THttpServer proxy([&](const QByteArray& request) {
            if (request.contains(expected + "\r\n"))
                return Answer(200, Document("2.10"));
            return Answer(407, "", "Proxy-Authenticate: Basic realm=\"tessaly\"\r\n");
        });
        QStringList captions;
        bool masked = false;
        TModalHandler dialogs([&](QDialog* d) {
            captions << d->windowTitle();
            auto* password = d->findChild<QLineEdit*>("edPassword");
            masked = password && password->echoMode() == QLineEdit::Password;
            if (!confirm) {
                d->findChild<QPushButton*>("btnCancel")->click();
                return;
            }
            QTest::keyClicks(d->findChild<QLineEdit*>("edLogin"), "ann");
            QTest::keyClicks(password, "s3cret");
            d->findChild<QPushButton*>("btnOK")->click();
        });
        const QUrl url("http://updates.invalid/version.xml");
        const std::optional<TUpdateResult> finished = Check(
            url,
            [](const QString& caption, QString& user, QString& password) {
                return ProxyLogon(nullptr, caption, user, password);
            },
            QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", proxy.Port()));
        QVERIFY(finished);
        const TUpdateResult& result = *finished;
        QCOMPARE(captions, QStringList { "Proxy Server authorization" });
        QVERIFY(masked);
        QVERIFY(proxy.requests.first().startsWith("GET http://updates.invalid/version.xml HTTP/1.1\r\n"));
        if (confirm) {
            QCOMPARE(int(result.Outcome), int(TUpdateOutcome::Newer));
            QCOMPARE(result.Remote, "v2.10");
            QVERIFY(proxy.requests.last().contains(expected));
        } else {
            // A cancelled logon shows nothing at all.
            QCOMPARE(int(result.Outcome), int(TUpdateOutcome::Silent));
            QCOMPARE(UpdateMessage(result, url, kCurrent, "x"), QString());
            QCOMPARE(proxy.requests.size(), 1);
        }
    }

    void logonDialogMasksThePasswordAndKeepsWhatWasTyped()
    {
        TfrmPelILogon dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), "Enter Password");
        QCOMPARE(dialog.Password()->echoMode(), QLineEdit::Password);
        TfrmPelILogon captioned(nullptr, "Proxy Server authorization");
        QCOMPARE(captioned.windowTitle(), "Proxy Server authorization");
        QString user = "old", password = "pw";
        TModalHandler cancel([](QDialog* d) { d->reject(); }, 1);
        QVERIFY(!ProxyLogon(nullptr, "x", user, password));
        QCOMPARE(user, "old");
        QCOMPARE(password, "pw");
    }

    void windowShowsTheResult()
    {
        quorra_test::TIsolatedHome home;
        THttpServer server([&](const QByteArray&) { return Answer(200, Document("99.0")); });
        TfrmMain::TStartup startup;
        startup.ProgramFolder = home.ProgramFolder();
        startup.CurrentFolder = home.CurrentFolder();
        TfrmMain w(startup);
        QVERIFY(w.Internet().UpdateUrl.startsWith("https://"));
        w.Internet().UpdateUrl = server.Url().toString();
        w.Internet().UpdateRequestMail = "updates@example.org";
        TModalHandler boxes;
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        w.Actions().miHelpCheckUpdate->trigger();
        auto* check = w.findChild<TUpdateCheck*>();
        QVERIFY(check);
        QSignalSpy finished(check, &TUpdateCheck::Finished);
        QVERIFY(finished.wait(60000));
        // The check set the system's proxy on its own manager, not for the whole program.
        QVERIFY(!QNetworkProxyFactory::usesSystemConfiguration());
        QCOMPARE(boxes.Seen(),
            QStringList { "Your current version is " + CurrentVersionText()
                + "\nThe new available version is v99.0\n\nSend request for new update to updates@example.org" });
    }

    // A server that sends one byte at a time never falls silent: only the deadline of the whole check ends it,
    // while the bytes still come. One that sends nothing after the header is ended by the silence limit.
    void slowServersEndInTime_data()
    {
        QTest::addColumn<int>("interval"); // of the server's bytes; -1: none
        QTest::addColumn<int>("deadline");
        QTest::addColumn<int>("silence");
        QTest::newRow("one byte at a time, deadline") << 10 << 400 << 60000;
        QTest::newRow("silent after the header, silence limit") << -1 << 60000 << 300;
    }

    void slowServersEndInTime()
    {
        QFETCH(int, interval);
        QFETCH(int, deadline);
        QFETCH(int, silence);
        TTrickleServer server(interval);
        TUpdateCheck check(server.Url(), kCurrent);
        check.SetProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        check.SetLimits({ deadline, silence });
        int received = 0;
        QObject::connect(&check, &TUpdateCheck::Received, [&] { ++received; });
        QSignalSpy finished(&check, &TUpdateCheck::Finished);
        check.Start();
        QVERIFY(finished.wait(60000));
        QCOMPARE(int(check.Result().Outcome), int(TUpdateOutcome::TimedOut));
        // The body (60,000 bytes announced) was far from complete.
        QVERIFY(check.Result().BytesRead < 1000);
        if (interval > 0)
            QVERIFY2(server.sent > 1 && received > 1, "the server was still sending when the deadline came");
        else
            QCOMPARE(server.sent, 0);
        QVERIFY(UpdateMessage(check.Result(), server.Url(), kCurrent, "x")
                    .startsWith(server.Url().toString() + " did not answer in time"));
    }

    void windowCancelsTheCheckWithItsProgressDialog()
    {
        quorra_test::TIsolatedHome home;
        TTrickleServer server(10);
        const auto w = home.NewWindow();
        w->Internet().UpdateUrl = server.Url().toString();
        TModalHandler boxes;
        w->Actions().miHelpCheckUpdate->trigger();
        auto* check = w->findChild<TUpdateCheck*>();
        auto* progress = w->findChild<TWorkProgress*>();
        QVERIFY(check && progress);
        // A second trigger while it runs starts no second check.
        w->Actions().miHelpCheckUpdate->trigger();
        QCOMPARE(w->findChildren<TUpdateCheck*>().size(), 1);
        QSignalSpy received(check, &TUpdateCheck::Received);
        QVERIFY(received.wait(60000));
        std::optional<TUpdateResult> result;
        QObject::connect(check, &TUpdateCheck::Finished, [&](const TUpdateResult& r) { result = r; });
        QSignalSpy checkGone(check, &QObject::destroyed);
        QSignalSpy progressGone(progress, &QObject::destroyed);
        auto* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), "Cancel");
        cancel->click();
        // Both go once the check has ended.
        QVERIFY(checkGone.size() == 1 || checkGone.wait(60000));
        QVERIFY(progressGone.size() == 1 || progressGone.wait(60000));
        QVERIFY(result);
        QCOMPARE(int(result->Outcome), int(TUpdateOutcome::Cancelled));
        // A cancelled check shows no message.
        QCOMPARE(boxes.Seen(), QStringList());
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
