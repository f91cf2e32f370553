// Settings file, switches and folders.

#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "ini_file.h"
#include "settings.h"

using namespace quorra;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    std::string Home() const { return home_.path().toStdString(); }

private slots:
    void init()
    {
        QVERIFY(home_.isValid());
        // Each test gets empty per-user and machine-wide folders.
        QDir(home_.path()).removeRecursively();
        QDir().mkpath(home_.path());
        qputenv("HOME", home_.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_.path() + "/config").toUtf8());
        qputenv("XDG_CONFIG_DIRS", (home_.path() + "/etc-xdg:/etc/xdg").toUtf8());
    }

    void iniFileSemantics()
    {
        std::string path = Home() + "/t.ini";
        WriteAll(path, "; comment\r\n[Options]\r\nBeepAfter = 0 \r\nName=a = b\r\n\r\n[Other]\r\nx=1\r\n");
        TIniFile ini(path);
        QCOMPARE(ini.ReadBool("OPTIONS", "beepafter", true), false); // names without regard to case
        QCOMPARE(ini.ReadString("Options", "Name", ""), std::string("a = b")); // to the end of the line
        QCOMPARE(ini.ReadInteger("Options", "Missing", 42), 42L);
        QCOMPARE(ini.ReadInteger("Options", "Name", 7), 7L); // not a number keeps the default
        ini.WriteString("options", "NEW", "v");
        ini.WriteInteger("Third", "n", -5);
        ini.WriteString("Other", "X", "line\nbreak");
        QVERIFY(ini.UpdateFile());
        TIniFile again(path);
        QCOMPARE(again.ReadString("Options", "new", ""), std::string("v"));
        QCOMPARE(again.ReadInteger("third", "N", 0), -5L);
        QCOMPARE(again.ReadString("Other", "x", ""), std::string("line break"));
        QVERIFY(ReadAll(path).find("; comment") != std::string::npos);
    }

    void listsKeepFiveAcrossARestart()
    {
        TSettings s;
        for (int i = 1; i <= 7; ++i)
            s.RecentFiles.push_back("/m/" + std::to_string(i) + ".dat");
        QVERIFY(SaveSettings(s));
        TIniFile ini(SettingsPath(true));
        QCOMPARE(ini.ReadInteger("Recent", "Count", 0), 5L);
        QCOMPARE(ini.ReadString("Recent", "Item7", ""), std::string("/m/7.dat"));
        TSettings restarted;
        LoadSettings(restarted, false);
        QCOMPARE(restarted.RecentFiles.size(), size_t(5));
        QCOMPARE(restarted.RecentFiles[4], std::string("/m/5.dat"));
    }

    void optionsAreWrittenOnlyWhenChanged()
    {
        TSettings s;
        s.BeepAfter = false;
        QVERIFY(SaveSettings(s));
        QVERIFY(!TIniFile(SettingsPath(true)).KeyExists("Options", "BeepAfter"));
        QVERIFY(TIniFile(SettingsPath(true)).KeyExists("Save", "SaveMode"));
        s.SettingsChanged = true;
        s.SaveFormPosition = true;
        s.FormLeft = 33;
        QVERIFY(SaveSettings(s));
        QVERIFY(!s.SettingsChanged);
        TSettings loaded;
        LoadSettings(loaded, false);
        QCOMPARE(loaded.BeepAfter, false);
        QCOMPARE(loaded.FormLeft, 0); // placement is loaded separately
        LoadSettings(loaded, true);
        QCOMPARE(loaded.FormLeft, 33);
        QVERIFY(!loaded.DefaultPlacement);
        QVERIFY(!TIniFile(SettingsPath(true)).KeyExists("Options", "ExtendedSettings"));
    }

    void machineWideFileIsReadWhenThereIsNoUserFile()
    {
        std::string machine = SettingsPath(false);
        QVERIFY(machine.rfind(Home() + "/etc-xdg/Corvane/quorra/", 0) == 0);
        TSettings nothingYet;
        LoadSettings(nothingYet, false);
        QVERIFY2(!QFile::exists(QString::fromStdString(Home() + "/etc-xdg/Corvane")),
            "reading the settings creates no machine-wide folder");
        QVERIFY(ForceFolders(machine.substr(0, machine.rfind('/'))));
        WriteAll(machine, "[Options]\nAppMode=2\nExtendedSettings=/NOLOGO /simple\n[Save]\nSaveMode=1\n");
        TSettings s;
        LoadSettings(s, false);
        QCOMPARE(s.AppMode, 2);
        QCOMPARE(s.SaveMode, 1);
        QCOMPARE(s.ExtendedSettings, std::string("/NOLOGO /simple"));
        QVERIFY(SaveSettings(s));
        QVERIFY(QFile::exists(QString::fromStdString(SettingsPath(true))));
    }

    void fontText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("charset");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("style");
        QTest::newRow("name only, no comma") << "Courier"
                                             << "Sans Serif" << 1 << 9 << 0;
        QTest::newRow("name and one number") << "Courier,204"
                                             << "Courier" << 1 << 9 << 0;
        QTest::newRow("name and two numbers") << "Courier,204,5"
                                              << "Courier" << 204 << 9 << 0;
        QTest::newRow("everything") << " Mono , 0 , 255 , 12 , 3"
                                    << "Mono" << 0 << 12 << 3;
        QTest::newRow("not numbers keep") << "Mono,x,y,z,w"
                                          << "Mono" << 1 << 9 << 0;
        QTest::newRow("empty pieces keep") << ",,,,"
                                           << "Sans Serif" << 1 << 9 << 0;
    }

    void fontText()
    {
        QFETCH(QString, text);
        TFontSpec f;
        FontFromText(text.toStdString(), f);
        QTEST(QString::fromStdString(f.Name), "name");
        QTEST(f.Charset, "charset");
        QTEST(f.Size, "size");
        QTEST(f.Style, "style");
        TFontSpec round;
        FontFromText(FontToText(f), round);
        QCOMPARE(round, f);
    }

    void switches()
    {
        TSettings s;
        QVERIFY(ApplySwitch(s, "/noini"));
        QVERIFY(!s.UseIniFile);
        QVERIFY(ApplySwitch(s, "--DefFormat=rtf"));
        QCOMPARE(s.DefaultFormat, 2);
        QVERIFY(ApplySwitch(s, "/DEFFORMAT=pdf"));
        QCOMPARE(s.DefaultFormat, 2);
        QVERIFY(ApplySwitch(s, "-basic"));
        QCOMPARE(s.AppMode, 2);
        s.SaveMode = 1;
        QVERIFY(ApplySwitch(s, "/All"));
        QCOMPARE(s.SaveMode, 0);
        QVERIFY(ApplySwitch(s, "/LEFT=12"));
        QVERIFY(ApplySwitch(s, "/TOP=x"));
        QCOMPARE(s.FormLeft, 12);
        QCOMPARE(s.FormTop, 0);
        QVERIFY(!s.DefaultPlacement);
        QVERIFY(ApplySwitch(s, "/LANG=Deutsch.lng"));
        QCOMPARE(s.LangFile, ProgramFolder() + "/Deutsch.lng");
        // Paths are not switches, even absolute ones.
        QVERIFY(!ApplySwitch(s, "/home/ann/winmail.dat"));
        QVERIFY(!IsSwitch("/ALLx"));
        QVERIFY(IsSwitch("-e"));
    }

    void foldersAndAttachmentFolder()
    {
        std::string deep = Home() + "/a/b/c/";
        QVERIFY(ForceFolders(deep));
        QVERIFY(QDir(QString::fromStdString(deep)).exists());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ForceFolders(""));
        TSettings s;
        s.LastUsedDir = "/last";
        s.CustomDir = "/custom";
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), ProgramFolder());
        s.DirKind = 1;
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), std::string("/last"));
        s.DirKind = 2;
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), std::string("/custom"));
        s.DirKind = 3;
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), std::string("/mail/x"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
