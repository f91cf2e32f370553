// The chooser for mail files with several TNEF parts, driven as a user drives it: the window opens such a file,
// the dialog lists the parts, and the row the user activates (Enter, a double click) is the message shown; Escape
// leaves the window as it was. A mail with one TNEF part opens without asking.

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QtTest>

#include "mail_builder.h"
#include "open_document.h"
#include "pelmsg.h"
#include "qt_glue.h"
#include "test_data.h"
#include "tnef_builder.h"
#include "tnef_part_dialog.h"
#include "window_test_support.h"

using namespace quorra;
using namespace quorra_test;
using namespace pelmsg::test;

namespace {

// A TNEF message with its own subject; a meeting request from Eva, with her address, when `sender`.
std::string Tnef(const std::string& subject, bool sender = false)
{
    TnefBuilder tnef;
    tnef.Version().MessageClass(sender ? "IPM.Schedule.Meeting.Request" : "IPM.Note");
    tnef.Subject(subject + std::string(1, '\0'));
    if (sender)
        tnef.MapiProps(TnefPropList().String8(0x0042, "Eva Roth").String8(0x5D01, "eva@example.de"));
    return tnef.Bytes();
}

std::string TnefPart(const std::string& name, const std::string& tnef)
{
    return "Content-Type: application/ms-tnef; name=\"" + name + "\"\nContent-Transfer-Encoding: base64\n\n"
        + Base64Lines(tnef, "\n");
}

// A mail from Ann with a TNEF part for each subject; an mbox of two such mails when `mbox`.
QString WriteMail(const TIsolatedHome& home, const QString& name, const std::vector<std::string>& subjects, bool mbox)
{
    std::string mail = "From: Ann <ann@example.org>\nSubject: Two winmail.dat\nMIME-Version: 1.0\n"
                       "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nHello\n";
    for (size_t i = 0; i < subjects.size(); ++i)
        mail += "--b\n" + TnefPart("winmail" + std::to_string(i + 1) + ".dat", Tnef(subjects[i], i == 1));
    mail += "--b--\n";
    if (mbox)
        mail = "From ann@example.org Tue Mar  3 10:00:00 2026\n" + mail
            + "\nFrom bob@example.org Tue Mar  3 10:00:00 "
              "2026\nFrom: Bob <bob@example.org>\nSubject: Third\nContent-Type: application/ms-tnef\n"
              "Content-Transfer-Encoding: base64\n\n"
            + Base64Lines(Tnef("Third"), "\n");
    const QString path = home.Path("home/" + name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(mail.data(), static_cast<qint64>(mail.size()));
    return path;
}

QString ShownSubject(const TfrmMain& window)
{
    return window.Message() ? QString::fromStdU16String(window.Message()->Subject()) : QString();
}

} // namespace

class TTnefPartDialogTest : public QObject {
    Q_OBJECT

private slots:
    // Which row the user activates, by which key, and the subject the window then shows.
    void windowShowsThePartTheUserChooses_data()
    {
        quorra_test::AddRows<bool, int, int, QString>({ "mbox", "row", "rows", "subject" },
            {
                { "first part, Enter", false, 0, 2, "First" },
                { "second part, Enter", false, 1, 2, "Second" },
                { "mbox, the second mail's part", true, 2, 3, "Third" },
            });
    }
    void windowShowsThePartTheUserChooses()
    {
        QFETCH(bool, mbox);
        QFETCH(int, row);
        QFETCH(int, rows);
        QFETCH(QString, subject);
        TIsolatedHome home;
        const QString path = WriteMail(home, "two.eml", { "First", "Second" }, mbox);
        auto window = home.NewWindow({ "/noini" });
        window->show();
        int listed = -1;
        bool mailColumnShown = false;
        QStringList rowSubjects;
        {
            TModalHandler handler(
                [&](QDialog* dialog) {
                    auto* list = dialog->findChild<QTreeWidget*>("lvParts");
                    listed = list->topLevelItemCount();
                    mailColumnShown = !list->isColumnHidden(0);
                    for (int i = 0; i < listed; ++i)
                        rowSubjects << list->topLevelItem(i)->text(2);
                    list->setFocus();
                    // Down arrow to the row, then Enter: the list's own itemActivated accepts.
                    for (int i = 0; i < row; ++i)
                        QTest::keyClick(list, Qt::Key_Down);
                    QTest::keyClick(list, Qt::Key_Return);
                },
                1);
            window->OpenFile(path);
        }
        QCOMPARE(listed, rows);
        QCOMPARE(mailColumnShown, mbox);
        // Each row with its part's own subject, as the window then shows it.
        QCOMPARE(rowSubjects.mid(0, 2), QStringList({ "First", "Second" }));
        QVERIFY(window->Document());
        QCOMPARE(window->Document()->LoadError(), QString());
        QCOMPARE(ShownSubject(*window), subject);
    }

