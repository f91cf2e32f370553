#include "main_window.h"

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
#include <QKeyEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "about_dialog.h"
#include "command_line.h"
#include "cool_bar.h"
#include "damage_bar.h"
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
#include "qt_translations.h"
#include "structure_page.h"
#include "update_check.h"
#include "viewer_support.h"

#include "lazy_page.h"
#include "open_document.h"
#include "qt_glue.h"
#include "tnef_part_dialog.h"
#include "tnef_part_listing.h"

namespace quorra {

TProgramText strAllSupportedFiles("strAllSupportedFiles", "All supported files");

namespace {

constexpr int kDefaultItemTag = 1000;

std::string CurrentFolder()
{
    return QDir::currentPath().toStdString();
}

} // namespace

TfrmMain::TfrmMain(TStartup startup)
    : startup_(std::move(startup))
{
    if (startup_.ProgramFolder.empty())
        startup_.ProgramFolder = quorra::ProgramFolder();
    if (startup_.CurrentFolder.empty())
        startup_.CurrentFolder = CurrentFolder();
    Beep = [] { QApplication::beep(); };
    ProgramPath = Q(quorra::ProgramPath());
    internet_ = LoadInternetSettings();
    FormCreate();
}

TfrmMain::~TfrmMain() { FormDestroy(); }

// ---------------------------------------------------------------------------------------------------------------
// Start-up

void TfrmMain::FormCreate()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tessaly"));
    settings_.UseIniFile = true;
    pelLanguage_ = new TPelLanguage(this);

    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateCentralArea();
    setAcceptDrops(true);

    // Defaults, then the settings file, then the stored switches.
    QFont windowFont = font();
    settings_.GridFont.Name = S(windowFont.family());
    settings_.GridFont.Size = windowFont.pointSize() > 0 ? windowFont.pointSize() : settings_.GridFont.Size;
    LoadSettings(settings_, false);
    ApplyExtendedSettings(settings_);
    RefreshRecent();

    // Switches apply in order; the first argument that is not a switch is the file to open, as in export mode. A
    // start with switches only offers a file as a start without arguments does.
    const std::vector<std::string>& args = startup_.Arguments;
    for (const std::string& a : args)
        ApplySwitch(settings_, a);
    const std::string fileName = ParseCommandLine(args).FileName;
    const bool fileArgument = !fileName.empty();
    if (fileArgument)
        fileToOpen_ = ExpandFileName(fileName); // loaded at the end of start-up, once the language is in place
    else
        cbFileName_->setEditText(
            Q(InitialFileName(settings_.RecentFiles, startup_.CurrentFolder, startup_.ProgramFolder)));

    // Print and print preview print the preview as it is shown.
    connect(actions_.miFilePrint, &QAction::triggered, this, [this] { preview_->PrintWithDialog(); });
    connect(actions_.miFilePreview, &QAction::triggered, this, [this] { preview_->PrintPreview(); });

    if (!settings_.ShowMenu) {
        menuBar()->hide();
        cbMain_->hide();
    }
    ApplyViewMode();

    CreateKeyboard();
    BuildLanguageMenu();
    TranslateForm(nullptr);
    ApplyIcons();
    LoadPlacement();

    if (!fileToOpen_.empty()) {
        OpenFile(Q(fileToOpen_));
    } else if (settings_.LastOpened && !settings_.RecentFiles.empty() && !fileArgument) {
        OpenFile(Q(settings_.RecentFiles.front()));
    }
    creating_ = false;
    FormResize();
}

QAction* TfrmMain::NewAction(const char* objectName, const QString& caption, QObject* parent)
{
    auto* action = new QAction(caption, parent);
    action->setObjectName(QLatin1String(objectName));
    return action;
}

