// The private temporary folder: hostile names stay inside it, files are the user's alone and never executable,
// equal names do not replace each other, and the folder goes away with everything in it.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "private_temp.h"

using namespace quorra;

class TestPrivateTemp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(tmp_.isValid());
        qputenv("TMPDIR", tmp_.path().toLocal8Bit());
    }

    void hostileNamesStayInsideAndAreNotExecutable()
    {
        const QString folder = PrivateTempFolder();
        QVERIFY(!folder.isEmpty());
        QVERIFY(folder.startsWith(tmp_.path()));
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

        for (const QString& name : { QStringLiteral("../../escape.sh"), QStringLiteral("/etc/passwd"),
                 QStringLiteral("a\\..\\b.exe"), QString() }) {
            const QString path = WritePrivateTempFile(name, [](pelmsg::TStream& s) { s.WriteBuffer("#!/bin/sh\n", 10); });
            QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(folder).absoluteFilePath());
            struct stat st { };
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, 0600u);
        }
        QVERIFY(!QFile::exists(tmp_.path() + "/escape.sh"));
    }

    void equalNamesGetDistinctFiles()
    {
        const QString a = WritePrivateTempFile("report.pdf", [](pelmsg::TStream& s) { s.WriteBuffer("one", 3); });
        const QString b = WritePrivateTempFile("report.pdf", [](pelmsg::TStream& s) { s.WriteBuffer("two", 3); });
        QVERIFY(a != b);
        QFile fa(a), fb(b);
        QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
        QCOMPARE(fa.readAll(), QByteArray("one"));
        QCOMPARE(fb.readAll(), QByteArray("two"));
    }

    void theFolderGoesWithItsFiles()
    {
        const QString folder = PrivateTempFolder();
        WritePrivateTempFile("x.txt", [](pelmsg::TStream& s) { s.WriteBuffer("x", 1); });
        RemovePrivateTempFolder();
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(PrivateTempFolder() != folder); // a new one on the next use
        RemovePrivateTempFolder();
    }

private:
    QTemporaryDir tmp_;
};

QTEST_GUILESS_MAIN(TestPrivateTemp)
#include "tst_private_temp.moc"
