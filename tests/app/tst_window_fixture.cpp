// The window tests' own set-up: the modal-dialog handler answers the dialog it expects, and fails the test when
// the dialog never appears.

#include "window_fixture.h"

using quorra_test::TModalHandler;

class TestWindowFixture : public quorra_test::TWindowTest {
    Q_OBJECT

private slots:
    void modalHandlerAnswersTheDialogItExpects()
    {
        const auto w = NewWindow();
        TModalHandler dialogs(1);
        w->Actions().miOptions->trigger();
        QCOMPARE(dialogs.Count(), 1);
        QCOMPARE(dialogs.Seen(), QStringList { "frmOptions: Preferences" });
    }

    void modalHandlerFailsWhenTheExpectedDialogNeverAppears()
    {
        const auto w = NewWindow();
        QEXPECT_FAIL("", "the command opens no dialog", Continue);
        {
            TModalHandler dialogs(1);
            w->Actions().miViewFileTree->trigger();
        }
        // Had the handler not failed, this check would be the one expected to fail; it passes, and an unexpected
        // pass fails the test.
        QVERIFY(!QTest::currentTestFailed());
    }
};

QTEST_MAIN(TestWindowFixture)
#include "tst_window_fixture.moc"
