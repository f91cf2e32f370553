// The explorer pane: the wildcard test, the recent and favorite lists with their three views, the workspace tree
// rebuilt after every change, the file tree's icons by filter, folders that cannot be listed, and a folder of
// 100,000 entries listed in batches while the event loop runs.

#include <fcntl.h>
#include <unistd.h>

#include <QComboBox>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

#include "explorer_pane.h"
#include "window_fixture.h"

using namespace quorra;
using quorra_test::TModalHandler;

class TestExplorerPane : public quorra_test::TWindowTest {
    Q_OBJECT

private:
    QString Sample(const QString& name) const { return home_->Copy(TESSALY_SOURCE_DIR "/samples/winmail.dat", name); }

    static QStringList Children(const QTreeWidgetItem* node)
    {
        QStringList texts;
        for (int i = 0; node && i < node->childCount(); ++i)
            texts << TExplorerPane::NodeText(node->child(i));
        return texts;
    }
    static QStringList ReopenCaptions(TfrmMain& w)
    {
        QStringList captions;
        for (QAction* a : w.findChild<QMenu*>("miReopen")->actions())
            captions << a->text();
        return captions;
    }
    static QStringList BoxList(TfrmMain& w)
    {
        auto* box = w.findChild<QComboBox*>("cbFileName");
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }
    static QTreeWidgetItem* ChildNamed(QTreeWidgetItem* node, const QString& text)
    {
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->text(0) == text)
                return node->child(i);
        return nullptr;
    }
    // The home folder's item in the file tree (shown), listed; nullptr when the tree does not start there.
    static QTreeWidgetItem* ListedHome(TfrmMain& w)
    {
        if (!w.Actions().miViewFileTree->isChecked())
            w.Actions().miViewFileTree->trigger();
        QTreeWidgetItem* home = w.Explorer()->Files()->topLevelItem(0);
        if (!home || home->text(0) != QDir::homePath())
            return nullptr;
        w.Explorer()->FillFolder(home);
        w.Explorer()->FinishListing();
        return home;
    }

    // Shows the pane and opens the folder "home/<sub>" of the isolated home in the file tree.
    static QTreeWidgetItem* ListHomeFolder(TfrmMain& w, const QString& sub)
    {
        QTreeWidgetItem* home = ListedHome(w);
        QTreeWidgetItem* folder = home ? ChildNamed(home, sub) : nullptr;
        if (!folder)
            return nullptr;
        w.Explorer()->FillFolder(folder);
        w.Explorer()->FinishListing();
        return folder;
    }
    static void Touch(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void matchesMask_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<bool>("matches");
        QTest::newRow("equal") << "winmail.dat" << "winmail.dat" << false << true;
        QTest::newRow("both empty are equal") << "" << "" << true << true;
        QTest::newRow("star matches all") << "anything" << "*" << false << true;
        QTest::newRow("star dot star matches a name without dot") << "README" << "*.*" << false << true;
        QTest::newRow("double stars are one") << "README" << "**.**" << false << true;
        QTest::newRow("star matches an empty name") << "" << "*" << false << true;
        QTest::newRow("empty name") << "" << "a*" << true << false;
        QTest::newRow("empty mask") << "a" << "" << true << false;
        QTest::newRow("extension") << "mail.tnef" << "*.tnef" << false << true;
        QTest::newRow("extension case") << "MAIL.TNEF" << "*.tnef" << false << false;
        QTest::newRow("extension ignoring case") << "MAIL.TNEF" << "*.tnef" << true << true;
        QTest::newRow("whole name consumed") << "mail.tnef.bak" << "*.tnef" << true << false;
        QTest::newRow("question mark one character") << "winmail1.dat" << "winmail?.dat" << true << true;
        QTest::newRow("question mark not none") << "winmail.dat" << "winmail?.dat" << true << false;
        QTest::newRow("star runs none") << "winmail.dat" << "winmail*.dat" << true << true;
        QTest::newRow("star runs several") << "winmail (2).dat" << "winmail*.dat" << true << true;
        QTest::newRow("star backtracks") << "a.b.c.tnef" << "*.*.tnef" << true << true;
        QTest::newRow("trailing stars") << "abc" << "abc**" << false << true;
        QTest::newRow("literal only") << "abc" << "abd" << false << false;
        QTest::newRow("umlaut ignoring case") << "ÄNDERUNG.TNEF" << "änderung.*" << true << true;
        QTest::newRow("long run of stars stays fast")
            << QString(200, 'a') << QString(100, QChar('*')) + "b" << false << false;
    }

    void matchesMask()
    {
        QFETCH(QString, name);
        QFETCH(QString, mask);
        QFETCH(bool, ignoreCase);
        QFETCH(bool, matches);
        QCOMPARE(MatchesMask(name, mask, ignoreCase), matches);
    }

    void tnefPatternComesFromTheFilterText()
    {
        QCOMPARE(TnefFilterPattern("WinMail.dat|winmail*.dat|TNEF messages (*.tnef)|*.tnef"), "*.tnef");
        QCOMPARE(TnefFilterPattern("TNEF-Nachrichten (*.tnef)|*.tnef|Alle|*"), "*.tnef|Alle|*");
        QCOMPARE(TnefFilterPattern("no pattern here"), QString());
    }

    void pseudoFileSystemsAreLeftOut_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<bool>("pseudo");
        QTest::newRow("proc") << "proc" << "/proc" << true;
        QTest::newRow("cgroup2") << "cgroup2" << "/sys/fs/cgroup" << true;
        QTest::newRow("tmpfs under run") << "tmpfs" << "/run/user/1000" << true;
        QTest::newRow("shared memory") << "tmpfs" << "/dev/shm" << true;
        QTest::newRow("snap squashfs") << "squashfs" << "/snap/core/1" << true;
        QTest::newRow("root") << "ext4" << "/" << false;
        QTest::newRow("tmp") << "tmpfs" << "/tmp" << false;
        QTest::newRow("stick") << "vfat" << "/run/media/ann/STICK" << false;
        QTest::newRow("runner is not run") << "ext4" << "/runner" << false;
    }

    void pseudoFileSystemsAreLeftOut()
    {
        QFETCH(QString, type);
        QFETCH(QString, mountPoint);
        QFETCH(bool, pseudo);
        QCOMPARE(IsPseudoFileSystem(type, mountPoint), pseudo);
    }

    void rootsAreHomeThenMountedFolders()
    {
        const std::vector<TFileSystemRoot> roots = FileSystemRoots();
        QVERIFY(roots.size() >= 2);
        QCOMPARE(roots.front().Path, QDir::homePath());
        QSet<QString> seen;
        for (const TFileSystemRoot& r : roots) {
            QVERIFY2(QFileInfo(r.Path).isDir(), qPrintable(r.Path));
            QVERIFY2(!r.Path.startsWith("/proc") && !r.Path.startsWith("/sys"), qPrintable(r.Path));
            QVERIFY2(!seen.contains(r.Path), qPrintable(r.Path));
            seen.insert(r.Path);
        }
        QVERIFY(seen.contains("/"));
    }

    void reopenNumbersTheRecentFilesNewestFirst()
    {
        const QString a = Sample("a.tnef"), b = Sample("b.tnef");
        auto w = NewWindow();
        w->OpenFile(a);
        w->OpenFile(b);
        w->OpenFile(a);
        QCOMPARE(w->Settings().RecentFiles, (std::vector<std::string> { a.toStdString(), b.toStdString() }));
        QCOMPARE(ReopenCaptions(*w), (QStringList { "&0 " + a, "&1 " + b }));
        QCOMPARE(BoxList(*w), (QStringList { a, b }));
        // Choosing a Reopen item opens its path.
        w->findChild<QMenu*>("miReopen")->actions().at(1)->trigger();
        QCOMPARE(w->FileName(), b);
        QCOMPARE(ReopenCaptions(*w).first(), "&0 " + b);
    }

    void workspaceListsOpenedRecentAndFavorites()
    {
        const QString a = Sample("a.tnef"), b = Sample("b.tnef");
        {
            auto first = NewWindow();
            first->OpenFile(a);
            first->OpenFile(b);
            first->Settings().FavoriteFiles = { a.toStdString() };
            first->close();
        }
        auto w = NewWindow();
        w->Actions().miViewFileTree->trigger();
        TExplorerPane* pane = w->Explorer();
        QVERIFY(pane->isVisibleTo(w.get()));
        // Before the first load: nothing opened, every recent entry listed.
        QCOMPARE(Children(pane->OpenedRoot()), QStringList());
        QCOMPARE(Children(pane->RecentRoot()), (QStringList { b, a }));
        QCOMPARE(Children(pane->FavoritesRoot()), QStringList { a });
        QCOMPARE(TExplorerPane::NodeIcon(pane->OpenedRoot()), 8);
        QCOMPARE(TExplorerPane::NodeIcon(pane->RecentRoot()), 1);
        QCOMPARE(TExplorerPane::NodeIcon(pane->FavoritesRoot()), 7);
        QVERIFY(pane->RecentRoot()->isExpanded());

        // After a load the open file is under "Opened files" and no longer under "Recent files".
        w->OpenFile(a);
        QCOMPARE(Children(pane->OpenedRoot()), QStringList { a });
        QCOMPARE(Children(pane->RecentRoot()), QStringList { b });
        QCOMPARE(TExplorerPane::NodeIcon(pane->RecentRoot()->child(0)), 4);
        // A file shows its name; its path is the tooltip.
        QCOMPARE(pane->OpenedRoot()->child(0)->text(0), "a.tnef");
        QCOMPARE(pane->OpenedRoot()->child(0)->toolTip(0), a);

        // A double-click on a recent file opens it.
        pane->Workspace()->setCurrentItem(pane->RecentRoot()->child(0));
        pane->tvFilesDblClick(pane->Workspace());
        QCOMPARE(w->FileName(), b);
        QCOMPARE(Children(pane->OpenedRoot()), QStringList { b });
        QCOMPARE(Children(pane->RecentRoot()), QStringList { a });
        // A root opens nothing.
        pane->Workspace()->setCurrentItem(pane->FavoritesRoot());
        pane->tvFilesDblClick(pane->Workspace());
        QCOMPARE(w->FileName(), b);
    }

    void deletingARecentEntryUpdatesMenuBoxAndTreeAtOnce()
    {
        const QString a = Sample("a.tnef"), b = Sample("b.tnef"), c = Sample("c.tnef");
        auto w = NewWindow();
        w->OpenFile(a);
        w->OpenFile(b);
        w->OpenFile(c);
        w->Actions().miViewFileTree->trigger();
        TExplorerPane* pane = w->Explorer();
        QCOMPARE(Children(pane->RecentRoot()), (QStringList { b, a }));

        QTreeWidgetItem* entry = pane->RecentRoot()->child(1); // a
        pane->Workspace()->setCurrentItem(entry);
        pane->pmFileExplorerPopup(pane->Workspace());
        QVERIFY(w->findChild<QAction*>("miDeleteFromRecent")->isEnabled());
        QVERIFY(!w->findChild<QAction*>("mniDeleteFromFavorites")->isEnabled());
        QVERIFY(w->findChild<QAction*>("mniAddFileToFaforites")->isEnabled());

        {
            // "No" keeps the entry.
            TModalHandler no([](QDialog* d) { static_cast<QMessageBox*>(d)->done(QMessageBox::No); });
            pane->miDeleteFromRecentClick();
            QCOMPARE(no.Count(), 1);
            QCOMPARE(no.Seen().first(), "Are you sure that you want to delete the selected file (" + a + ") from Recent?");
        }
        QCOMPARE(BoxList(*w), (QStringList { c, b, a }));
        {
            TModalHandler yes([](QDialog* d) { static_cast<QMessageBox*>(d)->done(QMessageBox::Yes); });
            pane->Workspace()->setCurrentItem(pane->RecentRoot()->child(1));
            pane->pmFileExplorerPopup(pane->Workspace());
            pane->miDeleteFromRecentClick();
            QCOMPARE(yes.Count(), 1);
        }
        QCOMPARE(w->Settings().RecentFiles, (std::vector<std::string> { c.toStdString(), b.toStdString() }));
        QCOMPARE(ReopenCaptions(*w), (QStringList { "&0 " + c, "&1 " + b }));
        QCOMPARE(BoxList(*w), (QStringList { c, b }));
        QCOMPARE(Children(pane->RecentRoot()), QStringList { b });
        QCOMPARE(w->FileName(), c);
    }

    void favoritesKeepOneEntryPerFileAndAsk()
    {
        const QString a = Sample("a.tnef");
        auto w = NewWindow();
        w->OpenFile(a);
        w->Actions().miViewFileTree->trigger();
        TExplorerPane* pane = w->Explorer();
        QTreeWidget* tree = pane->Workspace();
        for (int i = 0; i < 2; ++i) {
            tree->setCurrentItem(pane->OpenedRoot()->child(0));
            pane->pmFileExplorerPopup(tree);
            QVERIFY(!w->findChild<QAction*>("miDeleteFromRecent")->isEnabled());
            pane->mniAddFileToFaforitesClick();
        }
        QCOMPARE(w->Settings().FavoriteFiles, std::vector<std::string> { a.toStdString() });
        QCOMPARE(Children(pane->FavoritesRoot()), QStringList { a });

        // On a favorite only "Delete from favorites" is offered.
        tree->setCurrentItem(pane->FavoritesRoot()->child(0));
        pane->pmFileExplorerPopup(tree);
        QVERIFY(w->findChild<QAction*>("mniDeleteFromFavorites")->isEnabled());
        QVERIFY(!w->findChild<QAction*>("mniAddFileToFaforites")->isEnabled());
        QVERIFY(!w->findChild<QAction*>("miDeleteFromRecent")->isEnabled());
        TModalHandler yes([](QDialog* d) { static_cast<QMessageBox*>(d)->done(QMessageBox::Yes); });
        pane->mniDeleteFromFavoritesClick();
        QCOMPARE(yes.Seen(), QStringList { "Are you sure that you want to delete the selected file (" + a + ") from Favorites?" });
        QVERIFY(w->Settings().FavoriteFiles.empty());
        QCOMPARE(Children(pane->FavoritesRoot()), QStringList());

        // On a root nothing is offered.
        tree->setCurrentItem(pane->RecentRoot());
        pane->pmFileExplorerPopup(tree);
        for (QAction* action : pane->PopupMenu()->actions())
            QVERIFY(!action->isEnabled());
        // The favorites are written with the settings.
        w->Settings().FavoriteFiles = { a.toStdString() };
        w->close();
        QVERIFY(home_->SettingsText().contains("[FavoriteFiles]\r\nCount=1\r\nItem1=" + a));
    }

    void fileTreeIconsFollowTheFilter()
    {
        QDir().mkpath(home_->Path("home/mail/sub"));
        const QString tnef = home_->Copy(TESSALY_SOURCE_DIR "/samples/winmail.dat", "mail/a.tnef");
        home_->Copy(TESSALY_SOURCE_DIR "/samples/winmail.dat", "mail/winmail.dat");
        Touch(home_->Path("home/mail/note.msg"));
        auto w = NewWindow();
        TExplorerPane* pane = w->Explorer();
        QTreeWidgetItem* mail = ListHomeFolder(*w, "mail");
        QVERIFY(mail);
        QComboBox* filter = pane->FilterBox();
        QCOMPARE(filter->count(), 2);
        QCOMPARE(filter->itemText(0), "*.*");
        QCOMPARE(filter->itemText(1), "*.tnef");
        QCOMPARE(TExplorerPane::NodeIcon(pane->Files()->topLevelItem(0)), 5);
        QCOMPARE(TExplorerPane::NodeIcon(ChildNamed(mail, "sub")), 1);
        QCOMPARE(TExplorerPane::NodeIcon(ChildNamed(mail, "a.tnef")), 4);
        QCOMPARE(TExplorerPane::NodeIcon(ChildNamed(mail, "winmail.dat")), 6);
        QCOMPARE(TExplorerPane::NodeIcon(ChildNamed(mail, "note.msg")), 6);
        QCOMPARE(TExplorerPane::NodePath(ChildNamed(mail, "a.tnef")), tnef);

        // winmail.dat does not open by double-click; a.tnef does.
        pane->Files()->setCurrentItem(ChildNamed(mail, "winmail.dat"));
        pane->tvFilesDblClick(pane->Files());
        QVERIFY(!w->Message());
        pane->Files()->setCurrentItem(ChildNamed(mail, "a.tnef"));
        pane->tvFilesDblClick(pane->Files());
        QCOMPARE(w->FileName(), tnef);
        QVERIFY(w->Message());

        // A file can become a favorite from the file tree, a folder cannot.
        pane->Files()->setCurrentItem(ChildNamed(mail, "sub"));
        pane->pmFileExplorerPopup(pane->Files());
        QVERIFY(!w->findChild<QAction*>("mniAddFileToFaforites")->isEnabled());
        pane->Files()->setCurrentItem(ChildNamed(mail, "note.msg"));
        pane->pmFileExplorerPopup(pane->Files());
        QVERIFY(w->findChild<QAction*>("mniAddFileToFaforites")->isEnabled());
        pane->mniAddFileToFaforitesClick();
        QCOMPARE(Children(pane->FavoritesRoot()), QStringList { home_->Path("home/mail/note.msg") });

        // "*.tnef" chosen from the list: a folder listed now shows only TNEF files, all openable.
        QDir().mkpath(home_->Path("home/second"));
        home_->Copy(TESSALY_SOURCE_DIR "/samples/winmail.dat", "second/b.tnef");
        home_->Copy(TESSALY_SOURCE_DIR "/samples/winmail.dat", "second/c.TNEF");
        Touch(home_->Path("home/second/other.txt"));
        filter->setCurrentIndex(1);
        QTreeWidgetItem* home = pane->Files()->topLevelItem(0);
        QTreeWidgetItem* second = ChildNamed(home, "second");
        QVERIFY(!second); // the home folder was listed before "second" existed and is not listed again
        pane->FillFolder(home); // no effect: a folder is listed once
        QVERIFY(!ChildNamed(home, "second"));

        auto w2 = NewWindow();
        TExplorerPane* pane2 = w2->Explorer();
        w2->Actions().miViewFileTree->trigger();
        pane2->FilterBox()->setCurrentIndex(1);
        second = ListHomeFolder(*w2, "second");
        QVERIFY(second);
        QCOMPARE(Children(second).size(), 2);
        for (int i = 0; i < second->childCount(); ++i)
            QCOMPARE(TExplorerPane::NodeIcon(second->child(i)), 4);

        // A typed mask that is not in the list: only matching files, none openable.
        pane2->FilterBox()->setEditText("*.msg");
        QTreeWidgetItem* mail2 = ChildNamed(pane2->Files()->topLevelItem(0), "mail");
        pane2->FillFolder(mail2);
        pane2->FinishListing();
        QStringList listed = Children(mail2);
        listed.sort();
        QCOMPARE(listed, (QStringList { "note.msg", "sub" }));
        QCOMPARE(TExplorerPane::NodeIcon(ChildNamed(mail2, "note.msg")), 6);
    }

    void folderThatCannotBeListedLosesItsExpandButton()
    {
        QDir().mkpath(home_->Path("home/gone"));
        QDir().mkpath(home_->Path("home/empty"));
        QDir().mkpath(home_->Path("home/full/inner"));
        auto w = NewWindow();
        TExplorerPane* pane = w->Explorer();
        QTreeWidgetItem* home = ListedHome(*w);
        QVERIFY(home);
        QTreeWidgetItem* gone = ChildNamed(home, "gone");
        QTreeWidgetItem* empty = ChildNamed(home, "empty");
        QTreeWidgetItem* full = ChildNamed(home, "full");
        QVERIFY(gone && empty && full);
        QCOMPARE(gone->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QVERIFY(QDir(home_->Path("home/gone")).removeRecursively());
        // Expanding lists the folder; one that is gone or empty gets no children and no expand button.
        gone->setExpanded(true);
        empty->setExpanded(true);
        full->setExpanded(true);
        pane->FinishListing();
        QCOMPARE(gone->childCount(), 0);
        QCOMPARE(gone->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
        QCOMPARE(empty->childCount(), 0);
        QCOMPARE(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
        QCOMPARE(Children(full), QStringList { "inner" });
        if (::geteuid() != 0) {
            // Without the right to read it (root may read everything).
            QDir().mkpath(home_->Path("home/locked/x"));
            QFile::setPermissions(home_->Path("home/locked"), QFileDevice::Permissions());
            QTreeWidgetItem* locked = pane->AddTreeNode(pane->Files(), home, true, "locked");
            pane->FillFolder(locked);
            pane->FinishListing();
            QCOMPARE(locked->childCount(), 0);
            QFile::setPermissions(home_->Path("home/locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    }

    void hundredThousandEntriesAreListedInBatches()
    {
        const int entries = 100000;
        // In memory when the machine has a memory file system: the disk is not what is tested here.
        std::unique_ptr<QTemporaryDir> memory;
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            memory = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/quorra-test-XXXXXX"));
        const QString folder = memory && memory->isValid() ? memory->path() : home_->Path("huge");
        QDir().mkpath(folder);
        if (memory && memory->isValid())
            QVERIFY(QFile::link(folder, home_->Path("home/huge")));
        else
            QVERIFY(QFile::link(folder, home_->Path("home/huge")));
        for (int i = 0; i < entries; ++i) {
            const QByteArray name = (folder + QString("/m%1.tnef").arg(i)).toLocal8Bit();
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        auto w = NewWindow();
        TExplorerPane* pane = w->Explorer();
        QTreeWidgetItem* home = ListedHome(*w);
        QVERIFY(home);
        QTreeWidgetItem* huge = ChildNamed(home, "huge");
        QVERIFY(huge);
        const int before = pane->ListedBatches();
        huge->setExpanded(true);
        // The expansion returns after one batch; the rest comes from the event loop, which keeps running.
        QCOMPARE(huge->childCount(), TExplorerPane::kListingBatch);
        QVERIFY(pane->Listing());
        int timerRuns = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++timerRuns; });
        ticker.start(0);
        // The event loop as the window runs it: every pass handles what is pending, one batch among it.
        while (pane->Listing())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        ticker.stop();
        QCOMPARE(huge->childCount(), entries);
        QCOMPARE(pane->ListedBatches() - before, entries / TExplorerPane::kListingBatch);
        // Other events were handled between the batches.
        QVERIFY2(timerRuns >= entries / TExplorerPane::kListingBatch - 1, qPrintable(QString::number(timerRuns)));
    }

    void titleBarCloseButtonHidesThePane()
    {
        auto w = NewWindow();
        w->resize(800, 600);
        w->show();
        w->Actions().miViewFileTree->trigger();
        TExplorerPane* pane = w->Explorer();
        QVERIFY(pane->isVisible());
        QCOMPARE(pane->Files()->topLevelItem(0)->text(0), QDir::homePath());
        QWidget* caption = w->findChild<QWidget*>("pbCaption");
        QVERIFY(caption);
        // A press left of the button leaves it open.
        QTest::mouseClick(caption, Qt::LeftButton, {}, QPoint(caption->width() / 2, caption->height() / 2));
        QVERIFY(pane->isVisible());
        QTest::mouseClick(caption, Qt::LeftButton, {}, QPoint(caption->width() - 6, caption->height() / 2));
        QVERIFY(!pane->isVisible());
        QVERIFY(!w->Actions().miViewFileTree->isChecked());
        // The drives are read once.
        QTreeWidgetItem* first = pane->Files()->topLevelItem(0);
        w->Actions().miViewFileTree->trigger();
        QCOMPARE(pane->Files()->topLevelItem(0), first);
    }
};

QTEST_MAIN(TestExplorerPane)
#include "tst_explorer_pane.moc"
