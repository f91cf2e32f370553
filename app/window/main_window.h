#pragma once

// The main window: menus, tool bars, the file-name box, the left pane and the five pages; it opens one message
// at a time and fills the pages from it.
//
// Every widget and action carries the objectName the program knows it by (miOpen, btnSaveAs, cbFileName,
// PageControl, tsPreview, ...), so that language files, tests and the code of each page find them. Each page
// keeps its widgets and its filling code in a file of its own; FillPages calls them in order.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>

#include "desktop_services.h"
#include "settings.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;

namespace pelmsg {
class TPelMessage;
}

namespace quorra {

// The explorer pane's least width, and its width at the first start.
inline constexpr int kLeftPaneWidth = 112;

class TOpenDocument;
class TPelLanguage;
class TExplorerPane;
class TDamageBar;
class TCoolBar;
class TDocumentLoader;
struct TSaveOutcome;
class TWorkProgress;
class TfrmMessage;
class TPropertiesPage;
class TStructurePage;
class TTransportHeaderPage;
class TFlagsPage;

// The actions of the main window's menus and tool bars; each carries its member's name as objectName, which the
// language files know it by.
struct TMainActions {
    QAction* miOpen = nullptr;
    QAction* miFileSaveAs = nullptr;
    QAction* miFileSaveAttachments = nullptr;
    QAction* miFilePreview = nullptr;
    QAction* miFilePrint = nullptr;
    QAction* miFileReply = nullptr;
    QAction* miFileForward = nullptr;
    QAction* miFileExit = nullptr;
    QAction* miRegisterExtension = nullptr;
    QAction* miUnRegisterExtension = nullptr;
    QAction* miViewFileTree = nullptr;
    QAction* miOptions = nullptr;
    QAction* miHelpContents = nullptr;
    QAction* miHelpCHM = nullptr;
    QAction* miHelpHomepage = nullptr;
    QAction* miHelpSendEMail = nullptr;
    QAction* miHelpCheckUpdate = nullptr;
    QAction* miHelpAbout = nullptr;
    QAction* btnConvert = nullptr;
    QAction* btnSaveAs = nullptr;
    QAction* btnClose = nullptr;
    QAction* btnHomepage = nullptr;
    QAction* btnSendMail = nullptr;
    QAction* btnAbout = nullptr;
    QAction* miViewLogo = nullptr;
    QAction* miNextPage = nullptr;
    QAction* miPreviousPage = nullptr;
    std::array<QAction*, 5> miPages {}; // Alt+1 to Alt+5: the first five pages shown
    // The menus whose items change: the recent files, the languages (hidden with its separator when there is
    // only the default one).
    QMenu* miReopen = nullptr;
    QMenu* miLanguage = nullptr;
    QAction* miLanguageSeparator = nullptr;
};

class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    // What the program was started with.
    struct TStartup {
        std::vector<std::string> Arguments; // the command line without the program name
        std::string ProgramFolder; // empty: the executable's folder
        std::string CurrentFolder; // empty: the process's current folder
        std::string InstalledLanguageFolder; // the installed share folder of language files
    };

    // Runs the whole start-up: settings, switches, the first argument, language, icons, placement, and the last
    // file when the settings ask for it. The window is not shown yet (ShowPlaced does that).
    explicit TfrmMain(TStartup startup);
    ~TfrmMain() override;

    // Shows the window normal, maximized or minimized as the placement says.
    void ShowPlaced();

    // ---- State the pages and commands use ----
    // The open document, and its message; nullptr before the first load.
    const TOpenDocument* Document() const { return document_.get(); }
    pelmsg::TPelMessage* Message() const;
    TSettings& Settings() { return settings_; }
    TPelLanguage& PelLanguage() const { return *pelLanguage_; }
    const std::string& ProgramFolder() const { return startup_.ProgramFolder; }
    std::string LanguageFolder() const;
    // Set when a load attempt has finished, cleared by the idle step after it.
    bool FileLoaded() const { return fileLoaded_; }
    // The text of the file-name box: the file that is (or was last tried to be) open.
    QString FileName() const;
    // The file the loaded message was read from (the box's text may have been edited since); empty before a load.
    QString LoadedFileName() const;
    // The five pages and their page control.
    QTabWidget* PageControl() const { return pageControl_; }
    QWidget* PreviewPage() const { return tsPreview_; }
    TfrmMessage* Preview() const { return preview_; }
    TPropertiesPage* PropertiesPage() const { return tsProperties_; }
    TStructurePage* StructurePage() const { return tsStructure_; }
    TTransportHeaderPage* HeaderPage() const { return tsHeader_; }
    TFlagsPage* FlagsPage() const { return tsFlags_; }
    // The actions of the menus and tool bars.
    const TMainActions& Actions() const { return actions_; }