void TfrmMain::CreateActions()
{
    // One row an action: its member and objectName (the same name), caption, shortcut, hint, the handler its trigger
    // runs, and whether it waits for a loaded message. Print and print preview are connected to the preview in
    // FormCreate, Reply and Forward below.
    using A = TMainActions;
    using W = TfrmMain;
    const struct {
        QAction* A::*Member;
        const char* Name;
        const char* Caption;
        const char* Shortcut;
        const char* Hint;
        void (W::*Click)();
        bool NeedsMessage;
    } rows[] = {
        // Menu items.
        { &A::miOpen, "miOpen", QT_TR_NOOP("&Open..."), "Ctrl+O", nullptr, &W::btnXLSFileNameClick, false },
        { &A::miFileSaveAs, "miFileSaveAs", QT_TR_NOOP("&Save As"), "Ctrl+S", nullptr, &W::miFileSaveAsClick, true },
        { &A::miFileSaveAttachments, "miFileSaveAttachments", QT_TR_NOOP("Save &attachments"), nullptr, nullptr,
            &W::miFileSaveAttachmentsClick, true },
        { &A::miFilePreview, "miFilePreview", QT_TR_NOOP("Print preview..."), nullptr, nullptr, nullptr, true },
        { &A::miFilePrint, "miFilePrint", QT_TR_NOOP("&Print"), "Ctrl+P", nullptr, nullptr, true },
        { &A::miFileReply, "miFileReply", QT_TR_NOOP("Reply"), nullptr, nullptr, nullptr, true },
        { &A::miFileForward, "miFileForward", QT_TR_NOOP("Forward"), nullptr, nullptr, nullptr, true },
        { &A::miFileExit, "miFileExit", QT_TR_NOOP("E&xit"), nullptr, nullptr, &W::btnCloseClick, false },
        { &A::miRegisterExtension, "miRegisterExtension", QT_TR_NOOP("Register as default viewer"), nullptr,
            QT_TR_NOOP("to open the files from the file manager"), &W::miRegisterExtensionClick, false },
        { &A::miUnRegisterExtension, "miUnRegisterExtension", QT_TR_NOOP("Unregister as default viewer"), nullptr,
            QT_TR_NOOP("do not open the files from the file manager"), &W::miUnRegisterExtensionClick, false },
        { &A::miViewFileTree, "miViewFileTree", QT_TR_NOOP("Display file/folder tree"), nullptr, nullptr,
            &W::miViewFileTreeClick, false },
        { &A::miOptions, "miOptions", QT_TR_NOOP("&Options..."), nullptr, nullptr, &W::miOptionsClick, false },
        { &A::miHelpContents, "miHelpContents", QT_TR_NOOP("&Contents"), "F1", nullptr, &W::miHelpContentsClick,
            false },
        { &A::miHelpCHM, "miHelpCHM", QT_TR_NOOP("Help file (.CH&M)"), nullptr, nullptr, &W::miHelpContentsClick,
            false },
        { &A::miHelpHomepage, "miHelpHomepage", QT_TR_NOOP("Product &Homepage"), nullptr, nullptr, &W::lblCorvaneClick,
            false },
        { &A::miHelpSendEMail, "miHelpSendEMail", QT_TR_NOOP("Send &E-mail to support"), nullptr, nullptr,
            &W::tbbSendMailClick, false },
        { &A::miHelpCheckUpdate, "miHelpCheckUpdate", QT_TR_NOOP("Check for &updates (online)"), nullptr,
            QT_TR_NOOP("Check product website for updates"), &W::miHelpCheckUpdateClick, false },
        { &A::miHelpAbout, "miHelpAbout", QT_TR_NOOP("&About product..."), nullptr, nullptr, &W::btnAboutClick, false },
        // Tool buttons.
        { &A::btnConvert, "btnConvert", QT_TR_NOOP("Open File"), nullptr, nullptr, &W::btnXLSFileNameClick, false },
        { &A::btnSaveAs, "btnSaveAs", QT_TR_NOOP("Save As"), nullptr, nullptr, &W::miFileSaveAsClick, true },
        { &A::btnClose, "btnClose", QT_TR_NOOP("Close"), nullptr, QT_TR_NOOP("Quit Tessaly"), &W::btnCloseClick,
            false },
        { &A::btnHomepage, "btnHomepage", QT_TR_NOOP("Homepage"), nullptr, QT_TR_NOOP("Visit Corvane web site"),
            &W::lblCorvaneClick, false },
        { &A::btnSendMail, "btnSendMail", QT_TR_NOOP("Send Mail"), nullptr,
            QT_TR_NOOP("Send feedback by email to author"), &W::tbbSendMailClick, false },
        { &A::btnAbout, "btnAbout", QT_TR_NOOP("About"), nullptr, nullptr, &W::btnAboutClick, false },
    };
    TMainActions& a = actions_;
    for (const auto& row : rows) {
        QAction* action = NewAction(row.Name, tr(row.Caption), this);
        a.*row.Member = action;
        if (row.Shortcut)
            action->setShortcut(QKeySequence(QLatin1String(row.Shortcut)));
        if (row.Hint)
            action->setToolTip(tr(row.Hint));
        if (row.NeedsMessage)
            action->setEnabled(false);
        if (row.Click)
            connect(action, &QAction::triggered, this, row.Click);
    }
    a.miViewFileTree->setCheckable(true);
    a.miFileReply->setProperty("tag", 0);
    a.miFileForward->setProperty("tag", 1);
    connect(a.miFileReply, &QAction::triggered, this, [this] { miFileReplyClick(false); });
    connect(a.miFileForward, &QAction::triggered, this, [this] { miFileReplyClick(true); });
}

