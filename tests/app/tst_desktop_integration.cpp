// Registration as the desktop's default viewer in isolated XDG folders: the real xdg-mime and update-mime-database
// run; afterwards xdg-mime names quorra.desktop and xdg-open starts the registered program (a recorder here);
// unregistering leaves the folders byte for byte as they were. Also the desktop entry's validity, the installed
// files, and the window's Help, link and About commands.

#include <QDesktopServices>
#include <QDirIterator>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>

#include "about_dialog.h"
#include "desktop_integration.h"
#include "desktop_services.h"
#include "test_data.h"
#include "update_check.h"
#include "window_fixture.h"

using namespace quorra;
using quorra_test::TModalHandler;

class TestDesktopIntegration : public quorra_test::TWindowTest {
    Q_OBJECT

private:
    // Every folder and file under a folder, with the files' bytes.
    static QMap<QString, QByteArray> Snapshot(const QString& root)
    {
        QMap<QString, QByteArray> tree;
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            tree[QDir(root).relativeFilePath(path)]
                = it.fileInfo().isDir() ? QByteArray("<folder>") : (f.open(QIODevice::ReadOnly) ? f.readAll() : "?");
        }
        return tree;
    }
    QMap<QString, QByteArray> UserFolders() const
    {
        QMap<QString, QByteArray> all;
        for (const char* sub : { "data", "config", "home" })
            for (auto [k, v] : Snapshot(home_->Path(sub)).asKeyValueRange())
                all[QLatin1String(sub) + u'/' + k] = v;
        return all;
    }
    static void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    static QByteArray ReadFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QString Run(const QString& program, const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        if (!p.waitForFinished(60000))
            return "<timeout>";
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    // A program that writes its arguments, one a line, to a file beside it.
    QString Recorder() const
    {
        const QString path = home_->Path("program/recorder.sh");
        WriteFile(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/recorded.tmp\"\n"
                        "mv \"$(dirname \"$0\")/recorded.tmp\" \"$(dirname \"$0\")/recorded\"\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("xdg-mime").isEmpty()
            || QStandardPaths::findExecutable("update-mime-database").isEmpty())
            QSKIP("xdg-utils and shared-mime-info are needed (scripts/install-deps.sh)");
        // No desktop environment: xdg-utils take their generic, file-based way.
        for (const char* v : { "XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "DESKTOP_SESSION",
                 "XDG_SESSION_DESKTOP", "MATE_DESKTOP_SESSION_ID", "BROWSER" })
            qunsetenv(v);
    }
    void init() { StartHome(); }
    void cleanup()
    {
        EndHome();
        SetUrlOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); });
    }

    void execArgumentIsQuotedAsDesktopEntriesRequire_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/usr/bin/quorra" << "/usr/bin/quorra";
        QTest::newRow("blank") << "/opt/my apps/quorra" << "\"/opt/my apps/quorra\"";
        QTest::newRow("dollar") << "/opt/$x/quorra" << "\"/opt/\\\\$x/quorra\"";
        QTest::newRow("percent") << "/opt/100%/quorra" << "/opt/100%%/quorra";
        QTest::newRow("backslash") << "/opt/a\\b/quorra" << "\"/opt/a\\\\\\\\b/quorra\"";
    }

    void execArgumentIsQuotedAsDesktopEntriesRequire()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(DesktopExecArgument(path), exec);
    }

    void desktopEntriesAreValid()
    {
        if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
            QSKIP("desktop-file-validate is needed (desktop-file-utils)");
        const QString user = home_->Path("tmp/quorra.desktop");
        WriteFile(user, DesktopEntryText("/opt/my apps/quorra").toUtf8());
        QVERIFY(ReadFile(user).contains("\nExec=\"/opt/my apps/quorra\" %f\n"));
        QVERIFY(ReadFile(user).contains("\nMimeType=application/vnd.ms-tnef;application/vnd.ms-outlook;\n"));
        const QString installed = QFileInfo(QUORRA_BINARY).path() + "/quorra.desktop";
        QVERIFY(ReadFile(installed).contains("\nExec=quorra %f\n"));
        for (const QString& file : { user, installed }) {
            QProcess p;
            p.start("desktop-file-validate", { file });
            QVERIFY(p.waitForFinished(60000));
            QVERIFY2(p.exitCode() == 0, p.readAll().constData());
            QCOMPARE(p.readAll(), QByteArray());
        }
    }

    void registerThenUnregisterLeavesTheFoldersAsTheyWere_data()
    {
        quorra_test::AddRows<bool>({ "ownFiles" },
            { { "nothing there before", false }, { "the user's own defaults, entries and types", true } });
    }

    void registerThenUnregisterLeavesTheFoldersAsTheyWere()
    {
        QFETCH(bool, ownFiles);
        if (ownFiles) {
            WriteFile(home_->Path("config/mimeapps.list"),
                "[Added Associations]\ntext/plain=editor.desktop;\n\n\n[Default Applications]\n"
                "application/vnd.ms-tnef=other.desktop\ntext/html=browser.desktop\n\n");
            WriteFile(home_->Path("data/applications/other.desktop"),
                "[Desktop Entry]\nType=Application\nName=Other\nExec=true %f\n");
            WriteFile(home_->Path("data/mime/packages/own.xml"),
                "<?xml version=\"1.0\"?>\n<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">"
                "<mime-type type=\"text/x-own\"><glob pattern=\"*.own\"/></mime-type></mime-info>\n");
            QCOMPARE(Run("update-mime-database", { home_->Path("data/mime") }), QString());
        }
        const QMap<QString, QByteArray> before = UserFolders();

        QCOMPARE(RegisterAsDefaultViewer("/usr/bin/quorra"), QString());
        QCOMPARE(Run("xdg-mime", { "query", "default", "application/vnd.ms-tnef" }), "quorra.desktop");
        QCOMPARE(Run("xdg-mime", { "query", "default", "application/vnd.ms-outlook" }), "quorra.desktop");
        QVERIFY(ReadFile(home_->Path("data/applications/quorra.desktop")).contains("Exec=/usr/bin/quorra %f"));
        QVERIFY(ReadFile(home_->Path("data/icons/hicolor/scalable/apps/quorra.svg")).startsWith("<svg"));
        // The user's MIME database knows the type by name (in any case) and by the TNEF signature.
        const QByteArray globs = ReadFile(home_->Path("data/mime/globs2"));
        QVERIFY(globs.contains(":application/vnd.ms-tnef:winmail.dat"));
        QVERIFY(globs.contains(":application/vnd.ms-tnef:*.tnef"));
        QVERIFY(!globs.contains("winmail.dat:cs"));
        QVERIFY(ReadFile(home_->Path("data/mime/magic")).contains("[60:application/vnd.ms-tnef]\n>0=\x00\x04\x78\x9f\x3e\x22"));
        // Registering again changes nothing more.
        QCOMPARE(RegisterAsDefaultViewer("/usr/bin/quorra"), QString());

        QCOMPARE(UnregisterAsDefaultViewer(), QString());
        const QMap<QString, QByteArray> after = UserFolders();
        for (const QString& k : after.keys())
            if (!before.contains(k))
                qWarning("added: %s", qPrintable(k));
        QCOMPARE(after.keys(), before.keys());
        QCOMPARE(after, before);
        if (ownFiles)
            QCOMPARE(Run("xdg-mime", { "query", "default", "application/vnd.ms-tnef" }), "other.desktop");
    }

    void unregisterKeepsWhatOthersChangedSince()
    {
        WriteFile(home_->Path("config/mimeapps.list"),
            "[Default Applications]\napplication/vnd.ms-tnef=other.desktop\n");
        QCOMPARE(RegisterAsDefaultViewer("/usr/bin/quorra"), QString());
        // Another program sets a default of its own meanwhile.
        QCOMPARE(Run("xdg-mime", { "default", "viewer.desktop", "image/png" }), QString());
        QCOMPARE(UnregisterAsDefaultViewer(), QString());
        const QByteArray list = ReadFile(home_->Path("config/mimeapps.list"));
        QVERIFY2(!list.contains("quorra.desktop"), list.constData());
        QVERIFY(list.contains("image/png=viewer.desktop"));
        QVERIFY(list.contains("application/vnd.ms-tnef=other.desktop"));
        QVERIFY(!QFile::exists(home_->Path("data/applications/quorra.desktop")));
        QVERIFY(!QFile::exists(home_->Path("data/mime")));
    }

    void unregisteringWhatIsNotRegisteredChangesNothing()
    {
        WriteFile(home_->Path("config/mimeapps.list"), "[Default Applications]\ntext/html=browser.desktop\n");
        const QMap<QString, QByteArray> before = UserFolders();
        QCOMPARE(UnregisterAsDefaultViewer(), QString());
        QCOMPARE(UserFolders(), before);
    }

    void xdgOpenOfAWinmailDatStartsTheRegisteredProgram()
    {
        const QString recorder = Recorder();
        const QString mail = home_->Copy(TESSALY_SOURCE_DIR "/samples/winmail.dat", "winmail.dat");
        QCOMPARE(RegisterAsDefaultViewer(recorder), QString());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", ":99"); // xdg-open asks the desktop only when there is a display; nothing connects
        QProcess open;
        open.setProcessEnvironment(env);
        open.start("xdg-open", { mail });
        QVERIFY(open.waitForFinished(60000));
        QCOMPARE(open.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home_->Path("program/recorded")), 60000);
        QCOMPARE(ReadFile(home_->Path("program/recorded")), mail.toUtf8() + "\n");
        QCOMPARE(UnregisterAsDefaultViewer(), QString());
    }

    void windowCommandsReportWithTheProgramsName()
    {
        auto w = NewWindow();
        w->ProgramPath = Recorder();
        {
            TModalHandler boxes;
            w->Actions().miRegisterExtension->trigger();
            w->Actions().miUnRegisterExtension->trigger();
            w->Actions().miUnRegisterExtension->trigger();
            QCOMPARE(boxes.Seen(),
                (QStringList { "Tessaly: successfully registered as default viewer for files",
                    "Tessaly: successfully unregistered as default viewer for files",
                    "Tessaly: successfully unregistered as default viewer for files" }));
        }
        QVERIFY(w->Actions().miRegisterExtension->isEnabled());
        // A registration that cannot be written is reported, not announced as a success.
        WriteFile(home_->Path("data/applications"), "a file where the folder should be");
        TModalHandler failure;
        w->Actions().miRegisterExtension->trigger();
        QCOMPARE(failure.Count(), 1);
        QVERIFY2(failure.Seen().first().startsWith("Tessaly could not be registered as default viewer: "),
            qPrintable(failure.Seen().first()));
        QCOMPARE(UnregisterAsDefaultViewer(), QString());
    }

    void helpLinksAndAboutOpenTheirAddresses()
    {
        QList<QUrl> opened;
        SetUrlOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        QDir().mkpath(home_->Path("program/help"));
        QVERIFY(QFile::copy(TESSALY_SOURCE_DIR "/docs/manual.html", home_->Path("program/help/manual.html")));
        auto w = NewWindow();
        w->Internet().HomePage = "https://home.example/";
        w->Internet().SupportMail = "help@example.org";
        w->Internet().SupportSubject = "Tessaly support request";
        w->Actions().miHelpContents->trigger();
        w->Actions().miHelpCHM->trigger();
        w->Actions().miHelpHomepage->trigger();
        w->Actions().btnHomepage->trigger();
        QTest::mouseClick(w->findChild<QLabel*>("lblCorvane"), Qt::LeftButton);
        w->Actions().miHelpSendEMail->trigger();
        const QUrl manual = QUrl::fromLocalFile(home_->Path("program/help/manual.html"));
        QCOMPARE(opened,
            (QList<QUrl> { manual, manual, QUrl("https://home.example/"), QUrl("https://home.example/"),
                QUrl("https://home.example/"), QUrl("mailto:help@example.org?subject=Tessaly%20support%20request") }));

        // The About box shows the version and opens its two links.
        opened.clear();
        {
        TModalHandler about([&](QDialog* d) {
            QVERIFY2(d->objectName() == "frmAbout",
                qPrintable(d->objectName() + ": " + (qobject_cast<QMessageBox*>(d) ? qobject_cast<QMessageBox*>(d)->text() : QString())));
            QCOMPARE(d->windowTitle(), "About...");
            QCOMPARE(d->findChild<QLabel*>("lblVersion")->text(), CurrentVersionText());
            QCOMPARE(d->findChild<QLabel*>("lblLogo1")->text(), "Tessaly");
            QVERIFY(!d->findChild<QLabel*>("imgLogo")->pixmap().isNull());
            QTest::mouseClick(d->findChild<QLabel*>("lblHomepage"), Qt::LeftButton);
            QTest::mouseClick(d->findChild<QLabel*>("lblMail"), Qt::LeftButton);
            d->accept();
        });
        w->Actions().btnAbout->trigger();
        QCOMPARE(about.Count(), 1);
        QCOMPARE(opened, (QList<QUrl> { QUrl("https://home.example/"), QUrl("mailto:" + w->Internet().ContactMail) }));
        }

        // Without the manual: a message that names where it was looked for.
        QFile::remove(home_->Path("program/help/manual.html"));
        TModalHandler missing;
        w->Actions().miHelpContents->trigger();
        QCOMPARE(missing.Count(), 1);
        QVERIFY(missing.Seen().first().startsWith("The manual "));
    }

    void installPutsTheDesktopFilesInPlace()
    {
        const QString build = QFileInfo(QUORRA_BINARY).path() + "/..";
        const QString prefix = home_->Path("prefix");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", home_->Path("stage"));
        QProcess install;
        install.setProcessEnvironment(env);
        install.start("cmake", { "--install", build, "--prefix", prefix, "--component", "quorra" });
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        const QString root = home_->Path("stage") + prefix;
        for (const char* file : { "/bin/quorra", "/libexec/quorra/quorra-window", "/share/applications/quorra.desktop",
                 "/share/mime/packages/quorra.xml", "/share/icons/hicolor/scalable/apps/quorra.svg",
                 "/share/quorra/help/manual.html", "/share/quorra/languages/german.lng" })
            QVERIFY2(QFile::exists(root + file), file);
    }
};

QTEST_MAIN(TestDesktopIntegration)
#include "tst_desktop_integration.moc"
