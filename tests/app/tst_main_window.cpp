// The main window driven as a user drives it: every road of opening a file, the view modes, the settings
// across two starts, the language menu and the options dialog.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include "about_dialog.h"
#include "attachments_dialog.h"
#include "explorer_pane.h"
#include "header_pages.h"
#include "lazy_page.h"
#include "options_dialog.h"
#include "pel_language.h"
#include "pelmsg.h"
#include "property_pages.h"
#include "proxy_logon.h"
#include "structure_page.h"
#include "test_data.h"
#include "tnef_part_dialog.h"
#include "viewer_support.h"
#include "window_fit.h"
#include "window_fixture.h"

using namespace quorra;
using quorra_test::TModalHandler;

namespace {

const QString kSubject = QString::fromUtf8("Minutes of the Zürich meeting");

} // namespace

class TestMainWindow : public quorra_test::TWindowTest {
    Q_OBJECT

private:
    static QString Subject(TfrmMain& w) { return w.findChild<QLineEdit*>("edSubject")->text(); }
    static bool TabVisible(TfrmMain& w, const char* page)
    {
        return w.PageControl()->isTabVisible(w.PageControl()->indexOf(w.PageControl()->findChild<QWidget*>(page)));
    }
    static QComboBox* FileBox(TfrmMain& w) { return w.findChild<QComboBox*>("cbFileName"); }

    // A .msg file made from the sample by the library's writer.
    QString MakeMsg(const QString& name)
    {
        auto message = pelmsg::CreateMessageForFile(SamplePath().toStdString());
        message->LoadFromFile(SamplePath().toStdString());
        QString path = home_->Path("home/" + name);
        pelmsg::SaveToMSGFile(message->Properties(), path.toStdString(), true);
        return path;
    }

    void DropFiles(TfrmMain& w, const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        QPoint at = w.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        QVERIFY(drop.isAccepted());
    }

    // The shipped German language file in the program's language folder.
    bool InstallGerman() const
    {
        QDir().mkpath(home_->Path("program/languages"));
        return QFile::copy(
            TESSALY_SOURCE_DIR "/resources/languages/german.lng", home_->Path("program/languages/german.lng"));
    }

    // The two kinds of file a test opens: TNEF, and .msg made from it.
    static void AddKindRows() { quorra_test::AddRows<QString>({ "kind" }, { { "tnef", "tnef" }, { "msg", "msg" } }); }

private slots:
    void startWithoutArguments_data()
    {
        QTest::addColumn<bool>("recent");
        QTest::addColumn<bool>("inCurrentFolder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing") << false << false << "program/winmail.dat";
        QTest::newRow("winmail.dat here") << false << true << "cwd/winmail.dat";
        QTest::newRow("recent list") << true << true << "home/old.dat";
    }

    void startWithoutArguments()
    {
        QFETCH(bool, recent);
        QFETCH(bool, inCurrentFolder);
        QFETCH(QString, expected);
        if (inCurrentFolder)
            QVERIFY(QFile::copy(SamplePath(), home_->Path("cwd/winmail.dat")));
        if (recent) {
            QDir().mkpath(home_->Path("config/Corvane/quorra"));
            QFile ini(home_->SettingsFile());
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write(("[Recent]\nCount=1\nItem1=" + home_->Path("home/old.dat") + "\n").toUtf8());
        }
        auto w = NewWindow();
        QCOMPARE(w->FileName(), home_->Path(expected));
        QVERIFY(!w->Message());
        QVERIFY(!w->PageControl()->isVisibleTo(w.get()));
        QVERIFY(w->findChild<QLabel*>("lblNoFile")->isVisibleTo(w.get()));
        QVERIFY(!w->Actions().btnSaveAs->isEnabled());
    }

    void firstArgumentOpensTheFile_data() { AddKindRows(); }