void TfrmMain::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("miFile"));
    file->addAction(actions_.miOpen);
    actions_.miReopen = file->addMenu(tr("&Reopen"));
    actions_.miReopen->setObjectName(QStringLiteral("miReopen"));
    file->addSeparator();
    file->addAction(actions_.miFileSaveAs);
    file->addAction(actions_.miFileSaveAttachments);
    file->addSeparator();
    file->addAction(actions_.miFilePreview);
    file->addAction(actions_.miFilePrint);
    file->addSeparator();
    file->addAction(actions_.miFileReply);
    file->addAction(actions_.miFileForward);
    file->addSeparator();
    file->addAction(actions_.miFileExit);

    QMenu* view = bar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("miView"));
    actions_.miLanguage = view->addMenu(tr("Switch language"));
    actions_.miLanguage->setObjectName(QStringLiteral("miLanguage"));
    QAction* defaultItem = NewAction("miLanguageDefault", tr("use default language"), actions_.miLanguage);
    defaultItem->setProperty("tag", kDefaultItemTag);
    actions_.miLanguage->addAction(defaultItem);
    connect(defaultItem, &QAction::triggered, this, [this, defaultItem] { TranslateForm(defaultItem); });
    actions_.miLanguageSeparator = view->addSeparator();
    view->addAction(actions_.miRegisterExtension);
    view->addAction(actions_.miUnRegisterExtension);
    view->addSeparator();
    view->addAction(actions_.miViewFileTree);
    view->addSeparator();
    view->addAction(actions_.miOptions);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("miHelp"));
    help->addAction(actions_.miHelpContents);
    help->addAction(actions_.miHelpCHM);
    help->addAction(actions_.miHelpHomepage);
    help->addAction(actions_.miHelpSendEMail);
    help->addSeparator();
    help->addAction(actions_.miHelpCheckUpdate);
    help->addSeparator();
    help->addAction(actions_.miHelpAbout);
}

void TfrmMain::CreateToolBars()
{
    const TMainActions& a = actions_;
    cbMain_ = new TCoolBar(this, { a.btnConvert, a.btnSaveAs, nullptr, a.btnClose },
        { a.btnHomepage, a.btnSendMail, nullptr, a.btnAbout });
    cbFileName_ = cbMain_->FileNameBox();

    // A choice from the list and Enter open the file; typing alone does not, so that a path being typed is not
    // opened (and reported missing) at every keystroke.
    // Enter opens exactly the text in the box: the box's own Enter handling, which would pick a list entry that
    // matches the text without regard to case and open it a second time, is left out.
    disconnect(cbFileName_->lineEdit(), &QLineEdit::returnPressed, cbFileName_, nullptr);
    cbFileName_->installEventFilter(this);
    connect(cbFileName_, &QComboBox::activated, this, [this](int) { LoadCurrentFile(); });
    connect(cbFileName_->lineEdit(), &QLineEdit::returnPressed, this, &TfrmMain::LoadCurrentFile);
}

