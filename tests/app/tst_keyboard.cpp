// Every shortcut of the window, pressed as a user presses it, and what it did.

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QUrl>

#include "desktop_services.h"
#include "message_preview.h"
#include "test_data.h"
#include "window_fixture.h"

using namespace quorra;
using quorra_test::TModalHandler;

class TestKeyboard : public quorra_test::TWindowTest {
    Q_OBJECT

    static TfrmMessage* Preview(TfrmMain& w) { return w.Preview(); }
    static QTextEdit* PlainBody(TfrmMain& w)
    {
        auto* tabs = Preview(w)->findChild<QTabWidget*>("pcBody");
        tabs->setTabVisible(tabs->indexOf(Preview(w)->findChild<QWidget*>("tsPlainText")), true);
        tabs->setCurrentWidget(Preview(w)->findChild<QWidget*>("tsPlainText"));
        return Preview(w)->findChild<QTextEdit*>("reBody");
    }

private slots:
    // Each command that opens a dialog opens exactly one from its key; the menus show the key.
    void dialogKeys_data()
    {
        quorra_test::AddRows<QString, QString>({ "keys", "action" },
            {
                { "open", "Ctrl+O", "miOpen" },
                { "save as", "Ctrl+S", "miFileSaveAs" },
                { "print", "Ctrl+P", "miFilePrint" },
                { "print preview", "Ctrl+Shift+P", "miFilePreview" },
                { "find", "Ctrl+F", "btnFindText" },
            });
    }
    void dialogKeys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, action);
        auto w = Shown(SamplePath());
        QAction* item = w->findChild<QAction*>(action);
        QVERIFY(item);
        QCOMPARE(item->shortcut(), QKeySequence(keys));
        if (action == "btnFindText") {
            QTest::keySequence(w.get(), QKeySequence(keys));
            QTRY_VERIFY(Preview(*w)->findChild<QDialog*>("FindDialog")->isVisible());
            return;
        }
        TModalHandler dialogs(1);
        QTest::keySequence(w.get(), QKeySequence(keys));
        QTRY_COMPARE(dialogs.Count(), 1);
    }

    // F3 and Shift+F3 go from hit to hit, forward and back, round the ends.
    void findNextAndPrevious()
    {
        auto w = Shown(SamplePath());
        QTextEdit* body = PlainBody(*w);
        body->setPlainText(QStringLiteral("alpha beta\nbeta gamma\nbeta"));
        Preview(*w)->findChild<QLineEdit*>("edFindText")->setText(QStringLiteral("beta"));
        QList<int> starts;
        for (const char* key : { "F3", "F3", "F3", "F3", "Shift+F3", "Shift+F3" }) {
            QTest::keySequence(w.get(), QKeySequence(QLatin1String(key)));
            starts << body->textCursor().selectionStart();
        }
        QCOMPARE(starts, (QList<int> { 6, 11, 22, 6, 22, 11 }));
    }

    // Ctrl++, Ctrl+- and Ctrl+0 zoom the plain and the rich text, explicit sizes too, and come back exactly.
    void zoomKeys()
    {
        auto w = Shown(SamplePath());
        QTextEdit* plain = PlainBody(*w);
        auto* rich = Preview(*w)->findChild<QTextEdit*>("reRTFBody");
        rich->setHtml(QStringLiteral("<span style='font-size:20pt'>big</span>"));
        const double plainSize = plain->font().pointSizeF();
        auto richSize = [rich] { return rich->document()->begin().begin().fragment().charFormat().fontPointSize(); };
        QTest::keySequence(w.get(), QKeySequence(QKeySequence::ZoomIn));
        QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_Equal));
        QCOMPARE(Preview(*w)->ZoomSteps(), 2);
        QVERIFY(plain->font().pointSizeF() > plainSize * 1.2);
        QVERIFY(qAbs(richSize() - 20 * 1.21) < 0.01);
        for (int i = 0; i < 3; ++i)
            QTest::keySequence(w.get(), QKeySequence(QKeySequence::ZoomOut));
        QCOMPARE(Preview(*w)->ZoomSteps(), -1);
        QVERIFY(plain->font().pointSizeF() < plainSize);
        QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_0));
        QCOMPARE(Preview(*w)->ZoomSteps(), 0);
        QCOMPARE(plain->font().pointSizeF(), plainSize);
        QVERIFY(qAbs(richSize() - 20) < 0.01);
    }

    // Ctrl+PgDn / Ctrl+PgUp step through the pages shown (round), Alt+n goes to the n-th page shown.
    void pageKeys()
    {
        auto w = Shown(SamplePath());
        QTabWidget* pages = w->PageControl();
        QList<int> shown;
        for (int i = 0; i < pages->count(); ++i)
            if (pages->isTabVisible(i))
                shown << i;
        QVERIFY(shown.size() >= 4);
        pages->setCurrentIndex(shown.first());
        QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_PageDown));
        QCOMPARE(pages->currentIndex(), shown[1]);
        QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_PageUp));
        QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_PageUp));
        QCOMPARE(pages->currentIndex(), shown.last());
        for (int n = 0; n < 5; ++n) {
            QTest::keySequence(w.get(), QKeySequence(Qt::ALT | Qt::Key(Qt::Key_1 + n)));
            QCOMPARE(pages->currentIndex(), shown.value(n, shown.value(n - 1, pages->currentIndex())));
        }
    }

    // F1 opens the manual; Ctrl+Q ends the program's window.
    void helpAndQuit()
    {
        QDir().mkpath(home_->Path("program/help"));
        QVERIFY(QFile::copy(TESSALY_SOURCE_DIR "/docs/manual.html", home_->Path("program/help/manual.html")));
        QList<QUrl> opened;
        TUrlOpener previous = SetUrlOpener([&opened](const QUrl& url) {
            opened << url;
            return true;
        });
        auto w = Shown(SamplePath());
        QTest::keyClick(w.get(), Qt::Key_F1);
        SetUrlOpener(previous);
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened[0].toLocalFile().endsWith("manual.html"));
        QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QTRY_VERIFY(!w->isVisible());
    }

    // The window of an attached mail closes with Ctrl+W and with Esc.
    void closeAttachedMessage_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("Ctrl+W") << QKeySequence(Qt::CTRL | Qt::Key_W);
        QTest::newRow("Esc") << QKeySequence(Qt::Key_Escape);
    }
    void closeAttachedMessage()
    {
        QFETCH(QKeySequence, keys);
        auto w = Shown(QStringLiteral(TESSALY_CORPUS_DIR "/tnef/MimeKit__christmas.tnef"));
        auto* list = Preview(*w)->findChild<QListWidget*>("lvAttachments");
        QListWidgetItem* message = nullptr;
        for (int i = 0; i < list->count() && !message; ++i)
            if (list->item(i)->data(Qt::UserRole + 1).toInt() == 1)
                message = list->item(i);
        QVERIFY(message);
        list->setCurrentItem(message);
        bool closedByKey = false;
        TModalHandler windows(
            [&](QDialog* d) {
                d->activateWindow();
                QTest::keySequence(d, keys);
                closedByKey = !d->isVisible();
                if (!closedByKey)
                    d->reject();
            },
            1);
        Preview(*w)->lvAttachmentsDblClick();
        QVERIFY(closedByKey);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
