// The message as shown, as PDF and as the self-contained web page: every corpus file through poppler's tools and
// an HTML 5 parser, hostile bodies kept out of both, and the command line's "/E pdf" and "/E webpage".

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "message_render.h"
#include "pelmsg.h"
#include "render_files.h"
#include "rtf_text_document.h"
#include "test_data.h"
#include "tnef_builder.h"
#include "window_test_support.h"

using namespace quorra;
using namespace pelmsg::test;

namespace {

std::unique_ptr<pelmsg::TPelMessage> HtmlMail(const std::string& html)
{
    TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("Hostile body");
    TnefPropList props;
    props.String8(pelmsg::kIdSentRepresentingName, "Mallory");
    props.Binary(pelmsg::kIdBodyHtml, html);
    b.MapiProps(props);
    TnefPropList a;
    a.String8(pelmsg::kIdAttachFileName, "image001.png");
    a.String8(pelmsg::kIdAttachContentId, "<image001.png@01D5>");
    b.AttachRenddata().AttachTitle("image001.png").AttachData(quorra_test::Png(37, 23)).AttachmentProps(a);
    return quorra_test::LoadTnef(b.Bytes());
}

QString Run(const QString& program, const QStringList& arguments, int* status = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    if (status)
        *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A text as compared with what pdftotext gives: no blanks or invisible format characters, compatibility forms
// (ligatures) folded, and no hyphens (pdftotext joins a word that ends in one with the next: "-- mike" gives "-mike").
QString Squeezed(const QString& text)
{
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_KC))
        if (!c.isSpace() && c.category() != QChar::Other_Format && c.category() != QChar::Other_Control
            && c != QChar::ObjectReplacementCharacter && c != u'-')
            out += c;
    return out;
}

// The first words of the body the rendering shows (the same choice: HTML, else rich text, else plain text).
QString FirstBodyWords(const pelmsg::TMSGProperties& message, int count)
{
    QTextDocument document;
    QString html = QString::fromStdU16String(message.HtmlBody());
    if (html.isEmpty() && !message.RtfBodyBytes().empty()) {
        const std::string fromRtf = pelmsg::TakeHtmlFromRtf(message.RtfBodyBytes());
        html = QString::fromUtf8(fromRtf.data(), qsizetype(fromRtf.size()));
    }
    QString text;
    if (!html.isEmpty()) {
        document.setHtml(html);
        text = document.toPlainText();
    }
    if (text.trimmed().isEmpty()) {
        try {
            LoadRtfIntoDocument(QString::fromStdU16String(message.RtfBody()), document);
            text = document.toPlainText();
        } catch (const std::exception&) {
        }
    }
    if (text.trimmed().isEmpty())
        text = QString::fromStdU16String(message.PlainBody());
    text.remove(QChar::ObjectReplacementCharacter);
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).mid(0, count).join(u' ');
}

// The system's Python, where the Debian packages of the tests (python3-html5lib) are; else the first on PATH.
QString Python()
{
    const QString system = QStandardPaths::findExecutable(QStringLiteral("python3"), { QStringLiteral("/usr/bin") });
    return system.isEmpty() ? QStringLiteral("python3") : system;
}

QStringList PdfImageLines(const QString& pdf)
{
    QStringList lines
        = Run(QStringLiteral("pdfimages"), { QStringLiteral("-list"), pdf }).split(u'\n', Qt::SkipEmptyParts);
    return lines.mid(2);
}

} // namespace

