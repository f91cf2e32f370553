#include "message_preview.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "desktop_services.h"
#include "html_view.h"
#include "icons.h"
#include "pelmsg.h"
#include "preview_support.h"
#include "private_temp.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "rtf_text_document.h"
#include "settings.h"
#include "viewer_support.h"

namespace quorra {

TProgramText strMsgAttachNotFound("strMsgAttachNotFound", "Attachment with message is not found.");
TProgramText strOleAttachNotFound("strOleAttachNotFound", "Attachment with ole-object is not found.");
TProgramText strEncoding("strEncoding", "Encoding:");
TProgramText strOleObjectKind("strOleObjectKind", "OLE-object");
TProgramText strOleOpenFile("strOleOpenFile", "Open file");
TProgramText strOleSaveFile("strOleSaveFile", "Save file...");
TProgramText strForwardedMessage("strForwardedMessage", "forwarded message");
TProgramText strExecutableNotOpened("strExecutableNotOpened",
    "\"%s\" is a program or script. It is not opened here, so that it cannot run on this computer. Do you want to "
    "save it instead?");
TProgramText strOleClass("strOleClass", "Class: %s");
TProgramText strOleType("strOleType", "Type: %s");
TProgramText strOleSize("strOleSize", "Size: %s bytes");
TProgramText strOlePackage("strOlePackage", "It contains the file \"%s\".");
TProgramText strOleCannotShow("strOleCannotShow", "Embedded objects cannot be shown on this system.");
TProgramText strUnknownText("strUnknownText", "unknown");

namespace {

// A text from a message as the window shows it on its own (a field, a list item, a title): bidirectional controls
// visible; and set into a sentence of the program's own: isolated too.
QString Shown(const QString& text) { return QString::fromStdU16String(VisibleBidiControls(text.toStdU16String())); }
QString Isolated(const QString& text) { return QString::fromStdU16String(IsolatedMessageText(text.toStdU16String())); }

// Item data of the attachment list.
enum TAttachmentRole {
    kRoleIndex = Qt::UserRole, // index among the message's attachments
    kRoleIcon, // 0 file, 1 attached message, 2 OLE object
    kRoleFileName,
    kRoleMime,
    kRoleCaption, // the name as the message gives it (the item shows it with its controls made visible)
};

// The data node of an attached message (0x3701 at any depth), else the attachment node itself.
const pelmsg::TMSGProperties* EmbeddedMessageProperties(const pelmsg::TMSGProperty* node)
{
    if (const pelmsg::TMSGProperty* data
        = node->SubProperties.FindProperty(pelmsg::MakeTag(pelmsg::kIdAttachDataObject, 0), true, true))
        if (!data->SubProperties.Empty())
            return &data->SubProperties;
    return &node->SubProperties;
}

std::string AttachmentBytes(const pelmsg::TMSGProperties& message, int index)
{
    pelmsg::TMemoryStream stream;
    pelmsg::WriteAttachmentData(message, index, stream);
    return stream.TakeBytes();
}

} // namespace

QStringList& TempFiles()
{
    static QStringList files;
    return files;
}

// The attachment list: icons with the attachments' names; selected attachments drag out as files (written into the
// private temporary folder under safe names, so the drop target copies them into its own folder).
class TAttachmentList : public QListWidget {
public:
    TAttachmentList(TfrmMessage* form, QWidget* parent)
        : QListWidget(parent)
        , form_(form)
    {
    }

