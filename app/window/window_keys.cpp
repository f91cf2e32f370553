// The main window's keyboard: the desktop's standard keys on the File and Help commands, the body's find and zoom
// and the page switching in the View menu; the "Show logo" switch; and the title that names the open message.

#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>

#include "main_window.h"
#include "message_preview.h"
#include "message_preview_parts.h"
#include "open_document.h"
#include "pelmsg.h"
#include "qt_glue.h"

namespace quorra {

namespace {

constexpr int kPageKeys = 5;

// The desktop's keys for a standard command, with the key users know everywhere first (the menus show the first):
// some desktops' key schemes leave a command without a key (Quit on one), or use another one.
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const QKeySequence& known)
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    keys.removeAll(known);
    keys.prepend(known);
    return keys;
}

} // namespace

void TfrmMain::CreateKeyboard()
{
    actions_.miOpen->setShortcuts(StandardKeys(QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O)));
    // The program saves only by Save As, so Save As takes the Save key.
    actions_.miFileSaveAs->setShortcuts(StandardKeys(QKeySequence::Save, QKeySequence(Qt::CTRL | Qt::Key_S)));
    actions_.miFilePrint->setShortcuts(StandardKeys(QKeySequence::Print, QKeySequence(Qt::CTRL | Qt::Key_P)));
    actions_.miFilePreview->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    actions_.miFileExit->setShortcuts(StandardKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
    actions_.miHelpContents->setShortcuts(StandardKeys(QKeySequence::HelpContents, QKeySequence(Qt::Key_F1)));

    // "Help file (.CHM)" opened the same manual as Contents: there is no second help file here.
    actions_.miHelpCHM->setVisible(false);

    auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("miView"));
    // "Show logo" beside the file tree's switch: the logo pane is hidden and shown from here as from the options.
    QAction* logo = actions_.miViewLogo = NewAction("miViewLogo", tr("Show logo"), this);
    logo->setCheckable(true);
    logo->setChecked(!settings_.HideLogo);
    const QList<QAction*> items = view->actions();
    const qsizetype tree = items.indexOf(actions_.miViewFileTree);
    view->insertAction(items.value(tree + 1), logo);
    connect(logo, &QAction::triggered, this, [this](bool shown) {
        settings_.HideLogo = !shown;
        settings_.SettingsChanged = true;
        ApplyViewMode();
    });

    // The body's commands: they belong to the preview, whose keys work anywhere in the window.
    view->addSeparator();
    for (QAction* action : preview_->KeyboardActions()) {
        if (action->objectName() == QLatin1String("miZoomIn"))
            view->addSeparator();
        view->addAction(action);
    }

    // The pages: next and previous (round), and Alt+1 to Alt+5 for the first five shown.
    QMenu* pages = new QMenu(tr("Go to page"), view);
    pages->setObjectName(QStringLiteral("miViewPages"));
    view->insertMenu(actions_.miOptions, pages);
    view->insertSeparator(actions_.miOptions);
    QAction* nextPage = actions_.miNextPage = NewAction("miNextPage", tr("Next page"), this);
    nextPage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    QAction* previousPage = actions_.miPreviousPage = NewAction("miPreviousPage", tr("Previous page"), this);
    previousPage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    pages->addAction(nextPage);
    pages->addAction(previousPage);
    pages->addSeparator();
    connect(nextPage, &QAction::triggered, this, [this] { StepPage(1); });
    connect(previousPage, &QAction::triggered, this, [this] { StepPage(-1); });
    for (int n = 0; n < kPageKeys; ++n) {
        QAction* page = actions_.miPages[size_t(n)]
            = NewAction(qPrintable(QStringLiteral("miPage%1").arg(n + 1)), QString(), this);
        page->setShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_1 + n)));
        pages->addAction(page);
        connect(page, &QAction::triggered, this, [this, n] { GoToPage(n); });
    }
    // The page items carry the captions of the pages shown now (the view mode hides some).
    connect(pages, &QMenu::aboutToShow, this, [this] {
        int n = 0;
        for (int i = 0; i < pageControl_->count(); ++i) {
            if (!pageControl_->isTabVisible(i) || n >= kPageKeys)
                continue;
            QAction* item = actions_.miPages[size_t(n++)];
            item->setText(pageControl_->tabText(i));
            item->setVisible(true);
        }
        while (n < kPageKeys)
            actions_.miPages[size_t(n++)]->setVisible(false);
    });
    // The page keys stay live while their items are hidden from the menu.
    for (QAction* action : pages->actions())
        addAction(action);

    connect(this, &TfrmMain::PagesFilled, this, &TfrmMain::UpdateTitle);
    connect(this, &TfrmMain::DocumentCleared, this, [this] { setWindowTitle(QStringLiteral("Tessaly")); });
    connect(this, &TfrmMain::ProgramTextsReloaded, this, &TfrmMain::UpdateTitle);
}

void TfrmMain::GoToPage(int visibleIndex)
{
    if (!pageControl_->isVisible())
        return;
    int n = 0;
    for (int i = 0; i < pageControl_->count(); ++i)
        if (pageControl_->isTabVisible(i) && n++ == visibleIndex) {
            pageControl_->setCurrentIndex(i);
            return;
        }
}

void TfrmMain::StepPage(int step)
{
    if (!pageControl_->isVisible())
        return;
    const int count = pageControl_->count();
    int i = pageControl_->currentIndex();
    for (int tried = 0; tried < count; ++tried) {
        i = (i + step + count) % count;
        if (pageControl_->isTabVisible(i)) {
            pageControl_->setCurrentIndex(i);
            return;
        }
    }
}

void TfrmMain::UpdateTitle()
{
    // "subject — Tessaly"; the file's name when the message has no subject. The subject is shown as every field
    // shows a text of the message: its bidirectional controls visible, so that they cannot turn the title round.
    QString name;
    if (const pelmsg::TPelMessage* message = Message())
        name = Q(message->Properties().Subject()).simplified();
    if (name.isEmpty() && document_)
        name = QFileInfo(document_->Path()).fileName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Tessaly") : Shown(name) + QStringLiteral(" \u2014 Tessaly"));
}

} // namespace quorra
