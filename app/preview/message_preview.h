#pragma once

// The message preview "frmMessage": a header panel (From, Sent, To, CC, BCC, Subject, the body format, When and
// Where for a meeting), an importance banner, the body on three tabs (plain text, rich text read by the library's
// RTF reader, HTML in a private web view), and the attachments, which open, save and drag out. One lives in the
// main window's Preview page; an attached message opens in a modal one of its own, at any depth.

#include <functional>
#include <memory>

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPrinter;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTextDocument;
class QTextEdit;
class QDialog;
class QCheckBox;

namespace pelmsg {
class TMSGProperties;
class TPelMessage;
struct TItemSummary;
}

namespace quorra {

struct TSettings;
struct TRenderOptions;
class THtmlView;
class TAttachmentList;
struct TPreparedHtml;
struct TRtfBodySource;

// Every file the preview writes into the private temporary folder (removed with the folder at exit).
QStringList& TempFiles();

class TfrmMessage : public QWidget {
    Q_OBJECT

public:
    // The settings give WordWrap, DefaultFormat, AllowRemoteContent and the attachment folder; they must outlive
    // the form.
    explicit TfrmMessage(TSettings& settings, QWidget* parent = nullptr);
    ~TfrmMessage() override;

    // Shows a property collection (a message's root or an attached message's); nullptr empties the form. The
    // collection must stay alive while it is shown.
    void FillPreview(const pelmsg::TMSGProperties* properties);
    // The file the message came from (for the attachment folder).
    void SetMessagePath(const QString& path) { messagePath_ = path; }
    // What keeps the messages shown alive (the open document): work in a worker (a large HTML body, printing)
    // holds it until it ends, whatever the window shows meanwhile. Without one, the work copies what it reads.
    void SetMessageKeeper(std::shared_ptr<const void> keeper) { messageKeeper_ = std::move(keeper); }

    // Puts an HTML text into the HTML tab, which is visible exactly when the text is not empty.
    void ShowHtml(const QString& charset, const QString& html);
    // The edit the body commands work on: the rich-text edit on the "Rich text" tab, else the plain one.
    QTextEdit* ActiveEdit() const;
    // The web view; created on first show or when a message with HTML is shown.
    THtmlView* HtmlView() const { return htmlView_; }
    void CreateBrowser();
    // Creates the web view after the window has been painted with the header and the plain or rich text; while it
    // starts, the rich or plain text is shown in place of the HTML, which takes over once it has loaded (unless the
    // user chose another tab meanwhile).
    void ScheduleBrowser();

    int AttachmentCount() const;
    // The collection shown, or nullptr.
    const pelmsg::TMSGProperties* Properties() const { return properties_; }

    // The preview as shown (header fields, importance, the active tab's body, the attachments) as a document to
    // print: the rendering of app/render.
    void FillPrintDocument(QTextDocument& document) const;
    // The document Print prints: FillPrintDocument's, in a document that takes pictures only from the message's
    // own attachments (and data: addresses), never from a file or the network a body names.
    std::unique_ptr<QTextDocument> CreatePrintDocument() const;
    // Print dialog, print preview; to PDF through the dialog's printer choice.
    void PrintWithDialog();
    void PrintPreview();
    void Print(QPrinter& printer) const;
    // The rendering of the preview as shown: the body of the tab shown, the captions of the header.
    TRenderOptions PrintOptions() const;
    // Names the print job and its PDF after the subject.
    void SetPrinterDocument(QPrinter& printer) const;

    // "Save all attachments" of the pop-up triggers this action (the main window's); hidden without one.
    void SetSaveAllAction(QAction* action) { saveAllAction_ = action; }

    // Replaceable for tests: hands a file to the desktop's opener (default QDesktopServices).
    std::function<void(const QString&)> OpenFileExternally;
    // Gives a window the preview opens (an attached message) the language in use; set by the preview's owner.
    std::function<void(QWidget*)> TranslateWindow;

    // Event handlers with the names the program knows them by.
    void lvAttachmentsDblClick();
    void pmAttachmentPopup();
    // Open (tag 1) or Save (tag 2) of the selected attachment.
    void miAttachSaveClick(int tag);
    void btnSelectAllClick();
    void btnCopyClick();
    void btnFindTextClick();
    // Searches the find dialog's text from the end of the current selection (so that it moves on to the next
    // hit), wrapping to the start once; false (and the error box) when the text does not occur.
    bool FindDialogFind();
    void btnWordWrapClick();
    void pnlHeaderResize();

    // ---- Keyboard and zoom ----
    // The body's commands with their shortcuts (window-wide: they work wherever the focus is in the window the
    // form is in); the main window lists them in its View menu. Names: btnFindText, miFindNext,
    // miFindPrevious, miZoomIn, miZoomOut, miZoomReset.
    QList<QAction*> KeyboardActions() const;
    // Searches the find dialog's text again, forward or backward (the find dialog opens when it has none).
    bool FindAgain(bool backward);
    // Zooms the body (plain, rich text and HTML alike) by steps; 0 steps back to the normal size.
    void ZoomBody(int steps);
    void ZoomReset();
    int ZoomSteps() const { return zoomSteps_; }
    double ZoomFactor() const;
    // The target of the link under the mouse in the HTML body ("" when none), shown in the form's status line.
    QString HoveredLink() const;
    // After attachments were saved: "3 files saved in ~/Downloads/winmail" under the strip, with a button that
    // opens the folder; SaveSummary is that text ("" when none is shown).
    void ShowSaveSummary(int count, const QString& folder);
    QString SaveSummary() const;