void TfrmMain::CreateCentralArea()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlMain"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(cbMain_);

    splitter_ = new QSplitter(Qt::Horizontal, central);
    splitter_->setObjectName(QStringLiteral("splitter"));
    splitter_->setChildrenCollapsible(false);
    layout->addWidget(splitter_, 1);

    // Left pane: logo, home-page label, and between them the explorer pane once it is first shown (Explorer()).
    pnlLeft_ = new QWidget(splitter_);
    pnlLeft_->setObjectName(QStringLiteral("pnlLeft"));
    pnlLeft_->setMinimumWidth(kLeftPaneWidth);
    auto* left = new QVBoxLayout(pnlLeft_);
    left->setContentsMargins(4, 8, 4, 5);
    imgLogo_ = new QLabel(pnlLeft_);
    imgLogo_->setObjectName(QStringLiteral("imgLogo"));
    imgLogo_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    imgLogo_->setPixmap(LogoPixmap(64));
    left->addWidget(imgLogo_);
    left->addStretch(1);
    lblCorvane_ = new QLabel(QStringLiteral("Visit\nCorvane Software\nhomepage"), pnlLeft_);
    lblCorvane_->setObjectName(QStringLiteral("lblCorvane"));
    lblCorvane_->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    lblCorvane_->setWordWrap(true);
    lblCorvane_->setCursor(Qt::PointingHandCursor);
    QFont link = lblCorvane_->font();
    link.setUnderline(true);
    lblCorvane_->setFont(link);
    lblCorvane_->setForegroundRole(QPalette::Link);
    lblCorvane_->installEventFilter(this);
    left->addWidget(lblCorvane_);

    // Right: the damage bar, the pages and the label shown before the first load.
    auto* right = new QWidget(splitter_);
    right->setObjectName(QStringLiteral("pnlPages"));
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 5, 0, 0);
    rightLayout->setSpacing(4);

    pnlDamage_ = new TDamageBar(right);
    rightLayout->addWidget(pnlDamage_);

    pageControl_ = new QTabWidget(right);
    pageControl_->setObjectName(QStringLiteral("PageControl"));
    tsPreview_ = new QWidget;
    tsPreview_->setObjectName(QStringLiteral("tsPreview"));
    auto* previewLayout = new QVBoxLayout(tsPreview_);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    preview_ = new TfrmMessage(settings_, tsPreview_);
    previewLayout->addWidget(preview_);
    preview_->SetSaveAllAction(actions_.miFileSaveAttachments);
    preview_->TranslateWindow = [this](QWidget* window) { TranslateForm(window); };
    tsProperties_ = new TPropertiesPage;
    tsStructure_ = new TStructurePage;
    tsHeader_ = new TTransportHeaderPage;
    tsFlags_ = new TFlagsPage;
    pageControl_->addTab(tsPreview_, tr("Preview"));
    pageControl_->addTab(tsProperties_, tr("Properties"));
    pageControl_->addTab(tsStructure_, tr("Structure"));
    pageControl_->addTab(tsHeader_, tr("Transport Header"));
    pageControl_->addTab(tsFlags_, tr("Flags"));
    SetTabShown(tsStructure_, false);
    pageControl_->hide();
    rightLayout->addWidget(pageControl_, 1);

    lblNoFile_ = new QLabel(tr("To view the message contents please select the file name..."), right);
    lblNoFile_->setObjectName(QStringLiteral("lblNoFile"));
    lblNoFile_->setAlignment(Qt::AlignCenter);
    lblNoFile_->setWordWrap(true);
    rightLayout->addWidget(lblNoFile_, 1);

    splitter_->addWidget(pnlLeft_);
    splitter_->addWidget(right);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({ kLeftPaneWidth, 600 });
    connect(splitter_, &QSplitter::splitterMoved, this, [this] { FormResize(); });
    connect(pageControl_, &QTabWidget::currentChanged, this, [this] { FormResize(); });
    connect(this, &TfrmMain::ProgramTextsReloaded, tsFlags_, &TFlagsPage::Retranslate);
    connect(this, &TfrmMain::ProgramTextsReloaded, tsProperties_, &TPropertiesPage::Retranslate);
    connect(this, &TfrmMain::ProgramTextsReloaded, tsStructure_, &TStructurePage::Retranslate);
    // The pages other than the preview make their widgets when first shown; those get the language then.
    for (TLazyPage* page : std::initializer_list<TLazyPage*> { tsProperties_, tsStructure_, tsHeader_, tsFlags_ })
        connect(page, &TLazyPage::ContentBuilt, this, &TfrmMain::TranslatePart);
    // The workspace names the open file only once the pages are filled (Save As is enabled then).
    connect(this, &TfrmMain::PagesFilled, this, [this] {
        if (explorer_ && explorer_->Workspace()->topLevelItemCount() > 0)
            explorer_->BuildWorkspace();
    });
    connect(this, &TfrmMain::ProgramTextsReloaded, this, [this] {
        if (!explorer_)
            return;
        explorer_->SetTitle(strFileExplorer());
        if (explorer_->Workspace()->topLevelItemCount() > 0)
            explorer_->BuildWorkspace();
    });

    setCentralWidget(central);
}

