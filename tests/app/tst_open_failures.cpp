// Item 10: failures said aloud. Without a browser or mail program (stand-ins for xdg-open and xdg-email that end
// as the real ones do then: "no method available", status 3), every command that hands something to the desktop
// says what failed and what the user can do; the manual opens in a window of the program's own.

#include <QFile>
#include <QListWidget>
#include <QTextBrowser>

#include "message_preview.h"
#include "pelmsg.h"
#include "private_temp.h"
#include "settings.h"
#include "tnef_builder.h"
#include "window_fixture.h"

using namespace quorra;
using namespace pelmsg::test;
using quorra_test::TModalHandler;

class TestOpenFailures : public quorra_test::TWindowTest {
    Q_OBJECT

private:
    QByteArray path_;

    void WriteScript(const QString& name)
    {
        const QString path = home_->Path("bin/" + name);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\necho \"" + name + ": no method available for opening '$1'\" >&2\nexit 3\n").toUtf8());
        f.close();
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    static std::string MessageWithTextFile()
    {
        TnefBuilder b;
        b.Version().MessageClass("IPM.Note").Subject("Notes");
        TnefPropList props;
        props.String8(0x0042, "Ann").String8(0x0E04, "Bob").String8(0x1000, "See the notes.");
        b.MapiProps(props);
        TnefPropList file;
        file.String8(0x3707, "notes.txt").Long(0x3705, 1);
        b.AttachRenddata().AttachTitle("notes.txt").AttachData("some notes\n").AttachmentProps(file);
        return b.Bytes();
    }

    static bool AnySeen(const TModalHandler& boxes, const QString& part)
    {
        for (const QString& text : boxes.Seen())
            if (text.contains(part))
                return true;
        return false;
    }

private slots:
    void init()
    {
        StartHome();
        QVERIFY(QDir().mkpath(home_->Path("bin")));
        WriteScript("xdg-open");
        WriteScript("xdg-email");
        path_ = qgetenv("PATH");
        qputenv("PATH", home_->Path("bin").toUtf8() + ":" + path_);
    }
    void cleanup()
    {
        qputenv("PATH", path_);
        RemovePrivateTempFolder();
        EndHome();
    }

    void manualOpensInTheProgramsOwnWindow()
    {
        QVERIFY(QDir().mkpath(home_->Path("program/help")));
        QFile manual(home_->Path("program/help/manual.html"));
        QVERIFY(manual.open(QIODevice::WriteOnly));
        manual.write("<html><body><h1>Tessaly manual</h1><p>How to open a winmail.dat file.</p></body></html>");
        manual.close();
        auto w = NewWindow();
        TModalHandler boxes;
        w->Actions().miHelpContents->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w->findChild<QDialog*>("ManualViewer"), 10000);
        auto* viewer = w->findChild<QDialog*>("ManualViewer");
        QVERIFY(viewer->isVisible());
        QVERIFY(
            viewer->findChild<QTextBrowser*>("tbManual")->toPlainText().contains("How to open a winmail.dat file."));
        QCOMPARE(boxes.Count(), 0);
    }

    void commandsSayWhatFailed_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("said");
        QTest::newRow("send mail") << "miHelpSendEMail"
                                   << "Install a mail program";
        QTest::newRow("home page") << "miHelpHomepage"
                                   << "Install a web browser";
        QTest::newRow("reply") << "miFileReply"
                               << "Install a mail program";
        QTest::newRow("forward") << "miFileForward"
                                 << "Install a mail program";
    }
    void commandsSayWhatFailed()
    {
        QFETCH(QString, action);
        QFETCH(QString, said);
        const QString file = home_->Path("home/winmail.dat");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const std::string bytes = MessageWithTextFile();
        f.write(bytes.data(), qint64(bytes.size()));
        f.close();
        auto w = NewWindow({ file.toStdString() });
        QVERIFY(w->Message());
        TModalHandler boxes;
        w->findChild<QAction*>(action)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Count(), 1, 10000);
        QVERIFY2(AnySeen(boxes, said), qPrintable(boxes.Seen().join('\n')));
        QVERIFY2(AnySeen(boxes, "no method available"), qPrintable(boxes.Seen().join('\n')));
    }

    void openingAnAttachmentSaysWhatFailed()
    {
        TSettings settings;
        TfrmMessage form(settings);
        auto message = std::make_unique<pelmsg::TPelTNEFFile>();
        const std::string bytes = MessageWithTextFile();
        pelmsg::TSpanStream stream(bytes);
        message->LoadFromStream(stream);
        form.FillPreview(&message->Properties());
        auto* list = form.findChild<QListWidget*>("lvAttachments");
        QCOMPARE(list->count(), 1);
        list->setCurrentRow(0);
        TModalHandler boxes;
        emit list->itemActivated(list->item(0));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Count(), 1, 10000);
        QVERIFY2(AnySeen(boxes, "No program could open notes.txt"), qPrintable(boxes.Seen().join('\n')));
    }
};

QTEST_MAIN(TestOpenFailures)
#include "tst_open_failures.moc"
