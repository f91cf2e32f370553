#pragma once

// The message preview "frmMessage": a header panel (From, Sent, To, CC, BCC, Subject, the body format, When and
// Where for a meeting), an importance banner, the body on three tabs (plain text, rich text read by the library's
// RTF reader, HTML in a private web view), and the attachments, which open, save and drag out. One lives in the
// main window's Preview page; an attached message opens in a modal one of its own, at any depth.

#include <functional>
#include <memory>

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
class QSplitter;
class QTabWidget;
class QTextDocument;
class QTextEdit;
class QDialog;
class QCheckBox;

namespace pelmsg {
class TMSGProperties;
class TPelMessage;
}

namespace quorra {

struct TSettings;
struct TRenderOptions;
class THtmlView;
class TAttachmentList;

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

    // Puts an HTML text into the HTML tab, which is visible exactly when the text is not empty.
    void ShowHtml(const QString& charset, const QString& html);
    // The edit the body commands work on: the rich-text edit on the "Rich text" tab, else the plain one.
    QTextEdit* ActiveEdit() const;
    // The web view; created on first show or when a message with HTML is shown.
    THtmlView* HtmlView() const { return htmlView_; }
    void CreateBrowser();

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

protected:
    void showEvent(QShowEvent* event) override;

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
    QPointer<QAction> saveAllAction_;
    QDialog* findDialog_ = nullptr;
    QLineEdit* edFindText_ = nullptr;
    QCheckBox* cbMatchCase_ = nullptr;
};

// The main window's Preview page: builds the form in the page, fills it from a message (nullptr empties it), and
// counts its attachments.
TfrmMessage* CreatePreviewPage(QWidget* tsPreview, TSettings& settings);
TfrmMessage* PreviewForm(const QWidget* tsPreview);
void FillPreviewPage(QWidget* tsPreview, const pelmsg::TPelMessage* message, const QString& path = QString());
int PreviewAttachmentCount(const QWidget* tsPreview);

} // namespace quorra
