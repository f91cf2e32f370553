// Settings file, switches and folders.

#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "ini_file.h"
#include "settings.h"
#include "test_data.h"

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

    // Keys found through the index: reading every key of a section costs about one comparison each, whatever
    // the section holds; duplicate sections and keys keep their first-wins order, also after writes.
    void iniLookupsCostTheSameWhateverTheFileHolds()
    {
        const std::string path = Home() + "/big.ini";
        auto comparisons = [&](int n) {
            std::string text = "[S]\r\n";
            for (int i = 0; i < n; ++i)
                text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
            WriteAll(path, text);
            TIniFile ini(path);
            for (int i = 0; i < n; i += 1)
                if (ini.ReadInteger("s", "KEY" + std::to_string(i), -1) != i)
                    return uint64_t(0);
            return ini.KeyComparisons();
        };
        const uint64_t small = comparisons(2000), large = comparisons(16000);
        QVERIFY(small > 0 && large > 0);
        QVERIFY2(large <= 9 * small, qPrintable(QString("%1 %2").arg(small).arg(large)));
        QVERIFY(large <= 2 * 16000);

        WriteAll(path, "[A]\nk=1\n[a]\nK=2\nm=3\n\n");
        TIniFile ini(path);
        QCOMPARE(ini.ReadString("A", "k", ""), std::string("1"));
        QCOMPARE(ini.ReadString("A", "m", ""), std::string("3"));
        ini.WriteString("a", "M", "4"); // the first section gets the key, and now wins
        ini.WriteString("a", "K", "5");
        QCOMPARE(ini.ReadString("A", "m", ""), std::string("4"));
        QCOMPARE(ini.ReadString("A", "k", ""), std::string("5"));
        QVERIFY(ini.UpdateFile());
        QCOMPARE(ReadAll(path), std::string("[A]\r\nk=5\r\nM=4\r\n[a]\r\nK=2\r\nm=3\r\n\r\n"));
    }

    // A settings file with a huge list keeps only what is read: the options still load, the file is not changed.
    void hugeSettingsFileIsReadInOnePassKeepingOnlyWhatIsRead()
    {
        TSettings first;
        first.RecentFiles = { "/m/a.dat" };
        QVERIFY(SaveSettings(first));
        const std::string path = SettingsPath(true);
        std::string text = "[Options]\r\nAppMode=1\r\n[Attachments]\r\nDirKind=0\r\nLastUsedDir=\r\nCustomDir=\r\n"
                           "[Save]\r\nSaveMode=0\r\n[FavoriteFiles]\r\nCount=0\r\n"
                           "[Recent]\r\nCount=2\r\nItem1=/m/a.dat\r\nItem2=/m/b.dat\r\n";
        for (int i = 0; i < 200000; ++i)
            text += "Junk" + std::to_string(i) + "=x\r\n";
        text += "[Other]\r\n";
        for (int i = 0; i < 100000; ++i)
            text += "Item" + std::to_string(i) + "=y\r\n";
        WriteAll(path, text);
        TSettings s;
        LoadSettings(s, false);
        QCOMPARE(s.AppMode, TAppMode::Simple);
        QCOMPARE(s.RecentFiles, std::vector<std::string>({ "/m/a.dat", "/m/b.dat" }));
        const TIniFile kept(path, SettingsKeyRead);
        QVERIFY2(kept.LineCount() <= 9, qPrintable(QString::number(kept.LineCount())));
        QVERIFY(!kept.UpdateFile());
        QCOMPARE(ReadAll(path).size(), text.size());
        // A run that changes nothing leaves the file as it is; one that changes something keeps every line.
        QVERIFY(SaveSettings(s));
        QVERIFY(ReadAll(path) == text);
        s.RecentFiles.insert(s.RecentFiles.begin(), "/m/c.dat");
        QVERIFY(SaveSettings(s));
        const std::string changed = ReadAll(path);
        QVERIFY(changed.find("Item1=/m/c.dat\r\n") != std::string::npos);
        // The other sections keep every line; the list keeps only what is read back.
        QVERIFY(changed.find("Item99999=y\r\n") != std::string::npos);
        QVERIFY(changed.find("Junk") == std::string::npos);
        QVERIFY(changed.size() < text.size() / 2);
        QVERIFY(SettingsKeyRead("recent", "ITEM1000") && !SettingsKeyRead("Recent", "Item1001")
            && !SettingsKeyRead("Recent", "Item01") && !SettingsKeyRead("Recent", "Item0")
            && SettingsKeyRead("FavoriteFiles", "Count") && SettingsKeyRead("Options", "Anything"));
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
        WriteAll(
            machine, "[Options]\nAppMode=2\nDefaultFormat=7\nExtendedSettings=/NOLOGO /simple\n[Save]\nSaveMode=1\n");
        TSettings s;
        LoadSettings(s, false);
        QCOMPARE(s.AppMode, TAppMode::Basic);
        QCOMPARE(s.SaveMode, TSaveMode::CommonProperties);
        QCOMPARE(s.DefaultFormat, TDefaultFormat::Html); // a number that names no format keeps the default
        QCOMPARE(s.ExtendedSettings, std::string("/NOLOGO /simple"));
        QVERIFY(SaveSettings(s));
        QVERIFY(QFile::exists(QString::fromStdString(SettingsPath(true))));
    }

    void fontText_data()
    {
        quorra_test::AddRows<QString, QString, int, int, int>({ "text", "name", "charset", "size", "style" },
            {
                { "name only, no comma", "Courier", "Sans Serif", 1, 9, 0 },
                { "name and one number", "Courier,204", "Courier", 1, 9, 0 },
                { "name and two numbers", "Courier,204,5", "Courier", 204, 9, 0 },
                { "everything", " Mono , 0 , 255 , 12 , 3", "Mono", 0, 12, 3 },
                { "not numbers keep", "Mono,x,y,z,w", "Mono", 1, 9, 0 },
                { "empty pieces keep", ",,,,", "Sans Serif", 1, 9, 0 },
            });
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
        QCOMPARE(s.DefaultFormat, TDefaultFormat::RichText);
        QVERIFY(ApplySwitch(s, "/DEFFORMAT=pdf"));
        QCOMPARE(s.DefaultFormat, TDefaultFormat::RichText);
        QVERIFY(ApplySwitch(s, "-basic"));
        QCOMPARE(s.AppMode, TAppMode::Basic);
        s.SaveMode = TSaveMode::CommonProperties;
        QVERIFY(ApplySwitch(s, "/All"));
        QCOMPARE(s.SaveMode, TSaveMode::AllProperties);
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
        s.DirKind = TDirKind::ProgramFolder;
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), ProgramFolder());
        s.DirKind = TDirKind::LastUsed;
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), std::string("/last"));
        // The last used folder before any was used: the message's.
        s.LastUsedDir.clear();
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), std::string("/mail/x"));
        s.LastUsedDir = "/last";
        s.DirKind = TDirKind::Custom;
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), std::string("/custom"));
        s.DirKind = TDirKind::MessageFolder;
        QCOMPARE(AttachmentFolder(s, "/mail/x/winmail.dat"), std::string("/mail/x"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