    void firstArgumentOpensTheFile()
    {
        QFETCH(QString, kind);
        QString path = kind == "msg" ? MakeMsg("mail.msg") : home_->Copy(SamplePath(), "mail.dat");
        TModalHandler boxes;
        auto w = NewWindow({ path.toStdString(), "/deFFormat=rtf" });
        QCOMPARE(boxes.Count(), 0);
        QVERIFY(w->Message());
        QCOMPARE(Subject(*w), kSubject);
        QCOMPARE(w->Settings().DefaultFormat, TDefaultFormat::RichText);
        QCOMPARE(QString::fromStdString(w->Settings().RecentFiles.at(0)), path);
        QVERIFY(w->Actions().btnSaveAs->isEnabled());
        QVERIFY(w->Actions().miFileSaveAttachments->isEnabled());
        QVERIFY(w->PageControl()->isVisibleTo(w.get()));
        // The pages make their widgets when first needed, filled with the message opened before.
        QVERIFY(w->HeaderPage()->Text()->toPlainText().startsWith("Received: from mail.example.cz"));
        QVERIFY(w->PropertiesPage()->Tree()->model()->rowCount() > 10);
        // Only a compound file has storages to show.
        QCOMPARE(TabVisible(*w, "tsStructure"), kind == "msg");
        if (kind == "msg") {
            auto* structure = w->StructurePage()->Tree();
            QVERIFY(!structure->findItems("__properties_version1.0", Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
        }
    }

    // A start shows the preview without making the other pages or the explorer pane; each page, first shown by a
    // click on its tab, holds the message opened before, its widgets on the screen. A later file fills them at once.
    void pagesAreMadeWhenFirstShown()
    {
        auto w = Shown(MakeMsg("mail.msg"));
        const QList<TLazyPage*> pages = w->findChildren<TLazyPage*>();
        QCOMPARE(pages.size(), 4);
        for (TLazyPage* page : pages)
            QVERIFY(!page->IsBuilt());
        QVERIFY(!w->findChild<TExplorerPane*>());
        QTabBar* tabs = w->PageControl()->tabBar();
        for (TLazyPage* page : pages) {
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(w->PageControl()->indexOf(page)).center());
            QCOMPARE(w->PageControl()->currentWidget(), page);
            QVERIFY(page->IsBuilt());
            // Made while the page was being shown, its widgets show with it.
            const QList<QWidget*> children = page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            QVERIFY(!children.isEmpty());
            for (QWidget* child : children)
                QVERIFY2(child->isVisible(), qPrintable(child->objectName()));
        }
        QVERIFY(w->findChild<QTreeView*>("tvProperties")->model()->rowCount() > 10);
        QVERIFY(!w->findChild<QTreeWidget*>("tvStructure")
                     ->findItems("__properties_version1.0", Qt::MatchExactly | Qt::MatchRecursive)
                     .isEmpty());
        QVERIFY(w->findChild<QPlainTextEdit*>("reTransport")->toPlainText().startsWith("Received: from"));
        auto* flags = w->findChild<QTreeWidget*>("lvMessageFlags");
        for (int i = 0; i < kMessageFlagRowCount; ++i)
            QCOMPARE(flags->topLevelItem(i)->checkState(0) == Qt::Checked,
                w->Message()->HasMessageFlag(MessageFlagRows()[i].Bit));

        w->OpenFile(home_->Copy(SamplePath(), "mail.dat"));
        QVERIFY(!TabVisible(*w, "tsStructure"));
        QCOMPARE(w->findChild<QTreeWidget*>("tvStructure")->topLevelItemCount(), 0);
        QCOMPARE(flags->topLevelItem(4)->checkState(0), Qt::Checked); // the sample has attachments

        w->Actions().miViewFileTree->trigger();
        QVERIFY(w->Explorer()->isVisible());
        QVERIFY(w->Explorer()->Workspace()->isVisible());
    }

    void switchLikeFirstArgumentOpensNothing_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::newRow("slash") << "/NOLOGO";
        QTest::newRow("dashes") << "--nologo";
    }

