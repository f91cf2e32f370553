// The command line's calendar exports and "/ATTACHMENTS": every attachment of the corpus's TNEF files written as
// the tnef tool extracts it, hostile names kept inside the folder, nothing replaced on a second run, and
// messages of the wrong kind refused.

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "calendar/named_lookup.h"
#include "calendar_builder.h"
#include "saved_files.h"
#include "tnef_builder.h"

using namespace pelmsg::test;
using namespace quorra_test;

class TestAttachments : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;

    struct Run {
        int status;
        QString out;
        QString err;
    };

    Run Quorra(const QStringList& arguments)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path());
        env.insert("XDG_CONFIG_HOME", home_.path() + "/config");
        env.insert("XDG_CONFIG_DIRS", home_.path() + "/etc-xdg");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        p.setProcessEnvironment(env);
        p.start(QUORRA_BINARY, arguments + QStringList { "/NOINI" });
        if (!p.waitForFinished(120000))
            return { -1, {}, "timeout" };
        return { p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()) };
    }

    QString Write(const QString& name, const std::string& bytes)
    {
        QString path = home_.path() + "/" + name;
        QFile f(path);
        f.remove();
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path;
    }

    static std::string WithAttachments(const std::vector<std::pair<std::string, std::string>>& files)
    {
        TnefBuilder b;
        b.Version().MessageClass("IPM.Note").Subject("hostile");
        for (const auto& [name, data] : files) {
            TnefPropList props;
            props.String8(0x3707, name);
            b.AttachRenddata().AttachTitle(name).AttachData(data).AttachmentProps(props);
        }
        return b.Bytes();
    }