    // Prints the preview as shown on a printer the print dialog has set up: in a worker, behind a progress dialog
    // with Cancel (print_job.h), when a keeper keeps the message alive; else here and now. PrintEnded follows.
    void StartPrint(std::unique_ptr<QPrinter> printer);

    // Whether a large HTML body (or the HTML of a large RTF body) is being prepared in a worker (its tab is shown,
    // empty, until it is in; for an RTF body not known to hold HTML, hidden until it turns out to).
    bool HtmlPending() const { return htmlPending_; }
    // The HTML text the HTML tab shows ("" for none, and while it is prepared).
    const QString& HtmlText() const { return html_; }

signals:
    // The web view has loaded the HTML body shown (ok: without failing).
    void HtmlLoaded(bool ok);
    // A print StartPrint began has ended: printed in full, or cancelled, or failed (the error box has said why).
    void PrintEnded(bool printed, bool cancelled);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    void CreateHeader();
    void CreateBody();
    void CreateAttachmentList();
    void CreateMenus();
    void SetImportance(int level);
    void LoadBodies();
    void FillAttachments();
    void OpenAttachment(int row);
    void SaveAttachment(int row);
    void ShowEmbeddedMessage(int row);
    void ShowOleObject(int row);
    void ShowError(const QString& text);
    bool TabShown(QWidget* tab) const;
    void SetTabShown(QWidget* tab, bool shown);
    QListWidgetItem* SelectedAttachment() const;
    void CreateKeyboardActions();
    void ApplyZoom(double from);
    void ConnectHtmlView();
    void ApplyPaletteColours();
    void StandInForHtml();
    void CreateTaskRows();
    void FillTaskRows(const pelmsg::TItemSummary* item);
    QWidget* CreateAttachmentStrip();
    void DecorateAttachments();

    TSettings& settings_;
    const pelmsg::TMSGProperties* properties_ = nullptr;
    QString messagePath_;
    QString html_;
    QString charset_;

    QLabel* lblImportance_ = nullptr;
    QWidget* pnlHeader_ = nullptr;
    QLineEdit* edFrom_ = nullptr;
    QLineEdit* edSent_ = nullptr;
    QLineEdit* edTo_ = nullptr;
    QLineEdit* edCC_ = nullptr;
    QLineEdit* edBCC_ = nullptr;
    QLineEdit* edSubject_ = nullptr;
    QLineEdit* edWhen_ = nullptr;
    QLineEdit* edWhere_ = nullptr;
    QComboBox* cbMessageFormat_ = nullptr;
    QTabWidget* pcBody_ = nullptr;
    QWidget* tsPlainText_ = nullptr;
    QWidget* tsRTFBody_ = nullptr;
    QWidget* tsHTMLBody_ = nullptr;
    QTextEdit* reBody_ = nullptr;
    QTextEdit* reRTFBody_ = nullptr;
    THtmlView* htmlView_ = nullptr;
    QSplitter* splAttachment_ = nullptr;
    TAttachmentList* lvAttachments_ = nullptr;
    QMenu* pmAttachment_ = nullptr;
    QMenu* pmBody_ = nullptr;
    QAction* miEncoding_ = nullptr;
    QAction* miAttachOpen_ = nullptr;
    QAction* miAttachSave_ = nullptr;
    QAction* miAttachSaveAll_ = nullptr;
    QAction* btnWordWrap_ = nullptr;
    QAction* btnFindText_ = nullptr;
    QPointer<QAction> saveAllAction_;
    QDialog* findDialog_ = nullptr;
    QLineEdit* edFindText_ = nullptr;
    QCheckBox* cbMatchCase_ = nullptr;
    QList<QAction*> keyboardActions_;
    int zoomSteps_ = 0;
    QLabel* lblLinkTarget_ = nullptr;
    QLineEdit* edDue_ = nullptr;
    QLineEdit* edTaskStatus_ = nullptr;
    QLabel* lblSaveSummary_ = nullptr;
    QPushButton* btnOpenFolder_ = nullptr;
    QPushButton* btnSaveAll_ = nullptr;
    bool browserScheduled_ = false;
    QWidget* htmlStandIn_ = nullptr; // the tab shown until the web view has loaded, or nullptr
    QHash<QLineEdit*, QLabel*> rowLabels_; // the caption of each header field
    // A large HTML body prepared in a worker (html_later.cpp): each message shown makes the running preparation
    // stale (its result is dropped); the text prepared, handed to the web view once it exists.
    bool StartHtmlInWorker(const pelmsg::TMSGProperties& properties);
    // The same for the HTML a large RTF body encapsulates; tabAtOnce: the HTML tab shows (empty) while it is
    // prepared, else once it turns out to hold something.
    void StartRtfHtmlInWorker(TRtfBodySource rtf, bool tabAtOnce);
    void PrepareHtmlInWorker(std::function<TPreparedHtml()> prepare, bool tabAtOnce = true);
    void DropPendingHtml();
    void HtmlPrepared(const std::shared_ptr<const TPreparedHtml>& prepared);
    std::shared_ptr<const void> messageKeeper_;
    quint64 htmlRequest_ = 0;
    bool htmlPending_ = false;
    std::shared_ptr<const TPreparedHtml> preparedHtml_;
    // The rich-text tab's document of a short RTF body, read at once but given to the view only when the tab shows
    // (a view lays out the document it is given: a tab the user may never open costs nothing more). Null when the
    // view has its document.
    std::unique_ptr<QTextDocument> pendingRtf_;
    void ReadRtfForTab(const QString& rtf);
    void AttachPendingRtf();
    // The rich-text document of the message shown: the one waiting for its tab, else the view's.
    const QTextDocument& RtfDocument() const;
};

} // namespace quorra