    // Writes the selected files into the private folder and returns their URLs; attached messages go as .msg.
    QList<QUrl> WriteSelection() const
    {
        QList<QUrl> urls;
        const pelmsg::TMSGProperties* message = form_->Properties();
        if (!message)
            return urls;
        for (QListWidgetItem* item : selectedItems()) {
            const int index = item->data(kRoleIndex).toInt();
            const int icon = item->data(kRoleIcon).toInt();
            const pelmsg::TMSGProperty* node = message->Attachments(index);
            if (!node)
                continue;
            try {
                QString path;
                if (icon == 1) {
                    const std::string name = ProposedAttachmentName(pelmsg::TAttachmentKind::EmbeddedMessage,
                        item->data(kRoleCaption).toString().toStdString(), {});
                    const pelmsg::TMSGProperties* inner = EmbeddedMessageProperties(node);
                    path = WritePrivateTempFile(Q8(name), [&](pelmsg::TStream& out) { inner->SaveToMSG(out, true); });
                } else if (icon == 0) {
                    path = WritePrivateTempFile(item->data(kRoleFileName).toString(),
                        [&](pelmsg::TStream& out) { pelmsg::WriteAttachmentData(*message, index, out); });
                } else {
                    continue;
                }
                TempFiles() << path;
                urls << QUrl::fromLocalFile(path);
            } catch (const std::exception&) {
                // An attachment that cannot be written is left out of the drag.
            }
        }
        return urls;
    }

protected:
    void startDrag(Qt::DropActions) override
    {
        const QList<QUrl> urls = WriteSelection();
        if (urls.isEmpty())
            return;
        auto* mime = new QMimeData;
        mime->setUrls(urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        if (QListWidgetItem* item = currentItem())
            drag->setPixmap(item->icon().pixmap(32, 32));
        drag->exec(Qt::CopyAction, Qt::CopyAction);
    }

private:
    TfrmMessage* form_;
};

TfrmMessage::TfrmMessage(TSettings& settings, QWidget* parent)
    : QWidget(parent)
    , settings_(settings)
{
    // A file the desktop has no program for is said aloud, with what the user can do.
    OpenFileExternally = [this](const QString& path) {
        OpenDocument(QUrl::fromLocalFile(path), this, [this, path](const QString& reason) {
            ShowError(strNoProgramForFile.Arg(Isolated(QFileInfo(path).fileName())) + QStringLiteral("\n\n") + reason);
        });
    };
    FormCreate();
}

TfrmMessage::~TfrmMessage() = default;

void TfrmMessage::FormCreate()
{
    setObjectName(QStringLiteral("frmMessage"));
    setWindowTitle(QStringLiteral("frmMessage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    lblImportance_ = new QLabel(this);
    lblImportance_->setObjectName(QStringLiteral("lblImportance"));
    lblImportance_->setAutoFillBackground(true);
    lblImportance_->setMinimumHeight(25);
    lblImportance_->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    QPalette banner = lblImportance_->palette();
    banner.setColor(QPalette::Window, QColor(0x33, 0x66, 0xCC));
    lblImportance_->setPalette(banner);
    QFont bannerFont = lblImportance_->font();
    bannerFont.setBold(true);
    lblImportance_->setFont(bannerFont);
    lblImportance_->hide();
    layout->addWidget(lblImportance_);

    CreateHeader();
    layout->addWidget(pnlHeader_);
    CreateBody();
    CreateAttachmentList();
    splAttachment_ = new QSplitter(Qt::Vertical, this);
    splAttachment_->setObjectName(QStringLiteral("splAttachment"));
    splAttachment_->setChildrenCollapsible(false);
    splAttachment_->addWidget(pcBody_);
    splAttachment_->addWidget(lvAttachments_);
    splAttachment_->setStretchFactor(0, 1);
    splAttachment_->setStretchFactor(1, 0);
    splAttachment_->setSizes({ 400, 84 });
    layout->addWidget(splAttachment_, 1);
    CreateMenus();
    FillPreview(nullptr);
}

void TfrmMessage::CreateHeader()
{
    pnlHeader_ = new QWidget(this);
    pnlHeader_->setObjectName(QStringLiteral("pnlHeader"));
    pnlHeader_->setAutoFillBackground(true);
    // The header's light blue; its labels stay dark on it in any theme.
    QPalette header = pnlHeader_->palette();
    header.setColor(QPalette::Window, QColor(0xC1, 0xD2, 0xEE));
    header.setColor(QPalette::WindowText, Qt::black);
    pnlHeader_->setPalette(header);

    auto* grid = new QGridLayout(pnlHeader_);
    grid->setContentsMargins(3, 3, 5, 3);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    auto field = [this](const char* name) {
        auto* edit = new QLineEdit(pnlHeader_);
        edit->setObjectName(QLatin1String(name));
        edit->setReadOnly(true);
        edit->setAcceptDrops(false);
        return edit;
    };
    auto label = [this](const char* name, const QString& caption, QWidget* buddy) {
        auto* l = new QLabel(caption, pnlHeader_);
        l->setObjectName(QLatin1String(name));
        QFont bold = l->font();
        bold.setBold(true);
        l->setFont(bold);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setMinimumWidth(55);
        l->setBuddy(buddy);
        buddy->setAccessibleName(caption);
        return l;
    };
    edFrom_ = field("edFrom");
    edSent_ = field("edSent");
    edTo_ = field("edTo");
    edSubject_ = field("edSubject");
    edWhen_ = field("edWhen");
    edWhere_ = field("edWhere");
    edCC_ = field("edCC");
    edBCC_ = field("edBCC");
    edSent_->setMinimumWidth(130);
    edSent_->setMaximumWidth(240);
    edSent_->setAccessibleName(tr("Sent"));
    cbMessageFormat_ = new QComboBox(pnlHeader_);
    cbMessageFormat_->setObjectName(QStringLiteral("cbMessageFormat"));
    cbMessageFormat_->addItems({ QString(), tr("Text format"), tr("Richtext format"), tr("HTML format") });
    cbMessageFormat_->setEnabled(false);
    cbMessageFormat_->setMinimumWidth(130);
    cbMessageFormat_->setMaximumWidth(240);
    cbMessageFormat_->setAccessibleName(tr("Message format"));

    grid->addWidget(label("lblFrom", tr("From:"), edFrom_), 0, 0);
    grid->addWidget(edFrom_, 0, 1);
    grid->addWidget(edSent_, 0, 2);
    grid->addWidget(label("lblTo", tr("To:"), edTo_), 1, 0);
    grid->addWidget(edTo_, 1, 1);
    grid->addWidget(cbMessageFormat_, 1, 2);
    grid->addWidget(label("lblSubject", tr("Subject:"), edSubject_), 2, 0);
    grid->addWidget(edSubject_, 2, 1, 1, 2);
    grid->addWidget(label("lblWhen", tr("When:"), edWhen_), 3, 0);
    grid->addWidget(edWhen_, 3, 1, 1, 2);
    grid->addWidget(label("lblWhere", tr("Where:"), edWhere_), 4, 0);
    grid->addWidget(edWhere_, 4, 1, 1, 2);
    grid->addWidget(label("lblCC", tr("CC:"), edCC_), 5, 0);
    grid->addWidget(edCC_, 5, 1, 1, 2);
    grid->addWidget(label("lblBCC", tr("BCC:"), edBCC_), 6, 0);
    grid->addWidget(edBCC_, 6, 1, 1, 2);
    grid->setColumnStretch(1, 1);
}

void TfrmMessage::CreateBody()
{
    pcBody_ = new QTabWidget(this);
    pcBody_->setObjectName(QStringLiteral("pcBody"));
    pcBody_->setTabPosition(QTabWidget::South);
    pcBody_->setDocumentMode(true);
    auto page = [this](const char* name, const QString& caption, int icon) {
        auto* tab = new QWidget(pcBody_);
        tab->setObjectName(QLatin1String(name));
        auto* l = new QVBoxLayout(tab);
        l->setContentsMargins(0, 0, 0, 0);
        pcBody_->addTab(tab, AttachmentIcon(icon), caption);
        return tab;
    };
    auto edit = [this](const char* name, QWidget* tab) {
        auto* e = new QTextEdit(tab);
        e->setObjectName(QLatin1String(name));
        e->setReadOnly(true);
        e->setAcceptDrops(false);
        e->setLineWrapMode(QTextEdit::NoWrap);
        e->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        e->setContextMenuPolicy(Qt::CustomContextMenu);
        tab->layout()->addWidget(e);
        return e;
    };
    tsPlainText_ = page("tsPlainText", tr("Plain text"), 3);
    tsRTFBody_ = page("tsRTFBody", tr("Rich text"), 4);
    tsHTMLBody_ = page("tsHTMLBody", tr("HTML"), 5);
    reBody_ = edit("reBody", tsPlainText_);
    reBody_->setAcceptRichText(false);
    reRTFBody_ = edit("reRTFBody", tsRTFBody_);
    reBody_->setAccessibleName(tr("Plain text"));
    reRTFBody_->setAccessibleName(tr("Rich text"));
}

void TfrmMessage::CreateAttachmentList()
{
    lvAttachments_ = new TAttachmentList(this, this);
    lvAttachments_->setObjectName(QStringLiteral("lvAttachments"));
    lvAttachments_->setAccessibleName(tr("Attachments"));
    lvAttachments_->setViewMode(QListView::IconMode);
    lvAttachments_->setFlow(QListView::LeftToRight);
    lvAttachments_->setWrapping(true);
    lvAttachments_->setResizeMode(QListView::Adjust);
    lvAttachments_->setMovement(QListView::Static);
    lvAttachments_->setIconSize(QSize(32, 32));
    lvAttachments_->setGridSize(QSize(150, 60));
    lvAttachments_->setWordWrap(true);
    lvAttachments_->setTextElideMode(Qt::ElideMiddle);
    lvAttachments_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvAttachments_->setDragEnabled(true);
    lvAttachments_->setDragDropMode(QAbstractItemView::DragOnly);
    lvAttachments_->setDefaultDropAction(Qt::CopyAction);
    lvAttachments_->setAcceptDrops(false);
    lvAttachments_->setMinimumHeight(60);
    lvAttachments_->setContextMenuPolicy(Qt::CustomContextMenu);
    lvAttachments_->hide();
    // One signal: a double-click activates the item (and so does Enter), and it must open the attachment once.
    connect(lvAttachments_, &QListWidget::itemActivated, this, [this] { lvAttachmentsDblClick(); });
}

void TfrmMessage::CreateMenus()
{
    pmAttachment_ = new QMenu(this);
    pmAttachment_->setObjectName(QStringLiteral("pmAttachment"));
    miEncoding_ = pmAttachment_->addAction(strEncoding() + QLatin1Char(' '));
    miEncoding_->setObjectName(QStringLiteral("miEncoding"));
    miEncoding_->setEnabled(false);
    pmAttachment_->addSeparator();
    miAttachOpen_ = pmAttachment_->addAction(tr("Open/View attachment..."));
    miAttachOpen_->setObjectName(QStringLiteral("miAttachOpen"));
    miAttachOpen_->setProperty("tag", 1);
    miAttachSave_ = pmAttachment_->addAction(tr("Save attachment..."));
    miAttachSave_->setObjectName(QStringLiteral("miAttachSave"));
    miAttachSave_->setProperty("tag", 2);
    miAttachSaveAll_ = pmAttachment_->addAction(tr("Save all attachments..."));
    miAttachSaveAll_->setObjectName(QStringLiteral("miAttachSaveAll"));
    connect(miAttachOpen_, &QAction::triggered, this, [this] { miAttachSaveClick(1); });
    connect(miAttachSave_, &QAction::triggered, this, [this] { miAttachSaveClick(2); });
    connect(miAttachSaveAll_, &QAction::triggered, this, [this] {
        if (saveAllAction_)
            saveAllAction_->trigger();
    });
    connect(pmAttachment_, &QMenu::aboutToShow, this, &TfrmMessage::pmAttachmentPopup);
    connect(lvAttachments_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (SelectedAttachment())
            pmAttachment_->popup(lvAttachments_->viewport()->mapToGlobal(at));
    });

    pmBody_ = new QMenu(this);
    pmBody_->setObjectName(QStringLiteral("pmBody"));
    QAction* selectAll = pmBody_->addAction(tr("Select All"));
    selectAll->setObjectName(QStringLiteral("btnSelectAll"));
    QAction* copy = pmBody_->addAction(tr("&Copy"));
    copy->setObjectName(QStringLiteral("btnCopy"));
    copy->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    QAction* find = pmBody_->addAction(tr("Find ..."));
    find->setObjectName(QStringLiteral("btnFindText"));
    find->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    pmBody_->addSeparator();
    btnWordWrap_ = pmBody_->addAction(tr("Word-wrap lines"));
    btnWordWrap_->setObjectName(QStringLiteral("btnWordWrap"));
    btnWordWrap_->setCheckable(true);
    pmBody_->addSeparator();
    QAction* print = pmBody_->addAction(tr("Print..."));
    print->setObjectName(QStringLiteral("btnPrintBody"));
    QAction* preview = pmBody_->addAction(tr("Print preview..."));
    preview->setObjectName(QStringLiteral("btnPrintPreviewBody"));
    for (QAction* a : { selectAll, copy, find })
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    // The shortcuts work wherever the focus is inside the form.
    addAction(find);
    connect(selectAll, &QAction::triggered, this, &TfrmMessage::btnSelectAllClick);
    connect(copy, &QAction::triggered, this, &TfrmMessage::btnCopyClick);
    connect(find, &QAction::triggered, this, &TfrmMessage::btnFindTextClick);
    connect(btnWordWrap_, &QAction::triggered, this, &TfrmMessage::btnWordWrapClick);
    connect(print, &QAction::triggered, this, &TfrmMessage::PrintWithDialog);
    connect(preview, &QAction::triggered, this, &TfrmMessage::PrintPreview);
    for (QTextEdit* e : { reBody_, reRTFBody_ })
        connect(e, &QWidget::customContextMenuRequested, this,
            [this, e](const QPoint& at) { pmBody_->popup(e->viewport()->mapToGlobal(at)); });

    // The find dialog: not modal, so that Find Next can be pressed again and again.
    findDialog_ = new QDialog(this);
    findDialog_->setObjectName(QStringLiteral("FindDialog"));
    findDialog_->setWindowTitle(tr("Find"));
    auto* fl = new QGridLayout(findDialog_);
    auto* lblFind = new QLabel(tr("Find what:"), findDialog_);
    lblFind->setObjectName(QStringLiteral("lblFindText"));
    edFindText_ = new QLineEdit(findDialog_);
    edFindText_->setObjectName(QStringLiteral("edFindText"));
    lblFind->setBuddy(edFindText_);
    cbMatchCase_ = new QCheckBox(tr("Match case"), findDialog_);
    cbMatchCase_->setObjectName(QStringLiteral("cbMatchCase"));
    auto* btnFindNext = new QPushButton(tr("Find Next"), findDialog_);
    btnFindNext->setObjectName(QStringLiteral("btnFindNext"));
    btnFindNext->setDefault(true);
    auto* btnFindClose = new QPushButton(tr("Close"), findDialog_);
    btnFindClose->setObjectName(QStringLiteral("btnFindClose"));
    fl->addWidget(lblFind, 0, 0);
    fl->addWidget(edFindText_, 0, 1);
    fl->addWidget(btnFindNext, 0, 2);
    fl->addWidget(cbMatchCase_, 1, 1);
    fl->addWidget(btnFindClose, 1, 2);
    connect(btnFindNext, &QPushButton::clicked, this, &TfrmMessage::FindDialogFind);
    connect(btnFindClose, &QPushButton::clicked, findDialog_, &QDialog::hide);
}

void TfrmMessage::CreateBrowser()
{
    if (htmlView_)
        return;
    htmlView_ = new THtmlView(tsHTMLBody_);
    tsHTMLBody_->layout()->addWidget(htmlView_);
    if (!html_.isEmpty())
        htmlView_->SetHtml(html_, properties_, settings_.AllowRemoteContent);
}

void TfrmMessage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The web view is made when there is HTML to show.
    if (!html_.isEmpty())
        CreateBrowser();
}

bool TfrmMessage::TabShown(QWidget* tab) const { return pcBody_->isTabVisible(pcBody_->indexOf(tab)); }
void TfrmMessage::SetTabShown(QWidget* tab, bool shown) { pcBody_->setTabVisible(pcBody_->indexOf(tab), shown); }

void TfrmMessage::FillPreview(const pelmsg::TMSGProperties* properties)
{
    properties_ = properties;
    findDialog_->hide();
    lvAttachments_->clear();
    if (!properties) {
        for (QLineEdit* e : { edFrom_, edSent_, edTo_, edCC_, edBCC_, edSubject_, edWhen_, edWhere_ })
            e->clear();
        for (QLineEdit* e : { edCC_, edBCC_, edWhen_, edWhere_ })
            e->hide();
        for (const char* name : { "lblCC", "lblBCC", "lblWhen", "lblWhere" })
            pnlHeader_->findChild<QLabel*>(QLatin1String(name))->hide();
        cbMessageFormat_->setCurrentIndex(0);
        lblImportance_->hide();
        reBody_->clear();
        reRTFBody_->clear();
        html_.clear();
        if (htmlView_)
            htmlView_->Clear();
        SetTabShown(tsRTFBody_, false);
        SetTabShown(tsHTMLBody_, false);
        SetTabShown(tsPlainText_, true);
        lvAttachments_->hide();
        return;
    }
    const pelmsg::TMSGProperties& p = *properties;
    const bool wrap = settings_.WordWrap;
    btnWordWrap_->setChecked(wrap);
    for (QTextEdit* e : { reBody_, reRTFBody_ })
        e->setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);

