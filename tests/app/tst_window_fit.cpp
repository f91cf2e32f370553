// The window on small and scaled screens: where it opens, what comes back onto a screen, and that nothing is cut
// off. Run under Xvfb at 1024x768 and at 1366x768 with QT_SCALE_FACTOR=1.5 (tests/app/CMakeLists.txt).

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTabWidget>
#include <QToolBar>

#include "message_preview.h"
#include "options_dialog.h"
#include "window_fit.h"
#include "window_fixture.h"

using namespace quorra;
using quorra_test::TModalHandler;

namespace {

bool InsideScrolledContent(const QWidget* widget, const QWidget* top)
{
    for (const QWidget* w = widget->parentWidget(); w && w != top; w = w->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(w) || w->inherits("QTabBar") || w->inherits("QToolBarExtension"))
            return true;
    return false;
}

// Every visible widget of the window that lies outside it, or whose caption does not fit.
QStringList CutOff(QWidget* top)
{
    QStringList faults;
    const QRect window = top->rect();
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->isWindow() || InsideScrolledContent(w, top))
            continue;
        const QString name
            = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        const QRect r(w->mapTo(top, QPoint(0, 0)), w->size());
        if (!window.contains(r))
            faults << QStringLiteral("%1 outside the window (%2,%3 %4x%5)")
                          .arg(name)
                          .arg(r.x())
                          .arg(r.y())
                          .arg(r.width())
                          .arg(r.height());
        auto* label = qobject_cast<QLabel*>(w);
        const bool caption = (label && !label->wordWrap() && !label->text().isEmpty()
                                 && label->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored)
            || (qobject_cast<QAbstractButton*>(w) && !w->inherits("QToolButton"));
        if (caption && w->width() < w->minimumSizeHint().width())
            faults << QStringLiteral("%1 cut off (%2 of %3 pixels)")
                          .arg(name)
                          .arg(w->width())
                          .arg(w->minimumSizeHint().width());
    }
    return faults;
}

} // namespace

class TestWindowFit : public quorra_test::TWindowTest {
    Q_OBJECT

private slots:
    void fitOntoScreens_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QRect>("shown");
        const QRect primary(0, 0, 1366, 740);
        QTest::newRow("on the screen") << QRect(100, 50, 800, 600) << QRect(100, 50, 800, 600);
        QTest::newRow("on the second screen") << QRect(1500, 100, 800, 600) << QRect(1500, 100, 800, 600);
        QTest::newRow("screen gone") << QRect(4000, 100, 800, 600)
                                     << QRect(primary.center() - QPoint(400, 300), QSize(800, 600));
        QTest::newRow("title bar above the screen")
            << QRect(100, -400, 800, 600) << QRect(primary.center() - QPoint(400, 300), QSize(800, 600));
        QTest::newRow("larger than its screen") << QRect(200, 100, 1600, 1000) << QRect(0, 0, 1366, 740);
        QTest::newRow("gone and larger") << QRect(-3000, 0, 2000, 1000)
                                         << QRect(primary.center() - QPoint(675, 350), QSize(1350, 700));
    }
    void fitOntoScreens()
    {
        QFETCH(QRect, stored);
        QFETCH(QRect, shown);
        QCOMPARE(FitOntoScreens(stored, { QRect(0, 0, 1366, 740), QRect(1366, 0, 1920, 1080) }), shown);
    }

    // The first start: within the screen; at 1024x768 and more, twenty lines of the body.
    void firstStart()
    {
        auto w = NewWindow({ SamplePath().toStdString() });
        w->ShowPlaced();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QRect available = w->screen()->availableGeometry();
        QVERIFY2(available.contains(w->geometry()),
            qPrintable(QStringLiteral("%1x%2 on %3x%4")
                           .arg(w->width())
                           .arg(w->height())
                           .arg(available.width())
                           .arg(available.height())));
        auto* body = w->Preview()->findChild<QTabWidget*>("pcBody");
        const int lines = body->currentWidget()->height() / body->fontMetrics().lineSpacing();
        if (available.height() >= 700)
            QVERIFY2(lines >= 20, qPrintable(QString::number(lines)));
        QStringList faults = CutOff(w.get());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    // The options dialog in German: every caption whole, the dialog on the screen.
    void germanOptions()
    {
        QDir().mkpath(home_->Path("program/languages"));
        QVERIFY(QFile::copy(
            TESSALY_SOURCE_DIR "/resources/languages/german.lng", home_->Path("program/languages/german.lng")));
        auto w = NewWindow();
        QAction* german = nullptr;
        for (QAction* a : w->findChild<QMenu*>("miLanguage")->actions())
            if (a->property("languageFile").toString().endsWith("german.lng"))
                german = a;
        QVERIFY(german);
        german->trigger();
        w->show();
        QStringList faults;
        bool onScreen = false;
        TModalHandler dialogs(
            [&](QDialog* d) {
                auto* tabs = d->findChild<QTabWidget*>("pcOptions");
                for (int i = 0; i < tabs->count(); ++i) {
                    tabs->setCurrentIndex(i);
                    QApplication::processEvents();
                    faults << CutOff(d);
                }
                onScreen = d->screen()->availableGeometry().contains(d->frameGeometry());
                d->reject();
            },
            1);
        w->Actions().miOptions->trigger();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        QVERIFY(onScreen);
    }
};

QTEST_MAIN(TestWindowFit)
#include "tst_window_fit.moc"
