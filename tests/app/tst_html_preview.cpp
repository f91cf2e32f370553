// The preview's HTML tab in a real web view (run under Xvfb): inline images from the attachments by content id,
// remote content blocked until the user asks for it, links handed to the user's programs and never opened inside,
// "res://" sources left alone, no JavaScript, and bodies too large to hand over directly.

#include <sys/stat.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFrame>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QImage>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

#include "html_prepare.h"
#include "html_view.h"
#include "message_preview.h"
#include "pelmsg.h"
#include "settings.h"
#include "test_data.h"
#include "tnef_builder.h"
#include "viewer_app.h"
#include "web_test_support.h"
#include "window_test_support.h"
#include "worker_pool.h"

using namespace quorra;
using quorra_test::Evaluate;
using namespace pelmsg::test;

namespace {

std::unique_ptr<pelmsg::TPelMessage> HtmlMail(
    const std::string& html, const std::string& contentId = "<image001.png@01D5>", int width = 37)
{
    TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("html");
    TnefPropList props;
    props.Binary(pelmsg::kIdBodyHtml, html);
    b.MapiProps(props);
    TnefPropList a;
    a.String8(pelmsg::kIdAttachFileName, "image001.png");
    a.String8(pelmsg::kIdAttachContentId, contentId);
    b.AttachRenddata().AttachTitle("image001.png").AttachData(quorra_test::Png(width, 23)).AttachmentProps(a);
    return quorra_test::LoadTnef(b.Bytes());
}

// A message whose only body is RTF, stored uncompressed behind the compressed-RTF header ("MELA").
std::unique_ptr<pelmsg::TPelMessage> RtfMail(const std::string& rtf)
{
    TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("rtf");
    b.MapiProps(TnefPropList().Binary(pelmsg::kIdRtfCompressed, pelmsg::UncompressedRtfStream(rtf, true)));
    return quorra_test::LoadTnef(b.Bytes());
}

// A page script the view's own world may run (the page's JavaScript is off).
// A web server on the loopback that answers every request with a small PNG and counts them.
class TCountingServer : public QTcpServer {
public:
    int Requests = 0;
    TCountingServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().startsWith("GET"))
                        return;
                    ++Requests;
                    const std::string png = quorra_test::Png(5, 5);
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: "
                        + QByteArray::number(qsizetype(png.size())) + "\r\n\r\n");
                    s->write(png.data(), qsizetype(png.size()));
                    s->disconnectFromHost();
                });
            }
        });
    }
    QString Url() const { return QStringLiteral("http://127.0.0.1:%1/pixel.png").arg(serverPort()); }
};

} // namespace

class TestHtmlPreview : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<quorra_test::TIsolatedHome> home_;
    TSettings settings_;
    std::unique_ptr<TfrmMessage> form_;
    std::unique_ptr<pelmsg::TPelMessage> message_;

    THtmlView* Show(const std::string& html, int width = 37)
    {
        message_ = HtmlMail(html, "<image001.png@01D5>", width);
        form_->FillPreview(&message_->Properties());
        // The web view is made once the form has been painted.
        if (!QTest::qWaitFor([this] { return form_->HtmlView() != nullptr; }, 5000))
            return nullptr;
        THtmlView* view = form_->HtmlView();
        QSignalSpy loaded(view, &THtmlView::LoadFinished);
        if (!loaded.wait(20000) && loaded.isEmpty())
            return nullptr;
        return view;
    }