private slots:
    void initTestCase() { QVERIFY(home_.isValid()); }

    void corpusAttachmentsAreTheBytesTheTnefToolExtracts()
    {
        CompareAttachmentsWithTnefTool(home_.path() + "/corpus", [&](const QString& file, const QString& folder) {
            const Run r = Quorra({ file, "/ATTACHMENTS=" + folder });
            QVERIFY2(r.status == 0 || r.status == 3, qPrintable(file + ": " + r.err));
            QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts).size(), FilesUnder(folder).size());
        });
    }

    void hostileNamesStayInsideTheFolder()
    {
        const std::vector<std::pair<std::string, std::string>> files
            = { { "../../escape.txt", "1" }, { "/etc/passwd", "2" }, { "..", "3" }, { "a/b\\c:d*?.txt", "4" },
                  { "CON", "5" }, { std::string(400, 'n') + ".txt", "6" }, { "\x01\x02\x7F", "7" }, { "same.txt", "8" },
                  { "same.txt", "9" } };
        const QString input = Write("hostile.dat", WithAttachments(files));
        const QString folder = home_.path() + "/out/hostile";
        const QStringList before = FilesUnder(home_.path());
        const Run r = Quorra({ input, "--attachments=" + folder });
        QVERIFY2(r.status == 0, qPrintable(r.err));
        const QStringList written = FilesUnder(folder);
        QCOMPARE(written.size(), static_cast<qsizetype>(files.size()));
        for (const QString& file : written) {
            QVERIFY2(!file.contains('/'), qPrintable(file));
            QVERIFY(file.toUtf8().size() <= 255);
        }
        QVERIFY(written.contains("same.txt"));
        QVERIFY(written.contains("same (2).txt"));
        // Nothing appeared anywhere else.
        QStringList after = FilesUnder(home_.path());
        for (const QString& file : after)
            QVERIFY2(before.contains(file) || file.startsWith("out/hostile/"), qPrintable(file));
    }

    void aSecondRunReplacesNothing()
    {
        const QString input = Write("twice.dat", WithAttachments({ { "report.pdf", "first" }, { "notes.txt", "n" } }));
        QDir(home_.path() + "/twice").removeRecursively();
        const Run first = Quorra({ input, "/ATTACHMENTS" });
        QCOMPARE(first.status, 0);
        QVERIFY2(first.out.contains(home_.path() + "/twice/report.pdf"), qPrintable(first.out));
        Write("twice.dat", WithAttachments({ { "report.pdf", "second" }, { "notes.txt", "m" } }));
        const Run second = Quorra({ input, "-attachments" });
        QCOMPARE(second.status, 0);
        QCOMPARE(FilesUnder(home_.path() + "/twice"),
            QStringList({ "notes (2).txt", "notes.txt", "report (2).pdf", "report.pdf" }));
        QFile kept(home_.path() + "/twice/report.pdf");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("first"));
    }

    // A link planted beside the message where the default folder goes is refused, and says where it points; a
    // folder the user names explicitly is the user's choice.
    void aSymbolicLinkAsTheDefaultFolderIsRefused()
    {
        const QString input = Write("linked.dat", WithAttachments({ { "evil.desktop", "[Desktop Entry]" } }));
        const QString autostart = home_.path() + "/autostart";
        QDir(autostart).removeRecursively();
        QDir().mkpath(autostart);
        QFile::remove(home_.path() + "/linked");
        QVERIFY(QFile::link(autostart, home_.path() + "/linked"));
        const Run r = Quorra({ input, "/ATTACHMENTS" });
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("is a symbolic link to " + autostart), qPrintable(r.err));
        QCOMPARE(FilesUnder(autostart), QStringList());

        const Run chosen = Quorra({ input, "/ATTACHMENTS=" + home_.path() + "/linked" });
        QCOMPARE(chosen.status, 0);
        QCOMPARE(FilesUnder(autostart), QStringList({ "evil.desktop" }));
    }

    void aFolderThatCannotBeMadeIsAnError()
    {
        const QString input = Write("blocked.dat", WithAttachments({ { "a.txt", "a" } }));
        Write("blocked", "a file where the folder would go");
        const Run r = Quorra({ input, "/ATTACHMENTS" });
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("cannot create the folder"), qPrintable(r.err));
    }

    void calendarExportsAndTheWrongKind()
    {
        using namespace pelmsg;
        TnefPropList p;
        p.String8(0x0037, "Standup")
            .Raw(0x8100u << 16 | 0x0040,
                NamedNumber(kPsetidAppointment, 0x820D) + TnefSysTime(FileTimeOf(2023, 1, 6, 9, 0, 0)))
            .Raw(0x8101u << 16 | 0x0040,
                NamedNumber(kPsetidAppointment, 0x820E) + TnefSysTime(FileTimeOf(2023, 1, 6, 9, 15, 0)));
        const QString meeting = Write(
            "meeting.dat", TnefBuilder().Version().MessageClass("IPM.Microsoft Schedule.MtgReq").MapiProps(p).Bytes());
        const Run ics = Quorra({ meeting, "/E", "ics", home_.path() + "/meeting.ics" });
        QCOMPARE(ics.status, 0);
        QFile out(home_.path() + "/meeting.ics");
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray text = out.readAll();
        QVERIFY(text.startsWith("BEGIN:VCALENDAR\r\n"));
        QVERIFY(text.contains("\r\nMETHOD:REQUEST\r\n"));
        QVERIFY(text.contains("\r\nDTSTART:20230106T090000Z\r\n"));

        const Run vcf = Quorra({ meeting, "-e", "VCF", home_.path() + "/meeting.vcf" });
        QCOMPARE(vcf.status, 1);
        QVERIFY2(vcf.err.contains("is a meeting request, not a contact"), qPrintable(vcf.err));
        QVERIFY(!QFile::exists(home_.path() + "/meeting.vcf"));

        const QString mail = Write("mail.dat", WithAttachments({ { "a.txt", "a" } }));
        const Run wrong = Quorra({ mail, "/E", "ics" });
        QCOMPARE(wrong.status, 1);
        QVERIFY2(wrong.err.contains("is a mail message, not a calendar item or a task"), qPrintable(wrong.err));
        QVERIFY(!QFile::exists(home_.path() + "/mail.ICS"));
    }

    void helpNamesTheNewSwitches()
    {
        const Run help = Quorra({ "--help" });
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("/ATTACHMENTS[=FOLDER]"));
        QVERIFY(help.out.contains("ics"));
        QVERIFY(help.out.contains("vcf"));
    }
};

QTEST_GUILESS_MAIN(TestAttachments)
#include "tst_attachments.moc"
