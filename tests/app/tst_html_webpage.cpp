// The self-contained web page opened in a browser (the web engine, on a profile whose every request is recorded
// and none goes out): it loads nothing but itself and its data: pictures, for every corpus file and for hostile
// bodies.

#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include "message_render.h"
#include "pelmsg.h"
#include "render_files.h"
#include "test_data.h"
#include "tnef_builder.h"

using namespace quorra;
using namespace pelmsg::test;

namespace {

// Records every request and lets none leave the machine.
class TRecorder : public QWebEngineUrlRequestInterceptor {
public:
    QList<QUrl> Requests;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        Requests << info.requestUrl();
        const QString scheme = info.requestUrl().scheme();
        if (scheme != QLatin1String("file") && scheme != QLatin1String("data"))
            info.block(true);
    }
};

std::unique_ptr<pelmsg::TPelMessage> HtmlMail(const std::string& html)
{
    TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("Hostile body");
    TnefPropList props;
    props.Binary(pelmsg::kIdBodyHtml, html);
    b.MapiProps(props);
    return quorra_test::LoadTnef(b.Bytes());
}

} // namespace

class TestHtmlWebPage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As root the engine's sandbox cannot start.
        if (::geteuid() == 0)
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }

    void loadsNothingFromOutsideTheFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList pages;
        auto save = [&](const pelmsg::TMSGProperties& message, const QString& name) {
            const QString path = dir.filePath(name + QStringLiteral(".html"));
            SaveRenderedMessage(message, TRenderOptions(), path.toStdString(), false, {}, QPageSize(QPageSize::A4));
            pages << path;
        };
        const std::string hostile
            = "<html><head><link rel=stylesheet href=\"http://127.0.0.1:9/s.css\"></head><body>"
              "<img src=\"http://127.0.0.1:9/x.png\"><iframe src=\"http://127.0.0.1:9/f\"></iframe>"
              "<table background=\"http://127.0.0.1:9/b.png\"><tr><td>x</td></tr></table>"
              "<img src=\"file:///etc/hostname\"><script src=\"http://127.0.0.1:9/j.js\"></script>"
              "<p style=\"background:url(http://127.0.0.1:9/c.png)\">safe</p></body></html>";
        save(HtmlMail(hostile)->Properties(), QStringLiteral("hostile"));
        const QDir corpus(QStringLiteral(TESSALY_CORPUS_DIR));
        for (const char* folder : { "tnef", "msg" })
            for (const QFileInfo& f :
                QDir(corpus.filePath(QLatin1String(folder))).entryInfoList(QDir::Files, QDir::Name)) {
                auto message = pelmsg::CreateMessageForFile(f.filePath().toStdString());
                try {
                    message->LoadFromFile(f.filePath().toStdString());
                } catch (const std::exception&) {
                    continue;
                }
                save(message->Properties(), f.fileName());
            }

        QWebEngineProfile profile;
        TRecorder recorder;
        profile.setUrlRequestInterceptor(&recorder);
        QWebEnginePage page(&profile);
        // As a browser opening a saved page would: scripts on, and a local page allowed to reach the network (the
        // engine's default refuses that before any request is made, which would hide what the page asks for).
        page.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        page.settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        // A control page that does name an outside picture: the recorder must see it.
        const QString control = dir.filePath(QStringLiteral("control.htm"));
        QFile file(control);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<!DOCTYPE html><html><body><img src=\"http://127.0.0.1:9/x.png\"></body></html>");
        file.close();
        pages.prepend(control);
        int outside = 0;
        for (const QString& path : pages) {
            recorder.Requests.clear();
            QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
            page.load(QUrl::fromLocalFile(path));
            QVERIFY2(loaded.wait(20000), qPrintable(path));
            for (const QUrl& url : recorder.Requests)
                if (url != QUrl::fromLocalFile(path) && url.scheme() != QLatin1String("data")) {
                    qWarning("%s loads %s", qPrintable(path), qPrintable(url.toString()));
                    ++outside;
                }
        }
        qInfo("%lld pages opened", qlonglong(pages.size()));
        QCOMPARE(outside, 1); // the control page's picture, and nothing of the web pages
    }
};

QTEST_MAIN(TestHtmlWebPage)
#include "tst_html_webpage.moc"