    auto setRow = [this](QLineEdit* edit, const char* label, const QString& text, bool hideWhenEmpty) {
        edit->setText(Shown(text));
        edit->setCursorPosition(0);
        const bool visible = !hideWhenEmpty || !text.isEmpty();
        edit->setVisible(visible);
        pnlHeader_->findChild<QLabel*>(QLatin1String(label))->setVisible(visible);
    };
    setRow(edFrom_, "lblFrom", Q(p.From()), false);
    QString to = Q(p.ToList());
    if (to.isEmpty())
        to = Q(p.ReceivedByAddress());
    setRow(edTo_, "lblTo", to, false);
    setRow(edCC_, "lblCC", Q(p.CcList()), true);
    setRow(edBCC_, "lblBCC", Q(p.BccList()), true);
    setRow(edSubject_, "lblSubject", Q(p.Subject()), false);
    const pelmsg::TItemSummary item = pelmsg::SummarizeItem(p);
    setRow(edWhen_, "lblWhen", Q(item.When), true);
    setRow(edWhere_, "lblWhere", item.When.empty() ? QString() : Q(item.Where), true);
    const double sent = p.SentDate();
    edSent_->setText(sent != 0 ? Q(pelmsg::LocaleDateTimeText(sent)) : QString());
    edSent_->setCursorPosition(0);
    // Wide enough for the whole date in the user's format.
    edSent_->setMinimumWidth(std::max(130, edSent_->fontMetrics().horizontalAdvance(edSent_->text()) + 16));
    cbMessageFormat_->setCurrentIndex(std::clamp(int(p.BodyKind), 0, 3));
    SetImportance(p.ImportanceLevel());

