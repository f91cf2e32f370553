// The update check against a small HTTP server on 127.0.0.1: newer, older and equal versions compared number
// by number, a document without the tag, 404, a 10 MB answer read only up to the bound, an error page, a refused
// connection, and a proxy that asks for credentials (answered, then cancelled) through the real logon dialog.

#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include "proxy_logon.h"
#include "update_check.h"
#include "window_test_support.h"

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

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT

private slots:
    void versionTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("local");
        QTest::newRow("closing tag") << "<Program_Version>2.7</Program_Version>" << "v2.7" << "<unknown>";
        QTest::newRow("line end") << "<Program_Version>2.10\r\nrest" << "v2.10" << "<unknown>";
        QTest::newRow("ten characters at most") << "<Program_Version>1234567890123" << "v1234567890" << "<unknown>";
        QTest::newRow("missing tag") << "<Version>2.7</Version>" << "<unknown>" << "<unknown>";
        QTest::newRow("empty value") << "<Program_Version></Program_Version>" << "<unknown>" << "<unknown>";
        QTest::newRow("current text") << " v2.6 (build 471)" << "<unknown>" << "v2.6";
        QTest::newRow("local at line end") << "Tessaly v3.1\r\n" << "<unknown>" << "v3.1";
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
        const TUpdateResult result = CheckForUpdate(
            server.Url(), kCurrent, [&](const QString&, QString&, QString&) { return ++logons, false; },
            QNetworkProxy(QNetworkProxy::NoProxy));
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
        const TUpdateResult result = CheckForUpdate(url, kCurrent, {}, QNetworkProxy(QNetworkProxy::NoProxy));
        QCOMPARE(int(result.Outcome), int(TUpdateOutcome::Failed));
        QVERIFY(UpdateMessage(result, url, kCurrent, "x").startsWith("Cannot open URL " + url.toString()));
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
        const TUpdateResult result = CheckForUpdate(
            url, kCurrent,
            [](const QString& caption, QString& user, QString& password) {
                return ProxyLogon(nullptr, caption, user, password);
            },
            QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", proxy.Port()));
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
        w.Actions().miHelpCheckUpdate->trigger();
        QCOMPARE(boxes.Seen(),
            QStringList { "Your current version is " + CurrentVersionText()
                + "\nThe new available version is v99.0\n\nSend request for new update to updates@example.org" });
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
