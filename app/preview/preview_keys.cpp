// The preview's keyboard: find, find again forward and backward, and zooming the body (plain, rich text and HTML
// alike), with the shortcuts desktop programs use; and the status line that names the link under the mouse.

#include <algorithm>
#include <cmath>
#include <functional>

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "html_view.h"
#include "message_preview.h"
#include "message_preview_parts.h"
#include "program_texts.h"
#include "rtf_text_document.h"
#include "viewer_support.h"
#include "web_engine_start.h"

namespace quorra {

namespace {

constexpr int kMinZoomSteps = -6;
constexpr int kMaxZoomSteps = 12;
constexpr double kZoomStep = 1.1;

// Runs a step once, after the next paint of the widget it watches has ended (the frame is on the screen then).
class TAfterPaint : public QObject {
public:
    TAfterPaint(QObject* parent, std::function<void()> step)
        : QObject(parent)
        , step_(std::move(step))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && step_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, parent(), std::move(step_));
            step_ = nullptr;
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> step_;
};

} // namespace

void TfrmMessage::CreateKeyboardActions()
{
    auto newAction = [this](const char* name, const QString& caption, const QList<QKeySequence>& keys) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        keyboardActions_ << action;
        return action;
    };
    // The find command of the body's menu, window-wide (also on the plain text's neighbours, the header fields).
    QAction* find = btnFindText_;
    find->setShortcuts(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    keyboardActions_ << find;
    // F3 and Shift+F3 everywhere, beside the desktop's own keys for the same commands (Ctrl+G on some).
    QList<QKeySequence> next { QKeySequence(Qt::Key_F3) };
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::FindNext))
        if (!next.contains(key))
            next << key;
    QList<QKeySequence> previous { QKeySequence(Qt::SHIFT | Qt::Key_F3) };
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::FindPrevious))
        if (!previous.contains(key))
            previous << key;
    QAction* findNext = newAction("miFindNext", tr("Find next"), next);
    QAction* findPrevious = newAction("miFindPrevious", tr("Find previous"), previous);
    // Ctrl+= as well as Ctrl++, since "+" needs Shift on many keyboards.
    QList<QKeySequence> zoomIn = QKeySequence::keyBindings(QKeySequence::ZoomIn);
    if (!zoomIn.contains(QKeySequence(Qt::CTRL | Qt::Key_Equal)))
        zoomIn << QKeySequence(Qt::CTRL | Qt::Key_Equal);
    QAction* zoomInAction = newAction("miZoomIn", tr("Zoom in"), zoomIn);
    QAction* zoomOutAction = newAction("miZoomOut", tr("Zoom out"), QKeySequence::keyBindings(QKeySequence::ZoomOut));
    QAction* zoomReset = newAction("miZoomReset", tr("Normal size"), { QKeySequence(Qt::CTRL | Qt::Key_0) });
    connect(findNext, &QAction::triggered, this, [this] { FindAgain(false); });
    connect(findPrevious, &QAction::triggered, this, [this] { FindAgain(true); });
    connect(zoomInAction, &QAction::triggered, this, [this] { ZoomBody(1); });
    connect(zoomOutAction, &QAction::triggered, this, [this] { ZoomBody(-1); });
    connect(zoomReset, &QAction::triggered, this, &TfrmMessage::ZoomReset);
    // The find dialog is a window of its own: the same keys work there.
    for (QAction* action : { find, findNext, findPrevious })
        findDialog_->addAction(action);

    lblLinkTarget_ = new QLabel(this);
    lblLinkTarget_->setObjectName(QStringLiteral("lblLinkTarget"));
    lblLinkTarget_->setTextFormat(Qt::PlainText);
    lblLinkTarget_->setContentsMargins(4, 1, 4, 1);
    lblLinkTarget_->setForegroundRole(QPalette::Link);
    lblLinkTarget_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    lblLinkTarget_->hide();
}

QList<QAction*> TfrmMessage::KeyboardActions() const { return keyboardActions_; }