    // ---- Document lifecycle ----
    // Puts the path into the file-name box, opens it as the document and fills every page.
    void OpenFile(const QString& path);
    // Opens the file named by the file-name box (after the user typed or picked it there).
    void LoadCurrentFile();
    // Empties the pages and frees the message.
    void ClearDocument();
    // Fills the pages from the message after a load.
    void FillPages();
    // Files of at least this many bytes are read in a worker, behind a progress dialog that can cancel, while the
    // window keeps the document it shows, and messages read from such files are saved in a worker; smaller ones
    // (read and written well within half a second) at once. 0: every file.
    void SetBackgroundWorkBytes(qint64 bytes) { backgroundWorkBytes_ = bytes; }
    // True while a file is read in a worker.
    bool Loading() const;
    // Shows and hides tabs, logo and left pane by the view mode, the logo setting and the file-tree check mark.
    void ApplyViewMode();
    // Gives tabs, menu items and tool buttons their icons.
    void ApplyIcons();
    // The window's layout pass (marks the placement as changed when it is kept).
    void FormResize();
    // Rebuilds the "Reopen" sub-menu, the file-name box's list and (when it has nodes) the workspace tree from
    // the recent files.
    void RefreshRecent();
    // The explorer pane of the left pane (hidden until View > "Display file/folder tree"; made when first needed).
    TExplorerPane* Explorer();
    // The addresses and the mail command (section "Internet" of the settings file).
    TInternetSettings& Internet() { return internet_; }
    // The program a registration as default viewer starts (this program unless set).
    QString ProgramPath;
    // The language command: no sender at start-up, a language menu item, or a dialog just created.
    void TranslateForm(QObject* sender);

    // ---- Saving ----
    // Saves the loaded message as fileName in the format its extension names (upper case with the dot, ".HTM";
    // quorra::SaveInFormat says which), with all original properties when SaveMode is AllProperties. Raises ESameFile
    // for the file that is open and the writers' errors; nothing happens without a loaded message.
    void SaveInFormat(
        const QString& fileName, const QString& extension, std::vector<std::string>* calendarWarnings = nullptr);
    // The extension of an entry of the Save As dialog's filter as it was last shown (1 for the first; "" for "All
    // files" and for an index it does not have).
    QString FormatExtension(int filterIndex) const;

    // Plays the sound after a finished load (the application's beep unless replaced).
    std::function<void()> Beep;

signals:
    // The document was cleared (pages empty their views before the message is freed).
    void DocumentCleared();
    // The pages were filled from a new load.
    void PagesFilled();
    // The program texts were read anew from a language (pages re-set the texts they took from them).
    void ProgramTextsReloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateCentralArea();
    void BuildLanguageMenu();
    void LoadPlacement();
    void StorePlacement();
    void ShowProgramTexts();
    void IdleStep();
    void ShowError(const QString& text);

    // Handlers.
    void btnXLSFileNameClick();
    void btnCloseClick();
    void miOptionsClick();
    void miViewFileTreeClick();
    void miFileSaveAsClick();
    QString SaveDialogTypeChange(int filterIndex, const QString& typedName);
    void miFileSaveAttachmentsClick();
    void miRegisterExtensionClick();
    void miUnRegisterExtensionClick();
    void miHelpContentsClick();
    void lblCorvaneClick();
    void tbbSendMailClick();
    void btnAboutClick();
    void miHelpCheckUpdateClick();
    void miFileReplyClick(bool forward);
    void ShowInformation(const QString& text, const char* objectName);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void SetTabShown(QWidget* page, bool shown);

    QAction* NewAction(const char* objectName, const QString& caption, QObject* parent);
    // The keyboard (standard shortcuts, the body's find and zoom, page switching), the logo switch and the
    // title that names the message: window_keys.cpp.
    void CreateKeyboard();
    void GoToPage(int visibleIndex);
    void StepPage(int step);
    void UpdateTitle();
    // The steps of OpenFile: the window made ready for the new file, and the document read shown.
    void BeginOpen(const QString& path);
    void ShowDocument(std::unique_ptr<TOpenDocument> document);
    bool OpenInBackground(const QString& path, size_t tnefPart);
    void BackgroundLoaded(const QString& path);
    void CancelBackgroundLoad();
    bool SaveInBackground(const QString& fileName, const QString& extension);
    void ReportSave(const TSaveOutcome& outcome);
    // Gives a part of the window made after start-up (a page shown for the first time, the explorer pane) the
    // language in use.
    void TranslatePart(QWidget* part);

    TStartup startup_;
    TSettings settings_;
    std::shared_ptr<TOpenDocument> document_; // shared with a save running in a worker
    // A file at least this large is read in a worker (loader_), with loadProgress_ showing how far it got.
    qint64 backgroundWorkBytes_ = 4 * 1024 * 1024;
    TDocumentLoader* loader_ = nullptr;
    TWorkProgress* loadProgress_ = nullptr;
    TPelLanguage* pelLanguage_ = nullptr;
    bool fileLoaded_ = false;
    bool structureBuilt_ = false;
    bool destroyed_ = false;
    bool creating_ = true;
    std::string fileToOpen_; // the first argument, loaded at the end of start-up
    std::vector<std::string> saveAsExtensions_; // of the Save As dialog's filter entries, as last shown
    std::string saveAsExtension_ = ".txt"; // of the filter entry chosen last, which the next Save As starts with

    TCoolBar* cbMain_ = nullptr;
    QComboBox* cbFileName_ = nullptr; // the cool bar's file-name box
    QSplitter* splitter_ = nullptr;
    QWidget* pnlLeft_ = nullptr;
    QLabel* imgLogo_ = nullptr;
    QLabel* lblCorvane_ = nullptr;
    TExplorerPane* explorer_ = nullptr;
    TInternetSettings internet_;
    TDamageBar* pnlDamage_ = nullptr;
    QTabWidget* pageControl_ = nullptr;
    QLabel* lblNoFile_ = nullptr;
    TMainActions actions_;
    QWidget* tsPreview_ = nullptr;
    TfrmMessage* preview_ = nullptr;
    TPropertiesPage* tsProperties_ = nullptr;
    TStructurePage* tsStructure_ = nullptr;
    TTransportHeaderPage* tsHeader_ = nullptr;
    TFlagsPage* tsFlags_ = nullptr;
};

} // namespace quorra
