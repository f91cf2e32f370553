// The main window's shutdown, its View menu (view modes, icons, the layout pass, the recent files) and its
// commands that reach the desktop: registration, help, links, the update check and Reply/Forward.

#include "main_window.h"

#include "cool_bar.h"

#include <map>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "about_dialog.h"
#include "command_line.h"
#include "desktop_integration.h"
#include "explorer_pane.h"
#include "file_dialogs.h"
#include "header_pages.h"
#include "icons.h"
#include "mail_handoff.h"
#include "message_preview.h"
#include "options_dialog.h"
#include "pel_language.h"
#include "pelmsg.h"
#include "program_texts.h"
#include "property_pages.h"
#include "proxy_logon.h"
#include "structure_page.h"
#include "update_check.h"
#include "viewer_support.h"
#include "work_progress.h"

#include "open_document.h"
#include "qt_glue.h"

namespace quorra {

namespace {

// The manual in a window of the program's own, for when no browser could open it: its links to other places of
// the manual work, others go to the desktop's opener.
void ShowManualHere(QWidget* owner, const QString& path)
{
    auto* dialog = new QDialog(owner);
    dialog->setObjectName(QStringLiteral("ManualViewer"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QFileInfo(path).fileName());
    auto* layout = new QVBoxLayout(dialog);
    auto* note = new QLabel(strManualShownHere(), dialog);
    note->setObjectName(QStringLiteral("lblManualShownHere"));
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* browser = new QTextBrowser(dialog);
    browser->setObjectName(QStringLiteral("tbManual"));
    browser->setOpenLinks(false);
    QObject::connect(browser, &QTextBrowser::anchorClicked, browser, [browser](const QUrl& link) {
        const QUrl url = browser->source().resolved(link);
        if (url.isLocalFile())
            browser->setSource(url);
        else
            OpenDocument(url);
    });
    browser->setSource(QUrl::fromLocalFile(path));
    layout->addWidget(browser, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    dialog->resize(760, 600);
    dialog->show();
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------
// Shutdown

void TfrmMain::closeEvent(QCloseEvent* event)
{
    FormDestroy();
    event->accept();
}

void TfrmMain::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    ClearDocument();
    StorePlacement();
    if (settings_.UseIniFile)
        SaveSettings(settings_);
}

// ---------------------------------------------------------------------------------------------------------------
// View

void TfrmMain::ApplyViewMode()
{
    const bool properties = settings_.AppMode == TAppMode::Extended;
    SetTabShown(tsProperties_, properties);
    SetTabShown(tsStructure_, properties && structureBuilt_);
    SetTabShown(tsHeader_, settings_.AppMode != TAppMode::Basic);
    SetTabShown(tsPreview_, true);
    SetTabShown(tsFlags_, true);
    const bool logo = !settings_.HideLogo;
    imgLogo_->setVisible(logo);
    lblCorvane_->setVisible(logo);
    if (actions_.miViewLogo) // made with the keyboard, after the first view mode
        actions_.miViewLogo->setChecked(logo);
    pnlLeft_->setVisible(logo || actions_.miViewFileTree->isChecked());
    FormResize();
}

void TfrmMain::ApplyIcons()
{
    struct {
        QWidget* page;
        int icon;
    } tabs[] = { { tsPreview_, 5 }, { tsProperties_, 8 }, { tsStructure_, 9 }, { tsHeader_, 12 }, { tsFlags_, 13 } };
    // Each picture is read once, however many places show it.
    std::map<int, QIcon> icons;
    auto icon = [&icons](int index) -> const QIcon& {
        auto found = icons.find(index);
        return found != icons.end() ? found->second : icons.emplace(index, MenuIcon(index)).first->second;
    };
    for (const auto& t : tabs)
        pageControl_->setTabIcon(pageControl_->indexOf(t.page), icon(t.icon));
    const TMainActions& a = actions_;
    struct {
        QAction* action;
        int icon;
    } actions[] = { { a.miHelpHomepage, 2 }, { a.miHelpSendEMail, 3 }, { a.miHelpAbout, 4 }, { a.miOpen, 0 },
        { a.miFileSaveAttachments, 7 }, { a.miFileExit, 1 }, { a.miViewFileTree, 9 }, { a.miOptions, 13 },
        { a.miFileSaveAs, 6 }, { a.miFileReply, 10 }, { a.miFileForward, 11 }, { a.btnConvert, 0 }, { a.btnSaveAs, 6 },
        { a.btnClose, 1 }, { a.btnHomepage, 2 }, { a.btnSendMail, 3 }, { a.btnAbout, 4 } };
    for (const auto& entry : actions)
        entry.action->setIcon(icon(entry.icon));
    // The logo beside the pages is already drawn at this size; the window icon shares it.
    setWindowIcon(QIcon(imgLogo_->pixmap()));
}

void TfrmMain::FormResize()
{
    if (destroyed_)
        return;
    cbMain_->Arrange(width());
    if (creating_)
        return;
    // Only a window on the screen is moved or resized by its user (a hidden one gets its first size on showing).
    if (settings_.SaveFormPosition && isVisible())
        settings_.SettingsChanged = true;
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmMain::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FormResize();
}

void TfrmMain::miViewFileTreeClick()
{
    const bool shown = actions_.miViewFileTree->isChecked();
    // The pane is made the first time it shows.
    if (shown || explorer_)
        Explorer()->setVisible(shown);
    ApplyViewMode();
    // Room for the trees and their two tabs.
    constexpr int kExplorerWidth = 230;
    QList<int> panes = splitter_->sizes();
    if (shown && panes.size() == 2 && panes[0] < kExplorerWidth) {
        panes[1] -= kExplorerWidth - panes[0];
        panes[0] = kExplorerWidth;
        splitter_->setSizes(panes);
    }
    // The drives are read once, when the pane first shows (this also builds the workspace tree).
    if (shown && explorer_->Files()->topLevelItemCount() == 0)
        explorer_->FillFolder(nullptr);
}

void TfrmMain::miOptionsClick()
{
    TfrmOptions dialog(this);
    dialog.SetFromSettings(settings_);
    TranslateForm(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    settings_.SettingsChanged = true;
    dialog.ReadBack(settings_);
    ApplyViewMode();
}

// ---------------------------------------------------------------------------------------------------------------
// Desktop, help, links, update check, mail

void TfrmMain::ShowInformation(const QString& text, const char* objectName)
{
    ShowMessageBox(this, QMessageBox::Information, text, objectName);
}

void TfrmMain::miRegisterExtensionClick()
{
    QString error;
    {
        TBusyCursor busy;
        error = RegisterAsDefaultViewer(ProgramPath);
    }
    if (error.isEmpty())
        ShowInformation(QStringLiteral("Tessaly: ") + strExtRegistered(), "RegisteredBox");
    else
        ShowError(strRegisterFailed.Arg(error));
}

void TfrmMain::miUnRegisterExtensionClick()
{
    QString error;
    {
        TBusyCursor busy;
        error = UnregisterAsDefaultViewer();
    }
    if (error.isEmpty())
        ShowInformation(QStringLiteral("Tessaly: ") + strExtUnRegistered(), "UnregisteredBox");
    else
        ShowError(strUnregisterFailed.Arg(error));
}

void TfrmMain::miHelpContentsClick()
{
    const QString manual = ManualPath(Q(startup_.ProgramFolder));
    if (!QFileInfo::exists(manual)) {
        ShowError(strHelpNotFound.Arg(manual));
        return;
    }
    // Without a browser the manual is shown in a window of the program's own.
    OpenDocument(QUrl::fromLocalFile(manual), this, [this, manual](const QString&) { ShowManualHere(this, manual); });
}

void TfrmMain::lblCorvaneClick()
{
    const QString address = internet_.HomePage;
    OpenDocument(QUrl(address), this, [this, address](const QString& reason) {
        ShowError(strNoProgramForAddress.Arg(address) + QStringLiteral("\n\n") + reason);
    });
}

void TfrmMain::tbbSendMailClick()
{
    const QUrl url = SupportMailUrl(internet_.SupportMail, internet_.SupportSubject);
    OpenDocument(url, this, [this](const QString& reason) { ShowError(strNoMailProgram.Arg(reason)); });
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblCorvane_ && event->type() == QEvent::MouseButtonRelease) {
        lblCorvaneClick();
        return true;
    }
    // The box's line edit has opened the file on Enter and passes the key on to the box, which would hand it back
    // to the line edit: the file would be opened (or reported missing) twice.
    if (watched == cbFileName_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::btnAboutClick()
{
    TfrmAbout dialog(this, LogoPixmap(96), CurrentVersionText(), internet_.HomePage, internet_.ContactMail);
    TranslateForm(&dialog);
    dialog.exec();
}

void TfrmMain::miHelpCheckUpdateClick()
{
    // One check at a time; the window answers while it runs, and its progress dialog cancels it.
    if (findChild<TUpdateCheck*>())
        return;
    const QUrl url(internet_.UpdateUrl);
    const QString current = CurrentVersionText();
    auto* check = new TUpdateCheck(url, current, this);
    check->SetProxyLogon([this](const QString& caption, QString& user, QString& password) {
        return ProxyLogon(this, caption, user, password, [this](QDialog* d) { TranslateForm(d); });
    });
    auto* progress = new TWorkProgress(this, strCheckingUpdate());
    connect(progress, &QProgressDialog::canceled, check, &TUpdateCheck::Cancel);
    connect(check, &TUpdateCheck::Finished, this, [this, check, progress, url, current](const TUpdateResult& result) {
        // Finished may come from inside the dialog's own Cancel signal: the dialog goes once that has returned.
        progress->hide();
        progress->deleteLater();
        // Gone from the window's children before a message box shows, so that a new check may start from there.
        check->setParent(nullptr);
        check->deleteLater();
        const QString text = UpdateMessage(result, url, current, internet_.UpdateRequestMail);
        if (text.isEmpty())
            return;
        if (result.Outcome == TUpdateOutcome::Failed || result.Outcome == TUpdateOutcome::TimedOut)
            ShowError(text);
        else
            ShowInformation(text, "UpdateBox");
    });
    check->Start();
}

void TfrmMain::miFileReplyClick(bool forward)
{
    if (!document_)
        return;
    QStringList failed;
    TMailDraft draft;
    {
        TBusyCursor busy;
        draft = BuildMailDraft(Message()->Properties(), forward, &failed);
    }
    const QString error = SendMail(
        internet_.MailCommand, draft, this, [this](const QString& reason) { ShowError(strNoMailProgram.Arg(reason)); });
    if (!error.isEmpty())
        ShowError(strMailFailed.Arg(error));
    else if (!failed.isEmpty())
        ShowError(strMailAttachmentsFailed.Arg(failed.join(QStringLiteral("; "))));
}

} // namespace quorra