bool TfrmMessage::FindAgain(bool backward)
{
    const QString text = edFindText_->text();
    if (text.isEmpty()) {
        btnFindTextClick();
        return false;
    }
    if (pcBody_->currentWidget() == tsHTMLBody_ && htmlView_) {
        QWebEnginePage::FindFlags pageFlags;
        if (cbMatchCase_->isChecked())
            pageFlags |= QWebEnginePage::FindCaseSensitively;
        if (backward)
            pageFlags |= QWebEnginePage::FindBackward;
        htmlView_->View()->findText(text, pageFlags, [this, text](const QWebEngineFindTextResult& result) {
            if (result.numberOfMatches() == 0)
                ShowError(strENotFindInBody.Arg(text));
        });
        return true;
    }
    QTextDocument::FindFlags flags;
    if (cbMatchCase_->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    if (backward)
        flags |= QTextDocument::FindBackward;
    QTextEdit* edit = ActiveEdit();
    QTextCursor from = edit->textCursor();
    // Backward from the start of the current hit, so that the same hit is not found again.
    if (backward && from.hasSelection())
        from.setPosition(from.selectionStart());
    QTextCursor hit = edit->document()->find(text, from, flags);
    if (hit.isNull()) {
        // Once round: from the other end.
        QTextCursor end(edit->document());
        if (backward)
            end.movePosition(QTextCursor::End);
        hit = edit->document()->find(text, end, flags);
    }
    if (hit.isNull()) {
        ShowError(strENotFindInBody.Arg(text));
        return false;
    }
    edit->setTextCursor(hit);
    edit->ensureCursorVisible();
    return true;
}

double TfrmMessage::ZoomFactor() const { return std::pow(kZoomStep, zoomSteps_); }

void TfrmMessage::ZoomBody(int steps)
{
    const double before = ZoomFactor();
    zoomSteps_ = std::clamp(zoomSteps_ + steps, kMinZoomSteps, kMaxZoomSteps);
    ApplyZoom(before);
}

void TfrmMessage::ZoomReset()
{
    const double before = ZoomFactor();
    zoomSteps_ = 0;
    ApplyZoom(before);
}

void TfrmMessage::ApplyZoom(double from)
{
    const double to = ZoomFactor();
    for (QTextEdit* edit : { reBody_, reRTFBody_ }) {
        // The widget's font at the normal size is kept, so that steps in and out come back to it exactly.
        QVariant base = edit->property("normalPointSize");
        if (!base.isValid()) {
            base = edit->font().pointSizeF();
            edit->setProperty("normalPointSize", base);
        }
        QFont font = edit->font();
        font.setPointSizeF(base.toDouble() * to);
        edit->setFont(font);
        ScaleExplicitSizes(*edit->document(), to / from);
    }
    if (pendingRtf_)
        ScaleExplicitSizes(*pendingRtf_, to / from);
    if (htmlView_)
        htmlView_->View()->setZoomFactor(to);
}

void TfrmMessage::ConnectHtmlView()
{
    // The HTML takes over from the text shown in its place, once it is there.
    connect(htmlView_, &THtmlView::LoadFinished, this, [this] {
        if (htmlStandIn_ && pcBody_->currentWidget() == htmlStandIn_ && TabShown(tsHTMLBody_))
            pcBody_->setCurrentWidget(tsHTMLBody_);
        htmlStandIn_ = nullptr;
    });
    htmlView_->View()->setZoomFactor(ZoomFactor());
    connect(htmlView_->View()->page(), &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        lblLinkTarget_->setText(Shown(url));
        lblLinkTarget_->setVisible(!url.isEmpty());
    });
}

void TfrmMessage::ScheduleBrowser()
{
    if (htmlView_ || browserScheduled_)
        return;
    browserScheduled_ = true;
    StandInForHtml();
    // Once the header has been painted: the window is on the screen with the header and the text by then.
    // The web engine's start and the view's creation each take an event-loop turn of their own, so that neither
    // holds the window up long (web_engine_start.h). Timers, not posted calls: the calls a paint posts run in the
    // same turn as the paint.
    constexpr int kTurnMs = 10;
    pnlHeader_->installEventFilter(new TAfterPaint(pnlHeader_, [this] {
        auto create = [this] {
            browserScheduled_ = false;
            if (html_.isEmpty() && !htmlPending_) {
                htmlStandIn_ = nullptr;
                return;
            }
            CreateBrowser();
        };
        QTimer::singleShot(kTurnMs, this, [this, create] {
            if (WebEngineStarted() || (html_.isEmpty() && !htmlPending_)) {
                create();
                return;
            }
            StartWebEngine();
            QTimer::singleShot(kTurnMs, this, create);
        });
    }));
    pnlHeader_->update();
}

void TfrmMessage::StandInForHtml()
{
    if (htmlView_ || !browserScheduled_ || pcBody_->currentWidget() != tsHTMLBody_)
        return;
    for (QWidget* tab : { tsRTFBody_, tsPlainText_ })
        if (TabShown(tab)) {
            htmlStandIn_ = tab;
            pcBody_->setCurrentWidget(tab);
            return;
        }
}

QString TfrmMessage::HoveredLink() const { return lblLinkTarget_->isVisible() ? lblLinkTarget_->text() : QString(); }

} // namespace quorra