    LoadBodies();
    FillAttachments();
    pnlHeaderResize();
}

void TfrmMessage::SetImportance(int level)
{
    QString text;
    QColor color(0xFF, 0xFF, 0x00);
    switch (level) {
    case 0:
        text = QStringLiteral("   || ") + strLowestPriority();
        break;
    case 1:
        text = QStringLiteral("   | ") + strLowPriority();
        break;
    case 3:
        text = QStringLiteral("   ! ") + strHighPriority();
        color = QColor(0xC1, 0xD2, 0xEE);
        break;
    case 4:
        text = QStringLiteral("   !! ") + strHighestPriority();
        color = QColor(0xC1, 0xD2, 0xEE);
        break;
    default:
        lblImportance_->hide();
        return;
    }
    QPalette palette = lblImportance_->palette();
    palette.setColor(QPalette::WindowText, color);
    lblImportance_->setPalette(palette);
    lblImportance_->setText(text);
    lblImportance_->show();
}

void TfrmMessage::LoadBodies()
{
    const pelmsg::TMSGProperties& p = *properties_;
    QString plain = Q(p.PlainBody());
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    reBody_->setPlainText(plain);
    const QString rtf = Q(p.RtfBody());
    try {
        ShowRtfInView(rtf, *reRTFBody_);
    } catch (const std::exception&) {
        reRTFBody_->clear(); // the rich-text tab shows what it could; an error leaves it empty
    }
    for (QTextEdit* e : { reBody_, reRTFBody_ })
        e->moveCursor(QTextCursor::Start);
    const bool rtfShown = !reRTFBody_->document()->isEmpty();
    SetTabShown(tsRTFBody_, rtfShown);
    if (rtfShown && reBody_->document()->isEmpty())
        reBody_->setPlainText(reRTFBody_->toPlainText());

    charset_ = Q8(p.Root().Charset());
    ShowHtml(charset_, Q(p.HtmlBody()));
    if (!TabShown(tsHTMLBody_) && rtfShown) {
        // From the stored bytes: raw 8-bit characters are in the RTF's code pages, which the extraction follows.
        const std::string html = pelmsg::TakeHtmlFromRtf(p.RtfBodyBytes());
        ShowHtml(charset_, QString::fromUtf8(html.data(), qsizetype(html.size())));
    }

    const int format = settings_.DefaultFormat;
    if (TabShown(tsHTMLBody_) && (format == 0 || format == 3))
        pcBody_->setCurrentWidget(tsHTMLBody_);
    else if (rtfShown && (format == 0 || format == 2))
        pcBody_->setCurrentWidget(tsRTFBody_);
    else
        pcBody_->setCurrentWidget(tsPlainText_);
    const bool plainEmpty = reBody_->document()->isEmpty();
    SetTabShown(tsPlainText_, !((rtfShown || TabShown(tsHTMLBody_)) && plainEmpty));
    // Showing a tab again can make Qt pick another current one.
    if (!TabShown(pcBody_->currentWidget()))
        for (QWidget* tab : { tsHTMLBody_, tsRTFBody_, tsPlainText_ })
            if (TabShown(tab)) {
                pcBody_->setCurrentWidget(tab);
                break;
            }
}

void TfrmMessage::ShowHtml(const QString& charset, const QString& html)
{
    SetTabShown(tsHTMLBody_, !html.isEmpty());
    if (html.isEmpty()) {
        html_.clear();
        if (htmlView_)
            htmlView_->Clear();
        return;
    }
    html_ = QString::fromStdU16String(WrapHtmlForCharset(charset.toStdString(), html.toStdU16String()));
    if (!htmlView_ && isVisible())
        CreateBrowser();
    else if (htmlView_)
        htmlView_->SetHtml(html_, properties_, settings_.AllowRemoteContent);
}

void TfrmMessage::FillAttachments()
{
    const pelmsg::TMSGProperties& p = *properties_;
    for (int i = 0; i < p.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* node = p.Attachments(i);
        QListWidgetItem* item = nullptr;
        if (!node) {
            item = new QListWidgetItem(AttachmentIcon(0), strUnknownText() + QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')));
            item->setData(kRoleIcon, -1);
        } else {
            const pelmsg::TAttachmentKind kind = node->AttachmentKind();
            const int icon = kind == pelmsg::TAttachmentKind::EmbeddedMessage ? 1
                : kind == pelmsg::TAttachmentKind::OleObject                  ? 2
                                                                              : 0;
            const QString caption = Q8(node->AttachmentDisplayName(i));
            item = new QListWidgetItem(AttachmentIcon(icon), Shown(caption));
            item->setData(kRoleCaption, caption);
            item->setData(kRoleIcon, icon);
            item->setData(kRoleFileName, Q8(node->AttachmentFileName(i)));
            item->setData(kRoleMime,
                Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachMimeTag, 0), true, false)));
            item->setToolTip(Shown(item->data(kRoleFileName).toString()));
        }
        item->setData(kRoleIndex, i);
        lvAttachments_->addItem(item);
    }
    lvAttachments_->setVisible(lvAttachments_->count() > 0);
}

