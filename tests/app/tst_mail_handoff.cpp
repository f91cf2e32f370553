// Reply and Forward: the exact arguments the mail command receives (a recorder stands in for xdg-email), the
// attached files it is handed (only attached files, their bytes, in the private temporary folder, alive after
// the command), the quoted original with and without a sent date, and a mail command that cannot start.

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "mail_handoff.h"
#include "pelmsg.h"
#include "private_temp.h"
#include "test_data.h"
#include "tnef_builder.h"
#include "window_fixture.h"

using namespace quorra;
using namespace pelmsg::test;
using quorra_test::TModalHandler;

class TestMailHandoff : public quorra_test::TWindowTest {
    Q_OBJECT

private:
    // A message with one attached file and one attached message; with or without a sent date.
    static std::string MessageWithTwoAttachments(bool sentDate)
    {
        TnefBuilder b;
        b.Version().MessageClass("IPM.Note").Subject("Quarterly figures");
        TnefPropList props;
        props.String8(0x0042, "Ann Sender").String8(0x0E04, "Bob Receiver").String8(0x0E03, "Carol Copy");
        props.String8(0x1000, "Please see the figures.\r\nAnn");
        if (sentDate)
            props.SysTime(0x0039, FileTimeOf(2024, 3, 5, 9, 7, 3));
        b.MapiProps(props);
        TnefPropList file;
        file.String8(0x3707, "figures.csv").Long(0x3705, 1);
        b.AttachRenddata().AttachTitle("figures.csv").AttachData("a,b\r\n1,2\r\n").AttachmentProps(file);
        TnefPropList inner;
        inner.String8(0x3001, "Earlier mail").Long(0x3705, 5).String8(0x001A, "IPM.Note");
        b.AttachRenddata().AttachTitle("Earlier mail").AttachmentProps(inner);
        return b.Bytes();
    }
    QString Recorder() const
    {
        const QString path = home_->Path("program/recorder.sh");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        // Each argument NUL-terminated, so that line ends inside the body survive.
        f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$(dirname \"$0\")/args.tmp\"\n"
                "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args\"\n");
        f.close();
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }
    QStringList Recorded() const
    {
        QFile f(home_->Path("program/args"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList args;
        for (const QByteArray& a : f.readAll().split('\0'))
            args << QString::fromUtf8(a);
        args.removeLast(); // after the last terminator
        return args;
    }
    std::unique_ptr<TfrmMain> WindowWith(const QString& file)
    {
        auto w = NewWindow({ file.toStdString() });
        w->Internet().MailCommand = Recorder();
        return w;
    }

private slots:
    void init() { StartHome(); }
    void cleanup()
    {
        RemovePrivateTempFolder();
        EndHome();
    }

    void forwardHandsTheExactArgumentsAndOnlyTheAttachedFile()
    {
        auto w = WindowWith(Write("winmail.dat", MessageWithTwoAttachments(true)));
        QVERIFY(w->Actions().miFileForward->isEnabled());
        w->Actions().miFileForward->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home_->Path("program/args")), 30000);
        const QString attached = PrivateTempFolder() + "/figures.csv";
        const QString body = "-----Original Message-----\nFrom: Ann Sender\nSent: "
            + QString::fromStdU16String(pelmsg::LocaleDateTimeText(w->Message()->Properties().SentDate()))
            + "\nTo: Bob Receiver\nCc: Carol Copy\nBcc: \nSubject: Quarterly figures\n\nPlease see the figures.\r\nAnn";
        QCOMPARE(Recorded(),
            (QStringList { "--utf8", "--subject", "FW: Quarterly figures", "--body", body, "--attach", attached }));
        // The file is the attachment's bytes, private to the user, and stays after the command.
        QFile file(attached);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("a,b\r\n1,2\r\n"));
        QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeOwner),
            QFileDevice::Permissions());
        RemovePrivateTempFolder();
        QVERIFY(!QFile::exists(attached));
    }

    void replyWithoutSentDateHasNoSentLine()
    {
        auto w = WindowWith(Write("winmail.dat", MessageWithTwoAttachments(false)));
        w->Actions().miFileReply->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home_->Path("program/args")), 30000);
        const QStringList args = Recorded();
        QCOMPARE(args.mid(0, 3), (QStringList { "--utf8", "--subject", "RE: Quarterly figures" }));
        QCOMPARE(args.at(4),
            "-----Original Message-----\nFrom: Ann Sender\nTo: Bob Receiver\nCc: Carol Copy\nBcc: \n"
            "Subject: Quarterly figures\n\nPlease see the figures.\r\nAnn");
        QVERIFY(!args.at(4).contains("Sent:"));
    }

    // Item 13: a hostile subject (or sender) cannot add header lines to the new mail, neither through the subject
    // handed over nor through the quoted header lines; the body keeps its own line breaks.
    void hostileFieldsAreHandedOverOnOneLine_data()
    {
        quorra_test::AddRows<bool>({ "forward" }, { { "reply", false }, { "forward", true } });
    }
    void hostileFieldsAreHandedOverOnOneLine()
    {
        QFETCH(bool, forward);
        TnefBuilder b;
        b.Version().MessageClass("IPM.Note");
        TnefPropList props;
        props.String8(0x0037, "Hi\r\r\nBcc: eve@example.org\x85x\x0B");
        props.String8(0x0042, "Ann\nTo: mallory@example.org").String8(0x0E04, "Bob");
        props.String8(0x1000, "Line one\r\nLine\x01two");
        b.MapiProps(props);
        auto w = WindowWith(Write("winmail.dat", b.Bytes()));
        (forward ? w->Actions().miFileForward : w->Actions().miFileReply)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home_->Path("program/args")), 30000);
        const QStringList args = Recorded();
        QCOMPARE(args.at(2), QString(forward ? "FW: " : "RE: ") + QStringLiteral("Hi   Bcc: eve@example.org\u2026x "));
        QCOMPARE(args.at(4),
            "-----Original Message-----\nFrom: Ann To: mallory@example.org\nTo: Bob\nCc: \nBcc: \n"
            "Subject: Hi   Bcc: eve@example.org\u2026x \n\nLine one\r\nLine two");
    }

    void repliesToTheCorpusAttachEveryFileOnce()
    {
        const QString file = QString(TESSALY_CORPUS_DIR) + "/tnef/verdammelt-tnef__two-files.tnef";
        if (!QFile::exists(file))
            QSKIP("corpus not found");
        pelmsg::TPelTNEFFile message;
        message.LoadFromFile(file.toStdString());
        const TMailDraft first = BuildMailDraft(message.Properties(), false);
        const TMailDraft second = BuildMailDraft(message.Properties(), true);
        QCOMPARE(first.Subject, "RE: two files");
        QCOMPARE(second.Subject, "FW: two files");
        QCOMPARE(first.AttachmentNames.size(), 2);
        QCOMPARE(QFileInfo(first.AttachmentPaths.value(0)).fileName(), "AUTHORS");
        QCOMPARE(QFileInfo(first.AttachmentPaths.value(1)).fileName(), "README");
        // A second hand-off of the same files gets names of its own: the first mail may still be reading them.
        QCOMPARE(first.AttachmentPaths.size(), 2);
        QCOMPARE(second.AttachmentPaths.size(), 2);
        for (const QString& path : first.AttachmentPaths + second.AttachmentPaths)
            QVERIFY(QFile::exists(path));
        QVERIFY(first.AttachmentPaths.at(0) != second.AttachmentPaths.at(0));
        QCOMPARE(QFileInfo(first.AttachmentPaths.at(0)).size(), 244);
        QCOMPARE(QFileInfo(first.AttachmentPaths.at(1)).size(), 893);
    }

    // A name built to inject into the mail program's compose syntax reaches it as a neutral file name; the draft
    // keeps the sender's name; equal names stay distinct without blanks or brackets.
    void filesReachTheMailProgramUnderNeutralNames()
    {
        const std::string hostile = "report',bcc='spy@evil.example',x='.pdf";
        TnefBuilder b;
        b.Version().MessageClass("IPM.Note").Subject("names");
        for (const std::string& name : { hostile, hostile, std::string("-rf .sh"), std::string("..Gruesse ftp.txt") }) {
            TnefPropList file;
            file.String8(0x3707, name).Long(0x3705, 1);
            b.AttachRenddata().AttachTitle(name).AttachData("data").AttachmentProps(file);
        }
        pelmsg::TPelTNEFFile message;
        pelmsg::TMemoryStream stream(b.Bytes());
        message.LoadFromStream(stream);
        const TMailDraft draft = BuildMailDraft(message.Properties(), true);
        QCOMPARE(draft.AttachmentPaths.size(), 4);
        QStringList names;
        for (const QString& path : draft.AttachmentPaths) {
            QCOMPARE(QFileInfo(path).absolutePath(), PrivateTempFolder());
            names << QFileInfo(path).fileName();
        }
        QCOMPARE(names,
            (QStringList { "report__bcc__spy_evil.example__x__.pdf", "report__bcc__spy_evil.example__x__-2.pdf",
                "rf_.sh", "Gruesse_ftp.txt" }));
        for (const QString& name : names)
            QVERIFY2(QRegularExpression("^[\\w][\\w.-]*$", QRegularExpression::UseUnicodePropertiesOption)
                         .match(name).hasMatch(), qPrintable(name));
        QCOMPARE(draft.AttachmentNames.at(0), QString::fromStdString(hostile));
        QCOMPARE(NeutralMailFileName(""), "attachment");
        QCOMPARE(NeutralMailFileName(QString::fromUtf8("..Gru\u0308\u00DFe \u202Eftp.txt")), QString::fromUtf8("Gr\u00FC\u00DFe_ftp.txt"));
        QCOMPARE(NeutralMailFileName("a b(1).tar.gz"), "a_b_1_.tar.gz");
    }

    void mailCommandThatCannotStartIsReported()
    {
        auto w = WindowWith(Write("winmail.dat", MessageWithTwoAttachments(true)));
        w->Internet().MailCommand = home_->Path("program/no-such-mailer");
        TModalHandler boxes;
        w->Actions().miFileReply->trigger();
        QCOMPARE(boxes.Count(), 1);
        QVERIFY2(boxes.Seen().first().startsWith("The mail program could not be started: "), qPrintable(boxes.Seen().first()));
    }
};

QTEST_MAIN(TestMailHandoff)
#include "tst_mail_handoff.moc"
