// A large mail file's TNEF parts listed in a worker, driven through the window's open path: the chooser comes once
// the list is in, its Show opens the row chosen and its Cancel leaves the window as it was; Cancel in the listing's
// progress dialog, or a newer open, ends the listing without a chooser.

#include <QPushButton>
#include <QTreeWidget>

#include "mail_builder.h"
#include "pelmsg.h"
#include "test_data.h"
#include "tnef_builder.h"
#include "tnef_part_listing.h"
#include "viewer_app.h"
#include "window_fixture.h"
#include "work_progress.h"

using namespace quorra;
using quorra_test::TModalHandler;

class TestTnefPartListing : public quorra_test::TWindowTest {
    Q_OBJECT

    // An mbox of three mails, each with a TNEF part whose subject is "Mail 1", "Mail 2", "Mail 3".
    QString WriteMbox()
    {
        std::string mbox;
        for (int i = 1; i <= 3; ++i) {
            pelmsg::test::TnefBuilder tnef;
            tnef.Version().MessageClass("IPM.Note").Subject("Mail " + std::to_string(i) + std::string(1, '\0'));
            mbox += "From ann@example.org Tue Mar  3 10:00:00 2026\nSubject: x\nContent-Type: application/ms-tnef\n"
                    "Content-Transfer-Encoding: base64\n\n"
                + pelmsg::test::Base64Lines(tnef.Bytes(), "\n") + "\n";
        }
        return Write("three.mbox", mbox);
    }

    static QString Subject(const TfrmMain& w) { return QString::fromStdU16String(w.Message()->Subject()); }

private slots:
    void chooserComesOnceTheListIsIn_data()
    {
        quorra_test::AddRows<int>({ "row" }, { { "Show", 2 }, { "Cancel", -1 } });
    }
    void chooserComesOnceTheListIsIn()
    {
        QFETCH(int, row);
        const auto w = Shown(SamplePath());
        const QString before = Subject(*w);
        w->SetBackgroundWorkBytes(0);
        TModalHandler handler([row](QDialog* d) {
            if (qobject_cast<TWorkProgress*>(d))
                return; // shown when the listing passes half a second: it closes itself
            auto* list = d->findChild<QTreeWidget*>("lvParts");
            if (row >= 0)
                QTest::mouseClick(
                    list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(row)).center());
            d->findChild<QPushButton*>(row >= 0 ? "btnOK" : "btnCancel")->click();
        });
        QSignalSpy filled(w.get(), &TfrmMain::PagesFilled);
        w->OpenFile(WriteMbox());
        QSignalSpy gone(w->findChild<TTnefPartListing*>(), &QObject::destroyed);
        QVERIFY(gone.wait(60000));
        QVERIFY(handler.Seen().contains("frmTnefParts: Choose a TNEF part"));
        if (row >= 0)
            QVERIFY(filled.size() == 1 || filled.wait(60000));
        QCOMPARE(Subject(*w), row >= 0 ? QStringLiteral("Mail 3") : before);
    }

    // The worker is held back until the listing has ended from the user's view: by Cancel in its progress dialog,
    // or by a newer open.
    void endedListingAsksNothing_data()
    {
        quorra_test::AddRows<bool>({ "newer" }, { { "Cancel", false }, { "newer open", true } });
    }
    void endedListingAsksNothing()
    {
        QFETCH(bool, newer);
        const auto w = Shown(SamplePath());
        w->SetBackgroundWorkBytes(0);
        quorra_test::THeldWorkers held;
        TModalHandler handler([](QDialog* d) {
            if (!qobject_cast<TWorkProgress*>(d))
                d->reject();
        });
        QSignalSpy filled(w.get(), &TfrmMain::PagesFilled);
        const QString before = Subject(*w);
        w->OpenFile(WriteMbox());
        auto* progress = w->findChild<TWorkProgress*>();
        QSignalSpy gone(w->findChild<TTnefPartListing*>(), &QObject::destroyed);
        QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 10000);
        QVERIFY(progress->labelText().contains("three.mbox ...\nTNEF parts found so far: 0"));
        if (newer)
            w->OpenFile(
                Write("new.tnef", pelmsg::test::TnefBuilder().Version().Subject(std::string("Newer\0", 6)).Bytes()));
        else
            progress->findChild<QPushButton*>()->click();
        QVERIFY(!progress->isVisible());
        held.Release();
        QVERIFY(gone.wait(60000));
        QVERIFY(!newer || filled.size() == 1 || filled.wait(60000));
        QCOMPARE(Subject(*w), newer ? QStringLiteral("Newer") : before);
        QVERIFY(!handler.Seen().join(u'\n').contains("frmTnefParts"));
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestTnefPartListing test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_tnef_part_listing.moc"
