// Mail on the command line: "/FILTER" for mail systems and archives, "MAIL /E eml" and the other formats on a mail.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "core/stream.h"
#include "mail_builder.h"
#include "mime/mbox.h"
#include "mime/unwrap.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

class TestMailFilter : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    std::string tnef_;

    struct Run {
        int status;
        QByteArray out;
        QString err;
    };

    Run Quorra(const QStringList& arguments, const QByteArray& input = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path());
        env.insert("XDG_CONFIG_HOME", home_.path() + "/config");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        p.setProcessEnvironment(env);
        p.start(QUORRA_BINARY, arguments);
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000))
            return { -1, {}, "timeout" };
        return { p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError()) };
    }

    QString Write(const QString& name, const std::string& bytes)
    {
        const QString path = home_.path() + "/" + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path;
    }

    static QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

    static std::string Read(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll().toStdString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home_.isValid());
        QFile sample(QString(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
        QVERIFY(sample.open(QIODevice::ReadOnly));
        tnef_ = sample.readAll().toStdString();
    }

    void filterUnwrapsEveryShape_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<bool>("crlf");
        for (const ShapeRow& row : MailShapes())
            for (bool crlf : { true, false })
                QTest::newRow((std::string(row.Name) + (crlf ? " CRLF" : " LF")).c_str())
                    << static_cast<int>(row.Shape) << crlf;
    }

    void filterUnwrapsEveryShape()
    {
        QFETCH(int, shape);
        QFETCH(bool, crlf);
        const std::string mail = BuildMail(static_cast<MailShape>(shape), tnef_, crlf);
        const Run run = Quorra({ "/FILTER" }, Bytes(mail));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        const TUnwrapResult expected = UnwrapTnefParts(mail);
        QVERIFY(expected.Changed);
        QVERIFY(run.out == Bytes(expected.Mail));
    }

    void filterPassesOtherMailThroughByteForByte_data()
    {
        QTest::addColumn<QByteArray>("mail");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no TNEF") << QByteArray("Subject: hi\r\n\r\nJust text\r\n") << QString();
        QTest::newRow("empty") << QByteArray() << QString();
        std::string damaged = BuildMail(MailShape::Mixed, tnef_.substr(0, tnef_.size() / 2), true);
        QTest::newRow("damaged TNEF") << Bytes(damaged) << QString("damaged");
        std::string garbage;
        for (int i = 0; i < 100000; ++i)
            garbage += static_cast<char>((i * 7919) % 251);
        QTest::newRow("garbage") << Bytes(garbage) << QString();
        std::string nested;
        for (int i = 0; i < 10000; ++i)
            nested += "Content-Type: multipart/mixed; boundary=n" + std::to_string(i) + "\n\n--n" + std::to_string(i)
                + "\n";
        nested += "Content-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n"
            + Base64Lines(tnef_, "\n");
        QTest::newRow("10,000 nested multiparts") << Bytes(nested) << QString("limit");
    }

    void filterPassesOtherMailThroughByteForByte()
    {
        QFETCH(QByteArray, mail);
        QFETCH(QString, reason);
        const Run run = Quorra({ "--filter" }, mail);
        QCOMPARE(run.status, 0);
        QVERIFY(run.out == mail);
        if (reason.isEmpty())
            QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        else
            QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    }

    void exportOfAMail()
    {
        const std::string mail = BuildMail(MailShape::Mixed, tnef_, true);
        const QString input = Write("in.eml", mail);
        const QString output = home_.path() + "/out.eml";
        Run run = Quorra({ input, "/E", "eml", output });
        QCOMPARE(run.status, 0);
        QVERIFY(Read(output) == UnwrapTnefParts(mail).Mail);

        // The other formats and /ATTACHMENTS work on the TNEF message: its own sender stands, and a TNEF without
        // one shows the mail's.
        run = Quorra({ input, "/E", "txt", "-" });
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("Anna Nov") && !run.out.contains("Ann Example"), run.out.constData());
        const std::string bare = TnefBuilder().Version().MessageClass("IPM.Note").MapiProps(
            TnefPropList().String8(0x1000, "bare body")).Bytes();
        const QString bareInput = Write("bare.eml", BuildMail(MailShape::Mixed, bare, false));
        run = Quorra({ bareInput, "/E", "txt", "-" });
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("Ann Example") && run.out.contains("Subject: Mixed"), run.out.constData());
        const QString folder = home_.path() + "/attachments";
        run = Quorra({ input, "/ATTACHMENTS=" + folder });
        QCOMPARE(run.status, 0);
        QVERIFY(QFile::exists(folder + "/chart.png"));

        // A mail without TNEF: nothing written, and it says what the mail holds.
        const QString none = Write("none.eml", "Subject: Plain\r\n\r\ntext\r\n");
        run = Quorra({ none, "/E", "eml", home_.path() + "/none-out.eml" });
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("holds no TNEF"), qPrintable(run.err));
        QVERIFY(!QFile::exists(home_.path() + "/none-out.eml"));
        run = Quorra({ none, "/E", "txt", "-" });
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("Plain") && run.err.contains("text/plain"), qPrintable(run.err));
    }

    void mboxAndMaildirArchives()
    {
        const std::vector<std::string> mails { BuildMail(MailShape::TwoParts, tnef_, false),
            "Subject: nothing here\n\n>From the start\nbody\n", BuildMail(MailShape::NestedMessages, tnef_, true) };
        TMemoryStream mbox;
        for (const std::string& mail : mails)
            WriteMboxMail(mbox, "From someone@example.org Tue Mar  3 10:00:00 2026", mail);
        const QString input = Write("archive.mbox", mbox.TakeBytes());
        const QString output = home_.path() + "/archive-out.mbox";
        Run run = Quorra({ "/FILTER", input, output });
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains("2 of 3 mails unwrapped"), qPrintable(run.err));
        TMemoryStream written(Read(output));
        TMboxReader reader(written);
        std::string from, mail;
        for (const std::string& original : mails) {
            QVERIFY(reader.Next(from, mail));
            const TUnwrapResult expected = UnwrapTnefParts(original);
            QVERIFY(mail == (expected.Changed ? expected.Mail : original));
        }
        QVERIFY(!reader.Next(from, mail));

        const QString maildir = home_.path() + "/Maildir";
        QDir().mkpath(maildir + "/cur");
        QDir().mkpath(maildir + "/new");
        QDir().mkpath(maildir + "/tmp");
        for (size_t i = 0; i < mails.size(); ++i)
            Write("Maildir/" + QString(i == 1 ? "new" : "cur") + "/" + QString::number(i) + ".host:2,S", mails[i]);
        const QString maildirOut = home_.path() + "/Maildir-out";
        run = Quorra({ "/FILTER", maildir, maildirOut });
        QCOMPARE(run.status, 0);
        for (size_t i = 0; i < mails.size(); ++i) {
            const TUnwrapResult expected = UnwrapTnefParts(mails[i]);
            const std::string got = Read(maildirOut + "/" + (i == 1 ? "new" : "cur") + "/" + QString::number(i) + ".host:2,S");
            QVERIFY(got == (expected.Changed ? expected.Mail : mails[i]));
        }
        QCOMPARE(Quorra({ "/FILTER", input }).status, 2);
        QCOMPARE(Quorra({ "/FILTER", input, input }).status, 1);
    }
};

QTEST_GUILESS_MAIN(TestMailFilter)
#include "tst_mail_filter.moc"