    void switchLikeFirstArgumentOpensNothing()
    {
        QFETCH(QString, argument);
        TModalHandler boxes;
        auto w = NewWindow({ argument.toStdString() });
        QCOMPARE(boxes.Count(), 0);
        QVERIFY(!w->Message());
        QVERIFY(w->Settings().HideLogo);
        QVERIFY(w->Settings().RecentFiles.empty());
        // The box offers what a start without arguments offers.
        QCOMPARE(w->FileName(), home_->Path("program/winmail.dat"));
        // A file after the switch opens.
        auto other = NewWindow({ argument.toStdString(), SamplePath().toStdString() });
        QCOMPARE(Subject(*other), kSubject);
    }

    void openDialog_data() { AddKindRows(); }

    void openDialog()
    {
        QFETCH(QString, kind);
        QString path = kind == "msg" ? MakeMsg("chosen.msg") : home_->Copy(SamplePath(), "chosen.tnef");
        auto w = NewWindow();
        QStringList filters;
        TModalHandler dialogs([&](QDialog* d) {
            auto* fd = qobject_cast<QFileDialog*>(d);
            if (!fd)
                return TModalHandler::CloseAll(d);
            filters = fd->nameFilters();
            fd->selectFile(path);
            if (auto* edit = fd->findChild<QLineEdit*>("fileNameEdit"))
                edit->setText(path);
            QMetaObject::invokeMethod(fd, "accept");
        });
        w->Actions().miOpen->trigger();
        QVERIFY2(dialogs.Count() == 1, qPrintable(dialogs.Seen().join(" | ")));
        QVERIFY2(filters.join(';').contains("(*.msg)"), qPrintable(filters.join(';')));
        QVERIFY2(filters.join(';').contains("(winmail*.dat)"), qPrintable(filters.join(';')));
        QCOMPARE(w->FileName(), path);
        QCOMPARE(Subject(*w), kSubject);
    }

    void cancelledOpenDialogChangesNothing()
    {
        auto w = NewWindow();
        QString before = w->FileName();
        TModalHandler dialogs;
        w->Actions().btnConvert->trigger();
        QCOMPARE(dialogs.Count(), 1);
        QCOMPARE(w->FileName(), before);
        QVERIFY(!w->Message());
    }

    void fileNameBox()
    {
        QString first = home_->Copy(SamplePath(), "first.dat");
        QString second = home_->Copy(SamplePath(), "second.dat");
        auto w = NewWindow();
        w->show();
        QLineEdit* edit = FileBox(*w)->lineEdit();
        // Typing alone opens nothing; Enter opens.
        edit->clear();
        QTest::keyClicks(edit, first);
        QVERIFY(!w->Message());
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(w->Message());
        QCOMPARE(Subject(*w), kSubject);
        w->OpenFile(second);
        // The list holds the recent files, newest first; choosing an entry opens it.
        QCOMPARE(FileBox(*w)->count(), 2);
        QCOMPARE(FileBox(*w)->itemText(1), first);
        w->findChild<QLineEdit*>("edSubject")->clear();
        FileBox(*w)->setCurrentIndex(1);
        emit FileBox(*w)->activated(1);
        QCOMPARE(w->FileName(), first);
        QCOMPARE(Subject(*w), kSubject);
        QCOMPARE(QString::fromStdString(w->Settings().RecentFiles.at(0)), first);
    }

    // Item 6: the box completes only as a suggestion. After a failed path was typed once (and so became a list
    // entry), typing a path it starts with and pressing Enter opens exactly what was typed, once (one error box
    // for a missing file, not two); a path that differs from an entry only in case is another file.
    void enterOpensExactlyWhatIsInTheBox()
    {
        const QString good = home_->Copy(SamplePath(), "winmail.dat");
        auto w = NewWindow();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QLineEdit* edit = FileBox(*w)->lineEdit();
        TModalHandler dialogs;
        edit->clear();
        QTest::keyClicks(edit, good + "/old/x.htm");
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY2(dialogs.Count() == 1, qPrintable(dialogs.Seen().join(" | ")));
        QCOMPARE(w->LoadedFileName(), good + "/old/x.htm");
        QCOMPARE(FileBox(*w)->count(), 1);

        edit->clear();
        QTest::keyClicks(edit, good);
        QCOMPARE(edit->text(), good);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(dialogs.Count(), 1);
        QCOMPARE(w->LoadedFileName(), good);
        QVERIFY(w->Message());
        QCOMPARE(Subject(*w), kSubject);
        QCOMPARE(QString::fromStdString(w->Settings().RecentFiles.at(0)), good);
        QCOMPARE(w->Settings().RecentFiles.size(), size_t(2));

        // Upper case: a file of another name, reported missing, not the entry that differs only in case.
        edit->clear();
        QTest::keyClicks(edit, good.toUpper());
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(dialogs.Count(), 2);
        QCOMPARE(w->LoadedFileName(), good.toUpper());
    }

