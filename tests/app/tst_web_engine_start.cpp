// The web engine's start settings: which Chromium flags keep its start off the UI thread's back (no zygote where
// the sandbox is off, one zygote where it is on, the user's own flags kept), and when the web view draws in
// software (no GPU device, and the user chose no Qt Quick backend).

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "web_engine_start.h"

using namespace quorra;

class TestWebEngineStart : public QObject {
    Q_OBJECT

private slots:
    void startFlags_data()
    {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<bool>("sandboxOff");
        QTest::addColumn<QByteArray>("flags");
        QTest::newRow("sandbox off") << QByteArray() << true << QByteArray("--no-zygote");
        QTest::newRow("sandbox on") << QByteArray() << false << QByteArray("--no-unsandboxed-zygote");
        QTest::newRow("sandbox off by the user's flag")
            << QByteArray(" --no-sandbox  --lang=de ") << false << QByteArray("--no-sandbox --lang=de --no-zygote");
        QTest::newRow("the user's own choice kept")
            << QByteArray("--no-zygote --no-sandbox") << true << QByteArray("--no-zygote --no-sandbox");
        QTest::newRow("a flag that only starts like it")
            << QByteArray("--no-zygote-sandbox") << true << QByteArray("--no-zygote-sandbox --no-zygote");
    }
    void startFlags()
    {
        QFETCH(QByteArray, user);
        QFETCH(bool, sandboxOff);
        QFETCH(QByteArray, flags);
        QCOMPARE(WebEngineStartFlags(user, sandboxOff), flags);
    }

    void softwareRenderingWithoutAGpu_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QByteArray>("backend");
        QTest::addColumn<bool>("software");
        QTest::newRow("no device") << QString() << QByteArray() << true;
        QTest::newRow("render node") << "dri/renderD128" << QByteArray() << false;
        QTest::newRow("card only") << "dri/card0" << QByteArray() << false;
        QTest::newRow("NVIDIA's device") << "nvidia0" << QByteArray() << false;
        QTest::newRow("empty dri folder") << "dri/" << QByteArray() << true;
        QTest::newRow("backend chosen by the user") << QString() << QByteArray("opengl") << false;
    }
    void softwareRenderingWithoutAGpu()
    {
        QFETCH(QString, device);
        QFETCH(QByteArray, backend);
        QFETCH(bool, software);
        QTemporaryDir dev;
        if (!device.isEmpty()) {
            QVERIFY(QDir(dev.path()).mkpath(QFileInfo(dev.filePath(device)).path()));
            if (!device.endsWith(QLatin1Char('/'))) {
                QFile node(dev.filePath(device));
                QVERIFY(node.open(QIODevice::WriteOnly));
            }
        }
        if (!backend.isEmpty())
            qputenv("QT_QUICK_BACKEND", backend);
        QCOMPARE(UseSoftwareWebRendering(QFile::encodeName(dev.path()).constData()), software);
        qunsetenv("QT_QUICK_BACKEND");
    }
};

QTEST_GUILESS_MAIN(TestWebEngineStart)
#include "tst_web_engine_start.moc"