void TfrmMain::BuildLanguageMenu()
{
    const std::string folder = LanguageFolder();
    for (const TLanguageFile& file : FindLanguageFiles(folder)) {
        auto* item = new QAction(Q(file.Caption), actions_.miLanguage);
        // The item keeps the file it stands for, so that its caption (translated, or given an accelerator by
        // the desktop) never has to be turned back into a file name.
        item->setData(Q(file.Path));
        item->setProperty("languageFile", Q(file.Path));
        if (!file.Bitmap.empty()) {
            QPixmap picture(Q(file.Bitmap));
            if (!picture.isNull())
                item->setIcon(QIcon(picture.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        }
        actions_.miLanguage->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { TranslateForm(item); });
    }
    const bool more = actions_.miLanguage->actions().size() > 1;
    actions_.miLanguage->menuAction()->setVisible(more);
    actions_.miLanguageSeparator->setVisible(more);
}

std::string TfrmMain::LanguageFolder() const
{
    return quorra::LanguageFolder(startup_.ProgramFolder, startup_.InstalledLanguageFolder);
}

// ---------------------------------------------------------------------------------------------------------------
// Opening files

QString TfrmMain::FileName() const { return cbFileName_->currentText(); }

void TfrmMain::SetTabShown(QWidget* page, bool shown)
{
    pageControl_->setTabVisible(pageControl_->indexOf(page), shown);
}

void TfrmMain::btnXLSFileNameClick()
{
    // First an entry for every kind of file the program opens: TNEF, .msg and mail files.
    const QString supported
        = Q(CombinedFilterText(S(strAllSupportedFiles()), { S(TNEFFileExt()), S(MsgFileExt()), S(MailFileExt()) }));
    QString filter = supported + u'|' + TNEFFileExt() + u'|' + MsgFileExt() + u'|' + MailFileExt() + u'|' + AllFileExt();
    // The box's file tells where to start when it names a file that is there; the name proposed from the program's
    // folder when nothing was opened yet does not.
    QString fileName = QFileInfo(FileName()).isFile() ? FileName() : QString();
    // The program's folder was the default of older settings files: it counts as no folder set.
    const QString defaultDir
        = settings_.DefaultDir == startup_.ProgramFolder || settings_.DefaultDir == quorra::ProgramFolder()
        ? QString()
        : Q(settings_.DefaultDir);
    if (!FileDialog(this, QStringLiteral("tnef"), filter, true, fileName, QString(),
            StartFolder(defaultDir, Q(settings_.LastUsedDir))))
        return;
    OpenFile(fileName);
}

void TfrmMain::btnCloseClick() { close(); }

pelmsg::TPelMessage* TfrmMain::Message() const { return document_ ? &document_->Message() : nullptr; }

QString TfrmMain::LoadedFileName() const { return document_ ? document_->Path() : QString(); }

void TfrmMain::LoadCurrentFile() { OpenFile(FileName()); }

void TfrmMain::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (mime && mime->hasUrls() && !mime->urls().isEmpty() && mime->urls().constFirst().isLocalFile())
        event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls())
        return;
    // Only the first dropped file opens.
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        event->acceptProposedAction();
        QString path = url.toLocalFile();
        // Load after the drop has finished, so that the source application is not kept waiting.
        QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
        return;
    }
}