int TfrmMessage::AttachmentCount() const { return lvAttachments_->count(); }

void TfrmMessage::pnlHeaderResize()
{
    // The grid lays the fields out; the panel ends below its lowest visible row.
    pnlHeader_->adjustSize();
    pnlHeader_->setFixedHeight(pnlHeader_->sizeHint().height());
}

QTextEdit* TfrmMessage::ActiveEdit() const
{
    return pcBody_->currentWidget() == tsRTFBody_ ? reRTFBody_ : reBody_;
}

QListWidgetItem* TfrmMessage::SelectedAttachment() const
{
    QListWidgetItem* item = lvAttachments_->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

void TfrmMessage::lvAttachmentsDblClick()
{
    if (SelectedAttachment())
        miAttachSaveClick(1);
}

void TfrmMessage::pmAttachmentPopup()
{
    // Language files keep no blanks at the ends of a text, so the blank comes from here.
    QString caption = strEncoding() + QLatin1Char(' ');
    QListWidgetItem* item = SelectedAttachment();
    miAttachSave_->setEnabled(item != nullptr);
    miAttachOpen_->setEnabled(item != nullptr);
    miAttachSaveAll_->setVisible(saveAllAction_ != nullptr);
    if (saveAllAction_)
        miAttachSaveAll_->setEnabled(saveAllAction_->isEnabled());
    if (item) {
        switch (item->data(kRoleIcon).toInt()) {
        case 0:
            caption += item->data(kRoleMime).toString();
            break;
        case 2:
            // An OLE object is shown (its class, and a packaged file to open or save), not saved as a whole.
            caption += strOleObjectKind();
            miAttachSave_->setEnabled(false);
            break;
        case 1:
            caption += strForwardedMessage();
            break;
        default:
            break;
        }
    }
    miEncoding_->setText(caption);
}

void TfrmMessage::ShowError(const QString& text) { ShowMessageBox(this, QMessageBox::Warning, text, "ErrorBox"); }

void TfrmMessage::miAttachSaveClick(int tag)
{
    QListWidgetItem* item = SelectedAttachment();
    if (!item || !properties_)
        return;
    const int row = lvAttachments_->row(item);
    try {
        if (tag == 1)
            OpenAttachment(row);
        else
            SaveAttachment(row);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

void TfrmMessage::OpenAttachment(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    switch (item->data(kRoleIcon).toInt()) {
    case 1:
        ShowEmbeddedMessage(row);
        return;
    case 2:
        ShowOleObject(row);
        return;
    case 0:
        break;
    default:
        return;
    }
    const int index = item->data(kRoleIndex).toInt();
    const QString fileName = item->data(kRoleFileName).toString();
    const std::string bytes = AttachmentBytes(*properties_, index);
    // The check is made on the file as written, under the name it got (cut and made safe), as the desktop
    // will see it; the name the message gives is checked too.
    QString path;
    if (!IsExecutableAttachment(fileName.toStdString(), std::string_view(bytes).substr(0, 64))) {
        path = WritePrivateTempFile(fileName, [&](pelmsg::TStream& out) { out.WriteString(bytes); });
        if (IsLaunchableFile(path)) {
            QFile::remove(path);
            path.clear();
        }
    }
    if (path.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
            strExecutableNotOpened.Arg(Isolated(fileName)), QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("ExecutableBox"));
        if (box.exec() == QMessageBox::Yes)
            SaveAttachment(row);
        return;
    }
    TempFiles() << path;
    if (OpenFileExternally)
        OpenFileExternally(path);
}

void TfrmMessage::SaveAttachment(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    const int icon = item->data(kRoleIcon).toInt();
    const int index = item->data(kRoleIndex).toInt();
    const pelmsg::TMSGProperty* node = properties_->Attachments(index);
    if (!node || icon == 2)
        return;
    const auto kind = icon == 1 ? pelmsg::TAttachmentKind::EmbeddedMessage : pelmsg::TAttachmentKind::FileData;
    // The proposal is made safe: a hostile name cannot point the dialog outside the folder.
    const std::string proposed = pelmsg::SafeFileName(ProposedAttachmentName(
        kind, item->data(kRoleCaption).toString().toStdString(), item->data(kRoleFileName).toString().toStdString()));
    const QString folder = Q8(AttachmentFolder(settings_, messagePath_.toStdString()));
    // "*.*" would hide the files without an extension: the filter is given in Qt's form, where it is "*".
    const std::vector<TFileFilter> all = ParseFilterText(AllFileExt().toStdString());
    QFileDialog dialog(this, QString(), QDir(folder).filePath(Q8(proposed)),
        all.empty() ? QStringLiteral("*") : Q8(QtNameFilter(all.front())));
    dialog.setObjectName(QStringLiteral("SaveAttachmentDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = dialog.selectedFiles().front();
    const std::string dir = QFileInfo(chosen).absolutePath().toStdString();
    if (dir != settings_.LastUsedDir) {
        settings_.LastUsedDir = dir;
        settings_.SettingsChanged = true;
    }
    if (icon == 1) {
        EmbeddedMessageProperties(node)->SaveToMSGFile(chosen.toStdString(), true);
        return;
    }
    pelmsg::SaveThroughTemporaryFile(
        chosen.toStdString(), [&](pelmsg::TStream& out) { pelmsg::WriteAttachmentData(*properties_, index, out); });
}

void TfrmMessage::ShowEmbeddedMessage(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    const pelmsg::TMSGProperty* node = properties_->Attachments(item->data(kRoleIndex).toInt());
    if (!node)
        throw pelmsg::EPelMsgError(strMsgAttachNotFound().toStdString());
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmMessageWindow"));
    dialog.setWindowTitle(item->text());
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* form = new TfrmMessage(settings_, &dialog);
    form->SetMessagePath(messagePath_);
    form->OpenFileExternally = OpenFileExternally;
    form->TranslateWindow = TranslateWindow;
    layout->addWidget(form);
    dialog.resize(std::max(width(), 640), std::max(height(), 480));
    form->FillPreview(EmbeddedMessageProperties(node));
    // The new form takes the language in use.
    if (TranslateWindow)
        TranslateWindow(&dialog);
    dialog.exec();
}

void TfrmMessage::ShowOleObject(int row)
{
    QListWidgetItem* item = lvAttachments_->item(row);
    const pelmsg::TMSGProperty* node = properties_->Attachments(item->data(kRoleIndex).toInt());
    if (!node)
        throw pelmsg::EPelMsgError(strOleAttachNotFound().toStdString());
    const TOleObjectInfo info = DescribeOleObject(*node);
    QStringList lines { strOleCannotShow() };
    if (!info.ClassId.empty())
        lines << strOleClass.Arg(Q8(info.ClassId) + (info.ProgId.empty() ? QString() : QStringLiteral(" (%1)").arg(Q8(info.ProgId))));
    if (!info.UserType.empty())
        lines << strOleType.Arg(Q8(info.UserType));
    lines << strOleSize.Arg(QLocale().toString(qulonglong(info.Size)));
    if (info.Package)
        lines << strOlePackage.Arg(
            Isolated(Q(pelmsg::CodePageToWide(info.Package->FileName, properties_->TextCodePage()))));
    QMessageBox box(QMessageBox::Information, item->text(), lines.join(QLatin1Char('\n')), QMessageBox::Close, this);
    box.setObjectName(QStringLiteral("frmOleObject"));
    QPushButton* open = nullptr;
    QPushButton* save = nullptr;
    if (info.Package) {
        open = box.addButton(strOleOpenFile(), QMessageBox::ActionRole);
        open->setObjectName(QStringLiteral("btnOleOpen"));
        save = box.addButton(strOleSaveFile(), QMessageBox::ActionRole);
        save->setObjectName(QStringLiteral("btnOleSave"));
    }
    box.exec();
    if (!info.Package || (box.clickedButton() != open && box.clickedButton() != save))
        return;
    const QString name = Q(pelmsg::CodePageToWide(info.Package->FileName, properties_->TextCodePage()));
    const std::string& packaged = info.Package->Data;
    if (box.clickedButton() == open
        && !IsExecutableAttachment(name.toStdString(), std::string_view(packaged).substr(0, 64))) {
        const QString path = WritePrivateTempFile(name, [&](pelmsg::TStream& out) { out.WriteString(packaged); });
        if (!IsLaunchableFile(path)) {
            TempFiles() << path;
            if (OpenFileExternally)
                OpenFileExternally(path);
            return;
        }
        QFile::remove(path);
    }
    if (box.clickedButton() == open) {
        QMessageBox ask(QMessageBox::Warning, QApplication::applicationDisplayName(),
            strExecutableNotOpened.Arg(Isolated(name)), QMessageBox::Yes | QMessageBox::No, this);
        ask.setObjectName(QStringLiteral("ExecutableBox"));
        if (ask.exec() != QMessageBox::Yes)
            return;
    }
    const QString folder = Q8(AttachmentFolder(settings_, messagePath_.toStdString()));
    const QString chosen = QFileDialog::getSaveFileName(
        this, QString(), QDir(folder).filePath(Q8(pelmsg::SafeFileName(name.toStdString()))));
    if (chosen.isEmpty())
        return;
    pelmsg::SaveThroughTemporaryFile(chosen.toStdString(), [&](pelmsg::TStream& out) { out.WriteString(packaged); });
}

void TfrmMessage::btnSelectAllClick()
{
    QTextEdit* edit = ActiveEdit();
    edit->selectAll();
    if (edit->isVisible() && edit->focusPolicy() != Qt::NoFocus)
        edit->setFocus();
}

void TfrmMessage::btnCopyClick()
{
    if (pcBody_->currentWidget() == tsHTMLBody_ && htmlView_) {
        htmlView_->View()->triggerPageAction(QWebEnginePage::Copy);
        return;
    }
    ActiveEdit()->copy();
}

void TfrmMessage::btnFindTextClick()
{
    findDialog_->show();
    findDialog_->raise();
    findDialog_->activateWindow();
    edFindText_->setFocus();
    edFindText_->selectAll();
}

bool TfrmMessage::FindDialogFind()
{
    const QString text = edFindText_->text();
    if (text.isEmpty())
        return false;
    QTextDocument::FindFlags flags;
    if (cbMatchCase_->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    if (pcBody_->currentWidget() == tsHTMLBody_ && htmlView_) {
        QWebEnginePage::FindFlags pageFlags;
        if (cbMatchCase_->isChecked())
            pageFlags |= QWebEnginePage::FindCaseSensitively;
        htmlView_->View()->findText(text, pageFlags, [this, text](const QWebEngineFindTextResult& result) {
            if (result.numberOfMatches() == 0)
                ShowError(strENotFindInBody.Arg(text));
        });
        return true;
    }
    QTextEdit* edit = ActiveEdit();
    // From the end of the current hit, so that the next search moves on; then once more from the start.
    QTextCursor hit = edit->document()->find(text, edit->textCursor(), flags);
    if (hit.isNull())
        hit = edit->document()->find(text, 0, flags);
    if (hit.isNull()) {
        ShowError(strENotFindInBody.Arg(text));
        return false;
    }
    edit->setTextCursor(hit);
    edit->ensureCursorVisible();
    return true;
}

void TfrmMessage::btnWordWrapClick()
{
    const bool wrap = reBody_->lineWrapMode() == QTextEdit::NoWrap;
    for (QTextEdit* e : { reBody_, reRTFBody_ })
        e->setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    btnWordWrap_->setChecked(wrap);
    settings_.WordWrap = wrap;
    settings_.SettingsChanged = true;
}

namespace {

// The document printed: it shows only the pictures given to it (the message's own attachments by content id and
// file name, the rich-text tab's pictures) and data: addresses inside the body. Any other address a body names,
// a local file ("/dev/zero", "file:///home/.../secret.png", a FIFO), a relative path or a network address, gives
// an empty picture or style sheet: QTextDocument would read local files for it, and Qt's picture handler opens
// the name as a file itself whenever the document gives it no picture.
class TPrintDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl& name) override
    {
        QVariant resource;
        if (name.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0)
            resource = QTextDocument::loadResource(type, name);
        if (type == QTextDocument::ImageResource) {
            QImage image;
            if (resource.typeId() == QMetaType::QByteArray)
                image.loadFromData(resource.toByteArray());
            if (image.isNull()) {
                image = QImage(1, 1, QImage::Format_ARGB32);
                image.fill(Qt::transparent);
            }
            return image;
        }
        if (type == QTextDocument::StyleSheetResource && resource.isNull())
            return QString();
        return resource;
    }
};

} // namespace

std::unique_ptr<QTextDocument> TfrmMessage::CreatePrintDocument() const
{
    auto document = std::make_unique<TPrintDocument>();
    FillPrintDocument(*document);
    return document;
}

void TfrmMessage::FillPrintDocument(QTextDocument& document) const
{
    // The header fields as a table, then the body of the tab shown.
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=2>");
    auto row = [&html](const QLabel* label, const QString& value) {
        if (label && label->isVisibleTo(label->parentWidget()) && !value.isEmpty())
            html += QStringLiteral("<tr><td align=right><b>%1</b></td><td>%2</td></tr>")
                        .arg(label->text().toHtmlEscaped(), value.toHtmlEscaped());
    };
    auto label = [this](const char* name) { return pnlHeader_->findChild<QLabel*>(QLatin1String(name)); };
    row(label("lblFrom"), edFrom_->text() + (edSent_->text().isEmpty() ? QString() : QStringLiteral("   ") + edSent_->text()));
    row(label("lblTo"), edTo_->text());
    row(label("lblCC"), edCC_->text());
    row(label("lblBCC"), edBCC_->text());
    row(label("lblSubject"), edSubject_->text());
    row(label("lblWhen"), edWhen_->text());
    row(label("lblWhere"), edWhere_->text());
    html += QStringLiteral("</table>");
    if (lblImportance_->isVisibleTo(const_cast<TfrmMessage*>(this)))
        html += QStringLiteral("<p><b>%1</b></p>").arg(lblImportance_->text().trimmed().toHtmlEscaped());
    html += QStringLiteral("<hr>");
    // Inline pictures of the HTML body, by content id and by file name, as the web view finds them.
    if (properties_) {
        for (int i = 0; i < properties_->AttachmentCount(); ++i) {
            const pelmsg::TMSGProperty* node = properties_->Attachments(i);
            if (!node)
                continue;
            QImage image;
            try {
                const std::string bytes = AttachmentBytes(*properties_, i);
                if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), int(bytes.size())))
                    continue;
            } catch (const std::exception&) {
                continue;
            }
            QString id = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachContentId, 0), true, true)).trimmed();
            if (id.isEmpty())
                id = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(0x0008, 0), true, true)).trimmed();
            if (id.startsWith(QLatin1Char('<')) && id.endsWith(QLatin1Char('>')))
                id = id.mid(1, id.size() - 2);
            if (!id.isEmpty())
                document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("cid:") + id), image);
            const QString name = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachFileName, 0), true, true));
            if (!name.isEmpty())
                document.addResource(QTextDocument::ImageResource, QUrl(name), image);
        }
    }
    QWidget* tab = pcBody_->currentWidget();
    if (tab == tsRTFBody_) {
        // The rich-text tab's pictures are resources of its document: the printed one gets them too.
        const QTextDocument* shown = reRTFBody_->document();
        for (QTextBlock block = shown->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (const QTextCharFormat f = it.fragment().charFormat(); f.isImageFormat()) {
                    const QUrl name(f.toImageFormat().name());
                    document.addResource(QTextDocument::ImageResource, name,
                        shown->resource(QTextDocument::ImageResource, name));
                }
        html += shown->toHtml();
    } else if (tab == tsHTMLBody_) {
        html += html_;
    } else {
        html += QStringLiteral("<pre style=\"white-space: pre-wrap\">%1</pre>").arg(reBody_->toPlainText().toHtmlEscaped());
    }
    document.setHtml(html);
}

