#include "message_preview.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDrag>
#include <QEvent>
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
#include <QWebEnginePage>
#include <QWebEngineView>

#include "desktop_services.h"
#include "html_prepare.h"
#include "html_text_later.h"
#include "html_view.h"
#include "icons.h"
#include "message_preview_parts.h"
#include "pelmsg.h"
#include "preview_support.h"
#include "private_temp.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "rtf_text_document.h"
#include "settings.h"
#include "viewer_support.h"

namespace quorra {

TProgramText strEncoding("strEncoding", "Encoding:");

QString Shown(const QString& text) { return QString::fromStdU16String(VisibleBidiControls(text.toStdU16String())); }
QString Isolated(const QString& text) { return QString::fromStdU16String(IsolatedMessageText(text.toStdU16String())); }

const pelmsg::TMSGProperties* EmbeddedMessageProperties(const pelmsg::TMSGProperty* node)
{
    // The object first: Outlook's TNEF puts a short binary text under the same identifier before it.
    if (const pelmsg::TMSGProperty* object
        = node->SubProperties.FindProperty(pelmsg::kTagAttachDataObject, false, true))
        if (!object->SubProperties.Empty())
            return &object->SubProperties;
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
    QVBoxLayout* layout = NewFlatColumn(this, 0);

    lblImportance_ = new QLabel(this);
    lblImportance_->setObjectName(QStringLiteral("lblImportance"));
    lblImportance_->setAutoFillBackground(true);
    lblImportance_->setMinimumHeight(25);
    lblImportance_->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    QFont bannerFont = lblImportance_->font();
    bannerFont.setBold(true);
    lblImportance_->setFont(bannerFont);
    lblImportance_->hide();
    layout->addWidget(lblImportance_);

    CreateHeader();
    CreateTaskRows();
    layout->addWidget(pnlHeader_);
    CreateBody();
    CreateAttachmentList();
    splAttachment_ = new QSplitter(Qt::Vertical, this);
    splAttachment_->setObjectName(QStringLiteral("splAttachment"));
    splAttachment_->setChildrenCollapsible(false);
    splAttachment_->addWidget(pcBody_);
    splAttachment_->addWidget(CreateAttachmentStrip());
    splAttachment_->setStretchFactor(0, 1);
    splAttachment_->setStretchFactor(1, 0);
    splAttachment_->setSizes({ 1000, 1 }); // the strip at its least height: a row; its splitter makes it taller
    layout->addWidget(splAttachment_, 1);
    CreateMenus();
    CreateKeyboardActions();
    ApplyPaletteColours();
    layout->addWidget(lblLinkTarget_);
    FillPreview(nullptr);
}

void TfrmMessage::CreateHeader()
{
    pnlHeader_ = new QWidget(this);
    pnlHeader_->setObjectName(QStringLiteral("pnlHeader"));
    pnlHeader_->setAutoFillBackground(true);
    // Its colours come from the desktop's palette (ApplyPaletteColours), light or dark.

    auto* grid = new QGridLayout(pnlHeader_);
    grid->setContentsMargins(3, 3, 5, 3);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    auto field = [this](const char* name) { return NewHeaderField(pnlHeader_, name); };
    auto label = [this](const char* name, const QString& caption, QLineEdit* buddy) {
        QLabel* l = NewHeaderLabel(pnlHeader_, name, caption, buddy);
        l->setMinimumWidth(55);
        rowLabels_[buddy] = l;
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
    // The view gets a document read for it as its tab shows, before the tab is painted.
    WatchEvents(tsRTFBody_, this, [this](QEvent* event) {
        if (event->type() == QEvent::ShowToParent)
            AttachPendingRtf();
        return false;
    });
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
    QAction* find = btnFindText_ = pmBody_->addAction(tr("Find ..."));
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
    ConnectHtmlView();
    connect(htmlView_, &THtmlView::PageLoaded, this, &TfrmMessage::HtmlLoaded);
    if (preparedHtml_)
        htmlView_->SetPreparedHtml(*preparedHtml_, properties_, settings_.AllowRemoteContent);
    else if (!html_.isEmpty())
        htmlView_->SetHtml(html_, properties_, settings_.AllowRemoteContent);
}

void TfrmMessage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The web view is made when there is HTML to show, once the window is on the screen (ScheduleBrowser).
    if (!html_.isEmpty() || htmlPending_)
        ScheduleBrowser();
}

bool TfrmMessage::TabShown(QWidget* tab) const { return pcBody_->isTabVisible(pcBody_->indexOf(tab)); }
void TfrmMessage::SetTabShown(QWidget* tab, bool shown) { pcBody_->setTabVisible(pcBody_->indexOf(tab), shown); }

void TfrmMessage::FillPreview(const pelmsg::TMSGProperties* properties)
{
    properties_ = properties;
    DropPendingHtml();
    findDialog_->hide();
    lvAttachments_->clear();
    if (!properties) {
        for (QLineEdit* e : { edFrom_, edSent_, edTo_, edCC_, edBCC_, edSubject_, edWhen_, edWhere_ })
            e->clear();
        for (QLineEdit* e : { edCC_, edBCC_, edWhen_, edWhere_ }) {
            e->hide();
            rowLabels_.value(e)->hide();
        }
        cbMessageFormat_->setCurrentIndex(0);
        FillTaskRows(nullptr);
        lblImportance_->hide();
        reBody_->clear();
        CancelRtfInView(*reRTFBody_);
        reRTFBody_->clear();
        pendingRtf_.reset();
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

    auto setRow = [this](QLineEdit* edit, const QString& text, bool hideWhenEmpty) {
        edit->setText(Shown(text));
        edit->setCursorPosition(0);
        const bool visible = !hideWhenEmpty || !text.isEmpty();
        edit->setVisible(visible);
        rowLabels_.value(edit)->setVisible(visible);
    };
    setRow(edFrom_, Q(p.From()), false);
    QString to = Q(p.ToList());
    if (to.isEmpty())
        to = Q(p.ReceivedByAddress());
    setRow(edTo_, to, false);
    setRow(edCC_, Q(p.CcList()), true);
    setRow(edBCC_, Q(p.BccList()), true);
    setRow(edSubject_, Q(p.Subject()), false);
    const pelmsg::TItemSummary item = pelmsg::SummarizeItem(p);
    setRow(edWhen_, Q(item.When), true);
    setRow(edWhere_, item.When.empty() ? QString() : Q(item.Where), true);
    FillTaskRows(&item);
    const double sent = p.SentDate();
    edSent_->setText(sent != 0 ? Q(pelmsg::LocaleDateTimeText(sent)) : QString());
    edSent_->setCursorPosition(0);
    // Wide enough for the whole date in the user's format.
    edSent_->setMinimumWidth(std::max(130, edSent_->fontMetrics().horizontalAdvance(edSent_->text()) + 16));
    cbMessageFormat_->setCurrentIndex(std::clamp(int(p.BodyKind), 0, 3));
    SetImportance(p.ImportanceLevel());

    LoadBodies();
    ApplyZoom(1.0); // the new bodies come at the normal size
    StandInForHtml();
    FillAttachments();
    pnlHeaderResize();
}

void TfrmMessage::SetImportance(int level)
{
    // The banner's mark and text by level, from 0 (lowest) to 4 (highest); the normal level 2 has none.
    const std::pair<const char*, const TProgramText*> kLevels[]
        = { { "   || ", &strLowestPriority }, { "   | ", &strLowPriority }, { nullptr, nullptr },
              { "   ! ", &strHighPriority }, { "   !! ", &strHighestPriority } };
    if (level < 0 || level > 4 || !kLevels[level].first) {
        lblImportance_->hide();
        return;
    }
    lblImportance_->setText(QLatin1String(kLevels[level].first) + (*kLevels[level].second)());
    lblImportance_->show();
}

void TfrmMessage::LoadBodies()
{
    const pelmsg::TMSGProperties& p = *properties_;
    QString plain = Q(p.PlainBody());
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    reBody_->setPlainText(plain);
    // A large RTF body of the open document is decompressed and decoded in the workers too (and the HTML it may
    // encapsulate taken out there): the UI thread never holds its text.
    std::optional<TRtfBodySource> largeRtf;
    if (messageKeeper_)
        largeRtf = LargeRtfBody(p, kRtfInWorkerChars, messageKeeper_);
    const QString rtf = largeRtf ? QString() : Q(p.RtfBody());
    // A long body (mostly pictures) is read in a worker: the preview shows at once, the rich-text view when the
    // document is ready, and the tabs are then settled by what it holds.
    const bool rtfLater = largeRtf || rtf.size() >= kRtfInWorkerChars;
    if (rtfLater) {
        pendingRtf_.reset();
        std::function<QString()> read = [rtf] { return rtf; };
        if (largeRtf)
            read = [source = *largeRtf] { return RtfBodyText(source); };
        // The worker gives the document the zoom in use now; a zoom changed while it reads is applied when it is in.
        const double zoom = ZoomFactor();
        ShowRtfInViewLater(
            std::move(read), *reRTFBody_,
            [this, zoom] {
                ScaleExplicitSizes(*reRTFBody_->document(), ZoomFactor() / zoom);
                const bool shown = !reRTFBody_->document()->isEmpty();
                SetTabShown(tsRTFBody_, shown);
                if (shown && reBody_->document()->isEmpty())
                    reBody_->setPlainText(reRTFBody_->toPlainText());
                SetTabShown(tsPlainText_, !((shown || TabShown(tsHTMLBody_)) && reBody_->document()->isEmpty()));
                if (!TabShown(pcBody_->currentWidget()))
                    pcBody_->setCurrentWidget(TabShown(tsHTMLBody_) ? tsHTMLBody_ : tsPlainText_);
            },
            reBody_->document()->isEmpty() ? reBody_ : nullptr, zoom);
    } else {
        ReadRtfForTab(rtf);
    }
    for (QTextEdit* e : { reBody_, reRTFBody_ })
        e->moveCursor(QTextCursor::Start);
    const bool rtfShown = rtfLater || !RtfDocument().isEmpty();
    SetTabShown(tsRTFBody_, rtfShown);
    if (rtfShown && !rtfLater && reBody_->document()->isEmpty())
        reBody_->setPlainText(RtfDocument().toPlainText());

    charset_ = Q8(p.Root().Charset());
    if (!StartHtmlInWorker(p)) {
        ShowHtml(charset_, Q(p.HtmlBody()));
        // The HTML an RTF body encapsulates. Only an RTF that says it came from HTML holds any (the extraction looks
        // for the same word); a large one is taken apart in a worker (the HTML tab shows once it holds something).
        std::optional<TRtfBodySource> rtfHtml = std::move(largeRtf);
        const bool fromHtml = !rtfHtml && rtf.contains(QLatin1String("\\fromhtml"));
        if (fromHtml)
            rtfHtml = LargeRtfBody(p, kHtmlInWorkerBytes, messageKeeper_);
        if (!TabShown(tsHTMLBody_) && rtfShown && rtfHtml) {
            StartRtfHtmlInWorker(std::move(*rtfHtml), fromHtml);
        } else if (!TabShown(tsHTMLBody_) && rtfShown && fromHtml) {
            // From the stored bytes: raw 8-bit characters are in the RTF's code pages, which the extraction follows.
            const std::string html = pelmsg::TakeHtmlFromRtf(p.RtfBodyBytes());
            ShowHtml(charset_, QString::fromUtf8(html.data(), qsizetype(html.size())));
        }
    }

    const TDefaultFormat format = settings_.DefaultFormat;
    if (TabShown(tsHTMLBody_) && (format == TDefaultFormat::Any || format == TDefaultFormat::Html))
        pcBody_->setCurrentWidget(tsHTMLBody_);
    else if (rtfShown && (format == TDefaultFormat::Any || format == TDefaultFormat::RichText))
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
    // The rich-text tab current already (for the message before) shows the new document without showing again.
    if (!tsRTFBody_->isHidden())
        AttachPendingRtf();
}

void TfrmMessage::ShowHtml(const QString& charset, const QString& html)
{
    DropPendingHtml();
    SetTabShown(tsHTMLBody_, !html.isEmpty());
    if (html.isEmpty()) {
        html_.clear();
        if (htmlView_)
            htmlView_->Clear();
        return;
    }
    html_ = QString::fromStdU16String(WrapHtmlForCharset(charset.toStdString(), html.toStdU16String()));
    if (!htmlView_ && isVisible())
        ScheduleBrowser();
    else if (htmlView_)
        htmlView_->SetHtml(html_, properties_, settings_.AllowRemoteContent);
}

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

void TfrmMessage::ShowError(const QString& text) { ShowMessageBox(this, QMessageBox::Warning, text, "ErrorBox"); }

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
    // Find Next, except that an empty text does nothing (the dialog that asks for one is open already).
    if (edFindText_->text().isEmpty())
        return false;
    return FindAgain(false);
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

void TfrmMessage::ReadRtfForTab(const QString& rtf)
{
    // The view shows nothing of the message before, nor a document a worker may still be reading for it.
    CancelRtfInView(*reRTFBody_);
    if (!reRTFBody_->document()->isEmpty())
        reRTFBody_->clear();
    pendingRtf_.reset();
    if (rtf.isEmpty())
        return;
    // Built apart from any view, so that nothing is laid out while it is built.
    auto document = std::make_unique<QTextDocument>();
    try {
        LoadRtfIntoDocument(rtf, *document);
    } catch (const std::exception&) {
        document->clear(); // the rich-text tab shows what it could; an error leaves it empty
    }
    pendingRtf_ = std::move(document);
}

void TfrmMessage::AttachPendingRtf()
{
    if (!pendingRtf_)
        return;
    // The font and margin the view's document has now (the zoom's font among them), as a document read for the
    // view at once would have.
    const QTextDocument* shown = reRTFBody_->document();
    pendingRtf_->setDefaultFont(shown->defaultFont());
    pendingRtf_->setDocumentMargin(shown->documentMargin());
    AttachDocument(*reRTFBody_, pendingRtf_.release());
}

const QTextDocument& TfrmMessage::RtfDocument() const { return pendingRtf_ ? *pendingRtf_ : *reRTFBody_->document(); }

} // namespace quorra
