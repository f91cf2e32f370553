// The HTML view when the web engine fails: its renderer process ended (here by force, as a memory limit ends it)
// leaves the rich-text view in its place with a bar that says why; and a link clicked where no browser is installed
// is said aloud, in the web view and in its stand-in alike, without the window hanging.

#include <signal.h>

#include <QFrame>
#include <QLabel>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

#include "html_text_later.h"
#include "html_view.h"
#include "viewer_app.h"
#include "web_test_support.h"
#include "window_test_support.h"
#include "worker_pool.h"

using namespace quorra;
using quorra_test::Evaluate;

namespace {

const char* kPage = "<html><body style=\"margin:0\"><p id=t>Hello <b>world</b></p><a href=\"http://example.com/page\" "
                    "style=\"display:block;width:100%;height:300px;background:#ccc\">link</a>"
                    "<img src=\"/etc/hostname\"></body></html>";

// The desktop has no browser: no handler in the (empty) data folders, and $BROWSER names none.
void NoBrowser(const quorra_test::TIsolatedHome& home)
{
    qputenv("XDG_DATA_DIRS", home.Path("data").toUtf8());
    qputenv("BROWSER", "/nonexistent/browser");
    qunsetenv("XDG_CURRENT_DESKTOP");
}

} // namespace

class TestHtmlFallback : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<quorra_test::TIsolatedHome> home_;
    std::unique_ptr<THtmlView> view_;

    bool ShowPage()
    {
        QSignalSpy loaded(view_.get(), &THtmlView::LoadFinished);
        view_->SetHtml(QString::fromUtf8(kPage), nullptr, false);
        return loaded.wait(20000) || !loaded.isEmpty();
    }

private slots:
    void init()
    {
        home_ = std::make_unique<quorra_test::TIsolatedHome>();
        view_ = std::make_unique<THtmlView>();
        view_->resize(640, 480);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    }
    void cleanup()
    {
        view_.reset();
        home_.reset();
    }

    void rendererEndedFallsBackToRichText()
    {
        QVERIFY(ShowPage());
        QVERIFY(!view_->WebViewFailed());
        QVERIFY(view_->FailureBar()->isHidden());
        const qint64 pid = view_->View()->page()->renderProcessPid();
        QVERIFY(pid > 0);
        QSignalSpy fellBack(view_.get(), &THtmlView::FellBack);
        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(view_->WebViewFailed(), 20000);
        QCOMPARE(fellBack.size(), 1);
        QVERIFY(view_->View()->isHidden());
        QVERIFY(view_->FallbackView()->isVisible());
        QVERIFY(view_->FailureBar()->isVisible());
        const QString bar = view_->FailureBar()->findChild<QLabel*>("lblHtmlViewFailed")->text();
        QVERIFY2(bar.contains("renderer process"), qPrintable(bar));
        QVERIFY(view_->FallbackView()->toPlainText().contains("Hello world"));
        // The next message goes to the stand-in too.
        view_->SetHtml(QStringLiteral("<p>Second message</p>"), nullptr, false);
        QCOMPARE(view_->FallbackView()->toPlainText(), QStringLiteral("Second message"));
        view_->Clear();
        QVERIFY(view_->FallbackView()->toPlainText().isEmpty());
    }

    // A large text is read into the stand-in in a worker: meanwhile it shows nothing of the text before, and a
    // text given before the read is in wins over the read.
    void largeTextInTheStandInIsReadInAWorker()
    {
        QVERIFY(ShowPage());
        QCOMPARE(::kill(static_cast<pid_t>(view_->View()->page()->renderProcessPid()), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(view_->WebViewFailed(), 20000);
        QString large;
        while (large.size() < kTextHtmlInWorkerChars)
            large += QStringLiteral("<p>the large text</p>");
        QSignalSpy filled(view_.get(), &THtmlView::FallbackFilled);
        view_->SetHtml(large + QStringLiteral("<p>END</p>"), nullptr, false);
        QVERIFY(view_->FallbackView()->toPlainText().isEmpty());
        QVERIFY(filled.wait(30000));
        QVERIFY(view_->FallbackView()->toPlainText().endsWith(QStringLiteral("END")));

        view_->SetHtml(large, nullptr, false);
        view_->SetHtml(QStringLiteral("<p>Second message</p>"), nullptr, false);
        DocumentWorkers()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(view_->FallbackView()->toPlainText(), QStringLiteral("Second message"));
    }

    void linkWithoutABrowserIsSaidAloud()
    {
        NoBrowser(*home_);
        QVERIFY(ShowPage());
        QTRY_COMPARE(
            Evaluate(view_->View(), "document.elementFromPoint(50, 100).tagName").toString(), QStringLiteral("A"));
        QWidget* target = view_->View()->focusProxy() ? view_->View()->focusProxy() : view_->View();
        quorra_test::TModalHandler boxes(1);
        for (int attempt = 0; attempt < 5 && boxes.Count() == 0; ++attempt) {
            QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(50, 100));
            (void)QTest::qWaitFor([&] { return boxes.Count() > 0; }, 5000);
        }
        QCOMPARE(boxes.Count(), 1);
        QVERIFY2(boxes.Seen().front().contains("http://example.com/page"), qPrintable(boxes.Seen().front()));
        QVERIFY2(boxes.Seen().front().contains("no method available"), qPrintable(boxes.Seen().front()));
    }

    void linkInTheStandInWithoutABrowserIsSaidAloud()
    {
        NoBrowser(*home_);
        QVERIFY(ShowPage());
        QCOMPARE(::kill(static_cast<pid_t>(view_->View()->page()->renderProcessPid()), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(view_->WebViewFailed(), 20000);
        QTextBrowser* browser = view_->FallbackView();
        quorra_test::TModalHandler boxes(1);
        // A click on the link's text in the stand-in.
        QTextCursor link = browser->document()->find(QStringLiteral("link"));
        QVERIFY(!link.isNull());
        link.setPosition(link.selectionStart() + 2);
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(link).center());
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Count(), 1, 10000);
        QVERIFY(boxes.Seen().front().contains("http://example.com/page"));
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestHtmlFallback test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_html_fallback.moc"