void TfrmMain::OpenFile(const QString& path)
{
    // A mail file named at start-up is opened once the event loop runs, after the window has been shown: when it
    // asks which TNEF part to show, the question comes up over the window, not alone before it.
    if (creating_ && pelmsg::IsMailFile(S(path))) {
        QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
        return;
    }
    // A newer open replaces a listing of TNEF parts still running.
    TTnefPartListing::CancelAll(this);
    const auto prepare = [this](QDialog* dialog) { TranslateForm(dialog); };
    // Opens the TNEF part chosen (the first when there was no choice). A large file is read in a worker; the
    // window shows the document it has until the new one is in.
    const auto open = [this, path](std::optional<size_t> tnefPart) {
        if (OpenInBackground(path, tnefPart.value_or(0)))
            return;
        BeginOpen(path);
        std::unique_ptr<TOpenDocument> document;
        {
            TBusyCursor busy;
            document = std::make_unique<TOpenDocument>(path, tnefPart.value_or(0));
        }
        ShowDocument(std::move(document));
    };
    // A mail file with several TNEF parts asks which one to show; cancelled, the window stays as it is. A large
    // one is listed in a worker, and the part chosen opens once the user has chosen it.
    if (QFileInfo(path).size() >= backgroundWorkBytes_ && pelmsg::IsMailFile(S(path))) {
        new TTnefPartListing(this, path, prepare, open);
        return;
    }
    bool cancelled = false;
    const std::optional<size_t> tnefPart = ChooseTnefPart(this, path, cancelled, prepare);
    if (cancelled)
        return;
    open(tnefPart);
}

void TfrmMain::BeginOpen(const QString& path)
{
    fileLoaded_ = false;
    lblNoFile_->hide();
    pageControl_->show();
    ClearDocument();

    AddRecentFile(settings_, S(path));
    RefreshRecent();
    cbFileName_->setCurrentIndex(0);
    cbFileName_->setEditText(path);
}

void TfrmMain::ShowDocument(std::unique_ptr<TOpenDocument> document)
{
    document_ = std::move(document);
    const QString& path = document_->Path();
    const QString& error = document_->LoadError();
    if (!error.isEmpty()) {
        QString text = error;
        if (!error.contains(path))
            text = strLoadFailed.Arg(path) + QStringLiteral("\n\n") + error;
        ShowError(text);
    }
    fileLoaded_ = true;
    {
        TBusyCursor filling;
        FillPages();
    }
    QTimer::singleShot(0, this, &TfrmMain::IdleStep);
}

void TfrmMain::IdleStep()
{
    if (!fileLoaded_)
        return;
    fileLoaded_ = false;
    if (settings_.BeepAfter && Beep)
        Beep();
}

void TfrmMain::ShowError(const QString& text) { ShowMessageBox(this, QMessageBox::Warning, text, "ErrorBox"); }

void TfrmMain::ClearDocument()
{
    emit DocumentCleared();
    preview_->SetMessagePath(QString());
    preview_->FillPreview(nullptr);
    preview_->SetMessageKeeper(nullptr);
    tsProperties_->Fill(nullptr);
    tsStructure_->Clear();
    tsHeader_->Fill(nullptr);
    tsFlags_->Fill(nullptr);
    pnlDamage_->Show(nullptr);
    structureBuilt_ = false;
    document_.reset();
    // With no document open, nothing is there to save, print or answer (as in a window started without a file);
    // Close stays, as it closes the window. FillPages enables them for the next document.
    const TMainActions& a = actions_;
    for (QAction* action : { a.miFileSaveAs, a.btnSaveAs, a.miFileSaveAttachments, a.miFileReply, a.miFileForward,
             a.miFilePrint, a.miFilePreview })
        action->setEnabled(false);
}