    // Item 8: the Open dialog starts in the folder the user set, else the last folder used, else Downloads, else
    // home (never the program's folder), and offers every supported file first.
    void openDialogStartsInTheUsersFolders_data()
    {
        QTest::addColumn<bool>("downloads");
        QTest::addColumn<QString>("defaultDir"); // under the isolated root; empty: none set
        QTest::addColumn<QString>("expected");
        QTest::newRow("home") << false << ""
                              << "home";
        QTest::newRow("downloads") << true << ""
                                   << "home/Downloads";
        QTest::newRow("set by the user") << true << "home/mail"
                                         << "home/mail";
        QTest::newRow("program folder of older settings") << false << "program"
                                                          << "home";
    }
    void openDialogStartsInTheUsersFolders()
    {
        QFETCH(bool, downloads);
        QFETCH(QString, defaultDir);
        QFETCH(QString, expected);
        if (downloads)
            QVERIFY(QDir().mkpath(home_->Path("home/Downloads")));
        QVERIFY(QDir().mkpath(home_->Path("home/mail")));
        QVERIFY(QDir().mkpath(home_->Path("program")));
        auto w = NewWindow();
        if (!defaultDir.isEmpty())
            w->Settings().DefaultDir = home_->Path(defaultDir).toStdString();
        QString folder;
        QStringList filters;
        TModalHandler dialogs([&](QDialog* dialog) {
            if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
                folder = files->directory().absolutePath();
                filters = files->nameFilters();
            }
            dialog->reject();
        });
        w->Actions().miOpen->trigger();
        QCOMPARE(dialogs.Count(), 1);
        QCOMPARE(folder, QDir(home_->Path(expected)).absolutePath());
        QVERIFY(!filters.isEmpty());
        QCOMPARE(filters.first(), QStringLiteral("All supported files (winmail*.dat *.tnef *.msg *.eml *.mbox)"));
        QVERIFY(filters.contains(QStringLiteral("Mail files (*.eml)")));
        QCOMPARE(filters.last(), QStringLiteral("All files (*)"));
    }

    void combinedFilterText()
    {
        QCOMPARE(CombinedFilterText("All", { "A|*.a;*.b|All files|*.*", "B (*.b)|*.b;*.c" }),
            std::string("All|*.a;*.b;*.c"));
        QCOMPARE(CombinedFilterText("None", {}), std::string("None|"));
    }

    // Item 15: a placement switch sets its own coordinate; the other bounds stay the window's (the default ones
    // here), never 0/0/800x600.
    void aPlacementSwitchKeepsTheOtherBounds_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("which"); // 0 left, 1 top, 2 width, 3 height
        QTest::addColumn<int>("value");
        QTest::newRow("left") << "/LEFT=100" << 0 << 100;
        QTest::newRow("top") << "/TOP=50" << 1 << 50;
        QTest::newRow("width") << "/WIDTH=900" << 2 << 900;
        QTest::newRow("height") << "/HEIGHT=500" << 3 << 500;
    }
    void aPlacementSwitchKeepsTheOtherBounds()
    {
        QFETCH(QString, option);
        QFETCH(int, which);
        QFETCH(int, value);
        auto w = NewWindow({ option.toStdString() });
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize size = FirstStartSize(screen, w->fontMetrics().lineSpacing());
        QRect expected(screen.center() - QPoint(size.width() / 2, size.height() / 2), size);
        if (which == 0)
            expected.moveLeft(value);
        else if (which == 1)
            expected.moveTop(value);
        else if (which == 2)
            expected.setWidth(value);
        else
            expected.setHeight(value);
        QCOMPARE(w->geometry(), expected);
    }

    void dropOpensOnlyTheFirstFile()
    {
        QString a = home_->Copy(SamplePath(), "a.dat");
        QString b = home_->Copy(SamplePath(), "b.dat");
        QString c = home_->Copy(SamplePath(), "c.dat");
        auto w = NewWindow();
        DropFiles(*w, { a, b, c });
        QTRY_VERIFY(w->Message());
        QCOMPARE(w->FileName(), a);
        QCOMPARE(w->Settings().RecentFiles, std::vector<std::string> { a.toStdString() });
    }

    void reopenMenu()
    {
        QString a = home_->Copy(SamplePath(), "a.dat");
        QString b = home_->Copy(SamplePath(), "b.dat");
        auto w = NewWindow();
        QVERIFY(!w->findChild<QMenu*>("miReopen")->isEnabled());
        w->OpenFile(a);
        w->OpenFile(b);
        w->OpenFile(a);
        QList<QAction*> items = w->findChild<QMenu*>("miReopen")->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->text(), "&0 " + a);
        QCOMPARE(items[1]->text(), "&1 " + b);
        items[1]->trigger();
        QCOMPARE(w->FileName(), b);
        QCOMPARE(Subject(*w), kSubject);
    }

    void missingFile()
    {
        QString missing = home_->Path("home/gone.dat");
        auto w = NewWindow();
        TModalHandler boxes;
        w->OpenFile(missing);
        QCOMPARE(boxes.Count(), 1);
        QVERIFY2(boxes.Seen()[0].contains(missing + " is not found."), qPrintable(boxes.Seen()[0]));
        QCOMPARE(QString::fromStdString(w->Settings().RecentFiles.at(0)), missing);
        QVERIFY(w->Actions().btnSaveAs->isEnabled());
        QVERIFY(w->PageControl()->isVisibleTo(w.get()));
        QCOMPARE(Subject(*w), QString());
    }

    void failedLoadNamesTheFile()
    {
        QString bad = home_->Path("home/bad.dat");
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a message at all");
        f.close();
        auto w = NewWindow();
        TModalHandler boxes;
        w->OpenFile(bad);
        QCOMPARE(boxes.Count(), 1);
        QVERIFY(boxes.Seen()[0].contains(bad));
        QVERIFY(boxes.Seen()[0].contains("Invalid TNEF signature"));
    }

    void oneBeepPerLoad_data()
    {
        QTest::addColumn<bool>("beepAfter");
        QTest::addColumn<int>("expected");
        QTest::newRow("on") << true << 1;
        QTest::newRow("off") << false << 0;
    }

    void oneBeepPerLoad()
    {
        QFETCH(bool, beepAfter);
        QFETCH(int, expected);
        auto w = NewWindow();
        w->Settings().BeepAfter = beepAfter;
        w->OpenFile(home_->Copy(SamplePath(), "beep.dat"));
        QVERIFY(w->FileLoaded());
        QTRY_VERIFY(!w->FileLoaded());
        quorra_test::ProcessPendingEvents();
        QCOMPARE(beeps_, expected);
    }

    void viewModes_data()
    {
        QTest::addColumn<QString>("switchText");
        QTest::addColumn<bool>("properties");
        QTest::addColumn<bool>("header");
        QTest::newRow("extended") << "/ALL" << true << true;
        QTest::newRow("simple") << "/SIMPLE" << false << true;
        QTest::newRow("basic") << "/BASIC" << false << false;
    }

    void viewModes()
    {
        QFETCH(QString, switchText);
        QFETCH(bool, properties);
        QFETCH(bool, header);
        auto w = NewWindow({ switchText.toStdString() });
        w->OpenFile(home_->Copy(SamplePath(), "mode.dat"));
        QCOMPARE(TabVisible(*w, "tsProperties"), properties);
        QCOMPARE(TabVisible(*w, "tsHeader"), header);
        QVERIFY(!TabVisible(*w, "tsStructure")); // a TNEF file has no storages
        QVERIFY(TabVisible(*w, "tsPreview"));
        QVERIFY(TabVisible(*w, "tsFlags"));
    }

    void hiddenLogo()
    {
        auto w = NewWindow({ "/NOLOGO" });
        QWidget* left = w->findChild<QWidget*>("pnlLeft");
        QVERIFY(!left->isVisibleTo(w.get()));
        // The file tree brings the pane back, without the logo.
        w->Actions().miViewFileTree->trigger();
        QVERIFY(left->isVisibleTo(w.get()));
        QVERIFY(!w->findChild<QLabel*>("imgLogo")->isVisibleTo(w.get()));
        QVERIFY(w->findChild<QWidget*>("pnlFolders")->isVisibleTo(w.get()));
    }

    void damagedFileShowsTheBar()
    {
        auto w = NewWindow({ SamplePath().toStdString() });
        QFrame* bar = w->findChild<QFrame*>("pnlDamage");
        QVERIFY(!bar->isVisibleTo(w.get()));
        w->Message()->AddWarning(1234, "attachment data truncated");
        w->Message()->AddWarning(-1, "recipient table cut short");
        w->FillPages();
        QVERIFY(bar->isVisibleTo(w.get()));
        TModalHandler boxes;
        w->findChild<QPushButton*>("btnDamageDetails")->click();
        QCOMPARE(boxes.Count(), 1);
        QVERIFY2(boxes.Seen()[0].contains("at byte 1234: attachment data truncated"), qPrintable(boxes.Seen()[0]));
        QVERIFY(boxes.Seen()[0].contains("\nrecipient table cut short"));
        QVERIFY(boxes.Seen()[0].contains(SamplePath()));
        // The next load of a sound file hides it again.
        w->OpenFile(SamplePath());
        QVERIFY(!bar->isVisibleTo(w.get()));
    }

    void settingsSurviveARestart()
    {
        QString path = home_->Copy(SamplePath(), "kept.dat");
        {
            auto w = NewWindow({ path.toStdString() });
            TModalHandler dialogs([](QDialog* d) {
                d->findChild<QCheckBox*>("cbOpenLast")->setChecked(true);
                d->findChild<QCheckBox*>("cbBeep")->setChecked(false);
                d->findChild<QCheckBox*>("chkHideLogo")->setChecked(true);
                d->findChild<QPushButton*>("btnOK")->click();
            });
            w->Actions().miOptions->trigger();
            QCOMPARE(dialogs.Count(), 1);
            QVERIFY(!w->findChild<QLabel*>("imgLogo")->isVisibleTo(w.get()));
            w->close();
        }
        QString ini = home_->SettingsText();
        QVERIFY2(ini.contains("LastOpened=1"), qPrintable(ini));
        QVERIFY(ini.contains("BeepAfter=0"));
        QVERIFY(ini.contains("Item1=" + path));
        // The next start opens the last file by itself and keeps the options.
        auto w = NewWindow();
        QCOMPARE(w->FileName(), path);
        QCOMPARE(Subject(*w), kSubject);
        QVERIFY(!w->Settings().BeepAfter);
        QVERIFY(!w->findChild<QLabel*>("imgLogo")->isVisibleTo(w.get()));
    }

    void cancelledOptionsChangeNothing()
    {
        auto w = NewWindow();
        TModalHandler dialogs([](QDialog* d) {
            d->findChild<QCheckBox*>("cbBeep")->setChecked(false);
            d->reject();
        });
        w->Actions().miOptions->trigger();
        QVERIFY(w->Settings().BeepAfter);
        QVERIFY(!w->Settings().SettingsChanged);
    }

    void placementIsKept()
    {
        {
            auto w = NewWindow({ "/LEFT=10", "/TOP=20", "/WIDTH=700", "/HEIGHT=500" });
            QCOMPARE(w->geometry(), QRect(10, 20, 700, 500));
            w->Settings().SaveFormPosition = true;
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            w->Settings().SettingsChanged = false;
            // Resizing alone marks the placement to be written.
            w->resize(720, 520);
            QTRY_VERIFY(w->Settings().SettingsChanged);
            w->close();
        }
        QVERIFY2(home_->SettingsText().contains("FormWidth=720"), qPrintable(home_->SettingsText()));
        auto w = NewWindow();
        QCOMPARE(w->size(), QSize(720, 520));
    }

    void noIniWritesNothing()
    {
        {
            auto w = NewWindow({ SamplePath().toStdString(), "/noini" });
            w->close();
        }
        QVERIFY(!QFile::exists(home_->SettingsFile()));
    }

    void languageMenu()
    {
        // german.lng, english.lng and a picture for German in the program's language folder.
        QVERIFY(InstallGerman());
        QVERIFY(quorra_test::WriteFile(
            home_->Path("program/languages/english.lng"), "[Translations]\nfrmMain.miFile.Caption=&File\n"));
        QPixmap flag(16, 16);
        flag.fill(Qt::red);
        QVERIFY(flag.save(home_->Path("program/languages/german.BMP"), "BMP"));

        auto w = NewWindow();
        QMenu* menu = w->findChild<QMenu*>("miLanguage");
        QVERIFY(menu->menuAction()->isVisible());
        QList<QAction*> items = menu->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->objectName(), "miLanguageDefault");
        QCOMPARE(items[1]->text(), "English");
        QCOMPARE(items[2]->text(), "German");
        QVERIFY(!items[2]->icon().isNull());
        QVERIFY(items[1]->icon().isNull());

        items[2]->trigger();
        QCOMPARE(w->findChild<QMenu*>("miFile")->title(), "&Datei");
        QCOMPARE(w->findChild<QMenu*>("miLanguage")->title(), "Sprache wechseln");
        QCOMPARE(w->Actions().miOpen->text(), QString::fromUtf8("Ö&ffnen...\tStrg+O"));
        QCOMPARE(w->findChild<QLabel*>("lblFileName")->text(), "Dateiname:");
        QCOMPARE(w->PageControl()->tabText(0), "Vorschau");
        QCOMPARE(w->windowTitle(), "Tessaly");
        // A page first shown after the language was chosen speaks it too.
        QVERIFY(!w->findChild<QTreeWidget*>("lvMessageFlags"));
        w->PageControl()->setCurrentWidget(w->FlagsPage());
        auto* flags = w->findChild<QTreeWidget*>("lvMessageFlags");
        QCOMPARE(flags->headerItem()->text(1), "Beschreibung");
        QCOMPARE(flags->topLevelItem(4)->text(1), "Die Nachricht hat mindestens eine Anlage");

        // A dialog created afterwards speaks the language too.
        QString title, ok, items0;
        {
            TModalHandler dialogs([&](QDialog* d) {
                title = d->windowTitle();
                ok = d->findChild<QPushButton*>("btnOK")->text();
                items0 = d->findChild<QComboBox*>("cbDefaultFormat")->itemText(2);
                d->reject();
            });
            w->Actions().miOptions->trigger();
        }
        QCOMPARE(title, "Einstellungen");
        QCOMPARE(ok, "&OK");
        QCOMPARE(items0, "Rich-Text-Format");
        QVERIFY(w->Settings().LangFile.ends_with("german.lng"));
        w->close();
        QVERIFY(home_->SettingsText().contains("LangFile=" + home_->Path("program/languages/german.lng")));

        // The next start is in German; the default item (item 17) gives English back at once, without a restart.
        auto again = NewWindow();
        QCOMPARE(again->findChild<QMenu*>("miFile")->title(), "&Datei");
        TModalHandler boxes;
        again->findChild<QAction*>("miLanguageDefault")->trigger();
        QCOMPARE(boxes.Count(), 0);
        QCOMPARE(again->findChild<QMenu*>("miFile")->title(), "&File");
        QCOMPARE(again->Actions().miOpen->text(), "&Open...");
        QCOMPARE(again->findChild<QLabel*>("lblFileName")->text(), "File name:");
        QCOMPARE(again->PageControl()->tabText(0), "Preview");
        QVERIFY(again->Settings().LangFile.empty());
        again->close();
        auto english_again = NewWindow();
        QCOMPARE(english_again->findChild<QMenu*>("miFile")->title(), "&File");
    }

    void shippedGermanFileIsComplete()
    {
        // Every program text of the window has a German text, and every line of the file reaches something.
        QString german = TESSALY_SOURCE_DIR "/resources/languages/german.lng";
        std::vector<TLanguageLine> custom = ReadLanguageSection(german, "Custom");
        QVERIFY(TProgramText::All().size() > 40);
        for (TProgramText* text : TProgramText::All()) {
            bool found = false;
            for (const TLanguageLine& line : custom)
                found = found || line.Name.compare(text->Key(), Qt::CaseInsensitive) == 0;
            QVERIFY2(found, text->Key());
        }
        auto w = NewWindow();
        // The pages and the explorer pane the window makes when first shown.
        for (TLazyPage* page : w->findChildren<TLazyPage*>())
            page->EnsureBuilt();
        w->Explorer();
        TfrmOptions options(w.get());
        TfrmAttachments attachments(w.get());
        TfrmAbout about(w.get(), QPixmap(), "v1", "https://example.org", "a@example.org");
        TfrmPelILogon logon(w.get());
        TfrmTnefParts tnefParts(w.get(), std::vector<pelmsg::TMailCandidate>(2));
        for (const TLanguageLine& line : ReadLanguageSection(german, "Translations")) {
            QStringList path = line.Name.split('.');
            QObject* form = path[0] == "frmOptions" ? static_cast<QObject*>(&options)
                : path[0] == "frmAttachments"       ? static_cast<QObject*>(&attachments)
                : path[0] == "frmMessage"           ? w->findChild<QWidget*>("frmMessage")
                : path[0] == "frmAbout"             ? static_cast<QObject*>(&about)
                : path[0] == "frmPelILogon"         ? static_cast<QObject*>(&logon)
                : path[0] == "frmTnefParts"         ? static_cast<QObject*>(&tnefParts)
                                                    : w.get();
            QObject* component = path.size() == 2 ? form : form->findChild<QObject*>(path[1]);
            QVERIFY2(component, qPrintable(line.Name));
            QVERIFY2(SetComponentProperty(component, path.last(), line.Value, "|"), qPrintable(line.Name));
        }
    }

    // Item 17: a partial language file keeps the texts of the language before it where it has none; switching back
    // to English needs no restart.
    void languageSwitchKeepsTheTextsAPartialFileLacks()
    {
        QVERIFY(InstallGerman());
        QVERIFY(
            quorra_test::WriteFile(home_->Path("program/languages/other.lng"), "[Custom]\nstrFileRecent=Recent!\n"));
        auto w = NewWindow({ "/LANG=german.lng" });
        QCOMPARE(w->findChild<QLabel*>("lblFileName")->text(), "Dateiname:");
        w->findChild<QMenu*>("miLanguage")->actions().at(2)->trigger(); // Other
        QCOMPARE(w->findChild<QLabel*>("lblFileName")->text(), "Dateiname:");
        QCOMPARE(w->findChild<QMenu*>("miFile")->title(), "&Datei");
        QCOMPARE(TProgramText::Find("strFileRecent")->Text(), "Recent!");
        w->findChild<QAction*>("miLanguageDefault")->trigger();
        QCOMPARE(w->findChild<QLabel*>("lblFileName")->text(), "File name:");
        QCOMPARE(w->findChild<QMenu*>("miFile")->title(), "&File");
        QCOMPARE(TProgramText::Find("strFileRecent")->Text(), TProgramText::Find("strFileRecent")->English());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
