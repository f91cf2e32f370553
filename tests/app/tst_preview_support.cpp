// What the preview decides without widgets: the charset wrapper, which attachment an image source names, the name
// Save proposes, which attachments are never launched, and packaged files in OLE objects.

#include <QTemporaryDir>
#include <QtTest>

#include "pelmsg.h"
#include "preview_support.h"
#include "private_temp.h"
#include "test_data.h"
#include "tnef_builder.h"

using namespace quorra;
using namespace pelmsg::test;

namespace {

struct TImage {
    std::string FileName;
    std::string ContentId; // written as ATTACH_CONTENT_ID when not empty
};

std::unique_ptr<pelmsg::TPelMessage> MessageWithImages(const std::vector<TImage>& images)
{
    TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("images");
    for (const TImage& image : images) {
        TnefPropList props;
        props.String8(pelmsg::kIdAttachFileName, image.FileName);
        if (!image.ContentId.empty())
            props.String8(pelmsg::kIdAttachContentId, image.ContentId);
        b.AttachRenddata().AttachTitle(image.FileName).AttachData("data of " + image.FileName).AttachmentProps(props);
    }
    return quorra_test::LoadTnef(b.Bytes());
}

} // namespace

class TestPreviewSupport : public QObject {
    Q_OBJECT

private slots:
    // Item 12: every bidirectional control becomes a visible mark; right-to-left text set into a sentence is
    // isolated; other text stays as it is.
    void bidiControlsShownAndIsolated_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("isolated");
        const QChar fsi(0x2068), pdi(0x2069);
        QTest::newRow("plain") << "report.pdf"
                               << "report.pdf"
                               << "report.pdf";
        QTest::newRow("accents and CJK") << QString::fromUtf8("Zürich 日本.txt") << QString::fromUtf8("Zürich 日本.txt")
                                         << QString::fromUtf8("Zürich 日本.txt");
        QTest::newRow("every control") << QString::fromUtf16(
            u"\u061C\u200E\u200F\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069")
                                       << "[ALM][LRM][RLM][LRE][RLE][PDF][LRO][RLO][LRI][RLI][FSI][PDI]"
                                       << "[ALM][LRM][RLM][LRE][RLE][PDF][LRO][RLO][LRI][RLI][FSI][PDI]";
        QTest::newRow("arabic") << QString::fromUtf16(u"\u0645\u0644\u0641.txt")
                                << QString::fromUtf16(u"\u0645\u0644\u0641.txt")
                                << fsi + QString::fromUtf16(u"\u0645\u0644\u0641.txt") + pdi;
        QTest::newRow("hebrew and override")
            << QString::fromUtf16(u"\u05D0\u202E.exe") << QString::fromUtf16(u"\u05D0[RLO].exe")
            << fsi + QString::fromUtf16(u"\u05D0[RLO].exe") + pdi;
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void bidiControlsShownAndIsolated()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, isolated);
        QCOMPARE(QString::fromStdU16String(VisibleBidiControls(text.toStdU16String())), shown);
        QCOMPARE(QString::fromStdU16String(IsolatedMessageText(text.toStdU16String())), isolated);
    }

    void charsetWrapper_data()
    {
        quorra_test::AddRows<QString, bool>({ "html", "wrapped" },
            {
                { "fragment", "<p>Hello</p>", true },
                { "html", "<html><body>x</body></html>", false },
                { "HTML upper case", "<HTML><BODY>x</BODY></HTML>", false },
                { "doctype", "<!doctype html><p>x", false },
                { "declares a charset", "<p><meta charset=\"x\">charset=koi8-r</p>", false },
                { "leading blank", " <html>x</html>", true },
            });
    }
    void charsetWrapper()
    {
        QFETCH(QString, html);
        QFETCH(bool, wrapped);
        const QString result = QString::fromStdU16String(WrapHtmlForCharset("iso-8859-5", html.toStdU16String()));
        if (wrapped)
            QCOMPARE(result,
                "<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-5\"><body>" + html
                    + "</body></html>");
        else
            QCOMPARE(result, html);
    }

    void imageSourcesFindTheirAttachment_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("idOrName");
        QTest::addColumn<int>("index");
        QTest::newRow("content id in angle brackets") << "cid:image001.png@01D0" << false << 1;
        QTest::newRow("CID prefix in capitals") << "CID:image001.png@01D0" << false << 1;
        QTest::newRow("bare content id") << "plain-id" << false << -1;
        QTest::newRow("bare content id as the handler sees it") << "plain-id" << true << 2;
        QTest::newRow("file name") << "logo.gif" << false << 0;
        QTest::newRow("end of a file name") << "go.gif" << false << 0;
        QTest::newRow("content id is not matched by its end") << "cid:001.png@01D0" << false << -1;
        QTest::newRow("nothing") << "cid:missing" << false << -1;
        QTest::newRow("empty") << "" << true << -1;
    }
    void imageSourcesFindTheirAttachment()
    {
        QFETCH(QString, source);
        QFETCH(bool, idOrName);
        QFETCH(int, index);
        auto message = MessageWithImages({ { "logo.gif", "" }, { "image001.png", "<image001.png@01D0>" },
            { "photo.jpg", "  plain-id " } });
        QCOMPARE(message->Properties().AttachmentCount(), 3);
        QCOMPARE(FindEmbeddedImage(message->Properties(), source.toStdU16String(), idOrName), index);
    }

    void proposedNames_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("attached message") << int(pelmsg::TAttachmentKind::EmbeddedMessage) << "Re: a/b" << "x"
                                          << "Re_ a_b.msg";
        QTest::newRow("OLE object") << int(pelmsg::TAttachmentKind::OleObject) << "Doc:1" << "" << "Doc_1.msg";
        QTest::newRow("file") << int(pelmsg::TAttachmentKind::FileData) << "Report" << "report.pdf" << "report.pdf";
    }
    void proposedNames()
    {
        QFETCH(int, kind);
        QFETCH(QString, caption);
        QFETCH(QString, fileName);
        QFETCH(QString, proposed);
        QCOMPARE(QString::fromStdString(ProposedAttachmentName(
                     pelmsg::TAttachmentKind(kind), caption.toStdString(), fileName.toStdString())),
            proposed);
    }

    void executableAttachments_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("executable");
        QTest::newRow("desktop entry by name") << "invoice.desktop" << QByteArray("x") << true;
        QTest::newRow("shell script by name") << "setup.SH" << QByteArray("x") << true;
        QTest::newRow("windows program") << "game.exe" << QByteArray("x") << true;
        QTest::newRow("java archive") << "tool.jar" << QByteArray("PK\x03\x04") << true;
        QTest::newRow("hidden behind trailing dots") << "run.sh. . " << QByteArray("x") << true;
        QTest::newRow("ELF by content") << "photo.jpg" << QByteArray("\x7F" "ELF\x02\x01") << true;
        QTest::newRow("script by content") << "notes.txt" << QByteArray("#!/bin/sh\nrm -rf ~") << true;
        QTest::newRow("desktop entry by content") << "readme" << QByteArray("[Desktop Entry]\nExec=x") << true;
        QTest::newRow("desktop entry within 32 bytes")
            << "readme.txt" << QByteArray(" \n\n                             [Desktop Entry]\nExec=x") << true;
        QTest::newRow("desktop entry past 32 bytes")
            << "readme.txt" << QByteArray(33, ' ') + "[Desktop Entry]\nExec=x" << false;
        QTest::newRow("desktop action") << "readme" << QByteArray("[Desktop Action x]") << true;
        QTest::newRow("DOS program by content") << "letter.doc" << QByteArray("MZ\x90\x00") << true;
        QTest::newRow("a document") << "report.pdf" << QByteArray("%PDF-1.4") << false;
        QTest::newRow("a picture") << "image001.png" << QByteArray("\x89PNG") << false;
        QTest::newRow("a zip") << "archive.zip" << QByteArray("PK\x03\x04") << false;
        QTest::newRow("no extension") << "Makefile" << QByteArray("all:") << false;
    }
    void executableAttachments()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, executable);
        QCOMPARE(IsExecutableAttachment(name.toStdString(), content.toStdString()), executable);
    }

    // The written file as the desktop sees it: by its name and by what shared-mime-info finds in it.
    void launchableFiles_data()
    {
        quorra_test::AddRows<QString, QByteArray, bool>({ "name", "content", "launchable" },
            {
                { "awk script", "a.awk", QByteArray("BEGIN {}"), true },
                { "lua script", "b.lua", QByteArray("print(1)"), true },
                { "old KDE link", "c.kdelnk", QByteArray("x"), true },
                { "desktop theme", "d.theme", QByteArray("x"), true },
                { "perl by content", "e", QByteArray("#!/usr/bin/perl\nprint 1;\n"), true },
                { "ELF without name", "f",
                    QByteArray("\x7F"
                               "ELF\x02\x01\x01\x00",
                        8),
                    true },
                { "desktop entry after blanks", "g.txt", QByteArray("\n[Desktop Entry]\nExec=x\n"), true },
                { "a document", "report.pdf", QByteArray("%PDF-1.4\n"), false },
                { "a text", "notes.txt", QByteArray("Hello\n"), false },
                { "a picture", "image.png", QByteArray::fromStdString(std::string("\x89PNG\r\n\x1a\n", 8)), false },
                { "no extension, text", "README", QByteArray("read me\n"), false },
            });
    }
    void launchableFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, launchable);
        QTemporaryDir dir;
        QVERIFY(quorra_test::WriteFile(dir.filePath(name), content));
        QCOMPARE(IsLaunchableFile(dir.filePath(name)), launchable);
        QVERIFY(IsLaunchableFile(dir.filePath("missing"))); // what cannot be read is not handed on
    }

    // The corpus's OLE objects: their class is shown and nothing raises.
    void corpusOleObjectsAreDescribed()
    {
        const QString file = QStringLiteral(TESSALY_CORPUS_DIR "/tnef/verdammelt-tnef__MAPI_OBJECT.tnef");
        if (!QFile::exists(file))
            QSKIP("corpus not found");
        auto message = pelmsg::CreateMessageForFile(file.toStdString());
        message->LoadFromFile(file.toStdString());
        const pelmsg::TMSGProperties& p = message->Properties();
        QCOMPARE(p.AttachmentCount(), 1);
        QCOMPARE(p.Attachments(0)->AttachmentKind(), pelmsg::TAttachmentKind::OleObject);
        const TOleObjectInfo info = DescribeOleObject(*p.Attachments(0));
        QVERIFY(info.Size > 0);
        QVERIFY2(!info.ClassId.empty(), "the object's storage is read");
        // A Package object: the file it packages, under the name its label gives (not the icon's SHELL32.DLL).
        QVERIFY(info.Package.has_value());
        QCOMPARE(QString::fromStdString(info.Package->FileName), QStringLiteral("AsNew Staff pricelist Oct 02.pdf"));
        QVERIFY(QByteArray::fromStdString(info.Package->Data).startsWith("%PDF-"));
        QCOMPARE(QString::fromStdString(info.UserType), QStringLiteral("Package"));
        qInfo("OLE object: class %s, type \"%s\", prog id \"%s\", %llu bytes, package: %s", info.ClassId.c_str(),
            info.UserType.c_str(), info.ProgId.c_str(), static_cast<unsigned long long>(info.Size),
            info.Package ? info.Package->FileName.c_str() : "none");
    }
};

QTEST_GUILESS_MAIN(TestPreviewSupport)
#include "tst_preview_support.moc"