void TfrmMain::FillPages()
{
    const pelmsg::TPelMessage* message = Message();
    const QString& path = document_->Path();
    // The Structure page shows the storages of a compound file. A file that cannot be read as one is reported,
    // and the other pages are filled all the same.
    structureBuilt_ = false;
    if (pageControl_->isTabVisible(pageControl_->indexOf(tsProperties_))) {
        QString error = document_->StorageError();
        try {
            structureBuilt_ = tsStructure_->BuildStructureTree(document_->Storage());
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        // A file the load already reported is not reported twice.
        if (!error.isEmpty() && document_->LoadError().isEmpty())
            ShowError(strLoadFailed.Arg(path) + QStringLiteral("\n\n") + error);
        tsProperties_->Fill(message);
    }
    SetTabShown(tsStructure_, structureBuilt_);
    preview_->SetMessagePath(path);
    preview_->SetMessageKeeper(document_);
    preview_->FillPreview(message ? &message->Properties() : nullptr);
    tsHeader_->Fill(message);
    tsFlags_->Fill(message);

    const TMainActions& a = actions_;
    for (QAction* action :
        { a.miFileSaveAs, a.btnSaveAs, a.miFileReply, a.miFileForward, a.miFilePrint, a.miFilePreview })
        action->setEnabled(true);
    a.miFileSaveAttachments->setEnabled(preview_->AttachmentCount() > 0);
    pnlDamage_->Show(document_.get());
    emit PagesFilled();
    FormResize();
}

void TfrmMain::RefreshRecent()
{
    actions_.miReopen->clear();
    for (size_t n = 0; n < settings_.RecentFiles.size(); ++n) {
        const QString path = Q(settings_.RecentFiles[n]);
        QAction* item = actions_.miReopen->addAction(QStringLiteral("&%1 %2").arg(n).arg(path));
        item->setToolTip(path);
        item->setData(path);
        item->setProperty("tag", int(n));
        connect(item, &QAction::triggered, this, [this, path] { OpenFile(path); });
    }
    actions_.miReopen->setEnabled(!settings_.RecentFiles.empty());
    const QString text = cbFileName_->currentText();
    const QSignalBlocker block(cbFileName_);
    cbFileName_->clear();
    for (const std::string& path : settings_.RecentFiles)
        cbFileName_->addItem(Q(path));
    cbFileName_->setCurrentIndex(-1);
    cbFileName_->setEditText(text);
    if (explorer_ && explorer_->Workspace()->topLevelItemCount() > 0)
        explorer_->BuildWorkspace();
}

// ---------------------------------------------------------------------------------------------------------------
// Language

void TfrmMain::TranslateForm(QObject* sender)
{
    auto* item = qobject_cast<QAction*>(sender);
    if (!sender) {
        settings_.LangFile = ResolveLanguageFile(settings_.LangFile, LanguageFolder());
        if (settings_.LangFile.empty() || IsEnglishLanguageFile(settings_.LangFile))
            return;
    } else if (item) {
        settings_.SettingsChanged = true;
        if (item->property("tag").toInt() == kDefaultItemTag) {
            // English at once: every translated property gets its own text back, every program text its English.
            settings_.LangFile.clear();
            pelLanguage_->RestoreOriginals();
            cbMain_->Arrange(width());
            TProgramText::ResetAllToEnglish();
            ShowProgramTexts();
            emit ProgramTextsReloaded();
            return;
        }
        settings_.LangFile = S(item->property("languageFile").toString());
    }
    if (settings_.LangFile.empty())
        return;
    pelLanguage_->SetResourceFile(Q(settings_.LangFile));
    if (!sender || item)
        LoadQtTranslations(LanguageCodeOf(Q(settings_.LangFile)));
    try {
        pelLanguage_->Translate();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
    cbMain_->Arrange(width());
    if (sender && !item)
        return;
    setWindowTitle(QStringLiteral("Tessaly"));
    TProgramText::ReloadAll(*pelLanguage_);
    ShowProgramTexts();
    emit ProgramTextsReloaded();
}

void TfrmMain::ShowProgramTexts()
{
    cbMain_->FileNameLabel()->setText(strFileName());
    pnlDamage_->Retranslate();
}

} // namespace quorra
