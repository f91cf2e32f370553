// What the window decides without widgets: the start-up file, dialog filters, language files, warning lines.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "test_data.h"
#include "viewer_support.h"

using namespace quorra;

namespace {

void Touch(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

class TestViewerSupport : public QObject {
    Q_OBJECT

private slots:
    void filters_data()
    {
        quorra_test::AddRows<QString, QStringList>({ "text", "expected" },
            {
                { "tnef", "WinMail.dat|winmail*.dat|TNEF messages (*.tnef)|*.tnef",
                    QStringList { "WinMail.dat (winmail*.dat)", "TNEF messages (*.tnef)" } },
                { "all files", "All files (*.*)|*.*", QStringList { "All files (*)" } },
                { "several patterns", "HTML files (*.htm;*.html)|*.htm;*.html",
                    QStringList { "HTML files (*.htm *.html)" } },
                { "dangling description", "Text|*.txt|Broken", QStringList { "Text (*.txt)" } },
                { "empty", "", QStringList {} },
            });
    }

    void filters()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QStringList actual;
        for (const TFileFilter& f : ParseFilterText(text.toStdString()))
            actual << QString::fromStdString(QtNameFilter(f));
        QCOMPARE(actual, expected);
    }

    void languageFiles()
    {
        QTemporaryDir dir;
        QString folder = dir.path() + "/languages";
        QDir().mkpath(folder);
        for (const char* name : { "german.lng", "ENGLISH.LNG", "czech.lng", "notes.txt", "german.BMP", "english.bmp" })
            Touch(folder + "/" + name);
        QDir().mkpath(folder + "/folder.lng");
        std::vector<TLanguageFile> files = FindLanguageFiles(folder.toStdString());
        QCOMPARE(files.size(), size_t(3));
        QCOMPARE(files[0].Caption, std::string("Czech"));
        QCOMPARE(files[1].Caption, std::string("English"));
        QCOMPARE(files[2].Caption, std::string("German"));
        QCOMPARE(files[1].Path, (folder + "/ENGLISH.LNG").toStdString());
        QCOMPARE(files[0].Bitmap, std::string());
        QCOMPARE(files[1].Bitmap, (folder + "/english.bmp").toStdString());
        QCOMPARE(files[2].Bitmap, (folder + "/german.BMP").toStdString());

        std::string program = dir.path().toStdString();
        QCOMPARE(LanguageFolder(program, "/nowhere"), folder.toStdString());
        QCOMPARE(LanguageFolder(program + "/none", folder.toStdString()), folder.toStdString());
        QCOMPARE(LanguageFolder(program + "/none", "/nowhere"), program + "/none");

        QVERIFY(IsEnglishLanguageFile("/x/English.lng"));
        QVERIFY(!IsEnglishLanguageFile("/x/english.lng.bak"));
        QCOMPARE(ResolveLanguageFile(program + "/german.lng", folder.toStdString()), (folder + "/german.lng").toStdString());
        QCOMPARE(ResolveLanguageFile("", folder.toStdString()), std::string());
        QCOMPARE(ResolveLanguageFile("/x/klingon.lng", folder.toStdString()), std::string("/x/klingon.lng"));
    }

    void warningLines()
    {
        std::vector<TWarningLine> warnings { { 10, "cut" }, { -1, "no place" }, { 7, "third" } };
        std::vector<std::string> lines = WarningLines(warnings, "at byte %s:", 2);
        QCOMPARE(lines.size(), size_t(2));
        QCOMPARE(lines[0], std::string("at byte 10: cut"));
        QCOMPARE(lines[1], std::string("no place"));
    }
};

QTEST_GUILESS_MAIN(TestViewerSupport)
#include "tst_viewer_support.moc"