private slots:
    void init()
    {
        home_ = std::make_unique<quorra_test::TIsolatedHome>();
        settings_ = TSettings();
        form_ = std::make_unique<TfrmMessage>(settings_);
        form_->resize(800, 600);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup()
    {
        form_.reset();
        message_.reset();
        home_.reset();
    }

    // "cid:" + the content id finds the attachment whose id is that in angle brackets, and shows its picture.
    void inlineImageByContentId()
    {
        THtmlView* view = Show("<html><body><p>Logo:</p><img id=i src=\"cid:image001.png@01D5\"></body></html>");
        QVERIFY(view);
        QCOMPARE(form_->findChild<QTabWidget*>("pcBody")->currentWidget()->objectName(), QStringLiteral("tsHTMLBody"));
        QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('i').naturalWidth").toInt(), 37);
        QCOMPARE(view->ServedImageCount(), 1);
        QCOMPARE(view->BlockedCount(), 0);
        QVERIFY(view->RemoteBar()->isHidden());
    }

    // The next message's picture under the same content id is its own, not the last one's.
    void sameContentIdInTheNextMessage()
    {
        const std::string html = "<html><body><img id=i src=\"cid:image001.png@01D5\"></body></html>";
        THtmlView* view = Show(html, 37);
        QVERIFY(view);
        QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('i').naturalWidth").toInt(), 37);
        view = Show(html, 11);
        QVERIFY(view);
        QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('i').naturalWidth").toInt(), 11);
    }

    // A source by file name resolves through the page's base address too.
    void inlineImageByFileName()
    {
        THtmlView* view = Show("<p>x</p><img id=i src=\"image001.png\">");
        QVERIFY(view);
        QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('i').naturalWidth").toInt(), 37);
    }

    // The printed document takes pictures from the message's own attachments only: a local file, a device, a
    // FIFO (which would block for ever) or a network address named by the body gives nothing, and is not read.
    void printingReadsNoFileTheBodyNames()
    {
        const QString secret = home_->Path("home/secret.png");
        QFile file(secret);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const std::string png = quorra_test::Png(41, 43);
        file.write(png.data(), qsizetype(png.size()));
        file.close();
        const QString fifo = home_->Path("home/fifo");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        const QStringList sources = { QUrl::fromLocalFile(secret).toString(), secret, fifo, "/dev/zero",
            "secret.png", "http://127.0.0.1:9/x.png" };
        std::string html = "<html><body><img src=\"cid:image001.png@01D5\"><img src=\"image001.png\">";
        for (const QString& source : sources)
            html += "<img src=\"" + source.toStdString() + "\">";
        html += "<link rel=stylesheet href=\"" + QUrl::fromLocalFile(secret).toString().toStdString() + "\"></body></html>";
        QVERIFY(Show(html));
        // A relative source would name a file of the current folder.
        const QString folder = QDir::currentPath();
        QDir::setCurrent(home_->Path("home"));
        const std::unique_ptr<QTextDocument> document = form_->CreatePrintDocument();
        document->documentLayout()->documentSize(); // lays out: every picture is asked for
        auto size = [&](const QString& source) {
            return document->resource(QTextDocument::ImageResource, QUrl(source)).value<QImage>().size();
        };
        for (const QString& source : sources)
            QVERIFY2(size(source).width() <= 1, qPrintable(source));
        QDir::setCurrent(folder);
        QCOMPARE(size("cid:image001.png@01D5"), QSize(37, 23));
        QCOMPARE(size("image001.png"), QSize(37, 23));
        // And printing it to PDF finishes.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(home_->Path("home/print.pdf"));
        form_->Print(printer);
        QVERIFY(QFileInfo(home_->Path("home/print.pdf")).size() > 1000);
    }

    // A fragment without a charset is wrapped; the wrapper's meta tag is in the document.
    void fragmentIsWrapped()
    {
        THtmlView* view = Show("<p id=p>Gr\xC3\xBC\xC3\x9F" "e</p>");
        QVERIFY(view);
        QCOMPARE(Evaluate(view->View(), "document.querySelectorAll('meta[http-equiv]').length").toInt(), 1);
    }

    // Remote images load nothing until the button is pressed; then they load for this message only.
    void remoteContentIsBlockedUntilAllowed()
    {
        TCountingServer server;
        QVERIFY(server.isListening());
        const std::string html = "<html><body><img id=r src=\"" + server.Url().toStdString()
            + "\"><link rel=stylesheet href=\"" + server.Url().toStdString() + "?css\"></body></html>";
        THtmlView* view = Show(html);
        QVERIFY(view);
        QTRY_VERIFY(view->BlockedCount() >= 1);
        QTRY_VERIFY(view->RemoteBar()->isVisible());
        // The page has finished loading (Show waits for that), so every request it makes has been made.
        QCOMPARE(server.Requests, 0);
        QSignalSpy loaded(view, &THtmlView::LoadFinished);
        QTest::mouseClick(view->findChild<QPushButton*>("btnLoadRemoteContent"), Qt::LeftButton);
        QVERIFY(loaded.wait(20000));
        QTRY_VERIFY(server.Requests >= 1);
        QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('r').naturalWidth").toInt(), 5);
        QVERIFY(view->RemoteBar()->isHidden());

        // The next message is blocked again.
        const int before = server.Requests;
        view = Show(html);
        QVERIFY(view);
        QTRY_VERIFY(view->RemoteBar()->isVisible());
        QCOMPARE(server.Requests, before);
    }

    void remoteContentAlwaysAllowedBySetting()
    {
        TCountingServer server;
        settings_.AllowRemoteContent = true;
        THtmlView* view = Show("<html><body><img src=\"" + server.Url().toStdString() + "\"></body></html>");
        QVERIFY(view);
        QTRY_VERIFY(server.Requests >= 1);
        QVERIFY(view->RemoteBar()->isHidden());
    }

    // A clicked http link opens in the user's browser, the preview stays on the message.
    void clickedLinkOpensOutside()
    {
        THtmlView* view = Show("<html><body style=\"margin:0\"><a href=\"http://example.com/page\" "
                               "style=\"display:block;width:100%;height:400px;background:#ccc\">link</a></body></html>");
        QVERIFY(view);
        QList<QUrl> opened;
        view->OpenExternal = [&](const QUrl& url) { opened << url; };
        const QUrl before = view->View()->url();
        // The page is hit-tested once it is laid out; on a busy machine the first click may come too early.
        QTRY_COMPARE(Evaluate(view->View(), "document.elementFromPoint(50, 50).tagName").toString(), QStringLiteral("A"));
        QWidget* target = view->View()->focusProxy() ? view->View()->focusProxy() : view->View();
        for (int attempt = 0; attempt < 5 && opened.isEmpty(); ++attempt) {
            QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(50, 50));
            (void)QTest::qWaitFor([&] { return !opened.isEmpty(); }, 3000);
        }
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0], QUrl("http://example.com/page"));
        // The navigation was decided when the link was handed on: the view did not follow it.
        QCOMPARE(view->View()->url(), before);
        QCOMPARE(Evaluate(view->View(), "document.links.length").toInt(), 1);
    }

    // "res://" sources name Windows libraries: the element stays as it is, nothing is loaded.
    void resourceSourcesAreLeftAlone()
    {
        THtmlView* view = Show("<html><body><img id=r src=\"res://ieframe.dll/#2/#142\"></body></html>");
        QVERIFY(view);
        QCOMPARE(Evaluate(view->View(), "document.getElementById('r').getAttribute('src')").toString(),
            QStringLiteral("res://ieframe.dll/#2/#142"));
        QCOMPARE(Evaluate(view->View(), "document.getElementById('r').naturalWidth").toInt(), 0);
        QCOMPARE(view->ServedImageCount(), 0);
    }

    void javascriptDoesNotRun()
    {
        THtmlView* view = Show("<html><head><title>before</title></head><body>"
                               "<script>document.title='ran';</script><p>x</p></body></html>");
        QVERIFY(view);
        // A page's scripts run before its load finishes, which Show waits for.
        QCOMPARE(view->View()->title(), QStringLiteral("before"));
    }

    // A body above the direct limit goes through the scheme handler and shows to its end.
    void largeBodyThroughTheHandler()
    {
        std::string html = "<html><body>";
        while (html.size() < size_t(kMaxInlineHtmlBytes) + 200000)
            html += "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit.</p>\n";
        html += "<p id=end>END</p><img id=i src=\"cid:image001.png@01D5\"></body></html>";
        THtmlView* view = Show(html);
        QVERIFY(view);
        QCOMPARE(Evaluate(view->View(), "document.getElementById('end').textContent").toString(), QStringLiteral("END"));
        QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('i').naturalWidth").toInt(), 37);
    }

    // A large body is prepared in a worker. When another message is shown before it is in, the late result is
    // dropped: the HTML tab keeps the message shown now, whichever way (at once or in a worker) that one came.
    void lateBodyOfTheLastMessageIsDropped()
    {
        std::string large = "<html><body>";
        while (large.size() < size_t(kHtmlInWorkerBytes) + 1000)
            large += "<p>the message before</p>\n";
        large += "</body></html>";
        for (const bool nextLarge : { false, true }) {
            auto before = HtmlMail(large, "<image001.png@01D5>", 37);
            form_->FillPreview(&before->Properties());
            QVERIFY(form_->HtmlPending());
            std::string next = "<html><body><p id=p>the message now</p>";
            while (nextLarge && next.size() < size_t(kHtmlInWorkerBytes) + 1000)
                next += "<p>more</p>\n";
            THtmlView* view = Show(next + "</body></html>");
            QVERIFY(view);
            // Every worker has ended and every result has been delivered.
            DocumentWorkers()->waitForDone();
            QCoreApplication::sendPostedEvents();
            QVERIFY(!form_->HtmlPending());
            QVERIFY(form_->HtmlText().contains(QStringLiteral("the message now")));
            QVERIFY(!form_->HtmlText().contains(QStringLiteral("the message before")));
            QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('p')?.textContent").toString(),
                QStringLiteral("the message now"));
        }
    }

    // The HTML a large RTF body encapsulates is taken out in a worker (copying the stored RTF, or reading it where
    // it is while a keeper holds the message) and shows to its end; a message shown before it is in wins.
    void largeRtfHtmlInAWorker()
    {
        std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\fonttbl{\\f0\\fswiss Arial;}}"
                          "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <body>}";
        while (rtf.size() < size_t(kHtmlInWorkerBytes) + 1000)
            rtf += "{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 the RTF message\\htmlrtf }\\htmlrtf0 "
                   "{\\*\\htmltag72 </p>}\\par ";
        rtf += "{\\*\\htmltag64 <p id=end>}\\htmlrtf {\\htmlrtf0 END\\htmlrtf }\\htmlrtf0 {\\*\\htmltag72 </p>}"
               "{\\*\\htmltag42 </body>}{\\*\\htmltag27 </html>}}";
        for (const bool kept : { false, true }) {
            std::shared_ptr<pelmsg::TPelMessage> large = RtfMail(rtf);
            form_->SetMessageKeeper(kept ? large : nullptr);
            QSignalSpy loaded(form_.get(), &TfrmMessage::HtmlLoaded);
            form_->FillPreview(&large->Properties());
            QVERIFY(form_->HtmlPending());
            QVERIFY(loaded.wait(30000));
            QVERIFY(!form_->HtmlPending());
            // Whether its tab showed at once or only once the HTML was found, HTML (the preferred body) is on top.
            QTRY_COMPARE(
                form_->findChild<QTabWidget*>("pcBody")->currentWidget()->objectName(), QStringLiteral("tsHTMLBody"));
            QCOMPARE(
                Evaluate(form_->HtmlView()->View(), "document.getElementById('end').textContent.trim()").toString(),
                QStringLiteral("END"));

            form_->FillPreview(&large->Properties());
            QVERIFY(form_->HtmlPending());
            THtmlView* view = Show("<html><body><p id=p>the message now</p></body></html>");
            QVERIFY(view);
            DocumentWorkers()->waitForDone();
            QCoreApplication::sendPostedEvents();
            QVERIFY(!form_->HtmlPending());
            QVERIFY(form_->HtmlText().contains(QStringLiteral("the message now")));
            QVERIFY(!form_->HtmlText().contains(QStringLiteral("the RTF message")));
            QTRY_COMPARE(Evaluate(view->View(), "document.getElementById('p')?.textContent").toString(),
                QStringLiteral("the message now"));
            form_->FillPreview(nullptr);
        }
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestHtmlPreview test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_html_preview.moc"