class TestRender : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    bool poppler_ = false;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        poppler_ = !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
            && !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()
            && !QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty();
    }

    // Every corpus TNEF and .msg file: the PDF holds the subject, the sender and the first words of the body as
    // text, has the subject as its title and the pictures the layout shows; the web page is HTML 5 with no
    // address outside the file.
    void corpusAsPdfAndWebPage()
    {
        if (!poppler_)
            QSKIP("poppler-utils (pdftotext, pdfinfo, pdfimages) is not installed");
        const QDir corpus(QStringLiteral(TESSALY_CORPUS_DIR));
        if (!corpus.exists())
            QSKIP("the sample corpus is absent");
        QStringList files;
        for (const char* folder : { "tnef", "msg" })
            for (const QFileInfo& f :
                QDir(corpus.filePath(QLatin1String(folder))).entryInfoList(QDir::Files, QDir::Name))
                files << f.filePath();
        QDir().mkpath(dir_.filePath(QStringLiteral("pages")));
        QStringList faults;
        int rendered = 0, unreadable = 0, withPictures = 0, bodyChecked = 0;
        for (const QString& file : files) {
            auto message = pelmsg::CreateMessageForFile(file.toStdString());
            try {
                message->LoadFromFile(file.toStdString());
            } catch (const std::exception&) {
                ++unreadable; // the command line refuses it (status 1) before anything is laid out
                continue;
            }
            const pelmsg::TMSGProperties& p = message->Properties();
            const QString name = QFileInfo(file).fileName();
            const QString pdf = dir_.filePath(QStringLiteral("out.pdf"));
            const QString page = dir_.filePath(QStringLiteral("pages/") + name + QStringLiteral(".html"));
            try {
                SaveRenderedMessage(
                    p, TRenderOptions(), pdf.toStdString(), true, file.toStdString(), QPageSize(QPageSize::A4));
                SaveRenderedMessage(
                    p, TRenderOptions(), page.toStdString(), false, file.toStdString(), QPageSize(QPageSize::A4));
            } catch (const std::exception& e) {
                faults << name + QStringLiteral(": ") + QString::fromUtf8(e.what());
                continue;
            }
            ++rendered;
            // The text without the page numbers, which stand on lines of their own between the pages' texts.
            static const QRegularExpression pageNumber(QStringLiteral("\n\\d{1,4}\n\f"));
            const QString text = Squeezed(Run(QStringLiteral("pdftotext"), { pdf, QStringLiteral("-") })
                                              .replace(pageNumber, QStringLiteral("\n")));
            const QString subject = QString::fromStdU16String(p.Subject());
            const QString sender = QString::fromStdU16String(p.From());
            const QString words = FirstBodyWords(p, 3);
            if (!text.contains(Squeezed(subject)))
                faults << name + QStringLiteral(": no subject in the text");
            if (!text.contains(Squeezed(sender)))
                faults << name + QStringLiteral(": no sender in the text");
            if (!words.isEmpty()) {
                ++bodyChecked;
                if (!text.contains(Squeezed(words)))
                    faults << name + QStringLiteral(": no \"") + words + QStringLiteral("\" in the text");
            }
            const QString info = Run(QStringLiteral("pdfinfo"), { pdf });
            const QString title = info.section(u'\n', 0, 0).startsWith(QLatin1String("Title:"))
                ? info.section(u'\n', 0, 0).mid(6).trimmed()
                : QString();
            if (title.simplified() != subject.simplified())
                faults << name + QStringLiteral(": title \"") + title + QStringLiteral("\"");
            // The pictures the layout shows are those the web page holds.
            QFile html(page);
            if (html.open(QIODevice::ReadOnly) && html.readAll().contains("src=\"data:image/")) {
                ++withPictures;
                if (PdfImageLines(pdf).isEmpty())
                    faults << name + QStringLiteral(": no picture in the PDF");
            }
        }
        int status = 0;
        const QString report = Run(Python(),
            { QStringLiteral(TESSALY_SOURCE_DIR "/tests/app/check_webpage.py"),
                dir_.filePath(QStringLiteral("pages")) },
            &status);
        qInfo("%d files rendered (%d unreadable), %d body starts and %d with pictures checked; web pages: %s", rendered,
            unreadable, bodyChecked, withPictures, qPrintable(report.trimmed().section(u'\n', -1)));
        if (status != 0)
            faults << report;
        for (const QString& fault : faults)
            qWarning("%s", qPrintable(fault));
        QVERIFY2(faults.isEmpty(), "see the faults above");
        QVERIFY(rendered > 150);
    }

    // The shapes the preview blocks stay out of both files: scripts, remote pictures, style sheets and frames,
    // local files a body names, links to scripts and files; the message's own picture stays.
    void hostileBodiesStayBlocked_data()
    {
        QTest::addColumn<QString>("body");
        const QString remote = QStringLiteral("http://127.0.0.1:%1/");
        QTest::newRow("script") << "<script>document.title='ran';alert('ran')</script><p>safe</p>";
        QTest::newRow("remote picture") << "<p>safe</p><img src=\"" + remote + "x.png\">";
        QTest::newRow("remote style sheet") << "<link rel=stylesheet href=\"" + remote + "s.css\"><style>@import url("
                + remote + "i.css);</style><p>safe</p>";
        QTest::newRow("backgrounds") << "<table background=\"" + remote
                + "b.png\"><tr><td style=\"background-image:url(" + remote + "c.png)\">safe</td></tr></table>";
        QTest::newRow("frames and objects") << "<iframe src=\"" + remote + "f\"></iframe><object data=\"" + remote
                + "o\"></object><embed src=\"" + remote + "e\"><p>safe</p>";
        QTest::newRow("event handler")
            << "<img src=\"nothing.png\" onerror=\"alert('ran')\"><p onclick=\"alert('ran')\">safe</p>";
        QTest::newRow("script link")
            << "<p><a href=\"javascript:alert('ran')\">safe</a> <a href=\"file:///etc/passwd\">x</a></p>";
        QTest::newRow("local files")
            << "<p>safe</p><img src=\"SECRET_URL\"><img src=\"SECRET_PATH\"><img src=\"/dev/zero\">"
               "<img src=\"secret.png\">";
        QTest::newRow("data documents")
            << "<p>safe</p><img src=\"data:text/html,&lt;script&gt;alert('ran')&lt;/script&gt;\">"
               "<img src=\"data:image/svg+xml,&lt;svg xmlns='http://www.w3.org/2000/svg' "
               "onload='alert(1)'/&gt;\">";
    }

    void hostileBodiesStayBlocked()
    {
        QFETCH(QString, body);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        // Connections the rendering makes, and one of our own (the sentinel) made after it.
        int connections = 0;
        quint16 sentinelPort = 0;
        bool sentinelArrived = false;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                if (sentinelPort != 0 && socket->peerPort() == sentinelPort)
                    sentinelArrived = true;
                else
                    ++connections;
            }
        });
        // A picture in the current folder and one by absolute path, which a document left to itself would read.
        const QString secret = dir_.filePath(QStringLiteral("secret.png"));
        QFile file(secret);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const std::string png = quorra_test::Png(41, 43);
        file.write(png.data(), qsizetype(png.size()));
        file.close();
        const QString folder = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        body.replace(QLatin1String("%1"), QString::number(server.serverPort()));
        body.replace(QLatin1String("SECRET_URL"), QUrl::fromLocalFile(secret).toString());
        body.replace(QLatin1String("SECRET_PATH"), secret);
        auto message
            = HtmlMail(("<html><body>" + body + "<img src=\"cid:image001.png@01D5\"></body></html>").toStdString());
        const QString pdf = dir_.filePath(QStringLiteral("hostile.pdf"));
        const QString page = dir_.filePath(QStringLiteral("hostile/page.html"));
        QDir().mkpath(dir_.filePath(QStringLiteral("hostile")));
        SaveRenderedMessage(
            message->Properties(), TRenderOptions(), pdf.toStdString(), true, {}, QPageSize(QPageSize::A4));
        SaveRenderedMessage(
            message->Properties(), TRenderOptions(), page.toStdString(), false, {}, QPageSize(QPageSize::A4));
        QDir::setCurrent(folder);
        // Once the sentinel has arrived, a connection the rendering attempted would have arrived before it.
        quorra_test::ProcessPendingEvents();
        QTcpSocket sentinel;
        sentinel.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(sentinel.waitForConnected(10000));
        sentinelPort = sentinel.localPort();
        QTRY_VERIFY(sentinelArrived);
        QCOMPARE(connections, 0);

        QFile html(page);
        QVERIFY(html.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(html.readAll());
        for (const char* banned : { "127.0.0.1", "javascript:", "file:", "/dev/zero", "secret.png", "<script", "alert(",
                 "onerror", "onclick", "svg" })
            QVERIFY2(!text.contains(QLatin1String(banned), Qt::CaseInsensitive), banned);
        QVERIFY(text.contains(QLatin1String("safe")));
        // The message's own picture is in the page, as its own bytes.
        QVERIFY(text.contains(QString::fromLatin1(
            "data:image/png;base64," + QByteArray::fromStdString(quorra_test::Png(37, 23)).toBase64())));
        int status = 0;
        const QString report = Run(Python(),
            { QStringLiteral(TESSALY_SOURCE_DIR "/tests/app/check_webpage.py"),
                dir_.filePath(QStringLiteral("hostile")) },
            &status);
        QVERIFY2(status == 0, qPrintable(report));

        if (!poppler_)
            return;
        const QString pdfText = Run(QStringLiteral("pdftotext"), { pdf, QStringLiteral("-") });
        QVERIFY(pdfText.contains(QLatin1String("safe")));
        QVERIFY2(!pdfText.contains(QLatin1String("alert(")) && !pdfText.contains(QLatin1String("document.title")),
            qPrintable(pdfText));
        // Only the message's picture (37 x 23) is drawn: the local 41 x 43 one is not read.
        const QStringList images = PdfImageLines(pdf);
        QVERIFY(!images.isEmpty());
        for (const QString& line : images) {
            const QStringList columns = line.simplified().split(u' ');
            QVERIFY2(columns.size() > 4 && columns[3] == QLatin1String("37") && columns[4] == QLatin1String("23"),
                qPrintable(line));
        }
    }

    void linkTargets_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<bool>("kept");
        QTest::newRow("web") << "https://example.com/a?b#c" << true;
        QTest::newRow("web, upper case") << "HTTP://example.com/" << true;
        QTest::newRow("ftp") << "ftp://example.com/f" << true;
        QTest::newRow("mail") << "mailto:ann@example.org" << true;
        QTest::newRow("place in the text") << "#minutes" << true;
        QTest::newRow("empty place") << "#" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("script, blank in front") << " javascript:alert(1)" << false;
        QTest::newRow("script, upper case") << "JavaScript:alert(1)" << false;
        QTest::newRow("local file") << "file:///etc/passwd" << false;
        QTest::newRow("data document") << "data:text/html,<script>x</script>" << false;
        QTest::newRow("content id") << "cid:image001.png" << false;
        QTest::newRow("relative") << "report.html" << false;
        QTest::newRow("web without host") << "http:///etc/passwd" << false;
    }

    void linkTargets()
    {
        QFETCH(QString, href);
        QFETCH(bool, kept);
        QCOMPARE(IsKeptLinkTarget(href), kept);
    }

    // The PDF's title, author and creator, and links kept as annotations; the page size follows the locale.
    void pdfInformationAndLinks()
    {
        if (!poppler_)
            QSKIP("poppler-utils is not installed");
        QCOMPARE(DefaultPageSize(QLocale(QLocale::English, QLocale::UnitedStates)).id(), QPageSize::Letter);
        QCOMPARE(DefaultPageSize(QLocale(QLocale::German, QLocale::Germany)).id(), QPageSize::A4);
        QCOMPARE(DefaultPageSize(QLocale(QLocale::English, QLocale::UnitedKingdom)).id(), QPageSize::A4);
        auto message = HtmlMail("<p>See <a href=\"https://example.com/minutes\">the minutes</a>.</p>"
            + std::string(200, '\n') + "<p>" + std::string(8000, 'x') + " end</p>");
        TPdfInfo info;
        info.Title = QStringLiteral("Zürich (draft) \\ \u05D0");
        info.Author = QStringLiteral("Anna Novák <anna@example.cz>");
        info.Creator = QStringLiteral("Tessaly");
        info.PageSize = QPageSize(QPageSize::Letter);
        const QByteArray bytes = RenderPdf(*RenderMessage(message->Properties(), TRenderOptions()), info);
        const QString pdf = dir_.filePath(QStringLiteral("info.pdf"));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const QString information = Run(QStringLiteral("pdfinfo"), { pdf });
        QVERIFY2(information.contains(QRegularExpression(QStringLiteral("Title: +Zürich \\(draft\\) \\\\ \u05D0\n"))),
            qPrintable(information));
        QVERIFY(information.contains(QRegularExpression(QStringLiteral("Author: +Anna Novák <anna@example.cz>\n"))));
        QVERIFY(information.contains(QStringLiteral("(letter)"), Qt::CaseInsensitive));
        QVERIFY(bytes.contains("/URI (https://example.com/minutes)"));
        // Something that is not a PDF of this kind is left as it is.
        QCOMPARE(WithPdfInfo("not a pdf", info), QByteArray("not a pdf"));
    }

    // The command line writes both without a display, the web page by default beside the input as ".HTML".
    void commandLine()
    {
        const QString input = dir_.filePath(QStringLiteral("sample.dat"));
        QVERIFY(QFile::copy(QStringLiteral(TESSALY_SOURCE_DIR "/samples/winmail.dat"), input));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("HOME"), dir_.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(environment);
        // The program's exit status with the arguments (and /NOINI); -1 when it does not end in a minute.
        const auto quorra = [&process](QStringList arguments) {
            process.start(QStringLiteral(QUORRA_BINARY), arguments << QStringLiteral("/NOINI"));
            return process.waitForFinished(60000) ? process.exitCode() : -1;
        };
        const QString pdf = dir_.filePath(QStringLiteral("sample.pdf"));
        QCOMPARE(quorra({ input, QStringLiteral("/E"), QStringLiteral("pdf"), pdf }), 0);
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(5), QByteArray("%PDF-"));
        QCOMPARE(quorra({ input, QStringLiteral("/E"), QStringLiteral("WebPage") }), 0);
        QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("sample.HTML"))));
        // Several files in one run: two of one name from different folders get two outputs in the folder.
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("other"))));
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("batch"))));
        QVERIFY(QFile::copy(input, dir_.filePath(QStringLiteral("other/sample.dat"))));
        QCOMPARE(quorra({ input, dir_.filePath(QStringLiteral("other/sample.dat")), QStringLiteral("/E"),
                     QStringLiteral("pdf"), dir_.filePath(QStringLiteral("batch")) }),
            0);
        QCOMPARE(QDir(dir_.filePath(QStringLiteral("batch"))).entryList(QDir::Files),
            QStringList({ QStringLiteral("sample (2).PDF"), QStringLiteral("sample.PDF") }));
        // The input itself is never the output.
        QCOMPARE(quorra({ input, QStringLiteral("/E"), QStringLiteral("pdf"), input }), 1);
        QFile same(input);
        QVERIFY(same.open(QIODevice::ReadOnly));
        QVERIFY(!same.read(5).startsWith("%PDF"));
    }
};

QTEST_MAIN(TestRender)
#include "tst_render.moc"