    void cancellingKeepsTheWindowAsItWas()
    {
        TIsolatedHome home;
        const QString path = WriteMail(home, "two.eml", { "First", "Second" }, false);
        auto window = home.NewWindow({ "/noini", TESSALY_SOURCE_DIR "/samples/winmail.dat" });
        window->show();
        const QString before = ShownSubject(*window);
        QVERIFY(!before.isEmpty());
        {
            TModalHandler handler([](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }, 1);
            window->OpenFile(path);
        }
        QCOMPARE(ShownSubject(*window), before);
    }

    void oneTnefPartOpensWithoutAsking()
    {
        TIsolatedHome home;
        const QString path = WriteMail(home, "one.eml", { "Only" }, false);
        auto window = home.NewWindow({ "/noini" });
        TModalHandler handler;
        window->OpenFile(path);
        QCOMPARE(handler.Count(), 0);
        QCOMPARE(ShownSubject(*window), QStringLiteral("Only"));
        bool cancelled = true;
        QVERIFY(!ChooseTnefPart(window.get(), path, cancelled));
        QVERIFY(!cancelled);
    }

    // The rows say where each part is and what it is: its own subject and sender (the mail's where it has none),
    // its kind when it is no mail message, the part's name and size.
    void rowsDescribeEachPart()
    {
        TIsolatedHome home;
        const QString path = WriteMail(home, "two.eml", { "First", "Second" }, false);
        const auto candidates = pelmsg::ListTnefCandidates(S(path));
        TfrmTnefParts dialog(nullptr, candidates);
        auto* list = dialog.findChild<QTreeWidget*>("lvParts");
        QCOMPARE(list->topLevelItemCount(), 2);
        QTreeWidgetItem* first = list->topLevelItem(0);
        QTreeWidgetItem* second = list->topLevelItem(1);
        QCOMPARE(first->text(3), QStringLiteral("Ann <ann@example.org>"));
        QCOMPARE(first->text(6), QString());
        QCOMPARE(second->text(1), QStringLiteral("2"));
        QCOMPARE(second->text(2), QStringLiteral("Second"));
        QCOMPARE(second->text(3), QStringLiteral("\"Eva Roth\" <eva@example.de>"));
        QCOMPARE(second->text(4), QStringLiteral("winmail2.dat"));
        QCOMPARE(second->text(6), QStringLiteral("Meeting request"));
        QVERIFY(!list->isColumnHidden(6));
        QCOMPARE(candidates[1].Bytes, Tnef("Second", true).size());
        QVERIFY(!second->text(5).isEmpty());
        // A click on Show takes the selected row; nothing selected, Show is disabled.
        dialog.Select(1);
        QCOMPARE(dialog.Chosen(), std::optional<size_t>(1));
        list->clearSelection();
        QVERIFY(!dialog.findChild<QPushButton*>("btnOK")->isEnabled());
        // A listing cut at its limit says so.
        QVERIFY(!dialog.findChild<QLabel*>("lblListCut"));
        TfrmTnefParts cut(nullptr, std::vector<pelmsg::TMailCandidate>(pelmsg::kMaxTnefCandidates));
        QCOMPARE(cut.findChild<QLabel*>("lblListCut")->text(), "Only the first 10,000 TNEF parts are listed.");
    }

    // A mail named at start-up asks only once the window is shown, so that the chooser comes up over it.
    void mailNamedAtStartAsksOverTheShownWindow()
    {
        TIsolatedHome home;
        const QString path = WriteMail(home, "two.eml", { "First", "Second" }, false);
        bool overShownWindow = false;
        // Behind the chooser no document is open yet: only what needs none (Open, Close) is enabled.
        QStringList enabled;
        TModalHandler handler(
            [&](QDialog* dialog) {
                overShownWindow = dialog->parentWidget() && dialog->parentWidget()->isVisible();
                for (QAction* action : dialog->parentWidget()->findChildren<QAction*>(
                         QRegularExpression("^(btn(SaveAs|Close|Convert)|miFile.*)$")))
                    if (action->isEnabled())
                        enabled << action->objectName();
                dialog->accept();
            },
            1);
        auto window = home.NewWindow({ "/noini", S(path) });
        QCOMPARE(handler.Count(), 0);
        window->show();
        QTRY_COMPARE(handler.Count(), 1);
        QVERIFY(overShownWindow);
        enabled.sort();
        QCOMPARE(enabled, QStringList({ "btnClose", "btnConvert", "miFileExit" }));
        QCOMPARE(ShownSubject(*window), QStringLiteral("First"));
    }
};

QTEST_MAIN(TTnefPartDialogTest)
#include "tst_tnef_part_dialog.moc"