void TfrmMessage::Print(QPrinter& printer) const
{
    CreatePrintDocument()->print(&printer);
}

void TfrmMessage::PrintWithDialog()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    if (dialog.exec() == QDialog::Accepted)
        Print(printer);
}

void TfrmMessage::PrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog"));
    dialog.resize(800, 700);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { Print(*p); });
    dialog.exec();
}

TfrmMessage* CreatePreviewPage(QWidget* tsPreview, TSettings& settings)
{
    auto* layout = new QVBoxLayout(tsPreview);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* form = new TfrmMessage(settings, tsPreview);
    layout->addWidget(form);
    return form;
}

TfrmMessage* PreviewForm(const QWidget* tsPreview) { return tsPreview->findChild<TfrmMessage*>(QStringLiteral("frmMessage")); }

void FillPreviewPage(QWidget* tsPreview, const pelmsg::TPelMessage* message, const QString& path)
{
    TfrmMessage* form = PreviewForm(tsPreview);
    if (!form)
        return;
    form->SetMessagePath(path);
    form->FillPreview(message ? &message->Properties() : nullptr);
}

int PreviewAttachmentCount(const QWidget* tsPreview)
{
    const TfrmMessage* form = PreviewForm(tsPreview);
    return form ? form->AttachmentCount() : 0;
}

} // namespace quorra
