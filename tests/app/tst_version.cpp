// One version number everywhere: quorra --version, the About box and the update check's own version are the one
// CMake sets, and the update check orders versions by their numbers.

#include <QLabel>
#include <QProcess>
#include <QtTest>

#include "about_dialog.h"
#include "update_check.h"
#include "version.h"

using namespace quorra;

class TVersionTest : public QObject {
    Q_OBJECT

private slots:
    void oneVersionEverywhere()
    {
        QProcess quorra;
        quorra.start(QStringLiteral(QUORRA_BINARY), { "--version" });
        QVERIFY(quorra.waitForFinished(30000));
        const QString printed = QString::fromUtf8(quorra.readAllStandardOutput()).trimmed();
        QCOMPARE(printed, QStringLiteral("quorra (Tessaly) ") + kTessalyVersion);
        // major.minor.patch
        QVERIFY2(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(kTessalyVersion).hasMatch(), kTessalyVersion);

        TfrmAbout about(nullptr, QPixmap(), CurrentVersionText(), QString(), QString());
        QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(), QStringLiteral("v") + kTessalyVersion);
        // The update check reads its own version back from the same text ("v1.0.0"), and finds it equal.
        QVERIFY(LocalVersion(u' ' + CurrentVersionText()).endsWith(QString::fromLatin1(kTessalyVersion)));
    }

    void updateCheckComparesNumbers_data()
    {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<int>("order");
        const QStringList parts = QString::fromLatin1(kTessalyVersion).split(u'.');
        const int major = parts[0].toInt(), minor = parts[1].toInt(), patch = parts[2].toInt();
        QTest::newRow("same") << QString::fromLatin1(kTessalyVersion) << 0;
        QTest::newRow("next patch") << QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch + 1) << 1;
        QTest::newRow("ten patches on") << QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch + 10) << 1;
        QTest::newRow("next major") << QStringLiteral("%1.0.0").arg(major + 1) << 1;
        QTest::newRow("older") << QStringLiteral("0.9.99") << (major >= 1 ? -1 : 1);
        QTest::newRow("two parts") << QStringLiteral("%1.%2").arg(major).arg(minor) << (patch == 0 ? 0 : -1);
    }
    void updateCheckComparesNumbers()
    {
        QFETCH(QString, remote);
        QFETCH(int, order);
        QCOMPARE(CompareVersions(remote, LocalVersion(u' ' + CurrentVersionText())), std::optional<int>(order));
    }
};

QTEST_MAIN(TVersionTest)
#include "tst_version.moc"
